#include "rtlObjectText.h"

#include <charconv>
#include <cmath>
#include <string>

#include "rtlClassesConsts.h"
#include "rtlConsts.h"
#include "rtlFormat.h"
#include "rtlParser.h"
#include "rtlReader.h"
#include "rtlWriter.h"

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr size_t StringPieceLength = 64;
constexpr size_t BinaryBytesPerLine = 32;

std::string Indent(int count) { return std::string(static_cast<size_t>(count), ' '); }

template <typename F>
std::string ShortestText(F value) {
  if (!std::isfinite(value)) throw EReadError(SInvalidPropertyValue);
  // The text of a negative zero must still read back as a float.
  if (value == 0 && std::signbit(value)) return "-0.0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return std::string(buffer, result.ptr);
}

std::string CurrencyText(Currency value) {
  const bool negative = value.Scaled < 0;
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(value.Scaled) : static_cast<uint64_t>(value.Scaled);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / Currency::Scale);
  uint64_t fraction = magnitude % Currency::Scale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

// The exact value of a decimal currency text (at most four decimals are
// kept, the fifth rounds half away from zero); nothing when out of range.
bool ParseCurrencyText(std::string_view text, Currency& value) {
  if (text.find_first_of("eE") != std::string_view::npos) return false;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  std::string fraction(dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1));
  uint64_t units = 0;
  for (char c : whole) {
    if (units > (UINT64_MAX - 9) / 10) return false;
    units = units * 10 + static_cast<uint64_t>(c - '0');
  }
  const bool roundUp = fraction.size() > 4 && fraction[4] >= '5';
  fraction.resize(4, '0');
  uint64_t scaled = 0;
  if (units > UINT64_MAX / Currency::Scale) return false;
  scaled = units * Currency::Scale + std::stoull(fraction) + (roundUp ? 1 : 0);
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (scaled > limit) return false;
  value = Currency::FromScaled(negative ? static_cast<int64_t>(uint64_t{0} - scaled)
                                        : static_cast<int64_t>(scaled));
  return true;
}

std::string Quoted(std::string_view piece) {
  std::string out;
  bool open = false;
  for (char c : piece) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32) {
      if (open) out += '\'';
      open = false;
      out += '#' + std::to_string(byte);
    } else {
      if (!open) out += '\'';
      open = true;
      if (c == '\'') out += '\'';
      out += c;
    }
  }
  if (open || piece.empty()) out += piece.empty() ? "''" : "'";
  return out;
}

class TBinaryToText {
public:
  TBinaryToText(TStream& input) : reader(input) {}

  std::string Convert() {
    reader.ReadSignature();
    ConvertObject(0);
    return std::move(out);
  }

private:
  TReader reader;
  std::string out;
  int nesting = 0;

  void Enter() {
    if (++nesting > MaxFilerNesting) throw EReadError(SStreamTooDeep);
  }

  void ConvertObject(int indent) {
    Enter();
    TFilerFlags flags;
    int childPos = 0;
    reader.ReadPrefix(flags, childPos);
    const std::string className = reader.ReadStr();
    const std::string name = reader.ReadStr();
    out += Indent(indent);
    out += flags.Contains(ffInherited) ? "inherited " : flags.Contains(ffInline) ? "inline " : "object ";
    if (!name.empty()) out += name + ": ";
    out += className;
    if (flags.Contains(ffChildPos)) out += " [" + std::to_string(childPos) + "]";
    out += LineEnd;
    while (!reader.EndOfList()) ConvertProperty(indent + 2);
    reader.ReadListEnd();
    while (!reader.EndOfList()) ConvertObject(indent + 2);
    reader.ReadListEnd();
    out += Indent(indent) + "end" + LineEnd;
    --nesting;
  }

  void ConvertProperty(int indent) {
    out += Indent(indent) + reader.ReadStr() + " = ";
    ConvertValue(indent, false);
    out += LineEnd;
  }

  // indent: that of the line the value starts on; atLineStart: whether
  // nothing else stands on that line before it (list items).
  void ConvertValue(int indent, bool atLineStart) {
    Enter();
    switch (reader.NextValue()) {
      case vaList:
        reader.ReadValue();
        out += "(";
        while (!reader.EndOfList()) {
          out += LineEnd + Indent(indent + 2);
          ConvertValue(indent + 2, true);
        }
        reader.ReadListEnd();
        out += ")";
        break;
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64:
        out += std::to_string(reader.ReadInt64());
        break;
      case vaExtended:
        out += ShortestText(reader.ReadFloat());
        break;
      case vaSingle:
        out += ShortestText(reader.ReadSingle()) + "s";
        break;
      case vaCurrency:
        out += CurrencyText(reader.ReadCurrency()) + "c";
        break;
      case vaDate:
        out += ShortestText(reader.ReadDate()) + "d";
        break;
      case vaString:
      case vaLString:
      case vaWString:
      case vaUTF8String:
        ConvertString(reader.ReadString(), indent, atLineStart);
        break;
      case vaIdent:
      case vaFalse:
      case vaTrue:
      case vaNil:
      case vaNull:
        out += reader.ReadIdent();
        break;
      case vaBinary:
        ConvertBinary(reader.ReadBinary(), indent);
        break;
      case vaSet: {
        reader.ReadValue();
        out += "[";
        bool first = true;
        for (std::string element = reader.ReadStr(); !element.empty(); element = reader.ReadStr()) {
          if (!first) out += ", ";
          out += element;
          first = false;
        }
        out += "]";
        break;
      }
      case vaCollection:
        reader.ReadValue();
        out += "<";
        while (!reader.EndOfList()) {
          out += LineEnd + Indent(indent + 2) + "item";
          const TValueType type = reader.NextValue();
          if (type == vaInt8 || type == vaInt16 || type == vaInt32)
            out += " [" + std::to_string(reader.ReadInteger()) + "]";
          reader.ReadListBegin();
          out += LineEnd;
          while (!reader.EndOfList()) ConvertProperty(indent + 4);
          reader.ReadListEnd();
          out += Indent(indent + 2) + "end";
        }
        reader.ReadListEnd();
        out += ">";
        break;
    }
    --nesting;
  }

  void ConvertString(const std::string& s, int indent, bool atLineStart) {
    if (s.size() <= StringPieceLength) {
      out += Quoted(s);
      return;
    }
    if (!atLineStart) {
      indent += 2;
      out += LineEnd + Indent(indent);
    }
    size_t start = 0;
    while (start < s.size()) {
      size_t end = std::min(start + StringPieceLength, s.size());
      // Never cut a UTF-8 sequence: back up to the start of a character.
      while (end < s.size() && end > start + 1 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
      if (start != 0) out += std::string(" +") + LineEnd + Indent(indent);
      out += Quoted(std::string_view(s).substr(start, end - start));
      start = end;
    }
  }

  void ConvertBinary(const std::vector<uint8_t>& bytes, int indent) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    out += "{";
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i % BinaryBytesPerLine == 0) out += LineEnd + Indent(indent + 2);
      out += Hex[bytes[i] >> 4];
      out += Hex[bytes[i] & 0x0F];
    }
    out += "}";
  }
};

class TTextToBinary {
public:
  TTextToBinary(std::string_view text, TStream& output) : parser(text), writer(output) {}

  void Convert() {
    writer.WriteSignature();
    ConvertObject();
  }

private:
  TParser parser;
  TWriter writer;
  int nesting = 0;

  void Enter() {
    if (++nesting > MaxFilerNesting) parser.Error(SStreamTooDeep);
  }

  bool AtObject() const {
    return parser.TokenSymbolIs("object") || parser.TokenSymbolIs("inherited") ||
           parser.TokenSymbolIs("inline");
  }

  std::string TakeName() {
    parser.CheckToken(TToken::Ident);
    if (parser.TokenString().size() > 255) parser.Error(SIdentifierExpected);
    std::string name = parser.TokenString();
    parser.NextToken();
    return name;
  }

  void ConvertObject() {
    Enter();
    TFilerFlags flags;
    if (parser.TokenSymbolIs("inherited"))
      flags.Include(ffInherited);
    else if (parser.TokenSymbolIs("inline"))
      flags.Include(ffInline);
    else if (!parser.TokenSymbolIs("object"))
      parser.Error(Format(SCharExpected, {"object"}));
    parser.NextToken();
    std::string name;
    std::string className = TakeName();
    if (parser.IsSymbol(':')) {
      parser.NextToken();
      name = std::move(className);
      className = TakeName();
    }
    int childPos = 0;
    if (parser.IsSymbol('[')) {
      parser.NextToken();
      parser.CheckToken(TToken::Integer);
      if (parser.TokenInt() < INT32_MIN || parser.TokenInt() > INT32_MAX) parser.Error(SNumberExpected);
      childPos = static_cast<int>(parser.TokenInt());
      parser.NextToken();
      parser.CheckSymbol(']');
      parser.NextToken();
      flags.Include(ffChildPos);
    }
    writer.WritePrefix(flags, childPos);
    writer.WriteStr(className);
    writer.WriteStr(name);
    while (!AtObject() && !parser.TokenSymbolIs("end")) ConvertProperty();
    writer.WriteListEnd();
    while (!parser.TokenSymbolIs("end")) ConvertObject();
    writer.WriteListEnd();
    parser.NextToken();
    --nesting;
  }

  void ConvertProperty() {
    const std::string name = TakeName();
    parser.CheckSymbol('=');
    parser.NextToken();
    writer.WriteStr(name);
    ConvertValue();
  }

  void ConvertValue() {
    Enter();
    switch (parser.Token()) {
      case TToken::String: {
        std::string s = parser.TokenString();
        parser.NextToken();
        while (parser.IsSymbol('+')) {
          parser.NextToken();
          parser.CheckToken(TToken::String);
          s += parser.TokenString();
          parser.NextToken();
        }
        writer.WriteString(s);
        break;
      }
      case TToken::Integer:
        writer.WriteInteger(parser.TokenInt());
        parser.NextToken();
        break;
      case TToken::Float:
        ConvertFloat();
        parser.NextToken();
        break;
      case TToken::Ident:
        writer.WriteIdent(TakeName());
        break;
      case TToken::Symbol:
        ConvertStructure();
        break;
      case TToken::Eof:
        parser.Error(SInvalidPropertyValue);
    }
    --nesting;
  }

  void ConvertFloat() {
    const long double value = parser.TokenFloat();
    switch (parser.FloatType()) {
      case 's':
        if (std::isfinite(value) && !std::isfinite(static_cast<float>(value))) parser.Error(SNumberExpected);
        writer.WriteSingle(static_cast<float>(value));
        return;
      case 'd':
        if (std::isfinite(value) && !std::isfinite(static_cast<double>(value))) parser.Error(SNumberExpected);
        writer.WriteDate(static_cast<double>(value));
        return;
      case 'c': {
        Currency c;
        if (!ParseCurrencyText(parser.TokenText().substr(0, parser.TokenText().size() - 1), c)) {
          const long double scaled = std::nearbyint(value * Currency::Scale);
          if (!(scaled >= -9.2233720368547758e18L && scaled < 9.2233720368547758e18L))
            parser.Error(SNumberExpected);
          c = Currency::FromScaled(static_cast<int64_t>(scaled));
        }
        writer.WriteCurrency(c);
        return;
      }
      default:
        writer.WriteFloat(value);
        return;
    }
  }

  void ConvertStructure() {
    if (parser.IsSymbol('[')) {
      parser.NextToken();
      std::vector<std::string> elements;
      while (!parser.IsSymbol(']')) {
        elements.push_back(TakeName());
        if (parser.IsSymbol(','))
          parser.NextToken();
        else
          parser.CheckSymbol(']');
      }
      parser.NextToken();
      writer.WriteValue(vaSet);
      for (const std::string& e : elements) writer.WriteStr(e);
      writer.WriteStr({});
    } else if (parser.IsSymbol('(')) {
      parser.NextToken();
      writer.WriteListBegin();
      while (!parser.IsSymbol(')')) ConvertValue();
      writer.WriteListEnd();
      parser.NextToken();
    } else if (parser.IsSymbol('{')) {
      const std::vector<uint8_t> bytes = parser.HexToBinary();
      writer.WriteBinary(bytes.data(), bytes.size());
      parser.NextToken();
    } else if (parser.IsSymbol('<')) {
      parser.NextToken();
      writer.WriteValue(vaCollection);
      while (!parser.IsSymbol('>')) {
        if (!parser.TokenSymbolIs("item")) parser.Error(Format(SCharExpected, {"item"}));
        parser.NextToken();
        if (parser.IsSymbol('[')) {
          parser.NextToken();
          parser.CheckToken(TToken::Integer);
          writer.WriteInteger(parser.TokenInt());
          parser.NextToken();
          parser.CheckSymbol(']');
          parser.NextToken();
        }
        writer.WriteListBegin();
        while (!parser.TokenSymbolIs("end")) ConvertProperty();
        writer.WriteListEnd();
        parser.NextToken();
      }
      writer.WriteListEnd();
      parser.NextToken();
    } else {
      parser.Error(SInvalidPropertyValue);
    }
  }
};

}  // namespace

void ObjectBinaryToText(TStream& input, TStream& output) {
  const std::string text = TBinaryToText(input).Convert();
  output.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void ObjectTextToBinary(TStream& input, TStream& output) {
  const int64_t size = input.Size() - input.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  input.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  TTextToBinary(text, output).Convert();
}
