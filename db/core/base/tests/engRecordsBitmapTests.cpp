#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "engLibrary.h"
#include "engRecordsBitmap.h"

namespace {

TRecordsBitmap* Bitmap(int32_t records, std::vector<int32_t> set = {}) {
  auto* bitmap = new TRecordsBitmap;
  bitmap->SetRecordCount(records);
  for (int32_t n : set) bitmap->SetBit(n);
  return bitmap;
}

std::vector<int32_t> SetRecords(const TRecordsBitmap& bitmap) {
  std::vector<int32_t> records;
  for (int32_t n = 1; n <= bitmap.RecordCount(); ++n)
    if (bitmap.IsSet(n)) records.push_back(n);
  return records;
}

TEST(RecordsBitmap, CountsStopAtTheRecordCount) {
  std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(33));
  EXPECT_EQ(bitmap->WordCount(), 2);
  EXPECT_EQ(bitmap->AllocatedBytes(), RecordsBitmapMemoryStep);
  bitmap->SetAll();
  EXPECT_EQ(bitmap->CountSet(), 33);
  bitmap->ClearAll();
  bitmap->Invert();
  EXPECT_EQ(bitmap->CountSet(), 33);
  EXPECT_EQ(bitmap->CountSetBefore(1), 0);
  EXPECT_EQ(bitmap->CountSetBefore(33), 32);
  EXPECT_EQ(bitmap->CountSetBefore(1000), 33);
  bitmap->ClearBit(32);
  EXPECT_EQ(bitmap->CountSetBefore(34), 32);
  EXPECT_FALSE(bitmap->IsSet(32));
}

// Counts over many words, odd and even numbers of them, with the bits
// past the record count set by Invert, against the bits one by one.
TEST(RecordsBitmap, CountsOfScatteredBitsMatchTheBitsOneByOne) {
  uint32_t seed = 12345;
  for (int32_t records : {1, 31, 32, 33, 64, 65, 95, 97, 128, 4099, 100001}) {
    std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(records));
    for (int32_t n = 1; n <= records; ++n) {
      seed = seed * 1103515245u + 12345u;
      if ((seed >> 16) % 3 == 0) bitmap->SetBit(n);
    }
    bitmap->Invert();
    const std::vector<int32_t> set = SetRecords(*bitmap);
    EXPECT_EQ(bitmap->CountSet(), int32_t(set.size())) << records;
    for (int32_t before : {1, 2, 32, 33, 64, 65, 66, records / 2, records, records + 1}) {
      const auto below = std::lower_bound(set.begin(), set.end(), before) - set.begin();
      EXPECT_EQ(bitmap->CountSetBefore(before), int32_t(below)) << records << " before " << before;
    }
  }
}

// A run ends at its last set record before a gap longer than allowed, at
// the limit, or at the record count, never on a clear record.
TEST(RecordsBitmap, SetRunsSpanShortGapsOnly) {
  struct TCase {
    std::vector<int32_t> set;
    int32_t from, limit, maxGap, length;
  };
  const TCase cases[] = {
      {{5}, 5, 16, 2, 1},                 // alone
      {{5, 6, 7}, 5, 16, 2, 3},           // no gap
      {{5, 8}, 5, 16, 2, 4},              // a gap of two, allowed
      {{5, 9}, 5, 16, 2, 1},              // a gap of three, not
      {{5, 8, 12}, 5, 16, 2, 4},          // the second gap ends it
      {{5, 6, 7, 8, 9}, 5, 3, 2, 3},      // the limit
      {{38, 40}, 38, 16, 2, 3},           // the record count (40)
      {{1, 3, 5, 20}, 1, 16, 1, 5},       // trailing clear records are not taken
  };
  for (const TCase& test : cases) {
    std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(40, test.set));
    EXPECT_EQ(bitmap->SetRunLength(test.from, test.limit, test.maxGap), test.length) << test.from << "," << test.limit;
  }
}

TEST(RecordsBitmap, CombinesWithAndOrAssign) {
  std::unique_ptr<TRecordsBitmap> a(Bitmap(100, {1, 32, 33, 64, 100}));
  std::unique_ptr<TRecordsBitmap> b(Bitmap(100, {32, 64, 65, 99}));
  std::unique_ptr<TRecordsBitmap> both(Bitmap(0));
  both->Assign(*a);
  both->AndWith(*b);
  EXPECT_EQ(SetRecords(*both), (std::vector<int32_t>{32, 64}));
  a->OrWith(*b);
  EXPECT_EQ(SetRecords(*a), (std::vector<int32_t>{1, 32, 33, 64, 65, 99, 100}));
  a->Invert();
  EXPECT_EQ(a->CountSet(), 93);
  // A smaller other bitmap contributes nothing beyond its words.
  std::unique_ptr<TRecordsBitmap> small(Bitmap(10, {2}));
  b->AndWith(*small);
  EXPECT_EQ(b->CountSet(), 0);
}

TEST(RecordsBitmap, FindsSetBitsInBothDirections) {
  std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(200, {3, 40, 41, 170}));
  int32_t record = 0;
  int32_t counter = 0;
  EXPECT_TRUE(bitmap->FindNext(record, 2, counter));
  EXPECT_EQ(record, 40);
  EXPECT_EQ(counter, 2);
  EXPECT_FALSE(bitmap->FindNext(record, 5, counter));
  EXPECT_EQ(record, 170);  // the last one found
  EXPECT_EQ(counter, 4);
  EXPECT_FALSE(bitmap->FindNext(record, 1, counter));
  EXPECT_EQ(record, 170);
  EXPECT_EQ(counter, 4);

  record = 201;
  EXPECT_TRUE(bitmap->FindPrior(record, 3, counter));
  EXPECT_EQ(record, 40);
  EXPECT_EQ(counter, 1);
  EXPECT_TRUE(bitmap->FindPrior(record, 1, counter));
  EXPECT_EQ(record, 3);
  EXPECT_FALSE(bitmap->FindPrior(record, 1, counter));
  EXPECT_EQ(record, 3);
  EXPECT_EQ(counter, 0);
}

// Counting, searching and AND over whole bitmaps against a plain model:
// sparse, dense and inverted patterns (bits beyond the record count set),
// counts on and off word boundaries, and an AND with a shorter bitmap.
TEST(RecordsBitmap, CountsSearchesAndAndsAgreeWithAModel) {
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int32_t records : {1, 31, 32, 33, 95, 96, 1000, 4099}) {
    for (int density : {0, 1, 50, 100}) {  // per 100 records; 100 = SetAll then cleared a few
      for (bool inverted : {false, true}) {
        std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(records));
        std::vector<bool> model(size_t(records) + 1, false);
        if (density == 100) bitmap->SetAll();
        for (int32_t n = 1; n <= records; ++n) {
          const bool on = density == 100 ? next() % 50 != 0 : int(next() % 100) < density;
          on ? bitmap->SetBit(n) : bitmap->ClearBit(n);
          model[size_t(n)] = on;
        }
        if (inverted) {
          bitmap->Invert();
          for (int32_t n = 1; n <= records; ++n) model[size_t(n)] = !model[size_t(n)];
        }
        SCOPED_TRACE(std::to_string(records) + " records, density " + std::to_string(density) +
                     (inverted ? ", inverted" : ""));
        std::vector<int32_t> expected;
        for (int32_t n = 1; n <= records; ++n)
          if (model[size_t(n)]) expected.push_back(n);
        EXPECT_EQ(bitmap->CountSet(), int32_t(expected.size()));
        for (int32_t n : {0, 1, 2, 32, 33, records / 2, records, records + 1})
          EXPECT_EQ(bitmap->CountSetBefore(n), std::count_if(expected.begin(), expected.end(),
                                                             [n](int32_t e) { return e < n; }))
              << n;
        std::vector<int32_t> forward, backward;
        int32_t record = 0, counter = 0;
        while (bitmap->FindNext(record, 1, counter)) forward.push_back(record);
        EXPECT_EQ(forward, expected);
        record = records + 1;
        while (bitmap->FindPrior(record, 1, counter)) backward.insert(backward.begin(), record);
        EXPECT_EQ(backward, expected);
        // Stepping several at once lands where single steps do.
        if (expected.size() >= 3) {
          record = 0;
          EXPECT_TRUE(bitmap->FindNext(record, 3, counter));
          EXPECT_EQ(record, expected[2]);
        }
        // An AND with a shorter bitmap keeps only the records both hold.
        const int32_t shorter = records / 3 + 1;
        std::unique_ptr<TRecordsBitmap> other(Bitmap(shorter));
        other->SetAll();
        bitmap->AndWith(*other);
        const int32_t kept = int32_t(std::count_if(expected.begin(), expected.end(), [&](int32_t e) {
          return e <= other->WordCount() * 32;
        }));
        EXPECT_EQ(bitmap->CountSet(), kept);
      }
    }
  }
}

// A bitmap keeps only the stretch of words that differs from an all-clear
// or all-set rest: every operation in any order, on narrow stretches of
// set or cleared bits, at both ends and across growth and shrinking,
// against a plain model of each record's bit.
TEST(RecordsBitmap, OperationsInAnyOrderAgreeWithAModel) {
  uint32_t seed = 777;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return bound == 0 ? 0u : ((seed >> 8) % bound);
  };
  using TModel = std::vector<bool>;  // index 0 unused
  auto check = [&](const TRecordsBitmap& bitmap, const TModel& model, const std::string& where) {
    SCOPED_TRACE(where);
    const int32_t records = int32_t(model.size()) - 1;
    ASSERT_EQ(bitmap.RecordCount(), records);
    std::vector<int32_t> expected;
    for (int32_t n = 1; n <= records; ++n) {
      ASSERT_EQ(bitmap.IsSet(n), bool(model[size_t(n)])) << n;
      if (model[size_t(n)]) expected.push_back(n);
    }
    EXPECT_EQ(bitmap.CountSet(), int32_t(expected.size()));
    for (int i = 0; i < 4; ++i) {
      const int32_t before = int32_t(next(uint32_t(records) + 3));
      EXPECT_EQ(bitmap.CountSetBefore(before),
                std::lower_bound(expected.begin(), expected.end(), before) - expected.begin())
          << before;
    }
    std::vector<int32_t> forward, backward;
    int32_t record = 0, counter = 0;
    while (bitmap.FindNext(record, 1, counter)) forward.push_back(record);
    EXPECT_EQ(forward, expected);
    record = records + 1;
    while (bitmap.FindPrior(record, 1, counter)) backward.insert(backward.begin(), record);
    EXPECT_EQ(backward, expected);
    EXPECT_EQ(counter, 0);
    if (!expected.empty()) {
      const size_t from = next(uint32_t(expected.size()));
      const int32_t steps = int32_t(next(5)) + 1;
      record = from == 0 ? 0 : expected[from - 1];
      const bool reached = bitmap.FindNext(record, steps, counter);
      EXPECT_EQ(reached, from + size_t(steps) <= expected.size());
      if (reached) {
        EXPECT_EQ(record, expected[from + size_t(steps) - 1]);
      }
      const int32_t start = expected[from];
      int32_t length = 1;
      for (int32_t i = 1, gap = 0; i < 16 && start + i <= records; ++i) {
        if (model[size_t(start + i)]) {
          length = i + 1;
          gap = 0;
        } else if (++gap > 2) {
          break;
        }
      }
      EXPECT_EQ(bitmap.SetRunLength(start, 16, 2), length);
    }
  };
  for (int32_t records : {0, 1, 31, 33, 64, 200, 3000}) {
    std::unique_ptr<TRecordsBitmap> a(Bitmap(records)), b(Bitmap(records));
    TModel ma(size_t(records) + 1, false), mb(size_t(records) + 1, false);
    for (int step = 0; step < 300; ++step) {
      const uint32_t op = next(13);
      const bool onA = next(2) == 0;
      TRecordsBitmap& bitmap = onA ? *a : *b;
      TModel& model = onA ? ma : mb;
      const int32_t count = int32_t(model.size()) - 1;
      switch (op) {
        case 0:
        case 1:
        case 2: {  // a short run of bits set or cleared somewhere
          if (count == 0) break;
          const int32_t first = int32_t(next(uint32_t(count))) + 1;
          const int32_t last = std::min(count, first + int32_t(next(70)));
          for (int32_t n = first; n <= last; n += 1 + int32_t(next(3))) {
            op == 2 ? bitmap.ClearBit(n) : bitmap.SetBit(n);
            model[size_t(n)] = op != 2;
          }
          break;
        }
        case 3:
          bitmap.ClearAll();
          model.assign(model.size(), false);
          break;
        case 4:
          bitmap.SetAll();
          model.assign(model.size(), true);
          model[0] = false;
          break;
        case 5:
          bitmap.Invert();
          for (size_t n = 1; n < model.size(); ++n) model[n] = !model[n];
          break;
        case 6:
          bitmap.Assign(onA ? *b : *a);
          model = onA ? mb : ma;
          break;
        case 7:
        case 8:
          bitmap.AndWith(onA ? *b : *a);
          for (size_t n = 1; n < model.size(); ++n) model[n] = model[n] && (onA ? mb : ma)[n];
          break;
        case 9:
          bitmap.OrWith(onA ? *b : *a);
          for (size_t n = 1; n < model.size(); ++n) model[n] = model[n] || (onA ? mb : ma)[n];
          break;
        case 10:
          bitmap.AndWith(bitmap);
          break;
        default: {  // both grow or shrink alike; records added start clear
          const int32_t resized = std::max(0, count + int32_t(next(140)) - 60);
          a->SetRecordCount(resized);
          b->SetRecordCount(resized);
          ma.resize(size_t(resized) + 1, false);
          mb.resize(size_t(resized) + 1, false);
          break;
        }
      }
      const std::string where = std::to_string(records) + " records, step " + std::to_string(step) + ", op " +
                                std::to_string(op);
      check(*a, ma, where + " a");
      check(*b, mb, where + " b");
      if (HasFatalFailure()) return;
    }
  }
}

TEST(RecordsBitmap, RecordsAddedAfterSetAllOrInvertStartClear) {
  std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(33));
  bitmap->SetAll();
  bitmap->SetRecordCount(70);
  EXPECT_EQ(bitmap->CountSet(), 33);
  bitmap->ClearAll();
  bitmap->Invert();
  bitmap->SetRecordCount(20);
  bitmap->SetRecordCount(64);
  EXPECT_EQ(bitmap->CountSet(), 20);
  int32_t record = 20;
  int32_t counter = 0;
  EXPECT_FALSE(bitmap->FindNext(record, 1, counter));
  // Growing past the first allocation keeps the bits and clears the new ones.
  bitmap->SetRecordCount(10000);
  EXPECT_EQ(bitmap->CountSet(), 20);
  EXPECT_EQ(bitmap->AllocatedBytes(), 2048);
}

// Clearing a bitmap that is already clear costs nothing, so every way of
// setting a bit must be undone by the next ClearAll.
TEST(RecordsBitmap, ClearAllClearsWhateverSetTheBits) {
  std::unique_ptr<TRecordsBitmap> other(Bitmap(100, {7, 99}));
  std::unique_ptr<TRecordsBitmap> clearOther(Bitmap(100));
  const std::vector<std::function<void(TRecordsBitmap&)>> setters = {
      [](TRecordsBitmap& b) { b.SetBit(5); },
      [](TRecordsBitmap& b) { b.SetAll(); },
      [](TRecordsBitmap& b) { b.Invert(); },
      [&](TRecordsBitmap& b) { b.OrWith(*other); },
      [&](TRecordsBitmap& b) { b.Assign(*other); },
      [&](TRecordsBitmap& b) {
        b.Assign(*clearOther);
        b.SetBit(100);
      },
      [](TRecordsBitmap& b) {
        b.SetBit(90);
        b.SetRecordCount(50);  // the bit lies beyond the count until it grows back
        b.SetRecordCount(100);
        b.SetBit(1);
      },
  };
  for (size_t i = 0; i < setters.size(); ++i) {
    std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(100));
    bitmap->ClearAll();
    setters[i](*bitmap);
    EXPECT_GT(bitmap->CountSet(), 0) << "setter " << i;
    bitmap->ClearAll();
    EXPECT_EQ(bitmap->CountSet(), 0) << "setter " << i;
    bitmap->SetRecordCount(5000);
    EXPECT_EQ(bitmap->CountSet(), 0) << "setter " << i;
  }
  // Bits cleared one by one leave nothing for ClearAll to miss either.
  std::unique_ptr<TRecordsBitmap> bitmap(Bitmap(64, {3, 40}));
  bitmap->ClearBit(3);
  bitmap->ClearAll();
  EXPECT_EQ(bitmap->CountSet(), 0);
}

TEST(RecordsBitmap, PoolHandsBackClearedBitmaps) {
  StartEngineLibrary();
  TRecordsBitmap* first = GetRecordsBitmap();
  first->SetRecordCount(50);
  first->SetAll();
  TRecordsBitmap* released = first;
  ReleaseRecordsBitmap(first);
  EXPECT_EQ(first, nullptr);
  ReleaseRecordsBitmap(first);  // nil is ignored

  TRecordsBitmap* again = GetRecordsBitmap();
  EXPECT_EQ(again, released);
  EXPECT_EQ(again->RecordCount(), 50);
  EXPECT_EQ(again->CountSet(), 0);
  TRecordsBitmap* fresh = GetRecordsBitmap();
  EXPECT_NE(fresh, again);
  ReleaseRecordsBitmap(again);
  ReleaseRecordsBitmap(fresh);
  StopEngineLibrary();
}

}  // namespace
