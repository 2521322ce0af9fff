#include "admin/dm_settings.h"

#include <QVariant>

#include "core/context.h"

namespace sw::admin {

namespace {

// Booleans read as the DM's own client shows them.
QString ValueText(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  return value.toString();
}

dm::DmLibraryPropertiesPtr CurrentProperties(Context& cx) {
  return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Properties() : nullptr;
}

}  // namespace

DmIdentity ReadDmIdentity(Context& cx) {
  DmIdentity identity;
  if (cx.session.FusionApplication) {
    const dm::DmLibraryPtr primary = cx.session.FusionApplication->DefaultLibrary();
    if (primary) identity.defaultLibrary = primary->Name();
  }
  if (cx.session.CurrentLibrary) {
    identity.userName = cx.session.CurrentLibrary->UserName();
    identity.primaryGroup = cx.session.CurrentLibrary->PrimaryGroup();
  }
  return identity;
}

QStringList SessionLibraryNames(Context& cx) {
  QStringList names;
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries) return names;
  for (qint64 i = 1; i <= libraries->Count(); ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (library) names << library->Name();
  }
  return names;
}

QStringList LibraryPropertyNames(Context& cx) {
  QStringList names;
  const dm::DmLibraryPropertiesPtr properties = CurrentProperties(cx);
  if (!properties) return names;
  for (qint64 i = 1; i <= properties->Count(); ++i) {
    const dm::DmLibraryPropertyPtr property = properties->Item(i);
    if (property) names << property->Name();
  }
  return names;
}

QString LibraryPropertyValue(Context& cx, const QString& name) {
  const dm::DmLibraryPropertiesPtr properties = CurrentProperties(cx);
  if (!properties || name.isEmpty()) return QString();
  const dm::DmLibraryPropertyPtr property = properties->Item(name);
  return property ? ValueText(property->Value()) : QString();
}

}  // namespace sw::admin
