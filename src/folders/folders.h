#pragma once
// Finding, creating, filing, sorting, moving and verifying folders.
#include <QString>

namespace sw {

class FolderContext;

qint64 CheckForFolder(FolderContext& cx, const QString& Folder_Name, const QString& ParseCharacters,
                      qint64 Parent_Folder, int ThisRule, const QString& Folder_Library, const QString& Item_Library);
qint64 CreateFolder(FolderContext& cx, const QString& Folder_Name, qint64 Parent, int ThisRule,
                    const QString& Parent_Library, const QString& Item_Library, int Folder_Level);
bool AddFolderItem(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
                   const QString& Folder_Library, const QString& Document_Library);
// The rule's settings that filing applies. Every library switch reloads RuleTable with that
// library's rules, so they are read before the filing switches to the parent's library.
struct FilingRule {
  bool inheritSecurity = false;  // RULE_PROFILE_INHERIT_SECURITY reads as 1
  QString securityTemplate;      // RULE_SECURITY
};
bool AddFolderItemOfRule(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& DocType, int Rule_Number,
                         const FilingRule& rule, const QString& Folder_Library, const QString& Document_Library);
// A folder of one library found standing under a parent of another: its own library records
// the filing, but a run stopped before the parent's library committed leaves the parent without
// the row that shows the folder in it. Files the folder into the parent when that row is missing,
// as the first filing does in both libraries' item tables, and never twice. True when the parent
// shows the folder afterwards.
bool LinkFoundFolder(FolderContext& cx, qint64 DocNumber, qint64 Parent, const QString& Folder_Library,
                     const QString& Document_Library);
void CDoc(FolderContext& cx, const QString& CDoc_Library);
bool SortFolders(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount);
bool SortThisFolder(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount);
// Makes sure that an item filed across libraries has its row for that filing in its own
// library, whatever the folder's sort did: a folder holding one item, or more than the sort's
// limit, is never sorted, and the look-up of a subfolder made in another library finds it only
// by that row. Called on the folder's library; a row already there is left as it is. False when
// the row could not be written.
bool RecordRemoteFiling(FolderContext& cx, qint64 Parent, const QString& Folder_Library, qint64 DocNumber);
bool MoveDoc(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
             const QString& Document_Library);
bool VDoc(FolderContext& cx, const QString& Folder_Library, qint64 DocNumber);

}  // namespace sw
