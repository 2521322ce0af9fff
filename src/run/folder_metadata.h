#pragma once
// What a newly created folder of a row's chain gets written straight into its profile: the
// linked profile columns, an e-mail address at the rule's level and an author when it has none;
// and the e-mail address each row gives.
#include <QString>
#include <vector>

namespace sw {

class RunContext;

// The row's e-mail address from the rule's working e-mail template: each column replaces at most
// one token, "%" + its header + "%" or, failing that, a token ending in its column name + "%".
// Values are taken as the database returned them, trimmed; blanks beside a token are dropped.
// Headers and values are indexed from 1.
QString RowEmailAddress(const QString& emailTemplate, const std::vector<QString>& headers,
                        const std::vector<QString>& values);

// The steps for one new folder at level `level` of row `row`, in the order the chain calls them.
// Each runs in `library`, the folder's own, and makes the library current on entry current again.
void UpdateFolderMetadata(RunContext& cx, qint64 folder, const QString& library, int level);
void SetFolderEmailAddress(RunContext& cx, qint64 folder, const QString& library, int level, int row);
void SetFolderAuthor(RunContext& cx, qint64 folder, const QString& library);

}  // namespace sw
