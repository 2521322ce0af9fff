// Yielding the folder for one level of a rule's folder path: an existing folder of that name, or
// a new one with its profile filled, stamped for the rule, secured and filed into its parent.
#include <QDateTime>
#include <QLocale>
#include <optional>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/check_for_folder.h"
#include "folders/filing_checks.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/profile_filling.h"
#include "folders/sort_folders.h"
#include "security/passed_step.h"
#include "security/security.h"

namespace sw {

using namespace folder_sql;

namespace {

const QString SupervisorsGroup = QStringLiteral("DOCS_SUPERVISORS");
const QString DefaultFormMarker = QStringLiteral("*DEFAULT FORM*");

QString Quote(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// The rule's fields as they stood when the call began: the switches below reload RuleTable for
// other libraries, where the same rule number names another rule or none.
struct RuleFields {
  QString name;
  QString security;
  bool inheritSecurity = false;
  QString form;
  bool makesPublic = false;
  QString authorSource;
  QString parseCharacters;
  bool HasOwnForm() const { return !form.isEmpty() && !form.contains(DefaultFormMarker); }
};

RuleFields ReadRule(FolderContext& cx, int rule) {
  const RuleRecords& table = cx.rules.RuleTable;
  RuleFields f;
  f.name = table(field::RuleName, rule);
  f.security = table(field::RULE_SECURITY, rule);
  f.inheritSecurity = NumericValue(table(field::RULE_PROFILE_INHERIT_SECURITY, rule)) == 1;
  f.form = table(field::RULE_FORM, rule);
  f.makesPublic = NumericValue(table(field::RULE_CREATE_PUBLIC_FOLDERS, rule)) == 1;
  f.authorSource = table(field::RULE_AUTHOR_SOURCE, rule);
  if (f.authorSource.isEmpty()) f.authorSource = QStringLiteral("PROFILE");
  f.parseCharacters = table(field::RULE_PARSECHARACTERS, rule);
  return f;
}

// One call's request.
struct Request {
  QString name;
  qint64 parent = 0;
  int rule = 0;
  QString parentLibrary;
  QString itemLibrary;
  int level = 0;
  RuleFields fields;
};

void Run(Context& cx, const dm::FilledSql& sql) {
  RunSQL(cx, sql);
  Results(cx).ReleaseResults();
}

void ReleaseItems(Context& cx) {
  cx.items.FolderObject.reset();
  if (cx.items.ProfileObject) {
    try {
      cx.items.ProfileObject->Close();
    } catch (const std::exception&) {
      // Released below all the same.
    }
  }
  cx.items.ProfileObject.reset();
}

void SwitchQuietly(Context& cx, const QString& library) {
  try {
    ConnectLibrary(cx, library);
  } catch (const std::exception&) {
    // The way out completes whatever the switch does.
  }
}

// The run's save flags, handed to the DM as the 16-bit value it takes.
int SaveFlags(Context& cx) { return static_cast<qint16>(cx.run.SaveFlags); }

QDateTime Now(Context& cx) { return cx.log.Now ? cx.log.Now() : QDateTime::currentDateTime(); }

// ---- look-up and the checks before anything is made ----

bool MadeInAnotherLibrary(const Request& r) {
  return r.parent != 0 && !r.itemLibrary.isEmpty() && r.itemLibrary.compare(r.parentLibrary, Qt::CaseInsensitive) != 0;
}

// The folder of the item library that the parent, in its own library, shows under the name; 0
// for none.
qint64 FolderShownUnderName(FolderContext& cx, const Request& r) {
  return filing::CountOf(cx, {QStringLiteral("SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES RL "
                                             "WHERE RL.SYSTEM_ID = FI.LIBRARY AND FI.PARENT = ? AND RL.LIBRARY_NAME = ? AND "
                                             "FI.NODE_TYPE = 'F' AND UPPER(FI.DISPLAYNAME) = ?"),
                              {FormatNumber(r.parent), SqlText(r.itemLibrary), SqlText(r.name.toUpper())}});
}

// The values the row gives its folders as one condition on PROFILE; empty outside a run's row.
QString RowValuesCondition(FolderContext& cx) {
  return cx.folders.RowLinkValues.split(QStringLiteral(", "), Qt::SkipEmptyParts).join(QStringLiteral(" AND "));
}

// What stands for the parent in another library: the folder, whether the parent shows it, and
// whether the row knew it by its values, so that its filings elsewhere are another row's parents'.
struct RemoteFolder {
  qint64 number = 0;  // 0: the row makes its own
  bool shown = false;
  bool adopted = false;
};

// The rule's folders of the item library under the level's name that carry the row's values,
// oldest first.
std::vector<qint64> FoldersCarryingRowValues(FolderContext& cx, const Request& r, const QString& values) {
  SwitchQuietly(cx, r.itemLibrary);
  // The folder is looked up by the row's own profile: a list of every folder of the path would
  // read the whole FOLDER table for each new routed folder.
  filing::RunChecked(cx, {QStringLiteral("SELECT P.DOCNUMBER FROM [OWNER].PROFILE P WHERE UPPER(P.DOCNAME) = ? AND ") + values +
                              QStringLiteral(" AND EXISTS (SELECT 1 FROM [OWNER].FOLDER F WHERE F.DOCNUMBER = P.DOCNUMBER AND "
                                             "F.PATH = ?) ORDER BY P.DOCNUMBER"),
                          {SqlText(r.name.toUpper()), QStringLiteral("'") + FolderPathStamp(r.fields.name) + QStringLiteral("'")}});
  dm::PcdSql& sql = Results(cx);
  std::vector<qint64> folders;
  if (sql.RowCount() > 0) {
    do {
      folders.push_back(qRound64(NumericValue(sql.ColumnValue(1))));
    } while (sql.NextRow() != 0);
  }
  sql.ReleaseResults();
  return folders;
}

// A folder that the parent's library shows under a parent carrying the same values belongs to a
// row of those values there, not to this one.
bool HeldByTwinRow(FolderContext& cx, const Request& r, qint64 folder, const QString& values) {
  SwitchQuietly(cx, r.parentLibrary);
  return filing::CountOf(cx, {QStringLiteral("SELECT COUNT(*) FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES RL WHERE "
                                             "RL.SYSTEM_ID = FI.LIBRARY AND RL.LIBRARY_NAME = ? AND FI.DOCNUMBER = ? AND "
                                             "FI.PARENT IN (SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE ") +
                                  values + QStringLiteral(")"),
                              {SqlText(r.itemLibrary), FormatNumber(folder)}}) > 0;
}

// A folder made for the row whose parent's work was lost stands wherever its own library filed
// it, under a parent number that no folder has any longer: the row, whose parent now has another
// number, knows it by its values and takes it back.
RemoteFolder RowFolderFiledElsewhere(FolderContext& cx, const Request& r) {
  const QString values = RowValuesCondition(cx);
  if (values.isEmpty()) return {};
  for (const qint64 folder : FoldersCarryingRowValues(cx, r, values)) {
    if (folder <= 0 || HeldByTwinRow(cx, r, folder, values)) continue;
    LogMessage(cx, QStringLiteral("Folder #") + FormatNumber(folder) + QStringLiteral(" in library ") + r.itemLibrary +
                       QStringLiteral(" carries the values of this item - it is filed under parent folder #") +
                       FormatNumber(r.parent) + QStringLiteral(" in library ") + r.parentLibrary);
    Hyphens(cx);
    return {folder, false, true};
  }
  return {};
}

// A folder of another library found under the parent by its own library's record. Without the
// parent's record (a commit of the parent's library lost after the folder's library committed) it
// is the parent's all the same: a number is never another folder's once drawn, so the record is
// made again.
RemoteFolder FolderOfThisParent(FolderContext& cx, const Request& r, qint64 found) {
  SwitchQuietly(cx, r.parentLibrary);
  if (filing::CountOf(cx, filing::FiledAlreadyQuery(found, r.parent, r.itemLibrary, r.parentLibrary)) > 0) return {found, true};
  if (const qint64 shown = FolderShownUnderName(cx, r); shown > 0) return {shown, true};
  return {found, false};
}

// The found folder's number, the look-up's failure, or nothing when the folder must be made.
std::optional<qint64> ExistingFolder(FolderContext& cx, const Request& r) {
  SwitchQuietly(cx, r.itemLibrary.isEmpty() ? r.parentLibrary : r.itemLibrary);
  const qint64 found = CheckForFolderOfRule(cx, r.name, r.fields.parseCharacters, r.parent, r.fields.name,
                                            r.fields.makesPublic, r.parentLibrary, r.itemLibrary);
  if (found < 0) return found;
  const bool routed = MadeInAnotherLibrary(r);
  if (found == 0 && !routed) return std::nullopt;
  RemoteFolder remote{found, true};
  if (routed) {
    if (found > 0) remote = FolderOfThisParent(cx, r, found);
    if (remote.number == 0) remote = RowFolderFiledElsewhere(cx, r);
  }
  if (remote.number == 0) {
    SwitchQuietly(cx, r.itemLibrary);  // where the folder is made
    return std::nullopt;
  }
  cx.run.FolderExistedFlag = true;
  QString line =
      QStringLiteral("Folder ") + Quote(r.name) + QStringLiteral(" already exists as folder #") + FormatNumber(remote.number);
  if (r.parent != 0) line += QStringLiteral(" in parent folder #") + FormatNumber(r.parent);
  LogMessage(cx, line);
  // Without the parent's record the folder would stand where no one reaches it.
  if (!remote.shown && !LinkFoundFolder(cx, remote.number, r.parent, r.parentLibrary, r.itemLibrary)) FailOpenTransactions(cx);
  // Its filings under the parents of other rows go: the folder is this row's alone.
  if (remote.adopted && !LeaveOtherParents(cx, r.parent, remote.number, r.parentLibrary, r.itemLibrary)) FailOpenTransactions(cx);
  return remote.number;
}

bool ConfirmTopLevel(FolderContext& cx, const Request& r) {
  if (r.parent != 0) return true;
  const QString where = Quote(r.name) + QStringLiteral(" in library ") + CurrentName(cx);
  if (cx.library.TopLevelWarning != 1) {
    LogMessage(cx, QStringLiteral("I will create a top-level folder named ") + where);
    Hyphens(cx);
    return true;
  }
  const QString now = Now(cx).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  const MsgResult answer =
      cx.ui->MessageBox(QStringLiteral("You are about to create a top-level folder named ") + where + QStringLiteral(" at ") + now +
                            QStringLiteral(" - Are you sure you want to continue?"),
                        MsgIcon::None, MsgButtons::YesNoCancel, cx.app.AppTitle);
  if (answer == MsgResult::Yes) return true;
  if (answer == MsgResult::No) {
    const QString stopped =
        QStringLiteral("Stackwright stopped by user at point where it was going to create a top-level folder named ") + where;
    SetStatus(cx, stopped);
    Hyphens(cx);
    cx.ui->MessageBox(stopped, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
    cx.run.StopRequested = true;
  } else {
    SetStatus(cx, QStringLiteral("You have decided not to create a top-level folder named ") + where);
    Hyphens(cx);
  }
  cx.run.FolderExistedFlag = false;
  return false;
}

bool MayCreate(FolderContext& cx, const Request& r) {
  const dm::DmLibraryPtr& library = cx.session.CurrentLibrary;
  if (!library) throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Library"),
                                    QStringLiteral("Object variable or With block variable not set"));
  if (library->PrimaryGroup() == SupervisorsGroup) return true;
  const dm::DmLibraryPropertiesPtr properties = library->Properties();
  const bool createFolder = LibraryRightGranted(properties, QStringLiteral("User.CreateFolder"));
  const bool manageRoot = LibraryRightGranted(properties, QStringLiteral("User.ManageRootFolders"));
  if (createFolder && (manageRoot || !r.fields.makesPublic || r.parent != 0)) return true;
  LogMessage(cx, QStringLiteral("Error: ") + library->UserName() + QStringLiteral(" does not have rights to manage folders in library ") +
                     library->Name());
  Hyphens(cx);
  return false;
}

// ---- the folder object ----

void LogCreation(FolderContext& cx, const Request& r) {
  SetStatus(cx, QStringLiteral("Creating folder ") + Quote(r.name) + QStringLiteral(" in library ") + CurrentName(cx));
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Parent: ") + FormatNumber(r.parent));
  LogMessage(cx, QStringLiteral("Form:   ") + r.fields.form);
  LogMessage(cx, QStringLiteral("Rule:   ") + Quote(r.fields.name));
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Author source is ") + r.fields.authorSource);
  Hyphens(cx);
}

// The item library is matched exactly, as the DM names it. A library that fails to answer is
// passed over.
void MakeFolderObject(FolderContext& cx, const Request& r) {
  const dm::DmLibrariesPtr& libraries = cx.session.FusionLibraries;
  const qint64 count = libraries ? libraries->Count() : 0;
  for (qint64 i = 1; i <= count; ++i) {
    try {
      const dm::DmLibraryPtr library = libraries->Item(i);
      if (!library || library->Name() != r.itemLibrary) continue;
      LogMessage(cx, QStringLiteral("Creating folder object ") + Quote(r.name) + QStringLiteral(" in library ") + CurrentName(cx));
      cx.items.FolderObject = library->NewFolder();
      Hyphens(cx);
    } catch (const std::exception&) {
      // Passed over: a missing folder object is reported next.
    }
  }
}

void NameFolder(FolderContext& cx, const QString& name) {
  cx.items.FolderObject->SetFolderName(name);
  cx.items.FolderObject->SetDescription(name);
}

// A rule's own form is given to the folder through its profile row, which needs the folder
// saved once; the folder is then opened again with the new form.
bool ChangeForm(FolderContext& cx, const Request& r) {
  if (!r.fields.HasOwnForm()) return true;
  const QString& form = r.fields.form;
  LogMessage(cx, QStringLiteral("Saving Folder to change form to ") + form);
  Hyphens(cx);
  dm::DmFolder& folder = *cx.items.FolderObject;
  folder.Save(SaveFlags(cx));
  const qint64 n = folder.DocNumber();
  if (n == 0) {
    LogMessage(cx, QStringLiteral("Error: Code #") + FormatNumber(folder.Error.ErrNumber) + QStringLiteral(" (") +
                       folder.Error.ErrDescription + QStringLiteral(")"));
    Hyphens(cx);
    return false;
  }
  LogMessage(cx, QStringLiteral("Folder saved as #") + FormatNumber(n));
  Hyphens(cx);
  cx.items.FolderObject.reset();
  Run(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = '") +
              StripQuotes(form) + QStringLiteral("') WHERE DOCNUMBER = ") + FormatNumber(n));
  LogMessage(cx, QStringLiteral("Opening folder object #") + FormatNumber(n) + QStringLiteral(" after changing form to ") + form);
  const dm::DmLibrariesPtr& libraries = cx.session.FusionLibraries;
  for (qint64 i = 1; libraries && i <= libraries->Count(); ++i) {
    const dm::DmLibraryPtr library = libraries->Item(i);
    if (library && library->Name() == r.itemLibrary) cx.items.FolderObject = library->GetProject(n);
  }
  Hyphens(cx);
  if (!cx.items.FolderObject) {
    LogMessage(cx, QStringLiteral("Error: Unable to re-open folder object #") + FormatNumber(n));
    Hyphens(cx);
    return false;
  }
  NameFolder(cx, r.name);
  return true;
}

bool PrepareFolder(FolderContext& cx, const Request& r) {
  LogCreation(cx, r);
  MakeFolderObject(cx, r);
  if (!cx.items.FolderObject) {
    LogMessage(cx, QStringLiteral("Error: Unable to create new folder ") + Quote(r.name) + QStringLiteral(" in ") + r.itemLibrary);
    return false;
  }
  LogMessage(cx, QStringLiteral("Setting Folder Name to ") + Quote(r.name));
  Hyphens(cx);
  NameFolder(cx, r.name);
  return ChangeForm(cx, r);
}

bool OpenAndFillProfile(FolderContext& cx, const Request& r) {
  cx.items.ProfileObject.reset();
  const dm::DmFolderPtr& folder = cx.items.FolderObject;
  LogMessage(cx, QStringLiteral("Opening Profile Object for folder ") + Quote(folder->Description()) +
                     QStringLiteral(" in folder library ") + folder->Library());
  cx.items.ProfileObject = folder;
  Hyphens(cx);
  return FillFolderProfile(cx, r.name, r.parent, r.parentLibrary, r.fields.authorSource);
}

// ---- the saves ----

void LogSaveFailure(FolderContext& cx, const dm::DmObjectError& error, const QString& what) {
  const QString tail = QStringLiteral("Unable to save the ") + what + QStringLiteral(" for this folder - cannot continue");
  if (error.ErrNumber != 0) {
    LogMessage(cx, QStringLiteral("Error: #") + FormatNumber(error.ErrNumber) + QStringLiteral(" ") + error.ErrDescription +
                       QStringLiteral(" - ") + tail);
    return;
  }
  LogMessage(cx, QStringLiteral("Error: ") + tail);
}

bool SaveProfile(FolderContext& cx, const Request& r) {
  dm::DmProfile& profile = *cx.items.ProfileObject;
  LogMessage(cx, QStringLiteral("Saving profile object for folder ") + Quote(r.name) + QStringLiteral(" in library ") + profile.Library());
  const bool saved = profile.Save(SaveFlags(cx));
  Hyphens(cx);
  if (!saved) {
    LogSaveFailure(cx, profile.Error, QStringLiteral("profile object"));
    return false;
  }
  LogMessage(cx, QStringLiteral("Document #") + FormatNumber(profile.DocNumber()) +
                     QStringLiteral(" assigned to this folder in library ") + profile.Library());
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Profile object saved to #") + FormatNumber(profile.DocNumber()) + QStringLiteral(" in library ") +
                     profile.Library());
  Hyphens(cx);
  return true;
}

bool SaveFolder(FolderContext& cx, const Request& r) {
  if (!cx.items.FolderObject) {
    LogMessage(cx, QStringLiteral("Warning: The folder object is no longer set - cannot continue"));
    return false;
  }
  dm::DmFolder& folder = *cx.items.FolderObject;
  if (folder.FolderName().isEmpty()) folder.SetFolderName(r.name);
  if (folder.Description().isEmpty()) folder.SetDescription(r.name);
  const bool makePublic = r.fields.makesPublic && r.level == 1;
  LogMessage(cx, QString(makePublic ? QStringLiteral("Setting") : QStringLiteral("Not setting")) + QStringLiteral(" profile object #") +
                     FormatNumber(folder.DocNumber()) + QStringLiteral(" for folder ") + Quote(folder.FolderName()) +
                     QStringLiteral(" as Public in library ") + folder.Library());
  folder.SetPublic(makePublic);
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Saving folder object for folder ") + Quote(r.name) + QStringLiteral(" in library ") + folder.Library());
  const bool saved = folder.Save(SaveFlags(cx));
  Hyphens(cx);
  if (!saved) {
    LogSaveFailure(cx, folder.Error, QStringLiteral("folder object"));
    return false;
  }
  LogMessage(cx, QStringLiteral("Folder object saved to #") + FormatNumber(folder.DocNumber()) + QStringLiteral(" in library ") +
                     folder.Library());
  Hyphens(cx);
  return true;
}

// The new folder's number; the shared objects are let go here, their work done.
qint64 NewFolderNumber(FolderContext& cx, const Request& r) {
  LogMessage(cx, QStringLiteral("Identifying Folder information"));
  const qint64 number = cx.items.FolderObject->DocNumber();
  Hyphens(cx);
  ReleaseItems(cx);
  if (number == 0) {
    LogMessage(cx, QStringLiteral("Error: Document # is not set for folder ") + Quote(r.name) + QStringLiteral(" - cannot continue"));
    return 0;
  }
  LogMessage(cx, QStringLiteral("Document #") + FormatNumber(number) + QStringLiteral(" assigned to folder ") + Quote(r.name) +
                     QStringLiteral(" in library ") + r.parentLibrary);
  Hyphens(cx);
  return number;
}

// ---- the DM tables after the saves ----

void StampAndRoot(FolderContext& cx, const Request& r, qint64 number) {
  const QString doc = FormatNumber(number);
  Run(cx, {QStringLiteral("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE(), PATH = ? WHERE DOCNUMBER = ?"),
           {QStringLiteral("'") + FolderPathStamp(r.fields.name) + QStringLiteral("'"), doc}});
  if (r.fields.makesPublic && r.level == 1 && r.parent == 0) {
    LogMessage(cx, QStringLiteral("Verifying Root_Object Display Name and Profile Document Name for Public Folder #") + doc);
    Hyphens(cx);
    Run(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET DOCNAME = '") + StripQuotes(r.name) + QStringLiteral("' WHERE DOCNUMBER = ") + doc);
    Run(cx, QStringLiteral("UPDATE [OWNER].ROOT_OBJECT SET DISPLAYNAME = '") + StripQuotes(r.name) +
                QStringLiteral("' WHERE DOCNUMBER = ") + doc);
    return;
  }
  LogMessage(cx, QStringLiteral("Removing Root_Object Information (if it exists) for Folder #") + doc);
  Hyphens(cx);
  Run(cx, {QStringLiteral("DELETE FROM [OWNER].ROOT_OBJECT WHERE DOCNUMBER = ?"), {doc}});
}

// What a subfolder takes over from its parent's profile row.
struct ParentProfile {
  QString storageType;
  QString path;
  qint64 retention = 0;
  qint64 formId = 0;
};

// None when the database rejected the query: nothing is then copied from the parent.
std::optional<ParentProfile> ReadParentProfile(FolderContext& cx, qint64 parent) {
  LogMessage(cx, QStringLiteral("Retrieving profile information from parent #") + FormatNumber(parent));
  Hyphens(cx);
  const bool handed =
      RunSQL(cx, {QStringLiteral("SELECT STORAGETYPE, PATH, RETENTION, FORM FROM [OWNER].PROFILE WHERE DOCNUMBER = ?"),
                  {FormatNumber(parent)}});
  dm::PcdSql& sql = Results(cx);
  if (!handed || !LastStatementSucceeded(cx)) {
    sql.ReleaseResults();
    LogMessage(cx, QStringLiteral("Error: Unable to read profile information from parent #") + FormatNumber(parent) +
                       QStringLiteral(" - the folder keeps its own values"));
    Hyphens(cx);
    return std::nullopt;
  }
  ParentProfile p;
  if (sql.RowCount() != 0) {
    p.storageType = sql.ColumnValue(1);
    p.path = sql.ColumnValue(2);
    p.retention = qRound64(NumericValue(sql.ColumnValue(3)));
    p.formId = qRound64(NumericValue(sql.ColumnValue(4)));
  } else {
    LogMessage(cx, QStringLiteral("Warning: Unable to retrieve profile information from parent #") + FormatNumber(parent));
  }
  sql.ReleaseResults();
  return p;
}

// 0 when the library has no such form; none when the database rejected the look-up.
std::optional<qint64> RuleFormId(FolderContext& cx, const QString& form) {
  SetStatus(cx, QStringLiteral("Identifying the system_id for the form '") + form + QStringLiteral("' in library ") + CurrentName(cx));
  Hyphens(cx);
  const bool handed =
      RunSQL(cx, QStringLiteral("SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = '") + StripQuotes(form) + QStringLiteral("'"));
  dm::PcdSql& sql = Results(cx);
  const bool read = handed && LastStatementSucceeded(cx);
  const qint64 id = read ? qRound64(NumericValue(sql.ColumnValue(1))) : 0;
  sql.ReleaseResults();
  if (read) return id;
  LogMessage(cx, QStringLiteral("Error: Unable to read the system_id of the form '") + form +
                     QStringLiteral("' - the folder keeps the form it has"));
  Hyphens(cx);
  return std::nullopt;
}

// False when the update changed no row: the folder is then left without security and filing.
bool CopyParentProfile(FolderContext& cx, const Request& r, qint64 number, ParentProfile p) {
  if (r.fields.HasOwnForm()) {
    std::optional<qint64> id;
    RunPassedStep(cx, QString(), [&] { id = RuleFormId(cx, r.fields.form); });
    // The rule's form was given to the folder when it was made; an unread id must not put the
    // parent's in its place.
    if (!id) p.formId = 0;
    if (id && *id != 0) {
      SetStatus(cx, QStringLiteral("Setting Folder form to ") + r.fields.form);
      p.formId = *id;
    }
  }
  LogMessage(cx, QStringLiteral("Setting Additional profile columns for folder ") + Quote(r.name) + QStringLiteral(" from parent #") +
                     FormatNumber(r.parent));
  Hyphens(cx);
  // With no form known the folder keeps its own: FORM 0 names no form and leaves a profile the
  // DM can no longer open.
  dm::FilledSql update{QStringLiteral("UPDATE [OWNER].PROFILE SET DOCNAME = ?, "), {SqlText(r.name)}};
  if (p.formId != 0) {
    update.pattern += QStringLiteral("FORM = ?, ");
    update.literals << FormatNumber(p.formId);
  }
  update.pattern += QStringLiteral("FULLTEXT = 'Y', STORAGETYPE = ?, PATH = ?, RETENTION = ?, EMAIL_SENT = NULL, "
                                   "EMAIL_RECEIVED = NULL WHERE DOCNUMBER = ?");
  update.literals << SqlText(p.storageType) << SqlText(p.path) << FormatNumber(p.retention) << FormatNumber(number);
  RunSQL(cx, update);
  dm::PcdSql& sql = Results(cx);
  const qint64 changed = sql.RowsAffected();
  sql.ReleaseResults();
  if (changed != 0) return true;
  LogMessage(cx, QStringLiteral("Error: Unable to post profile information for folder ") + Quote(r.name));
  return false;
}

// Today's date as the activity log's START_DATE is compared on the engine.
QString TodayClause(FolderContext& cx) {
  const QDate today = Now(cx).date();
  if (IsOracleEngine(cx.session.DatabaseEngine))
    return QStringLiteral(" AND START_DATE = TO_DATE('") + QLocale::c().toString(today, QStringLiteral("dd-MMM-yy")).toUpper() +
           QStringLiteral("', 'DD-MON-RR')");
  return QStringLiteral(" AND START_DATE = '") + today.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("'");
}

// The folder's creation entries, which are the system's doing and not a user's.
void ClearCreationEntries(FolderContext& cx, const Request& r, qint64 number) {
  const QString doc = FormatNumber(number);
  SwitchQuietly(cx, r.itemLibrary);
  LogMessage(cx, QStringLiteral("Clearing Activitylog entries for folder #") + doc + QStringLiteral(" generated by Quillmark"));
  Hyphens(cx);
  Run(cx, {QStringLiteral("DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = ? AND (ACTIVITY_TYPE IN (45, 46, 47) OR TYPIST = "
                          "(SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = ?)") +
               TodayClause(cx) + QStringLiteral(")"),
           {doc, SqlText(cx.session.CurrentLibrary ? cx.session.CurrentLibrary->UserName() : QString())}});
  if (r.fields.security.isEmpty() || !cx.library.NeedsSecuringExists) return;
  LogMessage(cx, QStringLiteral("Clearing Tarnhedge entry for folder #") + doc);
  Hyphens(cx);
  Run(cx, {QStringLiteral("DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = ?"), {doc}});
}

// Everything after the folder has its number; the number is the answer from here on. False when
// a step ended the call before the folder was filed and cleaned up.
bool FinishFolder(FolderContext& cx, const Request& r, qint64 number) {
  if (!ConnectLibrary(cx, r.itemLibrary)) {
    LogMessage(cx, QStringLiteral("Error: unable to connect to Item_Library ") + r.itemLibrary + QStringLiteral(" - cannot continue"));
    return false;
  }
  StampAndRoot(cx, r, number);
  if (r.parent != 0 && ConnectLibrary(cx, r.parentLibrary)) {
    // A parent that cannot be read leaves the folder its own values, and the folder stands.
    std::optional<ParentProfile> parent;
    RunPassedStep(cx, QString(), [&] { parent = ReadParentProfile(cx, r.parent); });
    if (ConnectLibrary(cx, r.itemLibrary) && parent && !CopyParentProfile(cx, r, number, *parent)) return false;
  }
  if (!r.fields.security.isEmpty())
    AddSecurity(cx, number, r.fields.security, r.rule, QStringLiteral("F"), r.parentLibrary, r.itemLibrary);
  if (r.parent != 0) {
    SetStatus(cx, QStringLiteral("Adding folder #") + FormatNumber(number) + QStringLiteral(" as subfolder under folder #") +
                      FormatNumber(r.parent));
    Hyphens(cx);
    if (!AddFolderItemOfRule(cx, number, r.parent, QStringLiteral("F"), r.rule, {r.fields.inheritSecurity, r.fields.security},
                             r.parentLibrary, r.itemLibrary)) {
      LogMessage(cx, QStringLiteral("Error: Unable to add folder item #") + FormatNumber(number) + QStringLiteral(" in library ") +
                         r.itemLibrary + QStringLiteral(" to folder #") + FormatNumber(r.parent) + QStringLiteral(" in library ") +
                         r.parentLibrary);
      return false;
    }
  }
  // The clean-ups are gone past when they fail: entries left behind are only the DM's record of
  // how the folder was made.
  RunPassedStep(cx, r.itemLibrary, [&] { ClearCreationEntries(cx, r, number); });
  return true;
}

// The folder's number; `made` holds it as soon as the folder exists, so that a failure in the
// steps after still answers with the folder rather than with nothing.
qint64 MakeFolder(FolderContext& cx, const Request& r, qint64& made) {
  if (const std::optional<qint64> existing = ExistingFolder(cx, r)) return *existing;
  if (!ConfirmTopLevel(cx, r) || !MayCreate(cx, r)) return 0;
  if (!PrepareFolder(cx, r) || !OpenAndFillProfile(cx, r)) return 0;
  if (!SaveProfile(cx, r) || !SaveFolder(cx, r)) return 0;
  made = NewFolderNumber(cx, r);
  // A folder left half made must not stand: the work it belongs to rolls back as a whole.
  if (made != 0 && !FinishFolder(cx, r, made)) FailOpenTransactions(cx);
  return made;
}

void ReportFailure(FolderContext& cx, const Request& r, const std::exception& failure, qint64 made) {
  LogMessage(cx, QStringLiteral("CreateFolder:"));
  if (const auto* dmFailure = dynamic_cast<const DmCallFailure*>(&failure))
    ReportError(cx, dmFailure->Number(), dmFailure->Source(), dmFailure->Description());
  else
    ReportError(cx, ErrAutomation, QStringLiteral("CreateFolder"), QString::fromLocal8Bit(failure.what()));
  if (made == 0) {
    LogMessage(cx, QStringLiteral("Error: Unable to create folder ") + Quote(r.name));
    return;
  }
  LogMessage(cx, QStringLiteral("Error: Unable to complete folder #") + FormatNumber(made) + QStringLiteral(" ") + Quote(r.name) +
                     QStringLiteral(" - the folder exists, its remaining steps were not made"));
}

}  // namespace

qint64 CreateFolder(FolderContext& cx, const QString& Folder_Name, qint64 Parent, int ThisRule, const QString& Parent_Library,
                    const QString& Item_Library, int Folder_Level) {
  cx.run.FolderExistedFlag = false;
  if (!CheckFusion(cx, QStringLiteral("CreateFolder"))) return 0;
  if (!cx.session.CurrentLibrary) {
    LogMessage(cx, QStringLiteral("Error: Library object not set - cannot continue"));
    Hyphens(cx);
    return 0;
  }
  const ScreenGuard guard(cx, StatusWindow::Main);
  const QString entryLibrary = guard.Library();
  Request r;
  // The look-up searches with runs of blanks shrunk to one, and on what DOCNAME can hold; a
  // folder made under the name as given would never be found again and would be made anew on
  // every run.
  r.name = StoredFolderName(NormaliseFolderName(Folder_Name));
  r.parent = Parent;
  r.rule = ThisRule;
  r.parentLibrary = Parent_Library.isEmpty() ? entryLibrary : Parent_Library;
  r.itemLibrary = Item_Library;
  r.level = Folder_Level;
  r.fields = ReadRule(cx, ThisRule);
  // A name that shapes to nothing (blanks and line breaks) is no name.
  if (r.name.isEmpty()) return 0;

  qint64 result = 0;
  qint64 made = 0;
  try {
    result = MakeFolder(cx, r, made);
  } catch (const std::exception& failure) {
    ReportFailure(cx, r, failure, made);
    FailOpenTransactions(cx);
    result = made;
  }
  ReleaseItems(cx);
  Hyphens(cx);
  return result;
}

}  // namespace sw
