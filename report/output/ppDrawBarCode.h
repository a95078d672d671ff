#pragma once
// The draw command of a bar code: every setting of the symbol and its
// data, encoded into device pixel columns for the canvas it is drawn on,
// sized, and painted with its bearer bars, human-readable text and UPC/EAN
// supplement in one of four orientations.
//
// Symbol coordinates run x along the symbol and y across it; the device
// gets them turned by the orientation (the vertical ones exchange the
// symbol's width and height on the device).

#include <memory>
#include <string>

#include "dbTypes.h"
#include "ppBarCodeEncode.h"
#include "ppDrwCmd.h"
#include "ppGraphics.h"
#include "uiCanvas.h"

enum TppBarCodeOrientation : uint8_t { orLeftToRight, orRightToLeft, orTopToBottom, orBottomToTop };
RTL_ENUM_TYPE(TppBarCodeOrientation, "orLeftToRight", "orRightToLeft", "orTopToBottom", "orBottomToTop")

class TppDrawBarCode : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawBarCode, TppDrawCommand)

  explicit TppDrawBarCode(TComponent* owner);

  TAlignment Alignment = taLeftJustify;
  std::string AddOnCode;
  bool AutoEncode = false;
  bool AutoSize = true;
  bool AutoSizeFont = true;
  TppBarCodeType BarCodeType = bcCode39;
  int BarColor = clBlack;
  // The narrow element in thousandths of a millimetre.
  int BarWidth = 254;
  bool BearerBars = false;
  bool CalcCheckDigit = true;
  bool CodeOK = true;
  int Color = clWhite;
  std::string Data;
  TppBarCodeOrientation Orientation = orLeftToRight;
  bool PrintHumanReadable = true;
  bool Transparent = false;
  float WideBarRatio = 3.0f;
  TppFont* Font() const { return font.get(); }
  void SetFont(TppFont* value) {
    if (value) font->Assign(value);
  }

  void Assign(const TPersistent* source) override;

  bool IsVertical() const { return Orientation == orTopToBottom || Orientation == orBottomToTop; }
  // Builds the module row (and the supplement row) for a resolution along
  // the symbol. A Code 128 text that cannot be encoded clears CodeOK and,
  // unless silent, is shown in an information box.
  void Encode(int pixelsPerInch);
  void EncodeSupplement(int pixelsPerInch);
  // Sizes the symbol for the resolutions (x: horizontal, y: vertical) and,
  // when draw is set, paints it with its top-left corner at (x, y).
  void DrawSymbol(TCanvas& canvas, int x, int y, TPoint pixelsPerInch, bool draw);
  // Encodes at the canvas's resolution and sizes without painting.
  void Measure(TCanvas& canvas);
  // What a printer does: encodes along the symbol at the canvas's
  // resolution without message boxes, makes the symbol's size the
  // command's (thousandths of a millimetre) and paints it at (x, y).
  void PrintAt(TCanvas& canvas, int x, int y);

  const std::string& ModuleRow() const { return moduleRow; }
  // The text the symbol stands for (check digits included).
  // The symbol's size along and across it, in device pixels.
  int SymbolWidth() const { return symbolWidth; }
  int SymbolHeight() const { return symbolHeight; }
  int QuietZone() const { return quietZone; }
  // The height of the bars without the human-readable text.
  int BarHeight() const { return barHeight; }
  bool Silent() const { return silent; }
  void SetSilent(bool value) { silent = value; }

private:
  std::unique_ptr<TppFont> font;
  std::string moduleRow;
  std::string supplementRow;
  std::string encodedText;
  int symbolWidth = 0;
  int symbolHeight = 0;
  int quietZone = 0;
  int barHeight = 0;
  // The narrow element and the text's height of the last sizing.
  int narrowPixels = 1;
  int textHeightPixels = 0;
  bool silent = false;

  TppBarCodeSettings Settings() const;
  void SizeFont(TCanvas& canvas, int pixelsPerInchAcross, int narrow);
  void Paint(TCanvas& canvas, int x, int y, int narrow, int textHeight);
};
