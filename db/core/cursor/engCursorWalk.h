#pragma once
// A walk over the leaf entries of one index for a cursor: a descent from
// the root (by key, to either end, or to a logical position) that counts
// the keys before the entry reached, then steps along the leaves through
// their sibling links. The walker holds one page at a time and gives it
// back when it goes.
//
// Every call that reads a page returns false when that read met another
// user's change: the caches are then stale, and the caller resynchronises
// and starts over.
//
// Each step lands on a key strictly beyond the one it left in the step's
// direction, and each descent ends within MaxTreeDepth levels; a tree that
// breaks either is damaged (8965), so no walk over it runs forever.

#include <cstdint>

#include "engIndexPage.h"
#include "engIndexTree.h"
#include "engKeyCompare.h"

class TDataCursor;

class TLeafWalker {
public:
  TLeafWalker(TDataCursor& cursor, uint8_t indexNo, const TKeyComparer& comparer);
  TLeafWalker(const TLeafWalker&) = delete;
  TLeafWalker& operator=(const TLeafWalker&) = delete;

  // The entry for key (how a leaf search ends, as the page's counting
  // search); found tells an exact hit. Past the last entry of a leaf the
  // walk goes on in the next leaf, or stays at the end of the index.
  bool ToKey(const uint8_t* key, int length, TLeafSearchEnd end, bool& found);
  bool ToFirst();
  bool ToLast();
  // The entry at a logical position (1 .. keys of the index).
  bool ToLogical(uint32_t logical);
  // Back on the entry where key (of record, at logical) was last found,
  // without a descent: resumed tells that the leaf at offset still holds
  // them at entry; when it does not, the walk holds nothing.
  bool Resume(uint32_t offset, int entry, const uint8_t* key, uint32_t record, uint32_t logical, bool& resumed);
  bool Next();
  bool Prior();
  // The damage a step or a landing out of key order shows (8965).
  [[noreturn]] void Corrupt() const;

  // The index has no root: nothing to walk.
  bool IndexEmpty() const { return !page; }
  // The walk stands on an entry (not before the first or after the last).
  // Inline with the two below: every step asks each more than once.
  bool OnEntry() const { return page && entry >= 1 && entry <= page->Count; }
  const uint8_t* Key() const { return page->KeyAt(entry); }
  uint32_t Record() const { return page->PointerAt(entry); }
  // 1-based position in index order of the entry stood on; one past the
  // last key at the end, 0 before the first.
  uint32_t Logical() const { return logical; }
  // Where the walk stands, for a later Resume (offset 0: nowhere).
  uint32_t PageOffset() const { return OnEntry() ? page->Offset : 0; }
  int Entry() const { return entry; }
  // The way the last descent took to the leaf entry it landed on; no
  // levels after a Resume.
  const TTreeWay& Way() const { return way; }
  // The record distance entries from the one stood on, in the same leaf;
  // false when the leaf ends before.
  bool RecordBeside(int distance, uint32_t& record) const;
  // Records that follow the entry in the leaf without a gap.
  int RecordRun(bool forward, int limit) const;
  // The records of the entries after this one in the leaf (before it,
  // backward), at most limit; their count.
  int LeafRecords(bool forward, uint32_t* records, int limit) const;
  // The entries after the one stood on in its leaf, read without a step.
  int EntriesAfterInLeaf() const { return OnEntry() ? page->Count - entry : 0; }
  // The key distance entries after the one stood on (1 ..
  // EntriesAfterInLeaf).
  const uint8_t* KeyAfter(int distance) const;
  // Stands distance entries on in the same leaf, as that many steps would
  // (the leaf's key order checked as theirs is).
  void AdvanceInLeaf(int distance);

private:
  TDataCursor& cursor;
  uint8_t indexNo;
  const TKeyComparer& comparer;
  TPageRef page;
  int entry = 0;
  TTreeWay way;
  uint32_t logical = 0;
  uint32_t pagesVisited = 0;
  // The entry a step leaves, while it stood on one; its key is copied only
  // when the step leaves its page.
  int leftEntry = 0;
  bool leftOnEntry = false;
  bool leftKeyCopied = false;
  uint8_t leftKey[MaxIndexKeyLength];

  bool Fetch(uint32_t offset, TPageRef& fetched);
  // Holds the root (nothing for an empty index).
  bool StartAtRoot();
  // Descends from the held branch into the child at its second position.
  bool DescendToChild();
  // A descent's end: the walk stands on entry of the held leaf.
  void Land(int at);
  // The held page and the entry taken there as the way's next level.
  void NoteLevel(int at);
  bool Normalize();
  void NoteStepStart();
  // Before the step goes to another page.
  void KeepLeftKey();
  void CheckStepOrder(int direction) const;
};
