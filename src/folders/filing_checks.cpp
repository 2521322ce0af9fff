#include "folders/filing_checks.h"

#include <QChar>
#include <cmath>
#include <functional>

#include "core/library.h"
#include "core/log.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/sort_folders.h"

namespace sw {

using namespace folder_sql;

namespace {

const QString Q = QStringLiteral("\"");
const QString Supervisors = QStringLiteral("DOCS_SUPERVISORS");

[[noreturn]] void RaiseNotSet(const QString& source) {
  throw DmCallFailure(ErrObjectNotSet, source, QStringLiteral("Object variable or With block variable not set"));
}

dm::DmLibrary& Library(Context& cx) {
  if (!cx.session.CurrentLibrary) RaiseNotSet(QStringLiteral("DOCSObjects.Library"));
  return *cx.session.CurrentLibrary;
}

QString Number(qint64 n) { return FormatNumber(n); }

bool HasRight(Context& cx, const QString& name) {
  const dm::DmLibraryPropertiesPtr properties = Library(cx).Properties();
  if (!properties) RaiseNotSet(QStringLiteral("DOCSObjects.Library"));
  const dm::DmLibraryPropertyPtr property = properties->Item(name);
  if (!property)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Library"),
                        QStringLiteral("The library property ") + name + QStringLiteral(" cannot be read"));
  return filing::RightGranted(property->Value());
}

// A DM call inside the effective-rights checks: whatever fails there is passed over.
template <class T>
T PassedOver(const std::function<T()>& call, T fallback) {
  try {
    return call();
  } catch (const std::exception&) {
    return fallback;
  }
}

// ---- The checks in the parent's library ----

bool MayManageFolders(Context& cx) {
  dm::DmLibrary& library = Library(cx);
  if (library.PrimaryGroup() == Supervisors) return true;
  const bool manageRoot = HasRight(cx, QStringLiteral("User.ManageRootFolders"));
  const bool createFolder = HasRight(cx, QStringLiteral("User.CreateFolder"));
  if (manageRoot && createFolder) return true;
  LogThenHyphens(cx, QStringLiteral("Error: ") + library.UserName() + QStringLiteral(" does not have rights to manage folders in library ") +
                  library.Name());
  return false;
}

bool ParentIsFolder(Context& cx, qint64 Parent) {
  const QString library = CurrentName(cx);
  StatusThenHyphens(cx, QStringLiteral("Making sure parent folder #") + Number(Parent) + QStringLiteral(" exists as a folder in library ") +
                     library);
  const qint64 profiles = filing::CountOf(
      cx, {QStringLiteral("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = ? AND APPLICATION = (SELECT SYSTEM_ID FROM "
                          "[OWNER].APPS WHERE APPLICATION = 'FOLDER')"),
           {Number(Parent)}});
  if (profiles == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Parent folder #") + Number(Parent) + QStringLiteral(" does not exist, or is not a folder, in library ") +
                    library);
    return false;
  }
  const qint64 folders =
      filing::CountOf(cx, {QStringLiteral("SELECT COUNT(*) FROM [OWNER].FOLDER WHERE DOCNUMBER = ?"), {Number(Parent)}});
  if (folders == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Parent folder #") + Number(Parent) + QStringLiteral(" is not a folder in library ") + library);
    return false;
  }
  return true;
}

bool MayUseParent(Context& cx, qint64 Parent) {
  dm::DmLibrary& library = Library(cx);
  const QString user = library.UserName();
  if (filing::CountOf(cx, filing::ParentRightsQuery(Parent, user)) > 0) return true;
  const qint64 universal =
      filing::CountOf(cx, QStringLiteral("SELECT UNIV_ACCESS FROM [OWNER].GROUPS WHERE GROUP_ID = '") +
                              StripQuotes(library.PrimaryGroup()) + QStringLiteral("'"));
  if (universal > 127) return true;
  LogThenHyphens(cx, QStringLiteral("Error: ") + user + QStringLiteral(" does not have adequate rights to Parent folder #") + Number(Parent) +
                  QStringLiteral(" in library ") + library.Name());
  return false;
}

bool FiledInParentLibrary(Context& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                          const QString& Document_Library) {
  const QString library = CurrentName(cx);
  StatusThenHyphens(cx, QStringLiteral("Checking Folder_Item table in library ") + library + QStringLiteral(" to determine whether item #") +
                     Number(DocNumber) + QStringLiteral(" in library ") + Document_Library + QStringLiteral(" exists in folder #") +
                     Number(Parent) + QStringLiteral(" in library ") + library);
  if (filing::CountOf(cx, filing::FiledAlreadyQuery(DocNumber, Parent, Document_Library, Folder_Library)) == 0) return false;
  LogThenHyphens(cx, QStringLiteral("Folder_Item #") + Number(DocNumber) + QStringLiteral(" in library ") + Document_Library +
                  QStringLiteral(" exists in folder #") + Number(Parent) + QStringLiteral(" in library ") + library);
  return true;
}

// ---- The checks in the item's library ----

struct ItemStatus {
  qint64 rows = 0;
  qint64 status = 0;
};

ItemStatus ReadItemStatus(Context& cx, qint64 DocNumber) {
  filing::RunChecked(cx, {QStringLiteral("SELECT STATUS FROM [OWNER].PROFILE WHERE DOCNUMBER = ?"), {Number(DocNumber)}});
  dm::PcdSql& sql = Results(cx);
  ItemStatus item{sql.RowCount(), WholeValue(sql.ColumnValue(1))};
  sql.ReleaseResults();
  return item;
}

bool StatusAllowsFiling(Context& cx, qint64 DocNumber, const ItemStatus& item) {
  const QString library = CurrentName(cx);
  if (item.rows == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Document #") + Number(DocNumber) +
                    QStringLiteral(" does not appear to exist in the Profile table in library ") + library +
                    QStringLiteral(" - cannot continue AddFolderItem"));
    return false;
  }
  if (item.status == 0 || item.status == 3) return true;
  LogThenHyphens(cx, QStringLiteral("Document #") + Number(DocNumber) + QStringLiteral(" Status is ") + Number(item.status) +
                  QStringLiteral(" in library ") + library + QStringLiteral(" - cannot continue AddFolderItem"));
  return false;
}

bool FiledInItemLibrary(Context& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                        const QString& Document_Library) {
  const QString library = CurrentName(cx);
  StatusThenHyphens(cx, QStringLiteral("Checking Folder_Item table in library ") + library + QStringLiteral(" to determine whether item #") +
                     Number(DocNumber) + QStringLiteral(" in library ") + library + QStringLiteral(" exists in folder #") +
                     Number(Parent) + QStringLiteral(" in library ") + Folder_Library);
  if (filing::CountOf(cx, filing::FiledAlreadyQuery(DocNumber, Parent, Document_Library, Folder_Library)) == 0) return false;
  LogThenHyphens(cx, QStringLiteral("Folder_Item #") + Number(DocNumber) + QStringLiteral(" in library ") + library +
                  QStringLiteral(" exists in folder #") + Number(Parent) + QStringLiteral(" in library ") + Folder_Library);
  return true;
}

bool MayFileRemotely(Context& cx, const QString& Folder_Library) {
  if (HasRight(cx, QStringLiteral("User.SaveToRemoteLibrary"))) return true;
  dm::DmLibrary& library = Library(cx);
  LogThenHyphens(cx, QStringLiteral("Error: ") + library.UserName() + QStringLiteral(" does not have rights to save folders to the (remote) Library ") +
                  Folder_Library + QStringLiteral(" from library ") + library.Name());
  return false;
}

bool OpenItemProfile(FolderContext& cx, qint64 DocNumber, const QString& Document_Library) {
  CDoc(cx, Document_Library);
  filing::CloseProfileSlot(cx);
  dm::DmLibrary& library = Library(cx);
  LogThenHyphens(cx, QStringLiteral("Opening profile object #") + Number(DocNumber) + QStringLiteral(" for AddFolderItem in library ") +
                  library.Name());
  cx.items.ProfileObject = library.OpenProfile(DocNumber);
  const dm::DmProfilePtr& profile = cx.items.ProfileObject;
  if (!profile) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to open child Profile object #") + Number(DocNumber) +
                    QStringLiteral(" for AddFolderItem in library ") + library.Name());
    return false;
  }
  if (profile->DocNumber() == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to assign child Profile object #") + Number(DocNumber) +
                    QStringLiteral(" for AddFolderItem in library ") + library.Name());
    return false;
  }
  LogThenHyphens(cx, QStringLiteral("Profile object #") + Number(profile->DocNumber()) + QStringLiteral(" opened in library ") +
                  profile->Library());
  return true;
}

// Whether the item's own list of parent folders already holds the parent.
bool ListedInParent(Context& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library) {
  const double started = SecondsOfDay(cx);
  const dm::DmParentFoldersPtr parents = cx.items.ProfileObject->ParentFolders();
  const qint64 count = parents ? parents->Count() : 0;
  if (count > 0) {
    StatusThenHyphens(cx, QStringLiteral("Checking ") + Number(count) + QStringLiteral(" parent folder(s) to determine whether item #") +
                       Number(DocNumber) + QStringLiteral(" already exists in folder #") + Number(Parent));
    for (qint64 i = 1; i <= count; ++i) {
      const dm::DmParentFolder entry = parents->Item(i);
      if (entry.DocNumber != Parent || entry.Library.compare(Folder_Library, Qt::CaseInsensitive) != 0) continue;
      LogThenHyphens(cx, QStringLiteral("Folder item #") + Number(DocNumber) + QStringLiteral(" already exists in folder #") +
                      Number(entry.DocNumber) + QStringLiteral(" in folder library ") + entry.Library + QStringLiteral(" ") + Q +
                      entry.Description + Q);
      return true;
    }
  }
  const double elapsed = SecondsOfDay(cx) - started;
  if (started != 0 && elapsed > 1)
    LogThenHyphens(cx, QStringLiteral("Note: The initial parent folder processing time for document #") + Number(DocNumber) +
                    QStringLiteral(" was ") + Number(std::llround(elapsed)) + QStringLiteral(" second(s)."));
  return false;
}

// "$DEFAULT_RIGHTS" 0 marks an unsecured item. A column that cannot be read says nothing, and
// the effective rights decide.
bool Unsecured(dm::DmProfile& profile) {
  return PassedOver<bool>(
      [&] {
        const dm::DmColumnsPtr columns = profile.Columns();
        const dm::DmColumnPtr column = columns ? columns->Item(QStringLiteral("$DEFAULT_RIGHTS")) : nullptr;
        return column && NumericValue(column->Value().toString()) == 0;
      },
      false);
}

// The user's effective rights on an opened profile (the item's or the parent's). Refuses only
// when the DM says the user cannot act; a right that cannot be determined allows the filing.
bool EffectiveRightsAllow(Context& cx, const dm::DmProfilePtr& profile, qint64 number, bool isFolder) {
  const QString noun = isFolder ? QStringLiteral("folder") : QStringLiteral("document");
  const QString Noun = isFolder ? QStringLiteral("Folder") : QStringLiteral("Document");
  const QString target = noun + QStringLiteral(" #") + Number(number);
  if (!profile) {
    LogThenHyphens(cx, QStringLiteral("Warning: The profile object #") + Number(number) + QStringLiteral(" is not open to determine your rights"));
    return true;
  }
  const QString user = PassedOver<QString>([&] { return Library(cx).UserName(); }, QString());
  StatusThenHyphens(cx, QStringLiteral("Checking rights for ") + user + QStringLiteral(" to ") + target);
  if (Unsecured(*profile)) {
    LogThenHyphens(cx, Noun + QStringLiteral(" #") + Number(number) + QStringLiteral(" is not secured"));
    return true;
  }
  const dm::DmEffectiveRightsPtr rights = PassedOver<dm::DmEffectiveRightsPtr>(
      [&] {
        const dm::DmTrusteesPtr trustees = profile->Trustees();
        return trustees ? trustees->EffectiveRights(user) : nullptr;
      },
      nullptr);
  const int canAct = rights ? PassedOver<int>([&] { return rights->CanAct() ? 1 : 0; }, -1) : -1;
  if (canAct < 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to determine rights for ") + user + QStringLiteral(" to ") + target);
    return true;
  }
  if (canAct == 1) {
    LogThenHyphens(cx, QStringLiteral("User ") + user + QStringLiteral(" appears to have sufficient rights to ") + target);
    return true;
  }
  LogThenHyphens(cx, QStringLiteral("Error: User ") + user + QStringLiteral(" has insufficient rights to ") + target);
  return false;
}

bool OpenParentFolder(FolderContext& cx, qint64 Parent, const QString& Folder_Library) {
  filing::CloseProfileSlot(cx);
  cx.items.FolderObject.reset();
  if (!ConnectLibrary(cx, Folder_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + Folder_Library);
    return false;
  }
  CDoc(cx, Folder_Library);
  dm::DmLibrary& library = Library(cx);
  StatusThenHyphens(cx, QStringLiteral("Opening Parent folder object #") + Number(Parent) + QStringLiteral(" in library ") + library.Name());
  cx.items.FolderObject = library.OpenFolder(Parent);
  const dm::DmFolderPtr& folder = cx.items.FolderObject;
  if (!folder) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to open parent folder object #") + Number(Parent) +
                    QStringLiteral(" for AddFolderItem in library ") + library.Name());
    return false;
  }
  if (folder->DocNumber() == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to assign parent folder object #") + Number(Parent) +
                    QStringLiteral(" for AddFolderItem in library ") + library.Name());
    return false;
  }
  LogThenHyphens(cx, QStringLiteral("Parent folder object #") + Number(folder->DocNumber()) + QStringLiteral(" opened for AddFolderItem in library ") +
                  folder->Library());
  cx.items.ProfileObject = folder;
  return true;
}

// The checks made while the parent's library is current.
FilingVerdict CheckInParentLibrary(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                                   const QString& Document_Library) {
  if (!ConnectLibrary(cx, Folder_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + Folder_Library);
    return FilingVerdict::Refused;
  }
  if (!MayManageFolders(cx) || !ParentIsFolder(cx, Parent) || !MayUseParent(cx, Parent)) return FilingVerdict::Refused;
  if (FiledInParentLibrary(cx, DocNumber, Parent, Folder_Library, Document_Library)) return FilingVerdict::AlreadyFiled;
  return FilingVerdict::GoOn;
}

// The checks made while the item's library is current; ends with the item's profile open.
FilingVerdict CheckInItemLibrary(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                                 const QString& Document_Library) {
  if (!ConnectLibrary(cx, Document_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + Document_Library);
    return FilingVerdict::Refused;
  }
  const ItemStatus item = ReadItemStatus(cx, DocNumber);
  if (!StatusAllowsFiling(cx, DocNumber, item)) return FilingVerdict::Refused;
  if (!filing::SameLibrary(Folder_Library, Document_Library)) {
    if (FiledInItemLibrary(cx, DocNumber, Parent, Folder_Library, Document_Library)) return FilingVerdict::AlreadyFiled;
    if (!MayFileRemotely(cx, Folder_Library)) return FilingVerdict::Refused;
  }
  if (item.status == 3) {
    // Status 3 allows filing once it is back to 0; the reset stays whatever the later checks say.
    filing::RunChecked(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET STATUS = 0 WHERE DOCNUMBER = ") + Number(DocNumber));
    Results(cx).ReleaseResults();
  }
  if (!OpenItemProfile(cx, DocNumber, Document_Library)) return FilingVerdict::Refused;
  if (ListedInParent(cx, DocNumber, Parent, Folder_Library)) return FilingVerdict::AlreadyFiled;
  return FilingVerdict::GoOn;
}

}  // namespace

namespace filing {

bool SameLibrary(const QString& Folder_Library, const QString& Document_Library) { return Folder_Library == Document_Library; }

bool RightGranted(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  const QString text = TrimBlanks(value.toString());
  if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
  return !text.isEmpty() && NumericValue(text) == -1;
}

dm::FilledSql FiledAlreadyQuery(qint64 DocNumber, qint64 Parent, const QString& Document_Library, const QString& Folder_Library) {
  return {QStringLiteral("SELECT COUNT(*) FROM [OWNER].FOLDER_ITEM WHERE DOCNUMBER = ? AND PARENT = ? AND LIBRARY = (SELECT "
                         "SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?) AND PARENT_LIBRARY = (SELECT "
                         "SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?)"),
          {FormatNumber(DocNumber), FormatNumber(Parent), SqlText(Document_Library), SqlText(Folder_Library)}};
}

dm::FilledSql ParentRightsQuery(qint64 Parent, const QString& user) {
  const QString person = QStringLiteral("(SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = ?)");
  return {QStringLiteral("SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND THING = "
                         "(SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = ?) AND (PERSONORGROUP = ") +
              person +
              QStringLiteral(" OR PERSONORGROUP IN (SELECT GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = ") +
              person + QStringLiteral("))"),
          {FormatNumber(Parent), SqlText(user), SqlText(user)}};
}

void RunChecked(Context& cx, const dm::FilledSql& sql) {
  if (!RunSQL(cx, sql))
    throw DmCallFailure(ErrAutomation, QStringLiteral("PCDClient.PCDSQL"),
                        QStringLiteral("The statement could not be run: ") + sql.Text());
  dm::PcdSql& results = Results(cx);
  const qint64 code = results.SqlErrorCode();
  // 9 is the SQL object's way of saying that a statement without results ran.
  if (IsSqlSuccess(code)) return;
  const QString description = results.ErrDescription();
  results.ReleaseResults();
  throw DmCallFailure(code, QStringLiteral("PCDClient.PCDSQL"), description);
}

qint64 CountOf(Context& cx, const dm::FilledSql& sql) {
  RunChecked(cx, sql);
  dm::PcdSql& results = Results(cx);
  const qint64 value = WholeValue(results.ColumnValue(1));
  results.ReleaseResults();
  return value;
}

void CloseProfileSlot(Context& cx) {
  if (!cx.items.ProfileObject) return;
  try {
    cx.items.ProfileObject->Close();
  } catch (const std::exception&) {
    // Passed over: the slot is emptied all the same.
  }
  cx.items.ProfileObject.reset();
}

}  // namespace filing

FilingVerdict CheckFiling(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                          const QString& Document_Library) {
  FilingVerdict verdict = CheckInParentLibrary(cx, DocNumber, Parent, Folder_Library, Document_Library);
  if (verdict != FilingVerdict::GoOn) return verdict;
  verdict = CheckInItemLibrary(cx, DocNumber, Parent, Folder_Library, Document_Library);
  if (verdict != FilingVerdict::GoOn) return verdict;
  if (!EffectiveRightsAllow(cx, cx.items.ProfileObject, DocNumber, false)) return FilingVerdict::Refused;
  if (!OpenParentFolder(cx, Parent, Folder_Library)) return FilingVerdict::Refused;
  if (!EffectiveRightsAllow(cx, cx.items.ProfileObject, Parent, true)) return FilingVerdict::Refused;
  return FilingVerdict::GoOn;
}

void CDoc(FolderContext& cx, const QString& CDoc_Library) {
  try {
    if (!cx.ui->DisplayErrors()) return;
    if (!CheckFusion(cx, QStringLiteral("CDoc"))) return;
    if (!cx.session.CurrentLibrary) {
      LogThenHyphens(cx, QStringLiteral("Error: Lib object not set - cannot continue"));
      return;
    }
    const QString object = CDoc_Library.toUpper();
    const QString current = cx.session.CurrentLibrary->Name().toUpper();
    if (object == current) return;
    LogThenHyphens(cx, QStringLiteral("NOTE: Object library is: ") + object + QStringLiteral(" and current library is: ") + current);
  } catch (const std::exception&) {
    // The note is only a note: nothing that fails here matters to the filing.
  }
}

}  // namespace sw
