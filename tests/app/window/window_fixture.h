#pragma once
// A main window on a fresh context, its widgets reached through the real ui service. Message
// boxes are answered unattended (the tests run offscreen) and recorded here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/app_context.h"
#include "app/app_session.h"
#include "app/window/main_window.h"
#include "app/window/widget_ui.h"
#include "core/library.h"
#include "core/library_state.h"
#include "support/dm_fixture.h"
#include "platform/os/os.h"
#include "support/test_context.h"

namespace sw::test {

// Records the programs it is asked to start instead of starting them.
class RecordingOs : public Os {
 public:
  std::optional<ProgramCommand> TextViewer() const override { return ProgramCommand{"/usr/bin/viewer", {"-r"}}; }
  bool StartProgram(const QString& program, const QStringList& arguments) override {
    started.push_back(QStringList{program} + arguments);
    return true;
  }
  std::vector<QStringList> started;
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    ui = &InstallWidgetUi(cx, window);
    ui->LogSink = [this](const QString& line) { boxes << line; };
    ui->SetVerboseLogging(true);
    auto recording = std::make_unique<RecordingOs>();
    os = recording.get();
    cx.os = std::move(recording);
  }

  // Logs on to the server and makes LAWLIB current through the library switch.
  bool StartSession(DmTestServer& server) { return ConnectTestSession(cx, server, QStringLiteral("LAWLIB")); }

  // Shows the window and gives a widget the focus, so that keys reach it as they would.
  void Focus(QWidget* widget) {
    window.show();
    QApplication::setActiveWindow(&window);
    widget->setFocus();
    QApplication::processEvents();
  }
  // A key as the user types it, delivered to the focused widget.
  void Type(Qt::Key key, const QString& text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
  }

  // The orderly end throws ProgramEnded instead of ending the test program.
  TestContext<EndingAppContext> cx;
  MainWindow window{cx};
  WidgetUi* ui = nullptr;
  RecordingOs* os = nullptr;
  QStringList boxes;
};

}  // namespace sw::test
