#include "ppBarCodeEncode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "ppUnits.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

// ---- symbology tables (the published specifications') ----

// EAN/UPC digit patterns: left-hand odd parity, left-hand even parity,
// right-hand.
constexpr std::array<const char*, 10> eanOdd = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                                 "0110001", "0101111", "0111011", "0110111", "0001011"};
constexpr std::array<const char*, 10> eanEven = {"0100111", "0110011", "0011011", "0100001", "0011101",
                                                  "0111001", "0000101", "0010001", "0001001", "0010111"};
constexpr std::array<const char*, 10> eanRight = {"1110010", "1100110", "1101100", "1000010", "1011100",
                                                   "1001110", "1010000", "1000100", "1001000", "1110100"};
// EAN-13 digits 2-7 by the first digit: O odd, E even.
constexpr std::array<const char*, 10> ean13Parity = {"OOOOOO", "OOEOEE", "OOEEOE", "OOEEEO", "OEOOEE",
                                                      "OEEOOE", "OEEEOO", "OEOEOE", "OEOEEO", "OEEOEO"};
// UPC-E of number system 0 by its check digit.
constexpr std::array<const char*, 10> upcEParity = {"EEEOOO", "EEOEOO", "EEOOEO", "EEOOOE", "EOEEOO",
                                                     "EOOEEO", "EOOOEE", "EOEOEO", "EOEOOE", "EOOEOE"};
// Five-digit supplement by its checksum's last digit.
constexpr std::array<const char*, 10> supplement5Parity = {"EEOOO", "EOEOO", "EOOEO", "EOOOE", "OEEOO",
                                                            "OOEEO", "OOOEE", "OEOEO", "OEOOE", "OOEOE"};
// Interleaved 2 of 5: five elements per digit, "1" wide.
constexpr std::array<const char*, 10> i2of5 = {"00110", "10001", "01001", "11000", "00101",
                                                "10100", "01100", "00011", "10010", "01010"};
// Postnet: five bars per digit, "1" full height.
constexpr std::array<const char*, 10> postnet = {"11000", "00011", "00101", "00110", "01001",
                                                  "01010", "01100", "10001", "10010", "10100"};

struct TCharPattern {
  char Char;
  const char* Pattern;
};
// Code 39: nine elements (bars at odd places), "1" wide.
constexpr TCharPattern code39[] = {
    {'0', "000110100"}, {'1', "100100001"}, {'2', "001100001"}, {'3', "101100000"}, {'4', "000110001"},
    {'5', "100110000"}, {'6', "001110000"}, {'7', "000100101"}, {'8', "100100100"}, {'9', "001100100"},
    {'A', "100001001"}, {'B', "001001001"}, {'C', "101001000"}, {'D', "000011001"}, {'E', "100011000"},
    {'F', "001011000"}, {'G', "000001101"}, {'H', "100001100"}, {'I', "001001100"}, {'J', "000011100"},
    {'K', "100000011"}, {'L', "001000011"}, {'M', "101000010"}, {'N', "000010011"}, {'O', "100010010"},
    {'P', "001010010"}, {'Q', "000000111"}, {'R', "100000110"}, {'S', "001000110"}, {'T', "000010110"},
    {'U', "110000001"}, {'V', "011000001"}, {'W', "111000000"}, {'X', "010010001"}, {'Y', "110010000"},
    {'Z', "011010000"}, {'-', "010000101"}, {'.', "110000100"}, {' ', "011000100"}, {'*', "010010100"},
    {'$', "010101000"}, {'/', "010100010"}, {'+', "010001010"}, {'%', "000101010"}};
// Codabar: seven elements (bars at odd places), "1" wide.
constexpr TCharPattern codabar[] = {
    {'0', "0000011"}, {'1', "0000110"}, {'2', "0001001"}, {'3', "1100000"}, {'4', "0010010"},
    {'5', "1000010"}, {'6', "0100001"}, {'7', "0100100"}, {'8', "0110000"}, {'9', "1001000"},
    {'-', "0001100"}, {'$', "0011000"}, {':', "1000101"}, {'/', "1010001"}, {'.', "1010100"},
    {'+', "0010101"}, {'A', "0011010"}, {'B', "0101001"}, {'C', "0001011"}, {'D', "0001110"}};

// Code 128 symbols 0 to 105 as bar and space widths in modules (bar
// first); the stop pattern follows.
constexpr std::array<const char*, 106> code128 = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232"};
constexpr const char* code128Stop = "1100011101011";
constexpr int code128StartValueA = 103;

const char* FindPattern(const TCharPattern* table, size_t count, char c) {
  for (size_t i = 0; i < count; ++i)
    if (table[i].Char == c) return table[i].Pattern;
  return nullptr;
}

bool AllDigits(const std::string& s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

int Digit(char c) { return c - '0'; }

// Builds a module row element by element.
class TRowBuilder {
public:
  TRowBuilder(int narrow, int wide) : narrow(narrow), wide(wide) {}
  enum class TWidth { Narrow, Wide };
  // A pattern's element width: "1" wide.
  static TWidth WidthOf(char c) { return c == '1' ? TWidth::Wide : TWidth::Narrow; }
  void Bar(TWidth width) { Columns('1', width == TWidth::Wide ? wide : narrow); }
  void Space(TWidth width) { Columns('0', width == TWidth::Wide ? wide : narrow); }
  // A pattern of narrow elements: "1" dark, "0" light.
  void Narrow(const std::string& pattern) {
    for (char c : pattern) c == '1' ? Bar(TWidth::Narrow) : Space(TWidth::Narrow);
  }
  // Elements alternating bar and space from a bar, "1" wide.
  void WideNarrow(const std::string& pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) i % 2 == 0 ? Bar(WidthOf(pattern[i])) : Space(WidthOf(pattern[i]));
  }
  void Columns(char value, int count) { row.append(static_cast<size_t>(std::max(count, 0)), value); }
  std::string& Row() { return row; }
  int NarrowWidth() const { return narrow; }

private:
  int narrow;
  int wide;
  std::string row;
};

// ---- EAN/UPC ----

std::string EanDigit(char digit, char parity) {
  const int d = Digit(digit);
  return parity == 'E' ? eanEven[d] : parity == 'R' ? eanRight[d] : eanOdd[d];
}

bool EncodeUPCA(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc) {
    if (text.size() == 12) text.resize(11);
    if (text.size() == 11) text += ppUPCCheckDigit(text);
  }
  if (text.size() != 12) return false;
  std::string p = "101";
  for (int i = 0; i < 6; ++i) p += EanDigit(text[i], 'O');
  p += "01010";
  for (int i = 6; i < 12; ++i) p += EanDigit(text[i], 'R');
  row.Narrow(p + "101");
  return true;
}

bool EncodeUPCE(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc) {
    if (text.size() == 7) text.resize(6);
    if (text.size() == 6) text += ppUPCCheckDigit(ppExpandUPCE(text));
  }
  if (text.size() != 7) return false;
  const char* parity = upcEParity[Digit(text[6])];
  std::string p = "101";
  for (int i = 0; i < 6; ++i) p += EanDigit(text[i], parity[i]);
  row.Narrow(p + "010101");
  return true;
}

bool EncodeEAN13(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc) {
    if (text.size() == 13) text.resize(12);
    if (text.size() == 12) text += ppEAN13CheckDigit(text);
  }
  if (text.size() != 13) return false;
  const char* parity = ean13Parity[Digit(text[0])];
  std::string p = "101";
  for (int i = 1; i < 7; ++i) p += EanDigit(text[i], parity[i - 1]);
  p += "01010";
  for (int i = 7; i < 13; ++i) p += EanDigit(text[i], 'R');
  row.Narrow(p + "101");
  return true;
}

bool EncodeEAN8(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc) {
    if (text.size() == 8) text.resize(7);
    if (text.size() == 7) text += ppUPCCheckDigit(text);
  }
  if (text.size() != 8) return false;
  std::string p = "101";
  for (int i = 0; i < 4; ++i) p += EanDigit(text[i], 'O');
  p += "01010";
  for (int i = 4; i < 8; ++i) p += EanDigit(text[i], 'R');
  row.Narrow(p + "101");
  return true;
}

// ---- the others ----

bool EncodeInt2of5(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc && text.size() % 2 == 1) text += ppUPCCheckDigit(text);
  // Digits go in pairs: an odd count cannot be interleaved.
  if (text.size() % 2 == 1) return false;
  row.WideNarrow("0000");
  for (size_t i = 0; i < text.size(); i += 2) {
    const char* bars = i2of5[Digit(text[i])];
    const char* spaces = i2of5[Digit(text[i + 1])];
    for (int k = 0; k < 5; ++k) {
      row.Bar(TRowBuilder::WidthOf(bars[k]));
      row.Space(TRowBuilder::WidthOf(spaces[k]));
    }
  }
  row.WideNarrow("100");
  return true;
}

bool EncodeCode39(std::string& text, const TppBarCodeSettings& settings, int pixelsPerInch, TRowBuilder& row) {
  // The symbol stands for the upper-case text its characters encode.
  text = UpperCase(text);
  if (text.empty() || text.front() != '*') text.insert(text.begin(), '*');
  if (text.size() < 2 || text.back() != '*') text += '*';
  // The gap between characters never vanishes: their bars would join.
  const int gap = std::max(row.NarrowWidth(), static_cast<int>(ppRound(settings.BarWidth / 25400.0 * pixelsPerInch * 2)));
  for (char c : text) {
    const char* pattern = FindPattern(code39, std::size(code39), c);
    if (pattern == nullptr) return false;
    row.WideNarrow(pattern);
    row.Columns('0', gap);
  }
  return true;
}

bool EncodePostnet(std::string& text, TRowBuilder& row) {
  const int bar = row.NarrowWidth();
  const int gap = static_cast<int>(ppRound(bar * 1.375));
  auto digit = [&](int d) {
    for (const char* b = postnet[d]; *b != '\0'; ++b) {
      row.Columns(*b == '1' ? '2' : '1', bar);
      row.Columns('0', gap);
    }
  };
  row.Columns('2', bar);
  row.Columns('0', gap);
  int sum = 0;
  for (char c : text) {
    if (c == '-') continue;
    if (c < '0' || c > '9') return false;
    digit(Digit(c));
    sum += Digit(c);
  }
  digit((10 - sum % 10) % 10);
  row.Columns('2', bar);
  return true;
}

bool EncodeFIM(std::string& text, TRowBuilder& row) {
  const std::string kind = UpperCase(Trim(text));
  const char* pattern = kind == "A" ? "110010011" : kind == "B" ? "101101101" : kind == "C" ? "110101011" : nullptr;
  if (pattern == nullptr) return false;
  for (const char* p = pattern; *p != '\0'; ++p) {
    row.Narrow({*p, '0'});
  }
  return true;
}

bool EncodeCodabar(std::string& text, TRowBuilder& row) {
  for (char c : text) {
    const char* pattern = FindPattern(codabar, std::size(codabar), UpperCase(std::string(1, c))[0]);
    if (pattern == nullptr) return false;
    row.WideNarrow(pattern);
    row.Space(TRowBuilder::TWidth::Narrow);
  }
  return true;
}

bool EncodeMSI(std::string& text, bool calc, TRowBuilder& row) {
  if (!AllDigits(text)) return false;
  if (calc) text += ppLuhnCheckDigit(text);
  std::string p = "110";
  for (char c : text)
    for (int bit = 3; bit >= 0; --bit) p += ((Digit(c) >> bit) & 1) != 0 ? "110" : "100";
  row.Narrow(p + "100100");
  return true;
}

// ---- Code 128 ----

enum TCodeSet { setA, setB, setC };

std::string Code128Pattern(int value) {
  std::string modules;
  const char* widths = code128[static_cast<size_t>(value)];
  for (int i = 0; i < 6; ++i) modules.append(static_cast<size_t>(widths[i] - '0'), i % 2 == 0 ? '1' : '0');
  return modules;
}

bool IsDigitByte(unsigned char c) { return c >= '0' && c <= '9'; }

bool EncodeCode128(const std::string& data, TppBarCodeEncoding& result, TRowBuilder& row) {
  auto refuse = [&](TppCode128Error error, std::string argument = {}) {
    result.ErrorMessage = error;
    result.ErrorArgument = std::move(argument);
    return false;
  };
  if (data.empty()) return refuse(c128NoStart);
  const auto first = static_cast<unsigned char>(data[0]);
  if (first < ppCode128StartA || first > ppCode128StartC) return refuse(c128NoStart);
  TCodeSet set = static_cast<TCodeSet>(first - ppCode128StartA);
  const int startValue = code128StartValueA + set;
  std::string pattern = Code128Pattern(startValue);
  long checksum = startValue;
  int weight = 1;
  auto put = [&](int value) {
    pattern += Code128Pattern(value);
    checksum += static_cast<long>(value) * weight++;
  };
  bool shifted = false;  // the next character is read in the other of A and B
  for (size_t i = 1; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c >= ppCode128StartA && c <= ppCode128StartC) return refuse(c128StartInside);
    if (set == setC && !shifted) {
      if (c >= ppCode128FNC3 && c <= ppCode128CodeC) return refuse(c128SpecialInSetC);
      if (c == ppCode128CodeB || c == ppCode128CodeA || c == ppCode128FNC1) {
        put(c - ppCode128FNC3 + 96);
        if (c == ppCode128CodeB) set = setB;
        if (c == ppCode128CodeA) set = setA;
        continue;
      }
      if (!IsDigitByte(c)) return refuse(c128NonDigitInSetC);
      if (i + 1 >= data.size()) return refuse(c128OddDigitInSetC);
      const auto next = static_cast<unsigned char>(data[i + 1]);
      if (!IsDigitByte(next)) return refuse(c128NonDigitInSetC);
      put((c - '0') * 10 + (next - '0'));
      ++i;
      continue;
    }
    const TCodeSet current = shifted ? (set == setA ? setB : setA) : set;
    const bool wasShifted = shifted;
    if (c >= 32 && c <= 95) {
      put(c - 32);
    } else if (c >= 96 && c <= 127) {
      if (current != setB) return refuse(c128LowerCaseInSetA, std::string(1, static_cast<char>(c)));
      put(c - 32);
    } else if (c >= ppCode128Control && c <= ppCode128Control + 31) {
      if (current != setA) return refuse(c128ControlOutsideSetA);
      put(c - 147);
    } else if (c == ppCode128Shift) {
      if (shifted) return refuse(c128DoubleShift);
      put(98);
      shifted = true;
      continue;
    } else if (c >= ppCode128FNC3 && c <= ppCode128FNC1) {
      put(c - ppCode128FNC3 + 96);
      if (c == ppCode128CodeC) set = setC;
      if (c == ppCode128CodeB && current == setA) set = setB;
      if (c == ppCode128CodeA && current == setB) set = setA;
    } else {
      continue;  // nothing any set holds
    }
    if (wasShifted) shifted = false;
  }
  pattern += Code128Pattern(static_cast<int>(checksum % 103));
  pattern += code128Stop;
  row.Narrow(pattern);
  return true;
}

// Marks of the automatic Code 128 encoding.
struct TAutoMarks {
  bool InA = false;
  bool InB = false;
  bool Pair = false;       // part of a digit pair
  bool PairFirst = false;  // a pair starts here
};

bool AutoDigit(unsigned char c) { return IsDigitByte(c) || c == ppCode128FNC1; }

std::vector<TAutoMarks> AutoMarks(const std::string& s) {
  std::vector<TAutoMarks> marks(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    marks[i].InA = (c >= 32 && c <= 95) || c == ppCode128FNC3 || c == ppCode128FNC2 || c == ppCode128CodeA ||
                   c == ppCode128FNC1 || (c >= ppCode128Control && c <= ppCode128Control + 31);
    marks[i].InB = (c >= 32 && c <= 127) || c == ppCode128FNC3 || c == ppCode128FNC2 || c == ppCode128CodeB ||
                   c == ppCode128FNC1;
  }
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && marks[i - 1].PairFirst) {
      marks[i].Pair = true;
    } else if (i + 1 < s.size() && AutoDigit(static_cast<unsigned char>(s[i])) &&
               AutoDigit(static_cast<unsigned char>(s[i + 1]))) {
      marks[i].Pair = marks[i].PairFirst = true;
    }
  }
  return marks;
}

TCodeSet ChooseSet(const std::vector<TAutoMarks>& marks, size_t from) {
  if (marks[from].Pair) return setC;
  bool a = true, b = true, c = true;
  for (size_t i = from; i < marks.size(); ++i) {
    const bool na = a && marks[i].InA, nb = b && marks[i].InB, nc = c && marks[i].Pair;
    if (!na && !nb && !nc) break;  // nothing fits further: those left decide
    a = na;
    b = nb;
    c = nc;
    if (a + b + c == 1) return c ? setC : a ? setA : setB;
  }
  // Several left: the first character's own marks decide, A before B.
  if (marks[from].InA && a) return setA;
  if (marks[from].InB && b) return setB;
  return a ? setA : b ? setB : setC;
}

const char setStart[] = {static_cast<char>(ppCode128StartA), static_cast<char>(ppCode128StartB),
                         static_cast<char>(ppCode128StartC)};
const char setSwitch[] = {static_cast<char>(ppCode128CodeA), static_cast<char>(ppCode128CodeB),
                          static_cast<char>(ppCode128CodeC)};

}  // namespace

std::string ppCode128AutoEncode(const std::string& data) {
  std::string s;
  for (char ch : data) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= ppCode128Shift && c <= ppCode128CodeA) || (c >= ppCode128StartA && c <= ppCode128StartC)) continue;
    s += ch;
  }
  if (s.empty()) return s;
  const std::vector<TAutoMarks> marks = AutoMarks(s);
  TCodeSet set = ChooseSet(marks, 0);
  std::string out(1, setStart[set]);
  for (size_t i = 0; i < s.size();) {
    if (marks[i].PairFirst) {
      const bool endsText = i + 2 >= s.size();
      if (set != setC && (endsText || marks[i + 2].PairFirst)) {
        out += setSwitch[setC];
        set = setC;
      }
      out += s.substr(i, 2);
      i += 2;
      continue;
    }
    if (set == setC) {
      set = ChooseSet(marks, i);
      out += setSwitch[set];
    }
    const bool last = i + 1 >= s.size();
    if (set == setA && !marks[i].InA) {
      if (last || marks[i + 1].InB) {
        out += setSwitch[setB];
        set = setB;
      } else {
        out += static_cast<char>(ppCode128Shift);
      }
    } else if (set == setB && !marks[i].InB) {
      if (last || marks[i + 1].InA) {
        out += setSwitch[setA];
        set = setA;
      } else {
        out += static_cast<char>(ppCode128Shift);
      }
    }
    out += s[i];
    ++i;
  }
  return out;
}

std::string ppSingleByteData(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    // Two-byte UTF-8 forms of 128 to 255 (lead bytes C2 and C3).
    if ((c == 0xC2 || c == 0xC3) && i + 1 < data.size() && (static_cast<unsigned char>(data[i + 1]) & 0xC0) == 0x80) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(data[i + 1]) & 0x3F));
      ++i;
    } else {
      out += data[i];
    }
  }
  return out;
}

char ppUPCCheckDigit(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) sum += Digit(digits[i]) * (i % 2 == 0 ? 3 : 1);
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

char ppEAN13CheckDigit(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) sum += Digit(digits[i]) * (i % 2 == 1 ? 3 : 1);
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

char ppLuhnCheckDigit(const std::string& digits) {
  int sum = 0;
  const size_t n = digits.size();
  for (size_t k = 0; k < n; ++k) {
    int d = Digit(digits[n - 1 - k]);
    if (k % 2 == 0) {
      d *= 2;
      if (d > 9) d -= 9;
    }
    sum += d;
  }
  return static_cast<char>('0' + (10 * static_cast<int>(n) - sum % 10 + 10) % 10);
}

std::string ppExpandUPCE(const std::string& d) {
  ORV_ASSERT(d.size() == 6);
  switch (d[5]) {
    case '0':
    case '1':
    case '2':
      return "0" + d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
    case '3':
      return "0" + d.substr(0, 3) + "00000" + d.substr(3, 2);
    case '4':
      return "0" + d.substr(0, 4) + "00000" + d[4];
    default:
      return "0" + d.substr(0, 5) + "0000" + d[5];
  }
}

// A narrow element that rounds to no column (a thin bar at a screen's
// resolution) would draw nothing, and a wide one no wider than a narrow one
// could not be told from it: neither can be read.
int ppNarrowElement(const TppBarCodeSettings& settings, int pixelsPerInch) {
  return std::max(1, static_cast<int>(ppRound(settings.BarWidth / 25400.0 * pixelsPerInch)));
}

int ppWideElement(const TppBarCodeSettings& settings, int pixelsPerInch) {
  const int wide = static_cast<int>(ppRound(settings.BarWidth / 25400.0 * pixelsPerInch * settings.WideBarRatio));
  return std::max(ppNarrowElement(settings, pixelsPerInch) + 1, wide);
}

TppBarCodeEncoding ppEncodeBarCode(const TppBarCodeSettings& settings, int pixelsPerInch) {
  TppBarCodeEncoding result;
  result.Text = settings.Data;
  if (Trim(settings.Data).empty()) return result;
  TRowBuilder row(ppNarrowElement(settings, pixelsPerInch), ppWideElement(settings, pixelsPerInch));
  std::string& text = result.Text;
  bool ok = false;
  switch (settings.BarCodeType) {
    case bcUPC_A:
      ok = EncodeUPCA(text, settings.CalcCheckDigit, row);
      break;
    case bcUPC_E:
      ok = EncodeUPCE(text, settings.CalcCheckDigit, row);
      break;
    case bcEAN_13:
      ok = EncodeEAN13(text, settings.CalcCheckDigit, row);
      break;
    case bcEAN_8:
      ok = EncodeEAN8(text, settings.CalcCheckDigit, row);
      break;
    case bcInt2of5:
      ok = EncodeInt2of5(text, settings.CalcCheckDigit, row);
      break;
    case bcCode128:
      text = ppSingleByteData(text);
      if (settings.AutoEncode) text = ppCode128AutoEncode(text);
      ok = EncodeCode128(text, result, row);
      break;
    case bcCode39:
      ok = EncodeCode39(text, settings, pixelsPerInch, row);
      break;
    case bcPostnet:
      ok = EncodePostnet(text, row);
      break;
    case bcFIM:
      ok = EncodeFIM(text, row);
      break;
    case bcCodabar:
      ok = EncodeCodabar(text, row);
      break;
    case bcMSI:
      ok = EncodeMSI(text, settings.CalcCheckDigit, row);
      break;
  }
  // Rows past the limit are not supported: no symbol rather than a cut one.
  if (!ok || row.Row().size() > ppMaxModuleRow) {
    result.CodeOK = false;
    return result;
  }
  result.Modules = std::move(row.Row());
  return result;
}

std::string ppEncodeSupplement(const TppBarCodeSettings& settings, int pixelsPerInch) {
  const TppBarCodeType type = settings.BarCodeType;
  if (type != bcUPC_A && type != bcUPC_E && type != bcEAN_13 && type != bcEAN_8) return {};
  const std::string& code = settings.AddOnCode;
  if ((code.size() != 2 && code.size() != 5) || !AllDigits(code)) return {};
  std::string parity;
  if (code.size() == 2) {
    static const char* const twoDigit[] = {"OO", "OE", "EO", "EE"};
    parity = twoDigit[(Digit(code[0]) * 10 + Digit(code[1])) % 4];
  } else {
    const int sum = 3 * (Digit(code[0]) + Digit(code[2]) + Digit(code[4])) + 9 * (Digit(code[1]) + Digit(code[3]));
    parity = supplement5Parity[sum % 10];
  }
  std::string p = "1011";
  for (size_t i = 0; i < code.size(); ++i) {
    if (i > 0) p += "01";
    p += EanDigit(code[i], parity[i]);
  }
  TRowBuilder row(ppNarrowElement(settings, pixelsPerInch), 0);
  row.Narrow(p);
  if (row.Row().size() > ppMaxSupplementRow) return {};
  return std::move(row.Row());
}
