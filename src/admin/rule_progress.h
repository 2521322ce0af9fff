#pragma once
// A rule's progress in TARN_STACKWRIGHT: advancing it to the rows its source tables hold today
// (the tables the run's statement leaves recorded rows of), or resetting it so that every row is
// processed again. The menu handlers are in admin.h.
#include <QString>
#include <QStringList>

namespace sw {

class RunContext;

namespace admin {

// The items of a folder template, cut at its "%" markers from the left: an item runs to the
// next "%" (or, without one, to the next blank or the end); the text between an item's closing
// "%" and the next "%" is skipped.
QStringList RuleTemplateItems(const QString& templateText);

// Follows an item's column path from PROFILE through the current library's column catalogue:
// the column whose look-up could not be read, and why; empty when every look-up was read (also
// when a name is no key, or the item is no path).
QString CatalogueFailure(RunContext& cx, const QString& item);

}  // namespace admin
}  // namespace sw
