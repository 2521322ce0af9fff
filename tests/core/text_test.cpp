#include <gtest/gtest.h>

#include <cmath>

#include "core/text.h"

namespace sw {

TEST(TextHelpers, StripQuotesDoublesApostrophesAndFlattensLineBreaks) {
  EXPECT_EQ(StripQuotes("O'Brien"), "O''Brien");
  EXPECT_EQ(StripQuotes("x'); DROP TABLE PROFILE; --"), "x''); DROP TABLE PROFILE; --");
  EXPECT_EQ(StripQuotes("one\r\ntwo"), "one  two");
  EXPECT_EQ(StripQuotes("  Smith & Co\r\n"), "Smith & Co");
  EXPECT_EQ(StripQuotes("   "), "");
  EXPECT_EQ(StripQuotes("\tx"), "\tx");  // only blanks are trimmed
}

TEST(TextHelpers, EscapeLikeBracketsTouchesOnlyTheOpeningBracket) {
  EXPECT_EQ(EscapeLikeBrackets("a[[b]"), "a[[][[]b]");
  EXPECT_EQ(EscapeLikeBrackets("50% off_]"), "50% off_]");
  EXPECT_EQ(EscapeLikeBrackets(""), "");
}

TEST(TextHelpers, ExpandSpaceTokensGivesOneBlankPerRun) {
  EXPECT_EQ(ExpandSpaceTokens("SELECT<SPC>*"), "SELECT *");
  EXPECT_EQ(ExpandSpaceTokens("SELECT<SPC><SPC><SPC>*"), "SELECT *");
  EXPECT_EQ(ExpandSpaceTokens("SELECT <SPC>*"), "SELECT *");
  EXPECT_EQ(ExpandSpaceTokens("<SPC>SELECT<SPC>"), "SELECT");
  EXPECT_EQ(ExpandSpaceTokens("a<spc>b"), "a<spc>b");
}

TEST(TextHelpers, StripFieldMarkersJoinsOnlyAnUpperCaseAppsPrefix) {
  EXPECT_EQ(StripFieldMarkers("%CLIENT_ID%"), "CLIENT_ID");
  EXPECT_EQ(StripFieldMarkers("%APPS.APPLICATION%"), "APPSAPPLICATION");
  EXPECT_EQ(StripFieldMarkers("%apps.APPLICATION%"), "apps.APPLICATION");
  EXPECT_EQ(StripFieldMarkers("%PROFILE.APPS.X%"), "PROFILE.APPS.X");
}

TEST(TextHelpers, NumericValueReadsTheLeadingNumber) {
  EXPECT_EQ(NumericValue(""), 0);
  EXPECT_EQ(NumericValue("abc"), 0);
  EXPECT_EQ(NumericValue("-"), 0);
  EXPECT_EQ(NumericValue("  12abc"), 12);
  EXPECT_EQ(NumericValue("-3"), -3);
  EXPECT_DOUBLE_EQ(NumericValue("2.5.7"), 2.5);
  EXPECT_DOUBLE_EQ(NumericValue(".5"), 0.5);
  // Whole numbers are read without the locale, longer ones and fractions with it: both agree.
  EXPECT_EQ(NumericValue("+007 x"), 7);
  EXPECT_TRUE(std::signbit(NumericValue("-0")));
  EXPECT_EQ(NumericValue("999999999999999"), 999999999999999.0);
  EXPECT_EQ(NumericValue("12345678901234567890"), 12345678901234567890.0);
  EXPECT_DOUBLE_EQ(NumericValue("-12.75s"), -12.75);
}

}  // namespace sw
