#pragma once
// A rule's security template ("%AUTHOR% = 255; GROUP:DOCS_USERS = 63") turned, for one item,
// into the trustees it names with their rights.
#include <QString>
#include <vector>

#include "platform/dm/dm_api.h"

namespace sw {

class Context;

enum class TrusteeKind { Person, Group };

// What the item's profile says about its author and typist; any field may be empty.
struct ItemProfileFacts {
  QString ProfileSystemId;  // "#0"
  QString AuthorUserId;
  QString TypistUserId;
  QString AuthorGroupId;
  QString TypistGroupId;
  double DefaultRights = 0;
};

// One trustee the template names.
struct TemplateTrustee {
  QString UserId;    // empty for a group
  QString GroupId;   // empty for a person
  QString Rights;    // whole number as decimal text
  QString Existing;  // "x" once the item is found to hold this trustee already
};

// The trustees in the order they first appear in the template, with what the writing steps need
// to know about them.
struct TemplateTrusteeList {
  std::vector<TemplateTrustee> rows;
  bool AuthorListed = false;       // a person placeholder resolved to the author
  bool TypistListed = false;       // a person placeholder resolved to the typist
  bool DocsUsersListed = false;    // a group placeholder resolved to DOCS_USERS
  bool PositiveRightsSeen = false; // a row with rights above 0 was added

  int Count() const { return static_cast<int>(rows.size()); }
  // The first row that holds this id as a person or as a group; null for none.
  TemplateTrustee* Find(const QString& id);
};

// Rights written when a template asks for 0: the DM's full-rights mask (hex FF0000).
inline const QString ZeroRightsReplacement = QStringLiteral("16711680");

// The rights of an entry from the text after its "=": the leading number (blanks inside it
// skipped), rounded to a whole number; 0 becomes the full-rights mask.
QString TrusteeRightsText(const QString& text);

// A name with its "%" marks removed from both ends, blanks trimmed after each; `stripped` tells
// whether any mark was there.
QString StripPlaceholderMarks(const QString& name, bool* stripped);

// Parses the template against the item; logs each trustee it adds and the count. Touches no
// table and never fails: entries it cannot read count for nothing.
TemplateTrusteeList ParseSecurityTemplate(Context& cx, const QString& SecurityTemplate, const ItemProfileFacts& facts);

// What applying and inheriting security share: the trustee statements (the same on every
// engine; RunSQL adapts them) and the plain SQL steps around them.

// Rights of the author, the typist and the everyone-trustee 0 when the system adds them itself.
inline constexpr int OwnTrusteeRights = 191;

// ", SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98" on libraries whose PROFILE has the link.
QString SecurityLinkClause(bool securityLinkExists);
// The trustee rows of a document: user id, group id, rights.
dm::FilledSql ItemTrusteesQuery(qint64 docNumber);
// Statements on one trustee row of the item whose PROFILE.SYSTEM_ID is `sid`; the id goes in
// through StripQuotes, the rights as a whole number.
dm::FilledSql TrusteeDeleteSql(TrusteeKind kind, const QString& sid, const QString& id);
dm::FilledSql TrusteeInsertSql(TrusteeKind kind, const QString& sid, const QString& id, const QString& rights);
dm::FilledSql TrusteeUpdateSql(TrusteeKind kind, const QString& sid, const QString& id, const QString& rights);
// A rights text as the whole number the statements write.
QString RightsNumber(const QString& rights);

// The SQL object of the current library; a missing one is the run-time failure of an object
// that is not set.
dm::PcdSql& SqlObject(Context& cx);
// What a look-up told: rows to use, none, or no answer because the database rejected it.
enum class ReadResult { Found, None, Rejected };

// Runs a query and leaves its results open; false (results released) when the database rejected
// it: a rejected query is no answer, and nothing may be written from it.
bool RunQuery(Context& cx, const dm::FilledSql& sql);
// Runs a statement and releases its results; the rows it changed (0 when it was rejected or
// never reached the database).
qint64 RunWrite(Context& cx, const dm::FilledSql& sql);

}  // namespace sw
