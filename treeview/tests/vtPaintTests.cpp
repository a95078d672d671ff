// Painting: pixels of rendered images of a few fixed trees (offscreen,
// Liberation fonts, 96 dpi).

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QStyle>

#include "VTreeImages.h"
#include "VirtualStringTree.h"
#include "uiImageList.h"
#include "vtTestSupport.h"

namespace {

// A 200 x 120 tree without frame: "Item n" texts, three top-level nodes,
// the first with two children (expanded), the last with one (collapsed).
class PaintedTree : public ::testing::Test {
protected:
  PaintedTree() {
    tree.SetFramed(false);
    tree.resize(200, 120);
    tree.SetTreeLineColor(clRed);
    tree.OnGetText = [](TBaseVirtualTree* t, PVirtualNode n, int, TVSTTextType, std::string& text) {
      text = "Item " + std::to_string(t->AbsoluteIndex(n));
    };
    tree.SetRootNodeCount(3);
    first = tree.RootNode()->FirstChild;
    last = tree.RootNode()->LastChild;
    tree.SetChildCount(first, 2);
    tree.SetChildCount(last, 1);
    tree.ToggleNode(first);
  }
  // Rows: 0 first, 1-2 its children, 3 the middle node, 4 last.
  static int RowTop(int row) { return row * 18; }
  bool AnyPixel(const QImage& image, const TRect& r, QRgb colour) {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (image.pixel(x, y) == colour) return true;
    return false;
  }

  // Text is smoothed: a glyph shows as dark pixels, not pure black.
  bool AnyDark(const QImage& image, const TRect& r) {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (qGray(image.pixel(x, y)) < 96) return true;
    return false;
  }

  TVirtualStringTree tree;
  PVirtualNode first = nullptr;
  PVirtualNode last = nullptr;
};

TEST_F(PaintedTree, ButtonsShowMinusWhenExpandedAndPlusWhenCollapsed) {
  const QImage image = tree.RenderToImage();
  // The button of a level-1 node: a 9-pixel square at x 5, centred in the
  // 18-pixel row (top 4); bars 5 pixels long through its middle.
  const int bx = 5, by = 4;
  EXPECT_EQ(Rgb(clRed), image.pixel(bx, by + RowTop(0)));          // frame in the line colour
  EXPECT_EQ(Rgb(clBlack), image.pixel(bx + 4, by + 4 + RowTop(0)));  // horizontal bar
  EXPECT_EQ(Rgb(clWindow), image.pixel(bx + 4, by + 2 + RowTop(0)));  // no vertical bar: minus
  EXPECT_EQ(Rgb(clBlack), image.pixel(bx + 4, by + 2 + RowTop(4)));   // plus
  // The middle node has no children: no button.
  EXPECT_FALSE(AnyPixel(image, Rect(bx + 1, RowTop(3) + by + 1, bx + 8, RowTop(3) + by + 8), Rgb(clBlack)));
}

TEST_F(PaintedTree, TreeLinesJoinSiblingsAndChildren) {
  const QImage image = tree.RenderToImage();
  // The children's junction line at x 27 (second indent slot's middle):
  // dotted down the first child's row, ending at the last child's middle.
  EXPECT_TRUE(AnyPixel(image, Rect(27, RowTop(1), 28, RowTop(1) + 2), Rgb(clRed)));
  EXPECT_TRUE(AnyPixel(image, Rect(27, RowTop(2), 28, RowTop(2) + 9), Rgb(clRed)));
  EXPECT_FALSE(AnyPixel(image, Rect(27, RowTop(2) + 10, 28, RowTop(3)), Rgb(clRed)));
  // The top level's line runs on through the children's rows at x 9.
  EXPECT_TRUE(AnyPixel(image, Rect(9, RowTop(2), 10, RowTop(2) + 2), Rgb(clRed)));
  // Below the last top-level node nothing is drawn.
  EXPECT_FALSE(AnyPixel(image, Rect(0, RowTop(5), 200, 120), Rgb(clRed)));
}

TEST_F(PaintedTree, SelectionFillsTheTextWithTheHighlightWhileFocused) {
  PVirtualNode middle = first->NextSibling;
  tree.SetSelected(middle, true);
  tree.FocusChanged(true);
  QImage image = tree.RenderToImage();
  // Level 1: content at 18 + margin 4; the text's rectangle follows.
  EXPECT_EQ(Rgb(clHighlight), image.pixel(23, RowTop(3) + 1));
  EXPECT_NE(Rgb(clHighlight), image.pixel(23, RowTop(0) + 1));
  tree.FocusChanged(false);
  image = tree.RenderToImage();
  EXPECT_EQ(Rgb(clBtnFace), image.pixel(23, RowTop(3) + 1));
}

TEST_F(PaintedTree, CheckBoxesShowTheirState) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voCheckSupport));
  PVirtualNode middle = first->NextSibling;
  middle->CheckType = ctCheckBox;
  last->CheckType = ctCheckBox;
  tree.SetCheckState(middle, csCheckedNormal);
  const QImage image = tree.RenderToImage();
  // The box's 16-pixel glyph at x 22, vertically centred (top 1).
  const TRect markArea = Rect(22 + 4, RowTop(3) + 1 + 4, 22 + 12, RowTop(3) + 1 + 12);
  EXPECT_TRUE(AnyPixel(image, markArea, Rgb(clBlack)));
  const TRect emptyArea = Rect(22 + 4, RowTop(4) + 1 + 4, 22 + 12, RowTop(4) + 1 + 12);
  EXPECT_FALSE(AnyPixel(image, emptyArea, Rgb(clBlack)));
  EXPECT_TRUE(AnyPixel(image, Rect(22, RowTop(4), 22 + 16, RowTop(5)), qRgb(28, 81, 128)));
}

TEST_F(PaintedTree, CustomDrawnRowsAreLeftToTheHandler) {
  tree.OnBeforeItemPaint = [&](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, const TRect& r, bool& custom) {
    if (node != first->NextSibling) return;
    canvas.Brush().SetColor(clLime);
    canvas.FillRect(r);
    custom = true;
  };
  const QImage image = tree.RenderToImage();
  for (int x : {0, 9, 23, 100, 199}) EXPECT_EQ(Rgb(clLime), image.pixel(x, RowTop(3) + 5));
}

TEST_F(PaintedTree, WithoutRootLinesTopLevelContentStartsAtTheMargin) {
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Exclude(voShowRoot));
  const QImage image = tree.RenderToImage();
  // No button or line left of the margin for the top level.
  EXPECT_FALSE(AnyPixel(image, Rect(0, RowTop(0), 4, RowTop(1)), Rgb(clRed)));
  EXPECT_FALSE(AnyPixel(image, Rect(0, RowTop(3), 8, RowTop(4)), Rgb(clBlack)));
  // The text begins right after margin and padding.
  EXPECT_TRUE(AnyDark(image, Rect(8, RowTop(3), 12, RowTop(4))));
  EXPECT_FALSE(AnyDark(image, Rect(0, RowTop(3), 8, RowTop(4))));
}

TEST_F(PaintedTree, ImagesAreCentredByTheNodesAlignment) {
  TImageList images(16, 16);
  images.AddGlyph([](TCanvas& c, int w, int h) {
    c.Brush().SetColor(clBlue);
    c.FillRect(Rect(0, 0, w, h));
  });
  tree.SetImages(&images);
  tree.OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode, TVTImageKind kind, int, int& index) {
    if (kind == ikNormal || kind == ikSelected) index = 0;
  };
  tree.SetNodeHeight(first->NextSibling, 32);
  const QImage image = tree.RenderToImage();
  const int top = RowTop(3);
  // 32-pixel row, Align 50: the 16-pixel image starts 8 below the top.
  EXPECT_EQ(Rgb(clBlue), image.pixel(22 + 1, top + 8));
  EXPECT_NE(Rgb(clBlue), image.pixel(22 + 1, top + 7));
  EXPECT_EQ(Rgb(clBlue), image.pixel(22 + 1, top + 23));
  EXPECT_NE(Rgb(clBlue), image.pixel(22 + 1, top + 24));
}

TEST_F(PaintedTree, ImagesKeepTheirOwnPixelsOnAHighDensityTarget) {
  // A blue square crossed by a one-pixel diagonal, drawn to the size given.
  TImageList images(16, 16, 2);
  images.AddGlyph([](TCanvas& c, int w, int h) {
    c.Brush().SetColor(clBlue);
    c.FillRect(Rect(0, 0, w, h));
    c.Pen().SetColor(clBlack);
    c.MoveTo(0, h - 1);
    c.LineTo(w, -1);
  });
  tree.SetImages(&images);
  tree.OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode, TVTImageKind kind, int, int& index) {
    if (kind == ikNormal || kind == ikSelected) index = 0;
  };
  tree.RenderToImage();  // lays the tree out
  auto render = [&](int ratio) {
    TBitmap target;
    target.SetPixelRatio(ratio);
    target.SetSize(200, 120);
    tree.PaintTree(target.Canvas(), Rect(0, 0, 200, 120), TPoint{0, 0}, TVTPaintOptions{});
    return target.Image().copy();
  };
  const QImage single = render(1);
  const QImage doubled = render(2);
  ASSERT_EQ(QSize(400, 240), doubled.size());
  // The image's top left in the middle row, in units.
  int left = -1, top = -1;
  for (int y = RowTop(3); y < RowTop(4) && top < 0; ++y)
    for (int x = 0; x < 200 && top < 0; ++x)
      if (single.pixel(x, y) == Rgb(clBlue)) left = x, top = y;
  ASSERT_GE(top, 0);
  const QImage& own = images.Image(0, 2).Image();
  int enlarged = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const QRgb drawn = doubled.pixel(left * 2 + x, top * 2 + y);
      ASSERT_EQ(own.pixel(x, y), drawn) << x << "," << y;
      if (drawn == single.pixel(left + x / 2, top + y / 2)) ++enlarged;
    }
  EXPECT_LT(enlarged, 32 * 32) << "a 2x draw has pixels of its own, not the 1x ones doubled";
}

TEST_F(PaintedTree, LongTextsEndInAnEllipsisWithinTheirWidth) {
  TBitmap bitmap;
  bitmap.SetSize(1, 1);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().Assign(tree.Font());
  const std::string text = "A rather long caption";
  const int width = canvas.TextWidth("A rather l");
  const std::string cut = tree.ShortenString(canvas, text, width);
  // The characters that fit beside the ellipsis, less one, then "...".
  const int fit = canvas.FitCount(text, width - tree.EllipsisWidth());
  EXPECT_EQ(text.substr(0, static_cast<size_t>(fit - 1)) + "...", cut);
  EXPECT_LE(canvas.TextWidth(cut), width);
  EXPECT_EQ("", tree.ShortenString(canvas, text, 0));
  EXPECT_EQ(text, tree.ShortenString(canvas, text, 1000));
  // A multi-byte character is never cut in two.
  const std::string accented = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
  const std::string shortened = tree.ShortenString(canvas, accented, canvas.TextWidth("\xC3\xA9\xC3\xA9\xC3\xA9") + tree.EllipsisWidth());
  EXPECT_EQ(0u, (shortened.size() - 3) % 2);
}

TEST_F(PaintedTree, TextWidthsAreRightBeyondWhatTheNodeKeeps) {
  // The record keeps widths up to 16 bits; wider texts are measured anew.
  std::string text = "short";
  tree.OnGetText = [&](TBaseVirtualTree*, PVirtualNode, int, TVSTTextType, std::string& t) { t = text; };
  TBitmap bitmap;
  bitmap.SetSize(1, 1);
  bitmap.Canvas().Font().Assign(tree.Font());
  const int left = tree.GetDisplayRect(first, -1, true).Left;
  EXPECT_GT(tree.GetDisplayRect(first, -1, true).Right - left, bitmap.Canvas().TextWidth(text));
  text = std::string(12000, 'W');
  tree.InvalidateNode(nullptr);
  for (int pass = 0; pass < 2; ++pass) {
    tree.RenderToImage();
    EXPECT_GE(static_cast<int64_t>(tree.RangeX()), left + bitmap.Canvas().TextWidth(text));
  }
}

TEST_F(PaintedTree, ScrollBarStylesDrawFlatOrRaisedParts) {
  tree.SetRootNodeCount(20);
  QScrollBar* bar = tree.VerticalBar();
  auto look = [&](TScrollBarStyle style) {
    TScrollBarOptions options = tree.ScrollBarOptions();
    options.ScrollBarStyle = style;
    tree.SetScrollBarOptions(options);
    tree.RenderToImage();
    return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
  };
  ASSERT_EQ(QApplication::style(), bar->style());
  const QImage flat = look(sbmFlat);
  ASSERT_FALSE(bar->isHidden());
  const int w = flat.width();
  // The up arrow is the first square; the thumb follows it (at the top).
  EXPECT_EQ(Rgb(clBtnShadow), flat.pixel(0, 0));
  EXPECT_EQ(Rgb(clBtnShadow), flat.pixel(w - 1, w - 1));
  EXPECT_EQ(Rgb(clBtnFace), flat.pixel(1, 1));
  EXPECT_EQ(Rgb(clBtnShadow), flat.pixel(0, w + 1));
  EXPECT_EQ(Rgb(clBtnFace), flat.pixel(1, w + 2));
  EXPECT_EQ(Rgb(clScrollBar), flat.pixel(w / 2, flat.height() - w - 2));  // the groove
  const QImage raised = look(sbm3D);
  EXPECT_EQ(Rgb(cl3DLight), raised.pixel(0, 0));
  EXPECT_EQ(Rgb(clBtnHighlight), raised.pixel(1, 1));
  EXPECT_EQ(Rgb(cl3DDkShadow), raised.pixel(w - 1, w - 1));
  EXPECT_EQ(Rgb(clBtnShadow), raised.pixel(w - 2, w - 2));
  EXPECT_EQ(Rgb(cl3DLight), raised.pixel(0, w + 1));
  look(sbmRegular);
  EXPECT_EQ(QApplication::style(), bar->style());
}

TEST_F(PaintedTree, RightToLeftTextsSitAtTheRightAndAreHitThere) {
  // Row 3 is the middle top-level node: its text after the indent of one
  // level (18) and the margin.
  const int y = RowTop(3) + 9;
  const TRect leftPart = Rect(18 + 4, RowTop(3), 18 + 4 + 30, RowTop(3) + 18);
  const TRect rightPart = Rect(200 - 30, RowTop(3), 200, RowTop(3) + 18);
  QImage image = tree.RenderToImage();
  EXPECT_TRUE(AnyDark(image, leftPart));
  EXPECT_FALSE(AnyDark(image, rightPart));
  EXPECT_TRUE(tree.GetHitTestInfoAt(18 + 4 + 5, y).HitPositions & hiOnItemLabel);
  EXPECT_TRUE(tree.GetHitTestInfoAt(195, y).HitPositions & hiOnItemRight);

  tree.SetBiDiMode(bdRightToLeft);
  image = tree.RenderToImage();
  EXPECT_FALSE(AnyDark(image, leftPart));
  EXPECT_TRUE(AnyDark(image, rightPart));
  const TRect text = tree.GetDisplayRect(first->NextSibling->NextSibling, -1, true);
  EXPECT_EQ(200, text.Right);
  EXPECT_TRUE(tree.GetHitTestInfoAt(195, y).HitPositions & hiOnItemLabel);
  EXPECT_TRUE(tree.GetHitTestInfoAt(text.Left - 1, y).HitPositions & hiOnItemRight);
  EXPECT_TRUE(tree.GetHitTestInfoAt(18 + 4 + 5, y).HitPositions & hiOnItemRight);
  // Buttons and lines keep their place.
  EXPECT_EQ(hiOnItemButton, tree.GetHitTestInfoAt(9, 9).HitPositions);

  // Reading order alone moves nothing.
  tree.SetBiDiMode(bdRightToLeftReadingOnly);
  EXPECT_TRUE(AnyDark(tree.RenderToImage(), leftPart));
}

TEST_F(PaintedTree, RightToLeftPutsTheScrollBarLeftAndColumnsFollowTheTree) {
  tree.SetRootNodeCount(20);
  tree.RenderToImage();
  ASSERT_FALSE(tree.VerticalBar()->isHidden());
  const int bar = tree.VerticalBar()->width();
  EXPECT_EQ(200 - bar, tree.VerticalBar()->x());
  EXPECT_EQ(0, tree.Viewport()->x());
  tree.SetBiDiMode(bdRightToLeftNoAlign);
  EXPECT_EQ(0, tree.VerticalBar()->x());
  EXPECT_EQ(bar, tree.Viewport()->x());
  tree.SetBiDiMode(bdRightToLeftReadingOnly);
  EXPECT_EQ(200 - bar, tree.VerticalBar()->x());

  TVirtualTreeColumns& columns = tree.Header().Columns();
  TVirtualTreeColumn& a = *columns.Add();
  TVirtualTreeColumn& b = *columns.Add();
  EXPECT_EQ(bdRightToLeftReadingOnly, a.BiDiMode());  // new columns take the tree's
  b.SetBiDiMode(bdLeftToRight);
  EXPECT_FALSE(b.Options().Contains(coParentBidiMode));
  tree.SetBiDiMode(bdRightToLeft);
  EXPECT_EQ(bdRightToLeft, a.BiDiMode());
  EXPECT_EQ(bdLeftToRight, b.BiDiMode());
  TVTColumnOptions options = b.Options();
  b.SetOptions(options.Include(coParentBidiMode));
  EXPECT_EQ(bdRightToLeft, b.BiDiMode());
}

TEST_F(PaintedTree, RightToLeftColumnCaptionsSitAtTheRight) {
  TVirtualTreeColumns& columns = tree.Header().Columns();
  for (int i = 0; i < 2; ++i) {
    TVirtualTreeColumn& c = *columns.Add();
    c.SetWidth(100);
    c.SetText("Abc");
  }
  TVTHeaderOptions options = tree.Header().Options();
  tree.Header().SetOptions(options.Include(hoVisible));
  columns.Items(1).SetBiDiMode(bdRightToLeft);
  const QImage header = tree.HeaderArea()->grab().toImage();
  auto dark = [&](int left, int right) { return AnyDark(header, Rect(left, 4, right, 20)); };
  EXPECT_TRUE(dark(2, 30));     // left to right: from the left edge
  EXPECT_FALSE(dark(70, 98));
  EXPECT_FALSE(dark(102, 130));  // right to left: at the right edge
  EXPECT_TRUE(dark(170, 198));
}

TEST_F(PaintedTree, NodesWithoutTextHandlerShowTheDefaultText) {
  TVirtualStringTree plain;
  plain.SetRootNodeCount(1);
  EXPECT_EQ("Node", plain.GetText(plain.RootNode()->FirstChild, -1));
}

}  // namespace

#include "VirtualDrawTree.h"

namespace {

TEST(DrawTree, CellsArePaintedByTheApplication) {
  TVirtualDrawTree tree;
  tree.SetFramed(false);
  tree.resize(100, 60);
  tree.SetRootNodeCount(2);
  int painted = 0;
  tree.OnDrawNode = [&](TBaseVirtualTree*, const TVTPaintInfo& info) {
    ++painted;
    info.Canvas->Brush().SetColor(clGreen);
    info.Canvas->FillRect(Rect(info.ContentRect.Left, 2, info.ContentRect.Left + 10, 8));
  };
  const QImage image = tree.RenderToImage();
  EXPECT_EQ(2, painted);
  const TColor green = ColorToRGB(clGreen);
  EXPECT_EQ(qRgb(GetRValue(green), GetGValue(green), GetBValue(green)), image.pixel(18 + 4 + 1, 18 + 3));
  // Widths: 4 until the handler says otherwise.
  EXPECT_EQ(18 + 4 + DefaultDrawNodeWidth, tree.GetDisplayRect(tree.RootNode()->FirstChild, -1, true).Right);
  tree.OnGetNodeWidth = [](TBaseVirtualTree*, TCanvas&, PVirtualNode, int, int& width) { width = 40; };
  EXPECT_EQ(18 + 4 + 40, tree.GetDisplayRect(tree.RootNode()->FirstChild, -1, true).Right);
}

}  // namespace
