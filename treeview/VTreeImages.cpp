#include "VTreeImages.h"

#include <array>
#include <memory>

#include "uiCanvas.h"
#include "uiImageList.h"

namespace {

constexpr TColor BoxFrame = RGBColor(28, 81, 128);
constexpr TColor DisabledFrame = RGBColor(160, 160, 160);

void Pixel(TCanvas& c, int x, int y, TColor colour) {
  c.Brush().SetColor(colour);
  c.FillRect(Rect(x, y, x + 1, y + 1));
}

// A check mark of two strokes, Thick pixels wide.
void CheckMark(TCanvas& c, TColor colour, int thick) {
  for (int t = 0; t < thick; ++t) {
    for (int i = 0; i < 3; ++i) Pixel(c, 4 + i, 7 + i + t, colour);
    for (int i = 0; i < 5; ++i) Pixel(c, 7 + i, 8 - i + t, colour);
  }
}

void Box(TCanvas& c, TColor fill, TColor frame) {
  c.Brush().SetColor(frame);
  c.FrameRect(Rect(1, 1, 14, 14));
  c.Brush().SetColor(fill);
  c.FillRect(Rect(2, 2, 13, 13));
}

void Radio(TCanvas& c, TColor fill, TColor frame, bool dot, TColor dotColour) {
  c.Pen().SetColor(frame);
  c.Brush().SetColor(fill);
  c.Ellipse(Rect(2, 2, 14, 14));
  if (dot) {
    c.Pen().SetColor(dotColour);
    c.Brush().SetColor(dotColour);
    c.Ellipse(Rect(5, 5, 11, 11));
  }
}

struct TButtonLook {
  bool Pressed = false;
  bool Disabled = false;
};

void PushButton(TCanvas& c, TButtonLook look) {
  TRect r = Rect(1, 1, 15, 15);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(r);
  if (look.Pressed)
    Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
  else
    Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
  if (look.Disabled) {
    c.Brush().SetColor(clBtnShadow);
    c.FillRect(Rect(6, 7, 10, 9));
  }
}

std::unique_ptr<TImageList> MakeCheckImages(int kind) {
  const bool dark = kind == 1 || kind == 3;
  const bool tick = kind >= 2;
  const TColor fill = dark ? RGBColor(224, 224, 224) : clWhite;
  const TColor mark = tick ? RGBColor(0, 128, 0) : clBlack;
  const int thick = tick ? 3 : 2;
  auto list = std::make_unique<TImageList>(CheckImageSize, CheckImageSize);
  list->AddGlyph([](TCanvas&, int, int) {});  // 0: unused
  list->AddGlyph([&](TCanvas& c, int, int) { Box(c, fill, BoxFrame); });
  list->AddGlyph([&](TCanvas& c, int, int) {
    Box(c, fill, BoxFrame);
    CheckMark(c, mark, thick);
  });
  list->AddGlyph([&](TCanvas& c, int, int) { Box(c, clBtnFace, DisabledFrame); });
  list->AddGlyph([&](TCanvas& c, int, int) {
    Box(c, clBtnFace, DisabledFrame);
    CheckMark(c, clBtnShadow, thick);
  });
  list->AddGlyph([&](TCanvas& c, int, int) { Radio(c, fill, BoxFrame, false, mark); });
  list->AddGlyph([&](TCanvas& c, int, int) { Radio(c, fill, BoxFrame, true, mark); });
  list->AddGlyph([&](TCanvas& c, int, int) { Radio(c, clBtnFace, DisabledFrame, false, clBtnShadow); });
  list->AddGlyph([&](TCanvas& c, int, int) { Radio(c, clBtnFace, DisabledFrame, true, clBtnShadow); });
  list->AddGlyph([](TCanvas& c, int, int) { PushButton(c, {}); });
  list->AddGlyph([](TCanvas& c, int, int) { PushButton(c, {.Pressed = true}); });
  list->AddGlyph([](TCanvas& c, int, int) { PushButton(c, {.Disabled = true}); });
  return list;
}

std::unique_ptr<TImageList> MakeUtilityImages() {
  auto list = std::make_unique<TImageList>(16, 16);
  for (int direction = 0; direction < 2; ++direction)
    list->AddGlyph([direction](TCanvas& c, int, int) {
      // A solid arrow head, 5 pixels deep, pointing into the column.
      c.Brush().SetColor(clBlack);
      for (int i = 0; i < 5; ++i) {
        const int x = direction == 0 ? 2 + i : 13 - i;
        c.FillRect(Rect(x, 4 + i, x + 1, 12 - i));
      }
    });
  return list;
}

}  // namespace

const TImageList& CheckImageList(int Kind) {
  static std::array<std::unique_ptr<TImageList>, 4> lists;
  if (Kind < 0 || Kind > 3) Kind = 0;
  if (!lists[Kind]) lists[Kind] = MakeCheckImages(Kind);
  return *lists[Kind];
}

const TImageList& UtilityImageList() {
  static std::unique_ptr<TImageList> list = MakeUtilityImages();
  return *list;
}
