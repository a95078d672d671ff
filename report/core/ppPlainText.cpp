#include "ppPlainText.h"

#include <algorithm>

#include "rtlConvert.h"
#include "rtlStrings.h"
#include "uiMeasuringCanvas.h"

namespace {

bool IsSpecial(const std::string& text, size_t i) {
  const char c = text[i];
  if (c == TppTextMarkups::Blank || c == TppTextMarkups::Tab || c == TppTextMarkups::CarriageReturn ||
      c == TppTextMarkups::LineFeed || c == '\0')
    return true;
  return text.compare(i, 3, TppTextMarkups::LineBreakMarker) == 0;
}

// The canvas text is measured on: the printer's, or a measuring canvas at
// the screen's resolution.
class TMeasureSurface {
public:
  TMeasureSurface(TppCanvasPrinter* printer, const TFont& font) : printer(printer) {
    canvas = printer ? printer->MeasuringCanvas() : nullptr;
    if (!canvas) {
      // One per thread, so that the fonts it has measured stay known.
      static thread_local TMeasuringCanvas screen(ppScreenPixelsPerInch);
      canvas = &screen;
      this->printer = nullptr;
    }
    canvas->Font() = font;
  }
  TCanvas& Canvas() { return *canvas; }
  TppUnitType PixelUnit() const { return printer ? utPrinterPixels : utScreenPixels; }
  int ToMM(int pixels, TppAxis axis) const { return ppUnitsToMMThousandths(pixels, PixelUnit(), axis, printer); }
  int ToPixels(int mm, TppAxis axis) const {
    return static_cast<int>(ppMMThousandthsToUnits(mm, PixelUnit(), axis, printer));
  }
  TppCanvasPrinter* Printer() const { return printer; }

private:
  TppCanvasPrinter* printer;
  TCanvas* canvas = nullptr;
};

bool IsBlank(const std::string& token) { return token.size() == 1 && token[0] == TppTextMarkups::Blank; }
bool IsBreak(const std::string& token) { return token == TppTextMarkups::LineBreak; }

size_t NextCharEnd(const std::string& s, size_t i) {
  ++i;
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// One call of the wrapper.
class TppTextWrapper {
public:
  TppTextWrapper(const std::string& text, const TppWrapOptions& options, const TFont& font,
                 TppCanvasPrinter* printer, TStrings& lines)
      : text(text), options(options), surface(printer, font), lines(lines) {}

  TppWrapResult Wrap(int& startPosition);

private:
  const std::string& text;
  const TppWrapOptions& options;
  TMeasureSurface surface;
  TStrings& lines;
  TppPlainTextParser parser;
  std::vector<int> tabStops;
  bool hasTabs = false;
  int lineHeight = 0;
  int availableWidth = 0;
  int widestLine = 0;
  std::string line;

  int Measure(const std::string& s) {
    const int pixels = hasTabs ? TppPlainText::GetTabbedTextWidth(surface.Canvas(), s, tabStops)
                               : surface.Canvas().TextWidth(s);
    return surface.ToMM(pixels, axHorizontal);
  }
  bool Fits(const std::string& s) { return Measure(s) <= availableWidth; }
  bool RoomForAnotherLine() const {
    return static_cast<int64_t>(lines.Count() + 1) * lineHeight + options.Rect.Top <= options.Rect.Bottom;
  }
  void FinishLine(bool hardBreak);
};

void TppTextWrapper::FinishLine(bool hardBreak) {
  while (!line.empty() && line.back() == TppTextMarkups::Blank) line.pop_back();
  widestLine = std::max(widestLine, Measure(line));
  if (hardBreak && options.Justification == taFullJustified) line += TppTextMarkups::LineBreakMarker;
  lines.Add(line);
  line.clear();
}

TppWrapResult TppTextWrapper::Wrap(int& startPosition) {
  lines.Clear();
  lineHeight = surface.ToMM(surface.Canvas().TextHeight("W"), axVertical) + options.Leading;
  if (options.TabStops) tabStops = TppPlainText::TabStopsToPixels(surface.PixelUnit(), *options.TabStops, surface.Printer());
  hasTabs = text.find(TppTextMarkups::Tab) != std::string::npos;
  availableWidth = options.Rect.Width();
  if (!options.WordWrap) availableWidth += Measure(" ");
  const TppWrapResult noRoom{0, lineHeight};
  if (lineHeight <= 0 || options.Rect.Top + lineHeight >= options.Rect.Bottom) return noRoom;

  startPosition = std::clamp(startPosition, 0, static_cast<int>(text.size()));
  parser.SetText(text);
  parser.SetPosition(startPosition);
  bool lineStart = startPosition != 0;  // blanks are dropped after a wrap
  int droppedBlanks = 0;
  std::string pending;
  auto stopAt = [&](const std::string& carried) {
    startPosition = parser.Position() - static_cast<int>(carried.size());
    if (IsBlank(carried)) ++startPosition;  // it would be dropped anyway
  };
  for (;;) {
    std::string token = pending.empty() ? parser.NextToken() : pending;
    pending.clear();
    if (token.empty()) break;
    if (IsBreak(token)) {
      FinishLine(true);
      lineStart = false;
      droppedBlanks = 0;
      if (!RoomForAnotherLine()) {
        stopAt("");
        return TppWrapResult{widestLine, lineHeight};
      }
      continue;
    }
    if (lineStart && line.empty() && IsBlank(token) && droppedBlanks < 2) {
      ++droppedBlanks;
      continue;
    }
    if (Fits(line + token)) {
      line += token;
      lineStart = false;
      continue;
    }
    std::string carried = token;
    if (options.CharWrap || !Fits(token)) {
      // Split: the characters that still fit stay on this line.
      size_t keep = 0;
      for (size_t end = NextCharEnd(token, 0); end <= token.size(); end = NextCharEnd(token, end)) {
        if (!Fits(line + token.substr(0, end))) break;
        keep = end;
        if (end == token.size()) break;
      }
      if (keep == 0 && line.empty()) keep = NextCharEnd(token, 0);
      line += token.substr(0, keep);
      carried = token.substr(keep);
    }
    FinishLine(false);
    lineStart = true;
    droppedBlanks = 0;
    if (!RoomForAnotherLine()) {
      stopAt(carried);
      return TppWrapResult{widestLine, lineHeight};
    }
    pending = carried;
  }
  if (!line.empty()) FinishLine(true);
  startPosition = parser.Position();
  return TppWrapResult{widestLine, lineHeight};
}

}  // namespace

void TppPlainTextParser::SetText(const std::string& value) {
  text = value;
  position = 0;
  atEnd = text.empty();
}

void TppPlainTextParser::SetPosition(int value) {
  position = std::clamp(value, 0, static_cast<int>(text.size()));
  atEnd = position >= static_cast<int>(text.size());
}

std::string TppPlainTextParser::NextToken() {
  const size_t size = text.size();
  size_t i = static_cast<size_t>(position);
  if (i >= size || text[i] == '\0') {
    atEnd = true;
    return {};
  }
  std::string token;
  const char c = text[i];
  if (c == TppTextMarkups::Blank || c == TppTextMarkups::Tab) {
    token.assign(1, c);
    ++i;
  } else if (c == TppTextMarkups::CarriageReturn) {
    token = TppTextMarkups::LineBreak;
    ++i;
    if (i < size && text[i] == TppTextMarkups::LineFeed) ++i;
  } else if (c == TppTextMarkups::LineFeed) {
    token = TppTextMarkups::LineBreak;
    ++i;
  } else if (text.compare(i, 3, TppTextMarkups::LineBreakMarker) == 0) {
    token = TppTextMarkups::LineBreak;
    i += 3;
  } else {
    const size_t start = i;
    while (i < size && !IsSpecial(text, i)) ++i;
    token = text.substr(start, i - start);
  }
  position = static_cast<int>(i);
  atEnd = i >= size;
  return token;
}

TppWrapResult TppPlainText::WrapText(const std::string& text, const TppWrapOptions& options, const TFont& font,
                                     TppCanvasPrinter* printer, TStrings& lines, int& startPosition) {
  TppTextWrapper wrapper(text, options, font, printer, lines);
  return wrapper.Wrap(startPosition);
}

int TppPlainText::GetTabbedTextWidth(TCanvas& canvas, const std::string& text, const std::vector<int>& tabStops) {
  const int defaultInterval = std::max(1, 8 * canvas.TextMetrics().AveCharWidth);
  int x = 0;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find(TppTextMarkups::Tab, start);
    x += canvas.TextWidth(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return x;
    int next = -1;
    if (tabStops.size() == 1 && tabStops[0] > 0) {
      next = (x / tabStops[0] + 1) * tabStops[0];
    } else {
      for (int stop : tabStops)
        if (stop > x) {
          next = stop;
          break;
        }
    }
    if (next < 0) next = (x / defaultInterval + 1) * defaultInterval;
    x = next;
    start = tab + 1;
  }
}

void TppPlainText::JustifyLine(TCanvas& canvas, const std::string& text, int width) {
  const size_t first = text.find_first_not_of(TppTextMarkups::Blank);
  if (text.empty() || first == std::string::npos) {
    canvas.SetTextJustification(0, 0);
    return;
  }
  const size_t last = text.find_last_not_of(TppTextMarkups::Blank);
  const int blanks = static_cast<int>(std::count(text.begin() + first, text.begin() + last, TppTextMarkups::Blank));
  canvas.SetTextJustification(0, 0);
  canvas.SetTextJustification(width - canvas.TextWidth(text), blanks);
}

int TppPlainText::LinesPerHeight(const TFont& font, int leading, int& lineHeight, TppCanvasPrinter* printer,
                                 int height) {
  TMeasureSurface surface(printer, font);
  const int linePixels = surface.Canvas().TextMetrics().Height + surface.ToPixels(leading, axVertical);
  lineHeight = surface.ToMM(linePixels, axVertical);
  if (linePixels <= 0) return 0;
  return ppRound(static_cast<double>(surface.ToPixels(height, axVertical)) / linePixels);
}

std::vector<int> TppPlainText::TabStopsToPixels(TppUnitType unit, const TStrings& list, TppCanvasPrinter* printer) {
  std::vector<int> pixels;
  if (unit != utScreenPixels && unit != utPrinterPixels) return pixels;
  for (int i = 0; i < list.Count(); ++i)
    pixels.push_back(static_cast<int>(ppMMThousandthsToUnits(StrToIntDef(list.Get(i), 0), unit, axHorizontal, printer)));
  return pixels;
}

std::string TppPlainText::DeleteAll(const std::string& text, const std::string& part) {
  if (part.empty()) return text;
  std::string out;
  size_t start = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, start)) {
    out.append(text, start, at - start);
    start = at + part.size();
  }
  out.append(text, start, std::string::npos);
  return out;
}
