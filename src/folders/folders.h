#pragma once
// Finding, creating, filing, sorting, moving and verifying folders.
#include <QString>

namespace sw {

class FolderContext;

// Looks for an existing folder of the name under `Parent_Folder` (0: at the top level), matched
// on the upper-cased name and loosened by the rule's parse setting; prefers folders this program
// made or adopted, and stamps a top-level folder it adopts. The folder's number; 0 when none is
// found (or the name is empty); -1 when the search statement failed.
qint64 CheckForFolder(FolderContext& cx, const QString& Folder_Name, const QString& ParseCharacters,
                      qint64 Parent_Folder, int ThisRule, const QString& Folder_Library, const QString& Item_Library);
// The folder of one level of a rule's path: an existing one that CheckForFolder finds, else a new
// folder made in `Item_Library`, profiled, secured, filed into `Parent` and stamped for the rule.
// Its number, 0 when there is none; FolderExistedFlag tells whether it was found, not made.
qint64 CreateFolder(FolderContext& cx, const QString& Folder_Name, qint64 Parent, int ThisRule,
                    const QString& Parent_Library, const QString& Item_Library, int Folder_Level);
// Files a document or folder into the parent folder `Parent`, which may lie in another library,
// after the filing checks; then sorts the parent, fills empty profile fields and applies the
// parent's trustees and the rule's security as the rule asks. True when the item is in the
// folder afterwards (filed now or there already).
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
// The "check document library" note: with Display Errors ticked, logs when `CDoc_Library` is not
// the current library, before a DM object is opened in it. Passes over every failure.
void CDoc(FolderContext& cx, const QString& CDoc_Library);
// Puts a folder's items (`Parent` 0: every folder of the library that has items) into name order
// through SortThisFolder, with status texts and timing; the whole library also shows counters and
// stops on request. A folder of `SortItemCount` 1 items is never sorted.
bool SortFolders(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount);
// Sorts one folder: relinks its FOLDER_ITEM rows in name order in its own library, then keeps the
// filing row of each item that lives in another library in step in that library.
bool SortThisFolder(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount);
// Makes sure that an item filed across libraries has its row for that filing in its own
// library, whatever the folder's sort did: a folder holding one item, or more than the sort's
// limit, is never sorted, and the look-up of a subfolder made in another library finds it only
// by that row. Called on the folder's library; a row already there is left as it is. False when
// the row could not be written.
bool RecordRemoteFiling(FolderContext& cx, qint64 Parent, const QString& Folder_Library, qint64 DocNumber);
// Takes the document out of every folder of `Folder_Library` but `Parent` (it does not file it
// there), passing on the first place of each folder it leaves and re-sorting that folder. True
// when the document is in no other folder afterwards.
bool MoveDoc(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
             const QString& Document_Library);
// A folder of Document_Library that a row took back as its own, filed now under `Parent`: its
// filings under every other folder of Folder_Library go, from both libraries' item tables. Takes
// its arguments in MoveDoc's order and makes its checks. True when none is left.
bool LeaveOtherParents(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
                       const QString& Document_Library);
// "Verify document": whether the folder's profile exists in `Folder_Library`, with one retry a
// second later; when it does not, logs whether the library's database is the one that was meant.
// True also when Display Errors is not ticked, which switches the check off.
bool VDoc(FolderContext& cx, const QString& Folder_Library, qint64 DocNumber);

}  // namespace sw
