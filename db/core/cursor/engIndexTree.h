#pragma once
// The changes of one index's B-tree: looking a key up, inserting and
// deleting it, and giving a whole tree's pages back. Pages split, merge and
// keep their key counts themselves (engIndexPage); this class walks from
// the root to the leaf a key belongs in, keeping the counts of the pages
// on the way and the parent links the page changes follow.
//
// Changes run under the table's write lock (or on an exclusive table), so
// their page reads look for no other user's changes.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engIndexPage.h"

class TIndexFile;
class TKeyComparer;

// The way one descent took from the root to a leaf: each page's offset and
// the entry it searched to. A change made through it needs the tree as the
// descent left it: nothing of this index may change in between.
//
// A holding descent (HoldWay, FindKeys) keeps the way's pages pinned in the
// path, so that the change made through it takes them instead of looking
// each up again; the change gives back what it does not take, and so does
// the path when it ends. A held page may not be freed and taken again while
// held (a freed page taken back must have no other holder), so a path is
// given back before a change that may merge pages.
class TTreePath {
public:
  TTreePath() = default;
  TTreePath(TTreePath&& other) noexcept { *this = std::move(other); }
  TTreePath& operator=(TTreePath&& other) noexcept;
  TTreePath(const TTreePath&) = delete;
  TTreePath& operator=(const TTreePath&) = delete;
  ~TTreePath() { Release(); }
  // No descent yet, or an empty tree.
  bool Empty() const { return levels == 0; }
  // The descent found the key it looked for.
  bool Found() const { return found; }
  // Gives back the pages still held, root first.
  void Release();

private:
  friend class TIndexTree;
  uint32_t offsets[MaxTreeDepth + 2] = {};
  uint16_t positions[MaxTreeDepth + 2] = {};
  int levels = 0;
  bool found = false;
  // held[level] for the levels below heldLevels: the page pinned for that
  // level, or nullptr once taken (or where another path holds it).
  TIndexPageOwner* owner = nullptr;
  TPage* held[MaxTreeDepth + 2];
  int heldLevels = 0;
};

// Where an earlier walk to a key went: each level's page and the entry it
// took there, the leaf last. A descent told the way searches each page it
// shares with it (the same page at the same level) from the noted entry
// first, which two comparisons confirm while it still bounds the key
// (SearchNear), so a way the tree changed under since costs a search of
// the page, never a wrong place.
struct TTreeWay {
  TTreeWay() = default;
  TTreeWay(const TTreeWay&) = delete;
  // Copies the levels noted alone: no other is read.
  TTreeWay& operator=(const TTreeWay& other) {
    Levels = other.Levels;
    std::memcpy(Offsets, other.Offsets, sizeof(Offsets[0]) * size_t(Levels));
    std::memcpy(Positions, other.Positions, sizeof(Positions[0]) * size_t(Levels));
    return *this;
  }
  uint32_t Offsets[MaxTreeDepth + 2];
  uint16_t Positions[MaxTreeDepth + 2];
  int Levels = 0;
};

// The entry that takes a removed entry's place in key order, as its leaf
// held it before the removal; Found is false when the removed entry was
// its leaf's last (the next one lies on another leaf, or there is none).
struct TEntryAfter {
  bool Found = false;
  uint32_t Record = 0;
  uint8_t Key[MaxIndexKeyLength];
};

class TIndexTree {
public:
  // Keys of keyLength bytes, compared by comparer, in index indexNo;
  // damage is reported for tableName.
  TIndexTree(TIndexFile& file, uint8_t indexNo, const TKeyComparer& comparer, uint16_t keyLength,
             const std::string& tableName)
      : file(file), indexNo(indexNo), comparer(comparer), keyLength(keyLength), tableName(tableName) {}

  bool KeyExists(const uint8_t* key);
  // Descends to the leaf the key belongs in and notes the way in path;
  // true when the tree holds the key. Changes nothing.
  bool FindKey(const uint8_t* key, TTreePath& path);
  // FindKey leaving the way's pages held in path, for the change made
  // through it next; noted, when given, is an earlier walk's way to key.
  bool HoldWay(const uint8_t* key, TTreePath& path, const TTreeWay* noted = nullptr);
  // HoldWay for two keys at once: the pages both ways share are fetched
  // once (and held in otherPath), and each is searched for both keys.
  void FindKeys(const uint8_t* key, TTreePath& path, const uint8_t* otherKey, TTreePath& otherPath);
  void InsertKey(const uint8_t* key, uint32_t recordNumber);
  // Inserts the key at the place FindKey or HoldWay found for it, without
  // a second descent; the path holds nothing after.
  void InsertAt(TTreePath& path, const uint8_t* key, uint32_t recordNumber);
  // A key the tree does not hold is damage (8965): nothing changes then.
  // after, when given, takes the entry after the key's; noted, when given,
  // is an earlier walk's way to the key.
  void DeleteKey(const uint8_t* key, TEntryAfter* after = nullptr, const TTreeWay* noted = nullptr);
  // Deletes oldKey and inserts newKey for recordNumber, leaving the tree
  // as DeleteKey and InsertKey leave it. Branch entries both ways pass
  // through lose one key and gain one: their pages stay unchanged, and a
  // shared table does not write them back. newPlace, when given, is
  // FindKey's way to newKey in the tree as it stands now (nothing of this
  // index changed since); the insert follows it instead of descending
  // again where the delete left it valid. oldWay, when given, is FindKey's
  // way to oldKey in the tree as it stands now, taken instead of a descent;
  // given neither, both are found in one descent.
  // Both paths hold nothing after.
  void ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t recordNumber,
                  TTreePath* newPlace = nullptr, TTreePath* oldWay = nullptr);
  // Every page of the tree goes to the free list; the index is empty after.
  void FreePages();
  // Appends count keys (keyLength bytes each, in keys) with their records,
  // ascending and each above every key the tree holds, leaf by leaf: a
  // leaf takes its keys without a descent each, and the key counts of the
  // branches above it are set once it is full. False, with nothing
  // changed, when the first key is not above the tree's last.
  bool AppendInOrder(const uint8_t* keys, const uint32_t* records, size_t count);

private:
  TIndexFile& file;
  uint8_t indexNo;
  const TKeyComparer& comparer;
  uint16_t keyLength;
  const std::string& tableName;

  [[noreturn]] void Corrupt() const;
  bool Descend(const uint8_t* key, TTreePath& path, bool hold, const TTreeWay* noted = nullptr);
  // Goes on from page (the last level path notes) down to the leaf key
  // belongs in, holding the pages passed in path when it holds its way;
  // each page noted passed too is searched from the entry noted.
  void DescendFrom(TPageRef& page, const uint8_t* key, TTreePath& path, const TTreeWay* noted = nullptr);
  // Notes page, standing on the entry its search took, as the path's next
  // level, its parent link set.
  static void NoteLevel(TTreePath& path, TPage& page);
  // The pin of page, the path's last level, goes to a path that holds its
  // way; page is left empty then.
  static void Hold(TTreePath& path, TPageRef& page);
  // A path with no levels, holding the pages its descent passes or not.
  void StartWay(TTreePath& path, bool hold);
  // TPage::Search for key on page, told where a search for a key near it
  // ended.
  bool SearchNear(TPage& page, const uint8_t* key, int near);
  // TPage::Search for key on page, the level-th of a descent, from the
  // entry noted took there when it passed the page too.
  bool SearchNoted(TPage& page, const uint8_t* key, const TTreeWay& noted, int level);
  // The page at level of the path, standing on the entry the descent took,
  // its parent link set; the path's pin on it, when it holds one, goes to
  // the caller, who gives the page back in either case.
  TPage* PathPage(TTreePath& path, int level);
  // PathPage for the path's top levels levels (from the root), changing
  // nothing else.
  void StandOnWay(TTreePath& path, int levels);
  // Adds delta to the key counts of the path's branch entries from level
  // on; a count that would go below zero is damage.
  void CountAlong(TTreePath& path, int fromLevel, int delta);
  // InsertAt, counting the new key from level fromLevel on.
  void InsertAtCounted(TTreePath& path, const uint8_t* key, uint32_t recordNumber, int fromLevel);
  // Removes the entry the path's leaf stands on; after, when given, takes
  // the entry after it.
  void DeleteAt(TTreePath& path, TEntryAfter* after = nullptr);
  // The way place (found before the entry removed was taken out of from's
  // leaf) gives after the delete, moved into to; false when it must be
  // found again.
  static bool PlaceAfterDelete(TTreePath& place, const TTreePath& from, uint16_t removed, TTreePath& to);
  static int SharedLevels(const TTreePath& from, const TTreePath& to);
  void FreePageTree(uint32_t offset, int depth);
  // The pages from the root down the last entries to the last leaf, each
  // standing on its last entry with its parent link set; empty for an
  // empty tree.
  void LastWay(std::vector<TPageRef>& way);
};
