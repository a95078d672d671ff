// Hints: which text for which place, and hints cancelled by a deletion.

#include <gtest/gtest.h>

#include "VirtualStringTree.h"
#include "uiHint.h"
#include "vtTestSupport.h"

namespace {

class Hints : public ::testing::Test {
protected:
  Hints() {
    tree.SetFramed(false);
    tree.resize(120, 100);
    tree.SetShowHint(true);
    tree.SetHint("the tree");
    tree.OnGetText = [](TBaseVirtualTree*, PVirtualNode n, int, TVSTTextType, std::string& text) {
      text = n->Index == 0 ? "short" : "a text far too long for this narrow tree";
    };
    tree.OnGetHint = [](TBaseVirtualTree*, PVirtualNode n, int, TVSTTextType, std::string& text) {
      text = "hint " + std::to_string(n->Index);
    };
    tree.SetRootNodeCount(2);
    tree.show();
    PumpUntil([&] { return tree.isVisible(); });
  }
  TVirtualStringTree tree;
};

TEST_F(Hints, ModesChooseTheText) {
  std::string text;
  TRect r;
  ASSERT_TRUE(tree.GetHintAt(TPoint{30, 9}, text, r));
  EXPECT_EQ("the tree", text);  // hmDefault: the control's hint
  tree.SetHintMode(hmHint);
  ASSERT_TRUE(tree.GetHintAt(TPoint{30, 27}, text, r));
  EXPECT_EQ("hint 1", text);
  EXPECT_FALSE(tree.GetHintAt(TPoint{30, 80}, text, r));  // no node
  tree.SetHintMode(hmHintAndDefault);
  ASSERT_TRUE(tree.GetHintAt(TPoint{30, 80}, text, r));
  EXPECT_EQ("the tree", text);
}

TEST_F(Hints, TooltipsOnlyForCutOffTexts) {
  tree.SetHintMode(hmTooltip);
  std::string text;
  TRect r;
  EXPECT_FALSE(tree.GetHintAt(TPoint{30, 9}, text, r));
  ASSERT_TRUE(tree.GetHintAt(TPoint{30, 27}, text, r));
  EXPECT_EQ("a text far too long for this narrow tree", text);
  // Not over the text itself (left of it): nothing.
  EXPECT_FALSE(tree.GetHintAt(TPoint{2, 27}, text, r));
}

TEST_F(Hints, AHintWhoseNodeWentIsNotShown) {
  tree.SetHintMode(hmHint);
  tree.SetHintAnimation(hatFade);
  EXPECT_TRUE(tree.ShowHintAt(TPoint{30, 27}));
  ASSERT_NE(nullptr, tree.HintWindow());
  EXPECT_EQ(THintWindow::AnimationSteps - 1, tree.HintWindow()->Step());
  // A deletion posted by another thread lands while the hint animates.
  PVirtualNode node = tree.RootNode()->LastChild;
  TGuiRef<TBaseVirtualTree> ref = tree.Ref();
  ref.Post([node](TBaseVirtualTree& t) {
    if (t.ContainsNode(node)) t.DeleteNode(node);
  });
  tree.SetHintAnimation(hatSlide);
  EXPECT_FALSE(tree.ShowHintAt(TPoint{30, 9}));
  EXPECT_FALSE(tree.HintWindow()->isVisible());
  EXPECT_EQ(1u, tree.RootNodeCount());
}

}  // namespace
