// The DM local-settings viewer: what it shows of the user and the libraries, choosing a library
// and a property, and the library it leaves current when it closes.
#include <QComboBox>
#include <QLabel>

#include "admin/dm_settings_viewer.h"
#include "admin_window_session.h"

namespace sw {
namespace {

using admin::DmSettingsViewer;

class DmSettingsViewerTest : public test::AdminWindowTest {
 protected:
  void Open(const std::function<void(DmSettingsViewer&)>& act) { admin::OpenDmSettingsViewer(cx, nullptr, act); }
  static QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
  }
  static QString Choose(QComboBox* box, const QString& text) {
    box->setCurrentIndex(box->findText(text));
    return box->currentText();
  }
};

TEST_F(DmSettingsViewerTest, LoadingShowsIdentityLibrariesAndTheFirstProperty) {
  const int loads = RuleLoads();
  Open([&](DmSettingsViewer& v) {
    EXPECT_EQ(v.windowTitle(), "eDOCS Local Settings");
    EXPECT_EQ(v.Panel(1), "LAWLIB");
    EXPECT_EQ(v.Panel(2), "ADMIN");
    EXPECT_EQ(v.Panel(3), "DOCS_SUPERVISORS");
    EXPECT_EQ(Items(v.ComboLibList), QStringList({"LAWLIB", "ORALIB"}));
    EXPECT_EQ(v.ComboLibList->currentText(), "LAWLIB");
    ASSERT_GT(v.ComboPropertyItem->count(), 0);
    EXPECT_EQ(v.ComboPropertyItem->currentText(), "User.ManageRootFolders");
    EXPECT_EQ(v.LabelPropertyResult->text(), "-1");
    EXPECT_EQ(v.ReturnLibrary(), "LAWLIB");
  });
  // Opening and closing without a choice switches and reloads nothing.
  EXPECT_EQ(RuleLoads(), loads);
  EXPECT_EQ(Current(), "LAWLIB");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
}

TEST_F(DmSettingsViewerTest, ChoosingALibrarySwitchesUntilTheWindowCloses) {
  server.Exec("ORALIB", "UPDATE DM_PROPERTIES SET VALUE = '0' WHERE NAME = 'User.CreateFolder'");
  server.Exec("ORALIB", "DELETE FROM DM_PROPERTIES WHERE NAME = 'User.FullName'");
  Open([&](DmSettingsViewer& v) {
    const QStringList names = Items(v.ComboPropertyItem);
    ASSERT_EQ(Choose(v.ComboPropertyItem, "User.CreateFolder"), "User.CreateFolder");
    EXPECT_EQ(v.LabelPropertyResult->text(), "-1");
    Choose(v.ComboLibList, "ORALIB");
    EXPECT_EQ(Current(), "ORALIB");
    EXPECT_EQ(v.LabelPropertyResult->text(), "0");
    EXPECT_EQ(Items(v.ComboPropertyItem), names);  // still the names read at loading
    // A name the new library lacks shows nothing.
    Choose(v.ComboPropertyItem, "User.FullName");
    EXPECT_EQ(v.LabelPropertyResult->text(), "");
    Choose(v.ComboPropertyItem, "DOCSParms.LibraryName");
    EXPECT_EQ(v.LabelPropertyResult->text(), "ORALIB");
    v.ButtonExit_Click();
    EXPECT_EQ(Current(), "LAWLIB");
    EXPECT_TRUE(v.ReturnLibrary().isEmpty());
  });
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(DmSettingsViewerTest, ALibraryThatCannotBeSwitchedToIsSaidAndTheValuesStayThoseShown) {
  server.Exec("ORALIB", "UPDATE DM_PROPERTIES SET VALUE = '0' WHERE NAME = 'User.CreateFolder'");
  server.Exec("ORALIB", "DELETE FROM DM_PROPERTIES WHERE NAME = 'DOCSParms.UniqueDocNames'");
  Open([&](DmSettingsViewer& v) {
    Choose(v.ComboPropertyItem, "User.CreateFolder");
    Choose(v.ComboLibList, "ORALIB");
    EXPECT_EQ(Current(), "LAWLIB");
    EXPECT_EQ(v.ComboLibList->currentText(), "LAWLIB");
    EXPECT_EQ(v.LabelPropertyResult->text(), "-1");
    EXPECT_EQ(v.Panel(2), "ADMIN");
    EXPECT_EQ(Shown(), QStringList{"Error: Unable to connect to library ORALIB - the settings shown are those of library LAWLIB"});
  });
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(DmSettingsViewerTest, ClosingByTheTitleBarAlsoReturns) {
  cx.ui->controls.mainStatus = QStringLiteral("Ready");
  Open([&](DmSettingsViewer& v) {
    Choose(v.ComboLibList, "ORALIB");
    // What a failed switch leaves in the status line must not outlive the window.
    cx.ui->controls.mainStatus = QStringLiteral("Error: Library UserName not identified");
    v.show();
    v.close();
    EXPECT_EQ(Current(), "LAWLIB");
  });
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
}

TEST_F(DmSettingsViewerTest, LibraryWithoutPropertiesGivesEmptyListAndValue) {
  server.Exec("LAWLIB", "DELETE FROM DM_PROPERTIES");
  Open([&](DmSettingsViewer& v) {
    EXPECT_EQ(v.ComboPropertyItem->count(), 0);
    EXPECT_EQ(v.LabelPropertyResult->text(), "");
    EXPECT_EQ(v.Panel(2), "ADMIN");
  });
}

TEST_F(DmSettingsViewerTest, WithoutACurrentLibraryNothingIsFilledOrSwitched) {
  cx.session.CurrentLibrary.reset();
  Open([&](DmSettingsViewer& v) {
    EXPECT_EQ(v.ComboLibList->count(), 0);
    EXPECT_TRUE(v.ReturnLibrary().isEmpty());
  });
  EXPECT_EQ(Shown(), QStringList{"Library object not set - cannot continue"});
  EXPECT_FALSE(cx.session.CurrentLibrary);
}

}  // namespace
}  // namespace sw
