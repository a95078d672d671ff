#include <gtest/gtest.h>

#include "engExpEvalCondition.h"
#include "engExpEvalTestSupport.h"

namespace {

class ExpEvalCondition : public TExpEvalFixture {
protected:
  TExpTreePtr copy;

  TExpToken* Copy(const std::string& text, bool exactMatch = false, bool caseInsensitive = false) {
    ParseAndCheck(text);
    copy.reset(ConvertConditionForTable(evalContext, TExpTreePtr(CloneTokenTree(tree.get())), exactMatch, caseInsensitive));
    return copy.get();
  }
  bool CopyHolds() { return TExpTreePtr(EvaluateExpression(evalContext, *copy))->AsBoolean(); }
};

TEST_F(ExpEvalCondition, StringComparisonsWithOptions) {
  record.SetText("JobOwner", "SMITHERS");
  TExpToken* node = Copy("JobOwner = 'smith*'", false, true);
  EXPECT_EQ(node->Kind, nkStringCompare);
  EXPECT_EQ(node->CompareLength, 5);
  EXPECT_TRUE(node->CaseInsensitive);
  EXPECT_STREQ(node->Second->AsText(), "smith");
  EXPECT_TRUE(CopyHolds());
  EXPECT_FALSE((Copy("JobOwner <> 'smith*'", false, true), CopyHolds()));
  EXPECT_FALSE((Copy("JobOwner = 'smith'", false, true), CopyHolds()));
  EXPECT_FALSE((Copy("JobOwner = 'smith*'"), CopyHolds()));
  EXPECT_TRUE((Copy("JobOwner = 'SMITH*'"), CopyHolds()));
  record.SetText("JobOwner", "SMITH");
  EXPECT_TRUE((Copy("JobOwner = 'smith'", false, true), CopyHolds()));

  node = Copy("JobOwner = 'SMITH*'", true, false);  // exact match keeps the "*"
  EXPECT_EQ(node->Kind, nkStringCompare);
  EXPECT_EQ(node->CompareLength, 0);
  EXPECT_STREQ(node->Second->AsText(), "SMITH*");
  EXPECT_FALSE(CopyHolds());
  EXPECT_EQ(Copy("JobOwner = 'SMITH'")->Kind, nkBinary);
  record.SetNull("JobOwner");
  EXPECT_TRUE((Copy("JobOwner <> 'smith*'", false, true), CopyHolds()));
}

TEST_F(ExpEvalCondition, LikePrefixes) {
  TExpToken* node = Copy("JobOwner LIKE 'Smi%'");
  EXPECT_EQ(node->Kind, nkStringCompare);
  EXPECT_EQ(node->Code, opEqual);
  EXPECT_EQ(node->CompareLength, 3);
  EXPECT_FALSE(node->CaseInsensitive);
  EXPECT_EQ(Copy("JobOwner NOT LIKE 'Smi%'")->Code, opNotEqual);
  for (const char* text : {"JobOwner LIKE 'S_i%'", "JobOwner LIKE '%'", "JobOwner LIKE 'S%h%'", "JobOwner LIKE 'Smith'"})
    EXPECT_EQ(Copy(text)->Kind, nkPredicate) << text;

  record.SetText("JobOwner", "Smith");
  EXPECT_TRUE((Copy("JobOwner LIKE 'Smi%'"), CopyHolds()));
  EXPECT_FALSE((Copy("JobOwner LIKE 'smi%'"), CopyHolds()));
  EXPECT_FALSE((Copy("JobOwner LIKE 'Smithers%'"), CopyHolds()));
  record.SetNull("JobOwner");
  EXPECT_FALSE((Copy("JobOwner LIKE 'Smi%'"), CopyHolds()));
  EXPECT_TRUE((Copy("JobOwner NOT LIKE 'Smi%'"), CopyHolds()));
}

TEST_F(ExpEvalCondition, ConstantsTakeTheTestedType) {
  TExpToken* node = Copy("Copies = -5 AND Amount > 3 AND Ratio < 2");
  const TExpToken* copies = node->First->First;
  EXPECT_EQ(copies->Second->Kind, nkConstant);
  EXPECT_EQ(copies->Second->DataType, dtSmallInt);
  EXPECT_EQ(copies->Second->AsSmallInt(), -5);
  const TExpToken* amount = node->First->Second;
  EXPECT_EQ(amount->Second->DataType, dtBcd);
  EXPECT_EQ(amount->Second->AsBcd(), 3002);
  EXPECT_DOUBLE_EQ(node->Second->Second->AsFloat(), 2.0);

  // A value the column's type cannot hold keeps its own, so that 2.5
  // never matches a page count of 2.
  node = Copy("Pages IN (1, 2.5, NULL)");
  EXPECT_EQ(node->Second->DataType, dtInteger);
  EXPECT_EQ(node->Second->Next->DataType, dtFloat);
  EXPECT_DOUBLE_EQ(node->Second->Next->AsFloat(), 2.5);
  EXPECT_TRUE(node->Second->Next->Next->IsNull);
  TClockFunction clock = SetClock([] { return EncodeDateTime(2004, 1, 31, 10, 0, 0, 0); });
  node = Copy("Stamp >= CURRENT_DATE AND JobDate = CURRENT_TIMESTAMP");
  SetClock(clock);
  EXPECT_EQ(node->First->Second->DataType, dtTimeStamp);
  EXPECT_DOUBLE_EQ(node->First->Second->AsFloat(), DayOf(2004, 1, 31) * 86400000.0);
  // Ten o'clock is no date: the moment stays whole.
  EXPECT_EQ(node->Second->Second->DataType, dtTimeStamp);
  clock = SetClock([] { return EncodeDateTime(2004, 1, 31, 0, 0, 0, 0); });
  node = Copy("JobDate = CURRENT_TIMESTAMP");
  SetClock(clock);
  EXPECT_EQ(node->Second->DataType, dtDate);
  EXPECT_EQ(node->Second->AsInteger(), DayOf(2004, 1, 31));
  node = Copy("Copies = 1E20");
  EXPECT_EQ(node->Second->DataType, dtFloat);
}

TEST_F(ExpEvalCondition, PruneRemovesComparisonsWithNull) {
  TExpToken* node = Copy("Pages = 1 AND (Copies = 2 OR Flags <> 3) AND NOT (Ratio = 4)");
  // The columns of another table become NULL constants.
  auto nullify = [](TExpToken* column) {
    column->Kind = nkConstant;
    column->SetNull();
  };
  nullify(node->First->Second->First->First);   // Copies
  nullify(node->Second->First->First);          // Ratio
  EXPECT_FALSE(PruneCondition(node));
  EXPECT_EQ(Render(node), "((Pages = 1) AND (Flags < > 3))");
  EXPECT_EQ(node->Second->Parent, node);
  EXPECT_EQ(node->First->First->Parent, node->First);

  node = Copy("Copies = 2 OR NOT (Flags = 3)");
  nullify(node->First->First);
  nullify(node->Second->First->First);
  EXPECT_TRUE(PruneCondition(node));

  node = Copy("IF(Pages > 1 THEN (Copies = 1) ELSE (Flags = 2))")->First;  // under "= TRUE"
  nullify(node->Second->First);
  EXPECT_FALSE(PruneCondition(node));
  EXPECT_EQ(Render(node), "(Flags = 2)");
}

}  // namespace
