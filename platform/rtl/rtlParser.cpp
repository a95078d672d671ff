#include "rtlParser.h"

#include <charconv>

#include "rtlClassesConsts.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlUtf8.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c) || c == '.'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

}  // namespace

TParser::TParser(std::string_view text) : text(text) { NextToken(); }

void TParser::Error(const std::string& reason) const {
  throw EParserError(SParseError, {reason, line});
}

void TParser::SkipBlanks() {
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '\n') {
      ++line;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      return;
    }
    ++pos;
  }
}

void TParser::NextToken() {
  SkipBlanks();
  tokenString.clear();
  floatType = 0;
  const size_t start = pos;
  if (pos >= text.size()) {
    token = TToken::Eof;
  } else if (IsIdentStart(text[pos])) {
    while (pos < text.size() && IsIdentChar(text[pos])) ++pos;
    tokenString.assign(text.substr(start, pos - start));
    token = TToken::Ident;
  } else if (text[pos] == '\'' || text[pos] == '#') {
    ReadString();
  } else if (IsDigit(text[pos]) || text[pos] == '$' ||
             ((text[pos] == '-' || text[pos] == '+') && pos + 1 < text.size() &&
              (IsDigit(text[pos + 1]) || text[pos + 1] == '$'))) {
    ReadNumber();
  } else {
    tokenString.assign(1, text[pos++]);
    token = TToken::Symbol;
  }
  tokenText = text.substr(start, pos - start);
}

void TParser::ReadString() {
  token = TToken::String;
  while (pos < text.size()) {
    if (text[pos] == '\'') {
      ++pos;
      for (;;) {
        if (pos >= text.size() || text[pos] == '\n' || text[pos] == '\r') Error(SInvalidString);
        if (text[pos] == '\'') {
          if (pos + 1 < text.size() && text[pos + 1] == '\'') {
            tokenString += '\'';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        tokenString += text[pos++];
      }
    } else if (text[pos] == '#') {
      ++pos;
      uint32_t code = 0;
      size_t digits = 0;
      if (pos < text.size() && text[pos] == '$') {
        ++pos;
        for (; pos < text.size() && IsHexDigit(text[pos]); ++pos, ++digits) {
          code = code * 16 + static_cast<uint32_t>(HexValue(text[pos]));
          if (code > 0x10FFFF) Error(SInvalidString);
        }
      } else {
        for (; pos < text.size() && IsDigit(text[pos]); ++pos, ++digits) {
          code = code * 10 + static_cast<uint32_t>(text[pos] - '0');
          if (code > 0x10FFFF) Error(SInvalidString);
        }
      }
      if (digits == 0) Error(SInvalidString);
      // Codes up to 255 are bytes of the string as stored; higher ones are
      // characters, kept in UTF-8.
      if (code <= 0xFF)
        tokenString += static_cast<char>(code);
      else
        AppendUtf8(tokenString, code);
    } else {
      return;
    }
  }
}

void TParser::ReadNumber() {
  const size_t start = pos;
  bool negative = false;
  if (text[pos] == '-' || text[pos] == '+') negative = text[pos++] == '-';
  if (text[pos] == '$') {
    ++pos;
    const size_t digitsStart = pos;
    while (pos < text.size() && IsHexDigit(text[pos])) ++pos;
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data() + digitsStart, text.data() + pos, value, 16);
    if (ec != std::errc() || end != text.data() + pos) Error(SNumberExpected);
    tokenInt = static_cast<int64_t>(negative ? uint64_t{0} - value : value);
    token = TToken::Integer;
    return;
  }
  bool isFloat = false;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  if (pos + 1 < text.size() && text[pos] == '.' && IsDigit(text[pos + 1])) {
    isFloat = true;
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t exp = pos + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && IsDigit(text[exp])) {
      isFloat = true;
      pos = exp;
      while (pos < text.size() && IsDigit(text[pos])) ++pos;
    }
  }
  const size_t numberEnd = pos;
  if (pos < text.size()) {
    const char suffix = static_cast<char>(text[pos] | 0x20);
    if ((suffix == 's' || suffix == 'c' || suffix == 'd') &&
        (pos + 1 >= text.size() || !IsIdentChar(text[pos + 1]))) {
      floatType = suffix;
      isFloat = true;
      ++pos;
    }
  }
  const char* first = text.data() + start + ((text[start] == '+') ? 1 : 0);
  const char* last = text.data() + numberEnd;
  if (isFloat) {
    const auto [end, ec] = std::from_chars(first, last, tokenFloat);
    if (ec != std::errc() || end != last) Error(SNumberExpected);
    token = TToken::Float;
  } else {
    const auto [end, ec] = std::from_chars(first, last, tokenInt);
    if (ec != std::errc() || end != last) Error(SNumberExpected);
    token = TToken::Integer;
  }
}

bool TParser::IsSymbol(char symbol) const {
  return token == TToken::Symbol && tokenString[0] == symbol;
}

bool TParser::TokenSymbolIs(std::string_view ident) const {
  return token == TToken::Ident && SameText(tokenString, ident);
}

void TParser::CheckToken(TToken expected) {
  if (token == expected) return;
  switch (expected) {
    case TToken::Ident:
      Error(SIdentifierExpected);
    case TToken::String:
      Error(SStringExpected);
    case TToken::Integer:
    case TToken::Float:
      Error(SNumberExpected);
    default:
      Error(SInvalidString);
  }
}

void TParser::CheckSymbol(char symbol) {
  if (!IsSymbol(symbol)) Error(Format(SCharExpected, {std::string(1, symbol)}));
}

std::vector<uint8_t> TParser::HexToBinary() {
  // The current token is the '{'; the digits follow in the raw text.
  std::vector<uint8_t> bytes;
  for (;;) {
    SkipBlanks();
    if (pos >= text.size()) Error(SInvalidBinary);
    if (text[pos] == '}') break;
    if (pos + 1 >= text.size() || !IsHexDigit(text[pos]) || !IsHexDigit(text[pos + 1]))
      Error(SInvalidBinary);
    bytes.push_back(static_cast<uint8_t>(HexValue(text[pos]) * 16 + HexValue(text[pos + 1])));
    pos += 2;
  }
  NextToken();
  return bytes;
}
