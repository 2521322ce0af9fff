// The client and matter test-data generator on an emulated library.
#include <gtest/gtest.h>

#include "admin/admin.h"
#include "admin/test_data_generator.h"
#include "admin_session.h"

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
    server.Exec("LAWLIB", "DELETE FROM CLIENT; DELETE FROM MATTER; DELETE FROM INDUSTRY; DELETE FROM PRACTICE;"
                          "INSERT INTO INDUSTRY (SYSTEM_ID) VALUES (501), (502), (503);"
                          "INSERT INTO PRACTICE (SYSTEM_ID) VALUES (601), (602), (603), (604), (605);");
  }
  QString Value(const QString& sql) { return server.Scalar("LAWLIB", sql); }
  int Count(const QString& table) { return Value("SELECT COUNT(*) FROM " + table).toInt(); }
  QString Matter(const QString& name, const QString& column) {
    return Value("SELECT " + column + " FROM MATTER WHERE MATTER_NAME = '" + name + "'");
  }

  test::DmTestServer server;
  test::AdminSession s{server};
};

TEST_F(Generator, HandsOutIdsInTurnAcrossClientsAndStopsAfterTheCurrentMatter) {
  s.ui->inputAnswers << "100";
  s.ui->onPump = [this](int) {
    if (Count("MATTER") == 99 + 3) s.cx.run.StopRequested = true;
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

  ASSERT_EQ(s.ui->shown.size(), 1u);
  EXPECT_EQ(s.ui->shown[0].text, "101 client(s) and 3 matter(s) created starting at 100");
  EXPECT_EQ(s.ui->shown[0].title, admin::DefaultApplicationTitle());
  EXPECT_NE(s.ui->shown[0].title, s.cx.app.AppTitle);
  EXPECT_TRUE(s.ui->captions.contains("Processing client 101 of 1100"));
  EXPECT_FALSE(s.ui->captions.contains("Processing client 102 of 1100"));
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(s.cx.ui->controls.statusColour, 0x0000C0);
  EXPECT_FALSE(s.cx.run.TaskRunning || s.cx.run.StopRequested);
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
  EXPECT_EQ(s.Texts(), QStringList({"7 client(s) created starting at 7"}));
}

TEST_F(Generator, NoRowIsWrittenWithoutAKeyPracticesOrStartingNumber) {
  s.ui->inputAnswers << "1";
  server.Components()->Server()->hooks.nextKeyFails = true;
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(Count("CLIENT") + Count("MATTER"), 0) << "no matter points at a client that was not written";

  server.Components()->Server()->hooks.nextKeyFails = false;
  server.Exec("LAWLIB", "DELETE FROM PRACTICE");
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(s.Texts(), QStringList({"Error: No PRACTICE ids found in library LAWLIB - cannot continue"}));
  EXPECT_EQ(s.ui->inputPrompts.size(), 1u) << "no starting number is asked for";
  EXPECT_EQ(Count("CLIENT"), 0);

  // A cancelled box writes nothing either, and a run the generator interrupted keeps its flag.
  server.Exec("LAWLIB", "INSERT INTO PRACTICE (SYSTEM_ID) VALUES (601)");
  s.ui->inputAnswers << "";
  s.cx.run.TaskRunning = true;
  MNSpecialFunctions_Click(s.cx);
  EXPECT_EQ(Count("CLIENT") + Count("MATTER"), 0);
  EXPECT_EQ(s.ui->shown.size(), 1u);
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
  EXPECT_TRUE(s.cx.run.TaskRunning);
}

}  // namespace
}  // namespace sw
