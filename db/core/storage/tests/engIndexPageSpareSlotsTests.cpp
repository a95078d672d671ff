// A slot buffer a page gives up (packed, or not fitting the entries it
// loads) serves the next page it fits, of whatever index, type and size:
// that page must read and store exactly as one given fresh slots, whatever
// the buffer held before, and a buffer goes only to a page it fits.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engIndexPage.h"
#include "engIndexTestTree.h"
#include "engLittleEndian.h"

namespace {


struct TShape {
  uint16_t keyLength;
  bool unique;
  uint8_t compression;
  uint32_t keys;
};

// Shapes of the indexes of one table: long text keys (compressed leaves of
// tens of KiB unpacked, branches packed without their zeros), short
// numbers, keys told apart by a row number, and keys stored whole.
const TShape Shapes[] = {
    {300, true, kcFull, 3000},
    {4, true, kcFull, 3000},
    {16, false, kcFull, 3000},
    {10, true, kcNone, 1500},
    {124, false, kcTrailing, 600},
    {80, true, kcLeading, 800},
};

// The value's bytes, then up to 36 bytes none of which is zero, so that a
// buffer that held such keys has few zeros where a later page's slots
// could wrongly rely on them, then zeros (padded text).
TKeyBytes DenseKey(uint32_t n, int length, bool unique) {
  TKeyBytes key(size_t(length), 0);
  const int body = length - (unique ? 0 : 4);
  const uint32_t value = unique ? n : n / 3;
  for (int i = 0; i < 4 && i < body; ++i) key[size_t(i)] = uint8_t(value >> (24 - 8 * i));
  const int filled = std::min(body, 4 + int(value % 7) * 6);
  for (int i = 4; i < filled; ++i) key[size_t(i)] = uint8_t(1 + (value * 37 + uint32_t(i) * 11) % 251);
  if (!unique) PutTestRowNumber(key, body, n);
  return key;
}

struct TPageImage {
  const TShape* shape;
  std::vector<uint8_t> bytes;
};

// Every page of a tree of the shape, as stored.
std::vector<TPageImage> TreeImages(const TShape& shape) {
  TMemoryPageOwner owner;
  owner.indexes[TestIndex] = {shape.keyLength, shape.unique, shape.compression};
  TTestTree tree(owner, TestIndex, TestComparer(), [&owner] { return owner.roots[TestIndex]; });
  for (uint32_t n = 1; n <= shape.keys; ++n) tree.Insert(DenseKey(n * 7919 % shape.keys + 1, shape.keyLength, shape.unique), n);
  std::vector<TPageImage> images;
  for (auto& [offset, page] : owner.pages) {
    TPageImage image{&shape, std::vector<uint8_t>(IndexPageSize)};
    page->Store(image.bytes.data());
    images.push_back(std::move(image));
  }
  return images;
}

void SetUpFor(TPage& page, TIndexPageOwner& owner, const TShape& shape) {
  page.Setup(&owner, TestIndex, {.KeyLength = uint16_t(shape.keyLength),
                                 .Unique = shape.unique,
                                 .Compression = shape.compression});
}

// Reads every entry, the keys before each position and the stored image
// of got against a page loaded from the image into fresh slots.
void ExpectReadsAsFresh(const TPageImage& image, TPage& got) {
  TMemoryPageOwner owner;  // no spare buffers
  TPage fresh;
  SetUpFor(fresh, owner, *image.shape);
  fresh.Load(image.bytes.data(), false);
  ASSERT_EQ(fresh.Count, got.Count);
  ASSERT_EQ(fresh.PageType, got.PageType);
  const int k = fresh.KeyLength;
  for (int i = 1; i <= fresh.Count; ++i) {
    ASSERT_EQ(0, memcmp(fresh.KeyAt(i), got.KeyAt(i), size_t(k))) << "entry " << i;
    ASSERT_EQ(fresh.PointerAt(i), got.PointerAt(i)) << "entry " << i;
    ASSERT_EQ(fresh.KeyCountAt(i), got.KeyCountAt(i)) << "entry " << i;
    fresh.SecondPosition = got.SecondPosition = uint16_t(i);
    ASSERT_EQ(fresh.KeysBefore(true), got.KeysBefore(true)) << "entry " << i;
  }
  std::vector<uint8_t> stored(IndexPageSize);
  const uint8_t modified = got.Modified;
  got.Store(stored.data());
  got.Modified = modified;
  EXPECT_EQ(image.bytes, stored);
}

}  // namespace

// Pages of every shape pass through a few page objects, as cached pages
// serve one index after another: loaded into the buffer the object holds
// or one another page gave up, packed and unpacked, searched part way.
TEST(IndexPageSpareSlots, BuffersPassedBetweenPagesOfEveryShapeReadAsFreshOnes) {
  std::vector<TPageImage> images;
  std::vector<size_t> firsts;
  for (const TShape& shape : Shapes) {
    firsts.push_back(images.size());
    for (TPageImage& image : TreeImages(shape)) images.push_back(std::move(image));
  }
  ASSERT_GT(images.size(), 60u);
  // Shapes interleaved, so that each buffer goes from one shape to another.
  std::vector<const TPageImage*> order;
  for (size_t round = 0; order.size() < images.size(); ++round)
    for (size_t s = 0; s < firsts.size(); ++s) {
      const size_t end = s + 1 < firsts.size() ? firsts[s + 1] : images.size();
      if (firsts[s] + round < end) order.push_back(&images[firsts[s] + round]);
    }

  TMemoryPageOwner owner;
  const TSpareSlots& spare = owner.SpareSlots();
  TPage objects[3];
  int exchanges = 0;  // loads that gave a buffer to spare or took one
  for (size_t i = 0; i < order.size(); ++i) {
    const TPageImage& image = *order[i];
    TPage& page = objects[i % 3];
    page.Clear();
    SetUpFor(page, owner, *image.shape);
    const int64_t spareBefore = spare.Bytes();
    page.Load(image.bytes.data(), false);
    if (spare.Bytes() != spareBefore) ++exchanges;
    ASSERT_NO_FATAL_FAILURE(ExpectReadsAsFresh(image, page)) << "load " << i;

    if (!page.WorthPacking()) continue;
    // Read part way first, so that the slots taken again hold stale entries.
    if (page.Count > 2) page.KeyAt(page.Count / 2);
    page.Pack();
    page.Unpack();
    if (page.Count > 2) {
      const TKeyBytes probe(page.KeyLength, 0x7F);
      page.Search(TestComparer(), probe.data(), int(probe.size()));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectReadsAsFresh(image, page)) << "unpack " << i;
  }
  EXPECT_GT(exchanges, 10);
  EXPECT_LE(spare.Count(), TSpareSlots::MostBuffers);
}

// The slots of a leaf of long keys take ten times those of a leaf of short
// ones: a page handed a buffer far too large would cost the cache that
// much more, and a buffer too small would be grown (copied and cleared).
TEST(IndexPageSpareSlots, ABufferGoesOnlyToAPageItFits) {
  const TShape& longKeys = Shapes[0];
  const TShape& shortKeys = Shapes[1];
  const std::vector<TPageImage> longImages = TreeImages(longKeys);
  const std::vector<TPageImage> shortImages = TreeImages(shortKeys);
  auto leafOf = [](const std::vector<TPageImage>& images) {
    for (const TPageImage& image : images)
      if (image.bytes[0] == ptLeaf && GetLE16(image.bytes.data() + 1) > 20) return &image;
    return static_cast<const TPageImage*>(nullptr);
  };
  const TPageImage* longLeaf = leafOf(longImages);
  const TPageImage* shortLeaf = leafOf(shortImages);
  ASSERT_TRUE(longLeaf && shortLeaf);

  TMemoryPageOwner owner;
  const TSpareSlots& spare = owner.SpareSlots();
  TPage big;
  SetUpFor(big, owner, longKeys);
  big.Load(longLeaf->bytes.data(), false);
  const uint32_t bigFootprint = big.Footprint();
  ASSERT_TRUE(big.WorthPacking());
  big.Pack();
  ASSERT_EQ(1, spare.Count());
  const int64_t bigSlots = spare.Bytes();

  // A short-key leaf leaves the long-key leaf's buffer where it is.
  TPage small;
  SetUpFor(small, owner, shortKeys);
  small.Load(shortLeaf->bytes.data(), false);
  EXPECT_EQ(1, spare.Count());
  EXPECT_LT(int64_t(small.Footprint()), bigSlots);

  // The same page object loading a short-key leaf gives its large buffer
  // up, and takes the long one's back when it loads a long-key leaf.
  small.Pack();
  ASSERT_EQ(2, spare.Count());
  TPage reused;
  SetUpFor(reused, owner, longKeys);
  reused.Load(longLeaf->bytes.data(), false);
  EXPECT_EQ(bigFootprint, reused.Footprint());
  EXPECT_EQ(1, spare.Count());
  reused.Clear();
  SetUpFor(reused, owner, shortKeys);
  reused.Load(shortLeaf->bytes.data(), false);
  EXPECT_EQ(bigSlots, spare.Bytes());
  EXPECT_LT(int64_t(reused.Footprint()), bigSlots);

  // Unpacked, the long-key leaf takes the buffer it fits.
  big.Unpack();
  EXPECT_EQ(bigFootprint, big.Footprint());
  EXPECT_EQ(0, spare.Bytes());
  ASSERT_NO_FATAL_FAILURE(ExpectReadsAsFresh(*longLeaf, big));

  // The buffers given up longest ago go first.
  std::vector<std::unique_ptr<TPage>> pages;
  for (const TPageImage& image : longImages) {
    if (image.bytes[0] != ptLeaf) continue;
    pages.push_back(std::make_unique<TPage>());
    SetUpFor(*pages.back(), owner, longKeys);
    pages.back()->Load(image.bytes.data(), false);
    if (!pages.back()->WorthPacking()) pages.pop_back();
  }
  ASSERT_GT(int(pages.size()), TSpareSlots::MostBuffers);
  for (auto& page : pages) page->Pack();
  EXPECT_EQ(TSpareSlots::MostBuffers, spare.Count());
}
