#pragma once
// The per-user settings store: text values by application, section and key, kept in one INI
// file per application under the user's configuration folder. Names compare without regard
// to case, as the original store does.
#include <QString>

namespace sw {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual QString GetSetting(const QString& app, const QString& section, const QString& key,
                             const QString& defaultValue = QString()) const;
  virtual void SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value);
  // An empty key deletes the whole section.
  virtual void DeleteSetting(const QString& app, const QString& section, const QString& key = QString());
};

}  // namespace sw
