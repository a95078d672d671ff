#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Objects.h"

namespace {

int gLiveItems = 0;

struct TItem {
  explicit TItem(int itemKey) : key(itemKey) { ++gLiveItems; }
  ~TItem() { --gLiveItems; }
  int key;
};

class TItems : public TSafeSortedCollection<TItem> {
public:
  using TSafeSortedCollection::TSafeSortedCollection;
  int Compare(const TItem* key1, const TItem* key2) override { return key1->key - key2->key; }
};

std::vector<int> Keys(TSafeCollection<TItem>& items) {
  std::vector<int> keys;
  items.ForEach([&](TItem* item) { keys.push_back(item->key); });
  return keys;
}

class ObjectsTest : public testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(0, gLiveItems); }
};

}  // namespace

TEST_F(ObjectsTest, SortedCollectionSearchesAndRefusesDuplicates) {
  TItems items;
  for (int key : {30, 10, 20}) items.Insert(std::make_unique<TItem>(key));
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Keys(items));

  const TItem probe(25);
  int32_t index = -1;
  EXPECT_FALSE(items.Search(&probe, index));
  EXPECT_EQ(2, index);
  const TItem present(20);
  EXPECT_TRUE(items.Search(&present, index));
  EXPECT_EQ(1, index);

  // The refused item is freed before the exception.
  EXPECT_THROW(items.Insert(std::make_unique<TItem>(20)), EDuplicates);
  EXPECT_EQ(3, items.Count());
  EXPECT_EQ(3 + 2, gLiveItems);

  // Only the very item is found, not another with its key.
  TItem stranger(20);
  EXPECT_EQ(-1, items.IndexOf(&stranger));
  items.Free(&stranger);
  EXPECT_EQ(3, items.Count());
}

TEST_F(ObjectsTest, DuplicatesGoFirstAmongEqualsAndAreFoundByIdentity) {
  TItems items;
  items.Duplicates = true;
  auto firstItem = std::make_unique<TItem>(5);
  auto secondItem = std::make_unique<TItem>(5);
  TItem* first = firstItem.get();
  TItem* second = secondItem.get();
  items.Insert(std::make_unique<TItem>(9));
  items.Insert(std::move(firstItem));
  items.Insert(std::move(secondItem));
  EXPECT_EQ(0, items.IndexOf(second));
  EXPECT_EQ(1, items.IndexOf(first));
  items.Free(second);
  EXPECT_EQ((std::vector<int>{5, 9}), Keys(items));
  EXPECT_EQ(first, items.At(0));

  items.Sorted = false;
  items.Insert(std::make_unique<TItem>(1));
  EXPECT_EQ((std::vector<int>{5, 9, 1}), Keys(items));
}

TEST_F(ObjectsTest, FreeIfAndForEachWalks) {
  TItems items;
  for (int key = 1; key <= 6; ++key) items.Insert(std::make_unique<TItem>(key));
  items.FreeIf([](TItem* item) { return item->key % 2 == 0; });
  EXPECT_EQ(-1, items.CurrentIndex);
  EXPECT_EQ((std::vector<int>{1, 3, 5}), Keys(items));

  items.Forward = false;
  items.StopAllowed = true;
  std::vector<int> seen;
  items.ForEach([&](TItem* item) {
    seen.push_back(item->key);
    if (item->key == 3) items.CurrentIndex = -1;
  });
  EXPECT_EQ((std::vector<int>{5, 3}), seen);

  items.FreeIf([](TItem*) { return true; });
  EXPECT_EQ(0, items.Count());
  items.CurrentIndex = 7;
  items.FreeIf([](TItem*) { return true; });
  EXPECT_EQ(7, items.CurrentIndex);
}

TEST_F(ObjectsTest, GrowthLimitsAndRanges) {
  TSafeCollection<TItem> grows(0, 3, 0);
  EXPECT_EQ(0, grows.Limit());
  grows.Insert(std::make_unique<TItem>(1));
  EXPECT_EQ(3, grows.Limit());
  EXPECT_THROW(grows.At(1), ELongRangeError);
  EXPECT_THROW(grows.AtDelete(-1), ELongRangeError);
  grows.Lock();
  EXPECT_THROW(grows.AtInsert(5, nullptr), ELongRangeError);
  grows.Unlock();

  TSafeCollection<TItem> fixed(2, 0, 0);
  fixed.Insert(std::make_unique<TItem>(1));
  fixed.Insert(std::make_unique<TItem>(2));
  // The refused item is freed (the fixture counts live items).
  try {
    fixed.Insert(std::make_unique<TItem>(3));
    FAIL();
  } catch (const ELongOverflow& e) {
    EXPECT_STREQ("Cannot grow. Collection limit reached.", e.what());
  }
  EXPECT_EQ(2, fixed.Count());

  TSafeCollection<TItem> capped(1, 5, 3);
  for (int key = 0; key < 3; ++key) capped.Insert(std::make_unique<TItem>(key));
  EXPECT_EQ(3, capped.Limit());
  EXPECT_THROW(capped.Insert(std::make_unique<TItem>(4)), ELongOverflow);
}
