// The scanner half of TExpressionParser: the private copy of the text, the
// tokens, and the error messages built around the current token.

#include <cstring>

#include "engErrors.h"
#include "engExpParser.h"
#include "engExpShortText.h"
#include "engStrings.h"
#include "rtlStrUtils.h"

namespace {

bool IsBlank(char c) {
  auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

bool IsExponent(char c) { return c == 'E' || c == 'e'; }

}  // namespace

TExpressionParser::TExpressionParser(TExpQueryOwner* owner) : Owner(owner) {}

TExpressionParser::~TExpressionParser() { ClearText(); }

void TExpressionParser::SetText(const std::string& source) {
  ClearText();
  textLength = static_cast<int32_t>(source.size()) + 1;
  text = TEngineBuffer(size_t(textLength));
  memcpy(text.Get(), source.data(), source.size());
}

void TExpressionParser::ClearText() {
  text.Reset();
  textLength = 0;
  position = tokenStart = quoteEnd = clauseStart = previousEnd = 0;
  tokenKind = tkEnd;
  nesting = 0;
}

void TExpressionParser::SkipBlanks() {
  while (IsBlank(At(position))) ++position;
}

uint8_t TExpressionParser::NextToken() {
  previousEnd = position;
  SkipBlanks();
  if (At(position) == '/' && At(position + 1) == '*') {
    const char* end = strstr(Chars() + position + 2, "*/");
    if (!end) RaiseContextError("Missing ending comment slash and asterisk in ");
    position = static_cast<int32_t>(end - Chars()) + 2;
    SkipBlanks();
  }
  tokenStart = position;
  char c = At(position);
  if (IsIdentStartChar(c)) {
    while (IsIdentChar(At(position))) ++position;
    tokenKind = tkIdentifier;
  } else if (c == '#') {
    ++position;
    while (IsDigit(At(position))) ++position;
    tokenKind = tkCharConstant;
  } else if (c == '\'') {
    ScanQuoted('\'', "Missing single quote after '");
    tokenKind = tkString;
  } else if (c == '"') {
    ScanQuoted('"', "Missing double quote after '");
    tokenKind = tkString;
  } else if (c == '[') {
    ScanQuoted(']', "Missing right bracket after '");
    tokenKind = tkBracketName;
  } else if (IsDigit(c)) {
    ScanNumber();
  } else if (c == FormatSettings->DecimalSeparator && IsDigit(At(position + 1))) {
    ScanFraction();
  } else {
    if (c != '\0') ++position;
    tokenKind = static_cast<uint8_t>(c);
  }
  return tokenKind;
}

// Quotes are doubled inside strings; brackets are never doubled. An
// unfinished token runs to the end of the text.
void TExpressionParser::ScanQuoted(char closing, const char* missingPrefix) {
  bool doubling = closing != ']';
  ++position;
  for (;;) {
    char c = At(position);
    if (c == '\0') {
      quoteEnd = position;
      tokenKind = closing == ']' ? tkBracketName : tkString;
      RaiseTokenError(missingPrefix);
    }
    if (c == closing) {
      if (doubling && At(position + 1) == closing) {
        position += 2;
        continue;
      }
      quoteEnd = position++;
      return;
    }
    ++position;
  }
}

// Digits, then, when a separator, exponent or sign follows, the rest of a
// number: a sign only right after an exponent letter.
void TExpressionParser::ScanNumber() {
  tokenKind = tkInteger;
  while (IsDigit(At(position))) ++position;
  char c = At(position);
  if (c != FormatSettings->DecimalSeparator && !IsExponent(c) && c != '+' && c != '-') return;
  tokenKind = tkNumber;
  for (;;) {
    c = At(position);
    bool sign = (c == '+' || c == '-') && IsExponent(At(position - 1));
    if (!IsDigit(c) && c != FormatSettings->DecimalSeparator && !IsExponent(c) && !sign) return;
    ++position;
  }
}

// A separator and digits: a second separator ends the number.
void TExpressionParser::ScanFraction() {
  tokenKind = tkNumber;
  ++position;
  for (;;) {
    char c = At(position);
    bool sign = (c == '+' || c == '-') && IsExponent(At(position - 1));
    if (!IsDigit(c) && !IsExponent(c) && !sign) return;
    ++position;
  }
}

void TExpressionParser::GetTokenText(std::string& result) const {
  if (!text) {
    result.clear();
    return;
  }
  std::string_view raw = tokenKind == tkBracketName || tokenKind == tkString
                             ? std::string_view(Chars() + tokenStart + 1, quoteEnd - tokenStart - 1)
                             : std::string_view(Chars() + tokenStart, position - tokenStart);
  result = UndoubleQuotes(ShortText(raw));
}

std::string TExpressionParser::TokenText() const {
  std::string result;
  GetTokenText(result);
  return result;
}

bool TExpressionParser::IsKeyword(std::string_view word) const {
  return tokenKind == tkIdentifier && SameText(std::string_view(Chars() + tokenStart, position - tokenStart), word);
}

void TExpressionParser::GetMarkedText(std::string& result) const {
  if (!text || previousEnd <= clauseStart) {
    result.clear();
    return;
  }
  result = ShortText(StripLineBreaks(std::string_view(Chars() + clauseStart, previousEnd - clauseStart)));
}

void TExpressionParser::RaiseError(const std::string& message) const {
  RaiseEngineError(ErrorCode, TableName, {}, {}, message);
}

void TExpressionParser::RaiseTokenError(const std::string& prefix) const {
  RaiseError(prefix + TokenText() + "'" + " in " + ContextName);
}

void TExpressionParser::RaiseContextError(const std::string& prefix) const { RaiseError(prefix + ContextName); }

void TExpressionParser::RaiseFoundError(const std::string& prefix, const std::string& shown) const {
  RaiseError(prefix + shown + "'" + " found in " + ContextName);
}
