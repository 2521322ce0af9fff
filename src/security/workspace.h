#pragma once
// Users' workspaces: the workspace name template and the program-wide cache of workspaces
// already found. AddToWorkspace itself is declared in security.h.
#include <QString>

namespace sw {

class SecurityContext;
struct SecurityState;

// The name a workspace gets when its template expands to nothing or names the default rule.
inline const QString WorkspaceFallbackName = QStringLiteral("My Folders");

// Logged as one entry when the DM hands out no new SYSTEM_ID.
inline const QString WorkspaceKeyFailureText = QStringLiteral(
    "Error: Unable to retrieve System_ID for inserting new row - cannot continue.\n"
    "(Note: If you are using Windows XP, this is a known OpenText issue described in SD017875)");

// Makes the cache empty (row 0 only) while it holds no rows; a cache with rows stays as it is.
void CreateWorkspaceCache(SecurityState& state);
// Forgets the rows learned after the cache held `rows` rows: for work that was undone, whose
// roots and workspaces no longer exist.
void CutWorkspaceCache(SecurityState& state, int rows);

// The text with the first occurrence of `token` (found in any letter case) replaced by `value`;
// the rest of the text stays as written. Unchanged when the token is absent.
QString ReplaceFirstToken(const QString& text, const QString& token, const QString& value);

// The library where AddToWorkspace writes the user's workspaces: the user's primary library as
// the cache or the current library knows it, else the current library. Empty (logged) when the
// look-up fails.
QString WorkspaceLibrary(SecurityContext& cx, const QString& User_ID);

// The workspace the template names for the user and the item (a folder of the current library), as
// AddToWorkspace expands it; the template itself when the item's people cannot be read.
QString WorkspaceNameOfItem(SecurityContext& cx, const QString& WorkspaceName, const QString& User_ID, qint64 DocNumber);

// Expands a workspace name template for one user and one item's author and typist. The primary
// groups are looked up in the current library only when their tokens are present. An empty
// result, or one naming the default rule, becomes WorkspaceFallbackName.
QString ExpandWorkspaceName(SecurityContext& cx, const QString& WorkspaceName, const QString& User_ID,
                            const QString& author, const QString& typist);

}  // namespace sw
