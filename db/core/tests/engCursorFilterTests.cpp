// Filters on cursors: what they let through, by index or by reading the
// records, and how navigation and counts follow them.

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engBcd.h"
#include "engBlobBuffer.h"
#include "engCursorFilterTestSupport.h"
#include "engFieldText.h"
#include "engFieldTypes.h"

namespace {

constexpr int32_t Jan31Of2004 = 731611;

TEST_F(CursorFilterTest, IndexServedComparisonSelectsTheMatchingRecords) {
  Fill(50);
  cursor->SetIndexName("");
  TFilter* filter = Activate("GRP = 2");
  EXPECT_EQ(filter->OptimizeLevel, olFull);
  EXPECT_EQ(cursor->GetRecordCount(), 10);
  std::vector<int32_t> ids = Walk(*cursor);
  ASSERT_EQ(ids.size(), 10u);
  for (int32_t id : ids) EXPECT_EQ(id % 5, 2);
  cursor->DropFilter(filter);
  EXPECT_EQ(cursor->GetRecordCount(), 50);
}

TEST_F(CursorFilterTest, BadFilterTextsFailWithTheirTextsAndAddNothing) {
  Fill(5);
  const std::string prefix = "Filter error for table 'JOBS.DAT' - ";
  EXPECT_EQ(ErrorOf([&] { Add("  "); }), CurErrFilter);
  EXPECT_EQ(MessageOf([&] { Add(""); }), prefix + "filter expression is empty");
  EXPECT_EQ(MessageOf([&] { Add(" \t "); }), prefix + "filter expression is empty");
  EXPECT_EQ(MessageOf([&] { Add("GRP * 2 + 1"); }), prefix + "filter expression must be a boolean expression");
  EXPECT_EQ(MessageOf([&] { Add("GRP = = 2"); }),
            prefix + "Unknown or unexpected symbol '=' found in filter expression");
  EXPECT_EQ(MessageOf([&] { Add("NOPE = 1"); }),
            prefix + "Invalid column name 'NOPE' or table correlation name '' specified in filter expression");
  EXPECT_EQ(ErrorOf([&] { Add("NOPE = 1"); }), CurErrFilter);
  EXPECT_EQ(ErrorOf([&] { Add("GRP IN (SELECT GRP FROM JOBS)"); }), CurErrFilter);
  EXPECT_EQ(MessageOf([&] { Add("GRP = ?"); }), prefix + "Parameters are not allowed in filter expression");
  EXPECT_EQ(cursor->FilterCount(), 0);
}

TEST_F(CursorFilterTest, SixtyFourFiltersTogetherAndNoSixtyFifth) {
  Fill(70);
  for (int n = 1; n <= MaxCursorFilters; ++n) Add("ID <> " + std::to_string(n));
  EXPECT_EQ(ErrorOf([&] { Add("GRP = 1"); }), CurErrTooManyFilters);
  EXPECT_EQ(MessageOf([&] { Add("GRP = 1"); }), "Too many filters defined for table 'JOBS.DAT'");
  EXPECT_EQ(cursor->FilterCount(), MaxCursorFilters);
  cursor->ActivateFilter(nullptr);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{65, 66, 67, 68, 69, 70}));
}

// A handle of another cursor is unknown here; nothing of this cursor's
// filters changes.
TEST_F(CursorFilterTest, UnknownHandlesAndInactiveUpdatesFailAndChangeNothing) {
  Fill(20);
  TFilter* active = Activate("GRP = 1");
  TFilter* inactive = Add("ID < 10");
  TDataCursor& other = OpenCursor("JOBS");
  TFilter* foreign = other.AddFilter(nullptr, "GRP = 2", false, false, false, false, nullptr, false, nullptr);
  TExpTreePtr tree = Condition("GRP = 3");

  EXPECT_EQ(ErrorOf([&] { cursor->DropFilter(foreign); }), CurErrFilterHandle);
  EXPECT_EQ(MessageOf([&] { cursor->ActivateFilter(foreign); }),
            "Invalid filter handle specified for table 'JOBS.DAT'");
  EXPECT_EQ(ErrorOf([&] { cursor->DeactivateFilter(foreign); }), CurErrFilterHandle);
  EXPECT_EQ(ErrorOf([&] { cursor->UpdateFilter(tree.get(), foreign); }), CurErrFilterHandle);
  EXPECT_EQ(ErrorOf([&] { cursor->UpdateFilter(tree.get(), inactive); }), CurErrFilterHandle);

  ASSERT_EQ(cursor->FilterCount(), 2);
  EXPECT_TRUE(active->Active);
  EXPECT_FALSE(inactive->Active);
  EXPECT_FALSE(foreign->Active);
  EXPECT_EQ(other.FilterCount(), 1);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 6, 11, 16}));
  EXPECT_EQ(Walk(other).size(), 20u);
}

TEST_F(CursorFilterTest, ConstantOnTheLeftSelectsAsTheColumnFirstForm) {
  Fill(40);
  const std::vector<int32_t> above = IdsWhere(40, [](int32_t id) { return id > 30; });
  for (const char* text : {"30 < ID", "ID > 30", "NOT (30 >= ID)"}) {
    TFilter* filter = Activate(text);
    EXPECT_EQ(Visible(), above) << text;
    EXPECT_EQ(filter->OptimizeLevel, olFull) << text;
    cursor->DropFilter(filter);
  }
  TFilter* filter = Activate("2 >= GRP");
  EXPECT_EQ(Visible(), IdsWhere(40, [](int32_t id) { return id % 5 <= 2; }));
  cursor->DropFilter(filter);
}

TEST_F(CursorFilterTest, LowBoundRangeAndItsIntersectionWithAFilter) {
  Fill(60);
  cursor->SetIndexName("");
  int32_t low = 42;
  cursor->SetRange(false, Record(*cursor, {&low}).data(), 1, nullptr, 0);
  EXPECT_EQ(Visible(), IdsWhere(60, [](int32_t id) { return id >= 42; }));
  TFilter* filter = Activate("GRP = 3");
  EXPECT_EQ(Visible(), IdsWhere(60, [](int32_t id) { return id >= 42 && id % 5 == 3; }));
  // Own inserts below and inside the range, and a record moved out of it.
  Insert(*cursor, -2, "below", 3);
  Insert(*cursor, 98, "inside", 3);
  Insert(*cursor, 99, "other group", 4);
  int32_t moving = 43;
  ASSERT_TRUE(cursor->FindKey(Record(*cursor, {&moving}).data(), false, 1, 0, false, nullptr));
  std::vector<uint8_t> moved = Row(*cursor, -43, "N43", 3);
  cursor->ModifyRecord(moved.data(), false, false);
  std::vector<int32_t> expected = IdsWhere(60, [](int32_t id) { return id >= 42 && id % 5 == 3 && id != 43; });
  expected.push_back(98);
  EXPECT_EQ(Visible(), expected);
  cursor->ResetRange();
  expected = IdsWhere(60, [](int32_t id) { return id % 5 == 3 && id != 43; });
  expected.insert(expected.begin(), {-43, -2});
  expected.push_back(98);
  EXPECT_EQ(Visible(), expected);
  cursor->DropFilter(filter);
  EXPECT_EQ(Visible().size(), 63u);
}

// A cursor that keeps no filter state in its indexes reads every record.
TEST_F(CursorFilterTest, NoFilterUpdateCursorReadsTheRecords) {
  Fill(30);
  cursor->SetNoFilterUpdate(true);
  TFilter* filter = Activate("GRP = 2 AND ID > 10");
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{12, 17, 22, 27}));
}

// Navigation by every means lands only on records the filter lets through.
TEST_F(CursorFilterTest, NavigationNeverVisitsANonMatchingRecord) {
  Fill(300);
  cursor->SetIndexName("ByGrp");
  Activate("GRP = 4");
  EXPECT_EQ(cursor->GetRecordCount(), 60);
  EXPECT_EQ(Visible(), IdsWhere(300, [](int32_t id) { return id % 5 == 4; }));
  cursor->SetToBegin();
  cursor->MoveBy(7);
  EXPECT_EQ(IdOf(*cursor) % 5, 4);
  cursor->MoveBy(-3);
  EXPECT_EQ(IdOf(*cursor) % 5, 4);
  std::vector<uint8_t> mark(size_t(cursor->GetBookmarkSize()));
  cursor->GetBookmark(mark.data());
  const int32_t marked = IdOf(*cursor);
  cursor->SetToEnd();
  cursor->MoveBy(-1);
  EXPECT_EQ(IdOf(*cursor), 299);
  EXPECT_TRUE(cursor->GotoBookmark(mark.data(), false, false));
  EXPECT_EQ(IdOf(*cursor), marked);
  int32_t group = 3;
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {nullptr, nullptr, &group}).data(), false, 1, 0, true, nullptr));
  EXPECT_EQ(IdOf(*cursor), 4);

  cursor->SetIndexName("");
  int32_t hidden = 52;
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {&hidden}).data(), false, 1, 0, false, nullptr));
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {&hidden}).data(), false, 1, 0, true, nullptr));
  EXPECT_EQ(IdOf(*cursor), 54);

  TDataCursor& other = OpenCursor("JOBS");
  ASSERT_TRUE(Find(other, 53));
  EXPECT_EQ(cursor->SyncWith(other), CurResultNotFound);
  ASSERT_TRUE(Find(other, 59));
  EXPECT_EQ(cursor->SyncWith(other), 0);
  EXPECT_EQ(IdOf(*cursor), 59);

  cursor->SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(cursor->GetRecordCount(), 60);
  cursor->SetToSequenceNo(10);
  EXPECT_EQ(IdOf(*cursor), 49);
  EXPECT_EQ(cursor->GetSequenceNo(), 10);
}

// A bookmark of a record the filter hides leads to the next visible
// record, or the prior one at the end.
TEST_F(CursorFilterTest, BookmarksOfHiddenRecordsLeadToANeighbour) {
  Fill(20);
  for (uint8_t order : {uint8_t(0), NaturalOrderIndex}) {
    cursor->SetIndexNo(order);
    SCOPED_TRACE(int(order));
    std::vector<std::vector<uint8_t>> marks;
    for (int32_t id : {8, 19}) {
      cursor->SetToBegin();
      cursor->MoveBy(id);
      ASSERT_EQ(IdOf(*cursor), id);
      marks.emplace_back(size_t(cursor->GetBookmarkSize()));
      cursor->GetBookmark(marks.back().data());
    }
    TFilter* filter = Activate("GRP = 2");
    cursor->GotoBookmark(marks[0].data(), true, false);
    EXPECT_EQ(IdOf(*cursor), 12);
    cursor->GotoBookmark(marks[1].data(), true, false);
    EXPECT_EQ(IdOf(*cursor), 17);
    cursor->DropFilter(filter);
  }
}

// The index-served parts answer from keys alone; a condition the index
// cannot serve reads records, so the counter is seen to count.
TEST_F(CursorFilterTest, IndexServedFiltersReadNoRecord) {
  Fill(400);
  cursor->SetIndexName("");
  cursor->SetToBegin();
  TDataFile& data = cursor->Table()->DataFile();
  data.DropCache();
  const uint32_t reads = data.PhysicalReads();
  for (const char* text : {"GRP = 2", "ID >= 10 AND ID < 20", "GRP IN (1, 3)", "NOT (GRP BETWEEN 1 AND 3)"}) {
    TFilter* filter = Activate(text);
    EXPECT_EQ(filter->OptimizeLevel, olFull) << text;
    cursor->GetRecordCount();
    EXPECT_EQ(data.PhysicalReads(), reads) << text;
    cursor->DropFilter(filter);
  }
  Activate("ID >= 10 AND ID < 20");
  EXPECT_EQ(cursor->GetRecordCount(), 10);
  EXPECT_EQ(data.PhysicalReads(), reads);

  TFilter* scanned = Activate("NAME LIKE '%1%'");
  EXPECT_EQ(scanned->OptimizeLevel, olNone);
  EXPECT_GT(data.PhysicalReads(), reads) << data.ReadAheadReads();
  EXPECT_EQ(Visible(), IdsWhere(400, [](int32_t id) { return id >= 10 && id < 20; }));
}

// ---- value kinds, nulls and indexes -------------------------------------

enum : uint16_t { fId = 1, fName, fNamePlain, fQty, fQtyPlain, fWord, fWordPlain, fSmall, fSmallPlain };

struct TKindRow {
  int32_t Id;
  std::optional<std::string> Name;
  std::optional<int32_t> Qty, Word, Small;
};

// Each indexed column has an unindexed twin holding the same values, so a
// condition is answered once by keys and once by reading records.
class CursorFilterKindsTest : public CursorFilterTest {
protected:
  std::vector<TKindRow> rows;

  void SetUp() override {
    CursorFilterTest::SetUp();
    Create("KINDS",
           {{"ID", IntType},
            {"NAME", StrType, 20},
            {"NAMEPLAIN", StrType, 20},
            {"QTY", IntType},
            {"QTYPLAIN", IntType},
            {"W", EngineFieldTypes::ftWord},
            {"WPLAIN", EngineFieldTypes::ftWord},
            {"S", EngineFieldTypes::ftSmallInt},
            {"SPLAIN", EngineFieldTypes::ftSmallInt}},
           {{"", {fId}},
            {"ByName", {fName}, false},
            {"ByNameNoCase", {fName}, false, false, true},
            {"ByQty", {fQty}, false},
            {"ByWordDown", {fWord}, false, true},
            {"BySmall", {fSmall}, false}});
    cursor = &OpenCursor("KINDS");
    const char* names[] = {nullptr, "SMITH", "Smith", "smith", "Smithers", "adam", "Bob", "zoe", "Smi*"};
    for (int32_t id = 1; id <= 90; ++id) {
      TKindRow row{id, {}, {}, {}, {}};
      if (const char* name = names[id % 9]) row.Name = name;
      if (id % 7 != 0) row.Qty = id % 9 - 3;
      if (id % 6 != 0) row.Word = id % 4;
      if (id % 5 != 0) row.Small = (id - 45) * 700;
      rows.push_back(row);
      InsertRow(row);
    }
  }

  void InsertRow(const TKindRow& row) {
    std::vector<uint8_t> record(cursor->CursorRecordSize(), 0);
    cursor->PutTableField(fId, record.data(), &row.Id);
    for (uint16_t field : {fName, fNamePlain})
      cursor->PutTableField(field, record.data(), row.Name ? row.Name->c_str() : nullptr);
    for (uint16_t field : {fQty, fQtyPlain}) cursor->PutTableField(field, record.data(), row.Qty ? &*row.Qty : nullptr);
    const uint16_t word = uint16_t(row.Word.value_or(0));
    for (uint16_t field : {fWord, fWordPlain}) cursor->PutTableField(field, record.data(), row.Word ? &word : nullptr);
    const int16_t small = int16_t(row.Small.value_or(0));
    for (uint16_t field : {fSmall, fSmallPlain})
      cursor->PutTableField(field, record.data(), row.Small ? &small : nullptr);
    cursor->InsertRecord(record.data(), false);
  }

  template <typename Predicate>
  std::vector<int32_t> Expected(Predicate accept) const {
    std::vector<int32_t> ids;
    for (const TKindRow& row : rows)
      if (accept(row)) ids.push_back(row.Id);
    return ids;
  }

  struct TSelection {
    std::vector<int32_t> Ids;
    uint8_t Level;
  };
  TSelection Select(const std::string& text, bool caseInsensitive = false, bool noPartialCompare = false,
                    bool costChoice = false) {
    TFilter* filter = Activate(text, caseInsensitive, noPartialCompare, costChoice);
    TSelection selection{Visible(), filter->OptimizeLevel};
    cursor->DropFilter(filter);
    return selection;
  }
  // The condition on the indexed column (served by keys, with and without
  // the cost choice) and on its twin (read record by record) all select
  // what expected holds.
  void ExpectBothWays(const std::string& indexed, const std::string& plain, const std::vector<int32_t>& expected,
                      uint8_t indexedLevel = olFull) {
    const TSelection byKeys = Select(indexed);
    EXPECT_EQ(byKeys.Ids, expected) << indexed;
    EXPECT_EQ(byKeys.Level, indexedLevel) << indexed;
    EXPECT_EQ(Select(indexed, false, false, true).Ids, expected) << indexed << " by cost";
    const TSelection byRecords = Select(plain);
    EXPECT_EQ(byRecords.Ids, expected) << plain;
    EXPECT_EQ(byRecords.Level, olNone) << plain;
  }
};

TEST_F(CursorFilterKindsTest, NotInSelectsEveryOtherValueNullsIncluded) {
  const auto expected =
      Expected([](const TKindRow& r) { return !r.Qty || (*r.Qty != 1 && *r.Qty != -2 && *r.Qty != 5); });
  ExpectBothWays("QTY NOT IN (1, -2, 5)", "QTYPLAIN NOT IN (1, -2, 5)", expected);
  ExpectBothWays("QTY IN (1, -2, 5)", "QTYPLAIN IN (1, -2, 5)",
                 Expected([](const TKindRow& r) { return r.Qty && (*r.Qty == 1 || *r.Qty == -2 || *r.Qty == 5); }));
}

TEST_F(CursorFilterKindsTest, ConstantsOutsideTheColumnsTypeKeepTheirMeaning) {
  ExpectBothWays("W < 0", "WPLAIN < 0", {});
  ExpectBothWays("W >= 2", "WPLAIN >= 2", Expected([](const TKindRow& r) { return r.Word.value_or(0) >= 2; }));
  ExpectBothWays("QTY >= 2.5", "QTYPLAIN >= 2.5", Expected([](const TKindRow& r) { return r.Qty.value_or(0) >= 3; }),
                 olNone);
  ExpectBothWays("QTY IN (2.5)", "QTYPLAIN IN (2.5)", {}, olNone);
  ExpectBothWays("S < 100000", "SPLAIN < 100000", Expected([](const TKindRow&) { return true; }), olNone);
  ExpectBothWays("S > -100000 AND S <= 700", "SPLAIN > -100000 AND SPLAIN <= 700",
                 Expected([](const TKindRow& r) { return r.Small.value_or(0) <= 700; }), olPartial);
}

// Evaluation sees NULL as its type's zero for orderings; "=" keeps NULL
// apart from every value.
TEST_F(CursorFilterKindsTest, NullsCountAsZeroForOrderingsOnly) {
  ExpectBothWays("QTY < 5", "QTYPLAIN < 5", Expected([](const TKindRow& r) { return r.Qty.value_or(0) < 5; }));
  ExpectBothWays("QTY > -1", "QTYPLAIN > -1", Expected([](const TKindRow& r) { return r.Qty.value_or(0) > -1; }));
  ExpectBothWays("QTY = 0", "QTYPLAIN = 0", Expected([](const TKindRow& r) { return r.Qty && *r.Qty == 0; }));
  ExpectBothWays("QTY <> 0", "QTYPLAIN <> 0", Expected([](const TKindRow& r) { return !r.Qty || *r.Qty != 0; }));
  ExpectBothWays("QTY IS NULL", "QTYPLAIN IS NULL", Expected([](const TKindRow& r) { return !r.Qty; }));
  ExpectBothWays("QTY BETWEEN -1 AND 1", "QTYPLAIN BETWEEN -1 AND 1",
                 Expected([](const TKindRow& r) { return r.Qty.value_or(0) >= -1 && r.Qty.value_or(0) <= 1; }));
  ExpectBothWays("W <= 1", "WPLAIN <= 1", Expected([](const TKindRow& r) { return r.Word.value_or(0) <= 1; }));
  ExpectBothWays("NAME < 'b'", "NAMEPLAIN < 'b'",
                 Expected([](const TKindRow& r) { return r.Name.value_or("") < std::string("b"); }));
  const std::vector<int32_t> withNames = Expected([](const TKindRow& r) { return r.Name.has_value(); });
  EXPECT_EQ(Select("NAME IS NOT NULL").Ids, withNames);
}

// Descending, the range from a key runs down to the smallest values and
// the nulls, which sort below every value.
TEST_F(CursorFilterKindsTest, LowBoundRangeOnADescendingIndex) {
  cursor->SetIndexName("ByWordDown");
  const uint16_t two = 2;
  std::vector<uint8_t> low(cursor->CursorRecordSize(), 0);
  cursor->PutTableField(fWord, low.data(), &two);
  cursor->SetRange(false, low.data(), 1, nullptr, 0);
  std::vector<int32_t> ids = Visible();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, Expected([](const TKindRow& r) { return r.Word.value_or(0) <= 2; }));
  TFilter* filter = Activate("W > 0 AND QTY <> 0");
  ids = Visible();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, Expected([](const TKindRow& r) {
              return r.Word && *r.Word > 0 && *r.Word <= 2 && (!r.Qty || *r.Qty != 0);
            }));
  cursor->DropFilter(filter);
}

// Whether nulls pass is decided once, not by reading the records that
// hold them.
TEST_F(CursorFilterKindsTest, NullKeysAreDecidedWithoutReadingRecords) {
  cursor->SetToBegin();
  TDataFile& data = cursor->Table()->DataFile();
  data.DropCache();
  const uint32_t reads = data.PhysicalReads();
  for (const char* text : {"QTY < 5", "QTY NOT IN (1, 2)", "W <= 1", "NAME < 'b'", "UPPER(NAME) = 'SMITH'"}) {
    TFilter* filter = Activate(text);
    EXPECT_EQ(filter->OptimizeLevel, olFull) << text;
    cursor->GetRecordCount();
    EXPECT_EQ(data.PhysicalReads(), reads) << text;
    cursor->DropFilter(filter);
  }
}

TEST_F(CursorFilterKindsTest, CaseOptionsAndPrefixComparisons) {
  auto named = [this](std::initializer_list<const char*> names) {
    return Expected([names](const TKindRow& r) {
      for (const char* name : names)
        if (r.Name == name) return true;
      return false;
    });
  };
  const TSelection anyCase = Select("NAME = 'smith'", true);
  EXPECT_EQ(anyCase.Ids, named({"SMITH", "Smith", "smith"}));
  EXPECT_EQ(anyCase.Level, olFull);
  EXPECT_EQ(Select("NAMEPLAIN = 'smith'", true).Ids, anyCase.Ids);
  EXPECT_EQ(Select("NAME = 'smith'").Ids, named({"smith"}));

  const TSelection prefix = Select("NAME = 'Smi*'");
  EXPECT_EQ(prefix.Ids, named({"Smith", "Smithers", "Smi*"}));
  EXPECT_EQ(prefix.Level, olFull);
  EXPECT_EQ(Select("NAMEPLAIN = 'Smi*'").Ids, prefix.Ids);
  EXPECT_EQ(Select("NAME = 'Smi*'", false, true).Ids, named({"Smi*"}));
  EXPECT_EQ(Select("NAME = 'smi*'", true).Ids, named({"SMITH", "Smith", "smith", "Smithers", "Smi*"}));

  const TSelection upper = Select("UPPER(NAME) = 'SMITH'");
  EXPECT_EQ(upper.Ids, named({"SMITH", "Smith", "smith"}));
  EXPECT_EQ(upper.Level, olFull);
  EXPECT_EQ(Select("UPPER(NAMEPLAIN) = 'SMITH'").Ids, upper.Ids);
  EXPECT_EQ(Select("UPPER(NAME) = 'Smith'").Ids, std::vector<int32_t>{});
}

// ---- keys against record-by-record evaluation ------------------------------

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
      cursor->InsertRecord(record.data(), false);
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
      cursor->SetRange(false, Record(*cursor, {&low}).data(), 1, Record(*cursor, {&high}).data(), 1);
    }
    TFilter* filter = Activate(text, caseInsensitive, false, costChoice);
    if (level) *level = filter->OptimizeLevel;
    std::vector<int32_t> ids = Visible();
    cursor->DropFilter(filter);
    if (ranged) cursor->ResetRange();
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  void ExpectTwinsAgree(const std::string& pattern, bool caseInsensitive = false) {
    const std::string indexed = Columns(pattern, "");
    const std::string plain = Columns(pattern, "P");
    const bool ranged = conditions++ % 4 == 0;
    const std::vector<int32_t> expected = Selected(plain, caseInsensitive, false, ranged, nullptr);
    if (ranged)
      for (int32_t id : expected) ASSERT_TRUE(id >= RangeLow && id <= RangeHigh) << plain;
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
          "{N} LIKE 'Bo%'", "{N} LIKE '%'", "{N} LIKE 'b_b%'", "{N} NOT LIKE 'b%'"})
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

// ---- a language, and memos -----------------------------------------------

// The filter's text is UTF-8; the table holds its names in its code page.
// The language compares without accents, so Muller equals Müller, and
// keeps case apart unless asked not to.
TEST_F(CursorFilterTest, TextConstantsMeetALanguageTableInItsCodePage) {
  constexpr uint16_t German = 0x0407;
  Create("LEUTE", {{"ID", IntType}, {"NAME", StrType, 20}, {"NAMEPLAIN", StrType, 20}},
         {{"", {1}}, {"ByName", {2}, false}, {"ByNameNoCase", {2}, false, false, true}}, German);
  cursor = &OpenCursor("LEUTE");
  int32_t id = 0;
  for (const char* utf8 : {"Müller", "Muller", "Mueller", "Möller", "Müller", "MÜLLER", "müller"}) {
    const std::string stored = FieldTextFromUtf8(German, utf8);
    ASSERT_EQ(stored.find('\xC3'), std::string::npos);
    ++id;
    std::vector<uint8_t> record = Record(*cursor, {&id, stored.c_str(), stored.c_str()});
    cursor->InsertRecord(record.data(), false);
  }
  // By keys on NAME, by reading NAMEPLAIN.
  auto expectBothWays = [this](const std::string& condition, bool caseInsensitive, const std::vector<int32_t>& ids) {
    for (const char* column : {"NAME", "NAMEPLAIN"}) {
      TFilter* filter = Activate(column + condition, caseInsensitive);
      EXPECT_EQ(filter->OptimizeLevel, std::string(column) == "NAME" ? olFull : olNone) << column << condition;
      EXPECT_EQ(Visible(), ids) << column << condition;
      cursor->DropFilter(filter);
    }
  };
  expectBothWays(" = 'Müller'", false, {1, 2, 5});
  expectBothWays(" = 'MÜLLER'", true, {1, 2, 5, 6, 7});
  expectBothWays(" IN ('Möller', 'müller')", false, {4, 7});
  TFilter* upper = Activate("UPPER(NAME) = 'MÜLLER'");
  EXPECT_EQ(upper->OptimizeLevel, olFull);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 2, 5, 6, 7}));
  cursor->DropFilter(upper);
  // Lower case sorts before upper case.
  Activate("NAME > 'Möller' AND NAMEPLAIN < 'Müller'");
  EXPECT_EQ(Visible(), (std::vector<int32_t>{3, 7}));
}

// Dates in a filter text are read by the session's language, whatever the
// table's; by keys and record by record alike.
TEST_F(CursorFilterTest, DatesFollowTheSessionsLanguage) {
  Create("DAYS", {{"ID", IntType}, {"D", EngineFieldTypes::ftDate}, {"DP", EngineFieldTypes::ftDate}},
         {{"", {1}}, {"ByDay", {2}, false}}, 0x0407);
  cursor = &OpenCursor("DAYS");
  for (int32_t id = 1; id <= 10; ++id) {
    const int32_t day = Jan31Of2004 + id - 5;
    std::vector<uint8_t> record = Record(*cursor, {&id, id == 10 ? nullptr : &day, id == 10 ? nullptr : &day});
    cursor->InsertRecord(record.data(), false);
  }
  const std::vector<int32_t> fromJan31 = {5, 6, 7, 8, 9};
  for (const char* column : {"D", "DP"}) {
    SCOPED_TRACE(column);
    session->LanguageID = 0;
    TFilter* filter = Activate(std::string(column) + " >= '2004-01-31'");
    EXPECT_EQ(Visible(), fromJan31);
    cursor->DropFilter(filter);
    session->LanguageID = 0x0409;
    EXPECT_EQ(ErrorOf([&] { Add(std::string(column) + " >= '2004-01-31'"); }), CurErrFilter);
    filter = Activate(std::string(column) + " >= '1/31/2004'");
    EXPECT_EQ(filter->OptimizeLevel, std::string(column) == "D" ? olFull : olNone);
    EXPECT_EQ(Visible(), fromJan31);
    cursor->DropFilter(filter);
    filter = Activate(std::string(column) + " = '2/1/2004' OR " + column + " IS NULL");
    EXPECT_EQ(Visible(), (std::vector<int32_t>{6, 10}));
    cursor->DropFilter(filter);
  }
  session->LanguageID = 0;
}

// Written through the cursor; a record inserted under the filter is tested
// while its memo is still the buffer's own.
TEST_F(CursorFilterTest, MemoConditionReadsTheMemo) {
  Create("NOTES", {{"ID", IntType}, {"NOTE", BlobFieldType, 0, stMemo}}, {{"", {1}}});
  cursor = &OpenCursor("NOTES");
  auto insert = [this](int32_t id, const std::string& note) {
    std::vector<uint8_t> record = Record(*cursor, {&id});
    if (!note.empty()) {
      ASSERT_EQ(cursor->OpenBlob(2, record.data(), true, false, BlobOpenWrite), 0);
      ASSERT_EQ(cursor->WriteBlob(2, record.data(), false, int32_t(note.size()), note.data(), 0), 0);
    }
    cursor->InsertRecord(record.data(), false);
  };
  const std::vector<std::string> notes = {"xxabcxx", "", "abc", std::string(5000, 'q') + "abc", "ab c", "ABC"};
  for (int32_t id = 1; id <= int32_t(notes.size()); ++id) insert(id, notes[size_t(id - 1)]);
  TFilter* filter = Activate("NOTE LIKE '%abc%'");
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 3, 4}));
  ASSERT_TRUE(Find(*cursor, 3));
  std::vector<uint8_t> record = Current(*cursor);
  ASSERT_EQ(cursor->OpenBlob(2, record.data(), true, false, BlobOpenWrite), 0);
  ASSERT_EQ(cursor->TruncateBlob(2, record.data(), false, 1), 0);
  EXPECT_NO_THROW(cursor->ModifyRecord(record.data(), false, false));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 4}));
  EXPECT_NO_THROW(insert(7, std::string(3000, 'r') + "abc"));
  EXPECT_NO_THROW(insert(8, "abd"));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 4, 7}));
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
}

}  // namespace
