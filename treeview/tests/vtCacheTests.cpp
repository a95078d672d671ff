// The position cache and its worker thread, also while the tree changes
// (run under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <random>

#include "VirtualStringTree.h"
#include "vtTestSupport.h"

namespace {

constexpr int WorkerTimeoutMs = 20000;

// Checks every entry against a walk: the k-th entry is the (k+1)*2000-th
// visible node (the last may be the last node) at its true top.
void ExpectCacheTrue(TBaseVirtualTree& tree) {
  EXPECT_TRUE(tree.PositionCache().Complete());
  const std::vector<TCacheEntry> entries = tree.PositionCache().Entries();
  ASSERT_EQ(TPositionCache::EntriesFor(tree.VisibleCount()), entries.size());
  uint32_t count = 0, top = 0;
  size_t next = 0;
  for (PVirtualNode n = tree.GetFirstVisible(); n && next < entries.size(); n = tree.GetNextVisible(n)) {
    ++count;
    const bool last = tree.GetNextVisible(n) == nullptr;
    if (count % CacheThreshold == 0 || (last && next + 1 == entries.size())) {
      ASSERT_EQ(n, entries[next].Node) << "entry " << next;
      ASSERT_EQ(top, entries[next].AbsoluteTop);
      ++next;
    }
    top += n->NodeHeight;
  }
  EXPECT_EQ(entries.size(), next);
}

TEST(PositionCache, SizesFollowTheVisibleCount) {
  TBaseVirtualTree tree;
  tree.SetRootNodeCount(2000);
  ASSERT_TRUE(WaitForWorkerIdle(WorkerTimeoutMs));
  EXPECT_TRUE(tree.PositionCache().Entries().empty());
  tree.SetRootNodeCount(2001);
  ASSERT_TRUE(WaitForWorkerIdle(WorkerTimeoutMs));
  const auto entries = tree.PositionCache().Entries();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(1999u, entries[0].Node->Index);
  EXPECT_EQ(2000u, entries[1].Node->Index);
  EXPECT_EQ(2000u * 18, entries[1].AbsoluteTop);
}

TEST(PositionCache, TheWorkerLivesWithTheTrees) {
  {
    TBaseVirtualTree one;
    EXPECT_TRUE(WorkerThreadRunning());
  }
  EXPECT_FALSE(WorkerThreadRunning());
  TBaseVirtualTree two;
  EXPECT_TRUE(WorkerThreadRunning());
  two.SetRootNodeCount(5000);
  ASSERT_TRUE(WaitForWorkerIdle(WorkerTimeoutMs));
  ExpectCacheTrue(two);
}

TEST(PositionCache, StructureChangesStopTheWorkerAndTheCacheComesOutTrue) {
  TVirtualStringTree tree;
  tree.SetRootNodeCount(60000);
  std::mt19937 random(99);
  for (int round = 0; round < 40; ++round) {
    // The worker is (probably) walking now; each change stops it first.
    PVirtualNode n = tree.RootNode()->FirstChild;
    for (uint32_t skip = random() % 50000; skip > 0 && n->NextSibling; --skip) n = n->NextSibling;
    switch (round % 4) {
      case 0:
        tree.SetChildCount(n, 10000);
        tree.ToggleNode(n);
        break;
      case 1:
        tree.DeleteNode(n);
        break;
      case 2:
        tree.SetSelected(n, true);
        tree.SetNodeHeight(n, 30);
        break;
      case 3:
        tree.ToggleNode(n);
        tree.AddChild(nullptr);
        break;
    }
  }
  ASSERT_TRUE(WaitForWorkerIdle(WorkerTimeoutMs));
  ASSERT_TRUE(tree.CheckStructure());
  ExpectCacheTrue(tree);
  // Every position finds the node a walk finds.
  uint32_t top = 0;
  int checked = 0;
  for (PVirtualNode n = tree.GetFirstVisible(); n; n = tree.GetNextVisible(n)) {
    if (random() % 97 == 0) {
      int rowTop = -1;
      ASSERT_EQ(n, tree.GetNodeAt(0, static_cast<int>(top + n->NodeHeight - 1) + tree.OffsetY(), &rowTop));
      EXPECT_EQ(static_cast<int>(top), rowTop);
      ++checked;
    }
    top += n->NodeHeight;
  }
  EXPECT_GT(checked, 100);
}

}  // namespace

namespace {

TEST(PositionCache, LookUpsInsideAnUpdateBlockNeverUseEntriesOfFreedNodes) {
  TBaseVirtualTree tree;
  tree.SetRootNodeCount(10000);
  ASSERT_TRUE(WaitForWorkerIdle(WorkerTimeoutMs));
  ASSERT_FALSE(tree.PositionCache().Entries().empty());
  // The first entry's node goes; a look-up past it follows.
  PVirtualNode first = tree.PositionCache().Entries()[0].Node;
  tree.BeginUpdate();
  tree.DeleteNode(first);
  EXPECT_TRUE(tree.PositionCache().Entries().empty());
  int top = 0;
  PVirtualNode n = tree.GetNodeAt(0, 18 * 2500 + 3, &top);
  ASSERT_NE(nullptr, n);
  EXPECT_EQ(2500u, n->Index);
  EXPECT_EQ(18 * 2500, top);
  tree.EndUpdate();
}

}  // namespace
