#include "engRecordsBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>

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

// Words first .. last - 1 held ([first, last), empty when last <= first).
struct TWordSpan {
  int32_t First = 0;
  int32_t Last = 0;

  bool Empty() const { return Last <= First; }
  TWordSpan Hull(TWordSpan other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return {std::min(First, other.First), std::max(Last, other.Last)};
  }
};

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
  high = std::min(high, words);
  if (low >= high) low = high = 0;
  if (count > oldCount) ClearRecords(oldCount + 1, count);
}

void TRecordsBitmap::Cover(int32_t first, int32_t last) {
  ORV_ASSERT(first >= 0 && first <= last && last < wordCount);
  if (low >= high) {
    std::fill(bits + first, bits + last + 1, fill);
    low = first;
    high = last + 1;
    return;
  }
  if (first < low) {
    std::fill(bits + first, bits + low, fill);
    low = first;
  }
  if (last >= high) {
    std::fill(bits + high, bits + last + 1, fill);
    high = last + 1;
  }
}

void TRecordsBitmap::ClearRecords(int32_t first, int32_t last) {
  int32_t firstWord = WordOf(first);
  int32_t lastWord = WordOf(last);
  if (fill != 0) {
    Cover(firstWord, lastWord);
  } else {
    // Words not held are clear already.
    if (low >= high || lastWord < low || firstWord >= high) return;
    if (firstWord < low) {
      firstWord = low;
      first = low * 32 + 1;
    }
    if (lastWord >= high) {
      lastWord = high - 1;
      last = high * 32;
    }
  }
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
  return (Word(WordOf(recordNumber)) & MaskOf(recordNumber)) != 0;
}

void TRecordsBitmap::SetBit(int32_t recordNumber) {
  const int32_t word = WordOf(recordNumber);
  if (fill != 0 && (word < low || word >= high)) return;
  Cover(word, word);
  bits[word] |= MaskOf(recordNumber);
}

void TRecordsBitmap::ClearBit(int32_t recordNumber) {
  const int32_t word = WordOf(recordNumber);
  if (fill == 0 && (word < low || word >= high)) return;
  Cover(word, word);
  bits[word] &= ~MaskOf(recordNumber);
}

void TRecordsBitmap::ClearAll() {
  low = high = 0;
  fill = 0;
}

void TRecordsBitmap::SetAll() {
  low = high = 0;
  fill = ~0u;
}

template <typename TCombine>
void TRecordsBitmap::Combine(const TRecordsBitmap& other, uint32_t newFill, int32_t first, int32_t last,
                             TCombine combine) {
  if (last <= first) {
    low = high = 0;
    fill = newFill;
    return;
  }
  ORV_ASSERT(first >= 0 && last <= wordCount);
  // Each word is read before it is written, so other may be this bitmap.
  // Stretch by stretch between the edges of either's held words: a filter
  // of a thousandth of a large table holds words across all of it, and a
  // test of both sides per word made combining it with a fill the
  // statement's largest part.
  const int32_t oldLow = low, oldHigh = high;
  const uint32_t oldFill = fill;
  const int32_t theirLow = other.low, theirHigh = other.high, theirCount = other.wordCount;
  const uint32_t theirFill = other.fill;
  const uint32_t* const theirs = other.bits;
  for (int32_t w = first; w < last;) {
    int32_t end = last;
    for (const int32_t edge : {oldLow, oldHigh, theirLow, theirHigh, theirCount})
      if (edge > w && edge < end) end = edge;
    const bool mineHeld = w >= oldLow && w < oldHigh;
    const bool theirsHeld = w >= theirLow && w < theirHigh && w < theirCount;
    const uint32_t theirValue = w < theirCount ? theirFill : 0u;
    if (mineHeld && theirsHeld) {
      for (; w < end; ++w) bits[w] = combine(bits[w], theirs[w]);
    } else if (mineHeld) {
      for (; w < end; ++w) bits[w] = combine(bits[w], theirValue);
    } else if (theirsHeld) {
      for (; w < end; ++w) bits[w] = combine(oldFill, theirs[w]);
    } else {
      std::fill(bits + w, bits + end, combine(oldFill, theirValue));
      w = end;
    }
  }
  low = first;
  high = last;
  fill = newFill;
}

// Words other lacks count as clear. Only words either holds can differ
// from the fills' AND, and past other's words a set fill becomes clear.
void TRecordsBitmap::AndWith(const TRecordsBitmap& other) {
  const int32_t common = std::min(wordCount, other.wordCount);
  const TWordSpan mine{low, high};
  const TWordSpan theirs{std::min(other.low, common), std::min(other.high, common)};
  const TWordSpan tail{common, wordCount};
  const auto both = [](uint32_t a, uint32_t b) { return a & b; };
  if (fill == 0) return Combine(other, 0, mine.First, mine.Last, both);
  if (other.fill == 0) return Combine(other, 0, theirs.First, theirs.Last, both);
  const TWordSpan span = mine.Hull(theirs).Hull(tail);
  Combine(other, ~0u, span.First, span.Last, both);
}

// Words other lacks leave this bitmap's as they are.
void TRecordsBitmap::OrWith(const TRecordsBitmap& other) {
  const int32_t common = std::min(wordCount, other.wordCount);
  const TWordSpan mine{low, high};
  const TWordSpan theirs{std::min(other.low, common), std::min(other.high, common)};
  const auto either = [](uint32_t a, uint32_t b) { return a | b; };
  if (fill != 0) return Combine(other, ~0u, mine.First, mine.Last, either);
  if (other.fill == 0) {
    const TWordSpan span = mine.Hull(theirs);
    return Combine(other, 0, span.First, span.Last, either);
  }
  const TWordSpan span = mine.Hull(theirs).Hull({common, wordCount});
  Combine(other, ~0u, span.First, span.Last, either);
}

void TRecordsBitmap::Invert() {
  for (int32_t w = low; w < high; ++w) bits[w] = ~bits[w];
  fill = ~fill;
}

void TRecordsBitmap::Assign(const TRecordsBitmap& other) {
  if (other.wordCount * 4 > allocatedBytes)
    GrowBuffer(other.wordCount * 4, RecordsBitmapMemoryStep, bits, allocatedBytes);
  if (other.high > other.low)
    std::memcpy(bits + other.low, other.bits + other.low, size_t(other.high - other.low) * sizeof(uint32_t));
  recordCount = other.recordCount;
  bitCapacity = other.bitCapacity;
  wordCount = other.wordCount;
  low = other.low;
  high = other.high;
  fill = other.fill;
}

// A word with the bits beyond the record count masked off.
uint32_t TRecordsBitmap::MeaningfulWord(int32_t word) const {
  uint32_t value = Word(word);
  if (word == wordCount - 1) value &= LowBits(recordCount - word * 32);
  return value;
}

int32_t TRecordsBitmap::CountWordsBefore(int32_t word) const {
  const int32_t end = std::min(high, word);
  int32_t total = 0;
  int32_t held = 0;
  if (low < end) {
    total = CountWords(bits + low, end - low);
    held = end - low;
  }
  if (fill != 0) total += (word - held) * 32;
  return total;
}

int32_t TRecordsBitmap::CountSet() const {
  if (wordCount == 0) return 0;
  const int32_t last = wordCount - 1;
  return std::popcount(MeaningfulWord(last)) + CountWordsBefore(last);
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
  const int32_t lastWord = WordOf(last);
  return std::popcount(Word(lastWord) & LowBits(((last - 1) & 31) + 1)) + CountWordsBefore(lastWord);
}

int32_t TRecordsBitmap::NextNonZeroWord(int32_t word) const {
  while (word < wordCount) {
    if (word >= low && word < high) {
      // Sparse results are mostly zero words: passed in a loop of their own.
      while (word < high && bits[word] == 0) ++word;
      if (word < high) return word;
      continue;
    }
    if (fill != 0) return word;
    if (word < low) {
      word = low;
      if (low >= high) break;
      continue;
    }
    break;
  }
  return wordCount;
}

int32_t TRecordsBitmap::PriorNonZeroWord(int32_t word) const {
  while (word >= 0) {
    if (word >= low && word < high) {
      while (word >= low && bits[word] == 0) --word;
      if (word >= low) return word;
      continue;
    }
    if (fill != 0) return word;
    if (word >= high && high > low) {
      word = high - 1;
      continue;
    }
    break;
  }
  return -1;
}

bool TRecordsBitmap::FindNext(int32_t& recordNumber, int32_t steps, int32_t& counter) const {
  if (steps < 1) return false;
  int32_t next = std::max(recordNumber, 0) + 1;
  while (next <= recordCount) {
    int32_t w = WordOf(next);
    uint32_t word = Word(w) & ~LowBits((next - 1) & 31);
    if (word == 0) {
      w = NextNonZeroWord(w + 1);
      if (w >= wordCount) break;
      word = Word(w);
    }
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
    uint32_t word = Word(w) & LowBits(((prior - 1) & 31) + 1);
    if (word == 0) {
      w = PriorNonZeroWord(w - 1);
      if (w < 0) break;
      word = Word(w);
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
