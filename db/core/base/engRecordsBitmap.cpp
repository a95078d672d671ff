#include "engRecordsBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "rtlAssert.h"

namespace {

constexpr int32_t PoolCapacity = 512;

constexpr int32_t WordOf(int32_t recordNumber) { return (recordNumber - 1) >> 5; }
constexpr uint32_t MaskOf(int32_t recordNumber) { return 1u << ((recordNumber - 1) & 31); }
// The bits of records 1 .. n of a word (n from 1 to 32).
constexpr uint32_t LowBits(int32_t n) { return n >= 32 ? ~0u : (1u << n) - 1; }

// A cursor counts its visible records again after each write, over every
// word of the table: without an instruction for it (the baseline x86-64
// has none) each word was a library call, most of a single-row insert's
// time in a table of a million records. Processors that have it count
// with it, two words at a time.
#if defined(__x86_64__) && defined(__GNUC__)
#define ORV_COUNT_WITH_INSTRUCTION 1
__attribute__((target("popcnt"))) int32_t CountWithInstruction(const uint32_t* words, int32_t count) {
  int64_t total = 0;
  int32_t w = 0;
  for (; w + 1 < count; w += 2) {
    uint64_t pair;
    std::memcpy(&pair, words + w, sizeof pair);
    total += __builtin_popcountll(pair);
  }
  if (w < count) total += __builtin_popcount(words[w]);
  return int32_t(total);
}
#endif

// The set bits of words 0 .. count - 1.
int32_t CountWords(const uint32_t* words, int32_t count) {
#ifdef ORV_COUNT_WITH_INSTRUCTION
  static const bool instruction = __builtin_cpu_supports("popcnt");
  if (instruction) return CountWithInstruction(words, count);
#endif
  int32_t total = 0;
  for (int32_t w = 0; w < count; ++w)
    if (words[w] != 0) total += std::popcount(words[w]);
  return total;
}

}  // namespace

TRecordsBitmap::~TRecordsBitmap() { EngineFreeMem(bits); }

void TRecordsBitmap::SetRecordCount(int32_t count) {
  count = std::max(count, 0);
  if (count == recordCount) return;
  int32_t words = static_cast<int32_t>((int64_t{count} + 31) / 32);
  if (words * 4 > allocatedBytes) GrowBuffer(words * 4, RecordsBitmapMemoryStep, bits, allocatedBytes);
  int32_t oldCount = recordCount;
  recordCount = count;
  wordCount = words;
  bitCapacity = words * 32;
  if (count > oldCount) ClearRecords(oldCount + 1, count);
}

void TRecordsBitmap::ClearRecords(int32_t first, int32_t last) {
  int32_t firstWord = WordOf(first);
  int32_t lastWord = WordOf(last);
  uint32_t below = LowBits((first - 1) & 31);
  uint32_t through = LowBits(((last - 1) & 31) + 1);
  if (firstWord == lastWord) {
    bits[firstWord] &= ~(through & ~below);
    return;
  }
  bits[firstWord] &= below;
  std::fill(bits + firstWord + 1, bits + lastWord, 0u);
  bits[lastWord] &= ~through;
}

bool TRecordsBitmap::IsSet(int32_t recordNumber) const {
  return (bits[WordOf(recordNumber)] & MaskOf(recordNumber)) != 0;
}

void TRecordsBitmap::SetBit(int32_t recordNumber) {
  bits[WordOf(recordNumber)] |= MaskOf(recordNumber);
  knownClear = false;
}

void TRecordsBitmap::ClearBit(int32_t recordNumber) { bits[WordOf(recordNumber)] &= ~MaskOf(recordNumber); }

void TRecordsBitmap::ClearAll() {
  ORV_ASSERT(!knownClear || CountSet() == 0);
  if (knownClear) return;
  if (allocatedBytes > 0) memset(bits, 0, allocatedBytes);
  knownClear = true;
}

void TRecordsBitmap::SetAll() {
  if (allocatedBytes > 0) memset(bits, 0xFF, allocatedBytes);
  knownClear = false;
}

void TRecordsBitmap::AndWith(const TRecordsBitmap& other) {
  const int32_t common = std::min(wordCount, other.wordCount);
  for (int32_t w = 0; w < common; ++w) bits[w] &= other.bits[w];
  if (common < wordCount) std::fill(bits + common, bits + wordCount, 0u);
}

void TRecordsBitmap::OrWith(const TRecordsBitmap& other) {
  int32_t common = std::min(wordCount, other.wordCount);
  for (int32_t w = 0; w < common; ++w) bits[w] |= other.bits[w];
  knownClear = knownClear && other.knownClear;
}

void TRecordsBitmap::Invert() {
  for (int32_t w = 0; w < wordCount; ++w) bits[w] = ~bits[w];
  knownClear = false;
}

void TRecordsBitmap::Assign(const TRecordsBitmap& other) {
  if (other.allocatedBytes > allocatedBytes) GrowBuffer(other.allocatedBytes, RecordsBitmapMemoryStep, bits, allocatedBytes);
  if (other.allocatedBytes > 0) memcpy(bits, other.bits, other.allocatedBytes);
  if (allocatedBytes > other.allocatedBytes)
    memset(reinterpret_cast<char*>(bits) + other.allocatedBytes, 0, allocatedBytes - other.allocatedBytes);
  recordCount = other.recordCount;
  bitCapacity = other.bitCapacity;
  wordCount = other.wordCount;
  knownClear = other.knownClear;
}

// A word with the bits beyond the record count masked off.
uint32_t TRecordsBitmap::MeaningfulWord(int32_t word) const {
  uint32_t value = bits[word];
  if (word == wordCount - 1) value &= LowBits(recordCount - word * 32);
  return value;
}

int32_t TRecordsBitmap::CountSet() const {
  if (wordCount == 0) return 0;
  return CountWords(bits, wordCount - 1) + std::popcount(MeaningfulWord(wordCount - 1));
}

int32_t TRecordsBitmap::SetRunLength(int32_t recordNumber, int32_t limit, int32_t maxGap) const {
  ORV_ASSERT(recordNumber >= 1 && recordNumber <= recordCount);
  int32_t length = 1;
  for (int32_t i = 1, gap = 0; i < limit && recordNumber + i <= recordCount; ++i) {
    if (IsSet(recordNumber + i)) {
      length = i + 1;
      gap = 0;
    } else if (++gap > maxGap) {
      break;
    }
  }
  return length;
}

int32_t TRecordsBitmap::CountSetBefore(int32_t recordNumber) const {
  int32_t last = std::min(recordNumber - 1, recordCount);
  if (last < 1) return 0;
  return std::popcount(bits[WordOf(last)] & LowBits(((last - 1) & 31) + 1)) + CountWords(bits, WordOf(last));
}

bool TRecordsBitmap::FindNext(int32_t& recordNumber, int32_t steps, int32_t& counter) const {
  if (steps < 1) return false;
  int32_t next = std::max(recordNumber, 0) + 1;
  while (next <= recordCount) {
    int32_t w = WordOf(next);
    uint32_t word = bits[w] & ~LowBits((next - 1) & 31);
    // Sparse results are mostly zero words: passed in a loop of their own.
    while (word == 0 && ++w < wordCount) word = bits[w];
    if (w == wordCount - 1) word &= LowBits(recordCount - w * 32);
    if (word == 0) break;
    int32_t found = w * 32 + std::countr_zero(word) + 1;
    recordNumber = found;
    ++counter;
    if (--steps == 0) return true;
    next = found + 1;
  }
  return false;
}

bool TRecordsBitmap::FindPrior(int32_t& recordNumber, int32_t steps, int32_t& counter) const {
  if (steps < 1) return false;
  int32_t prior = std::min(recordNumber - 1, recordCount);
  while (prior >= 1) {
    int32_t w = WordOf(prior);
    uint32_t word = bits[w] & LowBits(((prior - 1) & 31) + 1);
    if (word == 0) {
      prior = w * 32;
      continue;
    }
    int32_t found = w * 32 + (31 - std::countl_zero(word)) + 1;
    recordNumber = found;
    --counter;
    if (--steps == 0) return true;
    prior = found - 1;
  }
  return false;
}

TRecordsBitmapStack::TRecordsBitmapStack() { freeBitmaps.Reserve(PoolCapacity); }

TRecordsBitmapStack::~TRecordsBitmapStack() = default;

TRecordsBitmap* TRecordsBitmapStack::Get() {
  TRecordsBitmap* bitmap = nullptr;
  {
    std::lock_guard guard(lock);
    if (!freeBitmaps.Empty()) bitmap = freeBitmaps.ExtractLast().release();
  }
  if (!bitmap) return new TRecordsBitmap;
  bitmap->ClearAll();
  return bitmap;
}

void TRecordsBitmapStack::Release(TRecordsBitmap* bitmap) {
  std::lock_guard guard(lock);
  freeBitmaps.Adopt(bitmap);
}

TRecordsBitmapStack* RecordsBitmapStack = nullptr;

TRecordsBitmap* GetRecordsBitmap() {
  return RecordsBitmapStack ? RecordsBitmapStack->Get() : new TRecordsBitmap;
}

void ReleaseRecordsBitmap(TRecordsBitmap*& bitmap) {
  if (!bitmap) return;
  if (RecordsBitmapStack)
    RecordsBitmapStack->Release(bitmap);
  else
    delete bitmap;
  bitmap = nullptr;
}
