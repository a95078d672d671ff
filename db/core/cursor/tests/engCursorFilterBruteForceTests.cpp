// Cursor filters against brute force: random conditions over tables of a
// few thousand seeded rows (NULLs, duplicates, indexes of every kind) must
// show exactly the rows their predicates select, through every way of
// moving, whether an index serves them or records are read.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <iterator>
#include <memory>

#include "engFilterBruteForceSupport.h"

namespace {

using namespace brute;

constexpr uint16_t EnglishUs = 0x0409;

const TOrder Natural{};

class CursorFilterBruteForceTest : public CursorWriteTest {
 protected:
  TDataCursor* cursor = nullptr;
  std::map<int32_t, TRow> rows;
  TRandom random{20261207};
  bool withLanguage = false;
  int32_t nextId = 1;
  std::vector<std::string> failures;

  void Build(uint16_t languageId, int rowCount, bool exclusive = false, const std::vector<TIndexSpec>& more = {}) {
    withLanguage = languageId != 0;
    std::vector<TIndexSpec> indexes = TableIndexes();
    indexes.insert(indexes.end(), more.begin(), more.end());
    Create("BRUTE", TableFields(), indexes, languageId);
    cursor = &OpenCursor("BRUTE", exclusive);
    for (int n = 0; n < rowCount; ++n) InsertRow(RandomRow(random, nextId++), false);
    // Deleted slots, some taken again, so natural order is not ID order.
    for (int n = 0; n < rowCount / 12; ++n) {
      const int32_t id = random.Between(1, nextId - 1);
      if (!rows.count(id) || !Find(*cursor, id)) continue;
      cursor->DeleteRecord(Current(*cursor).data());
      rows.erase(id);
    }
    for (int n = 0; n < rowCount / 24; ++n) InsertRow(RandomRow(random, nextId++), false);
  }

  TConditionGenerator Generator() { return TConditionGenerator(random, withLanguage, int(rows.size())); }

  void InsertRow(const TRow& row, bool goToNew) {
    std::vector<uint8_t> record = RecordOf(row);
    cursor->InsertRecord(record.data(), {.GoToRecord = goToNew});
    rows[row.Id] = row;
  }

  std::vector<uint8_t> RecordOf(const TRow& row) const {
    std::vector<uint8_t> record(cursor->CursorRecordSize(), 0);
    for (const TColumn& column : Columns) {
      const auto& number = row.Number[size_t(column.Field)];
      const auto& text = row.Text[size_t(column.Field)];
      int32_t whole = int32_t(number.value_or(0));
      int16_t small = int16_t(whole);
      uint16_t word = uint16_t(whole);
      double real = number.value_or(0);
      char chars[32] = {};
      const void* value = &whole;
      switch (column.Kind) {
        case TKind::Small: value = &small; break;
        case TKind::Word: value = &word; break;
        case TKind::Float: value = &real; break;
        case TKind::Text:
          if (text) text->copy(chars, sizeof chars - 1);
          value = chars;
          break;
        default: break;
      }
      cursor->PutTableField(column.Field, record.data(), (text || number) ? value : nullptr);
    }
    return record;
  }

  std::vector<int32_t> Expected(const std::function<bool(const TRow&)>& holds) const {
    std::vector<int32_t> ids;
    for (const auto& [id, row] : rows)
      if (holds(row)) ids.push_back(id);
    return ids;
  }

  TCursorFilterOptions RandomOptions() {
    TCursorFilterOptions options;
    options.CaseInsensitive = random.Chance(20);
    options.NoPartialCompare = random.Chance(10);
    options.CostChoice = random.Chance(25);
    return options;
  }

  TFilter* Add(const std::string& text, const TCursorFilterOptions& options) {
    return cursor->Filters().AddFilter(text, options);
  }

  const TOrder& RandomIndexOrder() { return IndexOrders()[size_t(random.Below(int(IndexOrders().size())))]; }

  void SelectOrder(TDataCursor& on, const TOrder& order) {
    if (order.Field == 0)
      on.SetIndexNo(NaturalOrderIndex);
    else
      on.SetIndexName(order.IndexName);
  }

  // Text orders of a table with a language follow its collation, which the
  // model does not know.
  bool ModelKnowsOrder(const TOrder& order) const {
    return order.Field == 0 || !withLanguage || ColumnOf(order.Field).Kind != TKind::Text;
  }

  static std::string OrderName(const TOrder& order) {
    return order.Field == 0 ? "natural order" : order.IndexName.empty() ? "primary index" : order.IndexName;
  }

  static std::string List(const std::vector<int32_t>& ids) {
    std::string text;
    for (size_t i = 0; i < ids.size() && i < 6; ++i) text += (i ? " " : "") + std::to_string(ids[i]);
    return ids.size() > 6 ? text + " ..." : text;
  }

  static std::string Difference(const std::vector<int32_t>& expected, std::vector<int32_t> got) {
    std::sort(got.begin(), got.end());
    if (got == expected) return {};
    std::vector<int32_t> missing, extra;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    return "expected " + std::to_string(expected.size()) + " IDs, got " + std::to_string(got.size()) +
           "; missing IDs {" + List(missing) + "}, unexpected IDs {" + List(extra) + "}";
  }

  struct TVisit {
    int32_t Id;
    uint32_t Record;
    int32_t Sequence;
    bool operator==(const TVisit&) const = default;
  };

  // What a walk from one end to the other stands on.
  std::vector<TVisit> Visits(TDataCursor& on, bool forward) const {
    std::vector<TVisit> visits;
    if (forward)
      on.SetToBegin();
    else
      on.SetToEnd();
    for (on.MoveBy(forward ? 1 : -1); on.OnRecord() && visits.size() <= rows.size(); on.MoveBy(forward ? 1 : -1))
      visits.push_back({IdOf(on), on.CurrentRecordNumber(), on.GetSequenceNo()});
    return visits;
  }

  std::vector<int32_t> WalkIds(TDataCursor& on) const {
    std::vector<int32_t> ids;
    for (const TVisit& visit : Visits(on, true)) ids.push_back(visit.Id);
    return ids;
  }

  // The visible set in the order selected: count, both walks, the order;
  // with navigate also jumps, sequence numbers, key searches, bookmarks.
  std::string CheckView(const TOrder& order, const std::vector<int32_t>& expected, bool navigate) {
    SelectOrder(*cursor, order);
    if (cursor->GetRecordCount() != int32_t(expected.size()))
      return "record count " + std::to_string(cursor->GetRecordCount()) + ", expected " +
             std::to_string(expected.size());
    const auto visits = Visits(*cursor, true);
    std::vector<int32_t> forward;
    for (const TVisit& visit : visits) forward.push_back(visit.Id);
    if (std::string difference = Difference(expected, forward); !difference.empty())
      return "forward walk: " + difference;
    auto backward = Visits(*cursor, false);
    std::reverse(backward.begin(), backward.end());
    if (backward != visits) return "backward walk is not the forward walk reversed";
    // In natural order sequence numbers count visible records; in index
    // order they count every key of the window, hidden ones too.
    for (size_t i = 0; i < visits.size(); ++i)
      if (order.Field == 0 ? visits[i].Sequence != int32_t(i + 1)
                           : i > 0 && visits[i].Sequence <= visits[i - 1].Sequence)
        return "walk gives ID " + std::to_string(forward[i]) + " sequence number " + std::to_string(visits[i].Sequence);
    for (size_t i = 1; i < visits.size(); ++i) {
      const bool inOrder = order.Field == 0 ? visits[i - 1].Record < visits[i].Record
                                            : !ModelKnowsOrder(order) || CompareInOrder(order, rows.at(forward[i - 1]),
                                                                                        rows.at(forward[i])) <= 0;
      if (!inOrder)
        return "walk out of order at IDs " + std::to_string(forward[i - 1]) + ", " + std::to_string(forward[i]);
    }
    if (!navigate || forward.empty()) return {};
    std::string failure = CheckJumps(order, forward);
    if (failure.empty()) failure = CheckSequenceNumbers(visits);
    if (failure.empty() && ModelKnowsOrder(order) && order.Field != 0) failure = CheckKeySearch(order, forward);
    if (failure.empty()) failure = CheckBookmark(forward);
    return failure;
  }

  std::string CheckJumps(const TOrder& order, const std::vector<int32_t>& forward) {
    const int count = int(forward.size());
    for (int attempt = 0; attempt < 3; ++attempt) {
      const int from = random.Below(count);
      cursor->SetToBegin();
      cursor->MoveBy(from + 1);
      if (!cursor->OnRecord() || IdOf(*cursor) != forward[size_t(from)])
        return "MoveBy(" + std::to_string(from + 1) + ") from the start missed ID " +
               std::to_string(forward[size_t(from)]);
      const int step = random.Chance(50) ? random.Between(-4, 4) : random.Between(-count, count);
      const int to = from + step;
      cursor->MoveBy(step);
      const std::string jump = "MoveBy(" + std::to_string(step) + ") from position " + std::to_string(from + 1);
      if (to < 0 || to >= count) {
        if (cursor->OnRecord() || (to < 0 ? !cursor->AtBeginning() : !cursor->AtEnd()))
          return jump + " did not leave the visible records at the right end";
      } else if (!cursor->OnRecord() || IdOf(*cursor) != forward[size_t(to)]) {
        return jump + " missed ID " + std::to_string(forward[size_t(to)]);
      } else if (order.Field == 0 && cursor->GetSequenceNo() != to + 1) {
        return jump + " gave sequence number " + std::to_string(cursor->GetSequenceNo());
      }
    }
    return {};
  }

  // A sequence number the walk met leads back to its record.
  std::string CheckSequenceNumbers(const std::vector<TVisit>& visits) {
    const size_t count = visits.size();
    for (size_t i : {size_t(0), count - 1, size_t(random.Below(int(count)))}) {
      cursor->SetToSequenceNo(visits[i].Sequence);
      if (!cursor->OnRecord() || IdOf(*cursor) != visits[i].Id || cursor->GetSequenceNo() != visits[i].Sequence)
        return "SetToSequenceNo(" + std::to_string(visits[i].Sequence) + ") missed ID " + std::to_string(visits[i].Id);
    }
    cursor->SetToSequenceNo(visits.back().Sequence + 1);
    if (cursor->OnRecord()) return "SetToSequenceNo past the last visible record stands on a record";
    return {};
  }

  // A nearest search lands on the first visible key not before the one
  // searched; past them all, a filtered cursor steps back to the last.
  std::string CheckKeySearch(const TOrder& order, const std::vector<int32_t>& forward) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      TRow probe;
      const size_t f = size_t(order.Field);
      const TRow& sample = rows.at(forward[size_t(random.Below(int(forward.size())))]);
      const TColumn& column = ColumnOf(order.Field);
      if (random.Chance(50)) {
        probe.Number[f] = sample.Number[f];
        probe.Text[f] = sample.Text[f];
      } else if (column.Kind == TKind::Text) {
        // A key between stored ones, within the field's size.
        std::string text = random.Pick(NamePool());
        if (random.Chance(50) && int(text.size()) < column.High) text += "0";
        probe.Text[f] = text;
      } else if (!random.Chance(10)) {
        const double base = column.Kind == TKind::Date ? FirstDay : 0;
        const int low = column.Kind == TKind::Word ? 0 : column.Low - 3;
        probe.Number[f] = base + random.Between(low, (order.Field == fId ? int(rows.size()) : column.High) + 3);
      }
      std::vector<uint8_t> key = RecordOf(probe);
      const bool hit = cursor->FindKey(key.data(), {.FieldCount = 1});
      auto landing = std::find_if(forward.begin(), forward.end(),
                                  [&](int32_t id) { return CompareInOrder(order, rows.at(id), probe) >= 0; });
      if (landing == forward.end()) --landing;
      const auto& text = probe.Text[f];
      const auto& number = probe.Number[f];
      const std::string search = "FindKey(nearest) for " + (text     ? "'" + *text + "'"
                                                            : number ? std::to_string(*number)
                                                                     : std::string("NULL"));
      if (!cursor->OnRecord() || IdOf(*cursor) != *landing)
        return search + " should land on ID " + std::to_string(*landing) + ", stands on " +
               (cursor->OnRecord() ? std::to_string(IdOf(*cursor)) : std::string("no record"));
      if (hit != (CompareInOrder(order, rows.at(*landing), probe) == 0))
        return search + " reported " + (hit ? "a hit" : "no hit") + " on ID " + std::to_string(*landing);
    }
    return {};
  }

  std::string CheckBookmark(const std::vector<int32_t>& forward) {
    const int at = random.Below(int(forward.size()));
    cursor->SetToBegin();
    cursor->MoveBy(at + 1);
    std::vector<uint8_t> bookmark(size_t(cursor->GetBookmarkSize()));
    cursor->GetBookmark(bookmark.data());
    cursor->SetToEnd();
    if (!cursor->GotoBookmark(bookmark.data()) || !cursor->OnRecord() ||
        IdOf(*cursor) != forward[size_t(at)])
      return "bookmark of ID " + std::to_string(forward[size_t(at)]) + " did not lead back to it";
    return {};
  }

  // One filter through natural order and the orders given.
  void CheckCondition(const TCondition& condition, const TCursorFilterOptions& options, const std::vector<TOrder>& orders) {
    const std::string what = condition.Text + Describe(options);
    try {
      TFilter* filter = Add(condition.Text, options);
      if (condition.Level != LevelUnknown && filter->OptimizeLevel != condition.Level)
        failures.push_back(what + ": optimisation level " + std::to_string(filter->OptimizeLevel) + ", expected " +
                           std::to_string(condition.Level));
      cursor->Filters().ActivateFilter(filter);
      const std::vector<int32_t> expected = Expected(condition.Holds);
      // Before any walk: a count the keys alone may have given.
      if (cursor->GetRecordCount() != int32_t(expected.size()))
        failures.push_back(what + ": record count " + std::to_string(cursor->GetRecordCount()) +
                           " right after switching on, expected " + std::to_string(expected.size()));
      for (const TOrder& order : orders)
        if (std::string failure = CheckView(order, expected, true); !failure.empty())
          failures.push_back(what + " in " + OrderName(order) + ": " + failure);
    } catch (const Exception& error) {
      failures.push_back(what + ": " + error.ClassName() + " " + error.Message);
    }
    DropFilters();
  }

  // A cursor that cannot even drop its filters ends the test, with what
  // was found so far.
  void DropFilters() {
    try {
      cursor->Filters().DropFilter(nullptr);
    } catch (const Exception& error) {
      failures.push_back(std::string("dropping the filters: ") + error.ClassName() + " " + error.Message);
      ExpectNoFailures();
      throw;
    }
  }

  void ExpectNoFailures() {
    std::string report;
    for (size_t i = 0; i < failures.size() && i < 12; ++i) report += "\n  " + failures[i];
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, the first:" << report;
  }
};

TEST_F(CursorFilterBruteForceTest, RandomConditionsShowWhatTheirPredicatesSelect) {
  Build(0, 2000);
  TConditionGenerator generator = Generator();
  for (int n = 0; n < 150; ++n) {
    const TCursorFilterOptions options = RandomOptions();
    CheckCondition(generator.Next(options), options, {Natural, RandomIndexOrder(), RandomIndexOrder()});
  }
  ExpectNoFailures();
}

TEST_F(CursorFilterBruteForceTest, RandomConditionsOnATableWithALanguage) {
  Build(EnglishUs, 2000);
  TConditionGenerator generator = Generator();
  for (int n = 0; n < 64; ++n) {
    TCursorFilterOptions options = RandomOptions();
    options.CostChoice = false;
    CheckCondition(generator.Next(options), options, {Natural, RandomIndexOrder()});
  }
  ExpectNoFailures();
}

// Values past every stored one, NULL's zero value, and constants the
// column's type cannot hold.
TEST_F(CursorFilterBruteForceTest, EdgeConstantsSelectWhatEvaluationSelects) {
  Build(0, 2000);
  auto value = [](int field) { return [field](const TRow& row) { return row.Number[size_t(field)].value_or(0); }; };
  auto isNull = [](int field) { return [field](const TRow& row) { return !row.Number[size_t(field)]; }; };
  const auto word = value(fWord), num = value(fNum), amount = value(fAmount), day = value(fDay);
  auto name = [](const TRow& row) { return row.Text[fName].value_or(""); };
  const std::vector<TCondition> conditions = {
      {"WCOUNT < 0", [](const TRow&) { return false; }, olFull},
      {"WCOUNT <= -1", [](const TRow&) { return false; }, olNone},
      {"WCOUNT > -1", [](const TRow&) { return true; }, olNone},
      {"WCOUNT >= 0", [](const TRow&) { return true; }, olFull},
      {"WCOUNT <= 0", [&](const TRow& row) { return word(row) == 0; }, olFull},
      {"WCOUNT = 0", [&](const TRow& row) { return row.Number[fWord] == 0.0; }, olFull},
      {"WCOUNT <= 65535", [](const TRow&) { return true; }, olFull},
      {"WCOUNT < 65536", [](const TRow&) { return true; }, olNone},
      {"WCOUNT = 65536", [](const TRow&) { return false; }, olNone},
      {"WCOUNT IN (65536, 0)", [&](const TRow& row) { return row.Number[fWord] == 0.0; }, olNone},
      {"SMALL < 100000", [](const TRow&) { return true; }, olNone},
      {"SMALL > -100000", [](const TRow&) { return true; }, olNone},
      {"SMALL = 100000", [](const TRow&) { return false; }, olNone},
      {"SMALL >= -32768", [](const TRow&) { return true; }, olFull},
      {"SMALL < 32768", [](const TRow&) { return true; }, olNone},
      {"SMALL > 32767", [](const TRow&) { return false; }, olFull},
      {"NUM >= 2.5", [&](const TRow& row) { return num(row) >= 2.5; }, olNone},
      {"NUM < -0.5", [&](const TRow& row) { return num(row) < -0.5; }, olNone},
      {"NUM IN (2.5)", [](const TRow&) { return false; }, olNone},
      {"NUM NOT IN (2.5)", [](const TRow&) { return true; }, olNone},
      {"NUM IN (2.0, 3)", [&](const TRow& row) { return row.Number[fNum] == 2.0 || row.Number[fNum] == 3.0; }, olFull},
      {"NUM < -1000", [&](const TRow& row) { return num(row) < -1000; }, olFull},
      {"NUM > -1000", [&](const TRow& row) { return num(row) > -1000; }, olFull},
      {"NUM > 1000", [&](const TRow& row) { return num(row) > 1000; }, olFull},
      {"NUM < 0", [&](const TRow& row) { return num(row) < 0; }, olFull},
      {"NUM <= 0", [&](const TRow& row) { return num(row) <= 0; }, olFull},
      {"NUM BETWEEN -1 AND 1", [&](const TRow& row) { return num(row) >= -1 && num(row) <= 1; }, olFull},
      {"NUM NOT BETWEEN 0 AND 5", [&](const TRow& row) { return num(row) < 0 || num(row) > 5; }, olFull},
      {"NUM BETWEEN NULL AND 5", [&](const TRow& row) { return num(row) >= 0 && num(row) <= 5; }, olNone},
      {"NUM NOT BETWEEN -3 AND NULL", [&](const TRow& row) { return num(row) < -3 || num(row) > 0; }, olNone},
      {"5 < NUM", [&](const TRow& row) { return num(row) > 5; }, olFull},
      {"NUM = NULL", isNull(fNum), olFull},
      {"NUM <> NULL", [&](const TRow& row) { return !isNull(fNum)(row); }, olFull},
      {"NUM IN (NULL, 3)", [&](const TRow& row) { return isNull(fNum)(row) || num(row) == 3; }, olFull},
      {"NUM NOT IN (3, 4)", [&](const TRow& row) { return isNull(fNum)(row) || (num(row) != 3 && num(row) != 4); },
       olFull},
      {"NUM < 2147483647", [&](const TRow& row) { return num(row) < 2147483647; }, olFull},
      {"NUM > -2147483647", [&](const TRow& row) { return num(row) > -2147483647; }, olFull},
      {"NUM >= 2147483648.0", [](const TRow&) { return false; }, olNone},
      {"NUM > -2147483649.0", [](const TRow&) { return true; }, olNone},
      {"NUM < 4294967296.0", [](const TRow&) { return true; }, olNone},
      {"NUM <> 4294967296.0", [](const TRow&) { return true; }, olNone},
      {"NUM = 4294967296.0", [](const TRow&) { return false; }, olNone},
      {"AMOUNT >= 2", [&](const TRow& row) { return amount(row) >= 2; }, olFull},
      {"AMOUNT < 0.25", [&](const TRow& row) { return amount(row) < 0.25; }, olFull},
      {"AMOUNT > -0.25", [&](const TRow& row) { return amount(row) > -0.25; }, olFull},
      {"AMOUNT = -0.0", [&](const TRow& row) { return row.Number[fAmount] == 0.0; }, olFull},
      {"AMOUNT < -0.0", [&](const TRow& row) { return amount(row) < 0; }, olFull},
      {"AMOUNT >= -0.0", [&](const TRow& row) { return amount(row) >= 0; }, olFull},
      {"AMOUNT BETWEEN -0.0 AND 0.5", [&](const TRow& row) { return amount(row) >= 0 && amount(row) <= 0.5; }, olFull},
      {"DAY < '2020-01-05'", [&](const TRow& row) { return day(row) < FirstDay + 4; }, olFull},
      {"DAY >= '2019-01-01'", [&](const TRow& row) { return day(row) >= FirstDay - 365; }, olFull},
      {"NAME > ''", [&](const TRow& row) { return !name(row).empty(); }, LevelUnknown},
      {"NAME <= ''", [&](const TRow& row) { return name(row).empty(); }, LevelUnknown},
      {"NAME < 'B'", [&](const TRow& row) { return name(row) < "B"; }, olFull},
      {"NAME = 'ab '", [](const TRow&) { return false; }, olFull},
      {"NAME <> 'ab '", [](const TRow&) { return true; }, olFull},
      {"NAME > 'ab '", [&](const TRow& row) { return name(row) > "ab "; }, olFull},
      {"NAME <= 'ab '", [&](const TRow& row) { return name(row) <= "ab "; }, olFull},
      {"NAME = '*'", [](const TRow&) { return false; }, olFull},
      {"NAME <> '*'", [](const TRow&) { return true; }, olFull},
      {"NAME = 'abcdefghijkl'", [&](const TRow& row) { return name(row) == "abcdefghijkl"; }, olFull},
      {"NAME = 'abcdefghijklm'", [](const TRow&) { return false; }, olNone},
      {"NAME < 'abcdefghijklm'", [&](const TRow& row) { return name(row) < "abcdefghijklm"; }, olNone},
      {"NAME > 'abcdefghijkl'", [&](const TRow& row) { return name(row) > "abcdefghijkl"; }, olFull},
      {"NAME BETWEEN 'ab' AND 'abcdefghijklm'",
       [&](const TRow& row) { return name(row) >= "ab" && name(row) <= "abcdefghijklm"; }, olNone},
      {"NAME = 'abcdefghijklm*'", [](const TRow&) { return false; }, olNone},
      {"NAME = 'abcdefghijkl*'", [&](const TRow& row) { return name(row) == "abcdefghijkl"; }, olFull},
      {"UPPER(NAME) = 'AB'", [&](const TRow& row) { return row.Text[fName] && Upper(name(row)) == "AB"; }, olFull},
      {"UPPER(NAME) = 'ab'", [](const TRow&) { return false; }, olNone},
      {"UPPER(NAME) < 'B'", [&](const TRow& row) { return Upper(name(row)) < "B"; }, olFull},
      {"UPPER(NAME) >= 'b'", [](const TRow&) { return false; }, olNone},
  };
  for (const TCondition& condition : conditions) CheckCondition(condition, {}, {Natural});
  ExpectNoFailures();
}

// A name and a range of days that a two-field index holds in that order
// are answered by one stretch of its keys: every case of a name, the
// range's ends, an empty range, the type's extreme days and null days, the
// pair written in either order and among other conditions.
TEST_F(CursorFilterBruteForceTest, AnEqualNameAndADayRangeOnATwoFieldIndexSelectWhatEvaluationSelects) {
  Build(0, 2000, false,
        {{.Name = "ByNameDayCI", .Fields = {fName, fDay}, .Unique = false, .CaseInsensitive = true},
         {.Name = "ByNameDay", .Fields = {fName, fDay}, .Unique = false}});
  auto dayText = [](int32_t day) {
    using namespace std::chrono;
    const year_month_day date{sys_days{year{1} / 1 / 1} + days{day - 1}};
    char text[16];
    std::snprintf(text, sizeof text, "'%04d-%02u-%02u'", int(date.year()), unsigned(date.month()), unsigned(date.day()));
    return std::string(text);
  };
  struct TName {
    std::string text;
    std::function<bool(const std::optional<std::string>&)> holds;
  };
  const std::vector<TName> names = {
      {"UPPER(NAME) = 'AB'", [](const auto& name) { return name && Upper(*name) == "AB"; }},
      {"UPPER(NAME) = 'ABCDEFGHIJKL'", [](const auto& name) { return name && Upper(*name) == "ABCDEFGHIJKL"; }},
      {"NAME = 'aB'", [](const auto& name) { return name && *name == "aB"; }},
      {"NAME = 'zz'", [](const auto&) { return false; }}};
  const std::vector<std::pair<int32_t, int32_t>> days = {
      {FirstDay + 10, FirstDay + 20}, {FirstDay, FirstDay},        {FirstDay + 90, FirstDay + 90},
      {FirstDay + 20, FirstDay + 10}, {1, 3652059},                {FirstDay + 5, 3652059},
      {1, FirstDay + 3}};
  for (const TName& name : names)
    for (const auto& [low, high] : days) {
      const std::string range = "DAY BETWEEN " + dayText(low) + " AND " + dayText(high);
      auto inRange = [low = low, high = high](const TRow& row) {
        return row.Number[fDay] && *row.Number[fDay] >= low && *row.Number[fDay] <= high;
      };
      auto both = [&name, inRange](const TRow& row) { return name.holds(row.Text[fName]) && inRange(row); };
      const std::vector<TCondition> conditions = {
          {name.text + " AND " + range, both, olFull},
          {range + " AND " + name.text, both, olFull},
          {"GRP = 3 AND " + name.text + " AND " + range,
           [both](const TRow& row) { return row.Number[fGroup] == 3.0 && both(row); }, olPartial},
          {name.text + " AND (" + range + " AND NUM > 10)",
           [both](const TRow& row) { return both(row) && row.Number[fNum].value_or(0) > 10; }, olFull}};
      for (const TCondition& condition : conditions) CheckCondition(condition, {}, {Natural, RandomIndexOrder()});
    }
  ExpectNoFailures();
}

// An index-served condition is answered from keys alone; a scan reads.
TEST_F(CursorFilterBruteForceTest, IndexServedConditionsReadNoRecord) {
  Build(0, 2000);
  TConditionGenerator generator = Generator();
  TDataFile& data = cursor->Table()->DataFile();
  SelectOrder(*cursor, Natural);
  for (int served = 0; served < 60;) {
    const TCursorFilterOptions options = RandomOptions();
    const TCondition condition = generator.Next(options);
    if (condition.Level != olFull) continue;
    ++served;
    cursor->SetToBegin();
    data.DropCache();
    const uint32_t reads = data.PhysicalReads();
    TFilter* filter = Add(condition.Text, options);
    cursor->Filters().ActivateFilter(filter);
    EXPECT_EQ(data.PhysicalReads(), reads) << condition.Text << Describe(options);
    EXPECT_EQ(cursor->GetRecordCount(), int32_t(Expected(condition.Holds).size())) << condition.Text;
    cursor->Filters().DropFilter(filter);
  }
  cursor->SetToBegin();
  data.DropCache();
  const uint32_t reads = data.PhysicalReads();
  cursor->Filters().ActivateFilter(Add("GRP = 3", {}));
  EXPECT_GT(data.PhysicalReads(), reads);
}

// Several filters show what all of them let through, whether dependent or
// taking large ranges through their complement; switching one off shows
// what the others let through.
TEST_F(CursorFilterBruteForceTest, SeveralActiveFiltersShowTheirConjunction) {
  Build(0, 2000);
  TConditionGenerator generator = Generator();
  for (int n = 0; n < 30; ++n) {
    std::vector<TCondition> conditions;
    std::vector<TFilter*> filters;
    std::string what;
    auto allHold = [&](const TRow& row) {
      return std::all_of(conditions.begin(), conditions.end(), [&](const TCondition& c) { return c.Holds(row); });
    };
    try {
      for (int count = random.Between(2, 3); count > 0; --count) {
        TCursorFilterOptions options = RandomOptions();
        options.Dependent = random.Chance(40);
        conditions.push_back(generator.Next(options));
        what += "{" + conditions.back().Text + Describe(options) + "} ";
        filters.push_back(Add(conditions.back().Text, options));
        if (random.Chance(70)) cursor->Filters().ActivateFilter(filters.back());
      }
      cursor->Filters().ActivateFilter(nullptr);  // the rest at once
      for (const TOrder& order : {Natural, RandomIndexOrder()})
        if (std::string failure = CheckView(order, Expected(allHold), true); !failure.empty())
          failures.push_back(what + "in " + OrderName(order) + ": " + failure);
      const size_t off = size_t(random.Below(int(filters.size())));
      cursor->Filters().DeactivateFilter(filters[off]);
      conditions.erase(conditions.begin() + std::ptrdiff_t(off));
      if (std::string failure = CheckView(Natural, Expected(allHold), false); !failure.empty())
        failures.push_back(what + "with filter " + std::to_string(off + 1) + " off: " + failure);
    } catch (const Exception& error) {
      failures.push_back(what + ": " + error.ClassName() + " " + error.Message);
    }
    DropFilters();
  }
  ExpectNoFailures();
}

// The cursor's own inserts, changes and deletes keep the visible set equal
// to the predicates; a delete is counted at once.
TEST_F(CursorFilterBruteForceTest, OwnWritesUnderActiveFiltersKeepTheVisibleSet) {
  Build(0, 2000);
  TConditionGenerator generator = Generator();
  for (int round = 0; round < 4; ++round) {
    std::vector<TCondition> conditions;
    std::string what;
    for (int count = 0; count < 2; ++count) {
      TCursorFilterOptions options = RandomOptions();
      conditions.push_back(generator.Next(options));
      what += "{" + conditions.back().Text + Describe(options) + "} ";
      cursor->Filters().ActivateFilter(Add(conditions.back().Text, options));
    }
    auto expected = [&] {
      return Expected([&](const TRow& row) {
        return std::all_of(conditions.begin(), conditions.end(), [&](const TCondition& c) { return c.Holds(row); });
      });
    };
    TOrder order = RandomIndexOrder();
    for (int step = 0; step < 40; ++step) {
      if (step % 10 == 0) order = random.Chance(50) ? Natural : RandomIndexOrder();
      SelectOrder(*cursor, order);
      const int visible = cursor->GetRecordCount();
      const int action = visible == 0 ? 0 : random.Below(3);
      std::string change;
      if (action == 0) {
        const TRow row = RandomRow(random, nextId++);
        InsertRow(row, random.Chance(50));
        change = "insert of ID " + std::to_string(row.Id);
      } else {
        cursor->SetToBegin();
        cursor->MoveBy(random.Between(1, visible));
        const int32_t id = IdOf(*cursor);
        if (action == 1) {
          TRow row = RandomRow(random, id);
          std::vector<uint8_t> record = RecordOf(row);
          cursor->ModifyRecord(record.data(), {.GoToRecord = random.Chance(50)});
          rows[id] = row;
          change = "change of ID " + std::to_string(id);
        } else {
          cursor->DeleteRecord(Current(*cursor).data());
          rows.erase(id);
          change = "delete of ID " + std::to_string(id);
        }
      }
      const auto ids = expected();
      if (cursor->GetRecordCount() != int32_t(ids.size()))
        failures.push_back(what + "after the " + change + " in " + OrderName(order) + ": record count " +
                           std::to_string(cursor->GetRecordCount()) + ", expected " + std::to_string(ids.size()));
      else if (std::string failure = Difference(ids, WalkIds(*cursor)); !failure.empty())
        failures.push_back(what + "after the " + change + " in " + OrderName(order) + ": " + failure);
    }
    for (const TOrder& check : {Natural, RandomIndexOrder()})
      if (std::string failure = CheckView(check, expected(), true); !failure.empty())
        failures.push_back(what + "after the writes, in " + OrderName(check) + ": " + failure);
    cursor->Filters().DropFilter(nullptr);
  }
  ExpectNoFailures();
}

// A cursor opened before others wrote (another cursor of the process, the
// same in a transaction that writes its headers at the commit, another
// session, or the cursor itself) sees their inserts, deletes and changes
// in the filter it switches on afterwards and in its unfiltered natural
// order: records added past the bitmaps' old size, deleted ones gone,
// whether or not the table grew.
TEST_F(CursorFilterBruteForceTest, WritesBetweenTheOpenAndAFilterAreSeen) {
  Build(0, 1500);
  // Another session's writes are seen at the next look at the files'
  // headers, which strict detection makes at every operation.
  session->StrictChangeDetection = true;
  TDataCursor* const writerOfTheProcess = cursor;
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  TCursorPtr otherSession(new TDataCursor(other->OpenDirectory("", folder)));
  otherSession->SetOpenOptions({.TableName = "BRUTE"});
  otherSession->Open();
  TConditionGenerator generator = Generator();
  const char* const writers[] = {"another cursor", "a transaction", "another session", "the cursor itself"};
  for (int round = 0; round < 12; ++round) {
    // In natural order the open builds the records in use.
    TDataCursor& reader = OpenCursor("BRUTE");
    reader.SetIndexNo(NaturalOrderIndex);
    EXPECT_EQ(reader.GetRecordCount(), int32_t(rows.size()));
    const int kind = round % 4;
    TDataCursor& writer = kind == 2 ? *otherSession : kind == 3 ? reader : *writerOfTheProcess;
    if (kind == 1) directory->StartTransaction();
    // More inserts than a word of the bitmaps holds, so the table outgrows
    // them, or none: deletes and changes that leave its size as it was.
    const int inserts = round / 4 == 1 ? 0 : 70;
    for (int n = 0; n < inserts; ++n) {
      const TRow row = RandomRow(random, nextId++);
      writer.InsertRecord(RecordOf(row).data());
      rows[row.Id] = row;
    }
    for (int n = 0; n < 40; ++n) {
      const int32_t id = random.Between(1, nextId - 1);
      if (!rows.count(id) || !Find(writer, id)) continue;
      if (n % 2 == 0) {
        writer.DeleteRecord(Current(writer).data());
        rows.erase(id);
      } else {
        const TRow row = RandomRow(random, id);
        writer.ModifyRecord(RecordOf(row).data());
        rows[id] = row;
      }
    }
    if (kind == 1) directory->Commit(true);
    const std::string what = std::string("after writes by ") + writers[kind] + ", round " + std::to_string(round);
    cursor = &reader;
    const TCursorFilterOptions options = RandomOptions();
    const size_t before = failures.size();
    CheckCondition(generator.Next(options), options, {Natural, RandomIndexOrder()});
    for (size_t i = before; i < failures.size(); ++i) failures[i] = what + ": " + failures[i];
    // A count is the one the last move saw.
    if (std::string failure = Difference(Expected([](const TRow&) { return true; }), WalkIds(reader));
        !failure.empty())
      failures.push_back(what + ", unfiltered: " + failure);
    if (reader.GetRecordCount() != int32_t(rows.size()))
      failures.push_back(what + ", unfiltered: record count " + std::to_string(reader.GetRecordCount()) +
                         ", expected " + std::to_string(rows.size()));
    cursor = writerOfTheProcess;
  }
  otherSession.reset();
  FreeEngineSession(other);
  ExpectNoFailures();
}

// A table held exclusively keeps the newest of many own inserts in its
// record cache; filters that read records must find them there.
TEST_F(CursorFilterBruteForceTest, FiltersOnATableHeldExclusively) {
  Build(0, 3000, true);
  TConditionGenerator generator = Generator();
  for (int n = 0; n < 15; ++n) {
    const TCursorFilterOptions options = RandomOptions();
    CheckCondition(generator.Next(options), options, {Natural, RandomIndexOrder()});
  }
  ExpectNoFailures();
}

TEST_F(CursorFilterBruteForceTest, CloneOfAFilteredCursorSeesTheSameRecords) {
  Build(0, 2000);
  TConditionGenerator generator = Generator();
  for (int n = 0; n < 20; ++n) {
    const TCursorFilterOptions options = RandomOptions();
    const TCondition condition = generator.Next(options);
    cursor->Filters().ActivateFilter(Add(condition.Text, options));
    const TOrder& order = n % 2 ? Natural : RandomIndexOrder();
    SelectOrder(*cursor, order);
    const std::vector<int32_t> walk = WalkIds(*cursor);
    if (!walk.empty()) {
      cursor->SetToBegin();
      cursor->MoveBy(random.Between(1, int(walk.size())));
    }
    std::unique_ptr<TDataCursor> twin(cursor->Clone());
    const std::string what = condition.Text + Describe(options) + " in " + OrderName(order);
    EXPECT_EQ(twin->GetRecordCount(), int32_t(walk.size())) << what;
    if (!walk.empty()) {
      EXPECT_EQ(IdOf(*twin), IdOf(*cursor)) << what;
    }
    EXPECT_EQ(WalkIds(*twin), walk) << what;
    EXPECT_EQ(Difference(Expected(condition.Holds), walk), "") << what;
    twin.reset();
    cursor->Filters().DropFilter(nullptr);
  }
}

}  // namespace
