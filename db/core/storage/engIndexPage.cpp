#include "engIndexPage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "rtlAssert.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engLittleEndian.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"
#include "engShortCopy.h"
#include "engStrings.h"

namespace {

constexpr int32_t EntryBufferStep = 8192;
constexpr uint32_t StoredBytesStep = 256;
// Branches of keys at least this long are kept packed while idle, their
// keys' runs of zeros left out: long keys are padded text.
constexpr uint16_t PackedBranchKeyLength = 64;
// Room for a page's entries in any packed form: a packed branch entry
// takes at most eight bytes more than it stores (its key has no run of
// zeros to leave out).
constexpr uint32_t PackedFormRoom = PageDataSize + 8 * (PageDataSize / (PackedBranchKeyLength + 8) + 2);
constexpr uint32_t CompressedLeafOverflow = PageDataSize + 1;  // 4084
constexpr uint32_t MaxSlotSize = MaxIndexKeyLength + 12;

}  // namespace

TPageRef& TPageRef::operator=(TPageRef&& other) noexcept {
  if (this != &other) {
    if (page) Reset();
    owner = other.owner;
    page = other.page;
    other.page = nullptr;
  }
  return *this;
}

void TPageRef::Replace(TPage* next) {
  TPage* held = page;
  page = next;
  if (held) owner->ReleaseTreePage(held);
}

TSpareSlots::~TSpareSlots() {
  for (int i = 0; i < count; ++i) EngineFreeMem(buffers[i].block);
}

int64_t TSpareSlots::Bytes() const {
  int64_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += buffers[i].capacity;
  return bytes;
}

void TSpareSlots::Give(uint8_t*& block, int32_t& capacity) {
  if (capacity == 0) return;
  if (count == MostBuffers) {
    EngineFreeMem(buffers[0].block);
    std::move(buffers + 1, buffers + count, buffers);
    --count;
  }
  buffers[count++] = TBuffer{block, capacity};
  block = nullptr;
  capacity = 0;
}

// The buffer given up last is likeliest still in the processor's caches.
bool TSpareSlots::Take(int32_t least, int32_t most, uint8_t*& block, int32_t& capacity) {
  ORV_ASSERT(capacity == 0);
  int best = count - 1;
  while (best >= 0 && (buffers[best].capacity < least || buffers[best].capacity > most)) --best;
  if (best < 0) return false;
  block = buffers[best].block;
  capacity = buffers[best].capacity;
  std::move(buffers + best + 1, buffers + count, buffers + best);
  buffers[--count] = TBuffer{};
  return true;
}

// How key compares with the entries of a page, position by position: by
// the comparer, or, on a leaf still decoding, from where one pass found
// key's run of equal entries (the entries are in key order, so the
// binary searches below take the same steps either way).
class TKeyOrder {
public:
  TKeyOrder(const TPage& page, const TKeyComparer& compare, const uint8_t* key, int length)
      : page(page), compare(compare), key(key), length(length) {}
  void Scanned(int firstNotBelow, int firstAbove) {
    scanned = true;
    notBelow = firstNotBelow;
    above = firstAbove;
  }
  // key against the entry at position.
  int At(int position) const {
    if (scanned) return position < notBelow ? 1 : position < above ? 0 : -1;
    return compare.CompareKeys(key, page.KeyAt(position), length);
  }
  // The first position whose entry is not below key (Count + 1 when none).
  int LowerBound() const {
    if (scanned) return notBelow;
    int low = 1;
    int high = page.Count + 1;
    while (low < high) {
      const int middle = (low + high) / 2;
      if (compare.CompareKeys(page.KeyAt(middle), key, length) < 0) low = middle + 1;
      else high = middle;
    }
    return low;
  }
  int BasicSearch(bool& found) const;

private:
  const TPage& page;
  const TKeyComparer& compare;
  const uint8_t* key;
  int length;
  bool scanned = false;
  int notBelow = 0;
  int above = 0;
};

TPage::~TPage() {
  EngineFreeMem(entries);
  EngineFreeMem(packedEntries);
}

void TPage::Raise(uint16_t code) const { RaiseEngineError(code, Owner->ErrorTableName()); }

void TPage::Corrupt() const { Raise(EngErrPageCorrupt); }

void TPage::Setup(TIndexPageOwner* owner, uint8_t indexNo, const TPageShape& shape) {
  Owner = owner;
  // A non-unique key ends in a 4-byte row number, so it needs more than 4.
  if (shape.KeyLength < 1 || shape.KeyLength > MaxIndexKeyLength || shape.Compression > kcFull ||
      (!shape.Unique && shape.KeyLength <= 4))
    Raise(EngErrHeaderCorrupt);
  IndexNo = indexNo;
  KeyLength = shape.KeyLength;
  Descending = shape.Descending;
  Unique = shape.Unique;
  Compression = shape.Compression;
}

// Entries past Count are never read, and every entry a page takes is
// written whole (PutSlot, MoveSlots, UnpackEntries), so a clear (every
// cache miss takes a cleared page) leaves the entry bytes as they are.
void TPage::Clear() {
  DropPackedEntries();
  decoded = 0;
  decodedBytes = 0;
  decodedFrom = 0;
  decodedFromBytes = 0;
  NotedForWriteBack = false;
  WalkedLeaf = false;
  ChangedSinceRead = false;
  keysOrdered = false;
  countsSummed = false;
  Position = 1;
  SecondPosition = 1;
  Parent = 0;
  PageType = ptRootBranch;
  Left = 0;
  Right = 0;
  UsedBytes = 0;
  Count = 0;
  Free = 0;
  Modified = 0;
}

void TPage::Assign(const TPage& source) {
  ORV_ASSERT(!source.packed);
  if (source.Decoding()) source.Decode(0, source.Count - 1);
  DropPackedEntries();
  Position = source.Position;
  SecondPosition = source.SecondPosition;
  Offset = source.Offset;
  Parent = source.Parent;
  PageType = source.PageType;
  UsedBytes = source.UsedBytes;
  Count = source.Count;
  Left = source.Left;
  Right = source.Right;
  Free = source.Free;
  IndexNo = source.IndexNo;
  KeyLength = source.KeyLength;
  Descending = source.Descending;
  Unique = source.Unique;
  Compression = source.Compression;
  memcpy(HeaderImage, source.HeaderImage, PageHeaderSize);
  Reserve(source.Count);
  if (source.Count > 0) memcpy(entries, source.entries, size_t(source.Count) * EntrySize());
  countsSummed = false;
  keysOrdered = false;
}

// A page that stores every key byte holds at most its page's entries and
// the one that makes it split, so it takes that many slots at once and no
// more; compressed leaves grow in steps. A spare buffer that fits is taken
// first (the slots so far copied, the smaller buffer left spare), rather
// than a block grown, copied whole and its growth cleared.
void TPage::Reserve(int count) {
  const int32_t least = SlotBytes(count);
  if (capacity >= least) return;
  TSpareSlots& spare = Owner->SpareSlots();
  uint8_t* block = nullptr;
  int32_t size = 0;
  if (!spare.Take(least, MostSlotBytes(std::max(count, 1)), block, size)) {
    GrowBuffer(least, 0, entries, capacity);
    return;
  }
  if (capacity > 0) memcpy(block, entries, std::min(size_t(Count) * EntrySize(), size_t(capacity)));
  std::swap(block, entries);
  std::swap(size, capacity);
  spare.Give(block, size);
}

int32_t TPage::SlotBytes(int count) const {
  const int32_t size = int32_t(EntrySize());
  if (IsCompressedLeaf()) return (int32_t(count) * size + EntryBufferStep - 1) / EntryBufferStep * EntryBufferStep;
  return std::max(count, MaxEntries() + 2) * size;
}

// A page object serves one index after another, and the slots of a
// compressed leaf of long keys take ten times what a page of short keys
// needs: a page takes a buffer at most a quarter larger than its entries
// need, a compressed leaf one step larger, so that each cached page costs
// about what its own entries take (a branch handed a leaf's buffer three
// times its size made the cache hold a quarter fewer pages, and a bulk
// append read eight times as many; leaves allowed two steps, a third more;
// leaves held to a quarter took fresh blocks where a look-up could have
// taken a spare, 6% of a look-up by the primary). A page made empty keeps
// a buffer of a few steps for the entries a split moves into it.
int32_t TPage::MostSlotBytes(int count) const {
  if (count == 0) return 2 * EntryBufferStep;
  const int32_t least = SlotBytes(count);
  if (IsCompressedLeaf()) return least + EntryBufferStep;
  return least + least / 4;
}

bool TPage::SlotsFit(int32_t bytes, int count) const {
  return bytes <= MostSlotBytes(count) && (count == 0 || bytes >= SlotBytes(count));
}

// The slots' bytes need no clearing (every entry is written whole before
// it is read), so a spare buffer serves as well as a fresh one.
void TPage::FitSlots(int count) {
  if (SlotsFit(capacity, count)) return;
  Owner->SpareSlots().Give(entries, capacity);
  if (count > 0) Reserve(count);
}

void TPage::SetLeft(uint32_t value) {
  if (Left == value) return;
  Left = value;
  Modified = 1;
}

void TPage::SetRight(uint32_t value) {
  if (Right == value) return;
  Right = value;
  Modified = 1;
}

void TPage::SetPageType(uint8_t value) {
  if (PageType == value) return;
  PageType = value;
  Modified = 1;
}

int TPage::MaxEntries() const {
  if (IsCompressedLeaf()) return 0;
  return int(PageDataSize / (KeyLength + (IsLeaf() ? 6 : 10)));
}

const uint8_t* TPage::DecodeEntryAt(int position) const {
  if (position < 1 || position > Count) Corrupt();
  if (packedEntries && (position > decoded || position <= decodedFrom)) Decode(position - 1, position - 1);
  return Slot(position - 1);
}

uint8_t* TPage::EntryAt(int position) {
  ORV_ASSERT(!packed);
  if (position < 1 || position > Count) Corrupt();
  return Slot(position - 1);
}

uint32_t TPage::KeyCountAt(int position) const {
  if (IsLeaf()) return 1;
  return GetLE32(TailAt(position) + SlotKeyCount);
}

void TPage::SetPointerAt(int position, uint32_t value) {
  PutLE32(EntryAt(position) + KeyLength + SlotPointer, value);
  Modified = 1;
}

// Every change passes its branches on the way up counting one key more or
// less, and nothing else of them changes: such a branch is written as the
// bytes of those counts alone.
void TPage::SetKeyCountAt(int position, uint32_t value) {
  PutLE32(EntryAt(position) + KeyLength + SlotKeyCount, value);
  if (Modified == 0 && !IsLeaf()) {
    Modified = KeyCountsChanged;
    countsFrom = countsTo = uint16_t(position);
  } else if (Modified == KeyCountsChanged) {
    countsFrom = std::min(countsFrom, uint16_t(position));
    countsTo = std::max(countsTo, uint16_t(position));
  } else {
    Modified = 1;
  }
}

uint32_t TPage::KeyCount() const {
  if (IsLeaf()) return Count;
  uint32_t sum = 0;
  for (int i = 1; i <= Count; ++i) sum += KeyCountAt(i);
  return sum;
}

uint32_t TPage::KeysBefore(bool second) const {
  int position = std::min<int>(Pos(second), Count + 1);
  if (position < 1) return 0;
  if (IsLeaf()) return uint32_t(position - 1);
  if (position == 1) return 0;
  if (Decoding()) {
    // A branch taken packed for a descent: summing the entries before
    // costs less than decoding the rest.
    uint32_t sum = 0;
    int i = 1;
    for (; i < position && i <= tailsRead; ++i) sum += GetLE32(Slot(i - 1) + KeyLength + SlotKeyCount);
    for (; i < position; ++i) sum += KeyCountAt(i);
    return sum;
  }
  if (!countsSummed) SumKeyCounts();
  return GetLE32(Slot(position - 2) + KeyLength + SlotShared);
}

// Walks count the keys before their position on every branch they pass,
// so a branch keeps the running sums of its entries' key counts in the
// slot bytes only compressed leaves use (never stored), summed again on
// the first count after a change.
void TPage::SumKeyCounts() const {
  ORV_ASSERT(!IsLeaf() && !Decoding());
  uint32_t sum = 0;
  for (int i = 0; i < Count; ++i) {
    uint8_t* slot = entries + size_t(i) * EntrySize();
    sum += GetLE32(slot + KeyLength + SlotKeyCount);
    PutLE32(slot + KeyLength + SlotShared, sum);
  }
  countsSummed = true;
}

// ---- compression ---------------------------------------------------------

// Packed: the header of the mode (none, u16, u16, or two u8), the key bytes
// that are neither shared nor removed, the record number.
uint32_t TPage::PackedSize(int index0) const {
  if (!IsLeaf()) return KeyLength + 8u;
  if (Compression == kcNone) return KeyLength + 4u;
  return LeafEntryBytes(Slot(index0));
}

uint32_t TPage::LeafEntryBytes(const uint8_t* slot) const {
  return 6u + KeyLength - GetLE16(slot + KeyLength + SlotShared) - GetLE16(slot + KeyLength + SlotRemoved);
}

// The row number that ends a non-unique key.
constexpr int KeptRowNumberBytes = 4;

// The last 4 bytes of a non-unique key stay when zeros are removed before
// them: always with trailing compression, with full compression only while
// the shared bytes leave more than those 4.
static int KeptTail(uint8_t compression, bool unique, int keyLength, int shared) {
  if (unique) return 0;
  if (compression == kcTrailing) return KeptRowNumberBytes;
  if (compression == kcFull && keyLength - shared > KeptRowNumberBytes) return KeptRowNumberBytes;
  return 0;
}

void TPage::ComputeCompression(int index0) {
  uint8_t* slot = entries + size_t(index0) * EntrySize();
  SetCompression(slot, index0 > 0 ? slot - EntrySize() : nullptr);
}

// previous: the slot before, none for the first entry.
void TPage::SetCompression(uint8_t* slot, const uint8_t* previous) const {
  int shared;
  int removed;
  CompressionOf(slot, previous, shared, removed);
  PutLE16(slot + KeyLength + SlotShared, uint16_t(shared));
  PutLE16(slot + KeyLength + SlotRemoved, uint16_t(removed));
}

void TPage::CompressionOf(const uint8_t* slot, const uint8_t* previous, int& shared, int& removed) const {
  const int k = KeyLength;
  shared = 0;
  removed = 0;
  if (previous && (Compression == kcLeading || Compression == kcFull)) {
    shared = CommonPrefixLength(previous, slot, k);
    if (Compression == kcFull) shared = std::min(shared, 255);
  }
  if (Compression == kcTrailing || Compression == kcFull) {
    int end = k - (Unique ? 0 : 4);
    int start = Compression == kcFull ? shared : 0;
    if (end > start) removed = TrailingZeroCount(slot + end, end - start);
    if (Compression == kcFull) removed = std::min(removed, 255);
  }
}

void TPage::RefreshCompression(int index0) {
  UsedBytes -= PackedSize(index0);
  ComputeCompression(index0);
  UsedBytes += PackedSize(index0);
}

void TPage::RecountUsedBytes() {
  Materialize();
  if (!IsCompressedLeaf()) {
    UsedBytes = 0;
    return;
  }
  uint32_t used = 0;
  for (int i = 0; i < Count; ++i) {
    ComputeCompression(i);
    used += PackedSize(i);
  }
  UsedBytes = uint16_t(std::min<uint32_t>(used, 0xFFFF));
}

// ---- load and store ------------------------------------------------------

namespace {

bool AllZero(const uint8_t* bytes, uint32_t count) {
  uint8_t any = 0;
  for (uint32_t i = 0; i < count; ++i) any |= bytes[i];
  return any == 0;
}

}  // namespace

void TPage::Load(const uint8_t* image, bool fresh) {
  ORV_ASSERT(!packed);  // a cleared page
  memcpy(HeaderImage, image, PageHeaderSize);
  countsSummed = false;
  keysOrdered = false;
  Position = 1;
  SecondPosition = 1;
  Parent = 0;
  Free = 0;
  Modified = 0;
  if (fresh) {
    FitSlots(0);
    Count = 0;
    UsedBytes = 0;
    PageType = ptRootBranch;
    Left = 0;
    Right = 0;
    return;
  }
  PageType = image[0];
  Count = GetLE16(image + 1);
  Left = GetLE32(image + 3);
  Right = GetLE32(image + 7);
  uint32_t used = GetLE16(image + 11);
  if (PageType > ptRootLeaf) Corrupt();
  if (IsCompressedLeaf()) {
    // Every entry takes at least its 6 header and record bytes.
    if (used > PageDataSize || uint32_t(Count) * 6 > used) Corrupt();
  } else {
    if (used != 0) Corrupt();
    used = uint32_t(Count) * (KeyLength + (IsLeaf() ? 4u : 8u));
    if (used > PageDataSize) Corrupt();
  }
  // A page holds what a packing of it writes, zeros after the entries: a
  // change that writes only a branch's counts keeps the rest as read.
  if (!AllZero(image + PageHeaderSize + used, PageDataSize - used)) Corrupt();
  FitSlots(Count + 1);
  if (!IsCompressedLeaf()) {
    UnpackEntries(image + PageHeaderSize, used);
    return;
  }
  // Checked whole now, so that a damaged page is refused at its read;
  // decoded as it is read.
  CheckPackedEntries(image + PageHeaderSize, used);
  KeepStoredEntries(image + PageHeaderSize, used);
  UsedBytes = uint16_t(used);
}

// A page that stores every key byte: the slot fields it does not store
// are zero.
void TPage::UnpackEntries(const uint8_t* data, uint32_t usedBytes) {
  ORV_ASSERT(!IsCompressedLeaf());
  const int k = KeyLength;
  Reserve(Count + 1);
  const uint32_t stored = IsLeaf() ? k + 4u : k + 8u;
  if (uint32_t(Count) * stored != usedBytes) Corrupt();
  for (int i = 0; i < Count; ++i) {
    uint8_t* slot = entries + size_t(i) * EntrySize();
    memcpy(slot, data + size_t(i) * stored, stored);
    memset(slot + stored, 0, k + SlotFieldBytes - stored);
  }
  UsedBytes = 0;
}

// Entries of a compressed leaf: the header of the mode (u16 shared, u16
// removed, or a byte of each), the key bytes neither shared with the entry
// before nor removed trailing zeros, the kept row number, the record.
namespace {

struct TPackedEntry {
  int Shared = 0;
  int Removed = 0;
  int Tail = 0;
  int Stored = 0;
};

// Reads the header at p (end: the end of the entries) and checks that the
// entry fits the key and the entries; false when it does not.
inline bool ReadPackedEntry(const uint8_t* p, const uint8_t* end, uint8_t compression, bool unique, int keyLength,
                            bool first, TPackedEntry& entry) {
  if (end - p < 2) return false;
  entry.Shared = 0;
  entry.Removed = 0;
  if (compression == kcLeading) entry.Shared = GetLE16(p);
  else if (compression == kcTrailing) entry.Removed = GetLE16(p);
  else {
    entry.Shared = p[0];
    entry.Removed = p[1];
  }
  entry.Tail = KeptTail(compression, unique, keyLength, entry.Shared);
  if ((first && entry.Shared != 0) || entry.Shared + entry.Removed + entry.Tail > keyLength) return false;
  entry.Stored = keyLength - entry.Shared - entry.Removed - entry.Tail;
  return end - p - 2 >= entry.Stored + entry.Tail + 4;
}

// A whole entry of a page that stores every key byte (a key byte and a
// record number at the least): every branch on a change's way is written
// again, and a copy call per entry cost more than its few words, however
// long the key.
inline void CopyEntryBytes(uint8_t* to, const uint8_t* from, size_t count) {
  ORV_ASSERT(count >= 5);
  CopyInWords(to, from, count);
}

// A branch packed in memory (the page stores every key byte): per entry
// the bytes shared with the key before (u16) and the bytes of the runs
// that follow (u16), then the rest of the key as runs of a literal part
// and a part of zeros ([u16 n][n bytes][u16 zeros], until the key is
// whole), the child and the key count. Long keys are padded text fields
// one after another, so their zeros lie inside the key as often as at its
// end. A search passes most entries without reading their runs.
constexpr int BranchHeadBytes = 4;  // shared bytes and run bytes
constexpr int BranchTailBytes = 8;  // child and key count
constexpr int LeastZeroRun = 4;     // shorter runs stay in the literal part

constexpr uint32_t CacheLineBytes = 64;

// Zero bytes from p on, at most n.
inline int LeadingZeroCount(const uint8_t* p, int n) {
  int count = 0;
  while (count + 8 <= n) {
    uint64_t word;
    memcpy(&word, p + count, 8);
    if (word != 0) break;
    count += 8;
  }
  while (count < n && p[count] == 0) ++count;
  return count;
}

// Nonzero bytes from p on, at most n. A word's lowest byte flagged by
// the subtraction is its first zero byte (a borrow flags only bytes above
// a zero).
inline int LeadingNonzeroCount(const uint8_t* p, int n) {
  constexpr uint64_t Ones = 0x0101010101010101ull;
  constexpr uint64_t Highs = 0x8080808080808080ull;
  int count = 0;
  while (count + 8 <= n) {
    uint64_t word;
    memcpy(&word, p + count, 8);
    const uint64_t zeros = (word - Ones) & ~word & Highs;
    if (zeros != 0) {
      if constexpr (std::endian::native == std::endian::little) return count + __builtin_ctzll(zeros) / 8;
      break;
    }
    count += 8;
  }
  while (count < n && p[count] != 0) ++count;
  return count;
}

// The key's bytes from at on as runs; returns their end. Both kinds of
// run are passed a word at a time: a leaf's restart point packs its whole
// key, a few hundred bytes of text and padding.
uint8_t* PackRuns(const uint8_t* key, int at, int keyLength, uint8_t* p) {
  while (at < keyLength) {
    int literalEnd = at;
    int zeros = 0;
    while (literalEnd < keyLength) {
      literalEnd += LeadingNonzeroCount(key + literalEnd, keyLength - literalEnd);
      if (literalEnd == keyLength) break;
      const int run = LeadingZeroCount(key + literalEnd, keyLength - literalEnd);
      ORV_ASSERT(run > 0);
      if (run >= LeastZeroRun || literalEnd + run == keyLength) {
        zeros = run;
        break;
      }
      literalEnd += run;
    }
    PutLE16(p, uint16_t(literalEnd - at));
    memcpy(p + 2, key + at, size_t(literalEnd - at));
    p += 2 + (literalEnd - at);
    PutLE16(p, uint16_t(zeros));
    p += 2;
    at = literalEnd + zeros;
  }
  return p;
}

uint8_t* PackBranchKey(const uint8_t* key, const uint8_t* previous, int keyLength, uint8_t* p) {
  const int shared = previous ? CommonPrefixLength(previous, key, keyLength) : 0;
  uint8_t* head = p;
  p = PackRuns(key, shared, keyLength, p + BranchHeadBytes);
  PutLE16(head, uint16_t(shared));
  PutLE16(head + 2, uint16_t(p - head - BranchHeadBytes));
  return p;
}

// Reads the head of a packed branch entry at p: false when the entry does
// not fit within end.
inline bool ReadBranchHead(const uint8_t* p, const uint8_t* end, int keyLength, bool first, int& shared,
                           int& runBytes) {
  if (end - p < BranchHeadBytes) return false;
  shared = GetLE16(p);
  runBytes = GetLE16(p + 2);
  return shared <= keyLength && (shared == 0 || !first) &&
         end - p - BranchHeadBytes >= runBytes + BranchTailBytes;
}

// Decodes the runs from p to runsEnd into key from at on; false when they
// do not make the rest of a key.
bool UnpackRuns(const uint8_t*& p, const uint8_t* runsEnd, int at, int keyLength, uint8_t* key) {
  while (at < keyLength) {
    if (runsEnd - p < 2) return false;
    const int literal = GetLE16(p);
    if (literal > keyLength - at || runsEnd - p - 2 < literal + 2) return false;
    memcpy(key + at, p + 2, size_t(literal));
    p += 2 + literal;
    at += literal;
    const int zeros = GetLE16(p);
    p += 2;
    if (zeros > keyLength - at || (literal == 0 && zeros == 0)) return false;
    ZeroFew(key + at, size_t(zeros));
    at += zeros;
  }
  return p == runsEnd;
}

// Decodes one key into key (previous: the key before, when any); false
// when the bytes do not make a whole key within end.
bool UnpackBranchKey(const uint8_t*& p, const uint8_t* end, const uint8_t* previous, int keyLength, uint8_t* key) {
  int shared;
  int runBytes;
  if (!ReadBranchHead(p, end, keyLength, !previous, shared, runBytes)) return false;
  p += BranchHeadBytes;
  CopyFew(key, previous, size_t(shared));
  return UnpackRuns(p, p + runBytes, shared, keyLength, key);
}

}  // namespace

namespace {

// What ReadPackedEntry checks, for every entry of a leaf at its read, in a
// loop of its own for each compression: an entry takes its header, the
// key bytes neither shared nor removed (the kept row number among them)
// and the record.
template <uint8_t Compression>
bool PackedEntriesFit(const uint8_t* p, const uint8_t* end, int count, bool unique, int keyLength) {
  for (int i = 0; i < count; ++i) {
    if (end - p < 6) return false;
    int shared = 0;
    int removed = 0;
    if (Compression == kcLeading) shared = GetLE16(p);
    else if (Compression == kcTrailing) removed = GetLE16(p);
    else {
      shared = p[0];
      removed = p[1];
    }
    if ((i == 0 && shared != 0) || shared + removed + KeptTail(Compression, unique, keyLength, shared) > keyLength)
      return false;
    const int bytes = 6 + keyLength - shared - removed;
    if (end - p < bytes) return false;
    p += bytes;
  }
  return p == end;
}

}  // namespace

void TPage::CheckPackedEntries(const uint8_t* data, uint32_t usedBytes) const {
  const uint8_t* end = data + usedBytes;
  bool fit;
  if (Compression == kcLeading) fit = PackedEntriesFit<kcLeading>(data, end, Count, Unique, KeyLength);
  else if (Compression == kcTrailing) fit = PackedEntriesFit<kcTrailing>(data, end, Count, Unique, KeyLength);
  else fit = PackedEntriesFit<kcFull>(data, end, Count, Unique, KeyLength);
  if (!fit) Corrupt();
}

// Every byte of a decoded slot is set: the bytes a compressed key lost are
// zeros, the key count zero.
void TPage::DecodeThrough(int count) const {
  ORV_ASSERT(packedEntries && !packed && count <= Count);
  ORV_ASSERT(decodedFrom == 0 || decoded > decodedFrom);  // the slot before is decoded
  ORV_ASSERT(capacity >= int32_t(Count + 1) * int32_t(EntrySize()));
  const int k = KeyLength;
  const uint32_t size = EntrySize();
  const uint8_t* p = packedEntries + decodedBytes;
  const uint8_t* end = packedEntries + packedSize;
  if (!IsLeaf()) {
    // The slot bytes of the shared and removed counts keep a branch's
    // running sums, summed afresh after decoding.
    for (int i = decoded; i < count; ++i) {
      uint8_t* slot = entries + size_t(i) * size;
      if (!UnpackBranchKey(p, end, i == 0 ? nullptr : slot - size, k, slot)) Corrupt();
      memcpy(slot + k + SlotPointer, p, BranchTailBytes);
      p += BranchTailBytes;
      PutLE32(slot + k + SlotShared, 0);
      decoded = uint16_t(i + 1);
      decodedBytes = uint16_t(p - packedEntries);
    }
    return;
  }
  for (int i = decoded; i < count; ++i) {
    if (!DecodeLeafEntry(p, end, i == 0, entries + size_t(i) * size)) Corrupt();
    decoded = uint16_t(i + 1);
    decodedBytes = uint16_t(p - packedEntries);
  }
}

// The slot before holds the key before (unless first).
bool TPage::DecodeLeafEntry(const uint8_t*& p, const uint8_t* end, bool first, uint8_t* slot) const {
  const int k = KeyLength;
  TPackedEntry entry;
  if (!ReadPackedEntry(p, end, Compression, Unique, k, first, entry)) return false;
  p += 2;
  CopyFew(slot, slot - EntrySize(), size_t(entry.Shared));
  CopyFew(slot + entry.Shared, p, size_t(entry.Stored));
  p += entry.Stored;
  ZeroFew(slot + entry.Shared + entry.Stored, size_t(entry.Removed));
  if (entry.Tail != 0) {
    memcpy(slot + k - KeptRowNumberBytes, p, KeptRowNumberBytes);
    p += KeptRowNumberBytes;
  }
  memcpy(slot + k + SlotPointer, p, 4);
  p += 4;
  PutLE32(slot + k + SlotKeyCount, 0);
  PutLE16(slot + k + SlotShared, uint16_t(entry.Shared));
  PutLE16(slot + k + SlotRemoved, uint16_t(entry.Removed));
  return true;
}

// Slots first..last (from 0) decoded: on from the decoded ones when they
// begin before first, else from the first entry (each entry's shared
// bytes come from the one before).
void TPage::Decode(int first, int last) const {
  ORV_ASSERT(first <= last && last < Count);
  if (first >= decodedFrom && last < decoded) return;
  if (first < decodedFrom) {
    const int end = std::max<int>(last + 1, decoded);
    decodedFrom = 0;
    decodedFromBytes = 0;
    decoded = 0;
    decodedBytes = 0;
    DecodeThrough(end);
    return;
  }
  DecodeThrough(last + 1);
}

void TPage::MaterializeSlots() {
  ORV_ASSERT(!packed);  // entries change only on a held page
  if (Decoding()) Decode(0, Count - 1);
  DropPackedEntries();
}

void TPage::StoreHeader(uint8_t* image) const {
  image[0] = PageType;
  PutLE16(image + 1, Count);
  PutLE32(image + 3, Left);
  PutLE32(image + 7, Right);
  PutLE16(image + 11, IsCompressedLeaf() ? UsedBytes : 0);
}

void TPage::Store(uint8_t* image) {
  if (Free) {
    memset(image, 0, IndexPageSize);
    PutLE32(image + 7, Right);  // the next free page of the index
    Modified = 0;
    return;
  }
  StoreHeader(image);
  uint32_t stored = packedSize;
  if (!packedEntries) {
    stored = PackEntries(image + PageHeaderSize);
    // Kept, the next change of the leaf is made in the stored bytes too
    // (SpliceIn, SpliceOut), and packing it gives up only its slots.
    if (IsCompressedLeaf()) {
      ORV_ASSERT(stored == UsedBytes);
      KeepStoredEntries(image + PageHeaderSize, stored);
      decoded = Count;
      decodedBytes = uint16_t(stored);
      decodedFrom = 0;
      decodedFromBytes = 0;
    }
  } else if (IsLeaf()) {
    ORV_ASSERT(packed || StoredEntriesCurrent());
    memcpy(image + PageHeaderSize, packedEntries, packedSize);
  } else {
    stored = StorePackedBranch(image + PageHeaderSize);
  }
  memset(image + PageHeaderSize + stored, 0, PageDataSize - stored);
  Modified = 0;
}

void TPage::StoreKeyCounts(uint8_t* image, uint32_t& from, uint32_t& to, uint32_t lead) {
  ORV_ASSERT(Modified == KeyCountsChanged && !IsLeaf() && !Decoding() && countsFrom >= 1 && countsTo <= Count);
  const uint32_t stored = KeyLength + 8u;
  from = PageHeaderSize + (countsFrom - 1u) * stored + KeyLength + SlotKeyCount;
  to = from + (countsTo - countsFrom) * stored + 4u;
  const uint32_t held = to - std::min(to, lead);
  if (held >= from) {
    // The first count, then every entry after it whole up to the last count.
    memcpy(image + from, entries + size_t(countsFrom - 1) * EntrySize() + KeyLength + SlotKeyCount, 4);
  } else {
    // The entries from where the lead starts, after the header if it
    // starts there: of the entry it starts in only the bytes from there
    // on, as a long key's entry is many times the lead and only the lead
    // is stored.
    int first = 0;
    if (held < PageHeaderSize) StoreHeader(image);
    else first = int((held - PageHeaderSize) / stored);
    for (int i = first; i < countsFrom; ++i) {
      const uint32_t start = PageHeaderSize + i * stored;
      const uint32_t skip = held > start ? held - start : 0;
      ORV_ASSERT(skip < stored);
      CopyFew(image + start + skip, entries + size_t(i) * EntrySize() + skip, stored - skip);
    }
  }
  for (int i = countsFrom; i < countsTo; ++i)
    CopyEntryBytes(image + PageHeaderSize + i * stored, entries + size_t(i) * EntrySize(), stored);
  Modified = 0;
}

// What PackEntries writes: a compressed leaf keeps the sum as UsedBytes.
uint32_t TPage::StoredEntryBytes() const {
  if (IsCompressedLeaf()) return UsedBytes;
  return uint32_t(Count) * (IsLeaf() ? KeyLength + 4u : KeyLength + 8u);
}

bool TPage::WorthPacking() const {
  // A branch is packed only while it never changed since it was read: the
  // branches changes reach (key counts on every level) are reached again
  // by the next changes, and would be packed and decoded whole again and
  // again (a bulk append took twice as long, updates a third longer).
  if (!IsLeaf()) return KeyLength >= PackedBranchKeyLength && !ChangedSinceRead;
  // Any compressed leaf: a slot takes the whole key and its fields, a
  // stored entry at most the key and 6 bytes, and a leaf unpacked from its
  // read keeps both, so packed it takes well under half. Leaves of short
  // keys whose slots took less than twice their stored bytes (an index by
  // date, time and number) stayed unpacked, so a budget that holds all of
  // them packed held about a quarter (look-ups by that index at 300,000
  // rows read 0.68 index pages each, now none).
  return IsCompressedLeaf();
}

// A branch packed in memory (PackBranchKey); the page stores every key
// byte.
uint32_t TPage::PackBranch(uint8_t* data) const {
  ORV_ASSERT(!IsLeaf() && !Decoding());
  const int k = KeyLength;
  uint8_t* p = data;
  for (int i = 0; i < Count; ++i) {
    const uint8_t* slot = Slot(i);
    p = PackBranchKey(slot, i == 0 ? nullptr : Slot(i - 1), k, p);
    memcpy(p, slot + k + SlotPointer, BranchTailBytes);
    p += BranchTailBytes;
  }
  return uint32_t(p - data);
}

// What PackEntries writes for the branch, from its packed form.
uint32_t TPage::StorePackedBranch(uint8_t* data) const {
  const int k = KeyLength;
  const uint32_t stored = k + 8u;
  if (uint32_t(Count) * stored > PageDataSize) Corrupt();
  const uint8_t* p = packedEntries;
  const uint8_t* end = packedEntries + packedSize;
  for (int i = 0; i < Count; ++i) {
    uint8_t* to = data + size_t(i) * stored;
    if (!UnpackBranchKey(p, end, i == 0 ? nullptr : to - stored, k, to)) Corrupt();
    memcpy(to + k, p, BranchTailBytes);
    p += BranchTailBytes;
  }
  if (p != end) Corrupt();
  return uint32_t(Count) * stored;
}

uint32_t TPage::PackedForm(uint8_t* data) const { return IsLeaf() ? PackEntries(data) : PackBranch(data); }

void TPage::DropPackedEntries() {
  tailsRead = 0;
  std::vector<TRestartPoint>().swap(restarts);
  std::vector<uint8_t>().swap(restartKeys);
  restartsCover = 0;
  EngineFreeMem(packedEntries);
  packedEntries = nullptr;
  packedSize = 0;
  packedCapacity = 0;
  packed = false;
  decoded = 0;
  decodedBytes = 0;
  decodedFrom = 0;
  decodedFromBytes = 0;
}

// Kept also when empty: an emptied leaf goes on taking changes in place.
void TPage::KeepStoredEntries(const uint8_t* data, uint32_t size) {
  DropPackedEntries();
  packedEntries = static_cast<uint8_t*>(EngineAllocMem(size));
  if (size > 0) memcpy(packedEntries, data, size);
  packedSize = size;
  packedCapacity = uint32_t(size);
}

// A leaf's kept entries are checked apart from its slots, so that the
// check leaves the page decoded as far as it was: its decoded slots are
// what the kept entries decode to, and packing every entry afresh gives
// the kept entries back.
bool TPage::StoredEntriesCurrent() const {
  uint8_t image[PackedFormRoom];
  if (!IsLeaf()) {
    if (Decoding()) DecodeThrough(Count);
    const uint32_t size = PackedForm(image);
    return size == packedSize && (size == 0 || memcmp(image, packedEntries, size) == 0);
  }
  const uint32_t slotSize = EntrySize();
  std::vector<uint8_t> slots(size_t(Count + 1) * slotSize);
  const uint8_t* p = packedEntries;
  const uint8_t* end = packedEntries + packedSize;
  for (int i = 0; i < Count; ++i)
    if (!DecodeLeafEntry(p, end, i == 0, slots.data() + size_t(i) * slotSize)) return false;
  if (p != end || (IsCompressedLeaf() && UsedBytes != packedSize) || !RestartsCurrent(slots.data())) return false;
  const size_t from = size_t(decodedFrom) * slotSize;
  if (decoded > decodedFrom && memcmp(slots.data() + from, entries + from, size_t(decoded - decodedFrom) * slotSize) != 0)
    return false;
  // A change may leave more than a page holds until the page splits.
  std::vector<uint8_t> packing(packedSize + MaxIndexKeyLength + 6);
  uint8_t* q = packing.data();
  for (int i = 0; i < Count && uint32_t(q - packing.data()) <= packedSize; ++i)
    q = EncodeLeafEntry(slots.data() + size_t(i) * slotSize, q);
  return uint32_t(q - packing.data()) == packedSize && memcmp(packing.data(), packedEntries, packedSize) == 0;
}

// A page whose entries did not change since it was read or last unpacked
// still has its stored entries, and packing it only gives up the slots
// (pages are read once and then left alone by look-ups and scans). A free
// page keeps its entries too: its count stays as it was when freed.
void TPage::Pack() {
  ORV_ASSERT(!packed && UseCount == 0);
  if (!packedEntries) {
    uint8_t image[PackedFormRoom];
    const uint32_t size = PackedForm(image);  // an idle page never overflows
    ORV_ASSERT(!IsLeaf() || size == StoredEntryBytes());
    KeepStoredEntries(image, size);
  }
  ORV_ASSERT(StoredEntriesCurrent());
  packed = true;
  tailsRead = 0;
  decoded = 0;
  decodedBytes = 0;
  decodedFrom = 0;
  decodedFromBytes = 0;
  Owner->SpareSlots().Give(entries, capacity);
}

// A page that cannot take its slots stays packed.
void TPage::Unpack() {
  ORV_ASSERT(packed && decoded == 0);
  FitSlots(Count + 1);
  packed = false;
  countsSummed = false;
}

// Entries that would not fit the page are damage (8965), found before a
// byte past the page is written.
uint32_t TPage::PackEntries(uint8_t* data) const {
  ORV_ASSERT(!Decoding());
  const int k = KeyLength;
  if (!IsCompressedLeaf()) {
    // A slot begins with what the page stores: key and record number in a
    // leaf, key, child and key count in a branch.
    const uint32_t stored = IsLeaf() ? k + 4u : k + 8u;
    const uint32_t total = uint32_t(Count) * stored;
    if (total > PageDataSize) Corrupt();
    // The slots' place and size are taken once: for the compiler a write
    // through data may change the page, which it would read again.
    const uint8_t* slot = entries;
    const size_t slotSize = EntrySize();
    for (uint8_t* to = data; to < data + total; to += stored, slot += slotSize) CopyEntryBytes(to, slot, stored);
    return total;
  }
  return PackLeafSlots(entries, Count, data);
}

uint32_t TPage::PackLeafSlots(const uint8_t* slots, int count, uint8_t* data) const {
  const uint32_t size = EntrySize();
  uint8_t* p = data;
  for (int i = 0; i < count; ++i) {
    const uint8_t* slot = slots + size_t(i) * size;
    if (uint32_t(p - data) + LeafEntryBytes(slot) > PageDataSize) Corrupt();
    p = EncodeLeafEntry(slot, p);
  }
  return uint32_t(p - data);
}

// The entry's stored bytes, as its slot's shared and removed counts say;
// returns the end of them.
uint8_t* TPage::EncodeLeafEntry(const uint8_t* slot, uint8_t* p) const {
  const int k = KeyLength;
  const int shared = GetLE16(slot + k + SlotShared);
  const int removed = GetLE16(slot + k + SlotRemoved);
  const int tail = KeptTail(Compression, Unique, k, shared);
  const int stored = k - shared - removed - tail;
  if (Compression == kcLeading) PutLE16(p, uint16_t(shared));
  else if (Compression == kcTrailing) PutLE16(p, uint16_t(removed));
  else {
    p[0] = uint8_t(shared);
    p[1] = uint8_t(removed);
  }
  p += 2;
  memcpy(p, slot + shared, size_t(stored));
  p += stored;
  if (tail != 0) {
    memcpy(p, slot + k - KeptRowNumberBytes, KeptRowNumberBytes);
    p += KeptRowNumberBytes;
  }
  memcpy(p, slot + k + SlotPointer, 4);
  return p + 4;
}

// ---- slots ---------------------------------------------------------------

void TPage::PutSlot(int index0, const uint8_t* slot) {
  if (SplicesChanges()) {
    SpliceIn(index0, slot);
    Modified = 1;
    return;
  }
  Materialize();
  Reserve(Count + 2);
  uint32_t size = EntrySize();
  memmove(Slot(index0 + 1), Slot(index0), size_t(Count - index0) * size);
  memcpy(Slot(index0), slot, size);
  ++Count;
  if (IsCompressedLeaf()) {
    ComputeCompression(index0);
    UsedBytes += PackedSize(index0);
    if (index0 + 1 < Count) RefreshCompression(index0 + 1);
  }
  Modified = 1;
}

void TPage::RemoveSlot(int index0) {
  if (SplicesChanges()) {
    SpliceOut(index0);
    Modified = 1;
    return;
  }
  Materialize();
  if (IsCompressedLeaf()) UsedBytes -= PackedSize(index0);
  uint32_t size = EntrySize();
  memmove(Slot(index0), Slot(index0 + 1), size_t(Count - index0 - 1) * size);
  --Count;
  memset(Slot(Count), 0, size);
  if (IsCompressedLeaf() && index0 < Count) RefreshCompression(index0);
  Modified = 1;
}

// ---- changes in the stored entries ---------------------------------------

// A compressed leaf that keeps its stored entries takes an insert or a
// removal in them as well as in its slots: only the entry put in and the
// one after the change (whose shared count follows its new neighbour, as
// RefreshCompression makes it in the slots) are encoded; the stored bytes
// of the others move as they are, and only the slots decoded so far move.
// So a change costs what it changes, the page stays decoded only as far as
// it was read, and the write and the packing of the page copy the kept
// bytes. Changes that move entries between pages (splits) take every slot
// and let the stored entries go.
bool TPage::SplicesChanges() const { return packedEntries && !packed && IsCompressedLeaf(); }

// Where the entry index0 begins in the stored entries: on from the first
// decoded one or back from the end of them, whichever passes fewer slots.
uint32_t TPage::StoredOffset(int index0) const {
  ORV_ASSERT(index0 >= decodedFrom && index0 <= decoded);
  const uint32_t size = EntrySize();
  uint32_t at = decodedFromBytes;
  if (index0 - decodedFrom < decoded - index0) {
    for (int i = decodedFrom; i < index0; ++i) at += LeafEntryBytes(entries + size_t(i) * size);
    return at;
  }
  at = decodedBytes;
  for (int i = decoded - 1; i >= index0; --i) at -= LeafEntryBytes(entries + size_t(i) * size);
  return at;
}

// The stored bytes from..to become the count bytes given.
void TPage::ReplaceStoredBytes(uint32_t from, uint32_t to, const uint8_t* bytes, uint32_t count) {
  ORV_ASSERT(from <= to && to <= packedSize);
  const uint32_t size = packedSize - (to - from) + count;
  if (size > packedCapacity) {
    const uint32_t capacity = (size + StoredBytesStep - 1) / StoredBytesStep * StoredBytesStep;
    packedEntries = static_cast<uint8_t*>(EngineReallocMem(packedEntries, capacity));
    packedCapacity = capacity;
  }
  if (to != from + count) memmove(packedEntries + from + count, packedEntries + to, packedSize - to);
  memcpy(packedEntries + from, bytes, count);
  packedSize = size;
  UsedBytes = uint16_t(size);
}

void TPage::SpliceIn(int index0, const uint8_t* slot) {
  ORV_ASSERT(UsedBytes == packedSize && index0 <= Count);
  const int following = index0 < Count ? 1 : 0;
  // The entry before and the one after decoded.
  if (Count > 0) Decode(std::max(index0 - 1, 0), index0 + following - 1);
  Reserve(Count + 2);
  const uint32_t size = EntrySize();
  const uint32_t from = StoredOffset(index0);
  const uint32_t to = following ? from + LeafEntryBytes(entries + size_t(index0) * size) : from;
  uint8_t* at = entries + size_t(index0) * size;
  memmove(at + size, at, size_t(decoded - index0) * size);
  memcpy(at, slot, size);
  ++Count;
  ++decoded;
  uint8_t bytes[2 * (MaxIndexKeyLength + 6)];
  SetCompression(at, index0 > 0 ? at - size : nullptr);
  uint8_t* p = EncodeLeafEntry(at, bytes);
  const uint32_t newBytes = uint32_t(p - bytes);
  if (following) {
    SetCompression(at + size, at);
    p = EncodeLeafEntry(at + size, p);
  }
  const uint32_t count = uint32_t(p - bytes);
  ReplaceStoredBytes(from, to, bytes, count);
  decodedBytes = uint16_t(decodedBytes + count - (to - from));
  RestartsAfterSpliceIn(index0, from, newBytes, int32_t(count) - int32_t(to - from));
  ORV_ASSERT(StoredEntriesCurrent());
}

void TPage::SpliceOut(int index0) {
  ORV_ASSERT(UsedBytes == packedSize && index0 < Count);
  const int following = index0 + 1 < Count ? 1 : 0;
  Decode(std::max(index0 - 1, 0), index0 + following);
  const uint32_t size = EntrySize();
  uint8_t* at = entries + size_t(index0) * size;
  const uint32_t from = StoredOffset(index0);
  uint32_t to = from + LeafEntryBytes(at);
  if (following) to += LeafEntryBytes(at + size);
  memmove(at, at + size, size_t(decoded - index0 - 1) * size);
  --Count;
  --decoded;
  uint8_t bytes[MaxIndexKeyLength + 6];
  uint32_t count = 0;
  if (following) {
    SetCompression(at, index0 > 0 ? at - size : nullptr);
    count = uint32_t(EncodeLeafEntry(at, bytes) - bytes);
  }
  ReplaceStoredBytes(from, to, bytes, count);
  decodedBytes = uint16_t(decodedBytes + count - (to - from));
  RestartsAfterSpliceOut(index0, from, int32_t(count) - int32_t(to - from));
  ORV_ASSERT(StoredEntriesCurrent());
}

// A point stays with its entry: the points after an entry put in move one
// on, and an entry taken out drops its own point and the ones after it
// (the searches set them again). A group that grew to twice the interval
// by inserts is cut where its next point belongs.
void TPage::RestartsAfterSpliceIn(int index0, uint32_t from, uint32_t newBytes, int32_t bytes) {
  if (index0 >= restartsCover) return;
  const int points = int(restarts.size());
  int next = points;  // the first point after the entry put in
  while (next > 0 && restarts[next - 1].Index >= index0) {
    TRestartPoint& point = restarts[--next];
    point.Offset = uint16_t(point.Index == index0 ? from + newBytes : point.Offset + bytes);
    ++point.Index;
  }
  ++restartsCover;
  const int groupStart = next > 0 ? restarts[next - 1].Index : 0;
  const int groupEnd = next < points ? restarts[next].Index : restartsCover;
  if (groupEnd - groupStart >= 2 * RestartInterval) DropRestarts(next, groupStart + RestartInterval);
}

void TPage::RestartsAfterSpliceOut(int index0, uint32_t from, int32_t bytes) {
  if (index0 >= restartsCover) return;
  int next = int(restarts.size());  // the first point not before the entry taken out
  while (next > 0 && restarts[next - 1].Index >= index0) --next;
  if (next < int(restarts.size()) && restarts[next].Index == index0) {
    DropRestarts(next, index0);
    return;
  }
  for (int i = next; i < int(restarts.size()); ++i) {
    TRestartPoint& point = restarts[i];
    point.Offset = uint16_t(point.Index == index0 + 1 ? from : point.Offset + bytes);
    --point.Index;
  }
  --restartsCover;
}

void TPage::DropRestarts(int first, int cover) const {
  if (first < int(restarts.size())) {
    restartKeys.resize(restarts[first].KeyAt);
    restarts.resize(size_t(first));
  }
  restartsCover = uint16_t(std::min<int>(restartsCover, cover));
}

// The points are in entry order, each where its entry begins and with its
// entry's key; slots: every entry decoded apart from the page's slots.
bool TPage::RestartsCurrent(const uint8_t* slots) const {
  if (restartsCover > Count) return false;
  const uint32_t size = EntrySize();
  uint8_t key[MaxIndexKeyLength];
  size_t keyBytes = 0;
  int index = 0;
  uint32_t offset = 0;
  for (const TRestartPoint& point : restarts) {
    if (point.Index < index || point.Index >= restartsCover || point.KeyAt != keyBytes) return false;
    for (; index < point.Index; ++index) offset += LeafEntryBytes(slots + size_t(index) * size);
    if (point.Offset != offset) return false;
    if (size_t(point.KeyAt) + point.KeyBytes > restartKeys.size() || !RestartKey(point, key) ||
        memcmp(key, slots + size_t(index) * size, KeyLength) != 0)
      return false;
    keyBytes += point.KeyBytes;
    offset += LeafEntryBytes(slots + size_t(index) * size);
    ++index;
  }
  return keyBytes == restartKeys.size();
}

int TPage::RestartTail() const { return Unique ? 0 : KeptRowNumberBytes; }

bool TPage::RestartKey(const TRestartPoint& point, uint8_t* key) const {
  const uint8_t* bytes = restartKeys.data() + point.KeyAt;
  if (point.Runs) return UnpackRuns(bytes, bytes + point.KeyBytes, 0, KeyLength, key);
  const int body = KeyLength - RestartTail();
  const int leading = point.KeyBytes - RestartTail();
  memcpy(key, bytes, size_t(leading));
  ZeroFew(key + leading, size_t(body - leading));
  memcpy(key + body, bytes + leading, size_t(KeyLength - body));
  return true;
}

// The points of a leaf take at most an eighth of its stored bytes: the
// cache's budget counts them (at a million rows, points without a bound
// pushed leaves out of the cache and made the look-ups by the text indexes
// slower). The bound also keeps every key where a point can find it.
// A point's key is kept up to the zeros that end it (before a non-unique
// key's row number), or as runs as a packed branch keeps its keys when
// they are shorter: the text indexes' keys are padded fields one after
// another, with most of their zeros inside the key, and kept up to their
// last nonzero byte they left room for one point a leaf (searches in those
// leaves passed about 22 entries); short keys without such zeros take 4
// bytes more as runs, and fewer of their points fit. False when the point
// does not fit.
bool TPage::AddRestart(int index0, uint32_t offset, const uint8_t* key) const {
  const int body = KeyLength - RestartTail();
  const int leading = body - TrailingZeroCount(key + body, body);
  // Each run adds 4 bytes to at least 5 key bytes, bar the last one.
  uint8_t runs[2 * MaxIndexKeyLength];
  const size_t runBytes = size_t(PackRuns(key, 0, KeyLength, runs) - runs);
  const bool asRuns = runBytes < size_t(leading + RestartTail());
  const size_t keyBytes = asRuns ? runBytes : size_t(leading + RestartTail());
  const size_t points = restarts.size() + 1;
  const size_t bytes = points * sizeof(TRestartPoint) + restartKeys.size() + keyBytes;
  const size_t bound = packedSize / RestartShare;
  if (bytes > bound) return false;
  if (points > restarts.capacity() || restartKeys.size() + keyBytes > restartKeys.capacity()) {
    const size_t more = std::min((bound - bytes) / (sizeof(TRestartPoint) + keyBytes),
                                 size_t(std::max((Count - 1) / RestartInterval - int(points), 0)));
    SizeRestartRoom(points + more, restartKeys.size() + keyBytes * (more + 1));
  }
  TRestartPoint point;
  point.Index = uint16_t(index0);
  point.Offset = uint16_t(offset);
  point.KeyAt = uint16_t(restartKeys.size());
  point.KeyBytes = uint16_t(keyBytes);
  point.Runs = asRuns;
  if (asRuns) {
    restartKeys.insert(restartKeys.end(), runs, runs + keyBytes);
  } else {
    restartKeys.insert(restartKeys.end(), key, key + leading);
    restartKeys.insert(restartKeys.end(), key + body, key + KeyLength);
  }
  restarts.push_back(point);
  return true;
}

// The room is taken whole when a point does not fit, for all the points
// the leaf can still keep with keys as long as that one's (the keys of one
// index mostly are): a look-up in a leaf fresh from its read takes it once
// instead of growing the lists point by point (five times a read before).
// As the room is exactly what the bound leaves, the cache is charged no
// more than the share of a searched leaf's stored bytes, however the
// points' keys differ in length (grown by doubling, the lists were charged
// up to twice what they held).
void TPage::SizeRestartRoom(size_t points, size_t keyBytes) const {
  std::vector<TRestartPoint> pointRoom;
  pointRoom.reserve(points);
  pointRoom.assign(restarts.begin(), restarts.end());
  restarts.swap(pointRoom);
  std::vector<uint8_t> keyRoom;
  keyRoom.reserve(keyBytes);
  keyRoom.assign(restartKeys.begin(), restartKeys.end());
  restartKeys.swap(keyRoom);
}

// A compressed leaf that keeps its stored entries splits in them: this
// page keeps the bytes before the entry split at, and right (a page made
// empty) takes the rest as they are, the first encoded again without the
// bytes it shared. A split in the slots encodes every entry of both halves
// afresh, which gives the same bytes only while each entry's counts are
// those a packing computes: another writer may store fewer shared bytes,
// and such a leaf splits in its slots as before (false). Only the slots
// decoded so far stay decoded.
bool TPage::SplitStoredEntries(TPage& right, int from0) {
  if (!SplicesChanges() || right.Count != 0 || right.packedEntries) return false;
  ORV_ASSERT(right.IsCompressedLeaf() && right.KeyLength == KeyLength && from0 > 0 && from0 < Count);
  Decode(0, Count - 1);
  const uint32_t size = EntrySize();
  const int k = KeyLength;
  const uint8_t* slots = entries;
  for (int i = 0; i < Count; ++i) {
    if (i == from0) continue;
    const uint8_t* slot = slots + size_t(i) * size;
    int shared;
    int removed;
    CompressionOf(slot, i == 0 ? nullptr : slot - size, shared, removed);
    if (shared != GetLE16(slot + k + SlotShared) || removed != GetLE16(slot + k + SlotRemoved)) return false;
  }
  const uint32_t at = StoredOffset(from0);
  const uint8_t* first = slots + size_t(from0) * size;
  const uint32_t next = at + LeafEntryBytes(first);
  // The right half's first entry can only grow, by the bytes it shared.
  uint8_t bytes[2 * IndexPageSize];
  right.Reserve(Count - from0 + 1);
  uint8_t* head = right.entries;
  memcpy(head, first, size);
  SetCompression(head, nullptr);
  uint8_t* p = EncodeLeafEntry(head, bytes);
  const uint32_t headBytes = uint32_t(p - bytes);
  memcpy(p, packedEntries + next, packedSize - next);
  right.KeepStoredEntries(bytes, headBytes + packedSize - next);
  right.Count = uint16_t(Count - from0);
  right.UsedBytes = uint16_t(right.packedSize);
  right.decoded = 1;
  right.decodedBytes = uint16_t(headBytes);
  right.Modified = 1;
  Count = uint16_t(from0);
  // A cached page is charged what it holds: the bytes the right half took
  // are given back.
  const uint32_t room = (at + StoredBytesStep - 1) / StoredBytesStep * StoredBytesStep;
  if (room < packedCapacity) {
    packedEntries = static_cast<uint8_t*>(EngineReallocMem(packedEntries, room));
    packedCapacity = room;
  }
  packedSize = at;
  UsedBytes = uint16_t(at);
  int kept = 0;
  while (kept < int(restarts.size()) && restarts[kept].Index < from0) ++kept;
  DropRestarts(kept, from0);
  decoded = Count;
  decodedBytes = uint16_t(at);
  Modified = 1;
  ORV_ASSERT(StoredEntriesCurrent() && right.StoredEntriesCurrent());
  return true;
}

// Moves count slots from this page, starting at from0, into target before
// its slot to0.
void TPage::MoveSlots(TPage& target, int from0, int count, int to0) {
  if (count <= 0) return;
  Materialize();
  target.Materialize();
  uint32_t size = EntrySize();
  target.Reserve(target.Count + count + 1);
  memmove(target.Slot(to0 + count), target.Slot(to0), size_t(target.Count - to0) * size);
  memcpy(target.Slot(to0), Slot(from0), size_t(count) * size);
  target.Count = uint16_t(target.Count + count);
  memmove(Slot(from0), Slot(from0 + count), size_t(Count - from0 - count) * size);
  Count = uint16_t(Count - count);
  memset(Slot(Count), 0, size_t(count) * size);
  RecountUsedBytes();
  target.RecountUsedBytes();
  Modified = 1;
  target.Modified = 1;
}

// ---- searches ------------------------------------------------------------

int TKeyOrder::BasicSearch(bool& found) const {
  ORV_ASSERT(page.Count > 0);  // an empty page is refused first
  found = false;
  int low = 1;
  int high = page.Count;
  int current = 1;
  // Keys compared as bytes: the entries between the two that bound the
  // search so far share with key at least the fewer leading bytes either
  // bound shares with it, so a probe compares from there on (branches of
  // long keys share long runs of them).
  const bool deleted = compare.IndexNo == DeletedIndexNo;
  const bool asBytes = !scanned && key && (deleted || compare.LanguageId == 0);
  const bool reversed = compare.Descending && !deleted;
  int sharedBelow = 0;
  int sharedAbove = 0;
  while (low <= high) {
    int middle = (low + high) / 2;
    current = middle;
    int c;
    if (asBytes) {
      const uint8_t* entry = page.KeyAt(middle);
      const int from = std::min(sharedBelow, sharedAbove);
      const int matched = from + CommonPrefixLength(key + from, entry + from, length - from);
      const int order = matched == length ? 0 : key[matched] < entry[matched] ? -1 : 1;
      c = reversed ? -order : order;
      (c < 0 ? sharedAbove : sharedBelow) = matched;
    } else {
      c = At(middle);
    }
    if (c < 0) {
      high = middle - 1;
      if (high < low && high >= 1) current = high;
    } else if (c > 0) {
      low = middle + 1;
    } else {
      found = true;
      break;
    }
  }
  return current;
}

// A page's entries are in key order, so the first entry not below key
// and the first above it are where the comparisons change sign; the pass
// stops at the first entry above key, the entries before decoded as it
// goes (in short runs, a few past it). Keys compared as bytes need no
// comparison of most entries: an entry that shares more leading bytes
// with the one before than that one shared with key compares with key as
// that one did, and one that shares fewer or as many is compared from its
// shared bytes on (the entry's first bytes are the one before's).
void TPage::ScanEntries(const TKeyComparer& compare, const uint8_t* key, int length, int& notBelow,
                     int& above) const {
  constexpr int DecodedRun = 8;
  const bool deleted = compare.IndexNo == DeletedIndexNo;
  const bool asBytes = key && (deleted || compare.LanguageId == 0);
  const bool reversed = compare.Descending && !deleted;
  // A leaf decoded from its first entry on is searched in its slots and
  // decoded further as far as needed: pages searched again and again end
  // up decoded, and are then searched without decoding.
  if (asBytes && IsCompressedLeaf() && (decoded == 0 || decodedFrom > 0)) {
    ScanStoredEntries(key, length, reversed, notBelow, above);
    return;
  }
  if (asBytes && !IsLeaf()) {
    ScanPackedBranch(key, length, reversed, notBelow, above);
    return;
  }
  const uint32_t size = EntrySize();
  const int k = KeyLength;
  notBelow = 0;
  int matched = 0;  // leading bytes the entry before shares with key
  int order = 0;    // key against the entry before, as bytes
  for (int position = 1; position <= Count; ++position) {
    if (position > decoded || position <= decodedFrom)
      Decode(position - 1, std::min<int>(Count, position + DecodedRun - 1) - 1);
    const uint8_t* slot = entries + size_t(position - 1) * size;
    int c;
    if (!asBytes) {
      c = compare.CompareKeys(key, slot, length);
    } else {
      const int shared = position == 1 || !IsLeaf() ? 0 : GetLE16(slot + k + SlotShared);
      if (position == 1 || shared <= matched) {
        const int from = std::min(shared, length);
        matched = from + CommonPrefixLength(key + from, slot + from, length - from);
        order = matched == length ? 0 : key[matched] < slot[matched] ? -1 : 1;
      }
      c = reversed ? -order : order;
    }
    if (c <= 0 && notBelow == 0) notBelow = position;
    if (c < 0) {
      above = position;
      return;
    }
  }
  above = Count + 1;
  if (notBelow == 0) notBelow = above;
}

namespace {

// Where key's first length bytes and a stored entry's key first differ
// (length when they do not), and the entry's byte there: the entry's key
// is the bytes it shares with the one before (which are key's, so they
// are not compared), its stored bytes (at bytes), its removed zeros and
// its kept row number (after its stored bytes).
inline int MismatchStored(const uint8_t* key, int length, const uint8_t* bytes, const TPackedEntry& entry, int keyLength,
                          int& entryByte) {
  int at = entry.Shared;
  if (length <= at) return length;
  const int storedEnd = std::min(length, entry.Shared + entry.Stored);
  while (at + 8 <= storedEnd) {
    uint64_t x;
    uint64_t y;
    memcpy(&x, key + at, 8);
    memcpy(&y, bytes + (at - entry.Shared), 8);
    if (x != y) break;
    at += 8;
  }
  while (at < storedEnd && key[at] == bytes[at - entry.Shared]) ++at;
  if (at < storedEnd) {
    entryByte = bytes[at - entry.Shared];
    return at;
  }
  const int zerosEnd = std::min(length, keyLength - entry.Tail);
  if (at < zerosEnd) at += LeadingZeroCount(key + at, zerosEnd - at);
  if (at < zerosEnd) {
    entryByte = 0;
    return at;
  }
  const int tailFrom = keyLength - entry.Tail;
  while (at < length && key[at] == bytes[entry.Stored + (at - tailFrom)]) ++at;
  if (at < length) entryByte = bytes[entry.Stored + (at - tailFrom)];
  return at;
}

// key against a key whose bytes from at on are the runs from runs to
// runsEnd (PackRuns), as bytes: the order, and the leading bytes they share
// (matched). False when the runs do not make the rest of a key; only the
// runs key is compared with are read.
inline bool OrderAgainstRuns(const uint8_t* key, int length, int at, const uint8_t* runs, const uint8_t* runsEnd,
                             int keyLength, int& matched, int& order) {
  int entryByte = 0;
  bool differs = false;
  while (at < length) {
    if (runsEnd - runs < 2) return false;
    const int literal = GetLE16(runs);
    if (literal > keyLength - at || runsEnd - runs - 2 < literal + 2) return false;
    const uint8_t* bytes = runs + 2;
    const int literalCompared = std::min(literal, length - at);
    const int same = CommonPrefixLength(key + at, bytes, literalCompared);
    at += same;
    if (same < literalCompared) {
      entryByte = bytes[same];
      differs = true;
      break;
    }
    at += literal - same;
    runs = bytes + literal;
    const int zeros = GetLE16(runs);
    runs += 2;
    if (zeros > keyLength - at || (literal == 0 && zeros == 0)) return false;
    if (at >= length) break;
    const int zerosCompared = std::min(zeros, length - at);
    const int zero = LeadingZeroCount(key + at, zerosCompared);
    at += zero;
    if (zero < zerosCompared) {
      differs = true;
      break;
    }
    at += zeros - zero;
  }
  matched = differs ? at : length;
  order = !differs ? 0 : key[at] < entryByte ? -1 : 1;
  return true;
}

}  // namespace

// The pass of ScanEntries over a leaf not decoded whole, keys compared as
// bytes: each entry is compared in its stored bytes, and only the entries
// a search may end on or read next are decoded, from the one before the
// first entry not below key to the first above it (the key of the entries
// passed is kept in one buffer, not copied into their slots). They are the
// decoded ones from then on; slots decoded before keep their bytes (the
// same entries decode to the same bytes), so no key a caller holds moves
// or changes.
// The pass is made for each compression and uniqueness of its own, with
// the page's fields it reads at every entry held in locals: a look-up in a
// leaf fresh from its read passes half its entries, and asking the page's
// mode at each of them (and reading its fields again after every key byte
// copied, as the copy may change them for all the compiler knows) took a
// tenth of the pass.
void TPage::ScanStoredEntries(const uint8_t* key, int length, bool reversed, int& notBelow, int& above) const {
  if (Compression == kcLeading) {
    if (Unique) ScanStoredEntriesOf<kcLeading, true>(key, length, reversed, notBelow, above);
    else ScanStoredEntriesOf<kcLeading, false>(key, length, reversed, notBelow, above);
  } else if (Compression == kcTrailing) {
    if (Unique) ScanStoredEntriesOf<kcTrailing, true>(key, length, reversed, notBelow, above);
    else ScanStoredEntriesOf<kcTrailing, false>(key, length, reversed, notBelow, above);
  } else {
    if (Unique) ScanStoredEntriesOf<kcFull, true>(key, length, reversed, notBelow, above);
    else ScanStoredEntriesOf<kcFull, false>(key, length, reversed, notBelow, above);
  }
}

template <uint8_t Mode, bool UniqueKeys>
void TPage::ScanStoredEntriesOf(const uint8_t* key, int length, bool reversed, int& notBelowFound,
                                int& aboveFound) const {
  ORV_ASSERT(packedEntries && !packed && Compression == Mode && bool(Unique) == UniqueKeys);
  const uint32_t size = EntrySize();
  const int k = KeyLength;
  const int count = Count;
  uint8_t running[MaxIndexKeyLength];  // the key of the entry passed last
  // The zeros running ends in before its kept row number are written only
  // when an entry shares them or the key is taken whole: text keys end in
  // a few hundred of them.
  int zerosFrom = k;
  int zerosTo = k;
  auto wholeRunning = [&] {
    if (zerosFrom < zerosTo) ZeroFew(running + zerosFrom, size_t(zerosTo - zerosFrom));
    zerosFrom = zerosTo;
  };
  const uint8_t* p = packedEntries;
  const uint8_t* end = packedEntries + packedSize;
  const uint8_t* before = nullptr;  // where the entry passed last begins
  int matched = 0;
  int order = 0;
  int first = 0;  // the first slot decoded
  int position = 1;
  decodedFrom = 0;
  decodedFromBytes = 0;
  // The pass's state stays its own (the helper below takes copies, and the
  // results are given back at the end): state another function can reach
  // is read again after every key byte copied.
  int notBelow = 0;
  int above = count + 1;
  // The entries before a point below key are below it too: the pass
  // begins after the point, as if it had passed it.
  const int start = RestartBelow(key, length, reversed, matched, running);
  if (start >= 0) {
    const TRestartPoint& point = restarts[size_t(start)];
    TPackedEntry entry;
    before = packedEntries + point.Offset;
    if (!ReadPackedEntry(before, end, Mode, UniqueKeys, k, point.Index == 0, entry)) Corrupt();
    p = before + 2 + entry.Stored + entry.Tail + 4;
    order = reversed ? -1 : 1;  // key against the point, as bytes
    position = point.Index + 2;
  }
  // The entry beginning at from, its key whole in whole, into its slot.
  auto place = [this, end, size, k](int index0, const uint8_t* from, const uint8_t* whole) {
    TPackedEntry entry;
    if (!ReadPackedEntry(from, end, Mode, UniqueKeys, k, index0 == 0, entry)) Corrupt();
    uint8_t* slot = entries + size_t(index0) * size;
    memcpy(slot, whole, size_t(k));
    memcpy(slot + k + SlotPointer, from + 2 + entry.Stored + entry.Tail, 4);
    PutLE32(slot + k + SlotKeyCount, 0);
    PutLE16(slot + k + SlotShared, uint16_t(entry.Shared));
    PutLE16(slot + k + SlotRemoved, uint16_t(entry.Removed));
    decodedFrom = uint16_t(index0);
    decodedFromBytes = uint16_t(from - packedEntries);
  };
  TPackedEntry entry;
  int cover = restartsCover;
  int lastPoint = restarts.empty() ? 0 : restarts.back().Index;
  for (; position <= count; ++position) {
    const uint8_t* at = p;
    if (!ReadPackedEntry(p, end, Mode, UniqueKeys, k, position == 1, entry)) Corrupt();
    const uint8_t* bytes = p + 2;
    if (position == 1 || entry.Shared <= matched) {
      int entryByte = 0;
      matched = MismatchStored(key, length, bytes, entry, k, entryByte);
      order = matched == length ? 0 : key[matched] < entryByte ? -1 : 1;
    }
    const int c = reversed ? -order : order;
    if (c <= 0 && notBelow == 0) {
      notBelow = position;
      if (position > 1) {
        wholeRunning();
        place(position - 2, before, running);
      }
      first = std::max(position - 2, 0);
    }
    if (notBelow != 0) {
      const uint8_t* q = at;
      if (!DecodeLeafEntry(q, end, position == 1, entries + size_t(position - 1) * size)) Corrupt();
      p = q;
    } else {
      // Entries compressed at their end only share no bytes.
      if (Mode != kcTrailing && entry.Shared > zerosFrom)
        ZeroFew(running + zerosFrom, size_t(std::min(entry.Shared, zerosTo) - zerosFrom));
      CopyFew(running + entry.Shared, bytes, size_t(entry.Stored));
      zerosFrom = entry.Shared + entry.Stored;
      zerosTo = k - entry.Tail;
      if (entry.Tail != 0) memcpy(running + zerosTo, bytes + entry.Stored, KeptRowNumberBytes);
      p = bytes + entry.Stored + entry.Tail + 4;
    }
    if (position - 1 == cover) {
      if (position - 1 - lastPoint >= RestartInterval) {
        if (notBelow == 0) wholeRunning();
        // A point that does not fit leaves no room for the later ones of
        // this pass: they are not tried at every entry.
        lastPoint = AddRestart(position - 1, uint32_t(at - packedEntries),
                               notBelow != 0 ? entries + size_t(position - 1) * size : running)
                        ? position - 1
                        : count;
      }
      cover = position;
      restartsCover = uint16_t(cover);
    }
    before = at;
    if (c < 0) {
      above = position;
      break;
    }
  }
  if (notBelow == 0) {
    // key above all: the last entry is where a search ends.
    notBelow = above;
    wholeRunning();
    place(Count - 1, before, running);
    first = Count - 1;
    position = Count;
  }
  ORV_ASSERT(decodedFrom == first);
  decoded = uint16_t(std::min<int>(position, Count));
  decodedBytes = uint16_t(p - packedEntries);
  if (first == 0) decodedFromBytes = 0;
  notBelowFound = notBelow;
  aboveFound = above;
  ORV_ASSERT(StoredEntriesCurrent());
}

// A descent reads of a branch only the order of key against its entries,
// the children and the key counts, so each entry is compared in its
// packed runs (PackBranchKey) and only its tail is put in its slot: an
// entry sharing more leading bytes with the one before than that one
// shares with key compares as that one did and is passed without a
// comparison, and its runs are stepped over whole. Every read stays
// within the entry's own bytes.
void TPage::ScanPackedBranch(const uint8_t* key, int length, bool reversed, int& notBelow, int& above) const {
  ORV_ASSERT(packedEntries && !packed && !IsLeaf());
  const int k = KeyLength;
  const uint8_t* p = packedEntries;
  const uint8_t* end = packedEntries + packedSize;
  int matched = 0;  // leading bytes the entry before shares with key
  int order = 0;    // key against the entry before, as bytes
  notBelow = 0;
  above = Count + 1;
  // Each entry's head lies where the one before ends, so the lines of a
  // branch not in the processor's caches were waited for one after
  // another (a text index's descent passes half of four or five such
  // branches): they are all asked for at once.
  for (uint32_t at = 0; at < packedSize; at += CacheLineBytes) __builtin_prefetch(packedEntries + at);
  for (int position = 1; position <= Count; ++position) {
    int shared;
    int runBytes;
    if (!ReadBranchHead(p, end, k, position == 1, shared, runBytes)) Corrupt();
    const uint8_t* runs = p + BranchHeadBytes;
    const uint8_t* runsEnd = runs + runBytes;
    if (position == 1 || shared <= matched) {
      if (!OrderAgainstRuns(key, length, shared, runs, runsEnd, k, matched, order)) Corrupt();
    }
    p = runsEnd;
    if (position > tailsRead) {
      memcpy(entries + size_t(position - 1) * EntrySize() + k + SlotPointer, p, BranchTailBytes);
      tailsRead = uint16_t(position);
    }
    p += BranchTailBytes;
    const int c = reversed ? -order : order;
    if (c <= 0 && notBelow == 0) notBelow = position;
    if (c < 0) {
      above = position;
      break;
    }
  }
  if (notBelow == 0) notBelow = above;
  ORV_ASSERT(TailsCurrent());
}

bool TPage::TailsCurrent() const {
  const uint32_t size = EntrySize();
  std::vector<uint8_t> slots(size_t(Count) * size);
  const uint8_t* p = packedEntries;
  const uint8_t* end = packedEntries + packedSize;
  for (int i = 0; i < Count; ++i) {
    uint8_t* slot = slots.data() + size_t(i) * size;
    if (!UnpackBranchKey(p, end, i == 0 ? nullptr : slot - size, KeyLength, slot)) return false;
    if (i < tailsRead && memcmp(p, entries + size_t(i) * size + KeyLength + SlotPointer, BranchTailBytes) != 0)
      return false;
    p += BranchTailBytes;
  }
  return p == end;
}

int TPage::RestartBelow(const uint8_t* key, int length, bool reversed, int& matched, uint8_t* pointKey) const {
  int low = 0;
  int high = int(restarts.size());
  while (low < high) {
    const int middle = (low + high) / 2;
    const TRestartPoint& point = restarts[size_t(middle)];
    const uint8_t* bytes = restartKeys.data() + point.KeyAt;
    int at;
    int order;
    if (point.Runs) {
      [[maybe_unused]] const bool whole =
          OrderAgainstRuns(key, length, 0, bytes, bytes + point.KeyBytes, KeyLength, at, order);
      ORV_ASSERT(whole);
    } else {
      TPackedEntry entry;
      entry.Tail = RestartTail();
      entry.Stored = point.KeyBytes - entry.Tail;
      entry.Removed = KeyLength - entry.Tail - entry.Stored;
      int entryByte = 0;
      at = MismatchStored(key, length, bytes, entry, KeyLength, entryByte);
      order = at == length ? 0 : key[at] < entryByte ? -1 : 1;
    }
    if ((reversed ? -order : order) > 0) {
      low = middle + 1;
      matched = at;
    } else {
      high = middle;
    }
  }
  if (low > 0) {
    [[maybe_unused]] const bool whole = RestartKey(restarts[size_t(low - 1)], pointKey);
    ORV_ASSERT(whole);
  }
  return low - 1;
}

TKeyOrder TPage::OrderOf(const TKeyComparer& compare, const uint8_t* key, int length) const {
  TKeyOrder order(*this, compare, key, length);
  if (Decoding()) {
    int notBelow;
    int above;
    ScanEntries(compare, key, length, notBelow, above);
    order.Scanned(notBelow, above);
  }
  return order;
}

bool TPage::Search(const TKeyComparer& compare, const uint8_t* key, int length) {
  if (Count == 0) Corrupt();
  const TKeyOrder order = OrderOf(compare, key, length);
  bool found;
  Position = uint16_t(order.BasicSearch(found));
  return found && IsLeaf();
}

bool TPage::SearchForInsert(const TKeyComparer& compare, const uint8_t* key, int length) {
  if (Count == 0) Corrupt();
  const TKeyOrder order = OrderOf(compare, key, length);
  bool found;
  int current = order.BasicSearch(found);
  if (IsLeaf() && !found && order.At(current) < 0) --current;
  Position = uint16_t(current);
  return found && IsLeaf();
}

bool TPage::SearchCounting(const TKeyComparer& compare, const uint8_t* key, int length,
                           TLeafSearchEnd end, uint32_t& keysBefore) {
  if (Count == 0) Corrupt();
  const TKeyOrder order = OrderOf(compare, key, length);
  bool found;
  int current = order.BasicSearch(found);
  if (IsLeaf()) {
    if (end == TLeafSearchEnd::FirstNotBelow) {
      current = order.LowerBound();
      found = current <= Count && order.At(current) == 0;
    } else if (end == TLeafSearchEnd::PastLower && !found && order.At(current) > 0) {
      ++current;
    }
  }
  SecondPosition = uint16_t(current);
  keysBefore += KeysBefore(true);
  return found && IsLeaf();
}

// ---- record walks --------------------------------------------------------

// Each entry's record is read once: a walk counts the runs of a whole leaf
// each time it enters one.
bool TPage::KeysInOrder(const TKeyComparer& comparer) const {
  if (keysOrdered) return true;
  for (int position = 2; position <= Count; ++position)
    if (comparer.CompareKeys(KeyAt(position), KeyAt(position - 1), KeyLength) <= 0) return false;
  keysOrdered = true;
  return true;
}

int TPage::RecordRun(bool forward, int limit) const {
  const int position = SecondPosition;
  if (position < 1 || position > Count || limit < 1) return 0;
  const int step = forward ? 1 : -1;
  uint32_t last = PointerAt(position);
  int run = 1;
  while (run < limit) {
    const int next = position + run * step;
    if (next < 1 || next > Count) break;
    const uint32_t record = PointerAt(next);
    if (record != last + uint32_t(step)) break;
    last = record;
    ++run;
  }
  return run;
}

TBitmapWalk TPage::SkipAbsent(const TRecordsBitmap& bitmap, bool forward,
                              const TKeyComparer* compare, const uint8_t* limitKey,
                              int limitLength, uint32_t& skipped) {
  for (;;) {
    int position = SecondPosition;
    if (position < 1 || position > Count) return TBitmapWalk::PageEnd;
    if (compare && limitKey) {
      int c = compare->CompareKeys(KeyAt(position), limitKey, limitLength);
      if (forward ? c > 0 : c < 0) return TBitmapWalk::LimitPassed;
    }
    uint32_t record = PointerAt(position);
    if (record < 1 || record > uint32_t(bitmap.RecordCount())) Corrupt();
    if (bitmap.IsSet(int32_t(record))) return TBitmapWalk::Found;
    ++skipped;
    SecondPosition = uint16_t(forward ? position + 1 : position - 1);
  }
}

bool TPage::AddRecords(TRecordsBitmap& bitmap, const TKeyComparer* compare,
                       const uint8_t* limitKey, int limitLength) {
  for (; SecondPosition >= 1 && SecondPosition <= Count; ++SecondPosition) {
    if (compare && limitKey &&
        compare->CompareKeys(KeyAt(SecondPosition), limitKey, limitLength) > 0)
      return true;
    uint32_t record = PointerAt(SecondPosition);
    if (record < 1 || record > uint32_t(bitmap.RecordCount())) Corrupt();
    bitmap.SetBit(int32_t(record));
  }
  return false;
}

// ---- insertion -----------------------------------------------------------

void TPage::InsertEntry(const uint8_t* key, uint32_t pointer, uint32_t keyCount) {
  if (Position > Count) Corrupt();
  uint8_t slot[MaxSlotSize] = {};
  memcpy(slot, key, KeyLength);
  PutLE32(slot + KeyLength + SlotPointer, pointer);
  if (!IsLeaf()) PutLE32(slot + KeyLength + SlotKeyCount, keyCount);
  int at = Position;
  PutSlot(at, slot);
  Position = uint16_t(at + 1);
  if (at == 0) CarryFirstKeyUp();
  if (Overflows()) Split();
}

bool TPage::Overflows() const {
  if (IsCompressedLeaf()) return UsedBytes >= CompressedLeafOverflow;
  return Count > MaxEntries();
}

TPage* TPage::RequireParent() {
  if (Parent == 0 || Parent == Offset) Corrupt();
  TPage* parent = Owner->GetTreePage(IndexNo, Parent);
  if (parent->IsLeaf() || parent->Count == 0) {
    Owner->ReleaseTreePage(parent);
    Corrupt();
  }
  return parent;
}

// The parent's entry for this page; the parent's first position is left on it.
int TPage::EntryInParent(TPage& parent) const {
  int entry = parent.Position;
  if (entry < 1 || entry > parent.Count || parent.PointerAt(entry) != Offset) {
    entry = 0;
    for (int i = 1; i <= parent.Count && entry == 0; ++i)
      if (parent.PointerAt(i) == Offset) entry = i;
    if (entry == 0) Corrupt();
  }
  parent.Position = uint16_t(entry);
  return entry;
}

void TPage::CarryFirstKeyUp() {
  if (IsRoot() || Count == 0) return;
  TPageRef parent(Owner, RequireParent());
  int entry = EntryInParent(*parent);
  uint8_t* parentKey = parent->Slot(entry - 1);
  if (memcmp(parentKey, KeyAt(1), KeyLength) != 0) {
    memcpy(parentKey, KeyAt(1), KeyLength);
    parent->Modified = 1;
  }
  if (entry == 1) parent->CarryFirstKeyUp();
}

void TPage::Split() {
  const bool wasRoot = IsRoot();
  const uint8_t halfType = IsLeaf() ? ptLeaf : ptBranch;
  TPageRef right(Owner, Owner->NewTreePage(IndexNo));
  if (right->KeyLength != KeyLength || right->Offset == Offset) Corrupt();
  right->SetPageType(halfType);
  SetPageType(halfType);
  int moving = Count / 2;
  if (!SplitStoredEntries(*right, Count - moving)) MoveSlots(*right, Count - moving, moving, 0);
  if (IsCompressedLeaf()) BalanceSplitLeaves(*right);
  if (Position > Count) {
    right->Position = uint16_t(Position - Count);
    Position = Count;
  }

  right->SetLeft(Offset);
  right->SetRight(Right);
  right->Parent = Parent;
  if (Right != 0) {
    TPageRef oldRight(Owner, Owner->GetTreePage(IndexNo, Right));
    oldRight->SetLeft(right->Offset);
  }
  SetRight(right->Offset);

  if (wasRoot) {
    TPageRef root(Owner, Owner->NewTreePage(IndexNo));
    root->SetPageType(ptRootBranch);
    root->Position = 0;
    root->InsertEntry(KeyAt(1), Offset, KeyCount());
    root->InsertEntry(right->KeyAt(1), right->Offset, right->KeyCount());
    Parent = root->Offset;
    right->Parent = root->Offset;
    Owner->SetTreeRoot(IndexNo, root->Offset);
    return;
  }
  TPageRef parent(Owner, RequireParent());
  int entry = EntryInParent(*parent);
  parent->SetKeyCountAt(entry, KeyCount());
  parent->InsertEntry(right->KeyAt(1), right->Offset, right->KeyCount());
}

// A half can still hold more than a page's bytes when its entries lost the
// bytes they shared with a neighbour; entries then move across.
void TPage::BalanceSplitLeaves(TPage& right) {
  uint8_t slot[MaxSlotSize];
  while (UsedBytes > PageDataSize && Count > 1) {
    memcpy(slot, Slot(Count - 1), EntrySize());
    RemoveSlot(Count - 1);
    right.PutSlot(0, slot);
  }
  while (right.UsedBytes > PageDataSize && right.Count > 1) {
    memcpy(slot, right.Slot(0), EntrySize());
    right.RemoveSlot(0);
    PutSlot(Count, slot);
  }
  if (UsedBytes > PageDataSize || right.UsedBytes > PageDataSize) Corrupt();
}

// ---- deletion ------------------------------------------------------------

bool TPage::LeafKeepsShapeOnDelete() const {
  if (IsRoot()) return false;
  if (IsCompressedLeaf()) return Count > 1;
  return Count - 1 >= MaxEntries() / 2;
}

void TPage::DeleteEntry() {
  if (Position < 1 || Position > Count) Corrupt();
  int at = Position - 1;
  RemoveSlot(at);
  if (Position > Count) Position = Count;
  if (Count > 0 && at == 0) CarryFirstKeyUp();

  if (PageType == ptRootLeaf) {
    if (Count == 0) {
      Owner->FreeTreePage(this);
      Owner->SetTreeRoot(IndexNo, 0);
    }
    return;
  }
  if (PageType == ptRootBranch) {
    if (Count <= 1) CollapseRoot();
    return;
  }
  if (IsCompressedLeaf()) {
    if (Count > 0) return;
    TPageRef parent(Owner, RequireParent());
    EntryInParent(*parent);
    UnlinkFromNeighbours();
    Owner->FreeTreePage(this);
    parent->DeleteEntry();
    return;
  }
  if (Count < MaxEntries() / 2) HandleUnderflow();
}

void TPage::CollapseRoot() {
  if (Count == 0) {
    Owner->FreeTreePage(this);
    Owner->SetTreeRoot(IndexNo, 0);
    return;
  }
  uint32_t childOffset = PointerAt(1);
  if (childOffset == Offset) Corrupt();
  TPageRef child(Owner, Owner->GetTreePage(IndexNo, childOffset));
  child->SetPageType(child->IsLeaf() ? ptRootLeaf : ptRootBranch);
  child->Parent = 0;
  child->SetLeft(0);
  child->SetRight(0);
  Owner->SetTreeRoot(IndexNo, child->Offset);
  Owner->FreeTreePage(this);
}

void TPage::UnlinkFromNeighbours() {
  if (Left != 0) {
    TPageRef left(Owner, Owner->GetTreePage(IndexNo, Left));
    left->SetRight(Right);
  }
  if (Right != 0) {
    TPageRef right(Owner, Owner->GetTreePage(IndexNo, Right));
    right->SetLeft(Left);
  }
}

void TPage::HandleUnderflow() {
  TPageRef parent(Owner, RequireParent());
  int entry = EntryInParent(*parent);
  if (entry > 1 || parent->Count == 1) MergeOrShareLeft(*parent, entry);
  else MergeOrShareRight(*parent, entry);
}

// The neighbour must be this page's sibling under the same parent: the
// parent's entries for both are updated together.
void TPage::MergeOrShareLeft(TPage& parent, int entry) {
  if (Left == 0 || entry < 2 || parent.PointerAt(entry - 1) != Left) Corrupt();
  TPageRef left(Owner, Owner->GetTreePage(IndexNo, Left));
  if (left->Right != Offset || left->KeyLength != KeyLength) Corrupt();
  if (left->Count + Count < MaxEntries()) {
    MoveSlots(*left, 0, Count, left->Count);
    left->SetRight(Right);
    if (Right != 0) {
      TPageRef right(Owner, Owner->GetTreePage(IndexNo, Right));
      right->SetLeft(Left);
    }
    parent.SetKeyCountAt(entry - 1, left->KeyCount());
    Owner->FreeTreePage(this);
    parent.Position = uint16_t(entry);
    parent.DeleteEntry();
    return;
  }
  int total = left->Count + Count;
  int keepLeft = total - total / 2;
  left->MoveSlots(*this, keepLeft, left->Count - keepLeft, 0);
  parent.SetKeyCountAt(entry - 1, left->KeyCount());
  parent.SetKeyCountAt(entry, KeyCount());
  CarryFirstKeyUp();
}

void TPage::MergeOrShareRight(TPage& parent, int entry) {
  if (Right == 0 || entry != 1 || parent.Count < 2 || parent.PointerAt(2) != Right) Corrupt();
  TPageRef right(Owner, Owner->GetTreePage(IndexNo, Right));
  if (right->Left != Offset || right->KeyLength != KeyLength || right->Count == 0) Corrupt();
  if (Count + right->Count < MaxEntries()) {
    MoveSlots(*right, 0, Count, 0);
    right->SetLeft(Left);
    if (Left != 0) {
      TPageRef left(Owner, Owner->GetTreePage(IndexNo, Left));
      left->SetRight(Right);
    }
    memcpy(parent.Slot(1), right->KeyAt(1), KeyLength);
    parent.SetKeyCountAt(2, right->KeyCount());
    Owner->FreeTreePage(this);
    parent.Position = 1;
    parent.DeleteEntry();
    return;
  }
  int total = Count + right->Count;
  int keepRight = total - total / 2;
  right->MoveSlots(*this, 0, right->Count - keepRight, Count);
  memcpy(parent.Slot(1), right->KeyAt(1), KeyLength);
  parent.SetKeyCountAt(1, KeyCount());
  parent.SetKeyCountAt(2, right->KeyCount());
}

// ---- pool ----------------------------------------------------------------

TPageStack::TPageStack() { freePages.Reserve(4095); }

TPageStack::~TPageStack() = default;

TPage* TPageStack::Take() {
  if (freePages.Empty()) return new TPage;
  TPage* page = freePages.ExtractLast().release();
  page->Clear();
  page->UseCount = 0;
  page->Orphaned = false;
  return page;
}

void TPageStack::Return(TPage* page) { freePages.Adopt(page); }

void TPageStack::Discard(TPage* page) { std::unique_ptr<TPage> gone(page); }
