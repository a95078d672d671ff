#pragma once
// Fonts, pens, brushes and pictures as streamable objects: what report
// components and draw commands publish. Each holds the canvas value type
// it stands for.

#include <memory>
#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlTypeInfo.h"
#include "uiGraphics.h"

class TBitmap;

RTL_ENUM_TYPE(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame")
RTL_ENUM_TYPE(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal",
              "bsCross", "bsDiagCross")

// Colour names streams use for the plain colours.
const TIdentMap& ppColorIdents();

class TppFont : public TPersistent {
  RTL_DECLARE_CLASS(TppFont, TPersistent)

  const TFont& Value() const { return font; }
  void SetValue(const TFont& value) { font = value; }
  void Assign(const TPersistent* source) override;

  std::string Name() const { return font.Name(); }
  void SetName(const std::string& value) { font.SetName(value); }
  int Size() const { return font.Size(); }
  void SetSize(int value) { font.SetSize(value); }
  int Color() const { return font.Color(); }
  void SetColor(int value) { font.SetColor(value); }
  // fsBold 1, fsItalic 2, fsUnderline 4, fsStrikeOut 8.
  int Style() const { return font.Style(); }
  void SetStyle(int value) { font.SetStyle(static_cast<TFontStyles>(value & 0x0F)); }

private:
  TFont font;
};

class TppPen : public TPersistent {
  RTL_DECLARE_CLASS(TppPen, TPersistent)

  const TPen& Value() const { return pen; }
  void Assign(const TPersistent* source) override;
  int Color() const { return pen.Color(); }
  void SetColor(int value) { pen.SetColor(value); }
  TPenStyle Style() const { return pen.Style(); }
  void SetStyle(TPenStyle value) { pen.SetStyle(value); }
  int Width() const { return pen.Width(); }
  void SetWidth(int value) { pen.SetWidth(value); }

private:
  TPen pen;
};

class TppBrush : public TPersistent {
  RTL_DECLARE_CLASS(TppBrush, TPersistent)

  const TBrush& Value() const { return brush; }
  void Assign(const TPersistent* source) override;
  int Color() const { return brush.Color(); }
  void SetColor(int value) { brush.SetColor(value); }
  TBrushStyle Style() const { return brush.Style(); }
  void SetStyle(TBrushStyle value) { brush.SetStyle(value); }

private:
  TBrush brush;
};

// A picture: a bitmap streamed as PNG bytes in the binary property "Data".
class TppPicture : public TPersistent {
  RTL_DECLARE_CLASS(TppPicture, TPersistent)

  TppPicture();
  ~TppPicture() override;
  // nullptr when empty.
  TBitmap* Bitmap() const { return bitmap.get(); }
  TBitmap& NewBitmap();
  void Clear();
  void Assign(const TPersistent* source) override;
  void DefineProperties(TFiler& filer) override;

private:
  std::unique_ptr<TBitmap> bitmap;
};
