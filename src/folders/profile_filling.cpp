// The profile of a new folder, filled before its first save. Every value written is logged, so
// the log shows where each field of a folder came from.
#include "folders/profile_filling.h"

#include "core/log.h"
#include "core/session.h"
#include "core/text.h"
#include "folders/folder_context.h"
#include "folders/sort_folders.h"

namespace sw {

using namespace folder_sql;

namespace {

constexpr int WritableTypeCode = 128;

QString Text(const QVariant& value) { return value.toString(); }

QString Quote(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString UserOf(Context& cx) { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->UserName() : QString(); }

// The first entry of the list with exactly this name.
const QVariant* Lookup(const ColumnValues& list, const QString& name) {
  for (const auto& [entryName, value] : list)
    if (entryName == name) return &value;
  return nullptr;
}

// Writes one value. A write the column refuses is logged when the column says why; then a value
// the column does not accept is taken back to Null rather than saved.
void WriteColumn(Context& cx, dm::DmColumn& column, const QVariant& value) {
  try {
    column.SetValue(value);
  } catch (const std::exception&) {
    // Reported below through the column's own error members.
  }
  if (column.Error.ErrNumber != 0) {
    LogMessage(cx, QStringLiteral("Error #") + FormatNumber(column.Error.ErrNumber) + QStringLiteral(" (") +
                       column.Error.ErrDescription + QStringLiteral(") setting column ") + column.Name());
    Hyphens(cx);
  }
  try {
    if (column.IsValid()) return;
    LogMessage(cx, QStringLiteral("Notice: Setting ") + column.Name() + QStringLiteral(" to Null because original value is invalid"));
    column.SetValue(QVariant());
  } catch (const std::exception&) {
    // The check is a courtesy; the save reports a value the DM will not take.
  }
}

// The user's defaults, loaded into the new profile and remembered, only in the user's primary
// library (defaults belong to the user's own library).
ColumnValues LoadDefaults(FolderContext& cx, dm::DmProfile& profile) {
  ColumnValues defaults;
  const dm::DmLibraryPtr& current = cx.session.CurrentLibrary;
  try {
    if (!current || !current->IsPrimary() || current->Name() != profile.Library()) return defaults;
    LogMessage(cx, QStringLiteral("Setting Profile Defaults (if any) for this folder form ") + profile.FormName() +
                       QStringLiteral(" from the defaults of user ") + current->UserName() + QStringLiteral(" in library ") +
                       profile.Library());
    const dm::DmColumnsPtr columns = profile.Columns();
    if (!columns)
      throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Profile"), QStringLiteral("The profile has no columns"));
    columns->LoadUserDefaults();
    Hyphens(cx);
    for (qint64 i = 1; i <= columns->Count(); ++i) {
      const dm::DmColumnPtr column = columns->Item(i);
      if (!column) continue;
      const QString name = column->Name();
      const QVariant value = column->Value();
      if (!IsNonEmptyValue(value) || !IsWritableColumn(*column)) continue;
      if (name == QLatin1String("DOCNUM") || name == QLatin1String("SECURITY")) continue;
      defaults.emplace_back(name, value);
      LogMessage(cx, name + QStringLiteral(":") + Text(value));
    }
    Hyphens(cx);
  } catch (const std::exception&) {
    Hyphens(cx);
    LogMessage(cx, QStringLiteral("Error: Setting profile defaults from user ") + UserOf(cx) + QStringLiteral(" using form ") +
                       profile.FormName() + QStringLiteral(" in library ") + profile.Library());
    Hyphens(cx);
  }
  return defaults;
}

// Every writable column of the parent folder's profile, empty values included.
ColumnValues LoadParentValues(FolderContext& cx, qint64 Parent, const QString& Parent_Library) {
  ColumnValues parentValues;
  if (Parent_Library.isEmpty() || Parent == 0) return parentValues;
  const dm::DmLibrariesPtr& libraries = cx.session.FusionLibraries;
  if (!libraries) return parentValues;
  dm::DmProfilePtr sync;
  bool libraryFound = false;
  for (qint64 i = 1; i <= libraries->Count() && !libraryFound; ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (!library || library->Name().toUpper() != Parent_Library.toUpper()) continue;
    libraryFound = true;
    LogMessage(cx, QStringLiteral("Opening profile object #") + FormatNumber(Parent) + QStringLiteral(" in library ") + Parent_Library);
    sync = library->OpenProfile(Parent);
    Hyphens(cx);
  }
  if (!sync || sync->DocNumber() == 0) {
    LogMessage(cx, QStringLiteral("Unable to assign SyncProfile object #") + FormatNumber(Parent) + QStringLiteral(" in library ") +
                       Parent_Library);
    Hyphens(cx);
    return parentValues;
  }
  LogMessage(cx, QStringLiteral("SyncProfile object #") + FormatNumber(sync->DocNumber()) + QStringLiteral(" opened in library ") +
                     sync->Library());
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Retrieving profile columns from document #") + FormatNumber(sync->DocNumber()) +
                     QStringLiteral(" in library ") + sync->Library());
  if (const dm::DmColumnsPtr columns = sync->Columns()) {
    for (qint64 i = 1; i <= columns->Count(); ++i) {
      const dm::DmColumnPtr column = columns->Item(i);
      if (column && IsWritableColumn(*column)) parentValues.emplace_back(column->Name(), column->Value());
    }
  }
  Hyphens(cx);
  sync->Close();
  return parentValues;
}

// The standard columns and the parent's values, each written only into an empty, writable
// column; the folder's name also over a name that the user's defaults put there, or every
// folder would take that name.
void ColumnPass(FolderContext& cx, dm::DmColumns& columns, const QString& Folder_Name, const QString& AuthorSource,
                const ColumnValues& parentValues) {
  bool announced = false;
  for (qint64 i = 1; i <= columns.Count(); ++i) {
    const dm::DmColumnPtr column = columns.Item(i);
    if (!column) continue;
    const QVariant current = column->Value();
    const std::optional<QVariant> value =
        StandardColumnValue(column->Name(), current, Folder_Name, AuthorSource, UserOf(cx), parentValues);
    if (!value || !IsNonEmptyValue(*value) || !IsWritableColumn(*column)) continue;
    const bool nameColumn = column->Name().toUpper() == QLatin1String("DOCNAME");
    if (nameColumn ? current.toString() == value->toString() : !IsEmptyValue(current)) continue;
    if (!announced) {
      LogMessage(cx, QStringLiteral("Setting Standard profile columns for folder ") + Quote(Folder_Name));
      Hyphens(cx);
      announced = true;
    }
    LogMessage(cx, QStringLiteral("Setting column ") + column->Name() + QStringLiteral(" to ") + Text(*value));
    WriteColumn(cx, *column, *value);
  }
}

// The user's defaults once more, over what the column pass wrote; never the folder's name.
void ApplyDefaults(FolderContext& cx, dm::DmColumns& columns, const ColumnValues& defaults) {
  if (defaults.empty()) return;
  for (const auto& [name, value] : defaults) {
    for (qint64 i = 1; i <= columns.Count(); ++i) {
      const dm::DmColumnPtr column = columns.Item(i);
      if (!column || !IsWritableColumn(*column) || column->Name().toUpper() == QLatin1String("DOCNAME")) continue;
      if (column->Name() != name) continue;
      LogMessage(cx, QStringLiteral("Setting column ") + column->Name() + QStringLiteral(" to default value ") + Text(value));
      WriteColumn(cx, *column, value);
      break;
    }
  }
  Hyphens(cx);
}

void LogFormAndLibrary(FolderContext& cx, dm::DmProfile& profile) {
  Hyphens(cx);
  try {
    LogMessage(cx, QStringLiteral("Form for this folder is: ") + profile.FormName());
    LogMessage(cx, QStringLiteral("Library for this folder is: ") + profile.Library());
  } catch (const std::exception&) {
    // Only log lines; the filling goes on.
  }
  Hyphens(cx);
}

}  // namespace

bool IsNullValue(const QVariant& value) { return value.isNull(); }

bool IsEmptyValue(const QVariant& value) { return !value.isNull() && value.toString().isEmpty(); }

bool IsNonEmptyValue(const QVariant& value) { return !value.isNull() && !value.toString().isEmpty(); }

bool IsWritableColumn(const dm::DmColumn& column) { return !column.Protected() || column.TypeCode() == WritableTypeCode; }

std::optional<QVariant> StandardColumnValue(const QString& columnName, const QVariant& columnValue,
                                            const QString& folderName, const QString& authorSource,
                                            const QString& userName, const ColumnValues& parentValues) {
  const QString upper = columnName.toUpper();
  std::optional<QVariant> value;
  if (upper == QLatin1String("DOCNAME")) {
    value = QVariant(folderName);
  } else if (upper == QLatin1String("AUTHOR_ID")) {
    if (IsEmptyValue(columnValue) && authorSource.toUpper() != QLatin1String("DEFAULT")) value = QVariant(userName);
  } else if (upper == QLatin1String("TYPIST_ID")) {
    if (IsEmptyValue(columnValue)) value = QVariant(userName);
  } else if (upper == QLatin1String("APP_ID")) {
    value = QVariant(QStringLiteral("FOLDER"));
  } else if (IsEmptyValue(columnValue) && !parentValues.empty()) {
    if (const QVariant* parentValue = Lookup(parentValues, columnName)) value = *parentValue;
  }
  if (upper == QLatin1String("TYPE_ID") && (!value || IsEmptyValue(*value))) value = QVariant(QStringLiteral("FOLDER"));
  return value;
}

bool FillFolderProfile(FolderContext& cx, const QString& Folder_Name, qint64 Parent, const QString& Parent_Library,
                       const QString& AuthorSource) {
  const dm::DmProfilePtr profile = cx.items.ProfileObject;
  const ColumnValues defaults = profile ? LoadDefaults(cx, *profile) : ColumnValues();
  const ColumnValues parentValues = LoadParentValues(cx, Parent, Parent_Library);

  if (!cx.items.ProfileObject) {
    LogMessage(cx, QStringLiteral("Warning: The profile object is no longer set - cannot continue"));
    return false;
  }
  const dm::DmColumnsPtr columns = profile->Columns();
  if (!columns || columns->Count() == 0) {
    LogMessage(cx, QStringLiteral("Warning: The profile object contains no columns - cannot continue"));
    return false;
  }
  LogMessage(cx, QStringLiteral("Processing columns for new folder in library ") + profile->Library());
  Hyphens(cx);
  ColumnPass(cx, *columns, Folder_Name, AuthorSource, parentValues);
  LogFormAndLibrary(cx, *profile);
  ApplyDefaults(cx, *columns, defaults);

  // Every folder has an author, whatever the rule's author source.
  const dm::DmColumnPtr author = columns->Item(QStringLiteral("AUTHOR_ID"));
  if (author && IsEmptyValue(author->Value())) author->SetValue(UserOf(cx));
  return true;
}

}  // namespace sw
