#include "AppImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cmath>

#include "uiCanvas.h"

namespace {

// Colours as the canvas takes them (0x00BBGGRR).
constexpr TColor Outline = 0x3C3C3C;
constexpr TColor Casing = 0xE6E2DE;
constexpr TColor CasingShade = 0xBFB9B3;
constexpr TColor Slot = 0x4A4A4A;
constexpr TColor Paper = 0xFFFFFF;
constexpr TColor PaperLine = 0xB0B0B0;
constexpr TColor Lamp = 0x43A02E;
constexpr TColor DefaultBadge = 0x43A02E;
constexpr TColor SharedBadge = 0xD97A1F;
constexpr TColor NetworkBadge = 0x9E8A0E;
constexpr TColor ServerCase = 0x605A55;
constexpr TColor ServerBay = 0x8C857F;

struct TPrinterLook {
  bool Shared = false;
  bool Network = false;
  bool Default = false;
};

// The glyph is designed on a 32-pixel grid; p scales a grid position.
class TGlyphGrid {
public:
  TGlyphGrid(int width, int height) : scaleX(width / 32.0), scaleY(height / 32.0) {}
  int X(double at) const { return static_cast<int>(std::lround(at * scaleX)); }
  int Y(double at) const { return static_cast<int>(std::lround(at * scaleY)); }
  TRect R(double left, double top, double right, double bottom) const {
    return TRect{X(left), Y(top), X(right), Y(bottom)};
  }

private:
  double scaleX;
  double scaleY;
};

// Outlines are one grid unit wide, so that they keep their weight when the
// glyph is drawn with more pixels.
void Shape(TCanvas& canvas, const TGlyphGrid& g, TColor fill, TColor line) {
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(fill);
  canvas.Pen().SetStyle(psSolid);
  canvas.Pen().SetWidth(std::max(1, g.X(1)));
  canvas.Pen().SetColor(line);
}

// A round badge in a bottom corner with a white mark drawn by mark.
void Badge(TCanvas& canvas, const TGlyphGrid& g, bool right, TColor colour,
           const std::vector<std::pair<double, double>>& mark) {
  const double left = right ? 20 : 1;
  Shape(canvas, g, colour, colour);
  canvas.Ellipse(g.R(left, 20, left + 11, 31));
  std::vector<TPoint> points;
  for (const auto& [x, y] : mark) points.push_back(TPoint{g.X(left + x), g.Y(20 + y)});
  canvas.Pen().SetColor(clWhite);
  canvas.Pen().SetWidth(std::max(1, g.X(2)));
  canvas.Polyline(points);
}

// A printer: the sheet waiting on top, the casing with its slot and lamp,
// and the printed page, which rises out of the slot frame by frame (the last
// frame is the still image).
void PaintPrinter(TCanvas& canvas, int width, int height, const TPrinterLook& look, int frame, int frames) {
  const TGlyphGrid g(width, height);
  Shape(canvas, g, Paper, PaperLine);
  canvas.Rectangle(g.R(9, 2, 23, 13));
  Shape(canvas, g, Casing, Outline);
  canvas.RoundRect(g.R(3, 10, 29, 24), g.X(4), g.Y(4));
  Shape(canvas, g, CasingShade, CasingShade);
  canvas.FillRect(g.R(4, 19, 28, 23));
  Shape(canvas, g, Slot, Slot);
  canvas.FillRect(g.R(8, 18, 24, 20));
  Shape(canvas, g, Lamp, Lamp);
  canvas.FillRect(g.R(23, 12, 26, 15));
  // The page out of the slot: a third of it at the first frame, all of it
  // at the last.
  const double out = 3 + 7.0 * frame / std::max(frames - 1, 1);
  Shape(canvas, g, Paper, PaperLine);
  canvas.Rectangle(g.R(10, 19, 22, 19 + out));
  canvas.Pen().SetColor(PaperLine);
  for (double line = 22; line + 1 < 19 + out; line += 3) {
    canvas.MoveTo(g.X(12), g.Y(line));
    canvas.LineTo(g.X(20), g.Y(line));
  }
  if (look.Default) Badge(canvas, g, true, DefaultBadge, {{2.5, 5.5}, {4.5, 8}, {8.5, 3}});
  if (look.Shared) Badge(canvas, g, false, SharedBadge, {{2.5, 7.5}, {8, 7.5}, {5.5, 4.5}});
  if (look.Network) Badge(canvas, g, false, NetworkBadge, {{2.5, 5.5}, {8.5, 5.5}, {5.5, 5.5}, {5.5, 2}, {5.5, 9}});
}

void PaintServer(TCanvas& canvas, int width, int height) {
  const TGlyphGrid g(width, height);
  Shape(canvas, g, ServerCase, Outline);
  canvas.RoundRect(g.R(8, 1, 24, 31), g.X(3), g.Y(3));
  Shape(canvas, g, ServerBay, ServerBay);
  for (const double top : {5.0, 10.0, 15.0}) canvas.FillRect(g.R(11, top, 21, top + 3));
  Shape(canvas, g, Lamp, Lamp);
  canvas.FillRect(g.R(18, 25, 21, 28));
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : IconSizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    // The page: a tally of the jobs counted.
    painter.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(8.5, 1.5, 15, 13));
    painter.setPen(QPen(QColor(0x1F, 0x6F, 0xEB), 1.6));
    for (const double x : {11.5, 14.5, 17.5, 20.5}) painter.drawLine(QPointF(x, 4), QPointF(x, 11.5));
    painter.drawLine(QPointF(10, 10), QPointF(22, 5));
    // The printer.
    QPainterPath casing;
    casing.addRoundedRect(QRectF(2.5, 12.5, 27, 13), 3.5, 3.5);
    painter.setPen(QPen(QColor(0x3C, 0x3C, 0x3C), 1.2));
    painter.setBrush(QColor(0xDE, 0xE2, 0xE6));
    painter.drawPath(casing);
    painter.fillRect(QRectF(7, 19.5, 18, 2), QColor(0x4A, 0x4A, 0x4A));
    painter.setBrush(QColor(0x2E, 0xA0, 0x43));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(23, 15, 3, 3));
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(9.5, 21, 13, 9));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

std::unique_ptr<TImageList> TreeImages(int size, int animationFrames) {
  auto images = std::make_unique<TImageList>(size, size, TreeImagePixelRatios);
  images->AddGlyph([](TCanvas& canvas, int width, int height) { PaintServer(canvas, width, height); });
  auto printer = [animationFrames](TPrinterLook look, int frame) {
    return [look, frame, animationFrames](TCanvas& canvas, int width, int height) {
      PaintPrinter(canvas, width, height, look, frame, animationFrames);
    };
  };
  const int still = animationFrames - 1;
  // Still images 1 to 5: local, network, shared, network default, shared
  // default. Index 10, the local default's still image, is the last frame of
  // its animation.
  const TPrinterLook stills[5] = {{}, {.Network = true}, {.Shared = true}, {.Network = true, .Default = true},
                                  {.Shared = true, .Default = true}};
  for (const TPrinterLook& look : stills) images->AddGlyph(printer(look, still));
  // Animations from 6: local default, local, shared default, shared,
  // network, network default.
  const TPrinterLook animated[6] = {{.Default = true},
                                    {},
                                    {.Shared = true, .Default = true},
                                    {.Shared = true},
                                    {.Network = true},
                                    {.Network = true, .Default = true}};
  for (const TPrinterLook& look : animated)
    for (int frame = 0; frame < animationFrames; ++frame) images->AddGlyph(printer(look, frame));
  return images;
}
