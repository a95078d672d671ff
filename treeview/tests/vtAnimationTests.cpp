// The toggle animation, frame by frame: the pause between frames is
// replaced, so each frame is looked at while it is on screen.

#include <gtest/gtest.h>

#include "VirtualDrawTree.h"
#include "uiAnimSteps.h"
#include "vtTestSupport.h"

namespace {

// A 100 x 200 tree: a branch of ChildCount rows, then a green row.
class AnimatedToggle : public ::testing::Test {
protected:
  static constexpr int ChildCount = 5;
  static constexpr int Row = 18;

  AnimatedToggle() {
    tree.SetFramed(false);
    tree.resize(100, 200);
    tree.SetOptions(tree.Options() + TVirtualTreeOptions{voAnimatedToggle});
    tree.OnBeforeItemErase = [this](TBaseVirtualTree*, TCanvas&, PVirtualNode n, const TRect&, TColor& c,
                                    TItemEraseAction& action) {
      if (n == green) {
        c = clLime;
        action = eaColor;
      }
    };
    tree.SetRootNodeCount(2);
    branch = tree.RootNode()->FirstChild;
    green = branch->NextSibling;
    tree.SetChildCount(branch, ChildCount);
    tree.show();
    PumpUntil([&] { return tree.isVisible(); });
  }

  // The view as each frame showed it, with the pause asked for.
  std::vector<QImage> Frames(const std::function<void()>& Change) {
    std::vector<QImage> frames;
    TAnimationPauseOverride pause([&](int Ms, TAnimationPauseKind Kind) {
      EXPECT_EQ(ToggleStepPauseMs, Ms);
      EXPECT_EQ(apSleep, Kind);  // nothing may run amid the change
      frames.push_back(tree.Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
    });
    Change();
    return frames;
  }

  TVirtualDrawTree tree;
  PVirtualNode branch = nullptr;
  PVirtualNode green = nullptr;
};

TEST_F(AnimatedToggle, OpeningSlidesTheRowsBelowDownInSteps) {
  const std::vector<QImage> frames = Frames([&] { tree.ToggleNode(branch); });
  const int travel = ChildCount * Row;
  ASSERT_EQ(static_cast<size_t>((travel + ToggleAnimationStep - 1) / ToggleAnimationStep), frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const int shift = std::min(travel, static_cast<int>(i + 1) * ToggleAnimationStep);
    SCOPED_TRACE(shift);
    EXPECT_EQ(Rgb(clLime), frames[i].pixel(50, Row + shift + 1));
    EXPECT_EQ(Rgb(clLime), frames[i].pixel(50, 2 * Row + shift - 1));
    EXPECT_EQ(Rgb(clWindow), frames[i].pixel(50, Row + shift - 1));  // the gap
  }
  EXPECT_TRUE(branch->States & nsExpanded);
  const QImage after = tree.Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(Rgb(clLime), after.pixel(50, Row + travel + 1));
}

TEST_F(AnimatedToggle, ClosingSlidesThemUpAndUncoversTheBottom) {
  tree.SetExpanded(branch, true);  // animated too: its frames are not looked at
  const std::vector<QImage> frames = Frames([&] { tree.ToggleNode(branch); });
  const int travel = ChildCount * Row;
  const int greenTop = Row + travel;
  ASSERT_EQ(static_cast<size_t>((travel + ToggleAnimationStep - 1) / ToggleAnimationStep), frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const int shift = std::min(travel, static_cast<int>(i + 1) * ToggleAnimationStep);
    SCOPED_TRACE(shift);
    EXPECT_EQ(Rgb(clLime), frames[i].pixel(50, greenTop - shift + 1));
    EXPECT_EQ(Rgb(clWindow), frames[i].pixel(50, greenTop + Row - shift + 1));
    EXPECT_EQ(Rgb(clWindow), frames[i].pixel(50, 200 - 1));
  }
  EXPECT_FALSE(branch->States & nsExpanded);
}

TEST_F(AnimatedToggle, TravelIsBoundByTheViewAndSkippedWhereNothingShows) {
  tree.SetChildCount(branch, 50);  // 900 pixels of rows in a 200-pixel view
  EXPECT_EQ(static_cast<size_t>(200 / ToggleAnimationStep), Frames([&] { tree.ToggleNode(branch); }).size());
  EXPECT_EQ(static_cast<size_t>(200 / ToggleAnimationStep), Frames([&] { tree.ToggleNode(branch); }).size());

  // Without the option, inside an update block, or for a tree not shown:
  // the node toggles at once.
  tree.SetOptions(tree.Options() - TVirtualTreeOptions{voAnimatedToggle});
  EXPECT_TRUE(Frames([&] { tree.ToggleNode(branch); }).empty());
  tree.SetOptions(tree.Options() + TVirtualTreeOptions{voAnimatedToggle});
  EXPECT_TRUE(Frames([&] {
                tree.BeginUpdate();
                tree.ToggleNode(branch);
                tree.EndUpdate();
              }).empty());
  EXPECT_FALSE(branch->States & nsExpanded);
  tree.hide();
  EXPECT_TRUE(Frames([&] { tree.ToggleNode(branch); }).empty());
  EXPECT_TRUE(branch->States & nsExpanded);
  EXPECT_TRUE(tree.CheckStructure());
}

}  // namespace
