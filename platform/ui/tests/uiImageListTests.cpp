// Image lists: the mask colour stays transparent; grey and blended draws.

#include <gtest/gtest.h>

#include "uiImageList.h"

namespace {

// A 4 x 4 list whose one glyph is a red 2 x 2 square in its top left.
class ImageListDraw : public ::testing::Test {
protected:
  ImageListDraw() : list(4, 4) {
    list.AddGlyph([](TCanvas& c, int, int) {
      c.Brush().SetColor(clRed);
      c.FillRect(Rect(0, 0, 2, 2));
    });
    target.SetSize(8, 8);
    target.Canvas().Brush().SetColor(clBlue);
    target.Canvas().FillRect(Rect(0, 0, 8, 8));
  }
  TImageList list;
  TBitmap target;
};

TEST_F(ImageListDraw, OnlyTheGlyphsOwnPixelsAreDrawn) {
  list.Draw(target.Canvas(), 2, 2, 0);
  EXPECT_EQ(clRed, target.Pixel(2, 2));
  EXPECT_EQ(clRed, target.Pixel(3, 3));
  EXPECT_EQ(clBlue, target.Pixel(4, 4));  // the mask colour left the target alone
  EXPECT_EQ(clBlue, target.Pixel(5, 2));
  // Out of range draws nothing.
  list.Draw(target.Canvas(), 0, 0, 5);
  EXPECT_EQ(clBlue, target.Pixel(0, 0));
}

TEST_F(ImageListDraw, DisabledIsGreyAndBlendedLetsTheBackgroundThrough) {
  list.Draw(target.Canvas(), 0, 0, 0, idsDisabled);
  const TColor grey = target.Pixel(0, 0);
  EXPECT_EQ(GetRValue(grey), GetGValue(grey));
  EXPECT_EQ(GetGValue(grey), GetBValue(grey));
  list.Draw(target.Canvas(), 4, 4, 0, idsBlended);
  const TColor blended = target.Pixel(4, 4);
  EXPECT_GT(GetBValue(blended), 0);                 // some of the blue
  EXPECT_GT(GetRValue(blended), GetBValue(blended));  // mostly the red
  EXPECT_EQ(1, list.Count());
}

}  // namespace
