// Giving an item just filed into a folder the folder's trustees.
#include <cmath>
#include <vector>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "security/security.h"
#include "security/security_context.h"
#include "security/security_template.h"

namespace sw {

namespace {

// One trustee row of the parent folder, texts trimmed.
struct FolderTrustee {
  QString UserId;
  QString GroupId;
  QString Rights;
};

struct InheritingItem {
  QString ProfileSystemId;
  QString AuthorUserId;
  QString TypistUserId;
};

// The folder's trustee rows that carry rights; None when it has no trustee rows at all (not
// even rows without rights).
ReadResult ReadFolderTrustees(SecurityContext& cx, qint64 Parent, std::vector<FolderTrustee>& list) {
  if (!RunQuery(cx, ItemTrusteesQuery(Parent))) return ReadResult::Rejected;
  dm::PcdSql& pcd = SqlObject(cx);
  const qint64 count = pcd.RowCount();
  if (count == 0) {
    pcd.ReleaseResults();
    return ReadResult::None;
  }
  for (;;) {
    const QString rights = TrimBlanks(pcd.ColumnValue(3));
    if (!rights.isEmpty()) list.push_back({TrimBlanks(pcd.ColumnValue(1)), TrimBlanks(pcd.ColumnValue(2)), rights});
    if (static_cast<qint64>(list.size()) >= count || pcd.NextRow() == 0) break;
  }
  pcd.ReleaseResults();
  return ReadResult::Found;
}

// The item's profile with its author and typist; the typist stands in for an author who does
// not resolve.
ReadResult ReadInheritingItem(SecurityContext& cx, const QString& n, InheritingItem& item) {
  const QString byAuthor = QStringLiteral(
      "SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
      "[OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = ");
  const QString byTypist = QStringLiteral(
      "SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P, [OWNER].PEOPLE T WHERE "
      "P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = ");
  if (!RunQuery(cx, byAuthor + n)) return ReadResult::Rejected;
  if (SqlObject(cx).RowCount() == 0) {
    SqlObject(cx).ReleaseResults();
    if (!RunQuery(cx, byTypist + n)) return ReadResult::Rejected;
  }
  dm::PcdSql& pcd = SqlObject(cx);
  if (pcd.RowCount() == 0) {
    pcd.ReleaseResults();
    return ReadResult::None;
  }
  item = {FormatNumber(std::llround(NumericValue(pcd.ColumnValue(1)))), TrimBlanks(pcd.ColumnValue(2)),
          TrimBlanks(pcd.ColumnValue(3))};
  pcd.ReleaseResults();
  return ReadResult::Found;
}

// The folder's trustees are read where the folder lives and the item's written where the item
// lives: a number means another item, or none, in any other library.
bool SwitchFor(SecurityContext& cx, const QString& library, const QString& n) {
  if (library.isEmpty() || ConnectLibrary(cx, library)) return true;
  LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + library +
                  QStringLiteral(" - cannot set security inheritance for document ") + n);
  return false;
}

void ReplaceTrustee(SecurityContext& cx, TrusteeKind kind, const QString& sid, const QString& id, const QString& rights) {
  RunWrite(cx, TrusteeDeleteSql(kind, sid, id));
  RunWrite(cx, TrusteeInsertSql(kind, sid, id, rights));
}

// Security enabled, the item's own trustees gone, author and typist with their own rights, then
// the folder's trustees with the folder's rights.
void WriteInheritedSecurity(SecurityContext& cx, const InheritingItem& item, const std::vector<FolderTrustee>& list) {
  const QString& sid = item.ProfileSystemId;
  const QString own = QString::number(OwnTrusteeRights);
  LogThenHyphens(cx, QStringLiteral("Enabling document security"));
  RunWrite(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1") + SecurityLinkClause(cx.library.SecurityLinkExists) +
                   QStringLiteral(" WHERE SYSTEM_ID = ") + sid);
  LogThenHyphens(cx, QStringLiteral("Removing existing trustees"));
  RunWrite(cx, QStringLiteral("DELETE FROM [OWNER].SECURITY WHERE THING = ") + sid);
  if (!item.AuthorUserId.isEmpty()) {
    LogThenHyphens(cx, QStringLiteral("Adding security for author ") + item.AuthorUserId);
    ReplaceTrustee(cx, TrusteeKind::Person, sid, item.AuthorUserId, own);
  }
  if (!item.TypistUserId.isEmpty() && item.TypistUserId != item.AuthorUserId) {
    LogThenHyphens(cx, QStringLiteral("Adding security for typist ") + item.TypistUserId);
    ReplaceTrustee(cx, TrusteeKind::Person, sid, item.TypistUserId, own);
  }
  const QString count = FormatNumber(static_cast<qint64>(list.size()));
  LogThenHyphens(cx, QStringLiteral("Adding ") + count + QStringLiteral(" folder trustee(s) to profiled document"));
  for (const FolderTrustee& row : list) {
    // The item's author and typist keep their own rights whatever the folder gives them.
    if (!row.UserId.isEmpty() && row.UserId != item.AuthorUserId && row.UserId != item.TypistUserId)
      ReplaceTrustee(cx, TrusteeKind::Person, sid, row.UserId, row.Rights);
    else if (!row.GroupId.isEmpty())
      ReplaceTrustee(cx, TrusteeKind::Group, sid, row.GroupId, row.Rights);
  }
  LogThenHyphens(cx, QStringLiteral("Finished adding ") + count + QStringLiteral(" folder trustees to profiled document"));
}

bool Inherit(SecurityContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
             const QString& Item_Library) {
  if (!cx.session.CurrentLibrary) {
    LogThenHyphens(cx, QStringLiteral("Error: Library object not set - cannot continue"));
    return false;
  }
  if (DocNumber == 0 || Parent == 0) {
    LogMessage(cx, QStringLiteral("Error: No document number or parent folder id specified - cannot set security inheritance"));
    return false;
  }
  const QString n = FormatNumber(DocNumber);
  const QString p = FormatNumber(Parent);
  SetStatus(cx, QStringLiteral("InheritSecurity: Setting security for document #") + n +
                    QStringLiteral(" to match security from folder #") + p);
  LogMessage(cx, HyphenLine);

  if (!SwitchFor(cx, Folder_Library, n)) return false;
  std::vector<FolderTrustee> list;
  const ReadResult trustees = ReadFolderTrustees(cx, Parent, list);
  if (trustees == ReadResult::Rejected) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to read the trustees of folder #") + p +
                    QStringLiteral(" - not setting security for document ") + n);
    return false;
  }
  if (trustees == ReadResult::None) {
    LogMessage(cx, QStringLiteral("No trustees found for parent folder - not setting security for document ") + n);
    return false;
  }
  if (list.empty()) {
    LogMessage(cx, QStringLiteral("No trustees found for parent folder #") + p +
                       QStringLiteral(" - not changing security for document ") + n);
    return true;
  }
  LogThenHyphens(cx, QStringLiteral("Inheriting security for item #") + n + QStringLiteral(" from folder #") + p);

  if (!SwitchFor(cx, Item_Library, n)) return false;
  InheritingItem item;
  const ReadResult profile = ReadInheritingItem(cx, n, item);
  if (profile == ReadResult::Rejected) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to read the profile of document ") + n + QStringLiteral(" - cannot set security"));
    return false;
  }
  if (profile == ReadResult::None) {
    LogMessage(cx, QStringLiteral("Error: Unable to locate profile for document ") + n + QStringLiteral(" - cannot set security"));
    return false;
  }
  WriteInheritedSecurity(cx, item, list);
  return true;
}

}  // namespace

bool InheritSecurity(SecurityContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                     const QString& Item_Library) {
  if (!CheckFusion(cx, QStringLiteral("InheritSecurity"))) return false;
  // The answer stands whatever the way back does.
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true, .onlyWhenLeft = true});
  bool result = false;
  try {
    result = Inherit(cx, DocNumber, Parent, Folder_Library, Item_Library);
  } catch (const DmCallFailure& e) {
    ReportError(cx, e.Number(), e.Source(), e.Description());
  } catch (const std::exception& e) {
    ReportError(cx, ErrAutomation, QStringLiteral("InheritSecurity"), QString::fromLocal8Bit(e.what()));
  }
  return result;
}

}  // namespace sw
