#pragma once
// Lays rich text out on a canvas and draws it: a range of characters is
// broken into lines at blanks (a word wider than the line at characters),
// the lines placed from the top of a rectangle while they fit its height,
// each aligned and indented as its paragraph asks, with its spacing and
// tab stops, runs of one line on a common baseline. Lines are broken only
// as far as the rectangle's height needs, so measuring page after page of
// a long text costs each page's part, not the rest of the text. Measuring and drawing share the layout, so a range measured
// on a canvas draws the same on it; on the measuring canvas the result is
// the same on every machine.

#include <deque>
#include <string>
#include <vector>

#include "uiCanvas.h"
#include "uiRichText.h"

struct TRichRangeResult {
  // The last character placed (first - 1 when none fits).
  int LastChar = -1;
  // Pixels from the rectangle's top that the placed lines take; when every
  // character fits, at least one line of the canvas's font.
  int Height = 0;
  bool AllFit = false;
  // The range was broken after a paragraph end or a line break.
  bool CleanBreak = false;
};

class TRichTextLayout {
public:
  // Lines break as they do on reference (the canvas itself when none), at
  // its resolution, whatever the canvas's.
  TRichTextLayout(const TRichDocument& document, TCanvas& canvas, TCanvas* reference = nullptr)
      : document(document), canvas(canvas), measure(reference ? *reference : canvas) {}

  // Characters first to last (-1: to the end) in the rectangle. With
  // firstLineAlways the first line is placed even when it is higher than
  // the rectangle, so that a caller with no more room to give still
  // makes progress; drawing always places it (clipped by the canvas).
  TRichRangeResult MeasureRange(const TRect& rect, int first, int last, bool firstLineAlways = false);
  TRichRangeResult DrawRange(const TRect& rect, int first, int last);

private:
  struct TPiece {
    const TFont* Font = nullptr;
    std::string Text;
    int CharPos = 0;
    int Chars = 0;
    enum TKind { pkText, pkSpace, pkTab, pkBreak, pkParagraphEnd } Kind = pkText;
    const TRichParagraphFormat* Format = nullptr;
    bool StartsParagraph = false;
  };
  // A piece, or the part of one a line holds (bytes Offset, Length).
  struct TPlaced {
    size_t Piece;
    size_t Offset;
    size_t Length;
    int X;
    int Width;
  };
  struct TLine {
    std::vector<TPlaced> Items;
    int Width = 0;  // from the rectangle's left, without trailing blanks
    int Height = 0;  // spacing included
    int Ascent = 0;  // from the line's top, space before included
    int Right = 0;  // the right edge lines of this paragraph keep to
    int LastChar = -1;
    bool EndsClean = false;
    TRichAlignment Alignment = raLeft;
  };

  const TRichDocument& document;
  TCanvas& canvas;
  TCanvas& measure;
  // Made as line breaking reaches them (references stay valid).
  std::deque<TPiece> pieces;
  struct TCursor {
    size_t Paragraph = 0;
    size_t Run = 0;
    int Pos = 0;
    int ParagraphStart = 0;
    int First = 0;
    int Last = -1;
  } cursor;
  std::vector<int> paragraphStarts;  // the first position of each paragraph

  void StartPieces(int first, int last);
  // Appends the pieces of the next run or paragraph end in the range;
  // false when none is left.
  bool MorePieces();
  bool HasPiece(size_t index);
  // Stops after the first line that passes maxHeight.
  std::vector<TLine> BreakLines(int width, int maxHeight);
  int Width(const TPiece& piece);
  int Pixels(int twips) const;
  // Measuring places the lines; drawing also paints them. The first line
  // always placed counts as fitting even when it is taller than the
  // rectangle.
  enum class TRangePass { Measure, MeasureFirstLineAlways, Draw };
  TRichRangeResult Run(const TRect& rect, int first, int last, TRangePass pass);
};
