#pragma once
// The index file of a table (".IDX"): a 4096-byte header holding the
// descriptors of every index, then the 4096-byte pages of their B-trees.
// The indexes share one page cache, so the index in use may fill the whole
// budget while the others' pages age out; each keeps its own free-page
// list, so a page one index freed is never taken by another.

#include <cstdint>
#include <string>
#include <vector>

#include "rtlAssert.h"
#include "engBuffer.h"
#include "engEntryCache.h"
#include "engFileHandler.h"
#include "engFileTable.h"
#include "engIndexFileLayout.h"
#include "engIndexPage.h"
#include "engLittleEndian.h"
#include "engOwnedList.h"

inline constexpr uint32_t IndexHeaderSize = 4096;
inline constexpr int IndexDescSize = 120;
inline constexpr int IndexSlotCount = 32;  // 0 primary, 1..30 secondary, 31 "Sys Deleted"
inline constexpr int MaxSecondaryIndexes = 30;
inline constexpr uint8_t IndexFileFormat = 4;
inline constexpr uint32_t MaxIndexFileEnd = 2000000000;
inline constexpr int MaxKeyFieldBytes = 524;
// Pages the cache keeps for each index whatever their bytes (a descent pins
// one per level, a change a few more), and the most bytes it may be given.
inline constexpr int32_t MinCachedPages = 15;
inline constexpr int64_t MaxCachedIndexBytes = int64_t(65536) * IndexPageSize;
// Pages one write call takes at the most. The kernel keeps what one call
// wrote in one block of its page cache (up to 2 MiB), and every later write
// of a single page inside such a block costs in proportion to the block's
// size: a flush of a long run in one call made the single-page writes of
// later changes to those pages 3 to 5 times dearer (64 KiB blocks cost
// next to nothing).
inline constexpr int32_t MostPagesPerWrite = 16;

// Bytes of a 120-byte index descriptor.
inline constexpr int IdxDescName = 0;  // length byte and up to 30 characters
inline constexpr int IdxDescNameLimit = 30;
inline constexpr int IdxDescKeyLength = 31;
inline constexpr int IdxDescDescending = 33;
inline constexpr int IdxDescCaseInsensitive = 34;
inline constexpr int IdxDescUnique = 35;
inline constexpr int IdxDescCompression = 36;
inline constexpr int IdxDescFieldCount = 37;
inline constexpr int IdxDescFieldDescending = 38;  // 16 flags
inline constexpr int IdxDescFieldNumbers = 54;     // 16 x u16
inline constexpr int IdxDescRoot = 86;
inline constexpr int IdxDescFirstFree = 90;

// What the index file needs of the table that owns it.
class TIndexFileTable : public virtual TFileTable {
public:
  virtual bool IsEncrypted() const = 0;
  // Type and stored size of a field of the data file; false for no such field.
  virtual bool GetKeyField(uint16_t fieldNo, uint8_t& fieldType, uint8_t& storedSize) const = 0;

protected:
  ~TIndexFileTable() = default;
};

class TIndexFile : public TFileHandler, public TIndexPageOwner {
public:
  explicit TIndexFile(TIndexFileTable* table);
  ~TIndexFile() override;

  void Open() override;
  void Close() override;
  // Creates the file with an empty header image: no indexes but "Sys Deleted".
  void CreateIndexFile();

  void ReadHeader();
  void WriteHeader(bool force);
  bool HeaderChanged();
  void MarkChanged();
  void EmptyIndexes();
  // Puts the backup copy in place of the whole file and takes its header.
  void RestoreFromBackup(const std::string& backupName);

  void IncRecordCount();
  void DecRecordCount();
  void SetRecordCount(uint32_t count);
  uint32_t GetRecordCount() const;

  uint32_t GetRootOffset(int slot) const;
  void SetRootOffset(int slot, uint32_t offset);
  uint32_t GetFirstFreePage(int slot) const;
  void SetFirstFreePage(int slot, uint32_t offset);
  // Inline with the change count: every step of a walk asks them.
  uint32_t GetEndOffset() const { return GetLE32(header + HdrEndOffset); }
  bool GetNoPrimary() const { return header[HdrNoPrimary] != 0; }
  void SetNoPrimary(bool value);
  int GetSecondaryCount() const;
  void SetSecondaryCount(int count);
  void GetIndexDescriptor(int slot, uint8_t* descriptor) const;
  void GetIndexFields(int slot, uint16_t* fieldNumbers) const;
  void SetIndexDescriptor(int slot, const uint8_t* descriptor);
  void SetIndexNameAndFields(int slot, const std::string& name, const uint16_t* fieldNumbers);
  std::string GetIndexName(int slot) const;
  uint32_t GetChangeCount() const { return GetLE32(header + HdrChangeCount); }

  void SetPrimaryIndex(const uint8_t* descriptor);
  void AddIndex(const uint8_t* descriptor);
  void DeleteIndex(int slot, bool remove);

  // The page at offset, cached for indexNo, with one more use; false when a
  // read for a reader met other users' changes (the caller starts over).
  bool GetPage(TReadContext* reader, uint8_t indexNo, uint32_t offset, bool fresh, TPage*& page);
  void ReleasePage(TPage* page);
  TPage* NewPage(uint8_t indexNo);
  void FreePage(TPage* page);
  // The root at its first entry (on the second position when asked), or
  // nullptr for an empty index; false as for GetPage.
  bool GetRoot(TReadContext* reader, uint8_t indexNo, bool second, TPage*& page);

  void FlushPages();
  void DropPages(bool withDeleted);
  void TrimPageCaches(bool withDeleted);
  // Gives up every page that is neither modified nor in use.
  void DropIdlePages();

  bool LockIndexExclusive();
  bool UnlockIndexExclusive();
  // The lock number drawn is kept in lockNumber for the unlock.
  bool LockIndexShared(uint16_t& lockNumber);
  bool UnlockIndexShared(uint16_t lockNumber);

  void VerifyIndexFile();

  uint32_t CacheHits() const { return cacheHits; }
  uint32_t PageReads() const { return pageReads; }
  uint32_t PageWrites() const { return pageWrites; }
  int32_t CachedPages() const { return cache.Count(); }
  // What the cached pages take in memory, and what they may take when no
  // transaction grew the cache.
  int64_t CachedBytes() const { return cachedBytes; }
  int64_t ByteBudget() const;

  // TIndexPageOwner: tree changes run under the table's write lock, so
  // their page reads skip the change check.
  TPage* GetTreePage(uint8_t indexNo, uint32_t offset) override;
  void ReleaseTreePage(TPage* page) override { ReleasePage(page); }
  TPage* NewTreePage(uint8_t indexNo) override { return NewPage(indexNo); }
  void FreeTreePage(TPage* page) override { FreePage(page); }
  void SetTreeRoot(uint8_t indexNo, uint32_t offset) override { SetRootOffset(indexNo, offset); }
  std::string ErrorTableName() const override;
  TSpareSlots& SpareSlots() override { return spareSlots; }

private:
  using TPageCache = TEntryCache<TPage>;

  TIndexFileTable* table;
  TEngineBuffer readBuffer;
  TEngineBuffer writeBuffer;
  uint8_t header[IndexHeaderSize] = {};
  TPageStack pageStack;
  TPageCache cache;  // pages of every index, found by offset
  int64_t cachedBytes = 0;  // the ChargedBytes of the cached pages
  int64_t byteLimit = 0;    // ByteBudget, grown while a transaction runs
  // The cached compressed leaves whose entries are unpacked, by recent
  // use, and their ChargedBytes; other cached leaves are packed.
  TPage* unpackedLeavesNewest = nullptr;
  TPage* unpackedLeavesOldest = nullptr;
  int64_t unpackedLeafBytes = 0;
  TSpareSlots spareSlots;  // what pages packed or loaded gave up
  std::vector<TPage*> flushList;
  TOwnedList<TPage> orphans;  // dropped from a cache while in use
  // A page was read from where the file ended (a transaction's or
  // temporary file's pages not written yet): its bytes are not all in the
  // file, so no page is written in part until the cache is dropped.
  bool shortPageCached = false;
  uint32_t cacheHits = 0;
  uint32_t pageReads = 0;
  uint32_t pageWrites = 0;

  [[noreturn]] void RaiseIndexError(uint16_t code, const std::string& indexName = {}) const;
  void ResetCounters();
  void TakeHeader(const uint8_t* image);
  uint8_t* Slot(int slot) {
    ORV_ASSERT(slot >= 0 && slot < IndexSlotCount);
    return header + 14 + slot * IndexDescSize;  // 14: first slot
  }
  const uint8_t* Slot(int slot) const {
    ORV_ASSERT(slot >= 0 && slot < IndexSlotCount);
    return header + 14 + slot * IndexDescSize;
  }
  void SetModified();
  void CheckSlot(int slot) const;
  void CheckKeyFields(const uint8_t* descriptor, const std::string& indexName) const;
  // False when the file ended before count bytes (the rest zeroed).
  bool ReadImage(uint32_t offset, uint8_t* buffer, uint32_t count, bool allowShort);
  void WriteImage(uint32_t offset, const uint8_t* buffer, uint32_t count);
  void VerifySlot(int slot) const;
  void VerifyPageOffset(uint32_t offset) const;

  // The cache.
  void SetCacheLimits();
  int32_t LeastCachedPages() const;
  bool CacheHasRoom() const;
  TPage* TakeCacheEntry(uint8_t indexNo);
  // A page takes the key length, orders, uniqueness and compression of the
  // descriptor its slot holds.
  void SetUpForSlot(TPage* page, uint8_t indexNo);
  bool MatchesSlot(const TPage& page) const;
  void Admit(TPage* page);
  void Evict(TPage* page);
  void Recharge(TPage* page);
  void ChainLeaf(TPage* page);
  void UnchainLeaf(TPage* page);
  void FollowPageShape(TPage* page);
  void UnpackCached(TPage* page);
  bool PackOldestLeaf();
  void PackOldLeaves();
  void DropPage(TPage* page);
  void GiveUpIdlePages(int64_t bytes, int32_t leastPages, bool withDeleted);
  void WriteOldestPages();
  void WriteListedPages();
  // The root or a page one or two levels below it.
  bool NearRoot(const TPage* page);
  bool StoreCountsInPlace(uint32_t offset, uint32_t from, uint32_t to);
  // The file holds the page as it stores now.
  bool FileHoldsPage(TPage* page);
  void RenumberCachedPages(int removed, int last);
  void CheckPageOffset(uint32_t offset, bool fresh) const;
  bool ShortReadAllowed() const;
};
