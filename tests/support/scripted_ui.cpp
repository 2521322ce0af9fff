#include "support/scripted_ui.h"

namespace sw {

MsgResult ScriptedUi::MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) {
  shown.push_back({text, icon, buttons, title});
  if (answers.empty()) return confirms && buttons == MsgButtons::YesNoDefaultNo ? MsgResult::Yes : DefaultButton(buttons);
  const MsgResult r = answers.front();
  answers.erase(answers.begin());
  return r;
}

}  // namespace sw
