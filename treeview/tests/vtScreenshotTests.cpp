// A whole control rendered offscreen: a 50-node tree with two columns,
// checked on pixels, the image kept for a person to look at.

#include <gtest/gtest.h>

#include <QDir>

#include "VirtualStringTree.h"
#include "vtTestSupport.h"

namespace {

TEST(Screenshot, FiftyNodesInTwoColumns) {
  TVirtualStringTree tree;
  tree.resize(360, 700);
  tree.Header().Columns().Add()->SetText("Name");
  tree.Header().Columns().Items(0).SetWidth(200);
  tree.Header().Columns().Add()->SetText("Value");
  tree.Header().Columns().Items(1).SetWidth(120);
  TVTHeaderOptions header = tree.Header().Options();
  tree.Header().SetOptions(header.Include(hoVisible));
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voCheckSupport).Include(voShowVertGridLines).Include(voShowHorzGridLines));
  tree.OnInitNode = [](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& init) {
    if (!parent) {
      init.Include(ivsHasChildren);
      if (node->Index % 3 == 0) init.Include(ivsExpanded);
    } else
      node->CheckType = ctCheckBox;
  };
  tree.OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = 4; };
  tree.OnGetText = [](TBaseVirtualTree*, PVirtualNode n, int column, TVSTTextType, std::string& text) {
    const bool top = IsRootNode(n->Parent);
    if (column == 0)
      text = top ? "Group " + std::to_string(n->Index + 1) : "Entry " + std::to_string(n->Index + 1);
    else
      text = top ? "" : std::to_string((n->Index + 1) * 125) + " pages";
  };
  tree.SetRootNodeCount(10);  // 10 groups of 4 entries: 50 nodes
  tree.ValidateChildren(nullptr, true);
  ASSERT_EQ(51u, tree.RootNode()->TotalCount);
  PVirtualNode first = tree.RootNode()->FirstChild;
  tree.SetCheckState(first->FirstChild, csCheckedNormal);
  tree.SetFocusedNode(first->FirstChild->NextSibling);
  tree.SetSelected(first->FirstChild->NextSibling, true);
  tree.FocusChanged(true);

  const QImage image = tree.RenderToImage();
  QDir().mkpath("artefacts");
  ASSERT_TRUE(image.save("artefacts/treeview-screenshot.png"));

  const int frame = TControlHost::FrameWidth, headerHeight = tree.Header().Height();
  const int top = frame + headerHeight;
  // The header's face, and the caption row's own edge at the first
  // column's right end.
  EXPECT_EQ(Rgb(clBtnFace), image.pixel(frame + 100, frame + 3));
  EXPECT_EQ(Rgb(cl3DDkShadow), image.pixel(frame + 199, frame + 10));
  // The vertical grid line after column 0 through the rows.
  EXPECT_EQ(Rgb(clBtnFace), image.pixel(frame + 199, top + 30));
  // Row 2 (the second entry of group 1) is selected while focused.
  EXPECT_EQ(Rgb(clHighlight), image.pixel(frame + 18 * 2 + 4 + 18 + 4, top + 2 * 18 + 3));
  // Row 1's check box is checked: dark mark pixels in its box.
  bool mark = false;
  for (int y = top + 18 + 5; y < top + 18 + 14; ++y)
    for (int x = frame + 40 + 4; x < frame + 40 + 12; ++x) mark |= qGray(image.pixel(x, y)) < 60;
  EXPECT_TRUE(mark);
  // Texts in the second column of an entry row.
  bool text = false;
  for (int y = top + 18; y < top + 36; ++y)
    for (int x = frame + 204; x < frame + 260; ++x) text |= qGray(image.pixel(x, y)) < 96;
  EXPECT_TRUE(text);
  // Below the last row the window colour.
  EXPECT_EQ(Rgb(clWindow), image.pixel(frame + 100, image.height() - frame - 3));
}

}  // namespace
