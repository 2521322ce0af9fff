#include <gtest/gtest.h>

#include "rules/rule_table.h"

namespace sw {
namespace {

TEST(RuleFieldsTest, EveryFieldWithRowsHasItsOwnKey) {
  int keyed = 0;
  for (int f = 0; f <= field::Last + 1; ++f) {
    const QString key = RuleFieldKey(f);
    if (key.isEmpty()) {
      EXPECT_EQ(RuleFieldForm(f), ValueForm::None) << f;
      continue;
    }
    ++keyed;
    EXPECT_TRUE(key.startsWith("RULE_")) << f;
    EXPECT_EQ(RuleFieldForKey(key), f) << key.toStdString();
  }
  EXPECT_EQ(keyed, 43);  // fields 3..43, 51 and 52
  EXPECT_EQ(RuleFieldForKey("RULE_STACKWRIGHT_SQL_4"), 0);
  EXPECT_EQ(RuleFieldForKey("RULE_TEMPLATE "), 0);
  EXPECT_EQ(RuleFieldForKey("rule_template"), 0);
}

TEST(RuleRecordsTest, ReadsOutsideTheTableAreEmptyAndWritesIgnored) {
  RuleRecords table;
  EXPECT_EQ(table.Count(), 0);
  const int rule = table.AddRule();
  ASSERT_EQ(rule, 1);
  table.Set(field::RULE_FORM, rule, "F");
  table.Set(field::RULE_FORM, 2, "lost");
  table.Set(field::Last + 1, rule, "lost");
  EXPECT_EQ(table(field::RULE_FORM, 1), "F");
  EXPECT_EQ(table(field::RULE_FORM, 2), "");
  EXPECT_EQ(table(field::RULE_FORM, -1), "");
  EXPECT_EQ(table.Count(), 1);
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table(field::RULE_FORM, 1), "");
}

}  // namespace
}  // namespace sw
