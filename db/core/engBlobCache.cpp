#include "engBlobCache.h"

namespace {

constexpr int RecentlyUsedLook = 4;

}  // namespace

TBlock* TBlockCache::Find(uint32_t offset) const {
  TBlock* block = newest;
  for (int i = 0; i < RecentlyUsedLook && block; ++i, block = block->Older)
    if (block->Offset() == offset) return block;
  bool found;
  const int32_t index = SortedIndex(offset, found);
  return found ? Get(index) : nullptr;
}

int32_t TBlockCache::SortedIndex(uint32_t offset, bool& found) const {
  int32_t low = 0;
  int32_t high = sorted.Count() - 1;
  while (low <= high) {
    const int32_t middle = (low + high) / 2;
    const int c = CompareKeyWithNumber(int32_t(offset), int32_t(Get(middle)->Offset()));
    if (c == 0) {
      found = true;
      return middle;
    }
    if (c < 0)
      low = middle + 1;
    else
      high = middle - 1;
  }
  found = false;
  return low;
}

void TBlockCache::Insert(TBlock* block) {
  bool found;
  sorted.Insert(SortedIndex(block->Offset(), found), block);
  ChainAsNewest(block);
}

bool TBlockCache::Remove(TBlock* block) {
  bool found;
  const int32_t index = SortedIndex(block->Offset(), found);
  const bool listed = found && Get(index) == block;
  if (listed) sorted.Delete(index);
  Unchain(block);
  return listed;
}

void TBlockCache::MoveToNewest(TBlock* block) {
  if (block == newest) return;
  Unchain(block);
  ChainAsNewest(block);
}

TBlock* TBlockCache::LeastRecentlyIdle() const {
  for (TBlock* block = oldest; block; block = block->Newer)
    if (block->UseCount() == 0 && !block->Modified()) return block;
  return nullptr;
}

void TBlockCache::Clear() {
  for (int32_t i = 0; i < sorted.Count(); ++i) Get(i)->Newer = Get(i)->Older = nullptr;
  sorted.Clear();
  newest = oldest = nullptr;
}

void TBlockCache::Unchain(TBlock* block) {
  if (block->Newer)
    block->Newer->Older = block->Older;
  else if (newest == block)
    newest = block->Older;
  if (block->Older)
    block->Older->Newer = block->Newer;
  else if (oldest == block)
    oldest = block->Newer;
  block->Newer = block->Older = nullptr;
}

void TBlockCache::ChainAsNewest(TBlock* block) {
  block->Newer = nullptr;
  block->Older = newest;
  if (newest) newest->Newer = block;
  newest = block;
  if (!oldest) oldest = block;
}
