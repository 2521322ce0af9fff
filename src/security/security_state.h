#pragma once
// State kept by the security, metadata and workspace services.
#include <QString>
#include <array>
#include <vector>

namespace sw {

// --- Workspaces -------------------------------------------------------------------------------
// Columns of a WorkspaceCache row (column 0 stays empty); ids are written "#0".
enum WorkspaceCacheColumn : int {
  WsUserId = 1,        // the user id exactly as the caller passed it
  WsPrimaryLibrary = 2,
  WsPeopleId = 3,      // PEOPLE.SYSTEM_ID in the primary library
  WsRootId = 4,        // the user's WORKSPACES row
  WsWorkspaceId = 5,   // the workspace's own row
  WsEmailAddress = 6,
  WsName = 7,          // the expanded workspace name, upper-cased
};
inline constexpr int WorkspaceCacheColumns = 8;
using WorkspaceCacheRow = std::array<QString, WorkspaceCacheColumns>;
// --- end of workspaces ------------------------------------------------------------------------

struct SecurityState {
  // Workspaces: users, roots and workspaces already found or created in this program run, so
  // that later calls skip their look-ups. Rows 1..WorkspaceCacheCount are used; row 0 stays
  // empty. Not keyed by library; only a source row that is undone takes back the rows it added.
  std::vector<WorkspaceCacheRow> WorkspaceCache;
  int WorkspaceCacheCount = 0;
};

}  // namespace sw
