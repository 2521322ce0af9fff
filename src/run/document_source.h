#pragma once
// A template that combines several columns of the documents (each profile's matter and its
// document type) can only be read from the documents: nothing else relates a matter to a
// document type. Such a rule's statement selects from PROFILE, joins every other table along the
// catalogue's keys, and takes each document not yet processed as one source row.
#include <QString>
#include <QStringList>

namespace sw {

class RunContext;
class TemplateTable;

// Whether the template's column paths leave PROFILE through more than one of its columns.
bool SelectsFromDocuments(const TemplateTable& items);

// Makes PROFILE the statement's first table, every table of the paths a join to the table before
// it, and every other listed table a join along PROFILE's one key to it (a cross join when there
// is none, so the rule's own conditions relate it). The processed-row filter is left to the
// documents' own.
void UseDocumentSource(RunContext& cx);

// The documents whose first level is blank are never recorded and come back in every cycle;
// where the cap takes rows in order (SQL Server's TOP with ORDER BY) their blank values sort
// first and take every place. The condition that leaves them out, in the engine's words: one of
// the first level's columns holds more than blanks. Empty when the first level has text of its
// own or no column.
QString FirstLevelCondition(const TemplateTable& items, qint64 engine);

// The tables that a table list, or a FROM clause and its joins, name ("[OWNER].<table>"), upper
// case.
QStringList NamedTables(const QString& fromAndJoins);
// The tables that the template's column paths reach and join from (PROFILE left out).
QStringList PathTables(const TemplateTable& items);

}  // namespace sw
