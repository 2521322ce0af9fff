#pragma once
// Applying a rule's security template, inheriting a folder's security, filling empty profile
// fields between a folder and its items, and adding folders to users' workspaces.
#include <QString>

namespace sw {

class SecurityContext;

bool AddSecurity(SecurityContext& cx, qint64 DocNumber, const QString& Template, int Rule_Number,
                 const QString& DocType, const QString& Folder_Library, const QString& Item_Library);
// Reads the folder's trustees in Folder_Library and writes the item's in Item_Library (either may
// be empty for the current library); the library current on entry is current again afterwards.
bool InheritSecurity(SecurityContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                     const QString& Item_Library);
bool SyncData(SecurityContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
              const QString& DocType, int Rule_Number, const QString& Item_Library);
// Expanded, when given, receives the workspace's name as the template expanded for the user, once
// it was (it stays as it was when the call ends before).
bool AddToWorkspace(SecurityContext& cx, const QString& WorkspaceItem, qint64 DocNumber, const QString& User_ID,
                    const QString& WorkspaceName, const QString& Folder_Library, QString* Expanded = nullptr);

}  // namespace sw
