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

void TRichTextLayout::MakePieces(int first, int last) {
  pieces.clear();
  int pos = 0;
  auto inRange = [&](int p) { return p >= first && (last < 0 || p <= last); };
  for (const TRichParagraph& paragraph : document.Paragraphs) {
    for (const TRichRun& run : paragraph.Runs) {
      const std::string& text = run.Text;
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
          if (!joins) pieces.push_back(TPiece{&run.Font, {}, pos, 0, kind, paragraph.Alignment});
          pieces.back().Text.append(text, i, bytes);
          ++pieces.back().Chars;
        }
        ++pos;
        i += bytes;
      }
    }
    if (inRange(pos)) {
      const TFont* font = paragraph.Runs.empty() ? nullptr : &paragraph.Runs.back().Font;
      pieces.push_back(TPiece{font, {}, pos, 1, TPiece::pkParagraphEnd, paragraph.Alignment});
    }
    ++pos;
  }
}

int TRichTextLayout::Width(const TPiece& piece) {
  if (piece.Font != nullptr) canvas.Font() = *piece.Font;
  return canvas.TextWidth(piece.Text);
}

std::vector<TRichTextLayout::TLine> TRichTextLayout::BreakLines(int width) {
  std::vector<TLine> lines;
  TLine line;
  int x = 0;
  const TFont baseFont = canvas.Font();
  const TFont* lastFont = &baseFont;
  auto grow = [&](const TFont* font) {
    if (font != nullptr) lastFont = font;
    canvas.Font() = *lastFont;
    const TTextMetric metric = canvas.TextMetrics();
    line.Height = std::max(line.Height, metric.Height);
    line.Ascent = std::max(line.Ascent, metric.Ascent);
  };
  auto finish = [&](bool clean) {
    if (line.Height == 0) grow(nullptr);
    line.EndsClean = clean;
    lines.push_back(std::move(line));
    line = TLine{};
    x = 0;
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
    line.Alignment = piece.Alignment;
    line.LastChar = piece.CharPos + static_cast<int>(Utf8Length(piece.Text.substr(0, offset))) + chars - 1;
    grow(piece.Font);
  };

  for (size_t i = 0; i < pieces.size(); ++i) {
    const TPiece& piece = pieces[i];
    switch (piece.Kind) {
      case TPiece::pkParagraphEnd:
      case TPiece::pkBreak:
        line.LastChar = piece.CharPos;
        line.Alignment = piece.Alignment;
        grow(piece.Font);
        finish(true);
        break;
      case TPiece::pkSpace:
        place(i, 0, piece.Text.size(), piece.Chars, Width(piece));
        break;
      case TPiece::pkTab: {
        const int stop = std::max(1, canvas.PixelsPerInch() / 2);
        int next = (x / stop + 1) * stop;
        if (next > width && !line.Items.empty()) {
          finish(false);
          next = stop;
        }
        place(i, 0, piece.Text.size(), 1, next - x);
        break;
      }
      case TPiece::pkText: {
        // A word may run over several pieces of different fonts.
        size_t end = i;
        int wordWidth = 0;
        while (end < pieces.size() && pieces[end].Kind == TPiece::pkText) wordWidth += Width(pieces[end++]);
        if (x + wordWidth > width && hasText()) finish(false);
        if (x + wordWidth <= width) {
          for (size_t k = i; k < end; ++k) place(k, 0, pieces[k].Text.size(), pieces[k].Chars, Width(pieces[k]));
        } else {
          // Wider than a line: cut at characters.
          for (size_t k = i; k < end; ++k) {
            const TPiece& part = pieces[k];
            for (size_t offset = 0; offset < part.Text.size();) {
              canvas.Font() = *part.Font;
              const std::string rest = part.Text.substr(offset);
              size_t fit = static_cast<size_t>(canvas.FitCount(rest, width - x));
              if (fit == 0 && !line.Items.empty()) {
                finish(false);
                continue;
              }
              if (fit == 0) fit = CharBytes(rest, 0);  // a line holds one character at least
              const std::string taken = rest.substr(0, fit);
              canvas.Font() = *part.Font;
              place(k, offset, fit, static_cast<int>(Utf8Length(taken)), canvas.TextWidth(taken));
              offset += fit;
            }
          }
        }
        i = end - 1;
        break;
      }
    }
  }
  if (!line.Items.empty()) finish(false);
  canvas.Font() = baseFont;
  return lines;
}

TRichRangeResult TRichTextLayout::Run(const TRect& rect, int first, int last, bool draw) {
  const TFont baseFont = canvas.Font();
  MakePieces(std::max(0, first), last);
  const std::vector<TLine> lines = BreakLines(rect.Right - rect.Left);
  TRichRangeResult result;
  result.LastChar = std::max(0, first) - 1;
  result.AllFit = true;
  int y = 0;
  const int available = rect.Bottom - rect.Top;
  for (const TLine& line : lines) {
    if (y + line.Height > available) {
      result.AllFit = false;
      break;
    }
    if (draw) {
      int offset = 0;
      if (line.Alignment == raRight) offset = rect.Right - rect.Left - line.Width;
      if (line.Alignment == raCenter) offset = (rect.Right - rect.Left - line.Width) / 2;
      const TBrushStyle style = canvas.Brush().Style();
      canvas.Brush().SetStyle(bsClear);
      for (const TPlaced& item : line.Items) {
        const TPiece& piece = pieces[item.Piece];
        if (piece.Kind == TPiece::pkTab) continue;
        canvas.Font() = *piece.Font;
        const int ascent = canvas.TextMetrics().Ascent;
        canvas.TextOut(rect.Left + offset + item.X, rect.Top + y + line.Ascent - ascent,
                       piece.Text.substr(item.Offset, item.Length));
      }
      canvas.Brush().SetStyle(style);
    }
    y += line.Height;
    result.LastChar = line.LastChar;
    result.CleanBreak = line.EndsClean;
  }
  canvas.Font() = baseFont;
  result.Height = y;
  if (result.AllFit) {
    result.Height = std::max(y, canvas.TextMetrics().Height);
    result.CleanBreak = false;
    if (!pieces.empty()) result.LastChar = pieces.back().CharPos + pieces.back().Chars - 1;
  }
  return result;
}

TRichRangeResult TRichTextLayout::MeasureRange(const TRect& rect, int first, int last) {
  return Run(rect, first, last, false);
}

TRichRangeResult TRichTextLayout::DrawRange(const TRect& rect, int first, int last) {
  return Run(rect, first, last, true);
}
