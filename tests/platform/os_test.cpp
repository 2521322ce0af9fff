#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <sys/stat.h>

#include "platform/os/os.h"

namespace sw {

namespace {

// Sets environment variables for one test and puts the old values back.
class EnvGuard {
 public:
  void Set(const char* name, const QByteArray& value) {
    Remember(name);
    qputenv(name, value);
  }
  void Unset(const char* name) {
    Remember(name);
    qunsetenv(name);
  }
  ~EnvGuard() {
    for (const auto& [name, value] : saved_) value ? qputenv(name.constData(), *value) : qunsetenv(name.constData());
  }

 private:
  void Remember(const char* name) {
    if (saved_.count(name) == 0)
      saved_[name] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt;
  }
  std::map<QByteArray, std::optional<QByteArray>> saved_;
};

// A script standing in for a program: it writes its arguments, one a line, to `out`.
QString FakeProgram(const QString& dir, const QString& name, const QString& out, int exitCode = 0) {
  QFile f(dir + "/" + name);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\nexit %2\n")
              .arg(out)
              .arg(exitCode)
              .toLocal8Bit());
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return f.fileName();
}

// A named pipe at `path`: a detached program's output read from it arrives whole once the
// program closes it, so the reader waits for the program itself, not for a time.
void MakePipe(const QString& path) { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); }

QString ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

}  // namespace

TEST(Os, ComputerNameCanBeOverridden) {
  EnvGuard env;
  env.Unset("STACKWRIGHT_COMPUTER_NAME");
  EXPECT_FALSE(Os().ComputerName().isEmpty());
  env.Set("STACKWRIGHT_COMPUTER_NAME", "NODE-B");
  EXPECT_EQ(Os().ComputerName(), "NODE-B");
}

TEST(Os, StartProgramPassesArgumentsWithoutAShell) {
  QTemporaryDir dir;
  const QString out = dir.path() + "/args.txt";
  MakePipe(out);
  Os os;
  ASSERT_TRUE(os.StartProgram(FakeProgram(dir.path(), "viewer", out), {"a b", "it's \"q\"", "$(touch nope)"}));
  EXPECT_EQ(ReadAll(out), "a b\nit's \"q\"\n$(touch nope)\n");
  EXPECT_FALSE(os.StartProgram(dir.path() + "/absent", {}));
  // A watched program's failing end is told from the message loop.
  QEventLoop loop;
  int told = 0;
  ASSERT_TRUE(os.StartWatched(FakeProgram(dir.path(), "o", dir.path() + "/o", 3), {}, [&](int s) { told = s, loop.quit(); }));
  loop.exec();
  EXPECT_EQ(told, 3);
}

TEST(Os, TextViewerPrefersVisualThenEditorThenXdgOpenAndATerminalEditorOnlyInATerminal) {
  QTemporaryDir dir;
  const QString visual = FakeProgram(dir.path(), "vis", dir.path() + "/v");
  const QString editor = FakeProgram(dir.path(), "gedit", dir.path() + "/e");
  const QString xdg = FakeProgram(dir.path(), "xdg-open", dir.path() + "/x");
  EnvGuard env;
  env.Set("PATH", dir.path().toLocal8Bit());
  env.Set("VISUAL", "vis --wait");
  env.Set("EDITOR", "gedit");
  Os os;
  ASSERT_TRUE(os.TextViewer());
  EXPECT_EQ(os.TextViewer()->program, visual);
  EXPECT_EQ(os.TextViewer()->arguments, QStringList({"--wait"}));
  env.Set("VISUAL", "missing-program");
  EXPECT_EQ(os.TextViewer()->program, editor);
  // A terminal editor shows nothing started without a terminal: only in a terminal window.
  env.Unset("VISUAL");
  const QString vi = FakeProgram(dir.path(), "vi", dir.path() + "/vi");
  env.Set("EDITOR", "vi");
  EXPECT_EQ(os.TextViewer()->program, xdg);
  const QString terminal = FakeProgram(dir.path(), "x-terminal-emulator", dir.path() + "/t");
  EXPECT_EQ(os.TextViewer()->program, terminal);
  EXPECT_EQ(os.TextViewer()->arguments, QStringList({"-e", vi}));
  env.Unset("EDITOR");
  EXPECT_EQ(os.TextViewer()->program, xdg);
  EXPECT_EQ(os.Browser()->program, xdg);
  QFile::remove(xdg);
  EXPECT_FALSE(os.TextViewer());
  EXPECT_FALSE(os.Browser());
}

TEST(Os, LockWorkStationNeedsAWorkingLoginctl) {
  QTemporaryDir dir;
  EnvGuard env;
  env.Set("PATH", dir.path().toLocal8Bit());
  Os os;
  EXPECT_FALSE(os.LockWorkStation());
  const QString out = dir.path() + "/lock.txt";
  FakeProgram(dir.path(), "loginctl", out);
  EXPECT_TRUE(os.LockWorkStation());
  EXPECT_EQ(ReadAll(out), "lock-session\n");  // it waits for loginctl to end
  QFile::remove(dir.path() + "/loginctl");
  FakeProgram(dir.path(), "loginctl", out, 1);
  EXPECT_FALSE(os.LockWorkStation());
}

TEST(Os, RemoveFileReportsTheSystemError) {
  QTemporaryDir dir;
  QFile f(dir.path() + "/f.txt");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  Os os;
  EXPECT_EQ(os.RemoveFile(f.fileName()).number, 0);
  EXPECT_FALSE(f.exists());
  const OsResult again = os.RemoveFile(f.fileName());
  EXPECT_NE(again.number, 0);
  EXPECT_FALSE(again.description.isEmpty());
}

}  // namespace sw
