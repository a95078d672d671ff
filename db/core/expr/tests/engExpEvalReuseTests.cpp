// One tree evaluated over record after record, as a filter's scan does:
// values held in a scratch's nodes give what fresh nodes give, whatever an
// earlier record left in them, and a warm scratch allocates nothing.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "engExpEvalTestSupport.h"
#include "engHeap.h"

namespace {

struct TJobValues {
  std::optional<std::string> Owner;
  std::optional<int32_t> Pages;
  std::optional<int16_t> Copies;
  std::optional<bool> Printed;
};

// Long texts before short ones, NULLs between values, every column at
// times NULL.
const TJobValues Records[] = {
    {"smithson with a long name", 5, 2, true},
    {"sm", 1, std::nullopt, false},
    {std::nullopt, std::nullopt, 7, std::nullopt},
    {"  padded  ", 9, -3, true},
    {"SMITH", -4, 0, false},
    {"", 12, 1, std::nullopt},
    {"brown", 5, 2, true},
};

const char* const Conditions[] = {
    "JobOwner = 'smith'",
    "UPPER(JobOwner) LIKE 'SM%'",
    "Pages BETWEEN 3 AND 9",
    "Pages IN (1, 5, NULL)",
    "NOT Printed",
    "Printed IS NULL",
    "NOT (JobOwner > 'm' OR Pages < 4)",
    "JobOwner <> '' AND (Copies = 2 OR Pages = 9)",
    "Pages + Copies * 2 > 10",
    "IF(Printed THEN Pages ELSE -Pages) >= 5",
    "Printed",
    "NOT (Printed AND Pages > 3)",
};

const char* const Values[] = {
    "JobOwner || '-' || CAST(Pages AS CHAR(10))",
    "SUBSTRING(JobOwner FROM 2 FOR 3)",
    "TRIM(BOTH ' ' FROM JobOwner)",
    "IF(Printed THEN Pages ELSE -Pages)",
    "Pages + Copies * 2",
    "-Pages",
    "LOWER(JobOwner)",
};

class ExpEvalReuse : public TExpEvalFixture {
protected:
  TExpScratch scratch;
  TExpEvalContext reusing;

  ExpEvalReuse() {
    reusing = evalContext;
    reusing.Scratch = &scratch;
  }

  void Load(const TJobValues& values) {
    if (values.Owner) record.SetText("JobOwner", *values.Owner);
    else record.SetNull("JobOwner");
    if (values.Pages) record.Set("Pages", *values.Pages);
    else record.SetNull("Pages");
    if (values.Copies) record.Set("Copies", *values.Copies);
    else record.SetNull("Copies");
    if (values.Printed) record.Set("Printed", uint16_t(*values.Printed));
    else record.SetNull("Printed");
  }

  static void ExpectSameValue(const TExpToken& fresh, const TExpToken& reused) {
    ASSERT_EQ(reused.IsNull, fresh.IsNull);
    ASSERT_EQ(reused.DataType, fresh.DataType);
    if (fresh.IsNull) return;
    if (fresh.DataType == dtString) {
      EXPECT_STREQ(reused.AsText(), fresh.AsText());
    } else {
      ASSERT_EQ(reused.DataSize, fresh.DataSize);
      EXPECT_EQ(std::memcmp(reused.Value, fresh.Value, size_t(fresh.DataSize)), 0);
    }
  }
};

TEST_F(ExpEvalReuse, AScratchGivesWhatFreshNodesGiveOnEveryRecord) {
  for (int pass = 0; pass < 2; ++pass) {
    for (const char* text : Conditions) {
      ParseAndCheck(text);
      for (const TJobValues& values : Records) {
        Load(values);
        const TExpTreePtr fresh(EvaluateExpression(evalContext, *tree));
        const bool holds = !fresh->IsNull && fresh->AsBoolean();
        EXPECT_EQ(EvaluateCondition(reusing, *tree), holds) << text << " on " << values.Owner.value_or("NULL");
        EXPECT_EQ(EvaluateCondition(evalContext, *tree), holds) << text;
        ExpectSameValue(*fresh, *EvaluateValue(reusing, *tree));
      }
    }
    for (const char* text : Values) {
      ParseAndCheck(text);
      for (const TJobValues& values : Records) {
        SCOPED_TRACE(std::string(text) + " on " + values.Owner.value_or("NULL"));
        Load(values);
        const TExpTreePtr fresh(EvaluateExpression(evalContext, *tree));
        ExpectSameValue(*fresh, *EvaluateValue(reusing, *tree));
      }
    }
  }
}

TEST_F(ExpEvalReuse, AWarmScratchTakesNoMemory) {
  ParseAndCheck("UPPER(JobOwner) LIKE 'SM%' OR (Pages BETWEEN 3 AND 9 AND NOT Printed)");
  Load(Records[0]);
  EvaluateCondition(reusing, *tree);
  const int32_t operations = EngineHeapOperationCount();
  for (const TJobValues& values : Records) {
    Load(values);
    EvaluateCondition(reusing, *tree);
  }
  EXPECT_EQ(EngineHeapOperationCount(), operations);
  // Without a scratch every value takes a node.
  EvaluateCondition(evalContext, *tree);
  EXPECT_GT(EngineHeapOperationCount(), operations);
}

}  // namespace
