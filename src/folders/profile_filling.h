#pragma once
// Filling the profile of a new folder before its first save: the user's profile defaults, the
// standard columns, empty columns from the parent folder's profile, and the author.
#include <QString>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

#include "platform/dm/dm_api.h"

namespace sw {

class FolderContext;

// (column name, value) pairs in column order.
using ColumnValues = std::vector<std::pair<QString, QVariant>>;

// A Null value is neither empty nor non-empty: both tests fail on it.
bool IsNullValue(const QVariant& value);
bool IsEmptyValue(const QVariant& value);
bool IsNonEmptyValue(const QVariant& value);
// A column may be written when it is not protected or its type code says writable anyway.
bool IsWritableColumn(const dm::DmColumn& column);

// What the column pass writes into one column of the new folder, by the column's name and
// value; none when the column keeps its value. `parentValues` are the parent's writable columns.
std::optional<QVariant> StandardColumnValue(const QString& columnName, const QVariant& columnValue,
                                            const QString& folderName, const QString& authorSource,
                                            const QString& userName, const ColumnValues& parentValues);

// Fills cx.items.ProfileObject. False when the folder cannot go on (no profile object, or a
// profile without columns): the caller then ends with 0. A DM failure while the parent's
// profile is opened or read is raised to the caller's error handler.
bool FillFolderProfile(FolderContext& cx, const QString& Folder_Name, qint64 Parent, const QString& Parent_Library,
                       const QString& AuthorSource);

}  // namespace sw
