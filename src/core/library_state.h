#pragma once
#include <QString>
#include <QStringList>
#include <vector>

namespace sw {

// State of the current library, set by the library switch, and the cache of what each library's
// first switch learned.
struct LibraryState {
  QString DatabaseOwner;
  QString EngineName;
  QString OuterJoinOperator;
  QString ConcatOperator;
  QString QuotedNextColumn;
  QString ServerProductVersion;
  QString CompatibilityLevel;
  bool LibraryConnected = false;
};

}  // namespace sw
