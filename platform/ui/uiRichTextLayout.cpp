#include "uiRichTextLayout.h"

#include <algorithm>

#include "rtlUtf8.h"

namespace {

// Bytes of the UTF-8 character that starts at text[i].
size_t CharBytes(const std::string& text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return std::min(n, text.size() - i);
}

}  // namespace

void TRichTextLayout::StartPieces(int first, int last) {
  pieces.clear();
  cursor = TCursor{};
  cursor.First = first;
  cursor.Last = last;
  // Whole paragraphs before the range are skipped by their first
  // positions, counted once for every range of this layout.
  if (paragraphStarts.empty()) {
    int pos = 0;
    for (const TRichParagraph& paragraph : document.Paragraphs) {
      paragraphStarts.push_back(pos);
      for (const TRichRun& run : paragraph.Runs) pos += static_cast<int>(Utf8Length(run.Text));
      ++pos;
    }
  }
  const auto after = std::upper_bound(paragraphStarts.begin(), paragraphStarts.end(), first);
  if (after != paragraphStarts.begin()) {
    cursor.Paragraph = static_cast<size_t>(after - paragraphStarts.begin() - 1);
    cursor.Pos = paragraphStarts[cursor.Paragraph];
  }
  cursor.ParagraphStart = cursor.Pos;
}

bool TRichTextLayout::MorePieces() {
  auto inRange = [&](int p) { return p >= cursor.First && (cursor.Last < 0 || p <= cursor.Last); };
  const size_t before = pieces.size();
  while (pieces.size() == before) {
    if (cursor.Paragraph >= document.Paragraphs.size() || (cursor.Last >= 0 && cursor.Pos > cursor.Last)) return false;
    const TRichParagraph& paragraph = document.Paragraphs[cursor.Paragraph];
    int& pos = cursor.Pos;
    if (cursor.Run < paragraph.Runs.size()) {
      const TRichRun& run = paragraph.Runs[cursor.Run++];
      const std::string& text = run.Text;
      if (pos + static_cast<int>(text.size()) < cursor.First) {
        pos += static_cast<int>(Utf8Length(text));
        continue;
      }
      for (size_t i = 0; i < text.size();) {
        const size_t bytes = CharBytes(text, i);
        const char c = text[i];
        const TPiece::TKind kind = c == ' '    ? TPiece::pkSpace
                                   : c == '\t' ? TPiece::pkTab
                                   : c == '\n' ? TPiece::pkBreak
                                               : TPiece::pkText;
        if (inRange(pos)) {
          const bool joins = !pieces.empty() && pieces.back().Font == &run.Font && pieces.back().Kind == kind &&
                             (kind == TPiece::pkText || kind == TPiece::pkSpace) &&
                             pieces.back().CharPos + pieces.back().Chars == pos;
          if (!joins)
            pieces.push_back(
                TPiece{&run.Font, {}, pos, 0, kind, &paragraph.Format, pos == cursor.ParagraphStart});
          pieces.back().Text.append(text, i, bytes);
          ++pieces.back().Chars;
        }
        ++pos;
        i += bytes;
      }
      continue;
    }
    if (inRange(pos)) {
      const TFont* font = paragraph.Runs.empty() ? nullptr : &paragraph.Runs.back().Font;
      pieces.push_back(
          TPiece{font, {}, pos, 1, TPiece::pkParagraphEnd, &paragraph.Format, pos == cursor.ParagraphStart});
    }
    ++pos;
    ++cursor.Paragraph;
    cursor.Run = 0;
    cursor.ParagraphStart = pos;
  }
  return true;
}

bool TRichTextLayout::HasPiece(size_t index) {
  while (index >= pieces.size())
    if (!MorePieces()) return false;
  return true;
}

int TRichTextLayout::Width(const TPiece& piece) {
  if (piece.Font != nullptr) measure.Font() = *piece.Font;
  return measure.TextWidth(piece.Text);
}

int TRichTextLayout::Pixels(int twips) const {
  return static_cast<int>(static_cast<int64_t>(twips) * measure.PixelsPerInch() / 1440);
}

std::vector<TRichTextLayout::TLine> TRichTextLayout::BreakLines(int width, int maxHeight) {
  std::vector<TLine> lines;
  TLine line;
  int x = 0;
  int total = 0;
  const TFont baseFont = measure.Font();
  const TFont* lastFont = &baseFont;
  const TRichParagraphFormat plain;
  const TRichParagraphFormat* format = HasPiece(0) ? pieces.front().Format : &plain;
  bool paragraphFirstLine = HasPiece(0) && pieces.front().StartsParagraph;
  int left = 0;
  // Where a line starts and ends: the paragraph's indents, the first line's
  // own, never narrower than one pixel.
  auto startLine = [&] {
    left = std::clamp(Pixels(format->LeftIndent + (paragraphFirstLine ? format->FirstIndent : 0)), 0,
                      std::max(0, width - 1));
    line.Right = std::clamp(width - Pixels(format->RightIndent), left + 1, std::max(left + 1, width));
    x = left;
  };
  startLine();
  // Runs keep their fonts, so a font's metrics are asked for once per
  // change of run, not once per piece.
  const TFont* metricFont = nullptr;
  TTextMetric metric{};
  auto grow = [&](const TFont* font) {
    if (font != nullptr) lastFont = font;
    if (lastFont != metricFont) {
      measure.Font() = *lastFont;
      metric = measure.TextMetrics();
      metricFont = lastFont;
    }
    line.Height = std::max(line.Height, metric.Height);
    line.Ascent = std::max(line.Ascent, metric.Ascent);
  };
  bool stopped = false;
  // How a line ends: wrapped inside a word run, at a clean break, or with
  // its paragraph.
  enum class TLineEnd { Wrapped, Clean, Paragraph };
  auto finish = [&](TLineEnd end) {
    const bool paragraphEnds = end == TLineEnd::Paragraph;
    if (line.Height == 0) grow(nullptr);
    if (format->LineSpacing > 0) line.Height = std::max(line.Height, Pixels(format->LineSpacing));
    if (format->LineSpacing < 0) {
      const int exact = Pixels(-format->LineSpacing);
      line.Ascent -= (line.Height - exact) / 2;
      line.Height = exact;
    }
    if (paragraphFirstLine) {
      const int before = Pixels(format->SpaceBefore);
      line.Height += before;
      line.Ascent += before;
    }
    if (paragraphEnds) line.Height += Pixels(format->SpaceAfter);
    line.EndsClean = end != TLineEnd::Wrapped;
    line.Alignment = format->Alignment;
    total += line.Height;
    lines.push_back(std::move(line));
    line = TLine{};
    paragraphFirstLine = paragraphEnds;
    stopped = total > maxHeight;
    startLine();
  };
  auto hasText = [&] {
    return std::any_of(line.Items.begin(), line.Items.end(),
                       [&](const TPlaced& p) { return pieces[p.Piece].Kind == TPiece::pkText; });
  };
  auto place = [&](size_t index, size_t offset, size_t length, int chars, int w) {
    const TPiece& piece = pieces[index];
    line.Items.push_back(TPlaced{index, offset, length, x, w});
    x += w;
    if (piece.Kind == TPiece::pkText) line.Width = x;
    line.LastChar = piece.CharPos + static_cast<int>(Utf8Length(piece.Text.substr(0, offset))) + chars - 1;
    grow(piece.Font);
  };

  for (size_t i = 0; !stopped && HasPiece(i); ++i) {
    const TPiece& piece = pieces[i];
    if (piece.Format != format && line.Items.empty()) {
      format = piece.Format;
      startLine();
    }
    switch (piece.Kind) {
      case TPiece::pkParagraphEnd:
      case TPiece::pkBreak:
        line.LastChar = piece.CharPos;
        grow(piece.Font);
        finish(piece.Kind == TPiece::pkParagraphEnd ? TLineEnd::Paragraph : TLineEnd::Clean);
        break;
      case TPiece::pkSpace:
        place(i, 0, piece.Text.size(), piece.Chars, Width(piece));
        break;
      case TPiece::pkTab: {
        // The paragraph's next stop, then default stops each half inch.
        const auto stop = std::find_if(format->TabStops.begin(), format->TabStops.end(),
                                       [&](int t) { return Pixels(t) > x; });
        const int every = std::max(1, measure.PixelsPerInch() / 2);
        int next = stop != format->TabStops.end() ? Pixels(*stop) : (x / every + 1) * every;
        if (next > line.Right && !line.Items.empty()) {
          finish(TLineEnd::Wrapped);
          if (stopped) break;
          next = std::max(x + 1, (x / every + 1) * every);
        }
        place(i, 0, piece.Text.size(), 1, std::max(0, next - x));
        break;
      }
      case TPiece::pkText: {
        // A word may run over several pieces of different fonts.
        size_t end = i;
        int wordWidth = 0;
        while (HasPiece(end) && pieces[end].Kind == TPiece::pkText) wordWidth += Width(pieces[end++]);
        if (x + wordWidth > line.Right && hasText()) finish(TLineEnd::Wrapped);
        if (stopped) break;
        if (x + wordWidth <= line.Right) {
          for (size_t k = i; k < end; ++k) place(k, 0, pieces[k].Text.size(), pieces[k].Chars, Width(pieces[k]));
        } else {
          // Wider than a line: cut at characters.
          for (size_t k = i; k < end && !stopped; ++k) {
            const TPiece& part = pieces[k];
            for (size_t offset = 0; offset < part.Text.size() && !stopped;) {
              measure.Font() = *part.Font;
              const std::string rest = part.Text.substr(offset);
              size_t fit = static_cast<size_t>(std::max(0, measure.FitCount(rest, line.Right - x)));
              if (fit == 0 && !line.Items.empty()) {
                finish(TLineEnd::Wrapped);
                continue;
              }
              if (fit == 0) fit = CharBytes(rest, 0);  // a line holds one character at least
              const std::string taken = rest.substr(0, fit);
              measure.Font() = *part.Font;
              place(k, offset, fit, static_cast<int>(Utf8Length(taken)), measure.TextWidth(taken));
              offset += fit;
            }
          }
        }
        i = end - 1;
        break;
      }
    }
  }
  if (!line.Items.empty() && !stopped) finish(TLineEnd::Wrapped);
  measure.Font() = baseFont;
  return lines;
}

TRichRangeResult TRichTextLayout::Run(const TRect& rect, int first, int last, TRangePass pass) {
  const bool draw = pass == TRangePass::Draw;
  const bool firstLineAlways = pass != TRangePass::Measure;
  const TFont baseFont = canvas.Font();
  const TFont measureFont = measure.Font();
  measure.Font() = baseFont;
  // Lines are broken on the measuring canvas and placed on this one
  // scaled, so a range breaks alike at every resolution it is drawn at.
  const int64_t here = canvas.PixelsPerInch(), there = measure.PixelsPerInch();
  auto toMeasure = [&](int v) { return static_cast<int>(v * there / here); };
  auto toCanvas = [&](int v) { return static_cast<int>(v * here / there); };
  StartPieces(std::max(0, first), last);
  const int available = toMeasure(rect.Bottom - rect.Top);
  const std::vector<TLine> lines = BreakLines(toMeasure(rect.Right - rect.Left), available);
  TRichRangeResult result;
  result.LastChar = std::max(0, first) - 1;
  result.AllFit = true;
  int y = 0;
  for (const TLine& line : lines) {
    if (y + line.Height > available && !(firstLineAlways && &line == &lines.front())) {
      result.AllFit = false;
      break;
    }
    if (draw) {
      int offset = 0;
      if (line.Alignment == raRight) offset = line.Right - line.Width;
      if (line.Alignment == raCenter) offset = (line.Right - line.Width) / 2;
      offset = std::max(0, offset);
      const TBrushStyle style = canvas.Brush().Style();
      canvas.Brush().SetStyle(bsClear);
      for (const TPlaced& item : line.Items) {
        const TPiece& piece = pieces[item.Piece];
        if (piece.Kind == TPiece::pkTab) continue;
        canvas.Font() = *piece.Font;
        const int ascent = canvas.TextMetrics().Ascent;
        canvas.TextOut(rect.Left + toCanvas(offset + item.X), rect.Top + toCanvas(y + line.Ascent) - ascent,
                       piece.Text.substr(item.Offset, item.Length));
      }
      canvas.Brush().SetStyle(style);
    }
    y += line.Height;
    result.LastChar = line.LastChar;
    result.CleanBreak = line.EndsClean;
  }
  // Breaking stops below the rectangle: characters past the last line
  // placed mean the range did not fit.
  while (result.AllFit) {
    if (!pieces.empty() && pieces.back().CharPos + pieces.back().Chars - 1 > result.LastChar) result.AllFit = false;
    else if (!MorePieces()) break;
  }
  result.Height = y;
  if (result.AllFit) {
    result.Height = std::max(y, measure.TextMetrics().Height);
    result.CleanBreak = false;
    if (!pieces.empty()) result.LastChar = pieces.back().CharPos + pieces.back().Chars - 1;
  }
  result.Height = toCanvas(result.Height);
  measure.Font() = measureFont;
  canvas.Font() = baseFont;
  return result;
}

TRichRangeResult TRichTextLayout::MeasureRange(const TRect& rect, int first, int last, bool firstLineAlways) {
  return Run(rect, first, last, firstLineAlways ? TRangePass::MeasureFirstLineAlways : TRangePass::Measure);
}

TRichRangeResult TRichTextLayout::DrawRange(const TRect& rect, int first, int last) {
  return Run(rect, first, last, TRangePass::Draw);
}
