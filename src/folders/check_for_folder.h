#pragma once
// How the folder look-up turns a folder name and a rule's parse setting into its LIKE search,
// and the mark the system leaves in FOLDER.PATH of every folder it makes or adopts.
#include <QString>

namespace sw {

class FolderContext;

// The look-up with the rule's name and its public-folder setting given rather than read from
// RuleTable: for a caller that read its rule before switching to a library whose rule set
// numbers its rules differently.
qint64 CheckForFolderOfRule(FolderContext& cx, const QString& Folder_Name, const QString& ParseCharacters,
                            qint64 Parent_Folder, const QString& RuleName, bool PublicFolders, const QString& Folder_Library,
                            const QString& Item_Library);

// The mark of a folder made or adopted for a rule: "QUILLMARK " + the rule name, ready for SQL.
QString FolderPathStamp(const QString& ruleName);
// A folder counts as the system's own when its PATH begins with "QUILLMARK" (any case), whatever
// rule it names.
bool IsStampedPath(const QString& path);

// A name as every step shapes it, the look-up, the creation and the level loop alike: each line
// break and NUL a blank, then every run of blanks shrunk to one blank; a single leading or
// trailing blank stays.
QString NormaliseFolderName(const QString& name);

// A rule's parse setting read: Count is the number it begins with (0 for none), Text the part
// before any backslash, trimmed and upper-cased.
struct ParseSetting {
  int Count = 0;
  QString Text;
};
ParseSetting ReadParseSetting(const QString& parseCharacters);

// PROFILE.DOCNAME of the DM holds this many characters.
inline constexpr int DocNameLength = 240;
// A folder name as the DM keeps it: its first DocNameLength characters (one fewer where the last
// would be half of a character beyond 16 bits), trimmed. Folders are made under this name and
// looked up by it.
QString StoredFolderName(const QString& name);

// The search pattern in the name's own letter case: a tail or head match by count, a cut after
// the first character of the parse text, or else the whole name. `text` is matched as it
// stands; the wildcards are the only ones of the search.
struct FolderPattern {
  QString text;
  bool anyBefore = false;
  bool anyAfter = false;
  QString Shown() const;  // with its wildcards written "%"
};
FolderPattern FolderSearchPattern(const QString& name, const ParseSetting& parse);

// "LIKE '<pattern>'" as it goes into the statement: the text cut to what DOCNAME holds, its
// brackets and wildcards escaped for the engine, apostrophes doubled, upper-cased; on Oracle
// with the ESCAPE clause its escapes need.
QString FolderNameLike(const FolderPattern& pattern, qint64 engine);

}  // namespace sw
