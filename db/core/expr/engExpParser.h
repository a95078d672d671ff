#pragma once
// The expression language's scanner and recursive-descent parser, shared
// by record filters and the SQL dialect. Each level returns a tree that the
// caller owns (FreeTokenTree); on a raise nothing is left unowned.
//
// Every error is raised as the engine error ErrorCode with TableName and a
// message that ends with " in " and ContextName.

#include <cstdint>
#include <string>
#include <string_view>

#include "engBuffer.h"
#include "engExpSubSelect.h"
#include "engExpToken.h"
#include "engHeap.h"
#include "rtlFormatSettings.h"

// Token kinds returned by NextToken; any other kind is a single punctuation
// character's code.
enum : uint8_t {
  tkEnd = 0,
  tkIdentifier = 1,
  tkBracketName = 2,
  tkString = 3,
  tkCharConstant = 4,  // "#" and digits
  tkInteger = 5,
  tkNumber = 6,  // with a decimal separator or an exponent
};

// Parse flags: what the context allows.
enum : uint8_t {
  pfAggregates = 1,
  pfAllColumns = 2,
  pfExtended = 4,  // LIKE, BETWEEN, IN, IS NULL and their NOT forms
  pfParams = 8,
  pfSubSelect = 16,
};
inline constexpr uint8_t FilterParseFlags = pfExtended;

// Nesting beyond these is refused, so that no text can exhaust the stack
// of the parser or of the walks over its trees.
inline constexpr int MaxParseNesting = 128;
inline constexpr int MaxTreeHeight = 1000;

class TExpressionParser : public TEngineObject {
public:
  // Owner: the SQL statement, which parses nested SELECTs; nil for cursors.
  explicit TExpressionParser(TExpQueryOwner* owner);
  ~TExpressionParser() override;
  TExpressionParser(const TExpressionParser&) = delete;
  TExpressionParser& operator=(const TExpressionParser&) = delete;

  TExpQueryOwner* const Owner;
  uint16_t ErrorCode = 0;
  std::string TableName;
  std::string ContextName;
  // The table's language's, kept for the process: numbers are scanned and
  // converted by its decimal separator.
  const TFormatSettings* FormatSettings = &NeutralFormatSettings();

  // Takes a copy of the text and goes to its start (token kind 0); call
  // NextToken for the first token.
  void SetText(const std::string& text);
  void ClearText();

  uint8_t NextToken();
  // Between the delimiters for kinds 2 and 3, else the raw token; at most
  // 255 bytes, doubled quotes made single.
  void GetTokenText(std::string& text) const;
  std::string TokenText() const;
  bool IsKeyword(std::string_view word) const;
  bool IsTokenType(uint8_t kind) const { return tokenKind == kind; }
  uint8_t TokenKind() const { return tokenKind; }
  int32_t GetTokenOffset() const { return tokenStart; }
  void MarkClauseStart() { clauseStart = tokenStart; }
  // From the mark to the end of the previous token, without line breaks,
  // at most 255 bytes.
  void GetMarkedText(std::string& text) const;

  // The grammar, top down. Each leaves the current token on the first one
  // it did not use.
  TExpToken* ParseOrExpression(uint8_t flags);
  TExpToken* ParseAndExpression(uint8_t flags);
  TExpToken* ParseNotExpression(uint8_t flags);
  TExpToken* ParsePredicate(uint8_t flags);
  TExpToken* ParseAdditive(uint8_t flags);
  TExpToken* ParseTerm(uint8_t flags);
  TExpToken* ParseSignedFactor(uint8_t flags);
  TExpToken* ParsePrimary(uint8_t flags);
  // Reads a data type into the node's type, subtype and argument links.
  // False, with the node unchanged, when quiet and the word is no type.
  bool ParseDataType(TExpToken* node, uint8_t flags, bool quiet);

  // prefix (ending with "'"), the token's text, "'", " in ", the context.
  [[noreturn]] void RaiseTokenError(const std::string& prefix) const;
  // prefix (ending with " in "), the context.
  [[noreturn]] void RaiseContextError(const std::string& prefix) const;
  // prefix (ending with "'"), the text shown, "'", " found in ", the context.
  [[noreturn]] void RaiseFoundError(const std::string& prefix, const std::string& shown) const;
  [[noreturn]] void RaiseError(const std::string& message) const;

private:
  // The private copy of the text, zero-terminated.
  TEngineBuffer text;
  const char* Chars() const { return reinterpret_cast<const char*>(text.Get()); }
  int32_t textLength = 0;  // with the terminating zero
  int32_t position = 0;
  int32_t tokenStart = 0;
  uint8_t tokenKind = tkEnd;
  int32_t quoteEnd = 0;
  int32_t clauseStart = 0;
  int32_t previousEnd = 0;
  int nesting = 0;

  char At(int32_t index) const { return text ? Chars()[index] : '\0'; }
  void SkipBlanks();
  void ScanQuoted(char closing, const char* missingPrefix);
  void ScanNumber();
  void ScanFraction();

  // One level deeper in the descent, refused beyond MaxParseNesting.
  class TNestingGuard;
  static constexpr const char* TooDeepPrefix = "Expression nested too deeply in ";

  TExpTreePtr NewNode(uint8_t kind, uint8_t code, const std::string& nodeText) const;
  void Link(TExpToken* parent, TExpToken*& link, TExpTreePtr child) const;
  // Sets the node's height from its children and chains; refused beyond
  // MaxTreeHeight.
  void Finish(TExpToken* node) const;
  TExpTreePtr MakeOperator(uint8_t kind, uint8_t code, const std::string& nodeText, TExpTreePtr left,
                           TExpTreePtr right, uint8_t type) const;
  TExpTreePtr NullConstant(uint8_t type) const;
  void RequireExtended(uint8_t flags) const;

  TExpTreePtr ParseExtendedPredicate(TExpTreePtr tested, uint8_t flags);
  TExpTreePtr ParseIn(TExpTreePtr tested, bool negated, const std::string& words, uint8_t flags);
  TExpTreePtr ParseIsNull(TExpTreePtr tested);
  TExpTreePtr ParseNumber();
  TExpTreePtr ParseCharConstant();
  TExpTreePtr ParseQuotedOrName(uint8_t flags);
  TExpTreePtr ParseIdentifier(uint8_t flags);
  TExpTreePtr ParseCorrelated(const std::string& correlation, uint8_t flags);

  bool IsFunctionKeyword() const;
  TExpTreePtr ParseFunction(uint8_t flags);
  void ParseFunctionArguments(TExpToken* node, uint8_t flags);
  void ParseTypeArguments(TExpToken* node, uint8_t argumentSyntax, const std::string& name, uint8_t flags);

  // Reads the expected punctuation or keyword, else raises prefix as a
  // token error.
  void Expect(char punctuation, const std::string& prefix);
  void ExpectKeyword(const char* word, const std::string& prefix);
};

// UPPER applied directly to a column reference.
bool IsUpperOfColumn(const TExpToken* node);
// 23 SUM, 27 AVG, 25 MIN, 26 MAX, 24 COUNT, ignoring case; 0 otherwise.
uint8_t AggregateCodeOf(const std::string& name);
