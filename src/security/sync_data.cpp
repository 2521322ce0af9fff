// The metadata fill between a folder and an item just filed into it: each side's empty profile
// fields take the other side's values, the item first. It works through the DM profile objects
// only (never SQL), opened through the session's library objects, so the current library stays
// as it is.
#include <functional>

#include "core/log.h"
#include "core/session.h"
#include "core/text.h"
#include "security/security.h"
#include "security/security_context.h"

namespace sw {

namespace {

constexpr int NumericColumn = 4;
// A column that takes part even when it is protected (author, typist and the like).
constexpr int WritableWhenProtected = 128;

// A DM call whose failure only means "this step had no effect": the fill has no error handler
// and passes over whatever fails.
template <class T>
T Quietly(const std::function<T()>& call, T fallback = T()) {
  try {
    return call();
  } catch (const std::exception&) {
    return fallback;
  }
}

void Quietly(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception&) {
  }
}

// The first library of the session whose name matches, in any letter case.
dm::DmLibraryPtr FindLibrary(Context& cx, const QString& name) {
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries) return nullptr;
  const qint64 count = Quietly<qint64>([&] { return libraries->Count(); });
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr library = Quietly<dm::DmLibraryPtr>([&] { return libraries->Item(i); });
    if (!library) continue;
    const QString itemName = Quietly<QString>([&] { return library->Name(); });
    if (itemName.compare(name, Qt::CaseInsensitive) == 0) return library;
  }
  return nullptr;
}

bool IsNumeric(const dm::DmColumn& column) { return column.TypeCode() == NumericColumn; }

qint64 WholeNumber(const QVariant& value) { return qRound64(NumericValue(value.toString())); }

// A source column holds a value: a number other than 0, or text that is not blank.
bool HoldsValue(const dm::DmColumn& column) {
  const QVariant value = column.Value();
  if (IsNumeric(column)) return NumericValue(value.toString()) != 0;
  return !TrimBlanks(value.toString()).isEmpty();
}

// A target column is empty: the number 0, or exactly the empty text (blanks count as filled).
bool IsEmptyTarget(const dm::DmColumn& column) {
  const QVariant value = column.Value();
  if (IsNumeric(column)) return NumericValue(value.toString()) == 0;
  return value.toString().isEmpty();
}

// Copies the source's values into the target's empty fields of the same name. Only the source
// column's protection counts; e-mail fields are never copied. True when a field was written.
bool FillColumns(Context& cx, dm::DmProfile& source, dm::DmProfile& target) {
  const dm::DmColumnsPtr sourceColumns = Quietly<dm::DmColumnsPtr>([&] { return source.Columns(); });
  const dm::DmColumnsPtr targetColumns = Quietly<dm::DmColumnsPtr>([&] { return target.Columns(); });
  if (!sourceColumns) return false;
  const qint64 count = Quietly<qint64>([&] { return sourceColumns->Count(); });
  bool ColumnsChanged = false;
  for (qint64 i = 1; i <= count; ++i) {
    Quietly([&] {
      const dm::DmColumnPtr s = sourceColumns->Item(i);
      if (!s) return;
      if (s->Protected() && s->TypeCode() != WritableWhenProtected) return;
      const QString name = s->Name().toUpper();
      if (name.contains(QStringLiteral("MAIL"))) return;
      if (!HoldsValue(*s)) return;
      const dm::DmColumnPtr t = targetColumns ? targetColumns->Item(name) : nullptr;
      if (!t || !IsEmptyTarget(*t)) return;
      const QVariant value = s->Value();
      const QString shown = IsNumeric(*t) ? FormatNumber(WholeNumber(value)) : value.toString();
      LogMessage(cx, QStringLiteral("Setting Folder ") + t->Name() + QStringLiteral(" to ") + shown);
      ColumnsChanged = true;
      t->SetValue(value);
    });
  }
  return ColumnsChanged;
}

// Saves one side after its fields were filled; false (with the reason logged) when it failed.
bool SaveFilled(Context& cx, dm::DmProfile& profile, const QString& side) {
  const QString number = FormatNumber(Quietly<qint64>([&] { return profile.DocNumber(); }));
  const QString library = Quietly<QString>([&] { return profile.Library(); });
  LogMessage(cx, HyphenLine);
  LogMessage(cx, QStringLiteral("Saving profile object for ") + side + QStringLiteral(" folder #") + number +
                     QStringLiteral(" in library ") + library);
  const bool ok = Quietly<bool>([&] { return profile.Save(cx.run.SaveFlags); }, false);
  LogMessage(cx, HyphenLine);
  if (!ok) {
    if (profile.Error.ErrNumber != 0) {
      LogMessage(cx, QStringLiteral("Error: (") + FormatNumber(profile.Error.ErrNumber) + QStringLiteral(") - ") +
                         profile.Error.ErrDescription);
    } else {
      LogMessage(cx, QStringLiteral("Warning: Attempt to save ") + side +
                         QStringLiteral(" profile object did not return valid response"));
    }
    LogMessage(cx, HyphenLine);
    return false;
  }
  LogThenHyphens(cx, QStringLiteral("Folder object saved to #") + number + QStringLiteral(" in library ") + library);
  return true;
}

// Opens the item (as a folder for "F", else as a document profile) into the shared slots.
// Null, with the reason logged, when it cannot be opened.
dm::DmProfilePtr OpenItem(Context& cx, qint64 DocNumber, const QString& DocType, const QString& Item_Library) {
  const QString n = FormatNumber(DocNumber);
  const dm::DmLibraryPtr library = FindLibrary(cx, Item_Library);
  dm::DmProfilePtr item;
  if (library && DocType == QLatin1String("F")) {
    LogThenHyphens(cx, QStringLiteral("Opening folder object #") + n + QStringLiteral(" in library ") + library->Name());
    cx.items.FolderObject = Quietly<dm::DmFolderPtr>([&] { return library->OpenFolder(dm::DmObjectFolder, DocNumber); });
    if (!cx.items.FolderObject) {
      LogThenHyphens(cx, QStringLiteral("Error: Unable to open folder object #") + n + QStringLiteral(" for SyncData in library ") +
                      Item_Library);
      return nullptr;
    }
    item = cx.items.FolderObject;
  } else if (library) {
    LogThenHyphens(cx, QStringLiteral("Opening profile object #") + n + QStringLiteral(" in library ") + library->Name());
    item = Quietly<dm::DmProfilePtr>([&] { return library->OpenProfile(dm::DmObjectFolder, DocNumber); });
  }
  cx.items.ProfileObject = item;
  if (!item) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to open profile object #") + n + QStringLiteral(" for SyncData in library ") +
                    Item_Library);
  }
  return item;
}

dm::DmProfilePtr OpenParent(Context& cx, qint64 Parent, const QString& Folder_Library) {
  const QString p = FormatNumber(Parent);
  const dm::DmLibraryPtr library = FindLibrary(cx, Folder_Library);
  cx.items.FolderObject.reset();
  if (library) {
    LogThenHyphens(cx, QStringLiteral("Opening folder object #") + p + QStringLiteral(" in library ") + library->Name());
    cx.items.FolderObject = Quietly<dm::DmFolderPtr>([&] { return library->OpenFolder(dm::DmObjectFolder, Parent); });
  }
  if (!cx.items.FolderObject) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to open folder object #") + p + QStringLiteral(" for SyncData in library ") +
                    Folder_Library);
    return nullptr;
  }
  LogMessage(cx, HyphenLine);
  return cx.items.FolderObject;
}

bool SameObject(dm::DmProfile& item, dm::DmProfile& parent) {
  return Quietly<bool>([&] { return item.DocNumber() == parent.DocNumber() && item.Library() == parent.Library(); }, false);
}

// Both passes: parent to item, then item to parent. A failed save of the item ends it before
// the parent is touched.
bool FillBothWays(Context& cx, dm::DmProfile& item, dm::DmProfile& parent) {
  const QString itemNumber = FormatNumber(Quietly<qint64>([&] { return item.DocNumber(); }));
  const QString parentNumber = FormatNumber(Quietly<qint64>([&] { return parent.DocNumber(); }));

  StatusThenHyphens(cx, QStringLiteral("Processing Metadata columns from parent folder #") + parentNumber +
                     QStringLiteral(" to child folder #") + itemNumber);
  if (FillColumns(cx, parent, item) && !SaveFilled(cx, item, QStringLiteral("child"))) return false;

  StatusThenHyphens(cx, QStringLiteral("Processing Metadata columns from child folder #") + itemNumber +
                     QStringLiteral(" to parent folder #") + parentNumber);
  if (FillColumns(cx, item, parent) && !SaveFilled(cx, parent, QStringLiteral("parent"))) return false;

  LogMessage(cx, HyphenLine);
  return true;
}

bool OpenAndFill(Context& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library, const QString& DocType,
                 const QString& Item_Library, dm::DmProfilePtr* item, dm::DmProfilePtr* parent) {
  cx.items.FolderObject.reset();
  *item = OpenItem(cx, DocNumber, DocType, Item_Library);
  if (!*item) return false;
  *parent = OpenParent(cx, Parent, Folder_Library);
  if (!*parent) return false;
  if (SameObject(**item, **parent)) return true;
  return FillBothWays(cx, **item, **parent);
}

}  // namespace

bool SyncData(SecurityContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
              const QString& DocType, int /*Rule_Number: the fill is the same for every rule*/,
              const QString& Item_Library) {
  if (!CheckFusion(cx, QStringLiteral("SyncData"))) return false;
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, QStringLiteral("Error: Library object not set - cannot continue"));
    return false;
  }
  StatusThenHyphens(cx, QStringLiteral("Processing Metadata between Parent #") + FormatNumber(Parent) +
                     QStringLiteral(" in library ") + Folder_Library + QStringLiteral(" and Item #") +
                     FormatNumber(DocNumber) + QStringLiteral(" in library ") + Item_Library);

  dm::DmProfilePtr item;
  dm::DmProfilePtr parent;
  const bool result = OpenAndFill(cx, Parent, DocNumber, Folder_Library, DocType, Item_Library, &item, &parent);

  // Both profiles are closed and the shared slots emptied on every way out.
  cx.items.FolderObject.reset();
  if (item) Quietly([&] { item->Close(); });
  cx.items.ProfileObject.reset();
  if (parent) Quietly([&] { parent->Close(); });
  return result;
}

}  // namespace sw
