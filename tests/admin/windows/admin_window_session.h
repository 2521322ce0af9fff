#pragma once
// The administration windows' tests: a run context logged on to an emulated DM server with
// LAWLIB current through the real library switch (so the rules are loaded), and small readers
// of what the windows left in the libraries and the message boxes.
#include <gtest/gtest.h>

#include <QString>

#include "run/run_control_session.h"

namespace sw::test {

class AdminWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartRunSession(cx, server, clock)); }

  QString Current() const { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString(); }
  // The texts of every message box shown so far.
  QStringList Shown() const {
    QStringList texts;
    for (const ShownMessage& m : cx.scripted->shown) texts << m.text;
    return texts;
  }
  // How often the rules of some library were read since the session started.
  int RuleLoads() { return cx.LogText().count(QStringLiteral("Retrieving any existing rules for library ")); }

  DmTestServer server;
  TestClock clock;
  RunTestContext cx;
};

}  // namespace sw::test
