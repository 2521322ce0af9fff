// Filing one item, a document or a folder, into a parent folder that may lie in another library:
// the checks, the add and the parent's save through the DM objects, then the parent's sort, the
// metadata fill and the security the rule asks for.
#include <QChar>

#include "core/library.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/filing_checks.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/sort_folders.h"
#include "rules/rule_table.h"
#include "security/passed_step.h"
#include "security/security.h"

namespace sw {

using namespace folder_sql;

namespace {

const QString Q = QStringLiteral("\"");

QString Number(qint64 n) { return FormatNumber(n); }

[[noreturn]] void RaiseOpenFailure(const dm::DmLibrary& library, const QString& source) {
  const qint64 number = library.Error.ErrNumber != 0 ? library.Error.ErrNumber : ErrObjectNotSet;
  const QString description = library.Error.ErrDescription.isEmpty()
                                  ? QStringLiteral("Object variable or With block variable not set")
                                  : library.Error.ErrDescription;
  throw DmCallFailure(number, source, description);
}

dm::DmFolder& ParentFolder(FolderContext& cx) {
  if (!cx.items.FolderObject)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Folder"),
                        QStringLiteral("Object variable or With block variable not set"));
  return *cx.items.FolderObject;
}

// The parent as the status and error texts name it.
QString ParentText(dm::DmFolder& parent) {
  return QStringLiteral(" to folder #") + Number(parent.DocNumber()) + QStringLiteral(" ") + Q + parent.Description() + Q +
         QStringLiteral(" in library ") + parent.Library();
}

// The first library of the session whose name matches, in any letter case.
dm::DmLibraryPtr SessionLibrary(Context& cx, const QString& name) {
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Libraries"),
                        QStringLiteral("Object variable or With block variable not set"));
  const qint64 count = libraries->Count();
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (library && library->Name().compare(name, Qt::CaseInsensitive) == 0) return library;
  }
  return nullptr;
}

bool AddDocument(FolderContext& cx, dm::DmLibrary& library, qint64 DocNumber) {
  dm::DmFolder& parent = ParentFolder(cx);
  StatusThenHyphens(cx, QStringLiteral("Setting document object #") + Number(DocNumber));
  const dm::DmProfilePtr item = library.OpenProfile(DocNumber);
  if (!item) RaiseOpenFailure(library, QStringLiteral("DOCSObjects.Profile"));
  const dm::DmTrusteesPtr trustees = item->Trustees();
  if (trustees) LogThenHyphens(cx, QStringLiteral("Profile object set with ") + Number(trustees->Count()) + QStringLiteral(" trustee(s)"));
  StatusThenHyphens(cx, QStringLiteral("Adding folder item #") + Number(item->DocNumber()) + QStringLiteral(" ") + Q + item->DocumentName() + Q +
                     QStringLiteral(" in library ") + item->Library() + ParentText(parent));
  const bool added = parent.AddDocument(item);
  if (added && trustees)
    LogThenHyphens(cx, QStringLiteral("Profile added to folder with ") + Number(trustees->Count()) + QStringLiteral(" trustee(s)"));
  if (added) return true;
  if (parent.Error.ErrNumber != 0)
    LogThenHyphens(cx, QStringLiteral("Error: #") + Number(parent.Error.ErrNumber) + QStringLiteral(" - ") + parent.Error.ErrDescription);
  else
    LogThenHyphens(cx, QStringLiteral("Error: Unable to add item to folder"));
  return false;
}

bool AddSubfolder(FolderContext& cx, dm::DmLibrary& library, qint64 DocNumber) {
  dm::DmFolder& parent = ParentFolder(cx);
  StatusThenHyphens(cx, QStringLiteral("Setting folder object #") + Number(DocNumber) + QStringLiteral(" in library ") + library.Name());
  const dm::DmFolderPtr item = library.OpenFolder(DocNumber);
  if (!item) RaiseOpenFailure(library, QStringLiteral("DOCSObjects.Folder"));
  StatusThenHyphens(cx, QStringLiteral("Adding subfolder #") + Number(item->DocNumber()) + QStringLiteral(" ") + Q + item->Description() + Q +
                     QStringLiteral(" in library ") + item->Library() + ParentText(parent));
  return parent.AddSubfolder(item);
}

// Hands the item to the parent; the item object lives only for this step.
bool AddItem(FolderContext& cx, qint64 DocNumber, const QString& DocType, const QString& Document_Library) {
  CDoc(cx, Document_Library);
  const dm::DmLibraryPtr library = SessionLibrary(cx, Document_Library);
  if (!library) return false;
  if (DocType == QLatin1String("F")) return AddSubfolder(cx, *library, DocNumber);
  return AddDocument(cx, *library, DocNumber);
}

void ReportAddFailure(FolderContext& cx, qint64 DocNumber, qint64 Parent) {
  dm::DmFolder& parent = ParentFolder(cx);
  const QString target = QStringLiteral("Unable to add item #") + Number(DocNumber) + QStringLiteral(" to folder #") + Number(Parent) +
                         QStringLiteral(" ") + Q + parent.Description() + Q;
  if (parent.Error.ErrNumber != 0)
    LogThenHyphens(cx, QStringLiteral("Error: #") + Number(parent.Error.ErrNumber) + QStringLiteral("  (") + parent.Error.ErrDescription +
                    QStringLiteral(") ") + target);
  else
    LogThenHyphens(cx, QStringLiteral("Error: ") + target);
}

// Saves the parent; once saved, the shared objects are let go before the steps that follow
// open objects of their own.
bool SaveParent(FolderContext& cx) {
  dm::DmFolder& parent = ParentFolder(cx);
  StatusThenHyphens(cx, QStringLiteral("Saving folder object for folder ") + Q + parent.Description() + Q + QStringLiteral(" in library ") +
                     parent.Library());
  if (!parent.Save(cx.run.SaveFlags)) {
    if (parent.Error.ErrNumber != 0)
      LogThenHyphens(cx, QStringLiteral("Error: #") + Number(parent.Error.ErrNumber) + QStringLiteral(" ") + parent.Error.ErrDescription +
                      QStringLiteral(" - Unable to save the folder object for this folder - cannot continue"));
    else
      LogThenHyphens(cx, QStringLiteral("Error: Unable to save the folder object for this folder - cannot continue"));
    return false;
  }
  LogThenHyphens(cx, QStringLiteral("Folder object saved to #") + Number(parent.DocNumber()) + QStringLiteral(" in library ") + parent.Library());
  filing::CloseProfileSlot(cx);
  cx.items.FolderObject.reset();
  return true;
}

// Adds the item to the open parent, saves the parent and sorts it; false when the item could not
// be added or the parent not saved. A failed sort is logged and does not stop the filing.
bool AddSaveAndSort(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType,
                    const QString& Folder_Library, const QString& Document_Library) {
  if (!AddItem(cx, DocNumber, DocType, Document_Library)) {
    ReportAddFailure(cx, DocNumber, Parent);
    return false;
  }
  if (!SaveParent(cx)) return false;
  // The sort is gone past when it fails: under a savepoint of its own, a refused sort undoes
  // itself alone and the item stays filed.
  const int limit = cx.library.MaxItemsToSort;
  bool sorted = false;
  const bool stands = RunPassedStep(cx, Folder_Library, [&] { sorted = SortFolders(cx, Parent, Folder_Library, limit); });
  if (!sorted || !stands)
    LogThenHyphens(cx, QStringLiteral("Error: Unable to sort the parent folder in library ") + Folder_Library);
  return true;
}

// A filing across libraries may leave the last row of the parent's order without the item's
// number; it receives it.
void VerifyRemoteInsert(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Document_Library) {
  StatusThenHyphens(cx, QStringLiteral("Verifying that document # ") + Number(DocNumber) + QStringLiteral(" in ") + Document_Library +
                     QStringLiteral(" has been inserted for the new Folder Item in folder library ") + CurrentName(cx));
  filing::RunChecked(cx, QStringLiteral("SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE NEXT = 0 AND PARENT = ") +
                             Number(Parent));
  dm::PcdSql& results = Results(cx);
  if (results.RowCount() == 0) {
    results.ReleaseResults();
    return;
  }
  results.SetRow(1);
  const qint64 systemId = WholeValue(results.ColumnValue(1));
  const qint64 filed = WholeValue(results.ColumnValue(2));
  results.ReleaseResults();
  LogThenHyphens(cx, QStringLiteral("Document #") + Number(filed) + QStringLiteral(" is currently set to Folder Item system_id #") +
                  Number(systemId));
  if (systemId == 0 || filed != 0) return;
  LogThenHyphens(cx, QStringLiteral("Inserting Document # for the new Folder Item"));
  filing::RunChecked(cx, QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET DOCNUMBER = ") + Number(DocNumber) +
                             QStringLiteral(" WHERE SYSTEM_ID = ") + Number(systemId));
  Results(cx).ReleaseResults();
}

// The rule's security steps; their answers do not change the filing's.
void ApplySecurity(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
                   const FilingRule& rule, const QString& Folder_Library, const QString& Document_Library) {
  if (rule.inheritSecurity) InheritSecurity(cx, DocNumber, Parent, Folder_Library, Document_Library);
  if (!rule.securityTemplate.isEmpty())
    AddSecurity(cx, DocNumber, rule.securityTemplate, Rule_Number, DocType, Folder_Library, Document_Library);
}

// Everything between the entry and the exit steps; failures raised here go to the error report.
bool FileItem(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
              const FilingRule& rule, const QString& Folder_Library, const QString& Document_Library) {
  switch (CheckFiling(cx, DocNumber, Parent, Folder_Library, Document_Library)) {
    case FilingVerdict::AlreadyFiled:
      return true;
    case FilingVerdict::Refused:
      return false;
    case FilingVerdict::GoOn:
      break;
  }
  if (!AddSaveAndSort(cx, DocNumber, Parent, DocType, Folder_Library, Document_Library)) return false;
  if (!SyncData(cx, Parent, DocNumber, Folder_Library, DocType, Rule_Number, Document_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to process Inherit Metadata Option"));
    return false;
  }
  ApplySecurity(cx, DocNumber, Parent, DocType, Rule_Number, rule, Folder_Library, Document_Library);
  if (!ConnectLibrary(cx, Folder_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + Folder_Library);
    return false;
  }
  if (!filing::SameLibrary(Folder_Library, Document_Library)) {
    VerifyRemoteInsert(cx, DocNumber, Parent, Document_Library);
    // Without the item's own row for this filing the item is not found in the folder again.
    if (!RecordRemoteFiling(cx, Parent, Folder_Library, DocNumber)) {
      LogThenHyphens(cx, QStringLiteral("Error: Unable to record item #") + Number(DocNumber) + QStringLiteral(" of library ") +
                             Document_Library + QStringLiteral(" as filed in folder #") + Number(Parent));
      return false;
    }
  }
  LogThenHyphens(cx, QStringLiteral("Folder Item #") + Number(DocNumber) + QStringLiteral(" successfully added to folder #") + Number(Parent) +
                  QStringLiteral("."));
  return true;
}

void ReportFailure(Context& cx, const std::exception& failure) {
  LogMessage(cx, QStringLiteral("AddFolderItem:"));
  if (const auto* dmFailure = dynamic_cast<const DmCallFailure*>(&failure)) {
    ReportError(cx, dmFailure->Number(), dmFailure->Source(), dmFailure->Description());
    return;
  }
  ReportError(cx, ErrAutomation, QStringLiteral("AddFolderItem"), QString::fromLocal8Bit(failure.what()));
}

// The way out after the guards, whatever happened: both shared objects empty, the entry's
// library current again.
void ExitSteps(FolderContext& cx) {
  Hyphens(cx);
  filing::CloseProfileSlot(cx);
  cx.items.FolderObject.reset();
  Hyphens(cx);
}

// The parent's own row for the item: without it the folder does not show the item.
bool ParentShowsItem(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                     const QString& Document_Library) {
  return filing::CountOf(cx, filing::FiledAlreadyQuery(DocNumber, Parent, Document_Library, Folder_Library)) > 0;
}

bool OpenParent(FolderContext& cx, qint64 Parent, const QString& Folder_Library) {
  CDoc(cx, Folder_Library);
  const dm::DmLibraryPtr library = SessionLibrary(cx, Folder_Library);
  if (!library) return false;
  cx.items.FolderObject = library->OpenFolder(Parent);
  if (cx.items.FolderObject && cx.items.FolderObject->DocNumber() != 0) return true;
  LogThenHyphens(cx, QStringLiteral("Error: Unable to open parent folder object #") + Number(Parent) +
                         QStringLiteral(" for AddFolderItem in library ") + Folder_Library);
  return false;
}

// The filing's rows in both libraries' item tables, the parent's first; the item's own library
// already records the filing, and its security and metadata stand with it.
bool LinkItem(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
              const QString& Document_Library) {
  if (ParentShowsItem(cx, DocNumber, Parent, Folder_Library, Document_Library)) return true;
  LogThenHyphens(cx, QStringLiteral("Warning: Folder #") + Number(DocNumber) + QStringLiteral(" in library ") + Document_Library +
                         QStringLiteral(" is not shown in its parent folder #") + Number(Parent) + QStringLiteral(" in library ") +
                         Folder_Library + QStringLiteral(" - adding it"));
  if (!OpenParent(cx, Parent, Folder_Library)) return false;
  if (!AddSaveAndSort(cx, DocNumber, Parent, QStringLiteral("F"), Folder_Library, Document_Library)) return false;
  if (!ConnectLibrary(cx, Folder_Library)) return false;
  VerifyRemoteInsert(cx, DocNumber, Parent, Document_Library);
  if (!RecordRemoteFiling(cx, Parent, Folder_Library, DocNumber)) return false;
  return ParentShowsItem(cx, DocNumber, Parent, Folder_Library, Document_Library);
}

}  // namespace

bool LinkFoundFolder(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                     const QString& Document_Library) {
  if (DocNumber == 0 || Parent == 0 || Folder_Library.compare(Document_Library, Qt::CaseInsensitive) == 0) return true;
  if (!CheckFusion(cx, QStringLiteral("AddFolderItem"))) return false;
  if (!cx.session.CurrentLibrary) return false;
  const ScreenGuard guard(cx);
  bool result = false;
  try {
    result = ConnectLibrary(cx, Folder_Library) && LinkItem(cx, DocNumber, Parent, Folder_Library, Document_Library);
  } catch (const std::exception& failure) {
    ReportFailure(cx, failure);
  }
  if (!result)
    LogThenHyphens(cx, QStringLiteral("Error: Unable to add folder #") + Number(DocNumber) + QStringLiteral(" in library ") +
                           Document_Library + QStringLiteral(" to its parent folder #") + Number(Parent) +
                           QStringLiteral(" in library ") + Folder_Library);
  ExitSteps(cx);
  return result;
}

bool AddFolderItem(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
                   const QString& Folder_Library, const QString& Document_Library) {
  FilingRule rule;
  rule.inheritSecurity = NumericValue(cx.rules.RuleTable(field::RULE_PROFILE_INHERIT_SECURITY, Rule_Number)) == 1;
  rule.securityTemplate = cx.rules.RuleTable(field::RULE_SECURITY, Rule_Number);
  return AddFolderItemOfRule(cx, DocNumber, Parent, DocType, Rule_Number, rule, Folder_Library, Document_Library);
}

bool AddFolderItemOfRule(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
                         const FilingRule& rule, const QString& Folder_Library, const QString& Document_Library) {
  if (!CheckFusion(cx, QStringLiteral("AddFolderItem"))) return false;
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, QStringLiteral("Error: Library object not set - cannot continue"));
    return false;
  }
  if (DocNumber == 0 || Parent == 0) return false;
  // An item is never filed into itself.
  if (filing::SameLibrary(Folder_Library, Document_Library) && DocNumber == Parent) return true;

  const ScreenGuard guard(cx);
  filing::CloseProfileSlot(cx);
  bool result = false;
  try {
    result = FileItem(cx, DocNumber, Parent, DocType, Rule_Number, rule, Folder_Library, Document_Library);
  } catch (const std::exception& failure) {
    ReportFailure(cx, failure);
    result = false;
  }
  ExitSteps(cx);
  return result;
}

}  // namespace sw
