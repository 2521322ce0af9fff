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
#include "run/run.h"
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

// The values the orderly end saves, gathered so that the file is written once: each write
// replaces it and waits for the disk.
using Gathered = QList<SettingValue>;

// Gathers one value; one whose reading fails does not keep the others from being saved.
template <class Value>
void Gather(Gathered& out, const QString& section, const QString& key, Value&& value) {
  try {
    out.append({section, key, value()});
  } catch (const std::exception&) {
  }
}

void GatherGeneralSection(AppContext& cx, Gathered& out) {
  const Ui::TwipsRect place = cx.ui->MainGeometry();
  const RunOptions o = cx.ui->Options();
  Gather(out, General, QStringLiteral("Screen.Top"), [&] { return FormatNumber(place.top); });
  Gather(out, General, QStringLiteral("Screen.Left"), [&] { return FormatNumber(place.left); });
  Gather(out, General, QStringLiteral("Loop"), [&] { return CheckBoxText(o.loop); });
  Gather(out, General, QStringLiteral("Loop_Delay"), [&] { return WholeNumberText(o.loopDelay); });
  Gather(out, General, QStringLiteral("LogMethod"), [&] { return CheckBoxText(cx.ui->VerboseLogging()); });
  // A log that fell back to the temporary folder keeps the path the user chose.
  const QString& unwritable = cx.log.UnwritableLogFileBase;
  Gather(out, General, QStringLiteral("LogFile"), [&] { return unwritable.isEmpty() ? cx.log.LogFileBase : unwritable; });
  Gather(out, General, QStringLiteral("DisplayErrors"), [&] { return CheckBoxText(cx.ui->DisplayErrors()); });
  Gather(out, General, QStringLiteral("ProcessDescending"), [&] { return CheckBoxText(o.processDescending); });
  Gather(out, General, QStringLiteral("ReUseSQL"), [&] { return CheckBoxText(o.reuseSql); });
  Gather(out, General, QStringLiteral("CheckAddNewDocs"), [&] { return CheckBoxText(o.addNewDocs); });
  Gather(out, General, QStringLiteral("MaxFolders"), [&] { return WholeNumberText(o.maxFolders); });
  Gather(out, General, QStringLiteral("UsePauseTime"), [&] { return CheckBoxText(o.pauseTime); });
  Gather(out, General, QStringLiteral("PauseStart"), [&] { return FormatTimeOfDay(o.pauseStart); });
  Gather(out, General, QStringLiteral("PauseEnd"), [&] { return FormatTimeOfDay(o.pauseEnd); });
  Gather(out, General, QStringLiteral("LockWorkstation"), [&] { return CheckBoxText(o.lockWorkstation); });
  Gather(out, General, QStringLiteral("TimeStampLogFile"), [&] { return FlagText(cx.ui->TimeStampLogFile()); });
}

void GatherPauseDays(AppContext& cx, Gathered& out) {
  const RunOptions o = cx.ui->Options();
  for (int i = 0; i < o.pauseDayNames.size(); ++i) {
    const bool ticked = size_t(i) < o.pauseDayChecked.size() && o.pauseDayChecked[size_t(i)];
    Gather(out, QStringLiteral("PauseTimer"), o.pauseDayNames[i], [&] { return FlagText(ticked); });
  }
}

void GatherTreeTicks(AppContext& cx, Gathered& out) {
  const int count = cx.ui->RulesNodeCount();
  for (int i = 0; i < count; ++i) {
    const RulesTreeNode node = cx.ui->RulesNode(i);
    if (node.parent < 0) {
      Gather(out, QStringLiteral("Libraries"), node.text, [&] { return FlagText(node.checked); });
      if (node.checked) ForgetUntickAfterFailure(cx, node.text, QString());
      continue;
    }
    // A library whose rules were never loaded still carries its placeholder: it is no rule.
    if (node.text == RulesPlaceholder) continue;
    const QString parent = cx.ui->RulesNode(node.parent).text;
    if (node.checked) ForgetUntickAfterFailure(cx, parent, node.text);
    Gather(out, QStringLiteral("Rules"), RuleStateKey(parent, node.text), [&] { return FlagText(node.checked); });
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
  Gathered values;
  GatherGeneralSection(cx, values);
  GatherPauseDays(cx, values);
  GatherTreeTicks(cx, values);
  cx.settings->SaveSettings(ProductName, values);
}

}  // namespace sw
