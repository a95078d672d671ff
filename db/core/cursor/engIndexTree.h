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
#include <string>

class TIndexFile;
class TKeyComparer;

class TIndexTree {
public:
  // Keys of keyLength bytes, compared by comparer, in index indexNo;
  // damage is reported for tableName.
  TIndexTree(TIndexFile& file, uint8_t indexNo, const TKeyComparer& comparer, uint16_t keyLength,
             const std::string& tableName)
      : file(file), indexNo(indexNo), comparer(comparer), keyLength(keyLength), tableName(tableName) {}

  bool KeyExists(const uint8_t* key);
  void InsertKey(const uint8_t* key, uint32_t recordNumber);
  // A key the tree does not hold is damage (8965): nothing changes then.
  void DeleteKey(const uint8_t* key);
  // Every page of the tree goes to the free list; the index is empty after.
  void FreePages();

private:
  TIndexFile& file;
  uint8_t indexNo;
  const TKeyComparer& comparer;
  uint16_t keyLength;
  const std::string& tableName;

  [[noreturn]] void Corrupt() const;
  void FreePageTree(uint32_t offset, int depth);
};
