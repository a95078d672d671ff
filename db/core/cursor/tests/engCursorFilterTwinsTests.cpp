// Conditions on indexed columns, answered by keys, against the same
// conditions on unindexed twins, answered by reading every record.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engBcd.h"
#include "engCursorFilterTestSupport.h"
#include "engFieldTypes.h"

namespace {

// Every indexed column has an unindexed twin (its name plus "P") holding the
// same values; a condition written over the indexed columns must select
// what the same condition over the twins selects record by record. The
// indexes are ascending, descending, descending in their field, and case
// keeping or not.
class CursorFilterTwinsTest : public CursorFilterTest {
protected:
  static constexpr int32_t RangeLow = 100;
  static constexpr int32_t RangeHigh = 700;
  int served = 0;
  int turn = 0;
  int conditions = 0;

  // Placeholders of the conditions and the indexed columns they stand for;
  // no column name is a text the conditions quote.
  struct TTwin {
    char Placeholder;
    const char* Name;
    uint8_t Type;
    uint8_t Size;
  };
  static constexpr TTwin Twins[] = {
      {'Q', "QT", IntType, 0},
      {'W', "WO", EngineFieldTypes::ftWord, 0},
      {'S', "SM", EngineFieldTypes::ftSmallInt, 0},
      {'F', "FL", EngineFieldTypes::ftFloat, 0},
      {'N', "NA", StrType, 12},
      {'M', "MO", EngineFieldTypes::ftDecimal, 0},
      {'B', "BO", EngineFieldTypes::ftBoolean, 0},
      {'D', "DA", EngineFieldTypes::ftDate, 0},
      {'T', "TI", EngineFieldTypes::ftTime, 0},
  };
  static uint16_t FieldOfTwin(char placeholder) {
    for (size_t i = 0; i < std::size(Twins); ++i)
      if (Twins[i].Placeholder == placeholder) return uint16_t(2 + 2 * i);
    return 0;
  }

  void Build(const std::string& table, uint16_t languageId, int rowCount) {
    std::vector<TFieldSpec> fields = {{"ID", IntType}};
    for (const TTwin& twin : Twins) {
      fields.push_back({twin.Name, twin.Type, twin.Size});
      fields.push_back({std::string(twin.Name) + "P", twin.Type, twin.Size});
    }
    Create(table, fields,
           {{"", {1}},
            {"ByQDown", {FieldOfTwin('Q')}, false, true},
            {"ByW", {FieldOfTwin('W')}, false},
            {"BySFieldDown", {FieldOfTwin('S')}, false, false, false, {1}},
            {"ByF", {FieldOfTwin('F')}, false},
            {"ByNDown", {FieldOfTwin('N')}, false, true},
            {"ByNNoCase", {FieldOfTwin('N')}, false, false, true},
            {"ByM", {FieldOfTwin('M')}, false},
            {"ByBDown", {FieldOfTwin('B')}, false, true},
            {"ByDFieldDown", {FieldOfTwin('D')}, false, false, false, {1}},
            {"ByT", {FieldOfTwin('T')}, false}},
           languageId);
    cursor = &OpenCursor(table);
    const char* names[] = {"a", "A", "ab", "Ab", "AB", "b", "B", "bob", "Bob", "BOB", "bobby", "z", "Z", "zz", "a b"};
    std::mt19937 random(languageId + 7);
    auto pick = [&random](uint32_t n) { return random() % n; };
    for (int32_t id = 1; id <= rowCount; ++id) {
      std::vector<uint8_t> record(cursor->CursorRecordSize(), 0);
      cursor->PutTableField(1, record.data(), &id);
      const int32_t q = int32_t(pick(21)) - 10;
      const uint16_t w = uint16_t(pick(8));
      const int16_t s = int16_t((int32_t(pick(41)) - 20) * 800);
      // Some zeros are negative zeros.
      const double f = (int32_t(pick(17)) - 8) * 0.75 * (id % 2 ? 1.0 : -1.0);
      const char* name = names[pick(std::size(names))];
      const int64_t m = FloatToStoredBcd((int32_t(pick(21)) - 10) * 1000.0, 0);
      const uint16_t b = uint16_t(pick(2));
      const int32_t d = Jan31Of2004 + int32_t(pick(31)) - 15;
      const int32_t t = int32_t(pick(48)) * 1800000;
      const void* values[] = {&q, &w, &s, &f, name, &m, &b, &d, &t};
      for (size_t column = 0; column < std::size(values); ++column) {
        const bool isNull = pick(10) == 0;
        for (int twin = 0; twin < 2; ++twin)
          cursor->PutTableField(int(2 + 2 * column + twin), record.data(), isNull ? nullptr : values[column]);
      }
      cursor->InsertRecord(record.data());
    }
  }

  static std::string Columns(const std::string& pattern, const char* suffix) {
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
      const uint16_t field = pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}'
                                 ? FieldOfTwin(pattern[i + 1])
                                 : 0;
      if (field == 0) {
        text += pattern[i];
        continue;
      }
      text += std::string(Twins[(field - 2) / 2].Name) + suffix;
      i += 2;
    }
    return text;
  }

  // The IDs selected, in ID order, walked in one of three orders in turn,
  // or inside a range of IDs.
  std::vector<int32_t> Selected(const std::string& text, bool caseInsensitive, bool costChoice, bool ranged,
                                uint8_t* level) {
    static const char* orders[] = {"", nullptr, "ByNDown"};
    const char* order = ranged ? "" : orders[turn++ % 3];
    if (order) cursor->SetIndexName(order);
    else cursor->SetIndexNo(NaturalOrderIndex);
    if (ranged) {
      int32_t low = RangeLow, high = RangeHigh;
      cursor->SetRange(Record(*cursor, {&low}).data(), 1, Record(*cursor, {&high}).data(), 1);
    }
    TFilter* filter = Activate(text, {.CaseInsensitive = caseInsensitive, .CostChoice = costChoice});
    if (level) *level = filter->OptimizeLevel;
    std::vector<int32_t> ids = Visible();
    cursor->Filters().DropFilter(filter);
    if (ranged) cursor->ResetRange();
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  void ExpectTwinsAgree(const std::string& pattern, bool caseInsensitive = false) {
    const std::string indexed = Columns(pattern, "");
    const std::string plain = Columns(pattern, "P");
    const bool ranged = conditions++ % 4 == 0;
    const std::vector<int32_t> expected = Selected(plain, caseInsensitive, false, ranged, nullptr);
    if (ranged) {
      for (int32_t id : expected) ASSERT_TRUE(id >= RangeLow && id <= RangeHigh) << plain;
    }
    uint8_t level = olNone;
    EXPECT_EQ(Selected(indexed, caseInsensitive, false, ranged, &level), expected)
        << indexed << (caseInsensitive ? " (any case)" : "") << (ranged ? " in the range" : "");
    if (level == olNone) return;
    ++served;
    EXPECT_EQ(Selected(indexed, caseInsensitive, true, ranged, nullptr), expected) << indexed << " by cost";
  }

  void ExpectComparisonsAgree(const std::string& column, const std::vector<std::string>& constants,
                              bool caseInsensitive = false) {
    for (const char* op : {"=", "<>", "<", "<=", ">", ">="})
      for (const std::string& constant : constants)
        ExpectTwinsAgree(column + " " + op + " " + constant, caseInsensitive);
  }

  void ExpectAllAgree() {
    ExpectComparisonsAgree("{Q}", {"-11", "-10", "-1", "0", "1", "10", "11", "2.5", "-0.5"});
    ExpectComparisonsAgree("{W}", {"-1", "0", "1", "7", "8", "65535", "65536", "3.5"});
    ExpectComparisonsAgree("{S}", {"-40000", "-16000", "-1", "0", "800", "16000", "16001", "799.5"});
    ExpectComparisonsAgree("{F}", {"-6", "-0.75", "0", "-0.0", "0.1", "0.75", "6", "7"});
    ExpectComparisonsAgree("{M}", {"-10000", "-1", "0", "5000", "10000", "10001", "2.5", "1000.0"});
    ExpectComparisonsAgree("{D}", {"'2004-01-31'", "'2004-01-16'", "'2004-02-15'", "'1999-01-01'"});
    ExpectComparisonsAgree("{T}", {"'00:00'", "'08:00'", "'12:15'", "'23:30'"});
    for (const char* pattern : {"{B} = TRUE", "{B} <> TRUE", "{B} = FALSE", "{B} <> FALSE", "{B}", "NOT {B}"})
      ExpectTwinsAgree(pattern);
    const std::vector<std::string> names = {"''", "'a'", "'A'", "'B'", "'bob'", "'Bob'", "'Bo*'", "'b*'", "'zz'",
                                            "'a b'", "'a name too long'", "'bob '", "' bob'"};
    ExpectComparisonsAgree("{N}", names);
    ExpectComparisonsAgree("{N}", names, true);
    ExpectComparisonsAgree("UPPER({N})", {"'BOB'", "'Bob'", "'B'", "''"});
    for (const char* column : {"{Q}", "{W}", "{S}", "{F}", "{N}", "{M}", "{B}", "{D}", "{T}"}) {
      const std::string c = column;
      ExpectTwinsAgree(c + " IS NULL");
      ExpectTwinsAgree(c + " IS NOT NULL");
      ExpectTwinsAgree(c + " = NULL");
      ExpectTwinsAgree(c + " <> NULL");
    }
    for (const char* pattern :
         {"{Q} IN (-10, 0, 3)", "{Q} NOT IN (-10, 0, 3)", "{Q} NOT IN (1, NULL)", "{Q} IN (0, NULL)",
          "{Q} BETWEEN -2 AND 2", "{Q} NOT BETWEEN -2 AND 2", "{Q} BETWEEN 2 AND -2", "{W} IN (0, 7)",
          "{W} NOT BETWEEN 1 AND 6", "{S} BETWEEN -800 AND 800", "{S} NOT IN (0, 16000)", "{F} BETWEEN -0.75 AND 0",
          "{F} NOT IN (0, 1.5)", "{N} IN ('a', 'BOB', '')", "{N} NOT IN ('a', 'BOB')", "{N} BETWEEN 'B' AND 'bob'",
          "{N} NOT BETWEEN 'A' AND 'a'", "{Q} > -3 AND {Q} < 4", "{Q} = 2 OR {Q} IS NULL", "NOT ({Q} >= 0)",
          "{Q} < 0 OR {S} > 800", "{W} = 3 AND {N} LIKE 'b%'", "NOT ({N} = 'bob' OR {F} < 0)",
          "{S} <= 0 AND NOT ({W} IN (1, 2))", "0 < {Q}", "'b' >= {N}", "{Q} IN (1, 1, 2)", "NOT ({Q} IN (1, 2))",
          "{N} BETWEEN '' AND 'b'", "UPPER({N}) IN ('BOB', 'A')", "UPPER({N}) BETWEEN 'A' AND 'B'",
          "{N} LIKE 'Bo%'", "{N} LIKE '%'", "{N} LIKE 'b_b%'", "{N} NOT LIKE 'b%'",
          // two comparisons of one column, which one stretch of keys serves
          "{Q} >= -2 AND {Q} <= 2", "{Q} < 4 AND {Q} >= -1", "{Q} > 3 AND {Q} < 3", "{Q} >= 2 AND {Q} >= 0",
          "{Q} <= 2 AND {Q} < 5", "{Q} >= 0 AND {Q} <= 0", "{Q} > 0 AND {Q} <= 0", "{S} <= 0 AND {S} > -800",
          "{N} >= 'B' AND {N} < 'bob'", "{N} > 'a' AND {N} <= 'b'", "{F} > -0.75 AND {F} <= 0",
          "{Q} = 2 AND {Q} >= 2"})
      ExpectTwinsAgree(pattern);
    for (const char* pattern : {"{N} LIKE 'b%'", "{N} IN ('bob', 'a')", "{N} NOT IN ('bob', 'a')"})
      ExpectTwinsAgree(pattern, true);
  }
};

TEST_F(CursorFilterTwinsTest, KeysSelectWhatEvaluationSelectsWithoutALanguage) {
  Build("TWINS", 0, 600);
  ExpectAllAgree();
  EXPECT_GT(served, 400) << served;
}

TEST_F(CursorFilterTwinsTest, KeysSelectWhatEvaluationSelectsUnderALanguage) {
  Build("ZWILLING", 0x0407, 600);
  ExpectAllAgree();
  EXPECT_GT(served, 400) << served;
}

}  // namespace
