// Random and mutated filter texts: each parses and checks, or fails with a
// filter error (or the run-time's conversion error for a malformed number);
// none crashes, hangs or leaks a node.

#include <gtest/gtest.h>

#include <random>

#include "engErrorCodes.h"
#include "engExpTestSupport.h"
#include "engHeap.h"

namespace {

const char* const Seeds[] = {
    "JobOwner = 'O''Brien' AND Pages > 10",
    "JobDate BETWEEN '2004-01-01' AND '2004-12-31' OR JobTime < '12:30'",
    "UPPER(JobOwner) LIKE 'SM%' AND NOT Printed",
    "SUBSTRING(JobOwner FROM 2 FOR 3) NOT IN ('ab', \"cd\", #65)",
    "IF(Printed THEN Pages ELSE -Pages) >= ABS(Ratio)",
    "CAST(Pages AS CHAR(10)) || 'x' = LOWER(JobOwner)",
    "EXTRACT(YEAR FROM Stamp) = 2004 /* year */ OR Copies + Flags * 2 <> 3",
    "TRIM(BOTH ' ' FROM JobOwner) <> '' AND Document IS NOT NULL",
    "REPLACE('a' WITH 'b' IN JobOwner) = 'x' AND POS('x' IN JobOwner) = OCCURS('y' IN JobOwner)",
    "ROUND(Amount TO 2) > 1.5E2 AND Cost / 3 < Amount - 1",
    "J.Pages + [Copies] * (2 - 1) <= 10 AND \"J\".[JobOwner] IS NULL",
    "CAST(Document AS BLOB(1, 1)) = '' OR CAST(Ratio AS DECIMAL(10, 2)) > 0",
    "Stamp - JobDate > 1 AND JobDate + 1 > CURRENT_DATE AND JobTime < CURRENT_TIME",
    "Printed = TRUE OR Printed = FALSE OR Pages = NULL",
};

const char* const Vocabulary[] = {
    "AND", "OR", "NOT", "LIKE", "BETWEEN", "IN", "IS", "NULL", "TRUE", "SELECT", "CAST", "AS", "IF", "THEN",
    "ELSE", "SUBSTRING", "FROM", "FOR", "TRIM", "BOTH", "EXTRACT", "YEAR", "SUM", "COUNT", "ROUND", "TO",
    "DECIMAL", "CHAR", "BLOB", "Pages", "JobOwner", "JobDate", "Printed", "Document", "Raw", "J", "'x'", "''",
    "\"y\"", "[Pages]", "#65", "#300", "12", "1.5", "1e", "2147483648", "(", ")", ",", ".", "*", "?", "=",
    "<", ">", "+", "-", "/", "|", "||", "/*", "*/", "'", "\"", "[", "]",
};

std::string RandomText(std::mt19937& random) {
  std::string text;
  int words = std::uniform_int_distribution<int>(0, 25)(random);
  for (int i = 0; i < words; ++i) {
    text += Vocabulary[random() % std::size(Vocabulary)];
    if (random() % 3) text += ' ';
  }
  return text;
}

std::string Mutated(std::string text, std::mt19937& random) {
  int edits = std::uniform_int_distribution<int>(1, 4)(random);
  for (int i = 0; i < edits; ++i) {
    size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (random() % 5) {
      case 0:  // any byte, including zero and bytes beyond ASCII
        text.insert(at, 1, static_cast<char>(random() % 256));
        break;
      case 1:
        text.erase(at, random() % 8);
        break;
      case 2:
        if (at < text.size()) text.insert(at, text.substr(at, random() % 16));
        break;
      case 3:
        text.insert(at, Vocabulary[random() % std::size(Vocabulary)]);
        break;
      default:
        text = text.substr(0, at) + Seeds[random() % std::size(Seeds)];
        break;
    }
  }
  return text;
}

using ExpFuzzTest = TExpFixture;

TEST_F(ExpFuzzTest, EveryTextParsesOrFailsCleanly) {
  for (const char* seed : Seeds) EXPECT_NO_THROW(ParseAndCheck(seed)) << seed;
  tree.reset();
  parser.ClearText();
  const int64_t heapBefore = EngineHeapTotal();
  std::mt19937 random(20040131);
  const uint8_t flagChoices[] = {FilterParseFlags, 0, pfAggregates | pfAllColumns | pfExtended | pfParams};
  int parsed = 0, failed = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string text = round % 3 == 0 ? RandomText(random) : Mutated(Seeds[random() % std::size(Seeds)], random);
    uint8_t flags = flagChoices[random() % std::size(flagChoices)];
    try {
      ParseAndCheck(text, flags);
      ++parsed;
    } catch (const EEngineError& error) {
      ++failed;
      ASSERT_EQ(error.ErrorCode, EngErrFilter) << text;
      ASSERT_EQ(error.Message.rfind("Filter error for table 'JOBS' - ", 0), 0u) << text;
    } catch (const EConvertError&) {
      ++failed;
    }
    tree.reset();
  }
  parser.ClearText();
  EXPECT_EQ(EngineHeapTotal(), heapBefore) << "nodes or texts leaked";
  // Both outcomes are well represented, so the run exercised both paths.
  EXPECT_GT(parsed, 500);
  EXPECT_GT(failed, 500);
}

}  // namespace
