// The order check of every step over an index: a tree whose keys run
// against the order its descriptor gives is reported at each step, inside
// a leaf and where the step goes on into the next leaf, also where walks
// found the same pages in order before they were read again. And the steps
// over several records in index order, which read a leaf's records in one
// run: they hand out what single steps do.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engIndexFileLayout.h"

namespace {

class CursorWalkOrderTest : public CursorWriteTest {
protected:
  // What a walk handed out: each record's ID, name and record number.
  struct TWalked {
    std::vector<int32_t> Ids;
    std::vector<std::string> Names;
    std::vector<uint32_t> Numbers;
  };
  static void Note(TDataCursor& cursor, const uint8_t* record, uint32_t number, TWalked& walked) {
    walked.Ids.push_back(IntField(cursor, record, 1));
    char name[32] = {};
    bool blank = true;
    cursor.GetTableField(2, record, blank, name);
    walked.Names.emplace_back(name);
    walked.Numbers.push_back(number);
  }
  // The walk from the start by single steps, or by steps over several
  // records; the change runs once changeAt records went by (0: after the
  // first step), told how many.
  static TWalked WalkOf(TDataCursor& cursor, bool several, size_t changeAt = 0,
                        const std::function<void(size_t)>& change = nullptr, int32_t* steps = nullptr) {
    TWalked walked;
    std::vector<uint8_t> record(cursor.CursorRecordSize());
    TRecordBatch batch;
    bool changed = !change;
    int32_t taken = 0;
    cursor.SetToBegin();
    for (;;) {
      if (several) {
        if (cursor.GetNextRecords(batch) != 0) {
          EXPECT_EQ(batch.Count(), 0);
          break;
        }
        for (int32_t i = 0; i < batch.Count(); ++i) Note(cursor, batch.Record(i), batch.RecordNumber(i), walked);
        // The cursor stands on the last record handed out.
        EXPECT_EQ(cursor.CurrentRecordNumber(), walked.Numbers.back());
        EXPECT_EQ(IntField(cursor, cursor.GetCurrentRecordBuffer(), 1), walked.Ids.back());
      } else {
        if (cursor.GetNextRecord(record.data()) != 0) break;
        Note(cursor, record.data(), cursor.CurrentRecordNumber(), walked);
      }
      ++taken;
      if (!changed && walked.Ids.size() >= changeAt) {
        changed = true;
        change(walked.Ids.size());
      }
    }
    EXPECT_EQ(cursor.GetRecord(nullptr), EngErrEndOfFile);
    if (steps) *steps = taken;
    return walked;
  }
};

TEST_F(CursorWalkOrderTest, EveryStepAgainstTheKeysOrderIsReported) {
  // Enough rows of 20-character names for a few leaves of the second index.
  constexpr int Rows = 400;
  Create("ROWS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByGrpName", {3, 2}, false, true}});
  {
    TDataCursor& cursor = OpenCursor("ROWS");
    for (int id = 1; id <= Rows; ++id) Insert(cursor, id, "N" + std::to_string(id * 7919 % 1000), id % 7);
    cursors.clear();
  }
  // The descending flag cleared: every two neighbouring keys now stand the
  // wrong way round. A first open would find that and rebuild the index (or
  // refuse a read-only table), so the flag is cleared in the header of a
  // table already open, whose files are read-only so that nothing mends it.
  for (const char* file : {"ROWS.DAT", "ROWS.IDX"})
    std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read);
  TDataCursor& cursor = OpenCursor("ROWS");
  ASSERT_TRUE(cursor.Table()->IsReadOnly());
  // Every leaf walked whole while sound: a page keeps that finding only
  // until it is read again.
  cursor.SetIndexNo(1);
  std::vector<uint8_t> record(cursor.CursorRecordSize());
  for (const bool forward : {true, false}) {
    int steps = 0;
    forward ? cursor.SetToBegin() : cursor.SetToEnd();
    while ((forward ? cursor.GetNextRecord(record.data()) : cursor.GetPriorRecord(record.data())) == 0) ++steps;
    ASSERT_EQ(steps, Rows);
  }
  cursor.SetIndexNo(0);
  TIndexFile& file = cursor.Table()->IndexFile();
  uint8_t desc[IndexDescSize];
  file.GetIndexDescriptor(1, desc);
  const uint32_t root = file.GetRootOffset(1), firstFree = file.GetFirstFreePage(1);
  desc[IdxDescDescending] = 0;
  file.SetIndexDescriptor(1, desc);
  file.SetRootOffset(1, root);
  file.SetFirstFreePage(1, firstFree);
  file.DropPages(true);
  cursor.SetIndexNo(1);
  ASSERT_EQ(cursor.GetRecordCount(), Rows);
  for (int position = 1; position < Rows; ++position) {
    cursor.SetToSequenceNo(position);
    EXPECT_EQ(ErrorOf([&] { cursor.MoveBy(1); }), EngErrPageCorrupt) << "forward from " << position;
    cursor.SetToSequenceNo(position + 1);
    EXPECT_EQ(ErrorOf([&] { cursor.MoveBy(-1); }), EngErrPageCorrupt) << "backward from " << position + 1;
  }
}

// Every way the records of one leaf can lie: side by side in key order
// (appended in that order), in short stretches turned round, scattered,
// and under runs of equal keys (ordered by record number); with deleted
// records whose places new ones took, a filter hiding some, and a range
// that ends inside a leaf. Another cursor's changes between two steps (a
// record renamed in memory, one deleted, one added ahead of the walk) are
// seen as single steps see them.
TEST_F(CursorWalkOrderTest, StepsOverSeveralRecordsInIndexOrderHandOutWhatSingleStepsDo) {
  constexpr int32_t Rows = 3000;
  struct TLayout {
    const char* Name;
    std::function<int32_t(int32_t)> Key;
    bool Consecutive;
  };
  const TLayout layouts[] = {
      {"in key order", [](int32_t id) { return id; }, true},
      {"stretches turned round", [](int32_t id) { return id / 10 * 10 + 9 - id % 10; }, true},
      {"scattered", [](int32_t id) { return id * 7919 % Rows; }, false},
      {"equal keys", [](int32_t id) { return id / 50; }, true},
  };
  int tableNo = 0;
  for (const TLayout& layout : layouts)
    for (const uint8_t compression : {uint8_t(kcNone), uint8_t(kcFull)})
      for (const bool filtered : {false, true}) {
        SCOPED_TRACE(std::string(layout.Name) + (compression ? ", compressed keys" : "") +
                     (filtered ? ", filtered and ranged" : ""));
        // Two tables made alike: one walked by single steps, one by several.
        std::vector<TDataCursor*> twins;
        std::vector<std::string> names;
        for (int twin = 0; twin < 2; ++twin) {
          const std::string name = "KEYED" + std::to_string(tableNo++);
          names.push_back(name);
          Create(name, {{"ID", IntType}, {"NAME", StrType, 20}, {"KEY", IntType}},
                 {{"", {1}}, {"ByKey", {3}, false, false, false, {}, compression}});
          TDataCursor& cursor = OpenCursor(name);
          for (int32_t id = 1; id <= Rows; ++id) Insert(cursor, id, "N" + std::to_string(id), layout.Key(id));
          // Every seventh deleted; the rows added after take their places.
          for (int32_t id = 7; id <= Rows; id += 7) {
            ASSERT_TRUE(Find(cursor, id));
            cursor.DeleteRecord(Current(cursor).data());
          }
          for (int32_t id = Rows + 1; id <= Rows + 200; ++id)
            Insert(cursor, id, "R" + std::to_string(id), layout.Key(id - Rows) + 1);
          cursor.SetIndexName("ByKey");
          if (filtered) {
            cursor.Filters().ActivateFilter(cursor.Filters().AddFilter([&cursor](const uint8_t* record, uint32_t) {
              return IntField(cursor, record, 1) % 5 != 0;
            }));
            // From a tenth of the keys on to nine tenths, bounds a leaf holds.
            std::vector<int32_t> keys;
            for (int32_t id = 1; id <= Rows; ++id) keys.push_back(layout.Key(id));
            std::sort(keys.begin(), keys.end());
            int32_t low = keys[Rows / 10], high = keys[Rows * 9 / 10];
            cursor.SetRange(Record(cursor, {nullptr, nullptr, &low}).data(), 3,
                            Record(cursor, {nullptr, nullptr, &high}).data(), 3);
          }
          twins.push_back(&cursor);
        }
        const TWalked plain = WalkOf(*twins[0], false);
        int32_t steps = 0;
        const TWalked several = WalkOf(*twins[1], true, 0, nullptr, &steps);
        ASSERT_GT(plain.Ids.size(), size_t(Rows / 2));
        EXPECT_EQ(several.Ids, plain.Ids);
        EXPECT_EQ(several.Names, plain.Names);
        EXPECT_EQ(several.Numbers, plain.Numbers);
        // Records side by side are read a leaf at a time (the places
        // reused, among the first keys, each stand apart).
        if (layout.Consecutive) {
          EXPECT_LT(steps, int32_t(plain.Ids.size()) / 4);
        }

        // Changes ahead of the walk, made alike on each twin by another
        // cursor once the first step over several went by (on the other
        // twin once as many single steps did).
        size_t changeAt = 0;
        TWalked changed[2];
        for (const int twin : {1, 0}) {
          TDataCursor& other = OpenCursor(names[size_t(twin)]);
          auto change = [&](size_t passed) {
            if (twin == 1) changeAt = passed;
            ASSERT_EQ(passed, changeAt);
            ASSERT_LT(passed + 30, plain.Ids.size());
            // Renamed: held changed in memory, not yet written.
            ASSERT_TRUE(Find(other, plain.Ids[passed + 5]));
            std::vector<uint8_t> record = Current(other);
            other.PutTableField(2, record.data(), "changed");
            other.ModifyRecord(record.data());
            ASSERT_TRUE(Find(other, plain.Ids[passed + 10]));
            other.DeleteRecord(Current(other).data());
            // A key equal to one ahead: it comes after that key's records.
            ASSERT_TRUE(Find(other, plain.Ids[passed + 20]));
            Insert(other, 9001, "added", IntField(other, Current(other).data(), 3));
          };
          changed[twin] = WalkOf(*twins[size_t(twin)], twin == 1, changeAt, change);
        }
        EXPECT_EQ(changed[1].Ids, changed[0].Ids);
        EXPECT_EQ(changed[1].Names, changed[0].Names);
        EXPECT_EQ(changed[1].Numbers, changed[0].Numbers);
        EXPECT_EQ(changed[0].Ids.size(), plain.Ids.size());
        EXPECT_EQ(std::count(changed[0].Names.begin(), changed[0].Names.end(), "changed"), 1);
        EXPECT_EQ(std::count(changed[0].Ids.begin(), changed[0].Ids.end(), 9001), 1);
      }
}

}  // namespace
