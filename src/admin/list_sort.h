#pragma once
// The header-click sort of the administration lists: another column than the one sorted last
// sorts ascending; the same column (its header text compared exactly) alternates.
#include <QString>

namespace sw::admin {

inline constexpr int SortAscending = 0;
inline constexpr int SortDescending = 1;

// What a list remembers of its last header click.
struct ListSortMemory {
  QString LastSortColumn;                 // header text of the column sorted last
  int LastSortOrder = SortAscending;
};

// The order a click on the header `headerText` sorts in; the memory takes the click.
int NextSortOrder(ListSortMemory& memory, const QString& headerText);

}  // namespace sw::admin
