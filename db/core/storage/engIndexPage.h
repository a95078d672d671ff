#pragma once
// One 4096-byte page of an index B-tree, held unpacked in fixed-size entry
// slots while in use so that searches are plain binary searches. An idle
// page may be packed in memory to the bytes it stores (with the key
// compression of the index): a slot takes the full key length, so a
// compressed leaf takes two to ten times its stored size unpacked, and a
// branch of long padded keys (packed without the keys' runs of zeros)
// three to five times. A compressed leaf read from disk, and any page
// taken packed, decodes its slots only as far as they are read, and a
// search passes its stored entries from the restart point that earlier
// searches left below the key: a look-up of a leaf searched before passes
// at most a group of entries. A branch taken packed is searched in its
// packed entries, and a descent through it decodes no key. An insert or
// removal in a compressed leaf re-encodes only the entry and the one after
// it in the stored bytes, so a leaf that only takes inserts and removals
// is never decoded or packed whole.

#include <cstdint>
#include <string>
#include <vector>

#include "rtlAssert.h"
#include "engHeap.h"
#include "engOwnedList.h"
#include "engKeyCompare.h"
#include "engLittleEndian.h"

class TPage;
class TRecordsBitmap;
class TSpareSlots;
class TKeyOrder;

inline constexpr uint32_t IndexPageSize = 4096;
inline constexpr uint32_t PageHeaderSize = 13;
inline constexpr uint32_t PageDataSize = IndexPageSize - PageHeaderSize;  // 4083
inline constexpr uint16_t MaxIndexKeyLength = 528;  // 524 field bytes + row number
// Levels a descent may pass before the tree counts as damaged (a cycle);
// far above the depth of any tree an index file can hold.
inline constexpr int MaxTreeDepth = 32;

enum : uint8_t {
  ptRootBranch = 0,
  ptBranch = 1,
  ptLeaf = 2,
  ptRootLeaf = 3,
};

// What a page needs of the file that owns it while the tree changes shape.
// Pages handed out carry one more use; each is given back with
// ReleaseTreePage.
class TIndexPageOwner {
public:
  virtual TPage* GetTreePage(uint8_t indexNo, uint32_t offset) = 0;
  virtual void ReleaseTreePage(TPage* page) = 0;
  // A cleared page of the index, taken from its free list or appended.
  virtual TPage* NewTreePage(uint8_t indexNo) = 0;
  virtual void FreeTreePage(TPage* page) = 0;
  virtual void SetTreeRoot(uint8_t indexNo, uint32_t offset) = 0;
  // The table named in the page's errors.
  virtual std::string ErrorTableName() const = 0;
  // Slot buffers none of the owner's pages holds.
  virtual TSpareSlots& SpareSlots() = 0;

protected:
  ~TIndexPageOwner() = default;
};

// The one handle on a pinned page: it gives the page back to its owner
// when the scope ends, also on errors, so that a failed tree change or walk
// leaves no page pinned in the cache. An empty handle holds nothing.
class TPageRef {
public:
  TPageRef() = default;
  TPageRef(TIndexPageOwner* owner, TPage* page) : owner(owner), page(page) {}
  TPageRef(TPageRef&& other) noexcept : owner(other.owner), page(other.page) { other.page = nullptr; }
  TPageRef& operator=(TPageRef&& other) noexcept;
  TPageRef(const TPageRef&) = delete;
  TPageRef& operator=(const TPageRef&) = delete;
  // A handle whose page went to a holder ends empty: no call for it.
  ~TPageRef() {
    if (page) Reset();
  }
  TPage* operator->() const { return page; }
  TPage& operator*() const { return *page; }
  TPage* Get() const { return page; }
  explicit operator bool() const { return page != nullptr; }
  // Gives the held page back (if any) and holds next, of the same owner.
  void Replace(TPage* next);
  // Gives the held page back.
  void Reset() { Replace(nullptr); }
  // Lets go of the page without giving it back: its pin is the caller's.
  TPage* Detach() {
    TPage* held = page;
    page = nullptr;
    return held;
  }

private:
  TIndexPageOwner* owner = nullptr;
  TPage* page = nullptr;
};

// Slot buffers no page holds: a buffer a page gives up (packed, or its
// slots too small or far too large for the entries it loads) waits here
// for the next page whose entries it fits, instead of being freed and
// another block taken and zero-filled. Slot sizes differ ten times between
// the indexes of a table (a leaf of long text keys takes 20-60 KiB, one of
// short keys a few), so a buffer goes only to a page it fits (SlotsFit:
// little above what its entries need); the buffers given up longest ago
// are freed first.
class TSpareSlots {
public:
  static constexpr int MostBuffers = 16;
  TSpareSlots() = default;
  TSpareSlots(const TSpareSlots&) = delete;
  TSpareSlots& operator=(const TSpareSlots&) = delete;
  ~TSpareSlots();
  int Count() const { return count; }
  int64_t Bytes() const;

private:
  friend class TPage;
  struct TBuffer {
    uint8_t* block = nullptr;
    int32_t capacity = 0;
  };
  TBuffer buffers[MostBuffers];  // oldest first
  int count = 0;

  // Takes the block (the variables are emptied).
  void Give(uint8_t*& block, int32_t& capacity);
  // The buffer of least to most bytes given up last, if any.
  bool Take(int32_t least, int32_t most, uint8_t*& block, int32_t& capacity);
};

// Where a counting search leaves the second position in a leaf.
enum class TLeafSearchEnd : uint8_t {
  LastNotAbove,   // the entry the plain search ends on
  FirstNotBelow,  // the first entry not below the key (count + 1 when none)
  PastLower,      // as LastNotAbove, moved past a lower entry when not found
};

enum class TBitmapWalk : uint8_t {
  Found,        // the second position names an entry whose record is present
  PageEnd,      // the walk ran off this page
  LimitPassed,  // the next entry lies beyond the limit key
};

// What every page of one index shares.
struct TPageShape {
  uint16_t KeyLength = 0;
  bool Descending = false;
  bool Unique = false;
  uint8_t Compression = kcNone;
};

class TPage : public TEngineObject {
public:
  TIndexPageOwner* Owner = nullptr;
  // Changed since it was read or written: KeyCountsChanged while the key
  // counts of a branch's entries are all that changed (SetKeyCountAt),
  // any other change sets 1.
  uint8_t Modified = 0;
  static constexpr uint8_t KeyCountsChanged = 2;
  uint16_t UseCount = 0;
  // Dropped from its cache while in use: the pool gets it back only when
  // its last holder releases it.
  bool Orphaned = false;
  uint32_t Offset = 0;
  uint32_t Parent = 0;  // in memory only, set while descending; 0 for the root
  uint16_t UsedBytes = 0;
  uint16_t Count = 0;
  uint16_t Position = 1;        // first current position, 1-based
  uint16_t SecondPosition = 1;  // second current position, 1-based
  uint16_t KeyLength = 0;
  uint8_t IndexNo = 0;
  uint8_t Descending = 0;
  uint8_t Unique = 0;
  uint8_t Compression = kcNone;
  uint8_t HeaderImage[PageHeaderSize] = {};
  uint32_t Left = 0;
  uint32_t Right = 0;
  uint8_t PageType = ptRootBranch;
  uint8_t Free = 0;
  // The owner's cache: the key and the most-recently-used chain.
  TPage* Newer = nullptr;
  TPage* Older = nullptr;
  uint32_t CacheKey() const { return Offset; }
  bool Idle() const { return UseCount == 0 && !Modified; }
  // Bytes the owner's cache counts for the page while it holds it.
  uint32_t ChargedBytes = 0;
  // Bytes the page takes in memory, its entry slots or packed entries
  // included.
  uint32_t Footprint() const {
    return uint32_t(sizeof(TPage)) + uint32_t(capacity) + packedCapacity +
           uint32_t(restarts.capacity() * sizeof(TRestartPoint) + restartKeys.capacity());
  }
  // The cache's chain of unpacked compressed leaves by recent use.
  TPage* UnpackedNewer = nullptr;
  TPage* UnpackedOlder = nullptr;
  bool InLeafChain = false;
  // Listed for write-back since it was last written: a page changed again
  // and again is listed once.
  bool NotedForWriteBack = false;
  // A leaf a cursor's walk took: given back unchanged, it goes to the old
  // end of the cache, so that leaves look-ups and scans pass once do not
  // push out the branches every descent needs.
  bool WalkedLeaf = false;
  // Given back changed since it was read or made (WorthPacking).
  bool ChangedSinceRead = false;

  TPage() = default;
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;
  ~TPage() override;

  // Takes the index's values; a key length or compression the page cannot
  // hold is refused (8961).
  void Setup(TIndexPageOwner* owner, uint8_t indexNo, const TPageShape& shape);
  // A slot buffer that does not fit the entries read goes to the owner's
  // spares, and a fitting one is taken from there.
  void Load(const uint8_t* image, bool fresh);
  void Store(uint8_t* image);
  // A page whose key counts alone changed puts only the entries whose
  // counts changed into image, each in its place in the page, and narrows
  // from..to to the bytes of those counts: the rest is as last stored.
  // The lead bytes that end at to are put in place too (the page's header
  // and entries as stored), for a caller that writes them with the counts.
  void StoreKeyCounts(uint8_t* image, uint32_t& from, uint32_t& to, uint32_t lead);
  void Clear();
  // Packed, the entries take the bytes the page stores and the slots are
  // given up; nothing reads or changes entries until Unpack, which gives
  // back exactly the entries packed. Only a page no one holds is packed.
  bool Packed() const { return packed; }
  // A compressed leaf whose slots take at least twice its stored bytes, or
  // a branch of long keys that did not change since it was read (packed
  // without its keys' runs of zeros).
  // Packing a page whose entries did not change since it was read or
  // unpacked only gives up its slots, and unpacking decodes lazily.
  bool WorthPacking() const;
  // The slots go to the owner's spares.
  void Pack();
  // Takes slots for the entries (a fitting spare buffer when there is
  // one), which are decoded as they are read.
  void Unpack();
  void Assign(const TPage& source);

  void SetLeft(uint32_t value);
  void SetRight(uint32_t value);
  void SetPageType(uint8_t value);

  bool IsLeaf() const { return PageType == ptLeaf || PageType == ptRootLeaf; }
  bool IsRoot() const { return PageType == ptRootBranch || PageType == ptRootLeaf; }
  bool IsCompressedLeaf() const { return IsLeaf() && Compression != kcNone; }
  int MaxEntries() const;
  // An entry slot: the key, then record or child pointer, key count (in
  // branches) and the compression's shared and removed byte counts.
  static constexpr uint32_t SlotFieldBytes = 12;
  static constexpr int SlotPointer = 0;
  static constexpr int SlotKeyCount = 4;
  static constexpr int SlotShared = 8;
  static constexpr int SlotRemoved = 10;
  // Entries from one restart point of a compressed leaf to the next (see
  // restarts below).
  static constexpr int RestartInterval = 16;
  // The share of a leaf's stored bytes its restart points may take.
  static constexpr uint32_t RestartShare = 8;
  uint32_t EntrySize() const { return uint32_t(KeyLength) + SlotFieldBytes; }

  // Entry access by position, 1 to Count; any other is page damage (8965).
  const uint8_t* KeyAt(int position) const { return EntryAt(position); }
  // The entry at position is read from its slot, without decoding.
  bool EntryDecoded(int position) const {
    return !packedEntries || (position <= decoded && position > decodedFrom);
  }
  uint32_t PointerAt(int position) const { return GetLE32(TailAt(position) + SlotPointer); }
  uint32_t KeyCountAt(int position) const;
  void SetPointerAt(int position, uint32_t value);
  void SetKeyCountAt(int position, uint32_t value);

  // The same at the first or second current position.
  uint32_t CurrentPointer(bool second = false) const { return PointerAt(Pos(second)); }
  uint32_t CurrentKeyCount(bool second = false) const { return KeyCountAt(Pos(second)); }
  void SetCurrentKeyCount(uint32_t value, bool second = false) { SetKeyCountAt(Pos(second), value); }

  void First(bool second = false) { Pos(second) = 1; }
  void Last(bool second = false) { Pos(second) = Count; }
  void Next(bool second = false) { ++Pos(second); }
  void Prior(bool second = false) { if (Pos(second) > 0) --Pos(second); }

  uint32_t KeyCount() const;
  uint32_t KeysBefore(bool second = false) const;

  // Plain search on the first position; true only for an exact hit in a leaf.
  bool Search(const TKeyComparer& compare, const uint8_t* key, int length);
  // The first position names the entry after which the key belongs (0: in
  // front of all) in a leaf, the child to descend into in a branch.
  bool SearchForInsert(const TKeyComparer& compare, const uint8_t* key, int length);
  // Search on the second position adding the keys before it to keysBefore.
  bool SearchCounting(const TKeyComparer& compare, const uint8_t* key, int length,
                      TLeafSearchEnd end, uint32_t& keysBefore);

  // Inserts after the first position, which then names the new entry;
  // splits upward when the page overflows.
  void InsertEntry(const uint8_t* key, uint32_t pointer, uint32_t keyCount);
  // Removes the entry at the first position; merges or borrows upward.
  void DeleteEntry();
  // Whether DeleteEntry leaves this leaf in its place under the same parent
  // entry: it neither empties nor underflows into a neighbour. A root leaf
  // has no branch to spare.
  bool LeafKeepsShapeOnDelete() const;

  // Whether every key stands strictly after the one before it in the
  // comparer's order (the index's one order). A walk's steps inside the
  // page rely on it, so it is checked once while the page holds the
  // entries it was read with: damage comes with a read, and the tree's own
  // changes keep the order; a page given back changed forgets the check
  // (KeysChanged), as does one that takes another image.
  bool KeysInOrder(const TKeyComparer& comparer) const;
  void KeysChanged() { keysOrdered = false; }

  // Entries from the current leaf entry on whose record numbers run on
  // without a gap, the current one included, at most limit.
  int RecordRun(bool forward, int limit) const;
  // Steps the second position over entries whose records are absent from
  // the bitmap (starting with the current one), adding each to skipped.
  TBitmapWalk SkipAbsent(const TRecordsBitmap& bitmap, bool forward, const TKeyComparer* compare,
                         const uint8_t* limitKey, int limitLength, uint32_t& skipped);
  // Sets the records of the entries from the second position on up to the
  // limit key (all when none); true when the limit was passed on this page.
  bool AddRecords(TRecordsBitmap& bitmap, const TKeyComparer* compare, const uint8_t* limitKey,
                  int limitLength);

private:
  uint8_t* entries = nullptr;
  // KeysInOrder found them so, and they did not change since.
  mutable bool keysOrdered = false;
  int32_t capacity = 0;
  // The positions whose key counts changed while Modified is
  // KeyCountsChanged.
  uint16_t countsFrom = 0;
  uint16_t countsTo = 0;
  void StoreHeader(uint8_t* image) const;
  // The packed entries: as Store writes them after the page header for a
  // leaf, without the keys' runs of zeros for a branch. A compressed
  // leaf keeps them from its read, from its write and from its packing,
  // and takes its inserts and removals in them as well as in its slots
  // (SpliceIn, SpliceOut); any other change of the entries (a split, a
  // branch's key count) decodes every slot and lets them go. So whenever
  // they are kept they are what the page stores, and only the first
  // `decoded` slots, taking the first `decodedBytes` of them, need be
  // decoded; the slots for Count + 1 entries are taken beforehand, so
  // decoding never moves a slot a caller reads.
  uint8_t* packedEntries = nullptr;
  uint32_t packedSize = 0;
  uint32_t packedCapacity = 0;
  bool packed = false;
  mutable uint16_t decoded = 0;
  mutable uint16_t decodedBytes = 0;
  // A search of a leaf not decoded whole decodes only the entries it may
  // end on: the decoded slots begin at `decodedFrom`, whose stored entry
  // begins at `decodedFromBytes` (0 and 0 otherwise); reading before them
  // decodes from the first entry.
  mutable uint16_t decodedFrom = 0;
  mutable uint16_t decodedFromBytes = 0;
  // A branch's running sums of key counts are current (SumKeyCounts).
  mutable bool countsSummed = false;
  // A branch searched in its packed entries (ScanPackedBranch) decodes no
  // key: the slots of the entries it passed, the first tailsRead, take
  // only their child and key count, which is all a descent reads of them.
  // Their keys are decoded as any other when read.
  mutable uint16_t tailsRead = 0;
  // Restart points of a compressed leaf kept as stored entries, in memory
  // only: every RestartInterval-th entry a search passed in the stored
  // bytes, with where it begins there and its whole key, so that a search
  // starts at the last point below its key instead of at the first entry
  // (each stored key depends on the one before). The first entry is the
  // implicit point of the first group. They describe the stored entries
  // and live and go with them; a point's key is kept without the zeros
  // that end it before the row number of a non-unique key, or as runs of
  // literal bytes and of zeros when that is shorter (text keys are padded
  // fields), one after another in restartKeys.
  struct TRestartPoint {
    uint16_t Index = 0;   // the entry, from 0
    uint16_t Offset = 0;  // where it begins in the stored entries
    uint16_t KeyAt = 0;   // where its key begins in restartKeys
    uint16_t KeyBytes : 15 = 0;  // the bytes its key takes in restartKeys
    uint16_t Runs : 1 = 0;       // its key is kept as runs
  };
  mutable std::vector<TRestartPoint> restarts;
  mutable std::vector<uint8_t> restartKeys;
  // The entries before restartsCover were passed by the searches that set
  // the points; a search passing the entry at restartsCover sets the next.
  mutable uint16_t restartsCover = 0;

  [[noreturn]] void Corrupt() const;
  [[noreturn]] void Raise(uint16_t code) const;
  uint16_t& Pos(bool second) { return second ? SecondPosition : Position; }
  uint16_t Pos(bool second) const { return second ? SecondPosition : Position; }
  // Every change of the entries goes through here (or clears the page).
  uint8_t* Slot(int index0) {
    Materialize();
    countsSummed = false;
    return entries + size_t(index0) * EntrySize();
  }
  const uint8_t* Slot(int index0) const { return entries + size_t(index0) * EntrySize(); }
  void Reserve(int entries);
  // Bytes Reserve takes for count slots.
  int32_t SlotBytes(int count) const;
  // The most bytes a buffer for count slots may take, and whether one of
  // that many bytes fits them.
  int32_t MostSlotBytes(int count) const;
  bool SlotsFit(int32_t bytes, int count) const;
  // Slots for count entries whose bytes need not be kept.
  void FitSlots(int count);
  void SumKeyCounts() const;
  // Inline where the entry lies decoded: a scan reads each entry's key and
  // record several times a step.
  const uint8_t* EntryAt(int position) const {
    ORV_ASSERT(!packed);  // entries are read only from a held page
    if (position >= 1 && position <= Count && EntryDecoded(position)) return Slot(position - 1);
    return DecodeEntryAt(position);
  }
  // EntryAt's way for an entry still to decode, or page damage.
  const uint8_t* DecodeEntryAt(int position) const;
  uint8_t* EntryAt(int position);
  // The child (record) and key count of the entry at position, read
  // without decoding its key where its tail is read (tailsRead).
  const uint8_t* TailAt(int position) const {
    ORV_ASSERT(tailsRead == 0 || (!packed && !IsLeaf() && tailsRead <= Count));
    if (position >= 1 && position <= tailsRead) return Slot(position - 1) + KeyLength;
    return KeyAt(position) + KeyLength;
  }

  // Compressed-leaf bookkeeping.
  uint32_t PackedSize(int index0) const;
  uint32_t LeafEntryBytes(const uint8_t* slot) const;
  void ComputeCompression(int index0);
  void SetCompression(uint8_t* slot, const uint8_t* previous) const;
  // The counts SetCompression puts.
  void CompressionOf(const uint8_t* slot, const uint8_t* previous, int& shared, int& removed) const;
  void RefreshCompression(int index0);
  void RecountUsedBytes();

  void PutSlot(int index0, const uint8_t* slot);
  void RemoveSlot(int index0);
  void MoveSlots(TPage& target, int from0, int count, int to0);
  bool SplitStoredEntries(TPage& right, int from0);
  void UnpackEntries(const uint8_t* data, uint32_t usedBytes);
  void CheckPackedEntries(const uint8_t* data, uint32_t usedBytes) const;
  // Lazy decoding of a compressed leaf's kept packed entries.
  bool Decoding() const { return packedEntries && !packed && (decoded < Count || decodedFrom > 0); }
  void DecodeThrough(int count) const;
  void Decode(int first, int last) const;
  bool DecodeLeafEntry(const uint8_t*& p, const uint8_t* end, bool first, uint8_t* slot) const;
  // Before entries change: every slot decoded, the packed entries let go.
  void Materialize() {
    if (packedEntries) MaterializeSlots();
  }
  void MaterializeSlots();
  uint32_t PackEntries(uint8_t* data) const;
  uint32_t PackLeafSlots(const uint8_t* slots, int count, uint8_t* data) const;
  uint8_t* EncodeLeafEntry(const uint8_t* slot, uint8_t* p) const;
  uint32_t PackBranch(uint8_t* data) const;
  uint32_t StorePackedBranch(uint8_t* data) const;
  // The packed entries of the page's kind.
  uint32_t PackedForm(uint8_t* data) const;
  uint32_t StoredEntryBytes() const;
  void KeepStoredEntries(const uint8_t* data, uint32_t size);
  bool StoredEntriesCurrent() const;
  void DropPackedEntries();
  // Changes made in the stored entries as well as in the slots.
  bool SplicesChanges() const;
  uint32_t StoredOffset(int index0) const;
  void ReplaceStoredBytes(uint32_t from, uint32_t to, const uint8_t* bytes, uint32_t count);
  void SpliceIn(int index0, const uint8_t* slot);
  void SpliceOut(int index0);

  // Where key stands on a page still decoding, found in one pass from the
  // first entry: entries before notBelow compare below it, those from
  // above on above it. Decodes a few entries past above at most.
  void ScanEntries(const TKeyComparer& compare, const uint8_t* key, int length, int& notBelow, int& above) const;
  void ScanStoredEntries(const uint8_t* key, int length, bool reversed, int& notBelow, int& above) const;
  template <uint8_t Mode, bool UniqueKeys>
  void ScanStoredEntriesOf(const uint8_t* key, int length, bool reversed, int& notBelow, int& above) const;
  // The same for a branch packed in memory, in its packed entries.
  void ScanPackedBranch(const uint8_t* key, int length, bool reversed, int& notBelow, int& above) const;
  // The tails read are those of a fresh decoding.
  bool TailsCurrent() const;
  // The last restart point whose key is below key (-1: none), with the
  // leading bytes it shares with key and its key whole (pointKey).
  int RestartBelow(const uint8_t* key, int length, bool reversed, int& matched, uint8_t* pointKey) const;
  // The point's key, whole; false when its runs do not make one.
  bool RestartKey(const TRestartPoint& point, uint8_t* key) const;
  // The row number kept after a plain point key's zeros.
  int RestartTail() const;
  bool AddRestart(int index0, uint32_t offset, const uint8_t* key) const;
  // The lists moved to room for exactly that many points and key bytes.
  void SizeRestartRoom(size_t points, size_t keyBytes) const;
  // The points from first on dropped; the searches set them again from
  // the entry cover on.
  void DropRestarts(int first, int cover) const;
  // The points follow an entry put in or taken out of the stored entries
  // (from: where it begins, and where the entry after it begins when taken
  // out; newBytes: its stored size when put in; bytes: the stored bytes the
  // change added, less those it removed, which moves every later entry).
  void RestartsAfterSpliceIn(int index0, uint32_t from, uint32_t newBytes, int32_t bytes);
  void RestartsAfterSpliceOut(int index0, uint32_t from, int32_t bytes);
  bool RestartsCurrent(const uint8_t* slots) const;
  // How key compares with the entries, position by position; scanned
  // first on a page still decoding.
  TKeyOrder OrderOf(const TKeyComparer& compare, const uint8_t* key, int length) const;

  bool Overflows() const;
  void Split();
  void BalanceSplitLeaves(TPage& right);
  void CarryFirstKeyUp();
  int EntryInParent(TPage& parent) const;
  TPage* RequireParent();
  void HandleUnderflow();
  void CollapseRoot();
  void MergeOrShareLeft(TPage& parent, int entry);
  void MergeOrShareRight(TPage& parent, int entry);
  void UnlinkFromNeighbours();
};

// The index file's pool of page objects.
class TPageStack : public TEngineObject {
public:
  TPageStack();
  ~TPageStack() override;
  // A cleared page: the last one returned, or a new one.
  TPage* Take();
  void Return(TPage* page);
  // Frees a page the cache gave up for good.
  void Discard(TPage* page);

private:
  TOwnedList<TPage> freePages;
};
