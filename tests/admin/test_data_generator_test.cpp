// The client and matter test-data generator on an emulated library.
#include <gtest/gtest.h>

#include "admin/admin.h"
#include "admin/test_data_generator.h"
#include "admin_session.h"
#include "core/library.h"

namespace sw {
namespace {

TEST(PaddedNumber, PadsToTheDigitsAndKeepsLongerNumbers) {
  EXPECT_EQ(admin::PaddedNumber(1, 4), "0001");
  EXPECT_EQ(admin::PaddedNumber(10500, 4), "10500");
  EXPECT_EQ(admin::PaddedNumber(99, 3), "099");
  EXPECT_EQ(admin::PaddedNumber(-5, 4), "-0005");
}

class Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(s.started);
    s.ui->confirms = true;
    for (const QString library : {"LAWLIB", "ORALIB"})
      server.Exec(library, "DELETE FROM CLIENT; DELETE FROM MATTER; DELETE FROM INDUSTRY; DELETE FROM PRACTICE;"
                           "INSERT INTO INDUSTRY (SYSTEM_ID) VALUES (501), (502), (503);"
                           "INSERT INTO PRACTICE (SYSTEM_ID) VALUES (601), (602), (603), (604), (605);");
  }
  QString Value(const QString& sql, const QString& library = "LAWLIB") { return server.Scalar(library, sql); }
  int Count(const QString& table, const QString& library = "LAWLIB") {
    return Value("SELECT COUNT(*) FROM " + table, library).toInt();
  }
  // What the user is offered while the generator works: Go, Exit and the other tools.
  QString Controls() const {
    const UiControls& c = s.cx.ui->controls;
    return QString("go %1 exit %2 tools %3").arg(c.goEnabled).arg(c.exitEnabled).arg(c.toolsEnabled);
  }
  QString Matter(const QString& name, const QString& column) {
    return Value("SELECT " + column + " FROM MATTER WHERE MATTER_NAME = '" + name + "'");
  }

  test::DmTestServer server;
  test::AdminSession s{server};
};

TEST_F(Generator, HandsOutIdsInTurnAcrossClientsAndStopsAfterTheCurrentMatter) {
  s.ui->inputAnswers << "100";
  QStringList whileWorking;
  s.ui->onPump = [&](int) {
    whileWorking << Controls();
    if (Count("MATTER") != 99 + 3) return;
    // Exit asks for the stop as the main window does: the flags change and Exit is disabled.
    s.cx.run.TaskRunning = false;
    s.cx.run.StopRequested = true;
    s.cx.ui->SetExitEnabled(false);
  };
  MNSpecialFunctions_Click(s.cx);

  ASSERT_EQ(s.ui->inputPrompts.size(), 1u);
  EXPECT_EQ(s.ui->inputPrompts[0].prompt, "Enter the starting client id:");
  EXPECT_EQ(s.ui->inputPrompts[0].defaultText, "0");
  EXPECT_EQ(Value("SELECT group_concat(CLIENT_ID || '/' || CLIENT_NAME || '/' || INDUSTRY_ID) FROM CLIENT"),
            "0100/Client 0100/501,0101/Client 0101/502");
  EXPECT_EQ(Count("MATTER"), 102);
  EXPECT_EQ(Matter("Client 0100 Matter 001", "PRACTICE_ID"), "601");
  EXPECT_EQ(Matter("Client 0100 Matter 006", "PRACTICE_ID"), "601");
  EXPECT_EQ(Matter("Client 0100 Matter 099", "PRACTICE_ID"), "604");
  EXPECT_EQ(Matter("Client 0101 Matter 001", "PRACTICE_ID"), "605") << "the turn goes on across clients";
  EXPECT_EQ(Matter("Client 0101 Matter 002", "CLIENT_ID"), Value("SELECT SYSTEM_ID FROM CLIENT WHERE CLIENT_ID = '0101'"));
  EXPECT_EQ(Matter("Client 0101 Matter 003", "MATTER_ID"), "003");

  // Asked first, naming the library and the rows; told at the end what was really written.
  ASSERT_EQ(s.ui->shown.size(), 2u);
  EXPECT_EQ(s.ui->shown[0].text, "Test data will be written into library LAWLIB: 1001 clients (0100 to 1100) in CLIENT and "
                                 "99099 matters in MATTER. Write them?");
  EXPECT_EQ(s.ui->shown[0].buttons, MsgButtons::YesNoDefaultNo);  // Enter, or an unattended box, writes nothing
  EXPECT_EQ(s.ui->shown[1].text, "2 client(s) and 102 matter(s) created starting at 100");
  EXPECT_EQ(s.ui->shown[1].title, admin::DefaultApplicationTitle());
  EXPECT_NE(s.ui->shown[1].title, s.cx.app.AppTitle);
  EXPECT_TRUE(s.ui->captions.contains("Processing client 101 of 1100"));
  EXPECT_FALSE(s.ui->captions.contains("Processing client 102 of 1100"));
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(s.cx.ui->controls.statusColour, 0x0000C0);
  EXPECT_FALSE(s.cx.run.TaskRunning || s.cx.run.StopRequested);
  ASSERT_FALSE(whileWorking.isEmpty());
  EXPECT_EQ(whileWorking.filter("go 0 exit 1 tools 0").size(), whileWorking.size());
  EXPECT_EQ(Controls(), "go 1 exit 1 tools 1");
}

// On both engines a client whose row could not be written gets no matters.
TEST_F(Generator, AClientThatCannotBeWrittenGetsNoMatters) {
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    SCOPED_TRACE(library.toStdString());
    ASSERT_TRUE(ConnectLibrary(s.cx, library));
    s.FailStatements(library, "'0002', 'Client 0002'");
    s.ui->inputAnswers << "1";
    s.ui->onPump = [&](int) {
      if (Count("MATTER", library) == 99 + 5) s.cx.run.StopRequested = true;
    };
    MNSpecialFunctions_Click(s.cx);
    EXPECT_EQ(Value("SELECT group_concat(CLIENT_ID) FROM CLIENT", library), "0001,0003");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM MATTER WHERE CLIENT_ID NOT IN (SELECT SYSTEM_ID FROM CLIENT)", library), "0");
    EXPECT_TRUE(s.cx.LogText().contains("Client 0002 could not be written - its matters are not created"));
  }
}

TEST_F(Generator, StopSeenAfterAClientLeavesItWithoutMatters) {
  s.ui->inputAnswers << "7";
  server.Components()->Server()->hooks.sqlFault = [this](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.contains("INTO DOCSADM.CLIENT")) s.cx.run.StopRequested = true;
    return std::nullopt;
  };
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(Value("SELECT group_concat(CLIENT_ID) FROM CLIENT"), "0007");
  EXPECT_EQ(Count("MATTER"), 0);
  EXPECT_EQ(s.Texts().mid(1), QStringList({"1 client(s) created starting at 7"}));
}

TEST_F(Generator, NoRowIsWrittenWithoutAKeyPracticesOrStartingNumber) {
  s.ui->inputAnswers << "1" << "1";
  s.ui->Answer(MsgResult::No);
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(Count("CLIENT") + Count("MATTER"), 0) << "the user said no";
  server.Components()->Server()->hooks.nextKeyFails = true;
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(Count("CLIENT") + Count("MATTER"), 0) << "no matter points at a client that was not written";

  server.Components()->Server()->hooks.nextKeyFails = false;
  server.Exec("LAWLIB", "DELETE FROM PRACTICE");
  s.ui->shown.clear();
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(s.Texts(), QStringList({"Error: No PRACTICE ids found in library LAWLIB - cannot continue"}));
  EXPECT_EQ(s.ui->inputPrompts.size(), 2u) << "no starting number is asked for";
  EXPECT_EQ(Count("CLIENT"), 0);

  // A cancelled box writes nothing either, and a run the generator interrupted keeps its flags and
  // controls: one that was asked to stop still stops (and then gives Exit back itself).
  server.Exec("LAWLIB", "INSERT INTO PRACTICE (SYSTEM_ID) VALUES (601)");
  for (const bool stopAsked : {false, true}) {
    s.ui->inputAnswers << "";
    s.cx.run.TaskRunning = !stopAsked;
    s.cx.run.StopRequested = stopAsked;
    s.cx.ui->SetGoEnabled(false);
    s.cx.ui->SetExitEnabled(!stopAsked);
    MNSpecialFunctions_Click(s.cx);
    EXPECT_EQ(Count("CLIENT") + Count("MATTER"), 0);
    EXPECT_EQ(s.ui->shown.size(), 1u);
    EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
    EXPECT_EQ(s.cx.run.TaskRunning, !stopAsked);
    EXPECT_EQ(s.cx.run.StopRequested, stopAsked);
    EXPECT_EQ(Controls(), QString("go 0 exit %1 tools 1").arg(!stopAsked));
  }
}

}  // namespace
}  // namespace sw
