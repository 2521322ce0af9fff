#pragma once
// The rule's folder template: the cut to the rule's number of levels, the level count, the
// per-cycle maximum, and the split into the ordered item table with built-in values replaced
// and external links recorded.
#include <QString>

namespace sw {

class RunContext;

// The template rebuilt from its first `levels` levels (0 keeps it unchanged; a negative count
// or one above the number of levels keeps every level); the trailing separators of the result
// are removed whenever it was rebuilt.
QString CutTemplateLevels(const QString& templateText, int levels);
// 1 plus the separators ("%\%", then "%/%") that have more template after them.
int CountTemplateLevels(const QString& templateText);
// The most folders of one cycle from the "Maximum Folders/Cycle" text: 10000 when it is not a
// number from 1 to 10000, otherwise the number, or 0 (no maximum) while initializing.
qint64 PerCycleMaximum(const QString& maxFoldersText, bool initialize);

// The table name with the owner placeholder in front: an owner prefix written out becomes
// the placeholder, a name that has one keeps it.
QString WithOwnerPlaceholder(const QString& table, const QString& databaseOwner);
// Whether an entry is in a table list already: it is the last entry or stands before a ",".
bool TableListed(const QString& tableList, const QString& entry);
// Appends the entry (upper case) unless it is listed; true when it was appended.
bool AddTableListEntry(QString& tableList, const QString& entry);

// Logs the rule, cuts its template, counts the levels and splits the template into
// ParsedTemplate. False when the template gave no item: the rule's node is unticked and the
// rule ends.
bool ParseFolderTemplate(RunContext& cx);

}  // namespace sw
