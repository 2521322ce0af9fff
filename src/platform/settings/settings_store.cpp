#include "platform/settings/settings_store.h"

namespace sw {

QString SettingsStore::GetSetting(const QString&, const QString&, const QString&, const QString& defaultValue) const {
  return defaultValue;
}
void SettingsStore::SaveSetting(const QString&, const QString&, const QString&, const QString&) {}
void SettingsStore::DeleteSetting(const QString&, const QString&, const QString&) {}

}  // namespace sw
