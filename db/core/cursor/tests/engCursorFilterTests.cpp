// Filters on cursors: what they let through, by index or by reading the
// records, and how navigation and counts follow them.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursorFilterTestSupport.h"
#include "engErrorCodes.h"
#include "engFieldText.h"
#include "engFieldTypes.h"

namespace {

TEST_F(CursorFilterTest, IndexServedComparisonSelectsTheMatchingRecords) {
  Fill(50);
  cursor->SetIndexName("");
  TFilter* filter = Activate("GRP = 2");
  EXPECT_EQ(filter->OptimizeLevel, olFull);
  EXPECT_EQ(cursor->GetRecordCount(), 10);
  std::vector<int32_t> ids = Walk(*cursor);
  ASSERT_EQ(ids.size(), 10u);
  for (int32_t id : ids) EXPECT_EQ(id % 5, 2);
  cursor->Filters().DropFilter(filter);
  EXPECT_EQ(cursor->GetRecordCount(), 50);
}

TEST_F(CursorFilterTest, BadFilterTextsFailWithTheirTextsAndAddNothing) {
  Fill(5);
  const std::string prefix = "Filter error for table 'JOBS.DAT' - ";
  EXPECT_EQ(ErrorOf([&] { Add("  "); }), EngErrFilter);
  EXPECT_EQ(MessageOf([&] { Add(""); }), prefix + "filter expression is empty");
  EXPECT_EQ(MessageOf([&] { Add(" \t "); }), prefix + "filter expression is empty");
  EXPECT_EQ(MessageOf([&] { Add("GRP * 2 + 1"); }), prefix + "filter expression must be a boolean expression");
  EXPECT_EQ(MessageOf([&] { Add("GRP = = 2"); }),
            prefix + "Unknown or unexpected symbol '=' found in filter expression");
  EXPECT_EQ(MessageOf([&] { Add("NOPE = 1"); }),
            prefix + "Invalid column name 'NOPE' or table correlation name '' specified in filter expression");
  EXPECT_EQ(ErrorOf([&] { Add("NOPE = 1"); }), EngErrFilter);
  EXPECT_EQ(ErrorOf([&] { Add("GRP IN (SELECT GRP FROM JOBS)"); }), EngErrFilter);
  EXPECT_EQ(MessageOf([&] { Add("GRP = ?"); }), prefix + "Parameters are not allowed in filter expression");
  EXPECT_EQ(cursor->Filters().FilterCount(), 0);
}

TEST_F(CursorFilterTest, SixtyFourFiltersTogetherAndNoSixtyFifth) {
  Fill(70);
  for (int n = 1; n <= MaxCursorFilters; ++n) Add("ID <> " + std::to_string(n));
  EXPECT_EQ(ErrorOf([&] { Add("GRP = 1"); }), EngErrTooManyFilters);
  EXPECT_EQ(MessageOf([&] { Add("GRP = 1"); }), "Too many filters defined for table 'JOBS.DAT'");
  EXPECT_EQ(cursor->Filters().FilterCount(), MaxCursorFilters);
  cursor->Filters().ActivateFilter(nullptr);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{65, 66, 67, 68, 69, 70}));
}

// A handle of another cursor is unknown here; nothing of this cursor's
// filters changes.
TEST_F(CursorFilterTest, UnknownHandlesAndInactiveUpdatesFailAndChangeNothing) {
  Fill(20);
  TFilter* active = Activate("GRP = 1");
  TFilter* inactive = Add("ID < 10");
  TDataCursor& other = OpenCursor("JOBS");
  TFilter* foreign = other.Filters().AddFilter("GRP = 2");
  TExpTreePtr tree = Condition("GRP = 3");

  EXPECT_EQ(ErrorOf([&] { cursor->Filters().DropFilter(foreign); }), EngErrFilterHandle);
  EXPECT_EQ(MessageOf([&] { cursor->Filters().ActivateFilter(foreign); }),
            "Invalid filter handle specified for table 'JOBS.DAT'");
  EXPECT_EQ(ErrorOf([&] { cursor->Filters().DeactivateFilter(foreign); }), EngErrFilterHandle);
  EXPECT_EQ(ErrorOf([&] { cursor->Filters().UpdateFilter(tree.get(), foreign); }), EngErrFilterHandle);
  EXPECT_EQ(ErrorOf([&] { cursor->Filters().UpdateFilter(tree.get(), inactive); }), EngErrFilterHandle);

  ASSERT_EQ(cursor->Filters().FilterCount(), 2);
  EXPECT_TRUE(active->Active);
  EXPECT_FALSE(inactive->Active);
  EXPECT_FALSE(foreign->Active);
  EXPECT_EQ(other.Filters().FilterCount(), 1);
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
    cursor->Filters().DropFilter(filter);
  }
  TFilter* filter = Activate("2 >= GRP");
  EXPECT_EQ(Visible(), IdsWhere(40, [](int32_t id) { return id % 5 <= 2; }));
  cursor->Filters().DropFilter(filter);
}

TEST_F(CursorFilterTest, LowBoundRangeAndItsIntersectionWithAFilter) {
  Fill(60);
  cursor->SetIndexName("");
  int32_t low = 42;
  cursor->SetRange(Record(*cursor, {&low}).data(), 1, nullptr, 0);
  EXPECT_EQ(Visible(), IdsWhere(60, [](int32_t id) { return id >= 42; }));
  TFilter* filter = Activate("GRP = 3");
  EXPECT_EQ(Visible(), IdsWhere(60, [](int32_t id) { return id >= 42 && id % 5 == 3; }));
  // Own inserts below and inside the range, and a record moved out of it.
  Insert(*cursor, -2, "below", 3);
  Insert(*cursor, 98, "inside", 3);
  Insert(*cursor, 99, "other group", 4);
  int32_t moving = 43;
  ASSERT_TRUE(cursor->FindKey(Record(*cursor, {&moving}).data(), {.FieldCount = 1}));
  std::vector<uint8_t> moved = Row(*cursor, -43, "N43", 3);
  cursor->ModifyRecord(moved.data());
  std::vector<int32_t> expected = IdsWhere(60, [](int32_t id) { return id >= 42 && id % 5 == 3 && id != 43; });
  expected.push_back(98);
  EXPECT_EQ(Visible(), expected);
  cursor->ResetRange();
  expected = IdsWhere(60, [](int32_t id) { return id % 5 == 3 && id != 43; });
  expected.insert(expected.begin(), {-43, -2});
  expected.push_back(98);
  EXPECT_EQ(Visible(), expected);
  cursor->Filters().DropFilter(filter);
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
  EXPECT_TRUE(cursor->GotoBookmark(mark.data()));
  EXPECT_EQ(IdOf(*cursor), marked);
  int32_t group = 3;
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {nullptr, nullptr, &group}).data(), {.FieldCount = 1}));
  EXPECT_EQ(IdOf(*cursor), 4);

  cursor->SetIndexName("");
  int32_t hidden = 52;
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {&hidden}).data(), {.FieldCount = 1}));
  EXPECT_FALSE(cursor->FindKey(Record(*cursor, {&hidden}).data(), {.FieldCount = 1}));
  EXPECT_EQ(IdOf(*cursor), 54);

  TDataCursor& other = OpenCursor("JOBS");
  ASSERT_TRUE(Find(other, 53));
  EXPECT_EQ(cursor->SyncWith(other), EngErrRecordNotFound);
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
    cursor->GotoBookmark(marks[0].data(), TKeyMatch::Nearest);
    EXPECT_EQ(IdOf(*cursor), 12);
    cursor->GotoBookmark(marks[1].data(), TKeyMatch::Nearest);
    EXPECT_EQ(IdOf(*cursor), 17);
    cursor->Filters().DropFilter(filter);
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
    cursor->Filters().DropFilter(filter);
  }
  Activate("ID >= 10 AND ID < 20");
  EXPECT_EQ(cursor->GetRecordCount(), 10);
  EXPECT_EQ(data.PhysicalReads(), reads);

  TFilter* scanned = Activate("NAME LIKE '%1%'");
  EXPECT_EQ(scanned->OptimizeLevel, olNone);
  EXPECT_GT(data.PhysicalReads(), reads) << data.ReadAheadReads();
  EXPECT_EQ(Visible(), IdsWhere(400, [](int32_t id) { return id >= 10 && id < 20; }));
}

// A walk in natural order reads ahead across the few records a filter hides
// between those it shows, not stopping at each: a filter hiding one record
// in five costs no more reads than one hiding none. Across a long hidden
// stretch it stops, and reads on where the shown records start again.
TEST_F(CursorFilterTest, NaturalWalksReadAheadAcrossShortGaps) {
  constexpr int Count = 2000;
  Fill(Count);
  cursor->SetIndexNo(NaturalOrderIndex);
  struct TCase {
    const char* Filter;
    bool (*Accept)(int32_t id);
  };
  const TCase cases[] = {
      {"GRP <> 0", [](int32_t id) { return id % 5 != 0; }},
      {"GRP = 2", [](int32_t id) { return id % 5 == 2; }},
      {"GRP = 2 OR ID > 1900", [](int32_t id) { return id % 5 == 2 || id > 1900; }},
      {"ID < 100 OR ID > 1900", [](int32_t id) { return id < 100 || id > 1900; }},
  };
  TDataFile& data = cursor->Table()->DataFile();
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Filter);
    TFilter* filter = Activate(test.Filter);
    cursor->GetRecordCount();
    data.DropCache();
    const uint32_t reads = data.PhysicalReads();
    EXPECT_EQ(Walk(*cursor), IdsWhere(Count, test.Accept));
    EXPECT_LE(data.PhysicalReads() - reads, uint32_t(Count / 32));
    cursor->Filters().DropFilter(filter);
  }
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
    cursor->InsertRecord(record.data());
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
  TSelection Select(const std::string& text, const TCursorFilterOptions& options = {}) {
    TFilter* filter = Activate(text, options);
    TSelection selection{Visible(), filter->OptimizeLevel};
    cursor->Filters().DropFilter(filter);
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
    EXPECT_EQ(Select(indexed, {.CostChoice = true}).Ids, expected) << indexed << " by cost";
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
  cursor->SetRange(low.data(), 1, nullptr, 0);
  std::vector<int32_t> ids = Visible();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, Expected([](const TKindRow& r) { return r.Word.value_or(0) <= 2; }));
  TFilter* filter = Activate("W > 0 AND QTY <> 0");
  ids = Visible();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, Expected([](const TKindRow& r) {
              return r.Word && *r.Word > 0 && *r.Word <= 2 && (!r.Qty || *r.Qty != 0);
            }));
  cursor->Filters().DropFilter(filter);
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
    cursor->Filters().DropFilter(filter);
  }
}

// A count taken right after a filter is switched on (from the index's key
// counts where the filter alone decides) is the number of records a walk
// then visits: nulls, deleted slots, negations, both sides of a range of
// one column, the cost choice, a range of the cursor and a second filter.
TEST_F(CursorFilterKindsTest, CountsRightAfterSwitchingOnAreTheRecordsWalked) {
  for (const int32_t id : {3, 14, 45, 77}) {
    ASSERT_TRUE(Find(*cursor, id));
    cursor->DeleteRecord(Current(*cursor).data());
  }
  const char* texts[] = {"QTY = 1",         "QTY <> 1",        "QTY > 2",
                         "QTY < 2",         "QTY IS NULL",     "QTY IS NOT NULL",
                         "QTY = NULL",      "QTY <> NULL",     "QTY BETWEEN 0 AND 4",
                         "QTY NOT BETWEEN 0 AND 4",            "QTY IN (4)",
                         "QTY NOT IN (4)",  "QTY IN (4, 4)",   "QTY >= -1 AND QTY <= 3",
                         "QTY <= 3 AND QTY > -3",              "QTY > 9 AND QTY < 0",
                         "QTY < 5 AND QTY < -1",               "W < 3 AND W < 0",
                         "W > 1",           "W <= 2",          "W >= 1 AND W < 3",
                         "S >= 0",          "S < -7000",       "NAME = 'Smith'",
                         "NAME > 'S'",      "NAME >= 'Smith' AND NAME <= 'Smithers'"};
  const int32_t low = 20;
  for (const char* order : {"", "natural", "ByQty"}) {
    for (const bool ranged : {false, true}) {
      if (ranged && *order) continue;  // one ranged order is enough
      if (std::string(order) == "natural") cursor->SetIndexNo(NaturalOrderIndex);
      else cursor->SetIndexName(order);
      if (ranged) cursor->SetRange(Record(*cursor, {&low}).data(), 1, nullptr, 0);
      for (const bool costChoice : {false, true}) {
        for (const char* text : texts) {
          SCOPED_TRACE(std::string(text) + " in order '" + order + "'" + (ranged ? " with a range" : "") +
                       (costChoice ? " by cost" : ""));
          TFilter* filter = Activate(text, {.CostChoice = costChoice});
          const int32_t counted = cursor->GetRecordCount();
          EXPECT_EQ(counted, int32_t(Visible().size()));
          // A second filter, and a write, after a count that built nothing.
          cursor->Filters().DeactivateFilter(filter);
          cursor->Filters().ActivateFilter(filter);
          TFilter* second = Activate("ID > 40");
          EXPECT_EQ(cursor->GetRecordCount(), int32_t(Visible().size()));
          cursor->Filters().DropFilter(second);
          cursor->Filters().DropFilter(filter);
        }
      }
      if (ranged) cursor->ResetRange();
    }
  }
  const int32_t counted = [&] {
    Activate("QTY >= 0 AND QTY <= 2");
    return cursor->GetRecordCount();
  }();
  InsertRow({500, "adam", 1, 1, 1});
  EXPECT_EQ(cursor->GetRecordCount(), counted + 1);
  EXPECT_EQ(int32_t(Visible().size()), counted + 1);
}

TEST_F(CursorFilterKindsTest, CaseOptionsAndPrefixComparisons) {
  auto named = [this](std::initializer_list<const char*> names) {
    return Expected([names](const TKindRow& r) {
      for (const char* name : names)
        if (r.Name == name) return true;
      return false;
    });
  };
  const TSelection anyCase = Select("NAME = 'smith'", {.CaseInsensitive = true});
  EXPECT_EQ(anyCase.Ids, named({"SMITH", "Smith", "smith"}));
  EXPECT_EQ(anyCase.Level, olFull);
  EXPECT_EQ(Select("NAMEPLAIN = 'smith'", {.CaseInsensitive = true}).Ids, anyCase.Ids);
  EXPECT_EQ(Select("NAME = 'smith'").Ids, named({"smith"}));

  const TSelection prefix = Select("NAME = 'Smi*'");
  EXPECT_EQ(prefix.Ids, named({"Smith", "Smithers", "Smi*"}));
  EXPECT_EQ(prefix.Level, olFull);
  EXPECT_EQ(Select("NAMEPLAIN = 'Smi*'").Ids, prefix.Ids);
  EXPECT_EQ(Select("NAME = 'Smi*'", {.NoPartialCompare = true}).Ids, named({"Smi*"}));
  EXPECT_EQ(Select("NAME = 'smi*'", {.CaseInsensitive = true}).Ids, named({"SMITH", "Smith", "smith", "Smithers", "Smi*"}));

  const TSelection upper = Select("UPPER(NAME) = 'SMITH'");
  EXPECT_EQ(upper.Ids, named({"SMITH", "Smith", "smith"}));
  EXPECT_EQ(upper.Level, olFull);
  EXPECT_EQ(Select("UPPER(NAMEPLAIN) = 'SMITH'").Ids, upper.Ids);
  EXPECT_EQ(Select("UPPER(NAME) = 'Smith'").Ids, std::vector<int32_t>{});
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
    cursor->InsertRecord(record.data());
  }
  // By keys on NAME, by reading NAMEPLAIN.
  auto expectBothWays = [this](const std::string& condition, bool caseInsensitive, const std::vector<int32_t>& ids) {
    for (const char* column : {"NAME", "NAMEPLAIN"}) {
      TFilter* filter = Activate(column + condition, {.CaseInsensitive = caseInsensitive});
      EXPECT_EQ(filter->OptimizeLevel, std::string(column) == "NAME" ? olFull : olNone) << column << condition;
      EXPECT_EQ(Visible(), ids) << column << condition;
      cursor->Filters().DropFilter(filter);
    }
  };
  expectBothWays(" = 'Müller'", false, {1, 2, 5});
  expectBothWays(" = 'MÜLLER'", true, {1, 2, 5, 6, 7});
  expectBothWays(" IN ('Möller', 'müller')", false, {4, 7});
  TFilter* upper = Activate("UPPER(NAME) = 'MÜLLER'");
  EXPECT_EQ(upper->OptimizeLevel, olFull);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 2, 5, 6, 7}));
  cursor->Filters().DropFilter(upper);
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
    cursor->InsertRecord(record.data());
  }
  const std::vector<int32_t> fromJan31 = {5, 6, 7, 8, 9};
  for (const char* column : {"D", "DP"}) {
    SCOPED_TRACE(column);
    session->LanguageID = 0;
    TFilter* filter = Activate(std::string(column) + " >= '2004-01-31'");
    EXPECT_EQ(Visible(), fromJan31);
    cursor->Filters().DropFilter(filter);
    session->LanguageID = 0x0409;
    EXPECT_EQ(ErrorOf([&] { Add(std::string(column) + " >= '2004-01-31'"); }), EngErrFilter);
    filter = Activate(std::string(column) + " >= '1/31/2004'");
    EXPECT_EQ(filter->OptimizeLevel, std::string(column) == "D" ? olFull : olNone);
    EXPECT_EQ(Visible(), fromJan31);
    cursor->Filters().DropFilter(filter);
    filter = Activate(std::string(column) + " = '2/1/2004' OR " + column + " IS NULL");
    EXPECT_EQ(Visible(), (std::vector<int32_t>{6, 10}));
    cursor->Filters().DropFilter(filter);
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
      ASSERT_EQ(cursor->Blobs().OpenBlob(2, record.data(), {.Release = true}), 0);
      ASSERT_EQ(cursor->Blobs().WriteBlob(2, record.data(), TFieldNumbering::Cursor,
                                          {reinterpret_cast<const uint8_t*>(note.data()), note.size()}, 0),
                0);
    }
    cursor->InsertRecord(record.data());
  };
  const std::vector<std::string> notes = {"xxabcxx", "", "abc", std::string(5000, 'q') + "abc", "ab c", "ABC"};
  for (int32_t id = 1; id <= int32_t(notes.size()); ++id) insert(id, notes[size_t(id - 1)]);
  TFilter* filter = Activate("NOTE LIKE '%abc%'");
  EXPECT_EQ(filter->OptimizeLevel, olNone);
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 3, 4}));
  ASSERT_TRUE(Find(*cursor, 3));
  std::vector<uint8_t> record = Current(*cursor);
  ASSERT_EQ(cursor->Blobs().OpenBlob(2, record.data(), {.Release = true}), 0);
  ASSERT_EQ(cursor->Blobs().TruncateBlob(2, record.data(), TFieldNumbering::Cursor, 1), 0);
  EXPECT_NO_THROW(cursor->ModifyRecord(record.data()));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 4}));
  EXPECT_NO_THROW(insert(7, std::string(3000, 'r') + "abc"));
  EXPECT_NO_THROW(insert(8, "abd"));
  EXPECT_EQ(Visible(), (std::vector<int32_t>{1, 4, 7}));
  EXPECT_EQ(cursor->OpenBlobCount(), 0);
}

}  // namespace
