#pragma once
// The tokenizer of the object streams' text form: identifiers (with dots),
// strings (quoted runs and #nn character codes), integers (decimal or $hex),
// floats (with an optional type suffix s, c or d) and one-character
// symbols. Errors raise EParserError "<reason> on line <n>".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(EParserError, Exception);

enum class TToken { Eof, Ident, String, Integer, Float, Symbol };

class TParser {
public:
  explicit TParser(std::string_view text);

  TToken Token() const { return token; }
  // The identifier, the string's bytes or the symbol character.
  const std::string& TokenString() const { return tokenString; }
  int64_t TokenInt() const { return tokenInt; }
  long double TokenFloat() const { return tokenFloat; }
  // The text of a number token as written, for exact conversions.
  std::string_view TokenText() const { return tokenText; }
  // 0, or the suffix letter of a float ('s', 'c' or 'd', lower case).
  char FloatType() const { return floatType; }

  void NextToken();
  bool IsSymbol(char symbol) const;
  // Identifier comparison ignoring case.
  bool TokenSymbolIs(std::string_view ident) const;
  void CheckToken(TToken expected);
  void CheckSymbol(char symbol);
  // Reads hex digit pairs (white space between them allowed) up to, not
  // including, the next '}'; the token after is that '}'.
  std::vector<uint8_t> HexToBinary();
  [[noreturn]] void Error(const std::string& reason) const;

private:
  std::string_view text;
  size_t pos = 0;
  int line = 1;
  TToken token = TToken::Eof;
  std::string tokenString;
  std::string_view tokenText;
  int64_t tokenInt = 0;
  long double tokenFloat = 0;
  char floatType = 0;

  void SkipBlanks();
  void ReadNumber();
  void ReadString();
};
