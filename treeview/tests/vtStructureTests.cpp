// Node structure: counts, events, data, walks, update blocks, focus,
// selection and check states.

#include <gtest/gtest.h>

#include <thread>

#include "vtTestSupport.h"

namespace {

class VirtualTreeNodes : public ::testing::Test {
protected:
  VirtualTreeNodes() {
    tree.SetNodeDataSize(sizeof(int));
    tree.OnFreeNode = [this](TBaseVirtualTree*, PVirtualNode n) { log.Add("free" + std::to_string(NodeId(tree, n))); };
    tree.OnStructureChange = [this](TBaseVirtualTree*, PVirtualNode n) {
      log.Add(n ? "structure" + std::to_string(NodeId(tree, n)) : "structure-nil");
    };
    tree.OnChange = [this](TBaseVirtualTree*, PVirtualNode n) {
      log.Add(n ? "change" + std::to_string(NodeId(tree, n)) : "change-nil");
    };
  }
  // Numbers the top-level nodes 1, 2, ... and initialises them.
  void NumberTopLevel() {
    int id = 1;
    for (PVirtualNode n = tree.RootNode()->FirstChild; n; n = n->NextSibling) {
      NodeId(tree, n) = id++;
      tree.InitNode(n);
    }
  }
  TEventLog log;  // before the tree: its destructor still reports frees
  TBaseVirtualTree tree;
};

TEST_F(VirtualTreeNodes, RootCountChangesFreeOnlyInitialisedNodesInReverse) {
  tree.SetRootNodeCount(10);
  NumberTopLevel();
  log.Clear();
  tree.SetRootNodeCount(4);
  EXPECT_EQ("free10 free9 free8 free7 free6 free5 structure-nil", log.Joined());
  tree.SetRootNodeCount(10);
  uint32_t index = 4;
  for (PVirtualNode n = tree.RootNode()->FirstChild->NextSibling->NextSibling->NextSibling->NextSibling; n;
       n = n->NextSibling) {
    EXPECT_EQ(index++, n->Index);
    EXPECT_EQ(0, n->States & nsInitialized);
  }
  log.Clear();
  tree.SetRootNodeCount(0);
  // Only the first four were ever initialised.
  EXPECT_EQ("free4 free3 free2 free1 structure-nil", log.Joined());
  EXPECT_TRUE(tree.CheckStructure());
}

TEST_F(VirtualTreeNodes, AddChildEventsOutsideAndInsideUpdateBlocks) {
  PVirtualNode first = tree.AddChild(nullptr);
  EXPECT_EQ(0u, first->Index);
  EXPECT_EQ(1u, tree.RootNodeCount());
  EXPECT_EQ("structure-nil", log.Joined());
  log.Clear();
  tree.BeginUpdate();
  for (int i = 0; i < 10; ++i) tree.AddChild(nullptr);
  EXPECT_EQ("", log.Joined());
  tree.EndUpdate();
  EXPECT_EQ("structure-nil", log.Joined());
}

TEST_F(VirtualTreeNodes, NodeDataSitsAfterTheRecordAndSurvivesASizeChange) {
  TBaseVirtualTree plain;
  plain.SetRootNodeCount(3);
  EXPECT_EQ(nullptr, plain.GetNodeData(plain.RootNode()->FirstChild));
  plain.SetNodeDataSize(8);
  EXPECT_EQ(3u, plain.RootNodeCount());
  PVirtualNode n = plain.RootNode()->FirstChild;
  EXPECT_EQ(reinterpret_cast<uint8_t*>(n) + sizeof(TVirtualNode), plain.GetNodeData(n));
  EXPECT_EQ(nullptr, plain.GetNodeData(plain.RootNode()));
  EXPECT_EQ(0, n->States & nsInitialized);

  TBaseVirtualTree asked;
  int asks = 0;
  asked.OnGetNodeDataSize = [&](TBaseVirtualTree*, int& size) {
    ++asks;
    size = 12;
  };
  // Unknown (-1) sizes are asked for once, when the next node is made.
  asked.SetNodeDataSize(-5);
  asked.SetRootNodeCount(2);
  EXPECT_NE(nullptr, asked.GetNodeData(asked.RootNode()->FirstChild));
  EXPECT_EQ(1, asks);
  EXPECT_EQ(12, asked.NodeDataSize());
}

TEST_F(VirtualTreeNodes, AbsoluteIndexCountsCollapsedBranches) {
  tree.SetRootNodeCount(3);
  PVirtualNode a = tree.RootNode()->FirstChild;
  tree.SetChildCount(a, 2);
  tree.SetChildCount(a->FirstChild, 2);
  PVirtualNode c = a->NextSibling->NextSibling;
  tree.SetChildCount(c, 1);
  // TotalCounts 5 and 1 before the third node, plus one for the parent.
  EXPECT_EQ(7u, tree.AbsoluteIndex(c->FirstChild));
  EXPECT_EQ(5u, a->TotalCount);
  EXPECT_EQ(0u, tree.GetNodeLevel(a));
  EXPECT_EQ(2u, tree.GetNodeLevel(a->FirstChild->FirstChild));
  EXPECT_TRUE(tree.HasAsParent(a->FirstChild->FirstChild, a));
  EXPECT_GT(tree.CompareNodePositions(a->FirstChild, a), 0);
  EXPECT_LT(tree.CompareNodePositions(a->FirstChild->LastChild, c->FirstChild), 0);
  EXPECT_EQ(a->LastChild, tree.GetLast(a));
  EXPECT_EQ(c->FirstChild, tree.GetLast(nullptr));
}

TEST_F(VirtualTreeNodes, DeletingTheFocusedNodeClearsItWithoutFocusEvents) {
  tree.SetRootNodeCount(3);
  int focusEvents = 0;
  tree.OnFocusChanged = [&](TBaseVirtualTree*, PVirtualNode, int) { ++focusEvents; };
  tree.SetFocusedNode(tree.RootNode()->FirstChild);
  EXPECT_EQ(1, focusEvents);
  tree.DeleteNode(tree.FocusedNode());
  EXPECT_EQ(nullptr, tree.FocusedNode());
  EXPECT_EQ(1, focusEvents);
}

TEST_F(VirtualTreeNodes, FreedNodesLeaveSelectionAlsoInsideUpdateBlocks) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voMultiSelect));
  tree.SetRootNodeCount(4);
  PVirtualNode a = tree.RootNode()->FirstChild;
  tree.SetChildCount(a, 3);
  tree.SetSelected(a->FirstChild, true);
  tree.SetSelected(a->LastChild, true);
  tree.SetSelected(a->NextSibling, true);
  tree.SetFocusedNode(a->LastChild);
  tree.BeginUpdate();
  tree.DeleteNode(a);
  EXPECT_EQ(1u, tree.SelectedCount());
  EXPECT_EQ(nullptr, tree.FocusedNode());
  tree.EndUpdate();
  EXPECT_TRUE(tree.CheckStructure());
  EXPECT_EQ(3u, tree.RootNodeCount());
  EXPECT_EQ(3u, tree.RootNode()->TotalCount - 1);
}

TEST_F(VirtualTreeNodes, DeletingChildrenReportsOnceAfterTheChainIsConsistent) {
  tree.SetRootNodeCount(2);
  PVirtualNode a = tree.RootNode()->FirstChild;
  tree.SetChildCount(a, 3);
  tree.ToggleNode(a);
  for (PVirtualNode c = a->FirstChild; c; c = c->NextSibling) tree.InitNode(c);
  tree.SetChildCount(a->FirstChild, 2);
  tree.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { EXPECT_TRUE(tree.CheckStructure()); };
  log.Clear();
  tree.DeleteChildren(a);
  ASSERT_EQ(1u, log.Lines.size());
  EXPECT_EQ("structure" + std::to_string(NodeId(tree, a)), log.Joined());
  EXPECT_EQ(1u, a->TotalCount);
  EXPECT_EQ(3u, tree.RootNode()->TotalCount);
  EXPECT_EQ(2u, tree.VisibleCount());
}

TEST_F(VirtualTreeNodes, SelectionChangesWithADelayFireOnceForTheLastNode) {
  tree.SetRootNodeCount(5);
  NumberTopLevel();
  tree.SetChangeDelay(200);
  log.Clear();
  tree.SetSelected(tree.RootNode()->FirstChild, true);
  tree.SetSelected(tree.RootNode()->FirstChild->NextSibling, true);
  tree.SetSelected(tree.RootNode()->LastChild, true);
  EXPECT_EQ("", log.Joined());
  // Each change restarted the delay; its end reports the last node once.
  ASSERT_TRUE(PumpUntil([&] { return !log.Lines.empty(); }));
  EXPECT_EQ("change5", log.Joined());
  EXPECT_EQ(1u, tree.SelectedCount());
}

TEST_F(VirtualTreeNodes, ADelayedChangeNeverReportsAFreedNode) {
  tree.SetRootNodeCount(3);
  NumberTopLevel();
  tree.SetChangeDelay(30);
  log.Clear();
  PVirtualNode last = tree.RootNode()->LastChild;
  tree.SetSelected(last, true);
  tree.DeleteNode(last);
  ASSERT_TRUE(PumpUntil([&] { return log.Lines.size() >= 2; }));
  EXPECT_EQ("free3", log.Lines[0]);
  for (const std::string& line : log.Lines) EXPECT_EQ(std::string::npos, line.find("change3")) << line;
}

TEST_F(VirtualTreeNodes, FullExpandAndCollapseStayInTheirBranch) {
  tree.SetRootNodeCount(2);
  PVirtualNode a = tree.RootNode()->FirstChild, b = a->NextSibling;
  for (PVirtualNode top : {a, b}) {
    tree.SetChildCount(top, 2);
    tree.SetChildCount(top->FirstChild, 2);
  }
  tree.FullExpand(a);
  EXPECT_TRUE(a->States & nsExpanded);
  EXPECT_TRUE(a->FirstChild->States & nsExpanded);
  EXPECT_FALSE(b->States & nsExpanded);
  tree.FullExpand();
  EXPECT_EQ(10u, tree.VisibleCount());
  tree.FullCollapse(a);
  EXPECT_FALSE(a->States & nsExpanded);
  EXPECT_FALSE(a->FirstChild->States & nsExpanded);
  EXPECT_TRUE(b->States & nsExpanded);
  EXPECT_TRUE(b->FirstChild->States & nsExpanded);
  EXPECT_EQ(6u, tree.VisibleCount());
  tree.FullCollapse();
  EXPECT_EQ(2u, tree.VisibleCount());
  EXPECT_TRUE(tree.CheckStructure());
}

TEST_F(VirtualTreeNodes, TriStateTrackingAndDisabledNodes) {
  tree.SetRootNodeCount(1);
  PVirtualNode parent = tree.RootNode()->FirstChild;
  tree.SetChildCount(parent, 3);
  parent->CheckType = ctTriStateCheckBox;
  for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) c->CheckType = ctCheckBox;
  tree.SetCheckState(parent->FirstChild, csCheckedNormal);
  EXPECT_EQ(csMixedNormal, parent->CheckState);
  tree.SetCheckState(parent->FirstChild->NextSibling, csCheckedNormal);
  tree.SetCheckState(parent->LastChild, csCheckedNormal);
  EXPECT_EQ(csCheckedNormal, parent->CheckState);
  tree.SetCheckState(parent->FirstChild, csUncheckedNormal);
  EXPECT_EQ(csMixedNormal, parent->CheckState);
  tree.SetCheckState(parent, csUncheckedNormal);
  for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) EXPECT_EQ(csUncheckedNormal, c->CheckState);
  parent->LastChild->States |= nsDisabled;
  tree.SetCheckState(parent->LastChild, csCheckedNormal);
  EXPECT_EQ(csUncheckedNormal, parent->LastChild->CheckState);
  // A check box takes only checked or unchecked; the handler may refuse.
  tree.OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState& state, bool& allowed) {
    allowed = state != csMixedNormal;
  };
  tree.SetCheckState(parent->FirstChild, csMixedNormal);
  EXPECT_EQ(csUncheckedNormal, parent->FirstChild->CheckState);
  EXPECT_EQ(1, tree.GetCheckImage(parent->FirstChild));
  EXPECT_EQ(3, tree.GetCheckImage(parent->LastChild));
}

TEST_F(VirtualTreeNodes, RadioButtonsUncheckTheirSiblings) {
  tree.SetRootNodeCount(3);
  for (PVirtualNode c = tree.RootNode()->FirstChild; c; c = c->NextSibling) c->CheckType = ctRadioButton;
  tree.SetCheckState(tree.RootNode()->FirstChild, csCheckedNormal);
  tree.SetCheckState(tree.RootNode()->LastChild, csMixedNormal);
  EXPECT_EQ(csUncheckedNormal, tree.RootNode()->FirstChild->CheckState);
  EXPECT_EQ(csCheckedNormal, tree.RootNode()->LastChild->CheckState);
}

TEST_F(VirtualTreeNodes, LazyInitialisationThroughWalksAndExpansion) {
  tree.OnInitNode = [&](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& init) {
    log.Add(parent ? "init-child" : "init-top");
    if (!parent) init.Include(ivsHasChildren);
  };
  tree.OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode, uint32_t& count) {
    log.Add("children");
    count = 2;
  };
  tree.SetRootNodeCount(1000000);
  EXPECT_EQ("structure-nil", log.Joined());
  log.Clear();
  PVirtualNode first = tree.GetFirst();
  EXPECT_EQ("init-top", log.Joined());
  log.Clear();
  PVirtualNode next = tree.GetNext(first);
  EXPECT_EQ("children structure0 init-child", log.Joined());
  EXPECT_EQ(first->FirstChild, next);
  tree.ToggleNode(first);
  EXPECT_EQ(1000002u, tree.VisibleCount());
  EXPECT_EQ(1000003u, tree.RootNode()->TotalCount);
}

TEST_F(VirtualTreeNodes, CallsFromOtherThreadsRunOnTheGuiThreadWhileTreeAndNodeLive) {
  auto owned = std::make_unique<TBaseVirtualTree>();
  owned->SetRootNodeCount(2);
  PVirtualNode node = owned->RootNode()->FirstChild;
  EXPECT_EQ(owned.get(), TBaseVirtualTree::TreeFromNode(node));
  TGuiRef<TBaseVirtualTree> ref = owned->Ref();
  auto deleteNode = [node](TBaseVirtualTree& t) {
    if (t.ContainsNode(node)) t.DeleteNode(node);
  };
  std::thread worker([&] {
    ref.Post(deleteNode);
    ref.Post(deleteNode);  // the node is gone by then: skipped
  });
  worker.join();
  EXPECT_EQ(2u, owned->RootNodeCount());
  ASSERT_TRUE(PumpUntil([&] { return owned->RootNodeCount() == 1; }));
  std::thread late([&] { ref.Post([](TBaseVirtualTree& t) { t.Clear(); }); });
  late.join();
  owned.reset();  // the posted call finds no tree and does nothing
  QCoreApplication::processEvents();
}

}  // namespace
