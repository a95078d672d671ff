// Filters no index serves read the records in runs beside the data file's
// cache: what they select must still be what the table holds when the
// operation begins, own changes not yet written included.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engCursorFilterTestSupport.h"
#include "engTableTestSupport.h"

namespace {

using CursorFilterScanTest = CursorFilterTest;

// No index serves a function of a column.
const char* const NameEndsInTwo = "UPPER(NAME) LIKE 'N_2'";

TEST_F(CursorFilterScanTest, AScanSeesWhatAnotherProcessWroteBeforeTheOperation) {
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "strict" : "not strict");
    Fill(20, strict ? "STRICT" : "LOOSE");
    session->StrictChangeDetection = strict;
    cursor->SetIndexNo(NaturalOrderIndex);
    // The cursor's own walk leaves the records in the data file's cache.
    EXPECT_EQ(Walk(*cursor).size(), 20u);
    ASSERT_TRUE(Find(*cursor, 7));
    cursor->DeleteRecord(Current(*cursor).data());
    TFilter* filter = Activate(NameEndsInTwo);
    EXPECT_EQ(cursor->GetRecordCount(), 1);
    cursor->Filters().DropFilter(filter);

    TableHelperProcess helper;
    ASSERT_EQ(helper.Ask("cursor " + folder + " " + (strict ? "STRICT" : "LOOSE") + " shared"), 0u);
    // 52 takes the slot 7 left, 62 goes at the end.
    ASSERT_EQ(helper.Ask("insert 52 1"), 0u);
    ASSERT_EQ(helper.Ask("insert 62 1"), 0u);
    ASSERT_EQ(helper.Ask("closecursor"), 0u);
    if (!strict) cursor->RefreshPosition();
    Activate(NameEndsInTwo);
    std::vector<int32_t> ids = Visible();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int32_t>{12, 52, 62}));
    session->StrictChangeDetection = false;
  }
}

// An exclusive table writes its changes when its cache fills or it
// closes: the scan reads them from the cache, past the file's end too.
TEST_F(CursorFilterScanTest, AScanOfAnExclusiveTableSeesItsUnwrittenChanges) {
  CreateGroups("EXCL");
  cursor = &OpenCursor("EXCL", true);
  for (int id = 1; id <= 300; ++id) Insert(*cursor, id, "N" + std::to_string(id), id % 5);
  ASSERT_TRUE(Find(*cursor, 12));
  std::vector<uint8_t> record = Row(*cursor, 12, "X12", 2);
  cursor->ModifyRecord(record.data());
  ASSERT_TRUE(Find(*cursor, 22));
  cursor->DeleteRecord(Current(*cursor).data());
  cursor->SetIndexNo(NaturalOrderIndex);
  Activate(NameEndsInTwo);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{32, 42, 52, 62, 72, 82, 92}));
}

bool KeepDoublesOfEvenIds(TDataCursor& cursor, const uint8_t* record) {
  int32_t doubled = 0;
  bool blank = true;
  cursor.GetField(4, record, blank, &doubled);
  return !blank && doubled % 4 == 0;
}

// A record test of a cursor with computed fields gets the record as the
// cursor shows it: of the cursor's size, the computed fields filled.
TEST_F(CursorFilterScanTest, ACallbackSeesTheCursorsComputedFields) {
  Fill(10);
  // DOUBLE = ID * 2, a field of the cursor alone.
  TExpTreePtr product = DoubledIdExpression();
  std::vector<TFieldDefinition> map =
      Definitions({{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}, {"DOUBLE", IntType}});
  MakeComputedField(map, 3, product.get());
  // Only a cursor whose filters are not kept up to date computes fields.
  cursor->SetNoFilterUpdate(true);
  cursor->SetFieldMap(map, true);
  ASSERT_GT(cursor->CursorRecordSize(), cursor->GetRecordSize());
  ASSERT_TRUE(cursor->HasComputedFields());

  cursor->Filters().ActivateFilter(cursor->Filters().AddFilter([&on = *cursor](const uint8_t* record, uint32_t) { return KeepDoublesOfEvenIds(on, record); }));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{2, 4, 6, 8, 10}));
}

// A scan remembers the result of a condition on one short column by the
// column's value: a null and a zero are two values, and each record gets
// what evaluating the condition on it gives (the same condition ANDed with
// a test of a second column is evaluated for every record).
TEST_F(CursorFilterScanTest, AConditionOnOneColumnGivesEachRecordItsValuesResult) {
  CreateGroups("VALUES");
  cursor = &OpenCursor("VALUES");
  constexpr int Rows = 300;
  for (int32_t id = 1; id <= Rows; ++id) {
    const int32_t group = id % 5;
    const std::string name = "N" + std::to_string(id);
    // Every seventh group is null.
    std::vector<uint8_t> record =
        Record(*cursor, {&id, name.c_str(), id % 7 == 0 ? nullptr : static_cast<const void*>(&group)});
    cursor->InsertRecord(record.data());
  }
  cursor->SetIndexNo(NaturalOrderIndex);
  // Functions of the column: no index serves them, the records are read.
  EXPECT_EQ(VisibleWith("ABS(GRP) = 0"), IdsWhere(Rows, [](int32_t id) { return id % 7 != 0 && id % 5 == 0; }));
  EXPECT_EQ(VisibleWith("ABS(GRP) IS NULL"), IdsWhere(Rows, [](int32_t id) { return id % 7 == 0; }));
  // Two columns: the value of one decides nothing alone.
  EXPECT_EQ(VisibleWith("ABS(GRP) = ID - 5"), (std::vector<int32_t>{5, 6, 8, 9}));
  ExpectAloneAsJoined({"ABS(GRP) = 0", "ABS(GRP) <> 0", "ABS(GRP) IS NULL", "ABS(GRP) + 1 IN (2, 4)", "ABS(GRP) < 3",
                       "NOT (ABS(GRP) >= 1)", "UPPER(NAME) = 'N12'"});
}

// A value of a word or less is remembered by the bytes the record holds:
// every short kind of column, with more values than it remembers, values
// that differ only in their last byte, nulls whose bytes match a value's,
// and text that fills its word. Each condition must let through what it
// lets through when evaluated for every record (joined with a test of a
// second column).
TEST_F(CursorFilterScanTest, AConditionOnAShortColumnGivesEachRecordItsValuesResult) {
  using namespace EngineFieldTypes;
  Create("WORDS",
         {{"ID", IntType}, {"BO", ftBoolean}, {"SM", ftSmallInt}, {"IV", IntType}, {"DA", ftDate},
          {"FL", ftFloat}, {"TX", StrType, 7}},
         {{"", {1}}});
  cursor = &OpenCursor("WORDS");
  constexpr int Rows = 700;
  const char* const texts[] = {"a", "A", "abcdefg", "abcdefG", "bcdefga", ""};
  for (int32_t id = 1; id <= Rows; ++id) {
    const uint16_t flag = uint16_t(id % 2);
    // High bytes that differ over the same low byte.
    const int16_t small = int16_t((id % 7 - 3) * 256);
    const int32_t high = (id % 5) << 24 | 7;
    // More days than the results' slots.
    const int32_t day = Jan31Of2004 + id % 150;
    const double real = (id % 9 - 4) * 0.5 * (id % 2 ? 1.0 : -1.0);
    const char* text = texts[id % std::size(texts)];
    // Nulls come with zero bytes, as a cleared record holds them.
    const bool null = id % 11 == 0;
    std::vector<uint8_t> record = Record(
        *cursor, {&id, null ? nullptr : &flag, null ? nullptr : &small, id % 13 == 0 ? nullptr : &high,
                  null ? nullptr : &day, null ? nullptr : &real, id % 13 == 0 ? nullptr : text});
    cursor->InsertRecord(record.data());
  }
  cursor->SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(VisibleWith("BO = TRUE"), IdsWhere(Rows, [](int32_t id) { return id % 11 != 0 && id % 2 == 1; }));
  EXPECT_EQ(VisibleWith("IV = 50331655"), IdsWhere(Rows, [](int32_t id) { return id % 13 != 0 && id % 5 == 3; }));
  ExpectAloneAsJoined({"BO = TRUE", "BO <> TRUE", "BO IS NULL", "SM = 512", "SM < 0", "SM = 0", "IV = 50331655",
                       "IV = 7", "IV IS NULL", "DA = '2004-03-01'", "DA > '2004-05-01'", "FL < 0", "FL = 0",
                       "TX = 'abcdefg'", "TX = 'A'", "TX = ''", "TX IS NULL"});
}

// Names repeat in several cases: a remembered result must follow the
// value's exact bytes (a case variant or a null is a value of its own),
// also when more values than it remembers share its slots.
TEST_F(CursorFilterScanTest, ANameConditionGivesEachCaseVariantItsOwnResult) {
  // Names indexed without case: the exact condition reads the records.
  Create("NAMES", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByName", {2}, false, false, true}});
  cursor = &OpenCursor("NAMES");
  const char* const cases[] = {"owner", "Owner", "OWNER"};
  auto nameOf = [&](int32_t id) { return std::string(cases[id % 3]) + std::to_string(id % 100); };
  constexpr int Rows = 900;
  for (int32_t id = 1; id <= Rows; ++id) {
    const int32_t group = 1;
    const std::string name = nameOf(id);
    std::vector<uint8_t> record = Record(*cursor, {&id, id % 11 == 0 ? nullptr : name.c_str(), &group});
    cursor->InsertRecord(record.data());
  }
  cursor->SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(VisibleWith("NAME = 'Owner7'"),
            IdsWhere(Rows, [](int32_t id) { return id % 11 != 0 && id % 3 == 1 && id % 100 == 7; }));
  EXPECT_EQ(VisibleWith("UPPER(NAME) = 'OWNER7'"),
            IdsWhere(Rows, [](int32_t id) { return id % 11 != 0 && id % 100 == 7; }));
  EXPECT_EQ(VisibleWith("NAME IS NULL"), IdsWhere(Rows, [](int32_t id) { return id % 11 == 0; }));
  ExpectAloneAsJoined({"NAME = 'owner12'", "NAME <> 'OWNER3'", "NAME > 'Owner5'", "UPPER(NAME) = 'OWNER12'",
                       "SUBSTRING(NAME FROM 1 FOR 2) = 'Ow'"});
}

// An index's stretch gives one value's records in runs (one owner's), and
// the value found last is compared first: the record after a run gets its
// own value's result when it differs only by case or by one more
// character, and empty and null names follow each other too.
TEST_F(CursorFilterScanTest, TheRecordAfterARunOfOneNameGetsItsOwnResult) {
  Create("RUNS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByName", {2}, false, false, true}});
  cursor = &OpenCursor("RUNS");
  // Three records running of each, over and over.
  static const char* const names[] = {"Owner7", "OWNER7", "Owner7", "Owner70", "Owner7", "", nullptr, "", "owner7"};
  static constexpr int Run = 3;
  static constexpr int Rows = 5 * Run * int(std::size(names));
  for (int32_t id = 1; id <= Rows; ++id) {
    const int32_t group = 1;
    std::vector<uint8_t> record = Record(*cursor, {&id, names[(id - 1) / Run % std::size(names)], &group});
    cursor->InsertRecord(record.data());
  }
  cursor->SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(VisibleWith("NAME = 'Owner7'"), IdsWhere(Rows, [](int32_t id) {
              const char* name = names[(id - 1) / Run % std::size(names)];
              return name && std::strcmp(name, "Owner7") == 0;
            }));
  ExpectAloneAsJoined({"NAME = 'Owner7'", "NAME = 'OWNER7'", "NAME = 'owner7'", "NAME = 'Owner70'", "NAME = ''",
                       "NAME IS NULL", "NAME <> 'Owner7'", "UPPER(NAME) = 'OWNER7'"});
}

// The exact test of a case-ignoring index's stretch reads its records from
// the file the first time and tests them where the cache keeps them after:
// both give what the records hold, also once some were changed or deleted
// while cached.
TEST_F(CursorFilterScanTest, AStretchsRecordsTestedInTheCacheGiveWhatTheFileGives) {
  Create("CASES", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByName", {2}, false, false, true}});
  const char* const cases[] = {"owner", "Owner", "OWNER"};
  std::vector<std::string> names;
  constexpr int Rows = 600;
  {
    TDataCursor& writer = OpenCursor("CASES");
    for (int32_t id = 1; id <= Rows; ++id) {
      names.push_back(id % 11 == 0 ? std::string() : std::string(cases[id % 3]) + std::to_string(id % 50));
      const int32_t group = 1;
      std::vector<uint8_t> record =
          Record(writer, {&id, names.back().empty() ? nullptr : names.back().c_str(), &group});
      writer.InsertRecord(record.data());
    }
    cursors.clear();
  }
  // Opened again: nothing of the table in memory.
  cursor = &OpenCursor("CASES");
  const std::string condition = "UPPER(NAME) = 'OWNER7' AND NAME = 'Owner7'";
  auto expected = [&names] {
    std::vector<int32_t> ids;
    for (int32_t id = 1; id <= Rows; ++id)
      if (names[size_t(id - 1)] == "Owner7") ids.push_back(id);
    return ids;
  };
  cursor->SetIndexNo(NaturalOrderIndex);
  ASSERT_EQ(expected().size(), 4u);
  EXPECT_EQ(VisibleWith(condition), expected());
  EXPECT_EQ(VisibleWith(condition), expected());
  // 57 was "owner7", 7 and 157 "Owner7".
  for (const auto& [id, name] : std::vector<std::pair<int32_t, std::string>>{{57, "Owner7"}, {7, "OWNER7"}}) {
    ASSERT_TRUE(Find(*cursor, id));
    std::vector<uint8_t> record = Row(*cursor, id, name, 1);
    cursor->ModifyRecord(record.data());
    names[size_t(id - 1)] = name;
  }
  ASSERT_TRUE(Find(*cursor, 157));
  cursor->DeleteRecord(Current(*cursor).data());
  names[156] = "";
  cursor->SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(VisibleWith(condition), expected());
  EXPECT_EQ(expected(), (std::vector<int32_t>{57, 307, 457}));
}

}  // namespace
