// Index files damaged on disk: a first open either rebuilds the indexes
// from the data, after which every order walks all rows both ways, or the
// walks report the damage (8965) instead of running forever.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engErrorCodes.h"
#include "engIndexFileLayout.h"

namespace {

constexpr int RowCount = 275;

class IndexDamageTest : public CursorWriteTest {
protected:
  // ID, NAME string(20), GRP; the primary index on ID, "ByGrpName" on
  // GRP and NAME descending and not unique, "ByName" unique and compressed.
  void CreateRows() {
    Create("ROWS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
           {{"", {1}}, {"ByGrpName", {3, 2}, false, true}, {"ByName", {2}}});
    TDataCursor& cursor = OpenCursor("ROWS");
    for (int id = 1; id <= RowCount; ++id) Insert(cursor, id, Name(id), id % 7);
    CloseAll();
  }
  static std::string Name(int id) { return "N" + std::to_string(id * 7919 % 1000) + "-" + std::to_string(id); }
  void CloseAll() { cursors.clear(); }

  std::vector<uint8_t> ReadIndexFile() {
    std::ifstream in(PathOf("ROWS.IDX"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteIndexFile(const std::vector<uint8_t>& bytes) {
    std::ofstream out(PathOf("ROWS.IDX"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  // The IDs of every row in the order of index slot n, as the data holds
  // them; "ByGrpName" as its descriptor says, or ascending once that lost
  // its descending flag.
  std::vector<int32_t> ExpectedOrder(int slot, bool descending = true) {
    std::vector<int32_t> ids;
    for (int id = 1; id <= RowCount; ++id) ids.push_back(id);
    if (slot == 1)
      std::stable_sort(ids.begin(), ids.end(), [](int32_t a, int32_t b) {
        return a % 7 != b % 7 ? a % 7 < b % 7 : Name(a) != Name(b) ? Name(a) < Name(b) : a < b;
      });
    if (slot == 1 && descending) std::reverse(ids.begin(), ids.end());
    if (slot == 2) std::sort(ids.begin(), ids.end(), [](int32_t a, int32_t b) { return Name(a) < Name(b); });
    return ids;
  }

  // Every order, forward and backward, holds every row once.
  void ExpectEveryOrderWhole(TDataCursor& cursor, const std::vector<std::vector<int32_t>>& orders) {
    for (size_t slot = 0; slot < orders.size(); ++slot) {
      cursor.SetIndexNo(uint8_t(slot));
      std::vector<int32_t> forward = Walk(cursor);
      std::vector<int32_t> backward = Walk(cursor, false);
      std::reverse(backward.begin(), backward.end());
      EXPECT_EQ(forward, orders[slot]) << "index " << slot;
      EXPECT_EQ(backward, forward) << "index " << slot;
    }
    cursor.SetIndexNo(NaturalOrderIndex);
    std::vector<int32_t> natural = Walk(cursor);
    std::sort(natural.begin(), natural.end());
    EXPECT_EQ(natural, ExpectedOrder(0));
  }

  // The file offset of a record, from the table's own layout.
  int64_t RecordAt(uint32_t number) {
    TDataFile& data = OpenCursor("ROWS", true).Table()->DataFile();
    const int64_t offset = DataHeaderSize + int64_t(data.FieldCount()) * FieldDescSize +
                           int64_t(number - 1) * data.RecordSize();
    CloseAll();
    return offset;
  }
  void PatchData(int64_t at, const std::vector<uint8_t>& patch) {
    std::fstream file(PathOf("ROWS.DAT"), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(at);
    file.write(reinterpret_cast<const char*>(patch.data()), std::streamsize(patch.size()));
  }

  // The offset of the leftmost leaf of index slot n.
  uint32_t FirstLeaf(int n) {
    TDataCursor& cursor = OpenCursor("ROWS", true);
    TIndexFile& file = cursor.Table()->IndexFile();
    uint32_t offset = file.GetRootOffset(n);
    for (;;) {
      TPage* page = file.GetTreePage(uint8_t(n), offset);
      const bool leaf = page->IsLeaf();
      const uint32_t child = leaf ? 0 : page->PointerAt(1);
      file.ReleasePage(page);
      if (leaf) break;
      offset = child;
    }
    CloseAll();
    return offset;
  }
};

// Found by hand: the descending flag of a two-field index set to 0 left a
// tree whose keys run against the order its descriptor now gives, and
// stepping forward never reached the end.
TEST_F(IndexDamageTest, ADescriptorFlagAgainstTheKeysOrderIsRebuiltFromTheData) {
  CreateRows();
  std::vector<uint8_t> bytes = ReadIndexFile();
  bytes[HdrSlots + 1 * IndexDescSize + IdxDescDescending] = 0;
  WriteIndexFile(bytes);

  TDataCursor& cursor = OpenCursor("ROWS");
  EXPECT_NE(ReadIndexFile(), bytes);  // the open rebuilt the trees
  ExpectEveryOrderWhole(cursor, {ExpectedOrder(0), ExpectedOrder(1, false), ExpectedOrder(2)});
}

// Found by hand: a leaf whose right link names the end offset passed the
// repair, and the first walk over it grew the file by a blank page.
TEST_F(IndexDamageTest, ARightLinkToTheEndOfTheFileIsRebuiltFromTheData) {
  CreateRows();
  for (int n : {0, 2, int(DeletedIndexNo)}) {
    const uint32_t leaf = FirstLeaf(n);
    std::vector<uint8_t> bytes = ReadIndexFile();
    PutLE32(bytes.data() + leaf + 7, GetLE32(bytes.data() + HdrEndOffset));
    WriteIndexFile(bytes);

    TDataCursor& cursor = OpenCursor("ROWS");
    ExpectEveryOrderWhole(cursor, {ExpectedOrder(0), ExpectedOrder(1), ExpectedOrder(2)});
    CloseAll();
  }
}

// Without the repair (the files are read-only) damage cannot be mended:
// the first open reports it, naming the table, where walks over it would
// answer with rows missing (a flag against the keys' order, a leaf's link
// past its neighbour, a link to the end of the file); the file never
// changes.
TEST_F(IndexDamageTest, ADamagedReadOnlyTableIsReportedAtItsOpen) {
  CreateRows();
  const uint32_t leaf = FirstLeaf(0);
  const std::vector<uint8_t> pristine = ReadIndexFile();
  const uint32_t second = GetLE32(pristine.data() + leaf + 7);
  const uint32_t third = GetLE32(pristine.data() + second + 7);
  ASSERT_NE(third, 0u);
  const std::vector<std::pair<uint32_t, uint32_t>> damages = {
      {HdrSlots + 1 * IndexDescSize + IdxDescDescending, 0},
      {leaf + 7, third},
      {leaf + 7, GetLE32(pristine.data() + HdrEndOffset)},
  };
  for (const auto& [at, value] : damages) {
    SCOPED_TRACE(at);
    std::vector<uint8_t> bytes = pristine;
    if (at < IndexPageSize) bytes[at] = uint8_t(value);
    else PutLE32(bytes.data() + at, value);
    WriteIndexFile(bytes);
    for (const char* file : {"ROWS.DAT", "ROWS.IDX"})
      std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read);
    std::string message;
    EXPECT_EQ(ErrorOf([&] {
                try {
                  OpenCursor("ROWS");
                } catch (const EEngineError& error) {
                  message = error.what();
                  throw;
                }
              }),
              EngErrPageCorrupt);
    EXPECT_NE(message.find("ROWS"), std::string::npos) << message;
    CloseAll();
    EXPECT_EQ(ReadIndexFile(), bytes);
    for (const char* file : {"ROWS.DAT", "ROWS.IDX"})
      std::filesystem::permissions(PathOf(file), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
}

// Branches that each name the next page in every entry: a count of the
// keys stops after as many pages as the file holds instead of following
// every path (the fan-out to the power of the chain's length), and the
// open rebuilds the indexes.
TEST_F(IndexDamageTest, BranchesNamingOnePageOverAndOverAreCountedOncePerPage) {
  CreateRows();
  std::vector<uint8_t> bytes = ReadIndexFile();
  const uint8_t* byName = bytes.data() + HdrSlots + 2 * IndexDescSize;
  const uint32_t keyLength = GetLE16(byName + IdxDescKeyLength);
  const uint32_t root = GetLE32(byName + IdxDescRoot);
  const uint32_t leaf = GetLE32(bytes.data() + root + PageHeaderSize + keyLength);
  // The root, ten pages appended after the end, then one of its leaves.
  std::vector<uint32_t> chain{root};
  for (int added = 0; added < 10; ++added) {
    chain.push_back(uint32_t(bytes.size()));
    bytes.resize(bytes.size() + IndexPageSize);
  }
  chain.push_back(leaf);
  PutLE32(bytes.data() + HdrEndOffset, uint32_t(bytes.size()));
  const int fanOut = int(PageDataSize / (keyLength + 8));
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    uint8_t* page = bytes.data() + chain[i];
    std::fill_n(page, IndexPageSize, 0);
    page[0] = i == 0 ? ptRootBranch : ptBranch;
    PutLE16(page + 1, uint16_t(fanOut));
    for (int entry = 0; entry < fanOut; ++entry) {
      uint8_t* packed = page + PageHeaderSize + entry * (keyLength + 8);
      packed[0] = 1;
      PutLE32(packed + keyLength, chain[i + 1]);
      PutLE32(packed + keyLength + 4, 1);
    }
  }
  WriteIndexFile(bytes);

  TDataCursor& cursor = OpenCursor("ROWS");
  ExpectEveryOrderWhole(cursor, {ExpectedOrder(0), ExpectedOrder(1), ExpectedOrder(2)});
}

// Dropping an index whose tree names one page twice stops at the second
// visit: the page is not freed twice, so the free list ends.
TEST_F(IndexDamageTest, DroppingATreeThatNamesAPageTwiceReportsIt) {
  CreateRows();
  TDataCursor& cursor = OpenCursor("ROWS", true);
  TIndexFile& file = cursor.Table()->IndexFile();
  TPage* root = file.GetTreePage(2, file.GetRootOffset(2));
  ASSERT_GE(root->Count, 2);
  root->SetPointerAt(2, root->PointerAt(1));
  file.ReleasePage(root);
  EXPECT_EQ(ErrorOf([&] { cursor.DeleteIndex("ByName"); }), EngErrPageCorrupt);
  uint32_t steps = 0;
  for (uint32_t offset = file.GetFirstFreePage(2); offset != 0 && steps <= file.GetEndOffset() / IndexPageSize;
       ++steps) {
    TPage* page = file.GetTreePage(2, offset);
    offset = page->Right;
    file.ReleasePage(page);
  }
  EXPECT_LE(steps, file.GetEndOffset() / IndexPageSize);
}

// A deleted marker other than 0 or 1 deletes the row for every index
// alike, "Sys Deleted" included, so natural order agrees with the others.
TEST_F(IndexDamageTest, ADamagedDeletedMarkerHidesTheRowFromEveryOrder) {
  CreateRows();
  PatchData(RecordAt(5) + RecordDeletedOffset, {0x7F});
  TDataCursor& cursor = OpenCursor("ROWS");
  std::vector<std::vector<int32_t>> orders{ExpectedOrder(0), ExpectedOrder(1), ExpectedOrder(2)};
  for (std::vector<int32_t>& order : orders) order.erase(std::find(order.begin(), order.end(), 5));
  cursor.SetIndexNo(0);
  EXPECT_EQ(Walk(cursor), orders[0]);
  cursor.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(cursor.GetRecordCount(), RowCount - 1);
}

// Two rows with one row number would give equal keys, which no walk can
// step over: the rebuild refuses the table instead.
TEST_F(IndexDamageTest, RowsSharingARowNumberAreRefusedByTheRebuild) {
  CreateRows();
  uint8_t number[4];
  std::ifstream(PathOf("ROWS.DAT"), std::ios::binary).seekg(RecordAt(2) + RecordAutoIncOffset).read(
      reinterpret_cast<char*>(number), 4);
  PatchData(RecordAt(5) + RecordAutoIncOffset, {number, number + 4});
  EXPECT_EQ(ErrorOf([&] { OpenCursor("ROWS"); }), EngErrDuplicateKey);
}

// A tree that changes shape through many inserts, changes and deletes
// stays as its walks need it: the next first open finds nothing to mend.
TEST_F(IndexDamageTest, TreesChangedAtRandomAreFoundSound) {
  Create("ROWS", {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}},
         {{"", {1}}, {"ByGrpName", {3, 2}, false, true}, {"ByName", {2}, true, true}});
  std::mt19937 random(11);
  TDataCursor& cursor = OpenCursor("ROWS");
  std::vector<int32_t> ids;
  for (int step = 0; step < 4000; ++step) {
    const int action = ids.size() < 50 ? 0 : int(random() % 3);
    if (action == 0) {
      const int32_t id = int32_t(random() % 100000);
      if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
      Insert(cursor, id, Name(id), id % 7);
      ids.push_back(id);
    } else {
      const size_t at = random() % ids.size();
      ASSERT_TRUE(Find(cursor, ids[at]));
      if (action == 1) {
        cursor.DeleteRecord(Current(cursor).data());
        ids.erase(ids.begin() + long(at));
      } else {
        std::vector<uint8_t> record = Row(cursor, ids[at], Name(ids[at] + 1), ids[at] % 5);
        cursor.ModifyRecord(record.data());
      }
    }
  }
  CloseAll();
  const std::vector<uint8_t> bytes = ReadIndexFile();
  TDataCursor& reopened = OpenCursor("ROWS");
  EXPECT_EQ(ReadIndexFile(), bytes);
  reopened.SetIndexNo(0);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(Walk(reopened), ids);
}

}  // namespace
