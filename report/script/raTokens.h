#pragma once
// The tokenizer of script source text, the reserved words and symbols, the
// type words, and the texts of compile errors. Pure text work: nothing here
// touches a report object, and nothing raises.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "raTypes.h"

class TEnumTypeInfo;

// What a source byte starts.
enum TraCharClass : uint8_t { ccWord, ccDigit, ccSpecial, ccQuote, ccWhiteSpace, ccComment, ccError };
TraCharClass raCharClass(unsigned char c);

class TraToken {
public:
  TraTokenType Kind = ttUnknown;
  TraDataType DataType = daUnknown;
  int Column = 0;  // from 0, where the token starts in its line
  int Line = 1;    // from 1
  std::string Text;
  int32_t IntegerValue = 0;
  long double FloatValue = 0;
  // Type words naming an enumeration (or Boolean) keep the word here.
  std::string TypeName;
  int EndLine = 0;  // comments: the line on which the comment ends

  // "identifier: x", "integer: 12", "comment: {first ten...}" ...
  std::string Description() const;
};

struct TraParserOptions {
  bool DiscardComments = true;
  bool StripQuotes = true;
};

class TraParser {
public:
  TraParserOptions Options;

  // Replaces the tokens of any earlier call.
  void Tokenize(std::string_view source);
  int TokenCount() const { return static_cast<int>(tokens.size()); }
  const TraToken& Token(int index) const { return tokens[index]; }
  // The error tokens, in source order (each is also among the tokens).
  int ErrorTokenCount() const { return static_cast<int>(errorTokens.size()); }
  const TraToken& ErrorToken(int index) const { return tokens[errorTokens[index]]; }

private:
  std::vector<TraToken> tokens;
  std::vector<int> errorTokens;
};

// A reserved word or symbol ("begin", ":=") of any case; false otherwise.
bool raReservedWord(std::string_view word, TraTokenType& kind);

// Enumerations scripts may name, as types and by their values. Boolean is
// always there; others join as their report classes are described.
void raRegisterEnumType(const TEnumTypeInfo& type);
void raUnregisterEnumType(const TEnumTypeInfo& type);
// nullptr when no registered enumeration has that name (ignoring case).
const TEnumTypeInfo* raFindEnumType(std::string_view name);
// The enumeration one of whose values has that name.
const TEnumTypeInfo* raFindEnumValue(std::string_view valueName, int& ordinal);

// "identifier", "number" ... or the reserved word of the kind in quotes.
std::string raTokenKindName(TraTokenType kind);

// Compile error codes; raExpectedToken lists the kinds that could have come.
enum TraErrorCode : int {
  raExpectedToken = -1,
  raRedeclared = 0,
  raIncompatibleTypes = 1,
  raUnknownType = 2,
  raReservedConstant = 3,
  raDeclaredGlobalVariable = 4,
  raDeclaredGlobalConstant = 5,
  raProgramTypeExpected = 6,
  raProgramNameExpected = 7,
  raUnbalancedParenthesis = 8,
  raTypeNotValue = 9,
  raInvalidText = 10,
  raUndeclared = 11,
  raUnexpectedEnd = 12,
  raMisplacedToken = 13,
};

// The text of an error record. token may be nullptr.
std::string raErrorText(const TraToken* token, TraTokenSet expected, int code);

// Engine message n, or our own wording when no language module holds it.
std::string raEngineMessage(int n);
