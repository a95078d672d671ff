// Hit tests, the exact order of events for clicks and keys, scrolling and
// the header's zones and clicks.

#include <gtest/gtest.h>

#include <QMimeData>
#include <QMouseEvent>
#include <map>

#include "VirtualStringTree.h"
#include "VTreeImages.h"
#include "uiImageList.h"
#include "vtTestSupport.h"

namespace {

class TreeInput : public ::testing::Test {
protected:
  TreeInput() {
    tree.SetFramed(false);
    tree.resize(200, 100);
    tree.SetNodeDataSize(sizeof(int));
    tree.OnInitNode = [](TBaseVirtualTree* t, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates&) {
      // Top-level nodes 1, 2, ...; children 11, 12, ... under node 1.
      NodeId(*t, node) = (parent ? NodeId(*t, parent) * 10 : 0) + static_cast<int>(node->Index) + 1;
    };
    tree.OnGetText = [](TBaseVirtualTree*, PVirtualNode, int, TVSTTextType, std::string& text) { text = "Text"; };
    auto name = [this](PVirtualNode n) { return n ? std::to_string(NodeId(tree, n)) : std::string("nil"); };
    tree.OnFocusChanging = [this, name](TBaseVirtualTree*, PVirtualNode o, PVirtualNode n, int, int, bool&) {
      log.Add("focusing:" + name(o) + ">" + name(n));
    };
    tree.OnFocusChanged = [this, name](TBaseVirtualTree*, PVirtualNode n, int) { log.Add("focused:" + name(n)); };
    tree.OnChange = [this, name](TBaseVirtualTree*, PVirtualNode n) { log.Add("change:" + name(n)); };
    tree.OnStructureChange = [this, name](TBaseVirtualTree*, PVirtualNode n) { log.Add("structure:" + name(n)); };
    tree.OnExpanding = [this, name](TBaseVirtualTree*, PVirtualNode n, bool&) { log.Add("expanding:" + name(n)); };
    tree.OnExpanded = [this, name](TBaseVirtualTree*, PVirtualNode n) { log.Add("expanded:" + name(n)); };
    tree.OnCollapsing = [this, name](TBaseVirtualTree*, PVirtualNode n, bool&) { log.Add("collapsing:" + name(n)); };
    tree.OnCollapsed = [this, name](TBaseVirtualTree*, PVirtualNode n) { log.Add("collapsed:" + name(n)); };
    tree.OnChecking = [this, name](TBaseVirtualTree*, PVirtualNode n, TCheckState&, bool&) { log.Add("checking:" + name(n)); };
    tree.OnChecked = [this, name](TBaseVirtualTree*, PVirtualNode n) { log.Add("checked:" + name(n)); };
    tree.SetRootNodeCount(4);
    tree.SetChildCount(tree.RootNode()->FirstChild, 2);
    tree.ValidateChildren(nullptr, true);
    log.Clear();
  }
  int RowY(int row) const { return row * 18 + 9; }
  PVirtualNode Top(int i) {
    PVirtualNode n = tree.RootNode()->FirstChild;
    while (i-- > 0) n = n->NextSibling;
    return n;
  }

  TEventLog log;
  TVirtualStringTree tree;
};

TEST_F(TreeInput, HitTestZonesOfARow) {
  // Level 1 (root lines on): indent 0..17, button at 5..13, item from 18,
  // text from 22.
  THitInfo hit = tree.GetHitTestInfoAt(9, RowY(0));
  EXPECT_EQ(Top(0), hit.HitNode);
  EXPECT_EQ(hiOnItemButton, hit.HitPositions);
  hit = tree.GetHitTestInfoAt(2, RowY(0));
  EXPECT_TRUE(hit.HitPositions & hiOnItemIndent);
  hit = tree.GetHitTestInfoAt(24, RowY(1));
  EXPECT_EQ(Top(1), hit.HitNode);
  EXPECT_EQ(hiOnItem | hiOnItemLabel, hit.HitPositions);
  EXPECT_EQ(InvalidColumn, hit.HitColumn);
  hit = tree.GetHitTestInfoAt(190, RowY(1));
  EXPECT_TRUE(hit.HitPositions & hiOnItemRight);
  hit = tree.GetHitTestInfoAt(50, RowY(6));
  EXPECT_EQ(nullptr, hit.HitNode);
  EXPECT_TRUE(hit.HitPositions & hiNowhere);
  hit = tree.GetHitTestInfoAt(-3, 120);
  EXPECT_TRUE(hit.HitPositions & hiToLeft);
  EXPECT_TRUE(hit.HitPositions & hiBelow);
  // A check box comes first in the item.
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voCheckSupport));
  Top(1)->CheckType = ctCheckBox;
  hit = tree.GetHitTestInfoAt(24, RowY(1));
  EXPECT_EQ(hiOnItem | hiOnItemCheckbox, hit.HitPositions);
  hit = tree.GetHitTestInfoAt(18 + 4 + 18 + 2, RowY(1));
  EXPECT_EQ(hiOnItem | hiOnItemLabel, hit.HitPositions);
}

TEST_F(TreeInput, ClickOrderFocusThenSelection) {
  tree.HandleMouseDown(30, RowY(1), Qt::LeftButton, Qt::NoModifier);
  tree.HandleMouseUp(30, RowY(1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ("focusing:nil>2 focused:2 change:2", log.Joined());
  log.Clear();
  tree.HandleMouseDown(30, RowY(2), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ("focusing:2>3 focused:3 change:nil change:3", log.Joined());
  EXPECT_EQ(1u, tree.SelectedCount());
  log.Clear();
  // Without multi-select, Ctrl selects just the clicked node.
  tree.HandleMouseDown(30, RowY(3), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ("focusing:3>4 focused:4 change:nil change:4", log.Joined());
  EXPECT_EQ(1u, tree.SelectedCount());
}

TEST_F(TreeInput, ClickOnAButtonTogglesOnlyAndCountsChildrenFirst) {
  int asked = 0;
  tree.OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode, uint32_t& count) {
    ++asked;
    count = 3;
  };
  Top(3)->States |= nsHasChildren;
  tree.HandleMouseDown(9, RowY(3), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(1, asked);
  EXPECT_EQ("expanding:4 structure:4 expanded:4", log.Joined());
  EXPECT_EQ(3u, Top(3)->ChildCount);
  EXPECT_EQ(nullptr, tree.FocusedNode());
}

TEST_F(TreeInput, MultiSelectWithCtrlAndShift) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voMultiSelect));
  tree.HandleMouseDown(30, RowY(0), Qt::LeftButton, Qt::NoModifier);
  tree.HandleMouseDown(30, RowY(2), Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(3u, tree.SelectedCount());  // rows 0 to 2: the first node is collapsed
  tree.HandleMouseDown(30, RowY(1), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_FALSE(tree.Selected(Top(1)));
  EXPECT_EQ(2u, tree.SelectedCount());
}

TEST_F(TreeInput, KeysMoveFocusAndSelection) {
  tree.HandleKeyDown(Qt::Key_Down, Qt::NoModifier);
  EXPECT_EQ("focusing:nil>1 focused:1 change:1", log.Joined());
  log.Clear();
  tree.HandleKeyDown(Qt::Key_Right, Qt::NoModifier);
  EXPECT_EQ("expanding:1 expanded:1", log.Joined());
  log.Clear();
  tree.HandleKeyDown(Qt::Key_Down, Qt::NoModifier);
  EXPECT_EQ("change:nil focusing:1>11 focused:11 change:11", log.Joined());
  log.Clear();
  tree.HandleKeyDown(Qt::Key_Left, Qt::NoModifier);
  EXPECT_EQ("change:nil focusing:11>1 focused:1 change:1", log.Joined());
  log.Clear();
  tree.HandleKeyDown(Qt::Key_Left, Qt::NoModifier);
  EXPECT_EQ("collapsing:1 collapsed:1", log.Joined());
  log.Clear();
  // Left on a collapsed top-level node: no parent to go to.
  tree.HandleKeyDown(Qt::Key_Left, Qt::NoModifier);
  EXPECT_EQ("", log.Joined());
  EXPECT_EQ(Top(0), tree.FocusedNode());
  log.Clear();
  tree.HandleKeyDown(Qt::Key_End, Qt::NoModifier);
  EXPECT_EQ(Top(3), tree.FocusedNode());
  tree.HandleKeyDown(Qt::Key_Home, Qt::NoModifier);
  EXPECT_EQ(Top(0), tree.FocusedNode());
  tree.HandleKeyDown(Qt::Key_PageDown, Qt::NoModifier);
  EXPECT_EQ(Top(3), tree.FocusedNode());  // the last page ends at the last node
}

TEST_F(TreeInput, HomeOnAnEmptyTreeDoesNothing) {
  tree.Clear();
  log.Clear();
  EXPECT_TRUE(tree.HandleKeyDown(Qt::Key_Home, Qt::NoModifier));
  EXPECT_TRUE(tree.HandleKeyDown(Qt::Key_PageDown, Qt::NoModifier));
  EXPECT_EQ(nullptr, tree.FocusedNode());
}

TEST_F(TreeInput, F1AsksTheFocusedNodeThenItsAncestorsThenTheControls) {
  std::vector<int> shown;
  SetHelpRunner([&](int context) { shown.push_back(context); });
  QWidget form;
  tree.setParent(&form);
  SetWidgetHelpContext(&form, 300);
  tree.SetFocusedNode(Top(0)->FirstChild->NextSibling);  // node 12
  // Unassigned: F1 is not the tree's key.
  EXPECT_FALSE(tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier));
  EXPECT_TRUE(shown.empty());

  std::map<int, int> contexts;  // node id -> its context
  std::vector<std::string> asked;
  tree.OnGetHelpContext = [&](TBaseVirtualTree*, PVirtualNode n, int column, int& context) {
    asked.push_back(std::to_string(NodeId(tree, n)) + "/" + std::to_string(column));
    context = contexts[NodeId(tree, n)];
  };
  contexts[1] = 100;
  EXPECT_TRUE(tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier));
  EXPECT_EQ((std::vector<std::string>{"12/-2", "1/-2"}), asked);
  contexts[12] = 120;
  tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier);
  contexts.clear();
  tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier);  // the form's, through the tree
  SetWidgetHelpContext(&tree, 200);
  tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier);
  EXPECT_EQ((std::vector<int>{100, 120, 300, 200}), shown);
  SetWidgetHelpContext(&tree, 0);
  SetWidgetHelpContext(&form, 0);
  tree.HandleKeyDown(Qt::Key_F1, Qt::NoModifier);  // no context anywhere: nothing shown
  EXPECT_EQ(4u, shown.size());
  tree.setParent(nullptr);
  SetHelpRunner({});
}

TEST_F(TreeInput, SpaceAndClicksAdvanceCheckStates) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voCheckSupport));
  Top(1)->CheckType = ctCheckBox;
  tree.HandleMouseDown(24, RowY(1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ("", log.Joined());
  tree.HandleMouseUp(24, RowY(1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ("checking:2 checked:2", log.Joined());
  EXPECT_EQ(csCheckedNormal, Top(1)->CheckState);
  // Released elsewhere: nothing changes.
  tree.HandleMouseDown(24, RowY(1), Qt::LeftButton, Qt::NoModifier);
  tree.HandleMouseUp(100, RowY(2), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(csCheckedNormal, Top(1)->CheckState);
  tree.SetFocusedNode(Top(1));
  tree.HandleKeyDown(Qt::Key_Space, Qt::NoModifier);
  tree.HandleKeyUp(Qt::Key_Space, Qt::NoModifier);
  EXPECT_EQ(csUncheckedNormal, Top(1)->CheckState);
}

TEST_F(TreeInput, UpdateBlocksDeferStructureThenChange) {
  tree.BeginUpdate();
  tree.AddChild(nullptr);
  tree.SetSelected(Top(2), true);
  tree.DeleteNode(Top(3));
  EXPECT_EQ("", log.Joined());
  tree.EndUpdate();
  EXPECT_EQ("structure:nil change:nil", log.Joined());
}

TEST_F(TreeInput, NodeAtPositionFollowsScrolling) {
  tree.SetRootNodeCount(100);
  tree.show();
  ASSERT_TRUE(PumpUntil([&] { return tree.isVisible(); }));
  tree.SetOffsetY(-180);
  int top = 0;
  PVirtualNode n = tree.GetNodeAt(0, 5, &top);
  EXPECT_EQ(10u, n->Index);
  EXPECT_EQ(0, top);
  tree.ScrollIntoView(Top(50), true);
  EXPECT_EQ(Top(50), tree.GetNodeAt(0, tree.ClientHeight() / 2));
  // Offsets stay within the content.
  tree.SetOffsetY(-1000000);
  EXPECT_EQ(tree.ClientHeight() - static_cast<int>(tree.RangeY()), tree.OffsetY());
  tree.SetOffsetY(50);
  EXPECT_EQ(0, tree.OffsetY());
}

TEST_F(TreeInput, FreedNodesLeaveHotAndDropAndAnchorReferences) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voHotTrack).Include(voMultiSelect));
  tree.HandleMouseMove(30, RowY(1), Qt::NoButton, Qt::NoModifier);
  EXPECT_EQ(Top(1), tree.HotNode());
  tree.HandleMouseDown(30, RowY(1), Qt::LeftButton, Qt::NoModifier);
  tree.HandleMouseUp(30, RowY(1), Qt::LeftButton, Qt::NoModifier);
  QMimeData data;
  tree.HandleDragOver(&data, TPoint{30, RowY(1)}, Qt::CopyAction, Qt::NoModifier);
  EXPECT_EQ(Top(1), tree.DropTargetNode());
  tree.BeginUpdate();
  tree.DeleteNode(Top(1));
  EXPECT_EQ(nullptr, tree.HotNode());
  EXPECT_EQ(nullptr, tree.DropTargetNode());
  EXPECT_EQ(nullptr, tree.FocusedNode());
  tree.EndUpdate();
  // The range anchor went too: Shift+click selects from the clicked node.
  tree.HandleMouseDown(30, RowY(2), Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(1u, tree.SelectedCount());
}

TEST_F(TreeInput, ARubberBandSelectsTheRowsItCoversAndScrollsNearTheEdge) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voMultiSelect).Include(voAutoScroll));
  // Rows 0 to 3; empty space from 72 down.
  tree.HandleMouseDown(150, 90, Qt::LeftButton, Qt::NoModifier);
  EXPECT_TRUE(tree.TreeStates().Contains(tsDrawSelPending));
  tree.HandleMouseMove(40, RowY(1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_TRUE(tree.TreeStates().Contains(tsDrawSelecting));
  EXPECT_EQ(3u, tree.SelectedCount());  // rows 1 to 3
  EXPECT_FALSE(tree.Selected(Top(0)));
  tree.HandleMouseUp(40, RowY(1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_FALSE(tree.TreeStates().Contains(tsDrawSelecting));

  // A long tree: holding the band at the bottom edge scrolls after the
  // delay, then once per interval.
  tree.SetRootNodeCount(100);
  tree.show();
  ASSERT_TRUE(PumpUntil([&] { return tree.isVisible(); }));
  // Right of a text counts as empty space too.
  tree.HandleMouseDown(150, 10, Qt::LeftButton, Qt::NoModifier);
  tree.HandleMouseMove(150, tree.ClientHeight() - 2, Qt::LeftButton, Qt::NoModifier);
  ASSERT_TRUE(tree.AutoScrollTimer().Enabled());
  EXPECT_EQ(tree.AutoScrollDelay(), tree.AutoScrollTimer().Interval());
  const int before = tree.OffsetY();
  tree.AutoScrollTimer().Trigger();
  EXPECT_EQ(before - static_cast<int>(tree.DefaultNodeHeight()), tree.OffsetY());
  EXPECT_EQ(tree.AutoScrollInterval(), tree.AutoScrollTimer().Interval());
  tree.HandleMouseUp(150, tree.ClientHeight() - 2, Qt::LeftButton, Qt::NoModifier);
  EXPECT_FALSE(tree.AutoScrollTimer().Enabled());
}

// The header ------------------------------------------------------------------

class HeaderInput : public ::testing::Test {
protected:
  HeaderInput() {
    tree.SetFramed(false);
    tree.resize(300, 100);
    for (int w : {100, 80, 60}) tree.Header().Columns().Add()->SetWidth(w);
    TVTHeaderOptions options = tree.Header().Options();
    tree.Header().SetOptions(options.Include(hoVisible));
    tree.OnHeaderClick = [this](TBaseVirtualTree*, int column) { clicks.push_back(column); };
    tree.OnColumnResize = [this](TBaseVirtualTree*, int column) { resized.push_back(column); };
  }
  TVirtualTreeColumns& Columns() { return tree.Header().Columns(); }
  bool Send(QEvent::Type type, int x, int y = 10) {
    QMouseEvent event(type, QPointF(x, y), QPointF(x, y), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    return tree.Header().HandleEvent(&event);
  }
  TVirtualStringTree tree;
  std::vector<int> clicks;
  std::vector<int> resized;
};

TEST_F(HeaderInput, ColumnWidthsAreClamped) {
  Columns().Items(0).SetWidth(20000);
  EXPECT_EQ(ColumnMaxWidth, Columns().Items(0).Width());
  Columns().Items(1).SetMinWidth(-5);
  EXPECT_EQ(0, Columns().Items(1).MinWidth());
  Columns().Items(1).SetMinWidth(90);
  EXPECT_EQ(90, Columns().Items(1).Width());
  EXPECT_EQ((std::vector<int>{0, 1}), resized);
  EXPECT_EQ("Column 2", Columns().Items(2).DisplayName());
}

TEST_F(HeaderInput, HitTestAndDividerZones) {
  EXPECT_EQ(0, Columns().GetColumnAt(0));
  EXPECT_EQ(1, Columns().GetColumnAt(100));
  EXPECT_EQ(-2, Columns().GetColumnAt(240));
  EXPECT_EQ(-2, Columns().GetColumnAt(-1));
  tree.SetOffsetX(0);
  // Divider zone of column 0: right edge 100, from 98 to 104.
  EXPECT_EQ(-2, tree.Header().DividerAt(97));
  EXPECT_EQ(0, tree.Header().DividerAt(98));
  EXPECT_EQ(0, tree.Header().DividerAt(104));
  EXPECT_EQ(-2, tree.Header().DividerAt(105));
  // An invisible column takes no room and is skipped.
  TVTColumnOptions hidden = Columns().Items(1).Options();
  Columns().Items(1).SetOptions(hidden.Exclude(coVisible));
  EXPECT_EQ(2, Columns().GetColumnAt(120));
  EXPECT_EQ(160, Columns().TotalWidth());
  EXPECT_EQ(2, Columns().GetNextVisibleColumn(0));
}

TEST_F(HeaderInput, HoverFollowsTheMouseAndLeavingClearsIt) {
  Send(QEvent::MouseMove, 120);
  EXPECT_EQ(1, Columns().HoverColumn());
  Send(QEvent::MouseMove, 20);
  EXPECT_EQ(0, Columns().HoverColumn());
  QEvent leave(QEvent::Leave);
  tree.Header().HandleEvent(&leave);
  EXPECT_EQ(-2, Columns().HoverColumn());
}

TEST_F(HeaderInput, ClicksAreReportedOnlyWhenReleasedOverTheSameColumn) {
  Send(QEvent::MouseButtonPress, 40);
  Send(QEvent::MouseButtonRelease, 41);
  EXPECT_EQ(std::vector<int>{0}, clicks);
  Send(QEvent::MouseButtonPress, 40);
  Send(QEvent::MouseButtonRelease, 120);
  EXPECT_EQ(std::vector<int>{0}, clicks);
}

TEST_F(HeaderInput, DraggingADividerResizesAndDraggingAColumnReorders) {
  Send(QEvent::MouseButtonPress, 100);
  Send(QEvent::MouseMove, 130);
  Send(QEvent::MouseButtonRelease, 130);
  EXPECT_EQ(130, Columns().Items(0).Width());
  EXPECT_EQ(std::vector<int>{0}, resized);
  // Column 2 (at 210..270) dropped on the left half of column 0.
  Send(QEvent::MouseButtonPress, 240);
  Send(QEvent::MouseMove, 225);
  Send(QEvent::MouseMove, 20);
  Send(QEvent::MouseButtonRelease, 20);
  EXPECT_EQ(0, Columns().Items(2).Position());
  EXPECT_EQ(1, Columns().Items(0).Position());
  EXPECT_TRUE(clicks.empty());
}

TEST_F(HeaderInput, ADraggedColumnsPictureFollowsTheMouse) {
  Columns().Items(0).SetText("A");
  Columns().Items(2).SetText("Gamma");
  auto darkIn = [&](const TRect& r) {
    const QImage header = tree.HeaderArea()->grab().toImage();
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (qGray(header.pixel(x, y)) < 128) return true;
    return false;
  };
  // Where "Gamma" lands when column 2 (180..240), held 20 pixels from its
  // left, is dragged to x 40: over column 0, right of its caption.
  const TRect caption = Rect(20 + 6, 4, 20 + 40, 20);
  EXPECT_FALSE(darkIn(caption));
  Send(QEvent::MouseButtonPress, 200);
  Send(QEvent::MouseMove, 185);
  ASSERT_NE(nullptr, tree.Header().DragImage());
  EXPECT_EQ(60, tree.Header().DragImage()->Width());
  EXPECT_EQ(tree.Header().Height(), tree.Header().DragImage()->Height());
  Send(QEvent::MouseMove, 40);
  EXPECT_EQ(20, tree.Header().DragImageLeft());
  EXPECT_TRUE(darkIn(caption));
  Send(QEvent::MouseButtonRelease, 40);
  EXPECT_EQ(nullptr, tree.Header().DragImage());
  EXPECT_EQ(0, Columns().Items(2).Position());

  // Escape takes the picture away and moves nothing.
  Send(QEvent::MouseButtonPress, 150);
  Send(QEvent::MouseMove, 250);
  ASSERT_NE(nullptr, tree.Header().DragImage());
  tree.HandleKeyDown(Qt::Key_Escape, Qt::NoModifier);
  EXPECT_EQ(nullptr, tree.Header().DragImage());
  Send(QEvent::MouseButtonRelease, 250);
  EXPECT_EQ(2, Columns().Items(1).Position());
}

TEST_F(HeaderInput, AutoResizeKeepsTheWidthsSummedToTheClientWidth) {
  TVTHeaderOptions options = tree.Header().Options();
  tree.Header().SetAutoSizeIndex(2);
  tree.Header().SetOptions(options.Include(hoAutoResize));
  EXPECT_EQ(tree.ClientWidth(), Columns().TotalWidth());
  tree.resize(420, 100);
  EXPECT_EQ(tree.ClientWidth(), Columns().TotalWidth());
  // Clamped to the column's own limits.
  Columns().Items(2).SetMaxWidth(100);
  tree.resize(600, 100);
  EXPECT_EQ(100, Columns().Items(2).Width());
}

}  // namespace
