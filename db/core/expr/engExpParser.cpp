// The expression grammar from the OR level down to primaries. Trees lean
// left; a raise frees whatever was built, as every piece is held by a
// TExpTreePtr until it is linked into its parent.

#include "engExpParser.h"

#include <algorithm>
#include <cstring>

#include "engExpDateTime.h"
#include "engExpShortText.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

class TExpressionParser::TNestingGuard {
public:
  explicit TNestingGuard(TExpressionParser& parser) : parser(parser) {
    if (++parser.nesting > MaxParseNesting) {
      --parser.nesting;
      parser.RaiseContextError(TooDeepPrefix);
    }
  }
  ~TNestingGuard() { --parser.nesting; }

private:
  TExpressionParser& parser;
};

TExpTreePtr TExpressionParser::NewNode(uint8_t kind, uint8_t code, const std::string& nodeText) const {
  TExpTreePtr node(NewToken());
  node->Kind = kind;
  node->Code = code;
  node->Text = nodeText;
  node->Height = 1;
  return node;
}

void TExpressionParser::Link(TExpToken* parent, TExpToken*& link, TExpTreePtr child) const {
  child->Parent = parent;
  link = child.release();
}

void TExpressionParser::Finish(TExpToken* node) const {
  int height = 0;
  for (const TExpToken* child : {node->First, node->Second, node->Third})
    for (const TExpToken* element = child; element; element = element->Next)
      height = std::max<int>(height, element->Height);
  if (height + 1 > MaxTreeHeight) RaiseContextError(TooDeepPrefix);
  node->Height = static_cast<uint16_t>(height + 1);
}

TExpTreePtr TExpressionParser::MakeOperator(uint8_t kind, uint8_t code, const std::string& nodeText,
                                            TExpTreePtr left, TExpTreePtr right, uint8_t type) const {
  TExpTreePtr node = NewNode(kind, code, nodeText);
  node->DataType = type;
  Link(node.get(), node->First, std::move(left));
  if (right) Link(node.get(), node->Second, std::move(right));
  Finish(node.get());
  return node;
}

TExpTreePtr TExpressionParser::NullConstant(uint8_t type) const {
  TExpTreePtr node = NewNode(nkConstant, 0, "NULL");
  node->IsNull = true;
  node->DataType = type;
  return node;
}

void TExpressionParser::RequireExtended(uint8_t flags) const {
  if (!(flags & pfExtended))
    RaiseContextError("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in ");
}

void TExpressionParser::Expect(char punctuation, const std::string& prefix) {
  if (tokenKind != static_cast<uint8_t>(punctuation)) RaiseTokenError(prefix);
  NextToken();
}

void TExpressionParser::ExpectKeyword(const char* word, const std::string& prefix) {
  if (!IsKeyword(word)) RaiseTokenError(prefix);
  NextToken();
}

TExpToken* TExpressionParser::ParseOrExpression(uint8_t flags) {
  TExpTreePtr left(ParseAndExpression(flags));
  while (IsKeyword("OR")) {
    std::string word = TokenText();
    NextToken();
    TExpTreePtr right(ParseAndExpression(flags));
    left = MakeOperator(nkBinary, opOr, word, std::move(left), std::move(right), dtBoolean);
  }
  return left.release();
}

TExpToken* TExpressionParser::ParseAndExpression(uint8_t flags) {
  TExpTreePtr left(ParseNotExpression(flags));
  while (IsKeyword("AND")) {
    std::string word = TokenText();
    NextToken();
    TExpTreePtr right(ParseNotExpression(flags));
    left = MakeOperator(nkBinary, opAnd, word, std::move(left), std::move(right), dtBoolean);
  }
  return left.release();
}

TExpToken* TExpressionParser::ParseNotExpression(uint8_t flags) {
  if (!IsKeyword("NOT")) return ParsePredicate(flags);
  std::string word = TokenText();
  NextToken();
  TExpTreePtr operand(ParsePredicate(flags));
  return MakeOperator(nkUnary, opNot, word, std::move(operand), nullptr, dtBoolean).release();
}

TExpToken* TExpressionParser::ParsePredicate(uint8_t flags) {
  TExpTreePtr tested(ParseAdditive(flags));
  uint8_t code = 0;
  // Most predicates are a bare operand: the symbol's text is taken only
  // for a comparison that has one.
  std::string symbol;
  if (tokenKind == '=' || tokenKind == '<' || tokenKind == '>') symbol = TokenText();
  switch (tokenKind) {
    case '=':
      code = opEqual;
      NextToken();
      break;
    case '<':
      NextToken();
      if (tokenKind == '>' || tokenKind == '=') {
        code = tokenKind == '>' ? opNotEqual : opLessEqual;
        symbol += " " + TokenText();
        NextToken();
      } else {
        code = opLess;
      }
      break;
    case '>':
      NextToken();
      if (tokenKind == '=') {
        code = opGreaterEqual;
        symbol += " " + TokenText();
        NextToken();
      } else {
        code = opGreater;
      }
      break;
    default:
      if (IsKeyword("NOT") || IsKeyword("LIKE") || IsKeyword("BETWEEN") || IsKeyword("IN") || IsKeyword("IS"))
        return ParseExtendedPredicate(std::move(tested), flags).release();
      return tested.release();
  }
  TExpTreePtr right(ParseAdditive(flags));
  return MakeOperator(nkBinary, code, symbol, std::move(tested), std::move(right), dtBoolean).release();
}

TExpTreePtr TExpressionParser::ParseExtendedPredicate(TExpTreePtr tested, uint8_t flags) {
  RequireExtended(flags);
  if (IsKeyword("IS")) return ParseIsNull(std::move(tested));
  std::string words;
  bool negated = IsKeyword("NOT");
  if (negated) {
    words = TokenText() + " ";
    NextToken();
    if (!IsKeyword("LIKE") && !IsKeyword("BETWEEN") && !IsKeyword("IN"))
      RaiseFoundError("Unknown or unexpected symbol '", TokenText());
  }
  words += TokenText();
  if (IsKeyword("IN")) {
    NextToken();
    return ParseIn(std::move(tested), negated, words, flags);
  }
  if (IsKeyword("LIKE")) {
    NextToken();
    TExpTreePtr pattern(ParseAdditive(flags));
    return MakeOperator(nkPredicate, negated ? opNotLike : opLike, words, std::move(tested), std::move(pattern),
                        dtBoolean);
  }
  NextToken();  // BETWEEN
  TExpTreePtr low(ParseAdditive(flags));
  TExpTreePtr node = MakeOperator(nkPredicate, negated ? opNotBetween : opBetween, words, std::move(tested),
                                  std::move(low), dtBoolean);
  ExpectKeyword("AND", "Expected AND operator in BETWEEN operator, instead found '");
  Link(node.get(), node->Second->Next, TExpTreePtr(ParseAdditive(flags)));
  Finish(node.get());
  return node;
}

TExpTreePtr TExpressionParser::ParseIn(TExpTreePtr tested, bool negated, const std::string& words, uint8_t flags) {
  Expect('(', negated ? "Expected left parentheses for IN operator, instead found '"
                      : "Expected left parentheses after IN operator, instead found '");
  const char* rightMissing = "Expected right parentheses after IN operator, instead found '";
  if (IsKeyword("SELECT")) {
    if (!(flags & pfSubSelect) || !Owner) RaiseContextError("Sub-select queries are not allowed in ");
    TExpTreePtr select = NewNode(nkSubSelect, 0, TokenText());
    select->NestedQuery = Owner->ParseNestedSelect(*this);
    Expect(')', rightMissing);
    return MakeOperator(nkPredicate, negated ? opNotInSelect : opInSelect, words, std::move(tested),
                        std::move(select), dtBoolean);
  }
  if (tokenKind == ')')
    RaiseContextError("You must provide at least one value as an operand of the IN operator  in ");
  TExpTreePtr node = MakeOperator(nkPredicate, negated ? opNotIn : opIn, words, std::move(tested), nullptr,
                                  dtBoolean);
  TExpToken** tail = &node->Second;
  for (;;) {
    TExpTreePtr element(ParseAdditive(flags));
    Link(node.get(), *tail, std::move(element));
    tail = &(*tail)->Next;
    if (tokenKind != ',') break;
    NextToken();
  }
  Expect(')', rightMissing);
  Finish(node.get());
  return node;
}

TExpTreePtr TExpressionParser::ParseIsNull(TExpTreePtr tested) {
  std::string words = TokenText();
  NextToken();
  uint8_t code = opEqual;
  if (IsKeyword("NOT")) {
    words += " " + TokenText();
    NextToken();
    code = opNotEqual;
  }
  if (!IsKeyword("NULL")) RaiseFoundError("Unknown or unexpected symbol '", TokenText());
  words += " " + TokenText();
  NextToken();
  return MakeOperator(nkBinary, code, words, std::move(tested), NullConstant(dtNone), dtBoolean);
}

TExpToken* TExpressionParser::ParseAdditive(uint8_t flags) {
  TExpTreePtr left(ParseTerm(flags));
  for (;;) {
    uint8_t code;
    std::string symbol;
    if (tokenKind == '+') {
      code = opAdd;
      symbol = TokenText();
    } else if (tokenKind == '-') {
      code = opSubtract;
      symbol = TokenText();
    } else if (tokenKind == '|') {
      NextToken();
      if (tokenKind != '|')
        RaiseTokenError(
            "Second concatenation symbol '|' expected after first concatentation symbol, instead found '");
      code = opAdd;
      symbol = "||";
    } else {
      return left.release();
    }
    NextToken();
    TExpTreePtr right(ParseTerm(flags));
    uint8_t type = left->DataType;
    left = MakeOperator(nkBinary, code, symbol, std::move(left), std::move(right), type);
  }
}

TExpToken* TExpressionParser::ParseTerm(uint8_t flags) {
  TExpTreePtr left(ParseSignedFactor(flags));
  while (tokenKind == '*' || tokenKind == '/') {
    uint8_t code = tokenKind == '*' ? opMultiply : opDivide;
    std::string symbol = TokenText();
    NextToken();
    TExpTreePtr right(ParseSignedFactor(flags));
    uint8_t type = left->DataType;
    left = MakeOperator(nkBinary, code, symbol, std::move(left), std::move(right), type);
  }
  return left.release();
}

TExpToken* TExpressionParser::ParseSignedFactor(uint8_t flags) {
  if (tokenKind != '+' && tokenKind != '-') return ParsePrimary(flags);
  uint8_t code = tokenKind == '+' ? opUnaryPlus : opNegate;
  std::string symbol = TokenText();
  NextToken();
  TExpTreePtr operand(ParsePrimary(flags));
  uint8_t type = operand->DataType;
  return MakeOperator(nkUnary, code, symbol, std::move(operand), nullptr, type).release();
}

TExpToken* TExpressionParser::ParsePrimary(uint8_t flags) {
  TNestingGuard guard(*this);
  switch (tokenKind) {
    case tkInteger:
    case tkNumber:
      return ParseNumber().release();
    case tkCharConstant:
      return ParseCharConstant().release();
    case tkString:
    case tkBracketName:
      return ParseQuotedOrName(flags).release();
    case tkIdentifier:
      return ParseIdentifier(flags).release();
    case '(': {
      NextToken();
      TExpTreePtr inner(ParseOrExpression(flags));
      Expect(')', "Right parentheses expected, instead found '");
      return inner.release();
    }
    case '*': {
      if (!(flags & pfAllColumns)) RaiseContextError("* (all columns) symbol is not allowed in ");
      TExpTreePtr node = NewNode(nkColumn, 0, "*");
      node->Name = "*";
      NextToken();
      return node.release();
    }
    case '?': {
      if (!(flags & pfParams)) RaiseContextError("Parameters are not allowed in ");
      TExpTreePtr node = NewNode(nkConstant, 0, "?");
      node->IsParam = true;
      NextToken();
      return node.release();
    }
    default:
      RaiseFoundError("Unknown or unexpected symbol '", TokenText());
  }
}

TExpTreePtr TExpressionParser::ParseNumber() {
  std::string digits = TokenText();
  TExpTreePtr node = NewNode(nkConstant, 0, digits);
  if (tokenKind == tkInteger) {
    node->DataType = dtInteger;
    node->SetDataSize(4);
    node->SetInteger(StrToInt(digits));
  } else {
    node->DataType = dtFloat;
    node->SetDataSize(8);
    node->SetFloat(StrToFloat(digits, *FormatSettings));
  }
  NextToken();
  return node;
}

TExpTreePtr TExpressionParser::ParseCharConstant() {
  std::string token = TokenText();
  if (token.empty() || token[0] != '#') RaiseContextError("Internal character constant parse error in ");
  int code = StrToInt(token.substr(1));
  if (code < 0 || code > 255)
    RaiseError(std::string("Character constants (#) must be within the range of ") + "0" + " to " + "255" +
               " in " + ContextName);
  TExpTreePtr node = NewNode(nkConstant, 0, token);
  node->DataType = dtString;
  node->SetText(std::string(1, static_cast<char>(code)));
  NextToken();
  return node;
}

TExpTreePtr TExpressionParser::ParseQuotedOrName(uint8_t flags) {
  bool quoted = tokenKind == tkString;
  std::string name = TokenText();
  NextToken();
  if (tokenKind == '.') return ParseCorrelated(name, flags);
  TExpTreePtr node = NewNode(quoted ? nkConstant : nkColumn, 0, name);
  if (!quoted) {
    node->Name = name;
  } else if (name.empty()) {
    node->IsNull = true;
    node->DataType = dtString;
  } else {
    node->DataType = dtString;
    node->SetText(name);
  }
  return node;
}

TExpTreePtr TExpressionParser::ParseIdentifier(uint8_t flags) {
  if (AggregateCodeOf(TokenText()) != 0 || IsFunctionKeyword()) return ParseFunction(flags);
  std::string word = TokenText();
  TExpTreePtr node = NewNode(nkConstant, 0, word);
  if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
    node->DataType = dtBoolean;
    node->SetDataSize(2);
    node->SetBoolean(IsKeyword("TRUE"));
  } else if (IsKeyword("NULL")) {
    node->IsNull = true;
  } else if (IsKeyword("CURRENT_DATE")) {
    node->DataType = dtDate;
    node->SetDataSize(4);
    node->SetInteger(DateTimeToDayNumber(Now()));
  } else if (IsKeyword("CURRENT_TIME")) {
    node->DataType = dtTime;
    node->SetDataSize(4);
    node->SetInteger(DateTimeToTimeOfDay(Now()));
  } else if (IsKeyword("CURRENT_TIMESTAMP")) {
    node->DataType = dtTimeStamp;
    node->SetDataSize(8);
    node->SetFloat(DateTimeToTimeStamp(Now()));
  } else {
    NextToken();
    if (tokenKind == '(') RaiseFoundError("Unknown or unexpected function '", word);
    if (tokenKind == '.') return ParseCorrelated(word, flags);
    node->Kind = nkColumn;
    node->Name = word;
    return node;
  }
  NextToken();
  return node;
}

TExpTreePtr TExpressionParser::ParseCorrelated(const std::string& correlation, uint8_t flags) {
  NextToken();
  bool allColumns = tokenKind == '*';
  if (tokenKind != tkString && tokenKind != tkIdentifier && tokenKind != tkBracketName && !allColumns)
    RaiseTokenError(
        "Symbol or string expression expected after table correlation name separator '.', instead found '");
  if (allColumns && !(flags & pfAllColumns)) RaiseContextError("* (all columns) symbol is not allowed in ");
  std::string column = TokenText();
  TExpTreePtr node = NewNode(nkColumn, 0, correlation + "." + column);
  node->Name = column;
  node->CorrelationName = ShortText(correlation);
  NextToken();
  return node;
}

bool IsUpperOfColumn(const TExpToken* node) {
  return node && node->Kind == nkFunction && node->Code == fnUpper && node->First && node->First->Kind == nkColumn;
}

uint8_t AggregateCodeOf(const std::string& name) {
  if (SameText(name, "SUM")) return fnSum;
  if (SameText(name, "AVG")) return fnAvg;
  if (SameText(name, "MIN")) return fnMin;
  if (SameText(name, "MAX")) return fnMax;
  if (SameText(name, "COUNT")) return fnCount;
  return 0;
}
