#pragma once
// State kept by folder building, filing and sorting.

namespace sw {

struct FolderState {
};

}  // namespace sw
