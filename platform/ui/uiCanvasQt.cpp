#include "uiCanvasQt.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <QFontMetrics>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QGlyphRun>
#include <QPolygon>

#include "uiFontMetrics.h"
#include "uiGraphicsBitmap.h"

namespace {

// Qt paints glyphs larger than 64 pixels from their outlines at every
// drawing (and raising its limit makes it paint nothing at all); text
// printed at printer resolution, such as a bar code's digits, is that
// large. Such glyphs are made into images once, in their colour, and
// copied from then on: the text is placed at whole pixels, so the image
// holds exactly what the outline would paint.
constexpr int largeGlyphPixels = 64;
constexpr size_t glyphImagesBytes = 32 << 20;

struct TGlyphImage {
  QImage Image;
  QPoint Offset;  // of the image's top-left corner from the glyph's origin
};

class TGlyphImages {
public:
  // The images of a text's glyphs in one look-up of its font.
  std::vector<TGlyphImage> Get(const QRawFont& raw, const std::string& fontKey, const QList<quint32>& glyphs,
                               QRgb colour) {
    const std::lock_guard<std::mutex> lock(mutex);
    auto& images = fonts[fontKey];
    std::vector<TGlyphImage> result;
    result.reserve(static_cast<size_t>(glyphs.size()));
    for (const quint32 glyph : glyphs) {
      const uint64_t key = static_cast<uint64_t>(glyph) << 32 | colour;
      auto found = images.find(key);
      if (found == images.end()) {
        const TGlyphImage made = Make(raw, glyph, colour);
        bytes += static_cast<size_t>(made.Image.sizeInBytes());
        found = images.emplace(key, made).first;
      }
      result.push_back(found->second);
    }
    // The images handed out stay valid (they are shared); the store starts
    // again once it holds too much.
    if (bytes > glyphImagesBytes) {
      fonts.clear();
      bytes = 0;
    }
    return result;
  }

private:
  std::mutex mutex;
  std::map<std::string, std::unordered_map<uint64_t, TGlyphImage>> fonts;
  size_t bytes = 0;

  static TGlyphImage Make(const QRawFont& raw, quint32 glyph, QRgb colour) {
    TGlyphImage made;
    const QPainterPath path = raw.pathForGlyph(glyph);
    if (path.isEmpty()) return made;
    const QRect box = path.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
    made.Image = QImage(box.size(), QImage::Format_ARGB32_Premultiplied);
    made.Image.fill(Qt::transparent);
    QPainter painter(&made.Image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-box.topLeft());
    painter.fillPath(path, QColor::fromRgb(colour));
    made.Offset = box.topLeft();
    return made;
  }
};

TGlyphImages& GlyphImages() {
  static TGlyphImages images;
  return images;
}

// Whole-pixel moves and quarter turns keep a glyph image's pixels whole.
bool KeepsPixelsWhole(const QTransform& t) {
  if (t.type() <= QTransform::TxTranslate) return true;
  if (t.type() > QTransform::TxRotate) return false;
  const bool straight = t.m12() == 0 && t.m21() == 0 && std::abs(t.m11()) == 1 && std::abs(t.m22()) == 1;
  const bool quarter = t.m11() == 0 && t.m22() == 0 && std::abs(t.m12()) == 1 && std::abs(t.m21()) == 1;
  return (straight || quarter) && t.dx() == std::round(t.dx()) && t.dy() == std::round(t.dy());
}

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

// The outline rectangle of a shape: Qt strokes the right and bottom edges
// one pixel further out than the class library does.
QRect OutlineRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1); }

QPolygon ToQPolygon(const std::vector<TPoint>& points) {
  QPolygon polygon;
  for (const TPoint& p : points) polygon << QPoint(p.X, p.Y);
  return polygon;
}

Qt::PenStyle ToQtPenStyle(TPenStyle style) {
  switch (style) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    case psSolid:
    case psInsideFrame: return Qt::SolidLine;
  }
  return Qt::SolidLine;
}

Qt::BrushStyle ToQtBrushStyle(TBrushStyle style) {
  switch (style) {
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    case bsSolid: return Qt::SolidPattern;
  }
  return Qt::SolidPattern;
}

}  // namespace

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TQtCanvas::TQtCanvas(QPaintDevice& device, int pixelsPerInch) : TCanvas(pixelsPerInch), device(&device) {}

TQtCanvas::TQtCanvas(QPainter& painter, int pixelsPerInch) : TCanvas(pixelsPerInch), painter(&painter) {}

TQtCanvas::~TQtCanvas() { FinishPainting(); }

int TQtCanvas::PixelRatio() const {
  const QPaintDevice* target = painter ? painter->device() : device;
  if (!target) return 1;
  // 1.25 needs two pixels per unit to stay sharp; 2.0000001 does not need three.
  return std::max(1, static_cast<int>(std::ceil(target->devicePixelRatio() - 0.01)));
}

QPainter& TQtCanvas::Painter() {
  if (!painter) {
    ownPainter = std::make_unique<QPainter>(device);
    painter = ownPainter.get();
    ApplyClip();
  }
  return *painter;
}

void TQtCanvas::FinishPainting() {
  if (!ownPainter) return;
  ownPainter->end();
  ownPainter.reset();
  painter = nullptr;
}

QFont TQtCanvas::QtFont() {
  UpdateQtFont();
  return qtFont;
}

void TQtCanvas::UpdateQtFont() {
  if (qtFontValid && qtFontOf == Font()) return;
  QFont qfont(QString::fromStdString(ResolveFontFamily(Font().Name())));
  qfont.setPixelSize(std::max(1, -Font().Height(PixelsPerInch())));
  qfont.setBold(Font().HasStyle(fsBold));
  qfont.setItalic(Font().HasStyle(fsItalic));
  qfont.setUnderline(Font().HasStyle(fsUnderline));
  qfont.setStrikeOut(Font().HasStyle(fsStrikeOut));
  qfont.setKerning(false);
  qfont.setHintingPreference(QFont::PreferNoHinting);
  const QFontMetrics metrics(qfont);
  qtFont = qfont;
  qtAscent = metrics.ascent();
  qtHeight = metrics.height();
  qtFontOf = Font();
  qtFontValid = true;
}

void TQtCanvas::UsePen() {
  QPen qpen(ToQColor(Pen().Color()));
  qpen.setStyle(ToQtPenStyle(Pen().Style()));
  qpen.setWidth(Pen().Width());
  Painter().setPen(qpen);
}

void TQtCanvas::UseBrush() {
  QBrush qbrush(ToQColor(Brush().Color()), ToQtBrushStyle(Brush().Style()));
  Painter().setBrush(qbrush);
}

// Widths are the font files' advances rounded to whole pixels, character
// by character, as the measuring canvas has them: text drawn here lands
// where layout measured it, at any resolution.
TSize TQtCanvas::MeasureText(const std::string& text) {
  const TFontFace& face = TFontFace::ForFont(Font());
  const double em = PixelsPerEm(Font(), PixelsPerInch());
  int width = 0;
  for (size_t i = 0; i < text.size();) width += face.AdvancePixels(NextUtf8Char(text, i), em);
  UpdateQtFont();
  return TSize{width, qtHeight};
}

TTextMetric TQtCanvas::TextMetrics() {
  const QFontMetrics metrics(QtFont());
  TTextMetric m;
  m.Ascent = metrics.ascent();
  m.Descent = metrics.descent();
  m.Height = m.Ascent + m.Descent;
  m.InternalLeading = std::max(0, m.Height - QtFont().pixelSize());
  m.ExternalLeading = std::max(0, metrics.leading());
  m.AveCharWidth = metrics.averageCharWidth();
  return m;
}

const QRawFont& TQtCanvas::RawFont() {
  if (!rawFont.isValid() || !(rawFontOf == Font())) {
    rawFont = QRawFont::fromFont(QtFont());
    // The outlines at the em the advances are measured with.
    rawFont.setPixelSize(PixelsPerEm(Font(), PixelsPerInch()));
    rawFontOf = Font();
  }
  return rawFont;
}

void TQtCanvas::DrawTextAt(int x, int y, const std::string& text) {
  QPainter& p = Painter();
  if (Brush().Style() != bsClear) {
    const TSize size = TextExtent(text);
    p.fillRect(QRect(x, y, size.cx, size.cy), ToQColor(Brush().Color()));
  }
  TColor textColor = ColorToRGB(Font().Color());
  if (monochromeText && textColor != clWhite) textColor = clBlack;
  p.setPen(ToQColor(textColor));

  // Each glyph at the advance MeasureText counts, blanks widened by the
  // justification as TextExtent widens them.
  const QRawFont& raw = RawFont();
  const TFontFace& face = TFontFace::ForFont(Font());
  const double em = PixelsPerEm(Font(), PixelsPerInch());
  const int breaks = JustificationBreaks();
  const int share = breaks ? JustificationTotal() / breaks : 0;
  const int remainder = breaks ? JustificationTotal() % breaks : 0;
  QList<quint32> glyphs;
  QList<QPointF> positions;
  int advance = 0;
  int blanks = 0;
  for (size_t i = 0; i < text.size();) {
    const char32_t ch = NextUtf8Char(text, i);
    const QList<quint32> indexes = raw.glyphIndexesForString(QString::fromUcs4(&ch, 1));
    glyphs.push_back(indexes.isEmpty() ? 0 : indexes.front());
    positions.push_back(QPointF(advance, 0));
    advance += face.AdvancePixels(ch, em);
    if (ch == ' ' && blanks < breaks) advance += share + (blanks++ < remainder ? 1 : 0);
  }
  if (glyphs.isEmpty()) return;
  QGlyphRun run;
  run.setRawFont(raw);
  run.setGlyphIndexes(glyphs);
  run.setPositions(positions);
  run.setUnderline(Font().HasStyle(fsUnderline));
  run.setStrikeOut(Font().HasStyle(fsStrikeOut));
  UpdateQtFont();
  const bool lined = Font().HasStyle(fsUnderline) || Font().HasStyle(fsStrikeOut);
  if (raw.pixelSize() > largeGlyphPixels && !lined && KeepsPixelsWhole(p.combinedTransform())) {
    const std::string fontKey = Font().Name() + (Font().HasStyle(fsBold) ? "|b" : "|") +
                                (Font().HasStyle(fsItalic) ? "i|" : "|") + std::to_string(raw.pixelSize());
    const QRgb colour = ToQColor(textColor).rgb();
    const std::vector<TGlyphImage> images = GlyphImages().Get(raw, fontKey, glyphs, colour);
    for (size_t i = 0; i < images.size(); ++i) {
      if (images[i].Image.isNull()) continue;
      p.drawImage(QPoint(x + static_cast<int>(positions[static_cast<qsizetype>(i)].x()), y + qtAscent) + images[i].Offset,
                  images[i].Image);
    }
    return;
  }
  p.drawGlyphRun(QPointF(x, y + qtAscent), run);
}

void TQtCanvas::TextOut(int x, int y, const std::string& text) {
  DrawTextAt(x, y, text);
  MoveTo(x + TextWidth(text), y);
}

void TQtCanvas::TextOutRotated(int x, int y, const std::string& text, int angleDegrees) {
  QPainter& p = Painter();
  p.save();
  p.translate(x, y);
  p.rotate(-angleDegrees);  // y grows downwards: a negative turn is counter-clockwise
  const TBrushStyle style = Brush().Style();
  Brush().SetStyle(bsClear);
  DrawTextAt(0, 0, text);
  Brush().SetStyle(style);
  p.restore();
}

void TQtCanvas::TextRect(const TRect& rect, int x, int y, const std::string& text) {
  QPainter& p = Painter();
  p.save();
  p.setClipRect(ToQRect(rect), ClipRect() ? Qt::IntersectClip : Qt::ReplaceClip);
  if (Brush().Style() != bsClear) p.fillRect(ToQRect(rect), ToQColor(Brush().Color()));
  const TBrushStyle style = Brush().Style();
  Brush().SetStyle(bsClear);
  DrawTextAt(x, y, text);
  Brush().SetStyle(style);
  p.restore();
}

void TQtCanvas::DrawLine(TPoint from, TPoint to) {
  UsePen();
  Painter().drawLine(from.X, from.Y, to.X, to.Y);
}

void TQtCanvas::Polyline(const std::vector<TPoint>& points) {
  UsePen();
  Painter().drawPolyline(ToQPolygon(points));
}

void TQtCanvas::Polygon(const std::vector<TPoint>& points) {
  UsePen();
  UseBrush();
  Painter().drawPolygon(ToQPolygon(points));
}

void TQtCanvas::Rectangle(const TRect& rect) {
  UsePen();
  UseBrush();
  Painter().drawRect(OutlineRect(rect));
}

void TQtCanvas::RoundRect(const TRect& rect, int cornerWidth, int cornerHeight) {
  UsePen();
  UseBrush();
  Painter().drawRoundedRect(OutlineRect(rect), cornerWidth / 2.0, cornerHeight / 2.0);
}

void TQtCanvas::Ellipse(const TRect& rect) {
  UsePen();
  UseBrush();
  Painter().drawEllipse(OutlineRect(rect));
}

void TQtCanvas::FillRect(const TRect& rect) {
  Painter().fillRect(ToQRect(rect), QBrush(ToQColor(Brush().Color()), ToQtBrushStyle(Brush().Style())));
}

// Filled rectangles go line by line, which for tall thin columns (a bar
// code's bars at printer resolution) costs a call per pixel row and bar;
// on an image the row of columns is made once and copied to every line.
void TQtCanvas::FillColumns(const TRect& rect, const std::vector<TColor>& colours) {
  QPainter& p = Painter();
  const int count = std::min(static_cast<int>(colours.size()), rect.Width());
  QPaintDevice* target = p.device();
  const bool onImage = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster && target &&
                       target->devType() == QInternal::Image;
  QImage* image = onImage ? static_cast<QImage*>(target) : nullptr;
  const bool direct = image && image->isDetached() && image->devicePixelRatio() == 1.0 &&
                      (image->format() == QImage::Format_RGB32 || image->format() == QImage::Format_ARGB32 ||
                       image->format() == QImage::Format_ARGB32_Premultiplied) &&
                      p.combinedTransform().type() <= QTransform::TxTranslate &&
                      (p.compositionMode() == QPainter::CompositionMode_SourceOver ||
                       p.compositionMode() == QPainter::CompositionMode_Source) &&
                      std::none_of(colours.begin(), colours.begin() + count, [](TColor c) { return c == clNone; }) &&
                      (!p.hasClipping() || p.clipRegion().rectCount() <= 1);
  if (!direct) return TCanvas::FillColumns(rect, colours);
  const QTransform& transform = p.combinedTransform();
  QRect area(rect.Left + static_cast<int>(transform.dx()), rect.Top + static_cast<int>(transform.dy()), count,
             rect.Height());
  const QRect wanted = area;
  area &= image->rect();
  if (p.hasClipping()) area &= transform.mapRect(p.clipRegion().boundingRect());
  if (area.isEmpty()) return;
  std::vector<QRgb> row(static_cast<size_t>(area.width()));
  TColor last = clNone;
  QRgb lastRgb = 0;
  for (int i = 0; i < area.width(); ++i) {
    const TColor colour = colours[static_cast<size_t>(area.left() - wanted.left() + i)];
    if (colour != last) {
      last = colour;
      lastRgb = ToQColor(colour).rgb();
    }
    row[static_cast<size_t>(i)] = lastRgb;
  }
  for (int y = area.top(); y <= area.bottom(); ++y)
    std::copy(row.begin(), row.end(), reinterpret_cast<QRgb*>(image->scanLine(y)) + area.left());
}

void TQtCanvas::FrameRect(const TRect& rect) {
  QPainter& p = Painter();
  p.setPen(QPen(ToQColor(Brush().Color()), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(OutlineRect(rect));
}

void TQtCanvas::Draw(int x, int y, const TBitmap& bitmap) { Painter().drawImage(QPoint(x, y), bitmap.Image()); }

void TQtCanvas::StretchDraw(const TRect& rect, const TBitmap& bitmap) {
  Painter().drawImage(ToQRect(rect), bitmap.Image());
}

void TQtCanvas::DrawMasked(int x, int y, const TBitmap& bitmap, TColor transparentColor, int opacityPercent) {
  QImage image = bitmap.Image().convertToFormat(QImage::Format_ARGB32);
  image.setDevicePixelRatio(bitmap.PixelRatio());
  const QRgb mask = ToQColor(transparentColor).rgb() & 0xFFFFFF;
  for (int row = 0; row < image.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int col = 0; col < image.width(); ++col)
      if ((line[col] & 0xFFFFFF) == mask) line[col] = 0;
  }
  QPainter& p = Painter();
  const double opacity = p.opacity();
  p.setOpacity(opacity * std::clamp(opacityPercent, 0, 100) / 100.0);
  p.drawImage(QPoint(x, y), image);
  p.setOpacity(opacity);
}

void TQtCanvas::ApplyClip() {
  if (!painter) return;
  if (ClipRect()) painter->setClipRect(ToQRect(*ClipRect()));
  else painter->setClipping(false);
}
