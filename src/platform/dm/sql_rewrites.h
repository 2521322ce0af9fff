#pragma once
// The rewrites that turn the SQL Server and Oracle forms the system writes into SQLite, each
// working on every level of the statement's tree.
#include "platform/dm/sql_tokens.h"

namespace sw::dm {
struct ServerFacts;
}

namespace sw::dm::sql {

// Applies `fn` to every level, innermost first, so a rewrite sees its arguments rewritten.
template <class Fn>
void ForEachLevel(Seq& seq, Fn&& fn) {
  for (Node& n : seq)
    if (n.group) ForEachLevel(n.kids, fn);
  fn(seq);
}

Node Num(const QString& text, const QString& pre = QStringLiteral(" "));
// A snippet of SQLite text as nodes; its first node takes `pre`.
Seq Snippet(const QString& sql, const QString& pre);

// "DOCSADM.PROFILE", "dbo.ZK_X", "[DOCSADM].[PROFILE]" name the table in the library itself;
// "sys.databases" and "INFORMATION_SCHEMA.TABLES" become the catalogue views.
void DropOwnerQualifiers(Seq& seq, const ServerFacts& facts);
// "WITH (NOLOCK)" and the like: SQLite has no locking hints.
void DropTableHints(Seq& seq);
// GETDATE, GETUTCDATE, SYSDATE, ISNULL, NVL, SUBSTRING, LEFT, RIGHT, CAST, TRY_CAST,
// CONVERT, DATEADD, DATEDIFF, DATEPART, @@VERSION ...
void RewriteFunctions(Seq& seq);
// SELECT [DISTINCT] TOP n ... becomes ... LIMIT n.
void RewriteTop(Seq& seq);
// Oracle's "ROWNUM <= n" caps the rows before DISTINCT and ORDER BY.
void RewriteRownum(Seq& seq);
// Oracle's "b.x (+) = a.y" over a comma-separated FROM list becomes a LEFT OUTER JOIN.
void RewriteOuterJoins(Seq& seq);
// What is left of (+) is refused with a clear message.
void RejectOuterJoinOperator(const Seq& seq);
// A parameter marker outside the quotes ("?", "?2", ":name", "$name", and "#name", which SQLite
// reads as one too) is refused: statements are run with no value bound, and SQLite would bind
// NULL to it, or a kept template's first value.
void RejectParameterMarkers(const Seq& seq);
// SQL Server's "+" and "-" on operands that may be text or dates become sw_plus(a, b) and
// sw_minus(a, b).
void RewriteStringPlus(Seq& seq);
// A text literal compared with = or <> (and the others) compares without regard to case, as
// the servers' default collation does; so does every ORDER BY key.
void CollateTextComparisons(Seq& seq);
void CollateOrderBy(Seq& seq);
void RewriteMinus(Seq& seq);
// Oracle reads an empty text as NULL: '' compared, inserted or assigned is NULL.
void EmptyTextIsNull(Seq& seq);
// With QUOTED_IDENTIFIER OFF, "text" is a string, as SQL Server reads it.
void QuotedNamesAsStrings(Seq& seq);

}  // namespace sw::dm::sql
