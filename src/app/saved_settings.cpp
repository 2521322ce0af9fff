// The per-user settings of the main window: read into the option controls at start-up, written
// back by the orderly end.
#include "app/saved_settings.h"

#include <QStringList>
#include <cmath>

#include "app/app_context.h"
#include "app/handlers.h"
#include "core/session.h"
#include "core/text.h"
#include "platform/settings/settings_store.h"
#include "run/run_control.h"

namespace sw {

namespace {

const QString General = QStringLiteral("General");

// A check box value that cannot be given to the control: the start-up error the handler reports,
// naming the setting, its value and what the check box takes, so the user knows what to mend.
[[noreturn]] void InvalidPropertyValue(const QString& key, const QString& stored, const QString& caption) {
  throw DmCallFailure(380, QStringLiteral("Stackwright"),
                      QStringLiteral("Invalid property value: the setting %1 in section %2 holds \"%3\", but the check box "
                                     "\"%4\" takes only 0 (clear), 1 or -1 (ticked) or 2 (greyed)")
                          .arg(key, General, stored, caption));
}

bool ReadCheckBox(Context& cx, const QString& key, const QString& caption, const QString& defaultValue) {
  bool valid = false;
  const QString stored = GetAppSetting(cx, General, key, defaultValue);
  const int value = CheckBoxValue(stored, &valid);
  if (!valid) InvalidPropertyValue(key, stored, caption);
  return value != 0;
}

void SaveGeneral(Context& cx, const QString& key, const QString& value) { SaveAppSetting(cx, General, key, value); }

// Runs one save; a save that fails does not keep the others from being written.
template <class Save>
void Resume(Save&& save) {
  try {
    save();
  } catch (const std::exception&) {
  }
}

void SaveGeneralSection(AppContext& cx) {
  const Ui::TwipsRect place = cx.ui->MainGeometry();
  const RunOptions o = cx.ui->Options();
  Resume([&] { SaveGeneral(cx, QStringLiteral("Screen.Top"), FormatNumber(place.top)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("Screen.Left"), FormatNumber(place.left)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("Loop"), CheckBoxText(o.loop)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("Loop_Delay"), WholeNumberText(o.loopDelay)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("LogMethod"), CheckBoxText(cx.ui->VerboseLogging())); });
  // A log that fell back to the temporary folder keeps the path the user chose.
  const QString& unwritable = cx.window.startup.UnwritableLogFile;
  Resume([&] { SaveGeneral(cx, QStringLiteral("LogFile"), unwritable.isEmpty() ? cx.log.LogFileBase : unwritable); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("DisplayErrors"), CheckBoxText(cx.ui->DisplayErrors())); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("ProcessDescending"), CheckBoxText(o.processDescending)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("ReUseSQL"), CheckBoxText(o.reuseSql)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("CheckAddNewDocs"), CheckBoxText(o.addNewDocs)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("MaxFolders"), WholeNumberText(o.maxFolders)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("UsePauseTime"), CheckBoxText(o.pauseTime)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("PauseStart"), FormatTimeOfDay(o.pauseStart)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("PauseEnd"), FormatTimeOfDay(o.pauseEnd)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("LockWorkstation"), CheckBoxText(o.lockWorkstation)); });
  Resume([&] { SaveGeneral(cx, QStringLiteral("TimeStampLogFile"), FlagText(cx.ui->TimeStampLogFile())); });
}

void SavePauseDays(AppContext& cx) {
  const RunOptions o = cx.ui->Options();
  for (int i = 0; i < o.pauseDayNames.size(); ++i) {
    const bool ticked = size_t(i) < o.pauseDayChecked.size() && o.pauseDayChecked[size_t(i)];
    Resume([&] { SaveAppSetting(cx, QStringLiteral("PauseTimer"), o.pauseDayNames[i], FlagText(ticked)); });
  }
}

void SaveTreeTicks(AppContext& cx) {
  const int count = cx.ui->RulesNodeCount();
  for (int i = 0; i < count; ++i) {
    const RulesTreeNode node = cx.ui->RulesNode(i);
    if (node.parent < 0) {
      Resume([&] { SaveAppSetting(cx, QStringLiteral("Libraries"), node.text, FlagText(node.checked)); });
      continue;
    }
    // A library whose rules were never loaded still carries its placeholder: it is no rule.
    if (node.text == RulesPlaceholder) continue;
    const QString parent = cx.ui->RulesNode(node.parent).text;
    Resume([&] { SaveAppSetting(cx, QStringLiteral("Rules"), RuleStateKey(parent, node.text), FlagText(node.checked)); });
  }
}

}  // namespace

QString GetAppSetting(Context& cx, const QString& section, const QString& key, const QString& defaultValue) {
  return cx.settings->GetSetting(ProductName, section, key, defaultValue);
}

bool SaveAppSetting(Context& cx, const QString& section, const QString& key, const QString& value) {
  return cx.settings->SaveSetting(ProductName, section, key, value);
}

bool ReadsAsTrue(const QString& stored) { return NumericValue(stored) != 0; }

QString CheckBoxText(bool ticked) { return ticked ? QStringLiteral("1") : QStringLiteral("0"); }

int CheckBoxValue(const QString& stored, bool* valid) {
  // Halves go to the even number, as the whole-number conversion of the settings' readers does.
  const double rounded = std::nearbyint(NumericValue(stored));
  // -1 is true as the store writes its flags: a hand-edited file often holds it.
  if (rounded == -1) {
    *valid = true;
    return 1;
  }
  *valid = rounded >= 0 && rounded <= 2;
  return *valid ? int(rounded) : 0;
}

QString WholeNumberText(const QString& text) { return FormatNumber(std::llround(NumericValue(text))); }

QString AbsoluteNumberText(const QString& stored) { return FormatNumber(std::llround(std::fabs(NumericValue(stored)))); }

QString RuleStateKey(const QString& libraryName, const QString& ruleName) {
  return TrimBlanks(libraryName.toUpper()) + QLatin1Char(':') + TrimBlanks(ruleName.toUpper());
}

void LoadAllSettings(AppContext& cx) {
  RunOptions o = cx.ui->Options();
  cx.ui->SetDisplayErrors(ReadCheckBox(cx, QStringLiteral("DisplayErrors"), QStringLiteral("Display Errors"), QStringLiteral("0")));
  o.reuseSql = ReadCheckBox(cx, QStringLiteral("ReUseSQL"), QStringLiteral("Re-use existing SQL statements"), QStringLiteral("0"));
  o.processDescending = ReadCheckBox(cx, QStringLiteral("ProcessDescending"),
                                     QStringLiteral("Process items in descending order"), QStringLiteral("0"));
  cx.ui->SetVerboseLogging(ReadCheckBox(cx, QStringLiteral("LogMethod"), QStringLiteral("Verbose Logging"), QStringLiteral("1")));
  o.loop = ReadCheckBox(cx, QStringLiteral("Loop"), QStringLiteral("Loop Continuously"), QStringLiteral("0"));
  o.loopDelay = AbsoluteNumberText(GetAppSetting(cx, General, QStringLiteral("Loop_Delay"), QStringLiteral("0")));
  o.lockWorkstation = ReadCheckBox(cx, QStringLiteral("LockWorkstation"), QStringLiteral("Lock computer on Go!"), QStringLiteral("0"));
  o.addNewDocs = ReadCheckBox(cx, QStringLiteral("CheckAddNewDocs"), QStringLiteral("Add documents for new folders to queue"),
                              QStringLiteral("1"));
  o.maxFolders = AbsoluteNumberText(GetAppSetting(cx, General, QStringLiteral("MaxFolders"), QStringLiteral("0")));
  o.pauseTime = ReadCheckBox(cx, QStringLiteral("UsePauseTime"), QStringLiteral("Enable Pause Timer"), QStringLiteral("0"));
  o.pauseStart = GetAppSetting(cx, General, QStringLiteral("PauseStart"), QStringLiteral("12:00"));
  o.pauseEnd = GetAppSetting(cx, General, QStringLiteral("PauseEnd"), QStringLiteral("12:00"));
  // Never saved: every start begins without an initial build.
  o.initialize = false;
  cx.ui->SetOptions(o);
  cx.window.startup.SettingsRestored = true;
}

void SaveAllSettings(AppContext& cx) {
  SaveGeneralSection(cx);
  SavePauseDays(cx);
  SaveTreeTicks(cx);
}

}  // namespace sw
