#pragma once
// A rule's progress in TARN_STACKWRIGHT: advancing it to the rows its source tables hold today,
// or resetting it so that every row is processed again. The menu handlers are in admin.h.
#include <QString>
#include <QStringList>

namespace sw {

class RunContext;

namespace admin {

// The items of a folder template, cut at its "%" markers from the left: an item runs to the
// next "%" (or, without one, to the next blank or the end); the text between an item's closing
// "%" and the next "%" is skipped.
QStringList RuleTemplateItems(const QString& templateText);

// The table an item's column path ends in, followed from PROFILE through the current library's
// column catalogue; empty for profile columns, built-in items, fixed text and separators. A
// catalogue that cannot be read says nothing about the item: `readFailed` and where it failed.
struct ItemSource {
  QString table;
  bool readFailed = false;
  QString failure;  // the column whose look-up failed, and why
};
ItemSource ItemSourceTable(RunContext& cx, const QString& item);

}  // namespace admin
}  // namespace sw
