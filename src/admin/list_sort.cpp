#include "admin/list_sort.h"

namespace sw::admin {

int NextSortOrder(ListSortMemory& memory, const QString& headerText) {
  int order = SortAscending;
  // Case counts: a header that differs only in case is another column.
  if (headerText == memory.LastSortColumn)
    order = memory.LastSortOrder == SortDescending ? SortAscending : SortDescending;
  memory.LastSortOrder = order;
  memory.LastSortColumn = headerText;
  return order;
}

}  // namespace sw::admin
