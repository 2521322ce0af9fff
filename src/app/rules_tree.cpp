// The rules tree: loading a library's rules on the first expansion of its node, F5 on a rule
// node, inverting every tick, and the library menu with its pop-up on the library label.
#include "admin/admin.h"
#include "app/app_context.h"
#include "app/handlers.h"
#include "app/saved_settings.h"
#include "core/library.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/text.h"
#include "folders/filing_checks.h"
#include "run/run.h"
#include "run/run_control.h"

namespace sw {

namespace {

const QString Supervisors = QStringLiteral("DOCS_SUPERVISORS");
constexpr int KeyF5 = 116;
constexpr int RightButton = 2;

template <class T, class Call>
T OrFallback(Call&& call, T fallback) {
  try {
    return call();
  } catch (const std::exception&) {
    return fallback;
  }
}

QString CurrentLibraryName(AppContext& cx) {
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  return library ? OrFallback<QString>([&] { return library->Name(); }, QString()) : QString();
}

bool PropertyGranted(const dm::DmLibraryPropertiesPtr& properties, const QString& name) {
  if (!properties) return false;
  const dm::DmLibraryPropertyPtr property = properties->Item(name);
  return property && filing::RightGranted(property->Value());
}

// DOCS_SUPERVISORS (exact spelling) passes without the properties being read; everyone else
// needs both folder rights, and a right that cannot be read is not granted.
bool MayManageFolders(AppContext& cx) {
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  if (!library) return false;
  if (OrFallback<QString>([&] { return library->PrimaryGroup(); }, QString()) == Supervisors) return true;
  return OrFallback<bool>(
      [&] {
        const dm::DmLibraryPropertiesPtr properties = library->Properties();
        return PropertyGranted(properties, QStringLiteral("User.ManageRootFolders")) &&
               PropertyGranted(properties, QStringLiteral("User.CreateFolder"));
      },
      false);
}

void RefuseFolderRights(AppContext& cx, int node) {
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  const QString user = library ? OrFallback<QString>([&] { return library->UserName(); }, QString()) : QString();
  const QString text = QStringLiteral("Error: ") + user + QStringLiteral(" does not have rights to manage folders in library ") +
                       CurrentLibraryName(cx);
  cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
  UntickAfterFailure(cx, node, QStringLiteral("its user lacks the rights to manage folders"));
}

// Switches to the node's library and checks it. False when its rules are not to be listed.
bool SwitchAndCheck(AppContext& cx, int node, const QString& libraryName) {
  if (!ConnectLibrary(cx, libraryName)) return false;
  if (!cx.library.SettingsTableExists) {
    LogMessage(cx, QStringLiteral("Warning: Tarn_Settings table not found in library ") + CurrentLibraryName(cx));
    LogMessage(cx, HyphenLine);
    UntickAfterFailure(cx, node, QStringLiteral("its TARN_SETTINGS table is missing"));
    return false;
  }
  if (MayManageFolders(cx)) return true;
  RefuseFolderRights(cx, node);
  return false;
}

bool HiddenRule(AppContext& cx, int rule) {
  const RuleRecords& table = cx.rules.RuleTable;
  return table(field::RuleName, rule).toUpper().contains(QStringLiteral("*DELETED*")) ||
         table(field::RULE_PURPOSE, rule).toUpper().contains(QStringLiteral("MAINTENANCE"));
}

void AddRuleNodes(AppContext& cx, int node, const QString& nodeText) {
  const int count = cx.rules.RuleCount();
  if (count == 0) {
    LogMessage(cx, QStringLiteral("No rules found in library ") + CurrentLibraryName(cx));
    LogMessage(cx, HyphenLine);
    return;
  }
  SetStatus(cx, QStringLiteral("Setting ") + FormatNumber(count) + QStringLiteral(" rule(s) for Node ") + nodeText);
  LogMessage(cx, HyphenLine);
  const RuleRecords& table = cx.rules.RuleTable;
  for (int rule = 1; rule <= count; ++rule) {
    if (HiddenRule(cx, rule)) continue;
    const QString name = table(field::RuleName, rule);
    const QString key = RuleStateKey(table(field::RuleLibrary, rule), name);
    const bool ticked = ReadsAsTrue(GetAppSetting(cx, QStringLiteral("Rules"), key, QStringLiteral("-1")));
    cx.ui->AddRulesNode(node, name, QString(), ticked);
  }
}

// True when the node is a library node whose only child is still the placeholder.
bool Unloaded(AppContext& cx, int node) {
  if (node < 0 || node >= cx.ui->RulesNodeCount()) return false;
  if (cx.ui->RulesNode(node).parent >= 0) return false;
  const std::vector<int> children = cx.ui->RulesNodeChildren(node);
  return !children.empty() && cx.ui->RulesNode(children.front()).text == RulesPlaceholder;
}

// The row of the saved-SQL cache for a rule node, added (library and rule only) when missing.
int EditorRow(AppContext& cx, const QString& libraryText, const QString& ruleText) {
  RuleState& rules = cx.rules;
  rules.RuleSqlIndex = QStringLiteral("0");
  int row = rules.RuleSqlCache.Find(libraryText, ruleText);
  if (row == 0) row = rules.RuleSqlCache.Add(libraryText, ruleText);
  rules.RuleSqlIndex = FormatNumber(row);
  return row;
}

}  // namespace

void TVRules_Expand(AppContext& cx, int libraryNode) {
  if (!Unloaded(cx, libraryNode)) return;
  // The placeholder goes first, so a nested expansion of the same node finds nothing to do.
  cx.ui->RemoveRulesNode(cx.ui->RulesNodeChildren(libraryNode).front());
  const QString nodeText = cx.ui->RulesNode(libraryNode).text;
  // Raises, before anything is shown, when no library is current.
  const bool sameLibrary = nodeText == CurrentLibraryName(cx);
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true,
                                         .status = true,
                                         .statusWindow = StatusCaptionWindow(cx),
                                         .pointer = PointerBack::Default});
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  try {
    if (sameLibrary || SwitchAndCheck(cx, libraryNode, nodeText)) AddRuleNodes(cx, libraryNode, nodeText);
  } catch (const std::exception&) {
    // The guard's switch back runs whatever failed in the load.
  }
}

void TVRules_KeyDown(AppContext& cx, int keyCode, int shift) {
  (void)shift;  // Shift+F5 and Ctrl+F5 act as F5 does
  if (keyCode != KeyF5 || !cx.ui->ToolsEnabled()) return;
  const int selected = cx.ui->SelectedRulesNode();
  if (selected < 0 || selected >= cx.ui->RulesNodeCount()) return;
  const RulesTreeNode node = cx.ui->RulesNode(selected);
  if (node.parent < 0) return;
  const QString libraryText = cx.ui->RulesNode(node.parent).text;
  const int row = EditorRow(cx, libraryText, node.text);
  const RuleSqlTable& cache = cx.rules.RuleSqlCache;
  cx.ShowRuleSqlEditor(cache(row, sqlcol::Library), cache(row, sqlcol::RuleName));
}

void MNToggleLibs_Click(AppContext& cx) {
  const int count = cx.ui->RulesNodeCount();
  for (int i = 0; i < count; ++i) cx.ui->SetRulesNodeChecked(i, !cx.ui->RulesNode(i).checked);
}

void MNLibList_Click(AppContext& cx, int index) {
  const QStringList captions = cx.ui->LibraryMenu();
  if (index < 0 || index >= captions.size()) return;
  const QString caption = captions[index];
  if (caption == CurrentLibraryName(cx)) return;
  // The switch itself stays: only the screen is put back.
  const ScreenGuard back(cx, ScreenParts{.library = false,
                                         .status = true,
                                         .statusWindow = StatusCaptionWindow(cx),
                                         .pointer = PointerBack::Default,
                                         .pump = true});
  SetStatusCaption(cx, QStringLiteral("Switching to library ") + caption);
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  try {
    ConnectLibrary(cx, caption);
  } catch (const std::exception&) {
  }
}

void LabelLibraryName_MouseUp(AppContext& cx, int button, int shift, int x, int y) {
  (void)shift;
  (void)x;
  (void)y;
  // A task that works in the current library must not have it switched under it; a run asked to
  // stop still completes the row in hand.
  const bool taskAtWork = cx.run.TaskRunning || cx.run.StopRequested;
  if (button != RightButton || !cx.ui->ToolsEnabled() || taskAtWork) return;
  const int picked = cx.ui->PopUpLibraryMenu();
  if (picked >= 0) MNLibList_Click(cx, picked);
}

}  // namespace sw
