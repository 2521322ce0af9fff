#pragma once
// The checks an item passes before it is filed into a parent folder: the user may manage
// folders and has rights on the parent, the parent is a folder, the item is not in it already,
// the item's status allows filing, filing across libraries is allowed, and the user's
// effective rights on item and parent allow it.
#include <QString>
#include <QVariant>

#include "platform/dm/dm_api.h"

namespace sw {

class Context;
class FolderContext;

enum class FilingVerdict {
  AlreadyFiled,  // the item is in the parent already: nothing to do
  Refused,       // filing is not allowed or not possible (the reason is logged)
  GoOn,          // file it: Folder_Library is current, FolderObject holds the parent and
                 // ProfileObject the same object seen as a profile
};

// Runs the checks in order; the first that decides ends them. A DM object or a statement that
// fails raises DmCallFailure, for the filing's error report; the two effective-rights checks
// pass over their failures instead.
FilingVerdict CheckFiling(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                          const QString& Document_Library);

namespace filing {

// The two library names name the same library only when the texts are equal, case included.
bool SameLibrary(const QString& Folder_Library, const QString& Document_Library);
// A library right is granted when its value is True (-1, or a true Boolean).
bool RightGranted(const QVariant& value);

// Whether item DocNumber of Document_Library is filed in folder Parent of Folder_Library, as
// the FOLDER_ITEM table of the library it runs in records it.
dm::FilledSql FiledAlreadyQuery(qint64 DocNumber, qint64 Parent, const QString& Document_Library, const QString& Folder_Library);
// Explicit rights of 63 to 255 on the parent for the user or one of the user's groups.
dm::FilledSql ParentRightsQuery(qint64 Parent, const QString& user);

// Runs a statement through RunSQL; a statement that could not run, or that the database
// rejected, is raised as a failure. The results stay open for the caller.
void RunChecked(Context& cx, const dm::FilledSql& sql);
// The numeric value of column 1 of the first row, results released.
qint64 CountOf(Context& cx, const dm::FilledSql& sql);

// Closes and empties the shared profile slot; a close that fails is passed over.
void CloseProfileSlot(Context& cx);

}  // namespace filing

}  // namespace sw
