#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "core/files.h"
#include "platform/os/os.h"
#include "support/test_context.h"

namespace sw {

namespace {

// Records what would be started, with the pointer and the main status label at that moment.
class FakeOs : public Os {
 public:
  explicit FakeOs(Ui& ui) : ui_(ui) {}
  bool StartProgram(const QString& program, const QStringList& arguments) override {
    const QString pointer = ui_.MousePointer() == Pointer::Hourglass ? "hourglass" : "default";
    started << (QStringList{program, pointer, ui_.StatusLabel(StatusWindow::Main)} + arguments);
    return startResult;
  }
  bool startResult = true;
  bool StartWatched(const QString& program, const QStringList& arguments, std::function<void(int)> failed) override {
    watchedFailed = std::move(failed);
    return StartProgram(program, arguments);
  }
  std::function<void(int)> watchedFailed;
  std::optional<ProgramCommand> TextViewer() const override { return textViewer; }
  std::optional<ProgramCommand> Browser() const override { return browser; }
  OsResult RemoveFile(const QString& path) override {
    if (removeResult.number == 0 && reallyRemove) QFile::remove(path);
    return removeResult;
  }
  QList<QStringList> started;
  std::optional<ProgramCommand> textViewer = ProgramCommand{"/bin/editor", {"-n"}};
  std::optional<ProgramCommand> browser = ProgramCommand{"/bin/xdg-open", {}};
  OsResult removeResult;
  bool reallyRemove = true;

 private:
  Ui& ui_;
};

struct FilesTest : ::testing::Test {
  FilesTest() {
    auto owned = std::make_unique<FakeOs>(*cx.ui);
    os = owned.get();
    cx.os = std::move(owned);
    cx.ui->controls.mainStatus = "Ready";
  }
  QString MakeFile(const QString& name) {
    QFile f(cx.dir.path() + "/" + name);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    return f.fileName();
  }
  void ExpectRestored() {
    EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
    EXPECT_EQ(cx.ui->controls.pointer, Pointer::Default);
  }
  test::TestContext<> cx;
  FakeOs* os = nullptr;
};

}  // namespace

TEST_F(FilesTest, ViewerGetsThePathAsOneArgument) {
  const QString text = MakeFile("it's a \"log\" file.html");
  const QString page = MakeFile("report one.HTM");
  ViewFile(cx, text);
  ViewFile(cx, page);
  ASSERT_EQ(os->started.size(), 2);
  EXPECT_EQ(os->started[0],
            QStringList({"/bin/editor", "hourglass", "Viewing File " + text + " using Notepad", "-n", text}));
  EXPECT_EQ(os->started[1],
            QStringList({"/bin/xdg-open", "hourglass", "Viewing File " + page + " using /bin/xdg-open", page}));
  ExpectRestored();
}

TEST_F(FilesTest, MissingViewers) {
  os->browser.reset();
  os->textViewer.reset();
  const QString page = MakeFile("a.htm");
  const QString text = MakeFile("a.txt");
  ViewFile(cx, page);
  ViewFile(cx, text);
  EXPECT_TRUE(os->started.empty());
  ASSERT_EQ(cx.scripted->shown.size(), 2u);
  EXPECT_EQ(cx.scripted->shown[0].text, "Unable to locate your Internet Explorer program");
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(cx.scripted->shown[0].title, cx.app.AppTitle);
  EXPECT_EQ(cx.scripted->shown[1].text, "Unable to locate a program to view " + text +
                                            " - set VISUAL or EDITOR to a graphical editor, or install xdg-open");
  // The status line says so too, instead of claiming Notepad or going back to what it showed.
  EXPECT_EQ(cx.ui->controls.mainStatus, cx.scripted->shown[1].text);
  EXPECT_EQ(cx.ui->controls.pointer, Pointer::Default);
}

TEST_F(FilesTest, AViewerThatDoesNotStartIsSaid) {
  os->startResult = false;
  const QString text = MakeFile("a.txt");
  ViewFile(cx, text);
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, "Unable to start /bin/editor to view " + text);
  EXPECT_EQ(cx.ui->controls.mainStatus, cx.scripted->shown[0].text);
  // The desktop's opener starts; only its end says that nothing could show the file.
  os->startResult = true;
  os->textViewer = ProgramCommand{"/bin/xdg-open", {}, true};
  ViewFile(cx, text);
  ASSERT_TRUE(os->watchedFailed);
  os->watchedFailed(3);
  EXPECT_EQ(cx.ui->controls.mainStatus, "Unable to view " + text + " - /bin/xdg-open ended with status 3 without showing it");
}

TEST_F(FilesTest, MissingFileShowsNothing) {
  ViewFile(cx, cx.dir.path() + "/absent.txt");
  PurgeFile(cx, cx.dir.path() + "/absent.txt");
  PurgeFile(cx, "");
  EXPECT_TRUE(os->started.empty());
  EXPECT_TRUE(cx.scripted->shown.empty());
  ExpectRestored();
}

TEST_F(FilesTest, PurgeAsksFirst) {
  const QString path = MakeFile("old.log");
  cx.scripted->Answer(MsgResult::No);
  PurgeFile(cx, path);
  EXPECT_TRUE(QFileInfo::exists(path));
  PurgeFile(cx, path);  // the default answer, as Enter gives it, is No
  ASSERT_EQ(cx.scripted->shown.size(), 2u);
  EXPECT_EQ(cx.scripted->shown[1].text, "Are you sure you want to purge the file " + path + "?");
  EXPECT_EQ(cx.scripted->shown[1].buttons, MsgButtons::YesNoDefaultNo);
  EXPECT_TRUE(QFileInfo::exists(path));
  cx.scripted->Answer(MsgResult::Yes);
  PurgeFile(cx, path);
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(FilesTest, PurgeThatLeavesTheFileWarnsAndAFailureIsOnlyReported) {
  const QString path = MakeFile("old.log");
  cx.scripted->confirms = true;
  os->reallyRemove = false;
  PurgeFile(cx, path);
  ASSERT_EQ(cx.scripted->shown.size(), 2u);
  EXPECT_EQ(cx.scripted->shown[1].text, "File " + path + " has NOT been removed.");

  os->removeResult = {13, "Permission denied"};
  PurgeFile(cx, path);
  EXPECT_EQ(cx.scripted->shown.size(), 3u);  // the question only
  EXPECT_TRUE(cx.LogText().contains("#13 was generated by PurgeFile\r\nPermission denied\r\n"));
}

}  // namespace sw
