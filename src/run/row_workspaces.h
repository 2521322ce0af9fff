#pragma once
// The workspace step of a row: a newly created folder goes into the workspaces of the users the
// rule names for its level (the document's author and typist, people and group links of the
// template, the members of the rule's workspace group).
#include <QString>
#include <functional>

namespace sw {

class RunContext;

// Makes a library part of the row's work before the row writes there; false when it cannot be.
using JoinLibrary = std::function<bool(const QString& library)>;

// `library` is the folder's own: the workspace entries name it, so that they lead to the folder.
// With `join`, each user's primary library joins the row's work before the user's entry is
// written there, and a user whose library cannot join gets no entry.
void AddRowWorkspaces(RunContext& cx, int level, const QString& folderName, qint64 folder, const QString& library,
                      const JoinLibrary& join = nullptr);

// The workspace name the folder is added under: the rule's own, else the library's default for
// the built-in rule, else the rule's name as shown.
QString RowWorkspaceName(RunContext& cx);

}  // namespace sw
