#pragma once
// A rule's own SQL statement: its stored form in TARN_SETTINGS (one RuleSqlChunkRow per chunk of
// the encoded statement), testing it on the rule's library, saving or clearing it, and the
// in-memory copies that a save brings up to date.
#include <QString>
#include <QStringList>

namespace sw {

class RunContext;
struct RuleState;

namespace admin {

inline constexpr int RuleSqlChunkLength = 1000;  // characters of the encoded statement per row
inline constexpr int RuleSqlReadChunks = 3;      // rows the rules loader reads back
inline constexpr int RuleSqlFieldLength = 1024;  // each of the rule's fields 41 to 43
inline constexpr int RuleSqlEditorMaxLength = 4096;

// A blank followed by another character becomes "<SPC>"; a blank followed by a blank is
// dropped. Tabs and line breaks stay.
QString EncodeRuleSql(const QString& statement);

// The encoded statement cut into chunks of RuleSqlChunkLength characters, numbered from 1 in
// order; the empty statement gives none. A line break at either edge of a chunk would turn into
// a blank that the literal's trimming removes, so that the words on both sides would meet when
// the chunks are joined again: such a line break is written as a tab, which keeps them apart.
QStringList RuleSqlChunks(const QString& statement);

// False when the statement would not come back whole: the loader reads only the first
// RuleSqlReadChunks chunks, and the rule's fields hold 3 x RuleSqlFieldLength characters.
bool RuleSqlFitsStorage(const QString& statement);

// The statement as a save stores it: "{OWNER}" (any case), in literals too, becomes the owner
// placeholder, which the run resolves to the library's owner; "[OWNER]" stays as written.
QString StoredRuleSql(const QString& statement);

QString RuleSqlDeleteStatement(const QString& ruleName);
QString RuleSqlInsertStatement(int chunkNumber, const QString& ruleName, const QString& chunk);

// The opener's part of F5 on a rule node: the texts the editor starts with, from the rule's
// RuleSqlCache row, which is added (library and rule only) when there is none.
struct RuleSqlEditorStart {
  QString library;    // status panel 1
  QString rule;       // status panel 2
  QString statement;  // the text box
};
RuleSqlEditorStart PrepareRuleSqlEditor(RuleState& rules, const QString& libraryName, const QString& ruleName);

enum class RuleSqlTest { NotRun, Passed, Failed };

// Runs the statement, untrimmed and in its stored form, on the library and shows what it returned;
// an empty text runs nothing. The library current before is current again afterwards.
RuleSqlTest TestRuleSql(RunContext& cx, const QString& library, const QString& rule, const QString& statement);

// Replaces the rule's stored chunks by those of the statement (trimmed, in its stored form; empty
// clears it) as one unit of work, brings RuleSqlCache and the rule's fields up to date and tells
// the user. False, with nothing changed in memory, when the library could not be made current or
// the rows could not be written.
bool SaveRuleSql(RunContext& cx, const QString& library, const QString& rule, const QString& statement);

// The in-memory copies of a saved statement: its RuleSqlCache row (found or added) and, when the
// rule is in the rule table, its fields 41 to 43.
void UpdateRuleSqlCopies(RuleState& rules, const QString& library, const QString& rule, const QString& statement);

}  // namespace admin
}  // namespace sw
