#include "ppGraphics.h"

#include <QBuffer>
#include <QImage>

#include "rtlFiler.h"
#include "rtlStreams.h"
#include "uiGraphicsBitmap.h"

namespace {

// A picture larger than this is not a picture of a report.
constexpr int64_t maxPictureBytes = 64 << 20;

}  // namespace

const TIdentMap& ppColorIdents() {
  static const TIdentMap idents = {
      {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"},   {clOlive, "clOlive"},
      {clNavy, "clNavy"},   {clPurple, "clPurple"}, {clTeal, "clTeal"},     {clGray, "clGray"},
      {clSilver, "clSilver"}, {clRed, "clRed"},     {clLime, "clLime"},     {clYellow, "clYellow"},
      {clBlue, "clBlue"},   {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"},   {clWhite, "clWhite"},
      {clNone, "clNone"}};
  return idents;
}

const TClassInfo& TppFont::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppFont>("TppFont")
                                     .Property("Color", &TppFont::Color, &TppFont::SetColor)
                                     .Default(clBlack)
                                     .Idents(ppColorIdents())
                                     .Property("Name", &TppFont::Name, &TppFont::SetName)
                                     .Property("Size", &TppFont::Size, &TppFont::SetSize)
                                     .Default(10)
                                     .Property("Style", &TppFont::Style, &TppFont::SetStyle)
                                     .Default(0)
                                     .Build();
  return info;
}

void TppFont::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppFont*>(source)) {
    font = other->font;
    return;
  }
  inherited::Assign(source);
}

const TClassInfo& TppPen::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppPen>("TppPen")
                                     .Property("Color", &TppPen::Color, &TppPen::SetColor)
                                     .Default(clBlack)
                                     .Idents(ppColorIdents())
                                     .Property("Style", &TppPen::Style, &TppPen::SetStyle)
                                     .Default(psSolid)
                                     .Property("Width", &TppPen::Width, &TppPen::SetWidth)
                                     .Default(1)
                                     .Build();
  return info;
}

void TppPen::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppPen*>(source)) {
    pen = other->pen;
    return;
  }
  inherited::Assign(source);
}

const TClassInfo& TppBrush::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppBrush>("TppBrush")
                                     .Property("Color", &TppBrush::Color, &TppBrush::SetColor)
                                     .Default(clWhite)
                                     .Idents(ppColorIdents())
                                     .Property("Style", &TppBrush::Style, &TppBrush::SetStyle)
                                     .Default(bsSolid)
                                     .Build();
  return info;
}

void TppBrush::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppBrush*>(source)) {
    brush = other->brush;
    return;
  }
  inherited::Assign(source);
}

RTL_DEFINE_CLASS(TppPicture)

TppPicture::TppPicture() = default;
TppPicture::~TppPicture() = default;

void TppPicture::Clear() { bitmap.reset(); }

TBitmap& TppPicture::NewBitmap() {
  bitmap = std::make_unique<TBitmap>();
  return *bitmap;
}

void TppPicture::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppPicture*>(source)) {
    if (!other->bitmap) {
      bitmap.reset();
    } else {
      NewBitmap().Assign(*other->bitmap);
    }
    return;
  }
  inherited::Assign(source);
}

void TppPicture::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& stream) {
        const int64_t size = stream.Size() - stream.Position();
        if (size <= 0 || size > maxPictureBytes) throw EReadError("Invalid picture data");
        QByteArray bytes(static_cast<qsizetype>(size), '\0');
        stream.ReadBuffer(bytes.data(), size);
        QImage image;
        if (!image.loadFromData(bytes, "PNG")) throw EReadError("Invalid picture data");
        NewBitmap().SetImage(image);
      },
      [this](TStream& stream) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        bitmap->Image().save(&buffer, "PNG");
        stream.WriteBuffer(bytes.constData(), bytes.size());
      },
      bitmap != nullptr);
}
