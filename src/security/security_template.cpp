#include "security/security_template.h"

#include <algorithm>
#include <cmath>

#include "core/context.h"
#include "core/log.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw {

namespace {

bool IsSeparator(QChar c) { return c == QLatin1Char(';') || c == QLatin1Char(','); }

// Trims and drops every separator at the front, whatever their order: a run such as ",;" between
// two entries is no entry of its own, so the entries after it must not be swallowed into one.
QString DropLeadingSeparators(const QString& text) {
  QString rest = TrimBlanks(text);
  while (!rest.isEmpty() && IsSeparator(rest.front())) rest = TrimBlanks(rest.mid(1));
  return rest;
}

// One template entry resolved to a trustee; an empty id means the entry counts for nothing.
struct ResolvedEntry {
  TrusteeKind kind = TrusteeKind::Person;
  QString id;
};

struct PlaceholderTarget {
  const char* name;
  TrusteeKind kind;
  QString ItemProfileFacts::*field;
};

const PlaceholderTarget kPlaceholders[] = {
    {"AUTHOR", TrusteeKind::Person, &ItemProfileFacts::AuthorUserId},
    {"AUTHOR.USER_ID", TrusteeKind::Person, &ItemProfileFacts::AuthorUserId},
    {"TYPIST", TrusteeKind::Person, &ItemProfileFacts::TypistUserId},
    {"TYPIST.USER_ID", TrusteeKind::Person, &ItemProfileFacts::TypistUserId},
    {"AUTHOR.PRIMARY_GROUP", TrusteeKind::Group, &ItemProfileFacts::AuthorGroupId},
    {"AUTHOR.PRIMARY_GROUP.GROUP_ID", TrusteeKind::Group, &ItemProfileFacts::AuthorGroupId},
    {"TYPIST.PRIMARY_GROUP", TrusteeKind::Group, &ItemProfileFacts::TypistGroupId},
    {"TYPIST.PRIMARY_GROUP.GROUP_ID", TrusteeKind::Group, &ItemProfileFacts::TypistGroupId},
};

// A placeholder looked up in the table, setting the flags its resolution implies.
ResolvedEntry ResolvePlaceholder(const QString& placeholder, const ItemProfileFacts& facts, TemplateTrusteeList& list) {
  for (const PlaceholderTarget& p : kPlaceholders) {
    if (placeholder.compare(QLatin1String(p.name), Qt::CaseInsensitive) != 0) continue;
    ResolvedEntry entry{p.kind, facts.*(p.field)};
    if (entry.kind == TrusteeKind::Group && entry.id == QLatin1String("DOCS_USERS")) list.DocsUsersListed = true;
    if (entry.kind == TrusteeKind::Person && entry.id == facts.AuthorUserId) list.AuthorListed = true;
    if (entry.kind == TrusteeKind::Person && entry.id == facts.TypistUserId) list.TypistListed = true;
    return entry;
  }
  return {};
}

// "PREFIX:id": the prefix decides the kind; any other prefix, or no ":", counts for nothing.
ResolvedEntry ResolvePrefixed(const QString& name) {
  const qsizetype colon = name.indexOf(QLatin1Char(':'));
  if (colon < 0) return {};
  const QString prefix = TrimBlanks(name.left(colon)).toUpper();
  const QString id = TrimBlanks(name.mid(colon + 1)).toUpper();
  if (prefix.left(5) == QLatin1String("GROUP")) return {TrusteeKind::Group, id};
  if (prefix.left(4) == QLatin1String("USER") || prefix == QLatin1String("PEOPLE") || prefix == QLatin1String("PERSON"))
    return {TrusteeKind::Person, id};
  return {};
}

// The entry's name resolved to a trustee.
ResolvedEntry ResolveName(const QString& name, const ItemProfileFacts& facts, TemplateTrusteeList& list) {
  bool placeholder = false;
  const QString bare = StripPlaceholderMarks(name, &placeholder);
  if (placeholder) return ResolvePlaceholder(bare, facts, list);
  return ResolvePrefixed(name);
}

// Adds the trustee, or raises the rights of the row that already holds its id.
void MergeTrustee(Context& cx, TemplateTrusteeList& list, const ResolvedEntry& entry, const QString& rights) {
  if (TemplateTrustee* row = list.Find(entry.id)) {
    if (NumericValue(rights) > NumericValue(row->Rights)) row->Rights = rights;
    return;
  }
  LogMessage(cx, QStringLiteral("Adding trustee ") + entry.id + QStringLiteral(" with rights ") + rights);
  LogMessage(cx, HyphenLine);
  TemplateTrustee row;
  (entry.kind == TrusteeKind::Person ? row.UserId : row.GroupId) = entry.id;
  row.Rights = rights;
  list.rows.push_back(row);
  if (NumericValue(rights) > 0) list.PositiveRightsSeen = true;
}

// One entry of the template: "name = rights".
void ParseEntry(Context& cx, const QString& text, const ItemProfileFacts& facts, TemplateTrusteeList& list) {
  const QString entry = DropLeadingSeparators(text);
  const qsizetype equals = entry.indexOf(QLatin1Char('='));
  if (equals <= 0) return;
  const QString name = TrimBlanks(entry.left(equals));
  const QString rights = TrusteeRightsText(entry.mid(equals + 1));
  const ResolvedEntry resolved = ResolveName(name, facts, list);
  if (resolved.id.isEmpty()) return;
  MergeTrustee(cx, list, resolved, rights);
}

}  // namespace

TemplateTrustee* TemplateTrusteeList::Find(const QString& id) {
  for (TemplateTrustee& row : rows)
    if (row.UserId == id || row.GroupId == id) return &row;
  return nullptr;
}

QString TrusteeRightsText(const QString& text) {
  // The number may carry blanks between its sign and digits ("- 1", "2 55"); they are skipped.
  QString packed;
  for (QChar c : text)
    if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r')) packed += c;
  // Half-way values go to the even neighbour, as the DM's own whole-number conversion does; the
  // range is held to what a 64-bit mask can carry.
  constexpr double limit = 9.0e15;
  const double value = std::nearbyint(std::clamp(NumericValue(packed), -limit, limit));
  const qint64 whole = static_cast<qint64>(value);
  if (whole == 0) return ZeroRightsReplacement;
  return FormatNumber(whole);
}

QString StripPlaceholderMarks(const QString& name, bool* stripped) {
  QString bare = name;
  bool any = false;
  while (bare.startsWith(QLatin1Char('%'))) {
    bare = TrimBlanks(bare.mid(1));
    any = true;
  }
  while (bare.endsWith(QLatin1Char('%'))) {
    bare = TrimBlanks(bare.chopped(1));
    any = true;
  }
  if (stripped) *stripped = any;
  return bare;
}

TemplateTrusteeList ParseSecurityTemplate(Context& cx, const QString& SecurityTemplate, const ItemProfileFacts& facts) {
  TemplateTrusteeList list;
  QString remainder = SecurityTemplate;
  while (!remainder.isEmpty()) {
    remainder = DropLeadingSeparators(remainder);
    if (remainder.isEmpty()) break;
    qsizetype at = 0;
    while (at < remainder.size() && !IsSeparator(remainder.at(at))) ++at;
    const QString entry = TrimBlanks(remainder.left(at));
    remainder = at < remainder.size() ? TrimBlanks(remainder.mid(at + 1)) : QString();
    ParseEntry(cx, entry, facts, list);
  }
  if (list.rows.empty()) {
    LogMessage(cx, QStringLiteral("No trustees identified for this template"));
    return list;
  }
  LogMessage(cx, FormatNumber(list.Count()) + QStringLiteral(" trustee(s) identified for this document"));
  LogMessage(cx, HyphenLine);
  return list;
}

namespace {

// The subquery that finds the trustee's own SYSTEM_ID by its id.
// The look-up of the trustee's id; its one literal is the trustee's name.
QString TrusteeIdLookup(TrusteeKind kind) {
  if (kind == TrusteeKind::Person) return QStringLiteral("(SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = ?)");
  return QStringLiteral("(SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE GROUP_ID = ?)");
}

}  // namespace

QString SecurityLinkClause(bool securityLinkExists) {
  return securityLinkExists ? QStringLiteral(", SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98") : QString();
}

dm::FilledSql ItemTrusteesQuery(qint64 docNumber) {
  return {QStringLiteral(
             "SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM [OWNER].SECURITY S "
             "LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
             "LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
             "LEFT OUTER JOIN [OWNER].PROFILE R ON R.SYSTEM_ID = S.THING WHERE R.DOCNUMBER = ?"),
          {FormatNumber(docNumber)}};
}

dm::FilledSql TrusteeDeleteSql(TrusteeKind kind, const QString& sid, const QString& id) {
  return {QStringLiteral("DELETE FROM [OWNER].SECURITY WHERE THING = ? AND PERSONORGROUP = ") + TrusteeIdLookup(kind),
          {sid, SqlText(id)}};
}

dm::FilledSql TrusteeInsertSql(TrusteeKind kind, const QString& sid, const QString& id, const QString& rights) {
  const bool person = kind == TrusteeKind::Person;
  return {QStringLiteral("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, ?, ?") +
              (person ? QStringLiteral(" FROM [OWNER].PEOPLE WHERE USER_ID = ?") : QStringLiteral(" FROM [OWNER].GROUPS WHERE GROUP_ID = ?")),
          {RightsNumber(rights), sid, SqlText(id)}};
}

dm::FilledSql TrusteeUpdateSql(TrusteeKind kind, const QString& sid, const QString& id, const QString& rights) {
  return {QStringLiteral("UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = ? WHERE THING = ? AND PERSONORGROUP = ") + TrusteeIdLookup(kind),
          {RightsNumber(rights), sid, SqlText(id)}};
}

QString RightsNumber(const QString& rights) { return FormatNumber(std::llround(NumericValue(rights))); }

dm::PcdSql& SqlObject(Context& cx) {
  if (!cx.session.pSQL)
    throw DmCallFailure(ErrObjectNotSet, cx.app.AppTitle, QStringLiteral("Object variable or With block variable not set"));
  return *cx.session.pSQL;
}

bool RunQuery(Context& cx, const dm::FilledSql& sql) {
  const bool submitted = RunSQL(cx, sql);
  dm::PcdSql& pcd = SqlObject(cx);
  if (submitted && IsSqlSuccess(pcd.SqlErrorCode())) return true;
  pcd.ReleaseResults();
  return false;
}

qint64 RunWrite(Context& cx, const dm::FilledSql& sql) {
  const bool submitted = RunSQL(cx, sql);
  dm::PcdSql& pcd = SqlObject(cx);
  const qint64 affected = pcd.RowsAffected();
  const qint64 code = pcd.SqlErrorCode();
  // A rejected statement changed nothing, whatever count the object still holds.
  const qint64 changed = submitted && IsSqlSuccess(code) ? affected : 0;
  pcd.ReleaseResults();
  return changed;
}

}  // namespace sw
