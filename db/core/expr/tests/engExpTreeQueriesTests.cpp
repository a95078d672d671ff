#include <gtest/gtest.h>

#include "engExpTestSupport.h"
#include "engExpTreeQueries.h"

namespace {

using ExpTreeQueriesTest = TExpFixture;

TEST_F(ExpTreeQueriesTest, Disjunctions) {
  EXPECT_TRUE(IsDisjunctiveCondition(Parse("a = 1 OR b = 2")));
  EXPECT_FALSE(IsDisjunctiveCondition(Parse("a = 1 AND b = 2")));
  EXPECT_TRUE(IsDisjunctiveCondition(Parse("NOT (a = 1 AND b = 2)")));
  EXPECT_FALSE(IsDisjunctiveCondition(Parse("NOT (a = 1 OR b = 2)")));
  EXPECT_FALSE(IsDisjunctiveCondition(nullptr));
}

TEST_F(ExpTreeQueriesTest, UnderNot) {
  TExpToken* root = ParseAndCheck("NOT (Pages = 1 AND Copies = 2) AND Flags = 3");
  EXPECT_TRUE(IsUnderNot(root->First->First->First->First));  // Pages
  EXPECT_FALSE(IsUnderNot(root->Second->First));             // Flags
  EXPECT_FALSE(IsUnderNot(root->First));
  root = ParseAndCheck("NOT (ABS(Pages) = 1)");
  EXPECT_TRUE(IsUnderNot(root->First->First));
  EXPECT_FALSE(IsUnderNot(root->First->First->First));  // inside a function
}

TEST_F(ExpTreeQueriesTest, ColumnsAndAggregatesBySearchRule) {
  const uint8_t flags = pfExtended | pfAggregates;
  EXPECT_TRUE(ReferencesColumn(Parse("1 + -a")));
  EXPECT_FALSE(ReferencesColumn(Parse("1 + 2 * 3")));
  EXPECT_FALSE(ReferencesColumn(Parse("POS('x' IN 'abc')")));
  EXPECT_FALSE(ReferencesColumn(Parse("SUBSTRING('abc' FROM a)")));
  EXPECT_TRUE(ReferencesColumn(Parse("IF(1 = 1 THEN 2 ELSE a)")));
  EXPECT_FALSE(ReferencesColumn(Parse("1 IN (a, b)")));
  EXPECT_TRUE(ContainsAggregate(Parse("1 + SUM(a)", flags)));
  EXPECT_TRUE(ContainsAggregate(Parse("IF(TRUE THEN 1 ELSE COUNT(a))", flags)));
  EXPECT_FALSE(ContainsAggregate(Parse("ROUND(1.5 TO MAX(a))", flags)));
}

}  // namespace
