// Giving one folder or document the trustees of a rule's security template, written straight
// into the item's SECURITY rows and its PROFILE row.
#include <cmath>

#include "core/log.h"
#include "core/library.h"
#include "core/monitor_client.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "security/security.h"
#include "security/security_context.h"
#include "security/security_template.h"

namespace sw {

namespace {

// The name of the current library; a missing library object is a run-time failure.
QString LibraryObjectName(SecurityContext& cx) {
  if (!cx.session.CurrentLibrary)
    throw DmCallFailure(ErrObjectNotSet, cx.app.AppTitle, QStringLiteral("Object variable or With block variable not set"));
  return cx.session.CurrentLibrary->Name();
}

// A step of the operation that may fail without stopping it.
template <class Step>
void PassOver(Step step) {
  try {
    step();
  } catch (const std::exception&) {
    // The next step runs regardless.
  }
}

// A query the database rejected has no answer to act on: the operation ends without writing.
bool Unreadable(SecurityContext& cx, const QString& what, const QString& n) {
  LogThenHyphens(cx, QStringLiteral("Error: Unable to read the ") + what + QStringLiteral(" of document #") + n +
                  QStringLiteral(" - cannot set security"));
  return false;
}

// An item without an author gets its typist as author before anything else. False when the
// author could not be read.
bool FixMissingAuthor(SecurityContext& cx, const QString& n) {
  if (!RunQuery(cx, {QStringLiteral("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = ?"), {n}}))
    return Unreadable(cx, QStringLiteral("author"), n);
  dm::PcdSql& pcd = SqlObject(cx);
  const double author = NumericValue(pcd.ColumnValue(1));
  pcd.ReleaseResults();
  if (author == 0) RunWrite(cx, {QStringLiteral("UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE DOCNUMBER = ?"), {n}});
  return true;
}

dm::FilledSql ProfileQuery(const QString& n) {
  return {QStringLiteral(
             "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P "
             "LEFT OUTER JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR "
             "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
             "LEFT OUTER JOIN [OWNER].GROUPS AG ON AG.SYSTEM_ID = A.PRIMARY_GROUP "
             "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP WHERE P.DOCNUMBER = ?"),
          {n}};
}

dm::FilledSql TypistProfileQuery(const QString& n) {
  return {QStringLiteral(
             "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, TG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P "
             "LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST "
             "LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP WHERE P.DOCNUMBER = ?"),
          {n}};
}

// The item's author, typist and their groups; None when the library has no profile of that
// number.
ReadResult ReadItemProfile(SecurityContext& cx, const QString& n, ItemProfileFacts& facts) {
  if (!RunQuery(cx, ProfileQuery(n))) return ReadResult::Rejected;
  if (SqlObject(cx).RowCount() == 0) {
    SqlObject(cx).ReleaseResults();
    LogThenHyphens(cx, QStringLiteral("Fetching Typist ID and Primary Group because no Author information is found for document #") + n);
    if (!RunQuery(cx, TypistProfileQuery(n))) return ReadResult::Rejected;
  }
  dm::PcdSql& pcd = SqlObject(cx);
  if (pcd.RowCount() == 0) {
    pcd.ReleaseResults();
    return ReadResult::None;
  }
  facts.ProfileSystemId = FormatNumber(std::llround(NumericValue(pcd.ColumnValue(1))));
  facts.AuthorUserId = pcd.ColumnValue(2);
  facts.TypistUserId = pcd.ColumnValue(3);
  facts.AuthorGroupId = pcd.ColumnValue(4);
  facts.TypistGroupId = pcd.ColumnValue(5);
  facts.DefaultRights = NumericValue(pcd.ColumnValue(6));
  pcd.ReleaseResults();
  return ReadResult::Found;
}

// Without a profile to read the author and typist from, the item is left open to everyone.
void SecureWithoutProfile(SecurityContext& cx, const QString& n) {
  LogThenHyphens(cx, QStringLiteral("Notice: Unable to access profile author and typist information for document #") + n +
                  QStringLiteral(" (most likely this is because one or more of these values are not yet set)"));
  RunWrite(cx, QStringLiteral("DELETE FROM [OWNER].SECURITY WHERE THING = (SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE "
                              "DOCNUMBER = ") +
                   n + QStringLiteral(") AND PERSONORGROUP = 0"));
  RunWrite(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 0") + SecurityLinkClause(cx.library.SecurityLinkExists) +
                   QStringLiteral(" WHERE DOCNUMBER = ") + n);
  RunWrite(cx, QStringLiteral("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT 0, 191, SYSTEM_ID "
                              "FROM [OWNER].PROFILE WHERE DOCNUMBER = ") +
                   n);
}

// Trustee rows of an item whose security is not enabled do not count: they go.
void RemoveInactiveTrustees(SecurityContext& cx, const ItemProfileFacts& facts, const QString& n) {
  if (facts.DefaultRights != 0) return;
  LogThenHyphens(cx, QStringLiteral("Removing existing trustees from document #") + n);
  RunWrite(cx, {QStringLiteral("DELETE FROM [OWNER].SECURITY WHERE THING = ?"), {facts.ProfileSystemId}});
}

// Notes which of the template's trustees, and of the author, typist and DOCS_USERS, the item
// holds already: those are updated rather than added. False when they could not be read.
bool MarkExistingTrustees(SecurityContext& cx, const ItemProfileFacts& facts, const QString& n, qint64 docNumber,
                          TemplateTrusteeList& list) {
  LogThenHyphens(cx, QStringLiteral("Retrieving existing trustees from document #") + n);
  if (!RunQuery(cx, ItemTrusteesQuery(docNumber))) return false;
  dm::PcdSql& pcd = SqlObject(cx);
  if (pcd.RowCount() > 0) {
    do {
      const QString u = TrimBlanks(pcd.ColumnValue(1));
      const QString g = TrimBlanks(pcd.ColumnValue(2));
      if (u == facts.TypistUserId) list.TypistListed = true;
      if (u == facts.AuthorUserId) list.AuthorListed = true;
      if (g == QLatin1String("DOCS_USERS")) list.DocsUsersListed = true;
      for (TemplateTrustee& row : list.rows) {
        if ((!u.isEmpty() && row.UserId == u) || (!g.isEmpty() && row.GroupId == g)) {
          row.Existing = QStringLiteral("x");
          break;
        }
      }
    } while (pcd.NextRow() != 0);
  }
  pcd.ReleaseResults();
  return true;
}

// Replaces any row of the person with one carrying the rights; the rows it added.
qint64 WriteOwnPerson(SecurityContext& cx, const QString& sid, const QString& label, const QString& userId) {
  LogThenHyphens(cx, label + userId);
  RunWrite(cx, TrusteeDeleteSql(TrusteeKind::Person, sid, userId));
  return RunWrite(cx, TrusteeInsertSql(TrusteeKind::Person, sid, userId, QString::number(OwnTrusteeRights)));
}

qint64 WriteTemplateTrustee(SecurityContext& cx, const QString& sid, const TemplateTrustee& row) {
  const bool person = !row.UserId.isEmpty();
  const TrusteeKind kind = person ? TrusteeKind::Person : TrusteeKind::Group;
  const QString& id = person ? row.UserId : row.GroupId;
  if (row.Existing == QLatin1String("x")) return RunWrite(cx, TrusteeUpdateSql(kind, sid, id, row.Rights));
  RunWrite(cx, TrusteeDeleteSql(kind, sid, id));
  return RunWrite(cx, TrusteeInsertSql(kind, sid, id, row.Rights));
}

// The author, the typist, the everyone-trustee when nobody else may read the item, and the
// template's trustees; the rows written.
qint64 WriteTrustees(SecurityContext& cx, const ItemProfileFacts& facts, const TemplateTrusteeList& list) {
  const QString& sid = facts.ProfileSystemId;
  qint64 written = 0;
  if (!list.AuthorListed && !facts.AuthorUserId.isEmpty())
    written += WriteOwnPerson(cx, sid, QStringLiteral("Adding security for author "), facts.AuthorUserId);
  if (!list.TypistListed && facts.TypistUserId != facts.AuthorUserId && !facts.TypistUserId.isEmpty())
    written += WriteOwnPerson(cx, sid, QStringLiteral("Adding security for typist "), facts.TypistUserId);
  if (!list.DocsUsersListed && !list.PositiveRightsSeen) {
    LogThenHyphens(cx, QStringLiteral("Adding DOCS_USERS security"));
    RunWrite(cx, {QStringLiteral("DELETE FROM [OWNER].SECURITY WHERE THING = ? AND PERSONORGROUP = 0"), {sid}});
    written += RunWrite(cx, {QStringLiteral("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) VALUES(0, 191, ?)"),
                             {sid}});
  }
  LogThenHyphens(cx, QStringLiteral("Posting ") + FormatNumber(list.Count()) + QStringLiteral(" folder trustees to profiled document"));
  for (const TemplateTrustee& row : list.rows) written += WriteTemplateTrustee(cx, sid, row);
  return written;
}

// Steps after the switch to the item's library; throws on a run-time failure.
bool ApplyTemplate(SecurityContext& cx, qint64 DocNumber, const QString& Template, const QString& Item_Library) {
  const QString n = FormatNumber(DocNumber);
  // The number names an item of the item's library only: writing its security anywhere else
  // would secure whatever unrelated item carries that number there.
  if (!ConnectLibrary(cx, Item_Library)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + Item_Library +
                    QStringLiteral(" - cannot add security for document #") + n);
    return false;
  }
  SetStatus(cx, QStringLiteral("AddSecurity: Assigning security for document #") + n + QStringLiteral(" using template \"") +
                    Template + QStringLiteral("\""));
  LogMessage(cx, HyphenLine);

  if (!FixMissingAuthor(cx, n)) return false;
  ItemProfileFacts facts;
  switch (ReadItemProfile(cx, n, facts)) {
    case ReadResult::Rejected:
      return Unreadable(cx, QStringLiteral("profile"), n);
    case ReadResult::None:
      SecureWithoutProfile(cx, n);
      return false;
    case ReadResult::Found:
      break;
  }
  if (NumericValue(facts.ProfileSystemId) == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to locate profile for document ") + n + QStringLiteral(" - cannot set security"));
    return false;
  }

  TemplateTrusteeList list = ParseSecurityTemplate(cx, Template, facts);
  if (list.rows.empty()) return true;
  PassOver([&] { RemoveInactiveTrustees(cx, facts, n); });
  // A read that broke off part-way is no more an answer than one the database rejected.
  bool marked = false;
  PassOver([&] { marked = MarkExistingTrustees(cx, facts, n, DocNumber, list); });
  // Without knowing what the item holds, rewriting would replace rights it was given on purpose.
  if (!marked) return Unreadable(cx, QStringLiteral("trustees"), n);

  const qint64 written = WriteTrustees(cx, facts, list);
  if (written != 0) {
    LogThenHyphens(cx, QStringLiteral("Enabling document security for document #") + n + QStringLiteral(" in library ") +
                    LibraryObjectName(cx));
    RunWrite(cx, {QStringLiteral("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1") + SecurityLinkClause(cx.library.SecurityLinkExists) +
                      QStringLiteral(" WHERE SYSTEM_ID = ?"),
                  {facts.ProfileSystemId}});
  }
  LogThenHyphens(cx, QStringLiteral("Finished adding ") + FormatNumber(list.Count()) +
                  QStringLiteral(" template trustees to profiled document #") + n);
  return true;
}

}  // namespace

bool AddSecurity(SecurityContext& cx, qint64 DocNumber, const QString& Template, int Rule_Number,
                 const QString& DocType, const QString& Folder_Library, const QString& Item_Library) {
  Q_UNUSED(Folder_Library);  // the item's own library decides where its security is written
  if (!CheckFusion(cx, QStringLiteral("AddSecuriry"))) return false;
  const QString n = FormatNumber(DocNumber);
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, QStringLiteral("Error: Library object not set - cannot continue"));
    return false;
  }
  if (Template.isEmpty() || DocNumber == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Cannot add security for document #") + n);
    return false;
  }
  if (DocType != QLatin1String("F") && NumericValue(cx.rules.RuleTable(field::RULE_APPEND_TRUSTEES, Rule_Number)) != 1) {
    LogThenHyphens(cx, QStringLiteral("NOT adding security for document #") + n);
    return true;
  }

  bool result = false;
  {
    const ScreenGuard guard(cx, StatusWindow::Main);
    cx.ui->SetMousePointer(Pointer::Hourglass);
    try {
      result = ApplyTemplate(cx, DocNumber, Template, Item_Library);
      LogMessage(cx, HyphenLine);
    } catch (const DmCallFailure& e) {
      ReportError(cx, e.Number(), e.Source(), e.Description());
      LogThenHyphens(cx, QStringLiteral("Error: Adding security to item."));
    } catch (const std::exception& e) {
      ReportError(cx, ErrAutomation, QStringLiteral("AddSecurity"), QString::fromLocal8Bit(e.what()));
      LogThenHyphens(cx, QStringLiteral("Error: Adding security to item."));
    }
  }
  MonitorHeartbeat(cx);
  return result;
}

}  // namespace sw
