#pragma once
// State kept by folder building, filing and sorting.
#include <QString>

namespace sw {

struct FolderState {
  // The PROFILE columns and values of the source row whose folders are being built ("MATTER =
  // 1105, CLIENT_ID = 12"), which each of its new folders receives; empty outside a run's row. A
  // folder of another library found under a parent that does not show it is taken for the row
  // only when it carries them.
  QString RowLinkValues;
};

}  // namespace sw
