#include "uiRichText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "rtlUtf8.h"

namespace {

// Groups nested deeper than this are read as text of the group around
// them, so no input can exhaust memory with state copies.
constexpr int maxGroupDepth = 200;

// Code page 1252's characters 0x80 to 0x9F (0: none there).
constexpr uint16_t cp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t FromCp1252(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0) return cp1252High[byte - 0x80] != 0 ? cp1252High[byte - 0x80] : 0xFFFD;
  return byte;
}

enum TDestination { dsText, dsFontTable, dsColorTable, dsSkip };

struct TGroupState {
  TFont Font;
  TRichAlignment Alignment = raLeft;
  TDestination Destination = dsText;
  int UnicodeSkip = 1;  // characters that stand in for each \u character
};

class TRtfReader {
public:
  TRtfReader(const std::string& in, const TFont& defaultFont) : in(in), defaultFont(defaultFont) {
    state.Font = defaultFont;
    document.Paragraphs.emplace_back();
  }

  TRichDocument Read() {
    while (pos < in.size()) {
      const char c = in[pos++];
      if (c == '{') {
        Push();
      } else if (c == '}') {
        Pop();
      } else if (c == '\\') {
        ControlSequence();
      } else if (c == '\r' || c == '\n') {
        // Line ends of the file are no text.
      } else {
        Char(FromCp1252(static_cast<uint8_t>(c)));
      }
    }
    return std::move(document);
  }

private:
  const std::string& in;
  const TFont& defaultFont;
  size_t pos = 0;
  TRichDocument document;
  TGroupState state;
  std::vector<TGroupState> stack;
  int overflow = 0;  // groups past the depth limit, read as the enclosing one
  int pendingSkip = 0;
  std::map<int, std::string> fonts;
  std::vector<TColor> colors;
  int red = 0, green = 0, blue = 0;
  std::string fontName;
  int fontNumber = -1;
  bool destinationMarked = false;  // \* seen at the start of this group

  void Push() {
    if (stack.size() >= static_cast<size_t>(maxGroupDepth)) {
      ++overflow;
      return;
    }
    stack.push_back(state);
    destinationMarked = false;
  }

  void Pop() {
    if (overflow > 0) {
      --overflow;
      return;
    }
    if (state.Destination == dsFontTable && fontNumber >= 0) EndFontEntry();
    if (stack.empty()) return;  // an unmatched brace
    state = stack.back();
    stack.pop_back();
  }

  void EndFontEntry() {
    while (!fontName.empty() && (fontName.back() == ' ' || fontName.back() == ';')) fontName.pop_back();
    if (fontNumber >= 0) fonts[fontNumber] = fontName;
    fontName.clear();
    fontNumber = -1;
  }

  void ControlSequence() {
    if (pos >= in.size()) return;
    const char c = in[pos];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++pos;
      switch (c) {
        case '\\':
        case '{':
        case '}':
          return Char(static_cast<uint8_t>(c));
        case '~':
          return Char(0xA0);
        case '_':
          return Char('-');
        case '*':
          destinationMarked = true;
          return;
        case '\'': {
          if (pos + 2 > in.size()) return;
          const std::string hex = in.substr(pos, 2);
          pos += 2;
          char* end = nullptr;
          const long value = std::strtol(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 2) return;
          return Char(FromCp1252(static_cast<uint8_t>(value)));
        }
        case '\r':
        case '\n':
          return Paragraph();
        default:
          return;  // \- and other symbols show nothing
      }
    }
    const size_t start = pos;
    while (pos < in.size() && std::isalpha(static_cast<unsigned char>(in[pos]))) ++pos;
    const std::string word = in.substr(start, pos - start);
    bool hasParam = false;
    long param = 0;
    const size_t numberStart = pos;
    if (pos < in.size() && (in[pos] == '-' || std::isdigit(static_cast<unsigned char>(in[pos])))) {
      ++pos;
      while (pos < in.size() && pos - numberStart < 11 && std::isdigit(static_cast<unsigned char>(in[pos]))) ++pos;
      param = std::strtol(in.substr(numberStart, pos - numberStart).c_str(), nullptr, 10);
      hasParam = pos - numberStart > 1 || in[numberStart] != '-';
    }
    if (pos < in.size() && in[pos] == ' ') ++pos;
    Word(word, hasParam, param);
  }

  void Word(const std::string& word, bool hasParam, long param) {
    const bool on = !hasParam || param != 0;
    // \* marks only the control word right after it.
    const bool marked = destinationMarked;
    destinationMarked = false;
    // Destinations.
    if (word == "fonttbl") {
      state.Destination = dsFontTable;
      return;
    }
    if (word == "colortbl") {
      state.Destination = dsColorTable;
      return;
    }
    if (word == "stylesheet" || word == "info" || word == "pict" || word == "object" || word == "header" ||
        word == "footer" || word == "headerl" || word == "headerr" || word == "footerl" || word == "footerr" ||
        word == "fldinst" || word == "themedata" || word == "colorschememapping" || word == "latentstyles" ||
        word == "datastore" || word == "xmlnstbl" || word == "listtable" || word == "listoverridetable" ||
        word == "rsidtbl" || word == "generator" || word == "pntext" || word == "pntxta" || word == "pntxtb" ||
        (marked && state.Destination == dsText)) {
      state.Destination = dsSkip;
      return;
    }
    if (state.Destination == dsFontTable) {
      if (word == "f" && hasParam) {
        if (fontNumber >= 0) EndFontEntry();
        fontNumber = static_cast<int>(param);
      }
      return;
    }
    if (state.Destination == dsColorTable) {
      if (word == "red") red = static_cast<int>(param) & 0xFF;
      if (word == "green") green = static_cast<int>(param) & 0xFF;
      if (word == "blue") blue = static_cast<int>(param) & 0xFF;
      return;
    }
    if (state.Destination == dsSkip) return;

    if (word == "par") return Paragraph();
    if (word == "line") return Char('\n');
    if (word == "tab") return Char('\t');
    if (word == "emdash") return Char(0x2014);
    if (word == "endash") return Char(0x2013);
    if (word == "bullet") return Char(0x2022);
    if (word == "lquote") return Char(0x2018);
    if (word == "rquote") return Char(0x2019);
    if (word == "ldblquote") return Char(0x201C);
    if (word == "rdblquote") return Char(0x201D);
    if (word == "u" && hasParam) {
      const long code = param < 0 ? param + 65536 : param;
      Char(code > 0 && code < 0x110000 ? static_cast<uint32_t>(code) : 0xFFFD);
      pendingSkip = state.UnicodeSkip;
      return;
    }
    if (word == "uc" && hasParam) {
      state.UnicodeSkip = static_cast<int>(std::max(0L, std::min(param, 8L)));
      return;
    }
    TFont& font = state.Font;
    auto style = [&](TFontStyle s) { font.SetStyle(on ? (font.Style() | s) : (font.Style() & ~s)); };
    if (word == "b") return style(fsBold);
    if (word == "i") return style(fsItalic);
    if (word == "strike") return style(fsStrikeOut);
    if (word == "ul") return style(fsUnderline);
    if (word == "ulnone") return font.SetStyle(font.Style() & ~fsUnderline);
    if (word == "fs" && hasParam && param > 0 && param < 4000) return font.SetSize(static_cast<int>((param + 1) / 2));
    if (word == "f" && hasParam) {
      const auto it = fonts.find(static_cast<int>(param));
      if (it != fonts.end() && !it->second.empty()) font.SetName(it->second);
      return;
    }
    if (word == "cf" && hasParam) {
      font.SetColor(param > 0 && static_cast<size_t>(param) < colors.size() ? colors[static_cast<size_t>(param)]
                                                                             : defaultFont.Color());
      return;
    }
    if (word == "plain") {
      font = defaultFont;
      return;
    }
    if (word == "pard") {
      state.Alignment = raLeft;
      return;
    }
    if (word == "ql") state.Alignment = raLeft;
    if (word == "qr") state.Alignment = raRight;
    if (word == "qc") state.Alignment = raCenter;
    if (word == "qj") state.Alignment = raJustify;
  }

  void Char(uint32_t c) {
    if (pendingSkip > 0) {
      --pendingSkip;
      return;
    }
    switch (state.Destination) {
      case dsSkip:
        return;
      case dsFontTable:
        if (c == ';') EndFontEntry();
        else if (fontNumber >= 0) AppendUtf8(fontName, c);
        return;
      case dsColorTable:
        if (c == ';') {
          colors.push_back(red | (green << 8) | (blue << 16));
          red = green = blue = 0;
        }
        return;
      case dsText:
        break;
    }
    TRichParagraph& paragraph = document.Paragraphs.back();
    paragraph.Alignment = state.Alignment;
    if (paragraph.Runs.empty() || !(paragraph.Runs.back().Font == state.Font))
      paragraph.Runs.push_back(TRichRun{{}, state.Font});
    AppendUtf8(paragraph.Runs.back().Text, c);
  }

  void Paragraph() {
    if (state.Destination != dsText) return;
    document.Paragraphs.back().Alignment = state.Alignment;
    document.Paragraphs.emplace_back();
  }
};

TRichDocument ParsePlainText(const std::string& bytes, const TFont& font) {
  TRichDocument document;
  document.Paragraphs.emplace_back();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      document.Paragraphs.emplace_back();
      continue;
    }
    auto& runs = document.Paragraphs.back().Runs;
    if (runs.empty()) runs.push_back(TRichRun{{}, font});
    runs.back().Text += c;
  }
  return document;
}

}  // namespace

int TRichDocument::CharCount() const {
  int count = 0;
  for (const TRichParagraph& p : Paragraphs) {
    for (const TRichRun& r : p.Runs) count += static_cast<int>(Utf8Length(r.Text));
    ++count;
  }
  return count;
}

TRichDocument ParseRichText(const std::string& bytes, const TFont& defaultFont) {
  if (bytes.rfind("{\\rtf", 0) != 0) return ParsePlainText(bytes, defaultFont);
  TRichDocument document = TRtfReader(bytes, defaultFont).Read();
  // The closing \par of a document leaves an empty paragraph no control
  // shows.
  if (document.Paragraphs.size() > 1 && document.Paragraphs.back().Runs.empty()) document.Paragraphs.pop_back();
  return document;
}
