#include "uiRichText.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>

#include "rtlAssert.h"
#include "rtlUtf8.h"

namespace {

// Groups nested deeper than this are read as text of the group around
// them, so no input can exhaust memory with state copies.
constexpr int maxGroupDepth = 200;
constexpr int defaultCodePage = 1252;
constexpr uint32_t replacementChar = 0xFFFD;
// Twips of a paragraph's lengths and tab stops are kept within a sheet a
// few metres wide, so no absurd value overflows the layout's sums.
constexpr long maxTwips = 1 << 20;
constexpr size_t maxTabStops = 64;

// The code page of a font's character set (\fcharset); 0: the document's.
int CodePageOfCharset(long charset) {
  switch (charset) {
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0;
  }
}

// ICU converters by code page, opened once per reading.
class TCodePages {
public:
  // Code points of bytes in the code page; a code page ICU does not know
  // is read as 1252.
  void Decode(int codePage, const std::string& bytes, std::vector<uint32_t>& out) {
    UConverter* converter = Converter(codePage);
    if (!converter) converter = Converter(defaultCodePage);
    if (!converter) {
      for (const char b : bytes) out.push_back(static_cast<uint8_t>(b) < 0x80 ? static_cast<uint8_t>(b) : replacementChar);
      return;
    }
    const char* source = bytes.data();
    const char* limit = source + bytes.size();
    ucnv_reset(converter);
    while (source < limit) {
      UErrorCode status = U_ZERO_ERROR;
      const UChar32 c = ucnv_getNextUChar(converter, &source, limit, &status);
      if (U_FAILURE(status)) {
        if (status == U_INDEX_OUTOFBOUNDS_ERROR) break;
        out.push_back(replacementChar);
        continue;
      }
      out.push_back(static_cast<uint32_t>(c));
    }
  }

private:
  struct TClose {
    void operator()(UConverter* c) const { ucnv_close(c); }
  };
  std::map<int, std::unique_ptr<UConverter, TClose>> converters;

  UConverter* Converter(int codePage) {
    auto it = converters.find(codePage);
    if (it != converters.end()) return it->second.get();
    UErrorCode status = U_ZERO_ERROR;
    const std::string name = (codePage == 874 ? "windows-874" : "windows-" + std::to_string(codePage));
    UConverter* c = ucnv_open(name.c_str(), &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      c = ucnv_open(("cp" + std::to_string(codePage)).c_str(), &status);
      if (U_FAILURE(status)) c = nullptr;
    }
    if (c) {
      status = U_ZERO_ERROR;
      ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    }
    return converters.emplace(codePage, std::unique_ptr<UConverter, TClose>(c)).first->second.get();
  }
};

enum TDestination { dsText, dsFontTable, dsColorTable, dsSkip };

struct TGroupState {
  TFont Font;
  int CodePage = 0;  // of the current font; 0: the document's
  TRichParagraphFormat Format;
  TDestination Destination = dsText;
  int UnicodeSkip = 1;  // characters that stand in for each \u character
};

struct TFontEntry {
  std::string Name;
  int CodePage = 0;
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
      } else if (static_cast<uint8_t>(c) >= 0x80) {
        Byte(static_cast<uint8_t>(c));
      } else {
        Char(static_cast<uint8_t>(c));
      }
    }
    FlushBytes();
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
  int documentCodePage = defaultCodePage;
  std::map<int, TFontEntry> fonts;
  std::vector<TColor> colors;
  int red = 0, green = 0, blue = 0;
  TFontEntry fontEntry;
  int fontNumber = -1;
  bool destinationMarked = false;  // \* seen at the start of this group
  uint32_t highSurrogate = 0;
  std::string bytes;  // \'hh and raw bytes waiting to be decoded together
  TCodePages codePages;

  void Push() {
    FlushBytes();
    if (stack.size() >= static_cast<size_t>(maxGroupDepth)) {
      ++overflow;
      return;
    }
    stack.push_back(state);
    destinationMarked = false;
  }

  void Pop() {
    FlushBytes();
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
    std::string& name = fontEntry.Name;
    while (!name.empty() && (name.back() == ' ' || name.back() == ';')) name.pop_back();
    if (fontNumber >= 0) fonts[fontNumber] = fontEntry;
    fontEntry = TFontEntry{};
    fontNumber = -1;
  }

  // A byte of the current code page. Multi-byte characters come as
  // consecutive bytes, so they are decoded when the run of bytes ends.
  void Byte(uint8_t b) {
    if (pendingSkip > 0) {
      --pendingSkip;
      return;
    }
    bytes += static_cast<char>(b);
    const bool moreFollow = pos < in.size() && (static_cast<uint8_t>(in[pos]) >= 0x80 ||
                                                (in[pos] == '\\' && pos + 1 < in.size() && in[pos + 1] == '\''));
    if (!moreFollow) FlushBytes();
  }

  void FlushBytes() {
    if (bytes.empty()) return;
    std::vector<uint32_t> decoded;
    codePages.Decode(state.CodePage != 0 ? state.CodePage : documentCodePage, bytes, decoded);
    bytes.clear();
    for (const uint32_t c : decoded) Put(c);
  }

  void ControlSequence() {
    if (pos >= in.size()) return;
    const char c = in[pos];
    if (c != '\'') FlushBytes();
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
          if (end != hex.c_str() + 2) return FlushBytes();
          return Byte(static_cast<uint8_t>(value));
        }
        case '\r':
        case '\n':
          return Paragraph();
        default:
          return;  // \- and other symbols show nothing
      }
    }
    const size_t start = pos;
    while (pos < in.size() && pos - start < 32 && std::isalpha(static_cast<unsigned char>(in[pos]))) ++pos;
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
    if (word == "bin") {
      // Binary data: skipped whole, however long it claims to be.
      const size_t length = hasParam && param > 0 ? static_cast<size_t>(param) : 0;
      pos += std::min(length, in.size() - pos);
      return;
    }
    Word(word, hasParam, param);
  }

  static int Twips(long param) { return static_cast<int>(std::clamp(param, -maxTwips, maxTwips)); }

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
    if (word == "ansicpg" && hasParam) {
      if (param > 0 && param < 100000) documentCodePage = static_cast<int>(param);
      return;
    }
    if (state.Destination == dsFontTable) {
      if (word == "f" && hasParam) {
        if (fontNumber >= 0) EndFontEntry();
        fontNumber = static_cast<int>(param);
      }
      if (word == "fcharset" && hasParam) fontEntry.CodePage = CodePageOfCharset(param);
      if (word == "cpg" && hasParam && param > 0 && param < 100000) fontEntry.CodePage = static_cast<int>(param);
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
      Char(code > 0 && code < 0x110000 ? static_cast<uint32_t>(code) : replacementChar);
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
      if (it != fonts.end()) {
        if (!it->second.Name.empty()) font.SetName(it->second.Name);
        state.CodePage = it->second.CodePage;
      }
      return;
    }
    if (word == "cf" && hasParam) {
      font.SetColor(param > 0 && static_cast<size_t>(param) < colors.size() ? colors[static_cast<size_t>(param)]
                                                                             : defaultFont.Color());
      return;
    }
    if (word == "plain") {
      font = defaultFont;
      state.CodePage = 0;
      return;
    }
    TRichParagraphFormat& format = state.Format;
    if (word == "pard") {
      format = TRichParagraphFormat{};
      return;
    }
    if (word == "ql") format.Alignment = raLeft;
    if (word == "qr") format.Alignment = raRight;
    if (word == "qc") format.Alignment = raCenter;
    if (word == "qj") format.Alignment = raJustify;
    if (!hasParam) return;
    if (word == "li") format.LeftIndent = Twips(param);
    if (word == "ri") format.RightIndent = Twips(param);
    if (word == "fi") format.FirstIndent = Twips(param);
    if (word == "sb") format.SpaceBefore = std::max(0, Twips(param));
    if (word == "sa") format.SpaceAfter = std::max(0, Twips(param));
    if (word == "sl") format.LineSpacing = Twips(param);
    if (word == "tx" && param > 0 && format.TabStops.size() < maxTabStops) {
      const int stop = Twips(param);
      const auto at = std::lower_bound(format.TabStops.begin(), format.TabStops.end(), stop);
      if (at == format.TabStops.end() || *at != stop) format.TabStops.insert(at, stop);
    }
  }

  // A character of the text, or of a table.
  void Char(uint32_t c) {
    FlushBytes();
    if (pendingSkip > 0) {
      --pendingSkip;
      return;
    }
    Put(c);
  }

  void Put(uint32_t c) {
    // Characters past the first plane come as two \u surrogates.
    if (c >= 0xD800 && c < 0xDC00) {
      highSurrogate = c;
      return;
    }
    if (c >= 0xDC00 && c < 0xE000) {
      if (highSurrogate == 0) return;
      c = 0x10000 + ((highSurrogate - 0xD800) << 10) + (c - 0xDC00);
    }
    highSurrogate = 0;
    switch (state.Destination) {
      case dsSkip:
        return;
      case dsFontTable:
        if (c == ';') EndFontEntry();
        else if (fontNumber >= 0) AppendUtf8(fontEntry.Name, c);
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
    paragraph.Format = state.Format;
    if (paragraph.Runs.empty() || !(paragraph.Runs.back().Font == state.Font))
      paragraph.Runs.push_back(TRichRun{{}, state.Font});
    AppendUtf8(paragraph.Runs.back().Text, c);
  }

  void Paragraph() {
    FlushBytes();
    if (state.Destination != dsText) return;
    document.Paragraphs.back().Format = state.Format;
    document.Paragraphs.emplace_back();
  }
};

// Bytes of a well-formed UTF-8 character at text[i]; 0 when there is none.
size_t Utf8CharAt(const std::string& text, size_t i) {
  const auto b = static_cast<uint8_t>(text[i]);
  const size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 && b >= 0xC2 ? 2 : (b & 0xF0) == 0xE0 ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return 0;
  return n;
}

// Plain text is UTF-8; a byte that is not read in code page 1252.
TRichDocument ParsePlainText(const std::string& bytes, const TFont& font) {
  TRichDocument document;
  document.Paragraphs.emplace_back();
  TCodePages codePages;
  for (size_t i = 0; i < bytes.size();) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      i += c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 2 : 1;
      document.Paragraphs.emplace_back();
      continue;
    }
    auto& runs = document.Paragraphs.back().Runs;
    if (runs.empty()) runs.push_back(TRichRun{{}, font});
    const size_t n = Utf8CharAt(bytes, i);
    if (n > 0) {
      runs.back().Text.append(bytes, i, n);
      i += n;
      continue;
    }
    std::vector<uint32_t> decoded;
    codePages.Decode(defaultCodePage, bytes.substr(i, 1), decoded);
    for (const uint32_t d : decoded) AppendUtf8(runs.back().Text, d);
    ++i;
  }
  return document;
}

// ---- Writing ----

void WriteEscaped(std::string& out, const std::string& text, bool inTable) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    n = std::min(n, text.size() - i);
    uint32_t c = b;
    if (n > 1) {
      c = b & (0xFF >> (n + 1));
      for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
    }
    i += n;
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\t' && !inTable) {
      out += "\\tab ";
    } else if (c == '\n' && !inTable) {
      out += "\\line ";
    } else if (c == ';' && inTable) {
      // A font name cannot hold the table's separator.
    } else if (c >= 0x20 && c < 0x80) {
      out += static_cast<char>(c);
    } else if (c >= 0x80) {
      auto unit = [&](uint32_t u) {
        out += "\\u" + std::to_string(u >= 0x8000 ? static_cast<int>(u) - 65536 : static_cast<int>(u)) + "?";
      };
      if (c >= 0x10000) {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        unit(c);
      }
    }
  }
}

bool IsRgb(TColor color) { return color >= 0 && color <= 0xFFFFFF; }

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

std::string WriteRichText(const TRichDocument& document) {
  std::vector<std::string> fontNames;
  std::vector<TColor> colors;
  for (const TRichParagraph& p : document.Paragraphs)
    for (const TRichRun& r : p.Runs) {
      if (std::find(fontNames.begin(), fontNames.end(), r.Font.Name()) == fontNames.end())
        fontNames.push_back(r.Font.Name());
      if (IsRgb(r.Font.Color()) && std::find(colors.begin(), colors.end(), r.Font.Color()) == colors.end())
        colors.push_back(r.Font.Color());
    }
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
  for (size_t i = 0; i < fontNames.size(); ++i) {
    out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 ";
    WriteEscaped(out, fontNames[i], true);
    out += ";}";
  }
  out += "}\r\n{\\colortbl ;";
  for (const TColor c : colors)
    out += "\\red" + std::to_string(c & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
           std::to_string((c >> 16) & 0xFF) + ";";
  out += "}\r\n";
  for (const TRichParagraph& p : document.Paragraphs) {
    const TRichParagraphFormat& f = p.Format;
    out += "\\pard";
    static const char* const alignments[] = {"\\ql", "\\qr", "\\qc", "\\qj"};
    out += alignments[f.Alignment];
    auto length = [&](const char* word, int value) {
      if (value != 0) out += std::string(word) + std::to_string(value);
    };
    length("\\li", f.LeftIndent);
    length("\\ri", f.RightIndent);
    length("\\fi", f.FirstIndent);
    length("\\sb", f.SpaceBefore);
    length("\\sa", f.SpaceAfter);
    length("\\sl", f.LineSpacing);
    for (const int stop : f.TabStops) length("\\tx", stop);
    for (const TRichRun& r : p.Runs) {
      const TFont& font = r.Font;
      const auto fontIndex = std::find(fontNames.begin(), fontNames.end(), font.Name()) - fontNames.begin();
      const auto colorIndex =
          IsRgb(font.Color()) ? std::find(colors.begin(), colors.end(), font.Color()) - colors.begin() + 1 : 0;
      out += "\\f" + std::to_string(fontIndex) + "\\fs" + std::to_string(font.Size() * 2) + "\\cf" +
             std::to_string(colorIndex) + (font.HasStyle(fsBold) ? "\\b" : "\\b0") +
             (font.HasStyle(fsItalic) ? "\\i" : "\\i0") + (font.HasStyle(fsUnderline) ? "\\ul" : "\\ulnone") +
             (font.HasStyle(fsStrikeOut) ? "\\strike" : "\\strike0") + " ";
      WriteEscaped(out, r.Text, false);
    }
    out += "\\par\r\n";
  }
  out += "}\r\n";
  return out;
}

// ---- TRichTextBuffer ----

namespace {

constexpr char32_t paragraphEnd = U'\r';
constexpr char32_t lineBreak = U'\v';

// Text from callers: a byte that is not well-formed UTF-8 becomes U+FFFD.
std::u32string ToChars(const std::string& utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    const size_t n = Utf8CharAt(utf8, i);
    if (n == 0) {
      out += static_cast<char32_t>(replacementChar);
      ++i;
      continue;
    }
    uint32_t c = b;
    if (n > 1) {
      c = b & (0xFF >> (n + 1));
      for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = replacementChar;
    out += static_cast<char32_t>(c);
    i += n;
  }
  return out;
}

bool IsWordChar(char32_t c) { return u_isalnum(static_cast<UChar32>(c)) || c == U'_'; }

char32_t Fold(char32_t c) { return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT)); }

}  // namespace

TRichTextBuffer::TRichTextBuffer() { Clear(); }

void TRichTextBuffer::Changed() {
  static std::atomic<uint64_t> stamps{0};
  documentValid = false;
  stamp = ++stamps;
}

void TRichTextBuffer::Clear() {
  chars = std::u32string(1, paragraphEnd);
  fonts.assign(1, TFont{});
  fontOf.assign(1, 0);
  paragraphs.assign(1, TRichParagraphFormat{});
  selStart = selLength = 0;
  Changed();
}

int TRichTextBuffer::FontIndex(const TFont& font) {
  const auto it = std::find(fonts.begin(), fonts.end(), font);
  if (it != fonts.end()) return static_cast<int>(it - fonts.begin());
  fonts.push_back(font);
  return static_cast<int>(fonts.size()) - 1;
}

void TRichTextBuffer::LoadDocument(const TRichDocument& source) {
  chars.clear();
  fontOf.clear();
  fonts.clear();
  paragraphs.clear();
  for (const TRichParagraph& p : source.Paragraphs) {
    int lastFont = -1;
    for (const TRichRun& r : p.Runs) {
      lastFont = FontIndex(r.Font);
      for (char32_t c : ToChars(r.Text)) {
        chars += c == U'\n' ? lineBreak : c;
        fontOf.push_back(lastFont);
      }
    }
    chars += paragraphEnd;
    fontOf.push_back(lastFont >= 0 ? lastFont : FontIndex(TFont{}));
    paragraphs.push_back(p.Format);
  }
  if (paragraphs.empty()) return Clear();
  selStart = selLength = 0;
  Changed();
}

void TRichTextBuffer::LoadRichText(const std::string& bytes, const TFont& defaultFont) {
  LoadDocument(ParseRichText(bytes, defaultFont));
}

const TRichDocument& TRichTextBuffer::Document() const {
  if (documentValid) return document;
  document.Paragraphs.clear();
  document.Paragraphs.emplace_back();
  size_t paragraph = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    TRichParagraph& p = document.Paragraphs.back();
    p.Format = paragraphs[paragraph];
    if (chars[i] == paragraphEnd) {
      if (i + 1 < chars.size()) {
        document.Paragraphs.emplace_back();
        ++paragraph;
      }
      continue;
    }
    const TFont& font = fonts[static_cast<size_t>(fontOf[i])];
    if (p.Runs.empty() || !(p.Runs.back().Font == font)) p.Runs.push_back(TRichRun{{}, font});
    AppendUtf8(p.Runs.back().Text, chars[i] == lineBreak ? U'\n' : chars[i]);
  }
  documentValid = true;
  return document;
}

std::string TRichTextBuffer::TextRange(int start, int length) const {
  const int from = std::clamp(start, 0, CharCount());
  const int to = length < 0 ? CharCount() : std::clamp(from + length, from, CharCount());
  std::string out;
  for (int i = from; i < to; ++i) AppendUtf8(out, chars[static_cast<size_t>(i)]);
  return out;
}

void TRichTextBuffer::SetSelStart(int value) {
  selStart = std::clamp(value, 0, CharCount() - 1);
  selLength = std::min(selLength, CharCount() - 1 - selStart);
}

void TRichTextBuffer::SetSelLength(int value) { selLength = std::clamp(value, 0, CharCount() - 1 - selStart); }

void TRichTextBuffer::SelectAll() {
  selStart = 0;
  selLength = CharCount() - 1;
}

int TRichTextBuffer::ParagraphOf(int position) const {
  return static_cast<int>(std::count(chars.begin(), chars.begin() + position, paragraphEnd));
}

void TRichTextBuffer::Replace(int start, int length, const std::u32string& text, int font) {
  ORV_ASSERT(start >= 0 && length >= 0 && start + length < CharCount());
  const int paragraph = ParagraphOf(start);
  const auto removedEnds =
      std::count(chars.begin() + start, chars.begin() + start + length, paragraphEnd);
  const auto addedEnds = std::count(text.begin(), text.end(), paragraphEnd);
  // Paragraphs joined by the removal keep the first one's format; those
  // the new text starts take it too.
  const TRichParagraphFormat format = paragraphs[static_cast<size_t>(paragraph)];
  const auto at = paragraphs.begin() + paragraph + 1;
  paragraphs.erase(at, at + removedEnds);
  paragraphs.insert(paragraphs.begin() + paragraph + 1, static_cast<size_t>(addedEnds), format);
  chars.replace(static_cast<size_t>(start), static_cast<size_t>(length), text);
  fontOf.erase(fontOf.begin() + start, fontOf.begin() + start + length);
  fontOf.insert(fontOf.begin() + start, text.size(), font);
  Changed();
}

void TRichTextBuffer::SetSelText(const std::string& text) {
  std::u32string converted;
  const std::u32string in = ToChars(text);
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == U'\r' && i + 1 < in.size() && in[i + 1] == U'\n') continue;
    converted += in[i] == U'\n' ? paragraphEnd : in[i];
  }
  const int font = fontOf[static_cast<size_t>(selStart)];
  Replace(selStart, selLength, converted, font);
  selStart += static_cast<int>(converted.size());
  selLength = 0;
}

TFont TRichTextBuffer::SelAttributes() const { return fonts[static_cast<size_t>(fontOf[static_cast<size_t>(selStart)])]; }

void TRichTextBuffer::SetSelAttributes(const TFont& font) {
  const int index = FontIndex(font);
  std::fill(fontOf.begin() + selStart, fontOf.begin() + selStart + selLength, index);
  Changed();
}

void TRichTextBuffer::ChangeSelAttributes(const std::function<void(TFont&)>& change) {
  std::vector<int> changedIndex(fonts.size(), -1);
  for (int i = selStart; i < selStart + selLength; ++i) {
    const int old = fontOf[static_cast<size_t>(i)];
    if (changedIndex[static_cast<size_t>(old)] < 0) {
      TFont font = fonts[static_cast<size_t>(old)];
      change(font);
      changedIndex[static_cast<size_t>(old)] = FontIndex(font);
    }
    fontOf[static_cast<size_t>(i)] = changedIndex[static_cast<size_t>(old)];
  }
  Changed();
}

TRichParagraphFormat TRichTextBuffer::Paragraph() const { return paragraphs[static_cast<size_t>(ParagraphOf(selStart))]; }

void TRichTextBuffer::SetParagraph(const TRichParagraphFormat& format) {
  const int first = ParagraphOf(selStart);
  const int last = first + static_cast<int>(std::count(chars.begin() + selStart,
                                                       chars.begin() + selStart + selLength, paragraphEnd));
  for (int p = first; p <= last; ++p) paragraphs[static_cast<size_t>(p)] = format;
  Changed();
}

void TRichTextBuffer::ChangeParagraphs(const std::function<void(TRichParagraphFormat&)>& change) {
  const int first = ParagraphOf(selStart);
  const int last = first + static_cast<int>(std::count(chars.begin() + selStart,
                                                       chars.begin() + selStart + selLength, paragraphEnd));
  for (int p = first; p <= last; ++p) change(paragraphs[static_cast<size_t>(p)]);
  Changed();
}

int TRichTextBuffer::FindText(const std::string& text, int start, int length, TRichFindOptions options) const {
  std::u32string needle = ToChars(text);
  for (char32_t& c : needle) c = c == U'\n' ? paragraphEnd : c;
  if (needle.empty() || start < 0 || start >= CharCount()) return -1;
  const int end = length < 0 ? CharCount() : std::min(CharCount(), start + length);
  if (!options.MatchCase)
    for (char32_t& c : needle) c = Fold(c);
  const int n = static_cast<int>(needle.size());
  for (int i = start; i + n <= end; ++i) {
    bool match = true;
    for (int k = 0; k < n && match; ++k) {
      const char32_t c = chars[static_cast<size_t>(i + k)];
      match = (options.MatchCase ? c : Fold(c)) == needle[static_cast<size_t>(k)];
    }
    if (!match) continue;
    if (options.WholeWord && ((i > 0 && IsWordChar(chars[static_cast<size_t>(i - 1)])) ||
                              (i + n < CharCount() && IsWordChar(chars[static_cast<size_t>(i + n)]))))
      continue;
    return i;
  }
  return -1;
}
