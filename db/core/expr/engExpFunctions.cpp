// Functions, aggregates and data types of the expression grammar. Every
// argument is linked into the function node as soon as it is parsed, so a
// raise frees it with the node.

#include <string>

#include "engExpParser.h"
#include "rtlStrUtils.h"

namespace {

struct TFunctionSyntax {
  const char* Keyword;
  uint8_t Code;
  uint8_t Type;  // result type known at parse time
  const char* LeftMissing;
  const char* RightMissing;
};

constexpr TFunctionSyntax Functions[] = {
    {"UPPER", fnUpper, dtString, "Left parentheses expectedafter UPPER keyword, instead found '",
     "Right parentheses expected after UPPER function argument, instead found '"},
    {"LOWER", fnLower, dtString, "Left parentheses expectedafter LOWER keyword, instead found '",
     "Right parentheses expected after LOWER function argument, instead found '"},
    {"SUBSTRING", fnSubstring, dtString, "Left parentheses expected after SUBSTRING keyword, instead found '",
     "Right parentheses expected after SUBSTRING function arguments, instead found '"},
    {"REPLACE", fnReplace, dtString, "Left parentheses expected after REPLACE keyword, instead found '",
     "Right parentheses expected after REPLACE function arguments, instead found '"},
    {"POS", fnPos, dtInteger, "Left parentheses expected after POS keyword, instead found '",
     "Right parentheses expected after POS function arguments, instead found '"},
    {"OCCURS", fnOccurs, dtInteger, "Left parentheses expected after OCCURS keyword, instead found '",
     "Right parentheses expected after OCCURS function arguments, instead found '"},
    {"TRIM", fnTrimBoth, dtString, "Left parentheses expected after TRIM keyword, instead found '",
     "Right parentheses expected after TRIM function arguments, instead found '"},
    {"CAST", fnCast, dtNone, "Left parentheses expected after CAST keyword, instead found '",
     "Right parentheses expected after CAST function arguments, instead found '"},
    {"EXTRACT", fnExtractYear, dtInteger, "Left parentheses expected after EXTRACT keyword, instead found '",
     "Right parentheses expected after EXTRACT function arguments, instead found '"},
    {"IF", fnIf, dtNone, "Left parentheses expectedafter IF keyword, instead found '",
     "Right parentheses expected after IF function arguments, instead found '"},
    {"ABS", fnAbs, dtInteger, "Left parentheses expectedafter ABS keyword, instead found '",
     "Right parentheses expected after ABS function argument, instead found '"},
    {"ROUND", fnRound, dtFloat, "Left parentheses expectedafter ROUND keyword, instead found '",
     "Right parentheses expected after ROUND function arguments, instead found '"},
};

struct TKeywordCode {
  const char* Keyword;
  uint8_t Code;
};

constexpr TKeywordCode TrimModes[] = {{"LEADING", fnTrimLeading}, {"TRAILING", fnTrimTrailing}, {"BOTH", fnTrimBoth}};

constexpr TKeywordCode ExtractParts[] = {
    {"YEAR", fnExtractYear},     {"MONTH", fnExtractMonth},   {"DAY", fnExtractDay},
    {"DAYOFWEEK", fnExtractDayOfWeek}, {"HOUR", fnExtractHour}, {"MINUTE", fnExtractMinute},
    {"SECOND", fnExtractSecond},
};

// How a data type takes its arguments.
enum : uint8_t { taNone, taPrecision, taLength, taOptionalLength, taBlob };

struct TDataTypeSyntax {
  const char* Keyword;
  uint8_t Type;
  uint8_t SubType;
  uint8_t Arguments;
  const char* Name;  // as the messages name it
};

constexpr TDataTypeSyntax DataTypes[] = {
    {"SMALLINT", dtSmallInt, stNone, taNone, "SMALLINT"},
    {"WORD", dtWord, stNone, taNone, "WORD"},
    {"INTEGER", dtInteger, stNone, taNone, "INTEGER"},
    {"AUTOINC", dtInteger, stAutoInc, taNone, "AUTOINC"},
    {"DECIMAL", dtBcd, stNone, taPrecision, "DECIMAL"},
    {"NUMERIC", dtFloat, stNone, taPrecision, "NUMERIC"},
    {"FLOAT", dtFloat, stNone, taPrecision, "FLOAT"},
    {"MONEY", dtFloat, stMoney, taNone, "MONEY"},
    {"CHARACTER", dtString, stNone, taLength, "CHARACTER or CHAR"},
    {"CHAR", dtString, stNone, taLength, "CHARACTER or CHAR"},
    {"VARCHAR", dtString, stNone, taLength, "VARCHAR"},
    {"DATE", dtDate, stNone, taNone, "DATE"},
    {"TIME", dtTime, stNone, taNone, "TIME"},
    {"TIMESTAMP", dtTimeStamp, stNone, taNone, "TIMESTAMP"},
    {"BOOLEAN", dtBoolean, stNone, taNone, "BOOLEAN"},
    {"BYTES", dtBytes, stNone, taOptionalLength, "BYTES"},
    {"BLOB", dtBlob, stNone, taBlob, "BLOB"},
};

template <typename Entry, size_t N>
const Entry* FindKeyword(const Entry (&table)[N], const TExpressionParser& parser) {
  for (const Entry& entry : table)
    if (parser.IsKeyword(entry.Keyword)) return &entry;
  return nullptr;
}

}  // namespace

bool TExpressionParser::IsFunctionKeyword() const { return FindKeyword(Functions, *this) != nullptr; }

TExpTreePtr TExpressionParser::ParseFunction(uint8_t flags) {
  std::string word = TokenText();
  uint8_t aggregate = AggregateCodeOf(word);
  std::string leftMissing, rightMissing;
  TExpTreePtr node;
  if (aggregate) {
    if (!(flags & pfAggregates)) RaiseContextError("Aggregate functions are not allowed in ");
    leftMissing = "Left parentheses expectedafter aggregate function '" + word + "'" + ", instead found " + "'";
    rightMissing = "Right parentheses expected after aggregate " + word + " function argument, instead found " + "'";
    node = NewNode(nkFunction, aggregate, word);
  } else {
    const TFunctionSyntax* syntax = FindKeyword(Functions, *this);
    leftMissing = syntax->LeftMissing;
    rightMissing = syntax->RightMissing;
    node = NewNode(nkFunction, syntax->Code, word);
    node->DataType = syntax->Type;
  }
  NextToken();
  Expect('(', leftMissing);
  ParseFunctionArguments(node.get(), flags);
  Expect(')', rightMissing);
  Finish(node.get());
  return node;
}

void TExpressionParser::ParseFunctionArguments(TExpToken* node, uint8_t flags) {
  switch (node->Code) {
    case fnSubstring:
      Link(node, node->First, TExpTreePtr(ParseAdditive(flags)));
      ExpectKeyword("FROM", "FROM keyword expected after first SUBSTRING function argument, instead found '");
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      if (IsKeyword("FOR")) {
        NextToken();
        Link(node, node->Second->Next, TExpTreePtr(ParsePrimary(flags)));
      }
      break;
    case fnReplace:
      Link(node, node->Second, TExpTreePtr(ParseAdditive(flags)));
      ExpectKeyword("WITH", "WITH keyword expected after first REPLACE function argument, instead found '");
      Link(node, node->Second->Next, TExpTreePtr(ParseAdditive(flags)));
      ExpectKeyword("IN", "IN keyword expected after second REPLACE function argument, instead found '");
      Link(node, node->First, TExpTreePtr(ParsePrimary(flags)));
      break;
    case fnPos:
    case fnOccurs:
      Link(node, node->Second, TExpTreePtr(ParseAdditive(flags)));
      ExpectKeyword("IN", node->Code == fnPos
                              ? "IN keyword expected after first POS function argument, instead found '"
                              : "IN keyword expected after first OCCURS function argument, instead found '");
      Link(node, node->First, TExpTreePtr(ParsePrimary(flags)));
      break;
    case fnTrimBoth: {
      const TKeywordCode* mode = FindKeyword(TrimModes, *this);
      if (!mode)
        RaiseTokenError("LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found '");
      node->Code = mode->Code;
      NextToken();
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      ExpectKeyword("FROM", "FROM keyword expected after second TRIM function argument, instead found '");
      Link(node, node->First, TExpTreePtr(ParseAdditive(flags)));
      break;
    }
    case fnCast:
      Link(node, node->First, TExpTreePtr(ParseOrExpression(flags)));
      ExpectKeyword("AS", "AS keyword expected after first CAST function argument, instead found '");
      ParseDataType(node, flags, false);
      break;
    case fnExtractYear: {
      const TKeywordCode* part = FindKeyword(ExtractParts, *this);
      if (!part)
        RaiseTokenError(
            "YEAR, MONTH, DAY, DAYOFWEEK, HOUR, MINUTE, or SECOND keyword expected after EXTRACT keyword, instead "
            "found '");
      node->Code = part->Code;
      NextToken();
      ExpectKeyword("FROM", "FROM keyword expected after second EXTRACT function argument, instead found '");
      Link(node, node->First, TExpTreePtr(ParsePrimary(flags)));
      break;
    }
    case fnIf:
      Link(node, node->First, TExpTreePtr(ParseOrExpression(flags)));
      ExpectKeyword("THEN", "THEN keyword expected after first IF function argument, instead found '");
      Link(node, node->Second, TExpTreePtr(ParseAdditive(flags)));
      ExpectKeyword("ELSE", "ELSE keyword expected after second IF function argument, instead found '");
      Link(node, node->Third, TExpTreePtr(ParseAdditive(flags)));
      break;
    case fnRound:
      Link(node, node->First, TExpTreePtr(ParseAdditive(flags)));
      if (IsKeyword("TO")) {
        NextToken();
        Link(node, node->Second, TExpTreePtr(ParseAdditive(flags)));
      }
      break;
    default:  // aggregates, UPPER, LOWER, ABS
      Link(node, node->First, TExpTreePtr(ParseAdditive(flags)));
  }
}

bool TExpressionParser::ParseDataType(TExpToken* node, uint8_t flags, bool quiet) {
  const TDataTypeSyntax* syntax = FindKeyword(DataTypes, *this);
  if (!syntax) {
    if (quiet) return false;
    RaiseTokenError("SQL data type keyword expected, instead found '");
  }
  node->DataType = syntax->Type;
  node->SubType = syntax->SubType;
  NextToken();
  ParseTypeArguments(node, syntax->Arguments, syntax->Name, flags);
  Finish(node);
  return true;
}

void TExpressionParser::ParseTypeArguments(TExpToken* node, uint8_t argumentSyntax, const std::string& name,
                                           uint8_t flags) {
  std::string rightMissing = "Right parentheses expected after " + name + " data type arguments, instead found '";
  switch (argumentSyntax) {
    case taPrecision:
      if (tokenKind != '(') return;
      NextToken();
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      if (tokenKind == ',') {
        NextToken();
        Link(node, node->Second->Next, TExpTreePtr(ParsePrimary(flags)));
      } else if (tokenKind != ')') {
        RaiseTokenError("Comma expected after first " + name + " argument, instead found '");
      }
      break;
    case taLength:
      Expect('(', "Left parentheses expected after " + name + " data type, instead found '");
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      break;
    case taOptionalLength:
      if (tokenKind != '(') return;
      NextToken();
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      break;
    case taBlob:
      Expect('(', "Left parentheses expected after BLOB data type, instead found '");
      Link(node, node->Second, TExpTreePtr(ParsePrimary(flags)));
      Expect(',', "Comma expected after first BLOB argument, instead found '");
      Link(node, node->Second->Next, TExpTreePtr(ParsePrimary(flags)));
      break;
    default:
      return;
  }
  Expect(')', rightMissing);
}
