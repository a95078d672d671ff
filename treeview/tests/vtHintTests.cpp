// Hints: which text for which place, and hints cancelled by a deletion.

#include <gtest/gtest.h>
#include <QScreen>
#include <QGuiApplication>

#include "VirtualStringTree.h"
#include "uiAnimSteps.h"
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

TEST(HintWindow, FramesBlendTheHintIntoTheScreenBelow) {
  const QSize size(40, 32);
  QImage below(size, QImage::Format_RGB32), hint(size, QImage::Format_RGB32);
  below.fill(qRgb(200, 0, 0));
  hint.fill(qRgb(40, 160, 240));
  const int last = THintWindow::AnimationSteps - 1;
  // Fading: every pixel moves from the screen towards the hint by a
  // sixteenth a step.
  for (int step : {0, 7, last}) {
    const QRgb p = THintWindow::ComposeFrame(below, hint, hakFade, step).pixel(20, 16);
    const double share = (step + 1.0) / THintWindow::AnimationSteps;
    EXPECT_NEAR(200 + (40 - 200) * share, qRed(p), 1.5) << step;
    EXPECT_NEAR(160 * share, qGreen(p), 1.5) << step;
    EXPECT_NEAR(240 * share, qBlue(p), 1.5) << step;
  }
  // Sliding: the hint's lower part shows at the top, the screen below it.
  hint.setPixel(0, 31, qRgb(0, 255, 0));  // the hint's bottom left corner
  const QImage half = THintWindow::ComposeFrame(below, hint, hakSlide, 7);
  EXPECT_EQ(qRgb(0, 255, 0), half.pixel(0, 15));
  EXPECT_EQ(qRgb(40, 160, 240), half.pixel(20, 0));
  EXPECT_EQ(qRgb(200, 0, 0), half.pixel(20, 16));
  EXPECT_EQ(hint, THintWindow::ComposeFrame(below, hint, hakSlide, last));
}

TEST(HintWindow, AnAnimatedHintFadesInOverWhatWasOnScreen) {
  TestApplication();
  QWidget red;
  red.setGeometry(100, 100, 200, 100);
  QPalette palette;
  palette.setColor(QPalette::Window, Qt::red);
  red.setPalette(palette);
  red.setAutoFillBackground(true);
  red.show();
  // Until the red is on the screen, not only due.
  ASSERT_TRUE(PumpUntil([&] {
    return QGuiApplication::primaryScreen()->grabWindow(0, 190, 130, 1, 1).toImage().pixel(0, 0) == qRgb(255, 0, 0);
  }));
  THintWindow hint;
  std::vector<QImage> frames;
  {
    TAnimationPauseOverride pause([&](int ms, TAnimationPauseKind kind) {
      EXPECT_EQ(THintWindow::StepPauseMs, ms);
      EXPECT_EQ(apServeEvents, kind);
      frames.push_back(hint.grab().toImage());
    });
    ASSERT_TRUE(hint.ActivateHint(QRect(150, 120, 80, 20), "", hakFade));
  }
  ASSERT_EQ(static_cast<size_t>(THintWindow::AnimationSteps), frames.size());
  // A blank point inside the hint: red at first, the hint's colour at last.
  const TColor info = ColorToRGB(clInfoBk);
  EXPECT_EQ(255, qRed(frames.front().pixel(40, 10)));
  EXPECT_LT(qGreen(frames.front().pixel(40, 10)), 40);
  for (size_t i = 1; i < frames.size(); ++i)
    EXPECT_GT(qGreen(frames[i].pixel(40, 10)), qGreen(frames[i - 1].pixel(40, 10)));
  EXPECT_EQ(qRgb(GetRValue(info), GetGValue(info), GetBValue(info)), frames.back().pixel(40, 10) | 0xFF000000);
}

}  // namespace
