#include "engCursorWalk.h"

#include <cstring>

#include "engCursor.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"

namespace {

// A B-tree of 4096-byte pages holding at least two entries each is never
// this deep; a deeper descent runs through a damaged tree.

}  // namespace

TLeafWalker::TLeafWalker(TDataCursor& cursor, uint8_t indexNo, const TKeyComparer& comparer)
    : cursor(cursor), indexNo(indexNo), comparer(comparer) {}

TLeafWalker::~TLeafWalker() { Release(); }

void TLeafWalker::Corrupt() const { RaiseEngineError(EngErrPageCorrupt, cursor.TableName()); }

void TLeafWalker::Release() {
  if (page) cursor.IndexFile().ReleasePage(page);
  page = nullptr;
}

void TLeafWalker::Hold(TPage* fetched) {
  Release();
  page = fetched;
}

// A sibling chain that visits more pages than the file holds runs in a
// circle.
bool TLeafWalker::Fetch(uint32_t offset, TPage*& fetched) {
  TIndexFile& file = cursor.IndexFile();
  if (++pagesVisited > file.GetEndOffset() / IndexPageSize + 1) Corrupt();
  if (!file.GetPage(&cursor, indexNo, offset, false, fetched)) return false;
  if (fetched->Count == 0 || fetched->Free) {
    file.ReleasePage(fetched);
    Corrupt();
  }
  return true;
}

bool TLeafWalker::StartAtRoot(TPage*& root) {
  Release();
  entry = 0;
  logical = 0;
  pagesVisited = 0;
  root = nullptr;
  if (!cursor.IndexFile().GetRoot(&cursor, indexNo, true, root)) return false;
  if (root && (root->Count == 0 || !root->IsRoot())) {
    cursor.IndexFile().ReleasePage(root);
    Corrupt();
  }
  Hold(root);
  return true;
}

bool TLeafWalker::DescendToChild() {
  TPage* child = nullptr;
  if (!Fetch(page->CurrentPointer(true), child)) return false;
  if (child->IsRoot()) {
    cursor.IndexFile().ReleasePage(child);
    Corrupt();
  }
  child->Parent = page->Offset;
  Hold(child);
  return true;
}

bool TLeafWalker::Normalize() {
  while (entry > page->Count && page->Right != 0) {
    TPage* next = nullptr;
    if (!Fetch(page->Right, next)) return false;
    Hold(next);
    if (!page->IsLeaf()) Corrupt();
    entry = 1;
  }
  return true;
}

bool TLeafWalker::ToKey(const uint8_t* key, int length, TLeafSearchEnd end, bool& found) {
  found = false;
  TPage* root;
  if (!StartAtRoot(root)) return false;
  if (!root) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0;; ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    const bool leaf = page->IsLeaf();
    const bool hit = page->SearchCounting(comparer, key, length, leaf ? end : TLeafSearchEnd::LastNotAbove,
                                          keysBefore);
    if (leaf) {
      found = hit;
      entry = page->SecondPosition;
      logical = keysBefore + 1;
      return Normalize();
    }
    if (!DescendToChild()) return false;
  }
}

bool TLeafWalker::ToFirst() {
  TPage* root;
  if (!StartAtRoot(root)) return false;
  if (!root) return true;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    page->First(true);
    if (!DescendToChild()) return false;
  }
  entry = 1;
  logical = 1;
  return true;
}

bool TLeafWalker::ToLast() {
  TPage* root;
  if (!StartAtRoot(root)) return false;
  if (!root) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    page->Last(true);
    keysBefore += page->KeysBefore(true);
    if (!DescendToChild()) return false;
  }
  entry = page->Count;
  logical = keysBefore + page->Count;
  return true;
}

bool TLeafWalker::ToLogical(uint32_t wanted) {
  TPage* root;
  if (!StartAtRoot(root)) return false;
  if (!root) return true;
  uint32_t keysBefore = 0;
  for (int depth = 0; !page->IsLeaf(); ++depth) {
    if (depth > MaxTreeDepth) Corrupt();
    int child = 1;
    while (child < page->Count && keysBefore + page->KeyCountAt(child) < wanted) {
      keysBefore += page->KeyCountAt(child);
      ++child;
    }
    page->SecondPosition = uint16_t(child);
    if (!DescendToChild()) return false;
  }
  const uint32_t inLeaf = wanted > keysBefore ? wanted - keysBefore : 1;
  entry = int(inLeaf > page->Count ? page->Count : inLeaf);
  logical = keysBefore + uint32_t(entry);
  return true;
}

void TLeafWalker::NoteStepStart() {
  leftOnEntry = OnEntry();
  if (leftOnEntry) std::memcpy(leftKey, Key(), page->KeyLength);
}

// Keys of one index are distinct (a non-unique key ends with its row
// number), so a step that does not move on in key order runs over keys
// or links out of order.
void TLeafWalker::CheckStepOrder(int direction) const {
  if (!leftOnEntry || !OnEntry()) return;
  const int order = comparer.CompareKeys(Key(), leftKey, page->KeyLength);
  if (order == 0 || (order > 0) != (direction > 0)) Corrupt();
}

bool TLeafWalker::Next() {
  if (!page) return true;
  NoteStepStart();
  if (entry <= page->Count) {
    ++entry;
    ++logical;
  }
  if (!Normalize()) return false;
  CheckStepOrder(1);
  return true;
}

bool TLeafWalker::Prior() {
  if (!page || entry < 1) return true;
  NoteStepStart();
  --entry;
  --logical;
  while (entry < 1 && page->Left != 0) {
    TPage* previous = nullptr;
    if (!Fetch(page->Left, previous)) return false;
    Hold(previous);
    if (!page->IsLeaf()) Corrupt();
    entry = page->Count;
  }
  CheckStepOrder(-1);
  return true;
}

bool TLeafWalker::OnEntry() const { return page && entry >= 1 && entry <= page->Count; }

const uint8_t* TLeafWalker::Key() const { return page->KeyAt(entry); }

uint32_t TLeafWalker::Record() const { return page->PointerAt(entry); }

int TLeafWalker::RecordRun(bool forward, int limit) const {
  if (!OnEntry()) return 0;
  page->SecondPosition = uint16_t(entry);
  return page->RecordRun(forward, limit, true);
}
