#pragma once
// The administration tools, as the main window's menus and the rules tree open them.
#include <QString>

class QWidget;

namespace sw {

class RunContext;

// The rule SQL editor for one rule of the current library (F5 on a rule node).
void OpenRuleSqlEditor(RunContext& cx, QWidget* parent, const QString& libraryName, const QString& ruleName);
// "Display Tarn_Stackwright": the processed-rows window.
void MNDisplayTarnAuto_Click(RunContext& cx, QWidget* parent);
// "Set rule to current SIDs...": index of the item in the current-rules menu.
void MNCurrentRules_Click(RunContext& cx, int index);
// "Reset rule to initial SIDs...".
void MNInitialRules_Click(RunContext& cx, int index);
// "Clear Running Nodes".
void MNClearRunningNodes_Click(RunContext& cx);
// "Display Current DM Settings": the DM local-settings viewer.
void MNTarnOptions_Click(RunContext& cx, QWidget* parent);
// "Special Functions": the client and matter test-data generator.
void MNSpecialFunctions_Click(RunContext& cx);

}  // namespace sw
