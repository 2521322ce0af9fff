#pragma once
// The user-interface service as tests drive it: every message box is recorded and answered
// from a queue, input boxes likewise, and the message pump only counts its calls.
#include <QString>
#include <QStringList>
#include <vector>

#include "platform/ui/ui.h"

namespace sw {

// A message box as a test saw it.
struct ShownMessage {
  QString text;
  MsgIcon icon;
  MsgButtons buttons;
  QString title;
};

// Records every message box and answers from a queue (the first button once the queue is empty).
class ScriptedUi : public Ui {
 public:
  MsgResult MessageBox(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) override;
  void PumpMessages() override { ++pumpCount; }
  void Answer(MsgResult r) { answers.push_back(r); }
  // Input boxes: each records its prompt and takes the next queued answer (the default text once
  // the queue is empty).
  QString InputBox(const QString& prompt, const QString& title, const QString& defaultText) override {
    inputPrompts.push_back({prompt, title, defaultText});
    if (inputAnswers.isEmpty()) return defaultText;
    return inputAnswers.takeFirst();
  }
  struct ShownInput {
    QString prompt, title, defaultText;
  };
  std::vector<ShownInput> inputPrompts;
  QStringList inputAnswers;

  std::vector<ShownMessage> shown;
  std::vector<MsgResult> answers;
  // An administrator who confirms: a destructive question with no answer queued is answered Yes,
  // not with its default No.
  bool confirms = false;
  int pumpCount = 0;
};

}  // namespace sw
