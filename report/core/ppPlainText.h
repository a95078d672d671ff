#pragma once
// The engine's plain-text layout: a tokenizer for stored text, a word and
// character wrapper that fills a rectangle and tells where the text goes
// on, and the measuring helpers that memos, text commands and devices use.

#include <memory>
#include <string>
#include <vector>

#include "ppPrinterCanvas.h"
#include "ppTypes.h"
#include "uiCanvas.h"

class TStrings;

// The characters with a meaning in text.
struct TppTextMarkups {
  static constexpr char Tab = '\t';
  static constexpr char CarriageReturn = '\r';
  static constexpr char LineFeed = '\n';
  static constexpr const char* LineBreak = "\r\n";
  static constexpr char Blank = ' ';
  // Stands for a hard line break inside stored wrapped text, so that a
  // justified line before it is not stretched ("$" and the pilcrow, UTF-8).
  static constexpr const char* LineBreakMarker = "$\xC2\xB6";
};

class TppPlainTextParser {
public:
  void SetText(const std::string& value);
  // Next reading starts after this many bytes.
  void SetPosition(int value);
  int Position() const { return position; }
  bool AtEnd() const { return atEnd; }
  // One token: a blank, a tab, the line break "\r\n" (for CR LF, LF alone
  // or the marker) or a run of other characters; empty at the end.
  std::string NextToken();

private:
  std::string text;
  int position = 0;  // bytes read
  bool atEnd = true;
};

struct TppWrapOptions {
  TRect Rect;                  // mm-thousandths
  int Leading = 0;             // mm-thousandths added to each line
  bool WordWrap = true;
  bool CharWrap = false;       // split words at any character
  TppTextAlignment Justification = taLeftJustified;
  const TStrings* TabStops = nullptr;  // mm-thousandths as integer texts
};

struct TppWrapResult {
  int WidestLine = 0;   // mm-thousandths
  int LineHeight = 0;   // mm-thousandths, leading included
};

class TppPlainText {
public:
  // Wraps text into lines (cleared first) for the rectangle, starting at
  // startPosition (bytes); on return startPosition is where the next
  // rectangle goes on, the text's length when all of it was placed.
  static TppWrapResult WrapText(const std::string& text, const TppWrapOptions& options, const TFont& font,
                                TppCanvasPrinter* printer, TStrings& lines, int& startPosition);
  // Width in pixels of a text whose tabs advance to the given stops
  // (pixels); without stops every eight average characters.
  static int GetTabbedTextWidth(TCanvas& canvas, const std::string& text, const std::vector<int>& tabStops);
  // Spreads (width - text width) over the blanks inside the line; an empty
  // line switches justification off.
  static void JustifyLine(TCanvas& canvas, const std::string& text, int width);
  // How many lines of the font fit a height (mm-thousandths); lineHeight
  // gets one line's height in mm-thousandths.
  static int LinesPerHeight(const TFont& font, int leading, int& lineHeight, TppCanvasPrinter* printer,
                            int height);
  // Screen or printer pixels of each stop; other units give none.
  static std::vector<int> TabStopsToPixels(TppUnitType unit, const TStrings& list, TppCanvasPrinter* printer);
  static std::string DeleteAll(const std::string& text, const std::string& part);
};
