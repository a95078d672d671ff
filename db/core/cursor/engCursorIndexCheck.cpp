// Whether every index tree holds what a walk relies on. Run by the first
// open of a table after the table's own repair pass, which counts keys but
// cannot compare them: a tree that fails here is built again from the data.
//
// A sound tree: its root has a root type and no neighbours; every level
// below holds pages of one kind (branches, or leaves at the bottom), none
// empty or fuller than a page holds, chained left and right in the order
// their parents name them; keys rise strictly along each level in the
// order the descriptor gives; a branch entry's key bounds its child's keys
// from below and the next entry's key bounds them from above, and its key
// count is the child's; no page belongs to two trees or to a tree and a
// free list; every record in use has exactly one leaf entry, whose key is
// the one its record builds (every slot, in "Sys Deleted"): the leaf
// entries and the records give the same sum of key-and-record shares; the
// index header counts the records in use.
//
// The check reads every record and page, so its finding is kept outside
// the table (engCheckedTables.h) under the files' stamp: while the stamp
// stays the same, nobody has written since, and a later first open takes
// the finding instead of reading everything again.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engCheckedTables.h"
#include "engCursor.h"
#include "engDataFile.h"
#include "engIndexFile.h"
#include "engIndexPage.h"
#include "engKeyShare.h"
#include "engRecordBuffer.h"
#include "engTable.h"
#include "engTableStamp.h"
#include "rtlExceptions.h"

namespace {

// A page that a level of a tree names, with what its parent's entry says.
struct TChildEntry {
  uint32_t Offset = 0;
  uint32_t KeyCount = 0;
  std::vector<uint8_t> Low;  // the parent entry's key; empty for the root
};

// Records read at once by the check, whose keys every tree then builds.
constexpr uint32_t CheckBlockRecords = 1024;

// Claims the page at offset for one tree or free list; false when it lies
// outside the pages or was claimed before.
bool TakePage(std::vector<bool>& pagesTaken, uint32_t offset) {
  if (offset < IndexPageSize || offset % IndexPageSize != 0) return false;
  const size_t page = offset / IndexPageSize;
  if (page >= pagesTaken.size() || pagesTaken[page]) return false;
  pagesTaken[page] = true;
  return true;
}

}  // namespace

bool TDataCursor::IndexTreesSound() {
  TTableStamp stamp;
  const bool stamped = TakeTableStamp(*table, stamp);
  if (stamped && CheckedStateHolds(stamp)) return true;
  bool sound = true;
  try {
    std::vector<uint8_t> trees;
    for (int n = 0; n <= IndexFile().GetSecondaryCount(); ++n)
      if (n != 0 || !PrimaryIsNatural()) trees.push_back(uint8_t(n));
    trees.push_back(DeletedIndexNo);
    // One pass over the records gives every tree its expectation: records
    // are read in blocks and each tree's keys built from the block.
    const uint32_t slots = DataFile().PhysicalRecordCount();
    const size_t recordSize = size_t(DataFile().RecordSize());
    std::vector<bool> inUse(size_t(slots) + 1, false);
    std::vector<uint32_t> expectedKeys(trees.size(), 0);
    std::vector<uint64_t> expectedSums(trees.size(), 0);
    std::vector<uint8_t> block(size_t(CheckBlockRecords) * recordSize);
    std::vector<uint8_t> built(MaxIndexKeyLength, 0);
    // Read beside the data file's cache: every record passes once, and
    // placing each in the cache cost a tenth of the check.
    TRecordRun run;
    for (uint32_t first = 1; first <= slots; first += CheckBlockRecords) {
      const uint32_t count = std::min<uint32_t>(CheckBlockRecords, slots - first + 1);
      for (uint32_t i = 0; i < count; i += uint32_t(run.Count())) {
        DataFile().ReadRecordRun(nullptr, first + i, int32_t(count - i), run);
        for (uint32_t number = run.First(); number - run.First() < uint32_t(run.Count()); ++number) {
          inUse[number] = !run.IsDeleted(number);
          std::memcpy(block.data() + (number - first) * recordSize, run.Record(number), recordSize);
        }
      }
      for (size_t t = 0; t < trees.size(); ++t) {
        const uint8_t n = trees[t];
        LoadIndexState(n);
        for (uint32_t i = 0; i < count; ++i) {
          const uint32_t slot = first + i;
          if (n != DeletedIndexNo && !inUse[slot]) continue;
          std::fill(built.begin(), built.begin() + indexState.KeyLength, 0);
          if (n == DeletedIndexNo) BuildDeletedKey(block.data() + i * recordSize, built.data());
          else BuildKey(block.data() + i * recordSize, built.data());
          expectedSums[t] += KeyRecordShare(built.data(), indexState.KeyLength, slot);
          ++expectedKeys[t];
        }
      }
    }
    const uint32_t inUseCount = uint32_t(std::count(inUse.begin(), inUse.end(), true));
    sound = IndexFile().GetRecordCount() == inUseCount;
    std::vector<bool> pagesTaken(size_t(IndexFile().GetEndOffset() / IndexPageSize), false);
    for (size_t t = 0; sound && t < trees.size(); ++t)
      sound = IndexTreeSound(trees[t], inUse, pagesTaken, expectedKeys[t], expectedSums[t]);
  } catch (const Exception&) {
    sound = false;
  }
  // The pass leaves the cache full of the last tree's pages ("Sys
  // Deleted"), which the cursor's own walks would never age out: every
  // leaf a walk gives back goes to the old end, ahead of them.
  IndexFile().DropIdlePages();
  ClearIndexState();
  // Still under the lock the check ran under: the stamp is what was read.
  if (sound && stamped) RememberCheckedState(stamp);
  return sound;
}

bool TDataCursor::IndexTreeSound(uint8_t n, const std::vector<bool>& inUse, std::vector<bool>& pagesTaken,
                                 uint32_t expectedKeys, uint64_t expectedSum) {
  LoadIndexState(n);
  TIndexFile& file = IndexFile();
  const uint32_t slots = uint32_t(inUse.size() - 1);

  for (uint32_t offset = file.GetFirstFreePage(n); offset != 0;) {
    if (!TakePage(pagesTaken, offset)) return false;
    TPageRef page(&file, file.GetTreePage(n, offset));
    if (page->Count != 0) return false;
    offset = page->Right;
  }

  std::vector<bool> seen(size_t(slots) + 1, false);
  uint32_t found = 0;
  uint64_t foundSum = 0;
  const uint32_t root = file.GetRootOffset(n);
  std::vector<TChildEntry> level;
  if (root != 0) level.push_back({root, 0, {}});
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth > MaxTreeDepth) return false;
    std::vector<TChildEntry> below;
    std::vector<uint8_t> lastKey;
    bool leafLevel = false;
    for (size_t i = 0; i < level.size(); ++i) {
      const TChildEntry& child = level[i];
      if (!TakePage(pagesTaken, child.Offset)) return false;
      TPageRef page(&file, file.GetTreePage(n, child.Offset));
      if (i == 0) leafLevel = page->IsLeaf();
      if (page->IsRoot() != (depth == 0) || page->IsLeaf() != leafLevel || page->Count == 0) return false;
      if (page->MaxEntries() > 0 && page->Count > page->MaxEntries()) return false;
      if (page->Left != (i == 0 ? 0 : level[i - 1].Offset)) return false;
      if (page->Right != (i + 1 < level.size() ? level[i + 1].Offset : 0)) return false;
      if (depth > 0) {
        if (page->KeyCount() != child.KeyCount) return false;
        if (CompareKeys(page->KeyAt(1), child.Low.data(), indexState.KeyLength) < 0) return false;
        if (!lastKey.empty() && CompareKeys(lastKey.data(), child.Low.data(), indexState.KeyLength) >= 0) return false;
      }
      // Keys of a pinned page stay where they are: only the page's last
      // key is copied, for the first of the next page to compare with.
      const uint8_t* previous = lastKey.empty() ? nullptr : lastKey.data();
      for (int entry = 1; entry <= page->Count; ++entry) {
        const uint8_t* key = page->KeyAt(entry);
        if (previous && CompareKeys(key, previous, indexState.KeyLength) <= 0) return false;
        previous = key;
        const uint32_t pointer = page->PointerAt(entry);
        if (!leafLevel) {
          below.push_back({pointer, page->KeyCountAt(entry), {key, key + indexState.KeyLength}});
          continue;
        }
        if (pointer == 0 || pointer > slots || seen[pointer]) return false;
        if (n != DeletedIndexNo && !inUse[pointer]) return false;
        foundSum += KeyRecordShare(key, indexState.KeyLength, pointer);
        seen[pointer] = true;
        ++found;
      }
      lastKey.assign(previous, previous + indexState.KeyLength);
    }
    level = std::move(below);
  }
  return found == expectedKeys && foundSum == expectedSum;
}
