#include "ppDrawBarCode.h"

#include <algorithm>
#include <vector>

#include "ppMessages.h"
#include "ppUnits.h"
#include "uiDialogs.h"
#include "uiMeasuringCanvas.h"

namespace {

constexpr int screenPixelsPerInch = 96;
// The smallest bar height a symbol gets.
constexpr int minBarHeight = 5;

int ToPixels(int thousandthsOfMM, int pixelsPerInch) {
  return ppRound(thousandthsOfMM / 25400.0 * pixelsPerInch);
}

int ToThousandthsOfMM(int pixels, int pixelsPerInch) { return ppRound(pixels * 25400.0 / pixelsPerInch); }

bool IsUPCFamily(TppBarCodeType type) {
  return type == bcUPC_A || type == bcUPC_E || type == bcEAN_13 || type == bcEAN_8;
}

// Draws in symbol coordinates on a device: x along the symbol, y across,
// turned by the orientation about the device rectangle at (X, Y) of the
// symbol's device size.
class TSymbolPainter {
public:
  TSymbolPainter(TCanvas& canvas, TppBarCodeOrientation orientation, int x, int y, int symbolWidth,
                 int symbolHeight)
      : canvas(canvas), orientation(orientation), X(x), Y(y) {
    const bool vertical = orientation == orTopToBottom || orientation == orBottomToTop;
    W = vertical ? symbolHeight : symbolWidth;
    H = vertical ? symbolWidth : symbolHeight;
  }

  // The device pixels of the symbol rectangle [x1, x2) x [y1, y2).
  TRect Map(int x1, int y1, int x2, int y2) const {
    switch (orientation) {
      case orLeftToRight:
        return {X + x1, Y + y1, X + x2, Y + y2};
      case orRightToLeft:
        return {X + W - x2, Y + H - y2, X + W - x1, Y + H - y1};
      case orTopToBottom:
        return {X + W - y2, Y + x1, X + W - y1, Y + x2};
      case orBottomToTop:
        return {X + y1, Y + H - x2, X + y2, Y + H - x1};
    }
    return {};
  }

  void Fill(int x1, int y1, int x2, int y2) {
    if (x2 > x1 && y2 > y1) canvas.FillRect(Map(x1, y1, x2, y2));
  }

  // Stripes across the symbol from y1 to y2, colours[i] at x1 + i (clNone
  // leaves one as it is). The brush is left as it was.
  void Stripes(int x1, int y1, int y2, std::vector<TColor>& colours) {
    const int x2 = x1 + static_cast<int>(colours.size());
    if (x2 <= x1 || y2 <= y1) return;
    if (orientation == orRightToLeft) std::reverse(colours.begin(), colours.end());
    if (orientation == orLeftToRight || orientation == orRightToLeft) return canvas.FillColumns(Map(x1, y1, x2, y2), colours);
    // Turned, the stripes are rows: one wide fill each.
    const TColor saved = canvas.Brush().Color();
    for (int start = 0; start < x2 - x1;) {
      int end = start;
      while (end < x2 - x1 && colours[static_cast<size_t>(end)] == colours[static_cast<size_t>(start)]) ++end;
      if (colours[static_cast<size_t>(start)] != clNone) {
        canvas.Brush().SetColor(colours[static_cast<size_t>(start)]);
        Fill(x1 + start, y1, x1 + end, y2);
      }
      start = end;
    }
    canvas.Brush().SetColor(saved);
  }

  // A text whose cell's top-left corner is at (x, y) in the symbol, read
  // along the symbol.
  void Text(int x, int y, const std::string& text) {
    switch (orientation) {
      case orLeftToRight: {
        const TBrushStyle style = canvas.Brush().Style();
        canvas.Brush().SetStyle(bsClear);
        canvas.TextOut(X + x, Y + y, text);
        canvas.Brush().SetStyle(style);
        return;
      }
      case orRightToLeft:
        return ppTextOutRotated(canvas, canvas.Font(), X + W - x, Y + H - y, text, 180);
      case orTopToBottom:
        return ppTextOutRotated(canvas, canvas.Font(), X + W - y, Y + x, text, 270);
      case orBottomToTop:
        return ppTextOutRotated(canvas, canvas.Font(), X + y, Y + H - x - 1, text, 90);
    }
  }

private:
  TCanvas& canvas;
  TppBarCodeOrientation orientation;
  int X;
  int Y;
  int W = 0;
  int H = 0;
};

}  // namespace

const TClassInfo& TppDrawBarCode::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDrawBarCode>("TppDrawBarCode")
          .Property("Alignment", &TppDrawBarCode::Alignment, &TppDrawBarCode::Alignment)
          .Default(taLeftJustify)
          .Property("AddOnCode", &TppDrawBarCode::AddOnCode, &TppDrawBarCode::AddOnCode)
          .Property("AutoEncode", &TppDrawBarCode::AutoEncode, &TppDrawBarCode::AutoEncode)
          .Default(0)
          .Property("AutoSize", &TppDrawBarCode::AutoSize, &TppDrawBarCode::AutoSize)
          .Default(1)
          .Property("AutoSizeFont", &TppDrawBarCode::AutoSizeFont, &TppDrawBarCode::AutoSizeFont)
          .Default(1)
          .Property("BarCodeType", &TppDrawBarCode::BarCodeType, &TppDrawBarCode::BarCodeType)
          .Default(bcCode39)
          .Property("BarColor", &TppDrawBarCode::BarColor, &TppDrawBarCode::BarColor)
          .Default(clBlack)
          .Idents(ppColorIdents())
          .Property("BarWidth", &TppDrawBarCode::BarWidth, &TppDrawBarCode::BarWidth)
          .Default(254)
          .Property("BearerBars", &TppDrawBarCode::BearerBars, &TppDrawBarCode::BearerBars)
          .Default(0)
          .Property("CalcCheckDigit", &TppDrawBarCode::CalcCheckDigit, &TppDrawBarCode::CalcCheckDigit)
          .Default(1)
          .Property("CodeOK", &TppDrawBarCode::CodeOK, &TppDrawBarCode::CodeOK)
          .Default(1)
          .Property("Color", &TppDrawBarCode::Color, &TppDrawBarCode::Color)
          .Default(clWhite)
          .Idents(ppColorIdents())
          .Property("Data", &TppDrawBarCode::Data, &TppDrawBarCode::Data)
          .Property("Font", &TppDrawBarCode::Font, &TppDrawBarCode::SetFont)
          .Property("Orientation", &TppDrawBarCode::Orientation, &TppDrawBarCode::Orientation)
          .Default(orLeftToRight)
          .Property("PrintHumanReadable", &TppDrawBarCode::PrintHumanReadable, &TppDrawBarCode::PrintHumanReadable)
          .Default(1)
          .Property("Transparent", &TppDrawBarCode::Transparent, &TppDrawBarCode::Transparent)
          .Default(0)
          .Property("WideBarRatio", &TppDrawBarCode::WideBarRatio, &TppDrawBarCode::WideBarRatio)
          .Build();
  return info;
}

TppDrawBarCode::TppDrawBarCode(TComponent* owner) : TppDrawCommand(owner), font(std::make_unique<TppFont>()) {}

void TppDrawBarCode::Assign(const TPersistent* source) {
  TppDrawCommand::Assign(source);
  const auto* other = dynamic_cast<const TppDrawBarCode*>(source);
  if (other == nullptr) return;
  Alignment = other->Alignment;
  AddOnCode = other->AddOnCode;
  AutoEncode = other->AutoEncode;
  AutoSize = other->AutoSize;
  AutoSizeFont = other->AutoSizeFont;
  BarCodeType = other->BarCodeType;
  BarColor = other->BarColor;
  BarWidth = other->BarWidth;
  BearerBars = other->BearerBars;
  CalcCheckDigit = other->CalcCheckDigit;
  CodeOK = other->CodeOK;
  Color = other->Color;
  Data = other->Data;
  font->Assign(other->font.get());
  Orientation = other->Orientation;
  PrintHumanReadable = other->PrintHumanReadable;
  Transparent = other->Transparent;
  WideBarRatio = other->WideBarRatio;
}

TppBarCodeSettings TppDrawBarCode::Settings() const {
  TppBarCodeSettings settings;
  settings.BarCodeType = BarCodeType;
  settings.Data = Data;
  settings.AddOnCode = AddOnCode;
  settings.AutoEncode = AutoEncode;
  settings.CalcCheckDigit = CalcCheckDigit;
  settings.BarWidth = BarWidth;
  settings.WideBarRatio = WideBarRatio;
  return settings;
}

void TppDrawBarCode::Encode(int pixelsPerInch) {
  moduleRow.clear();
  encodedText = Data;
  if (!CodeOK) return;
  TppBarCodeEncoding encoding = ppEncodeBarCode(Settings(), pixelsPerInch);
  encodedText = encoding.Text;
  if (!encoding.CodeOK) {
    CodeOK = false;
    if (encoding.ErrorMessage != 0 && !silent)
      ShowMessageBox({ppFormatMessage(encoding.ErrorMessage, {encoding.ErrorArgument}), {}, mtInformation});
    return;
  }
  moduleRow = std::move(encoding.Modules);
}

void TppDrawBarCode::EncodeSupplement(int pixelsPerInch) {
  supplementRow = ppEncodeSupplement(Settings(), pixelsPerInch);
}

void TppDrawBarCode::Measure(TCanvas& canvas) {
  const int ppi = canvas.PixelsPerInch();
  Encode(ppi);
  EncodeSupplement(ppi);
  DrawSymbol(canvas, 0, 0, TPoint{ppi, ppi}, false);
}

void TppDrawBarCode::PrintAt(TCanvas& canvas, int x, int y) {
  silent = true;
  const int ppi = canvas.PixelsPerInch();
  Encode(ppi);
  EncodeSupplement(ppi);
  DrawSymbol(canvas, x, y, TPoint{ppi, ppi}, false);
  const int along = ToThousandthsOfMM(symbolWidth, ppi);
  const int across = ToThousandthsOfMM(symbolHeight, ppi);
  SetWidth(IsVertical() ? across : along);
  SetHeight(IsVertical() ? along : across);
  // Sized as it will be painted: the canvas holds the font chosen.
  Paint(canvas, x, y, narrowPixels, textHeightPixels);
  silent = false;
}

void TppDrawBarCode::SizeFont(TCanvas& target, int pixelsPerInchAcross, int narrow) {
  target.Font() = font->Value();
  if (!AutoSizeFont || !CodeOK || BarCodeType == bcFIM || BarCodeType == bcPostnet) return;
  // The sizes are tried on a measuring canvas, which measures as every
  // canvas does; the target's font then changes once (a drawing canvas
  // prepares its glyphs for each font it is given).
  TMeasuringCanvas canvas(target.PixelsPerInch());
  canvas.Font() = font->Value();
  const double screenHeight = ppRound(static_cast<double>(barHeight) * screenPixelsPerInch / pixelsPerInchAcross);
  double factor = 0.25;
  if (IsUPCFamily(BarCodeType)) factor = 0.2;
  if (BarCodeType == bcInt2of5) factor = 0.15;
  const int start = std::max(1, ppRound(screenHeight * factor));
  int size = start;
  auto tooWide = [&] {
    canvas.Font().SetSize(size);
    switch (BarCodeType) {
      case bcUPC_A:
        return 5 * canvas.TextWidth("0") > 36 * narrow;
      case bcUPC_E:
        return 3 * canvas.TextWidth("0") > 42 * narrow;
      case bcEAN_13:
        return canvas.TextWidth("000000") > 42 * narrow;
      case bcEAN_8:
        return canvas.TextWidth("0000") > 28 * narrow;
      default:
        return canvas.TextWidth("0") * static_cast<int>(Data.size()) > symbolWidth;
    }
  };
  // The largest size from the start down that is not too wide (never below
  // 1). Widths grow with the size, so one measurement tells roughly where
  // that is and a few more settle it: measuring text is the slow part.
  if (tooWide() && size > 1) {
    const auto excess = [&]() -> double {
      switch (BarCodeType) {
        case bcUPC_A: return 5.0 * canvas.TextWidth("0") / (36 * narrow);
        case bcUPC_E: return 3.0 * canvas.TextWidth("0") / (42 * narrow);
        case bcEAN_13: return static_cast<double>(canvas.TextWidth("000000")) / (42 * narrow);
        case bcEAN_8: return static_cast<double>(canvas.TextWidth("0000")) / (28 * narrow);
        default:
          return static_cast<double>(canvas.TextWidth("0")) * static_cast<double>(Data.size()) /
                 std::max(symbolWidth, 1);
      }
    }();
    size = std::clamp(static_cast<int>(size / excess), 1, start - 1);
    if (tooWide()) {
      while (size > 1 && tooWide()) --size;
    } else {
      while (size + 1 < start) {
        ++size;
        if (tooWide()) {
          --size;
          break;
        }
      }
    }
  }
  canvas.Font().SetSize(size);
  target.Font() = canvas.Font();
}

void TppDrawBarCode::DrawSymbol(TCanvas& canvas, int x, int y, TPoint pixelsPerInch, bool draw) {
  const bool vertical = IsVertical();
  const int along = vertical ? pixelsPerInch.Y : pixelsPerInch.X;
  const int across = vertical ? pixelsPerInch.X : pixelsPerInch.Y;
  const double barInches = BarWidth / 25400.0;
  const TppBarCodeSettings settings = Settings();
  const int narrow = ppNarrowElement(settings, along);
  const int rowLength = static_cast<int>(moduleRow.size());

  if (IsUPCFamily(BarCodeType))
    quietZone = 9 * ppNarrowElement(settings, pixelsPerInch.X);
  else if (BarCodeType == bcInt2of5)
    quietZone = ppRound(rowLength * 0.03);
  else
    quietZone = 0;
  symbolWidth = rowLength + (BarCodeType == bcPostnet ? 0 : 2 * quietZone);
  if (!supplementRow.empty()) symbolWidth += static_cast<int>(supplementRow.size()) + 9 * narrow;

  if (AutoSize) {
    double height = 0;
    switch (BarCodeType) {
      case bcUPC_A:
      case bcUPC_E:
        height = barInches * 73.85 * across;
        break;
      case bcEAN_13:
      case bcEAN_8:
        height = 0.85 * rowLength;
        break;
      case bcInt2of5:
        height = 0.6 * symbolWidth;
        break;
      case bcMSI:
        height = 0.2 * symbolWidth;
        break;
      case bcPostnet:
        height = 0.125 * across;
        break;
      case bcFIM:
        height = 20.0 * narrow;
        break;
      default:
        height = 0.25 * symbolWidth;
        break;
    }
    barHeight = std::max(minBarHeight, ppRound(height));
  } else {
    barHeight = ToPixels(vertical ? Width() : Height(), across);
  }

  SizeFont(canvas, across, narrow);
  const int textHeight = PrintHumanReadable ? canvas.TextHeight("0") : 0;
  narrowPixels = narrow;
  textHeightPixels = textHeight;
  if (AutoSize) {
    symbolHeight = barHeight + textHeight;
  } else {
    // The floor holds for the bars that are left once the text has its
    // room; a symbol too low for both grows to hold them.
    barHeight = std::max(minBarHeight, barHeight - textHeight);
    symbolHeight = std::max(ToPixels(IsVertical() ? Width() : Height(), across), barHeight + textHeight);
  }
  if (draw) Paint(canvas, x, y, narrow, textHeight);
}

void TppDrawBarCode::Paint(TCanvas& canvas, int x, int y, int narrow, int textHeight) {
  TSymbolPainter painter(canvas, Orientation, x, y, symbolWidth, symbolHeight);
  canvas.Brush().SetStyle(bsSolid);
  const bool bars = CodeOK && !moduleRow.empty();
  if (!Transparent && !bars) {
    canvas.Brush().SetColor(Color);
    painter.Fill(0, 0, symbolWidth, symbolHeight);
  }
  if (!bars) return;
  canvas.Pen().SetWidth(1);
  canvas.Pen().SetStyle(psSolid);
  canvas.Font().SetColor(BarColor);

  const bool upc = IsUPCFamily(BarCodeType);
  const int x0 = BarCodeType == bcPostnet ? 0 : quietZone;
  const int rowEnd = x0 + static_cast<int>(moduleRow.size());
  const int extension = upc && textHeight > 0 ? std::max(0, textHeight / 2 - narrow) : 0;
  const int barsBottom = std::min(barHeight + extension, symbolHeight);
  const int halfBarTop = barHeight - ppRound(barHeight * 0.6);
  // Each pixel is painted once: the background only where no bar goes (a
  // symbol at printer resolution is mostly area to fill).
  if (!Transparent) {
    canvas.Brush().SetColor(Color);
    painter.Fill(0, 0, x0, symbolHeight);
    painter.Fill(rowEnd, 0, symbolWidth, symbolHeight);
    painter.Fill(x0, barsBottom, rowEnd, symbolHeight);
  }
  const TColor light = Transparent ? clNone : Color;
  std::vector<TColor> stripes(moduleRow.size());
  if (BarCodeType == bcPostnet) {
    // Above the half bars only the full ones.
    for (size_t i = 0; i < moduleRow.size(); ++i) stripes[i] = moduleRow[i] == '2' ? BarColor : light;
    painter.Stripes(x0, 0, halfBarTop, stripes);
  }
  const int stripesTop = BarCodeType == bcPostnet ? halfBarTop : 0;
  for (size_t i = 0; i < moduleRow.size(); ++i) stripes[i] = moduleRow[i] == '0' ? light : BarColor;
  painter.Stripes(x0, stripesTop, barsBottom, stripes);
  canvas.Brush().SetColor(BarColor);
  if (BearerBars) {
    painter.Fill(0, 0, symbolWidth, 3 * narrow);
    painter.Fill(0, barHeight - 3 * narrow, symbolWidth, barHeight);
  }

  if (PrintHumanReadable && BarCodeType != bcFIM) {
    // A digit group centred on a background patch between two module
    // positions; the patch cuts the extended bars.
    auto group = [&](int fromModule, int toModule, const std::string& digits) {
      const int left = x0 + fromModule * narrow;
      const int right = x0 + toModule * narrow;
      if (!Transparent) {
        canvas.Brush().SetColor(Color);
        painter.Fill(left, barHeight, right, symbolHeight);
      }
      painter.Text(left + (right - left - canvas.TextWidth(digits)) / 2, barHeight, digits);
    };
    const std::string& text = encodedText;
    if (BarCodeType == bcUPC_A && text.size() == 12) {
      group(10, 45, text.substr(1, 5));
      group(50, 85, text.substr(6, 5));
      const int size = canvas.Font().Size();
      canvas.Font().SetSize(std::max(1, ppRound(size * 0.75)));
      painter.Text(x0 - narrow - canvas.TextWidth(text.substr(0, 1)), barHeight, text.substr(0, 1));
      painter.Text(x0 + 96 * narrow, barHeight, text.substr(11, 1));
      canvas.Font().SetSize(size);
    } else if (BarCodeType == bcUPC_E && text.size() == 7) {
      group(3, 45, text.substr(0, 6));
    } else if (BarCodeType == bcEAN_13 && text.size() == 13) {
      painter.Text(x0 - narrow - canvas.TextWidth(text.substr(0, 1)), barHeight, text.substr(0, 1));
      group(3, 45, text.substr(1, 6));
      group(50, 92, text.substr(7, 6));
    } else if (BarCodeType == bcEAN_8 && text.size() == 8) {
      group(3, 31, text.substr(0, 4));
      group(36, 64, text.substr(4, 4));
    } else if (!upc) {
      std::string shown;
      if (BarCodeType == bcCode128) {
        for (char c : Data)
          if (c >= 32 && c <= 126) shown += c;
      } else {
        shown = Data;
      }
      const int width = canvas.TextWidth(shown);
      int left = 0;
      if (Alignment == taRightJustify) left = symbolWidth - width;
      if (Alignment == taCenter) left = (symbolWidth - width) / 2;
      if (!Transparent) {
        canvas.Brush().SetColor(Color);
        painter.Fill(left, barHeight, left + width, symbolHeight);
      }
      painter.Text(left, barHeight, shown);
    }
  }

  if (!supplementRow.empty()) {
    const int start = x0 + static_cast<int>(moduleRow.size()) + 9 * narrow;
    canvas.Brush().SetColor(BarColor);
    for (size_t i = 0; i < supplementRow.size(); ++i)
      if (supplementRow[i] == '1') painter.Fill(start + static_cast<int>(i), textHeight, start + static_cast<int>(i) + 1, barHeight);
    if (PrintHumanReadable) {
      const int end = start + static_cast<int>(supplementRow.size());
      painter.Text(end - canvas.TextWidth(AddOnCode), 0, AddOnCode);
    }
  }
}
