// The dispatch, the shared token tests and the SELECT, INSERT, UPDATE and
// DELETE routines; the definition statements are in sqlParserDefinitions.

#include "sqlParser.h"

#include <algorithm>
#include <climits>

#include "engErrorCodes.h"
#include "engExpParser.h"
#include "engExpTreeQueries.h"
#include "engLanguages.h"
#include "engPaths.h"
#include "engStrings.h"
#include "rtlStrUtils.h"
#include "sqlErrors.h"
#include "sqlPaths.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

constexpr uint8_t ResultColumnFlags = pfAggregates | pfAllColumns | pfExtended;
constexpr uint8_t WhereFlags = pfExtended | pfParams | pfSubSelect;
constexpr uint8_t JoinFlags = pfExtended | pfParams;
// COUNT(*) is an aggregate like any other here.
constexpr uint8_t HavingFlags = pfAggregates | pfAllColumns;
constexpr uint8_t ValueFlags = pfParams;
constexpr int SqlNameLimit = 255;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The correlation name a table gets without one: its name without folder
// and extension.
std::string DefaultCorrelation(const std::string& tableName) {
  std::string name = tableName;
  const size_t dot = name.rfind('.');
  const size_t slash = name.find_last_of("\\/");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  return name;
}

}  // namespace

TSqlParser::TSqlParser(TDataQuery& query, TExpressionParser& parser, const std::string& text)
    : query(query), parser(parser), text(text) {}

// ---- tokens -----------------------------------------------------------------

bool TSqlParser::Keyword(const char* word) const { return parser.IsKeyword(word); }

bool TSqlParser::KeywordIn(std::initializer_list<const char*> words) const {
  return std::any_of(words.begin(), words.end(), [this](const char* word) { return Keyword(word); });
}

bool TSqlParser::IsPunctuation(char c) const { return parser.TokenKind() == static_cast<uint8_t>(c); }

// The shared scanner reads both quote characters as strings: a single
// quote makes a literal, a double quote (or brackets) a name.
bool TSqlParser::IsStringLiteral() const {
  const int32_t at = parser.GetTokenOffset();
  return parser.TokenKind() == tkString && at >= 0 && size_t(at) < text.size() && text[size_t(at)] == '\'';
}

bool TSqlParser::IsQuotedName() const {
  return parser.TokenKind() == tkBracketName || (parser.TokenKind() == tkString && !IsStringLiteral());
}

bool TSqlParser::IsName() const { return parser.TokenKind() == tkIdentifier || IsQuotedName(); }

std::string TSqlParser::Token() const { return parser.TokenText(); }

void TSqlParser::Next() { parser.NextToken(); }

void TSqlParser::Fail(const std::string& prefix) const { RaiseSqlError(prefix + Token() + "'"); }

void TSqlParser::ExpectKeyword(const char* word, const std::string& prefix) {
  if (!Keyword(word)) Fail(prefix);
  Next();
}

void TSqlParser::ExpectPunctuation(char c, const std::string& prefix) {
  if (!IsPunctuation(c)) Fail(prefix);
  Next();
}

void TSqlParser::EndOfStatement(const std::string& prefix) {
  if (IsPunctuation(';')) return;  // left for the statement, which stops there
  if (parser.TokenKind() != tkEnd) Fail(prefix);
}

// ---- clauses ----------------------------------------------------------------

TExpTreePtr TSqlParser::ParseClause(const char* context, const char* emptyMessage, uint8_t flags) {
  parser.ContextName = context;
  const uint8_t kind = parser.TokenKind();
  if (kind == tkEnd || kind == ';' || kind == ',' || kind == ')') RaiseSqlError(emptyMessage);
  parser.MarkClauseStart();
  return TExpTreePtr(parser.ParseOrExpression(flags));
}

// A column reference alone: the "=" of an assignment is not its part.
TExpTreePtr TSqlParser::ParseTableColumn() {
  parser.ContextName = "table column";
  const uint8_t kind = parser.TokenKind();
  if (kind == tkEnd || kind == ';' || kind == ',' || kind == ')' || kind == '=')
    RaiseSqlError("Table column name is empty");
  TExpTreePtr column(parser.ParseAdditive(0));
  if (column->Kind == nkColumn && column->Name != "*") return column;
  if (column->Kind == nkConstant && column->DataType == dtString && !column->IsNull) {
    // A name given as a string.
    column->Kind = nkColumn;
    column->Name = column->AsText();
    return column;
  }
  RaiseSqlError("Invalid column name '" + column->Text + "'" + " or table correlation name " + "''" +
                " specified in table columns");
}

int64_t TSqlParser::ParseWholeNumber(const char* context, const char* emptyMessage, int64_t low, int64_t high) {
  parser.ContextName = context;
  const uint8_t kind = parser.TokenKind();
  if (kind == tkEnd || kind == ';' || kind == ',' || kind == ')') RaiseSqlError(emptyMessage);
  parser.MarkClauseStart();
  TExpTreePtr value(parser.ParseSignedFactor(0));
  std::string shown;
  parser.GetMarkedText(shown);
  const TExpToken* constant = value.get();
  bool negative = false;
  if (constant->Kind == nkUnary && (constant->Code == opNegate || constant->Code == opUnaryPlus)) {
    negative = constant->Code == opNegate;
    constant = constant->First;
  }
  // A value that is no whole number, or does not fit, is refused rather
  // than taken as 0 or cut.
  if (!constant || constant->Kind != nkConstant || constant->DataType != dtInteger || constant->IsNull)
    RaiseSqlError("Whole number expected in " + std::string(context) + ", instead found '" + shown + "'");
  const int64_t number = negative ? -int64_t(constant->AsInteger()) : int64_t(constant->AsInteger());
  if (number < low || number > high)
    RaiseSqlError("Value " + std::to_string(number) + " in " + context + " must be between " + std::to_string(low) +
                  " and " + std::to_string(high));
  return number;
}

std::string TSqlParser::ParseStringLiteral(const std::string& prefix) {
  if (parser.TokenKind() != tkString) Fail(prefix);
  std::string value = Token();
  Next();
  return value;
}

void TSqlParser::SetTableName(TTableReference& table, bool inMemory, const std::string& name) {
  table.InMemory = inMemory;
  if (inMemory) {
    table.DatabaseName = "Memory";
    table.TableName = FilePart(name);
  } else if (HasFolderPart(name)) {
    table.DatabaseName = FolderPart(name);
    table.TableName = FilePart(name);
  } else {
    table.TableName = name;
  }
}

TTableReference& TSqlParser::ParseTableReference(const std::string& missing, const std::string& missingAfterMemory) {
  if (!IsName()) Fail(missing);
  bool inMemory = false;
  if (Keyword("MEMORY")) {
    Next();
    if (!IsName()) Fail(missingAfterMemory);
    inMemory = true;
  }
  auto table = std::make_unique<TTableReference>();
  SetTableName(*table, inMemory, Token().substr(0, SqlNameLimit));
  Next();
  TTableReference& added = *table;
  query.parsed.Sources.Tables.emplace_back(table.release());
  return added;
}

void TSqlParser::ParseCorrelationName(TTableReference& table, std::initializer_list<const char*> stopWords) {
  if (Keyword("AS")) {
    Next();
    if (!IsName()) Fail("Symbol or string expected after AS keyword, instead found '");
    table.CorrelationName = Token();
    Next();
  } else if (IsName() && !KeywordIn(stopWords)) {
    table.CorrelationName = Token();
    Next();
  }
  if (table.CorrelationName.empty()) table.CorrelationName = DefaultCorrelation(table.TableName);
  for (const auto& other : query.parsed.Sources.Tables)
    if (other.get() != &table && SameText(other->CorrelationName, table.CorrelationName))
      RaiseSqlError("Duplicate table correlation name '" + table.CorrelationName + "'" + " found in source tables");
}

void TSqlParser::ParseLanguage(bool& hasLanguage, bool& hasSort) {
  Next();  // LANGUAGE
  const std::string language = Token();
  if (parser.TokenKind() != tkString || !IsValidLanguageName(language))
    RaiseSqlError("Invalid language constant '" + language + "'" + " specified after LANGUAGE keyword");
  query.parsed.Options.LanguageId = LanguageNameToID(language);
  hasLanguage = true;
  Next();
  if (!Keyword("SORT")) return;
  Next();
  const std::string sort = Token();
  if (parser.TokenKind() != tkString || !IsValidSortName(query.parsed.Options.LanguageId, sort))
    RaiseSqlError("Invalid sort constant '" + sort + "'" + " specified after SORT keyword");
  query.parsed.Options.SortId = SortNameToID(query.parsed.Options.LanguageId, sort);
  hasSort = true;
  Next();
}

void TSqlParser::ParseCommitInterval() {
  if (!Keyword("COMMIT")) return;
  Next();
  ExpectKeyword("INTERVAL", "INTERVAL keyword expected after COMMIT keyword, instead found '");
  const int64_t interval = ParseWholeNumber("commit interval", "Commit interval is empty", INT32_MIN, INT32_MAX);
  if (interval < 1)
    RaiseSqlError("COMMIT INTERVAL specified (" + std::to_string(interval) + ") is invalid, it must be " +
                  "greater than 0");
  query.parsed.Options.CommitInterval = int32_t(interval);
  query.parsed.Options.HasCommitInterval = true;
}

void TSqlParser::ParseColumnItems(std::vector<TColumnItem>& items, const std::string& clause, bool orderBy) {
  for (;;) {
    TColumnItem item;
    if (parser.TokenKind() == tkInteger) {
      const std::string digits = Token();
      const long long number = digits.size() > 5 ? 0 : std::stoll(digits);
      if (number < 1 || number > 65535) RaiseSqlError("Invalid column number '" + digits + "'" + " specified in " + clause);
      item.ColumnNo = uint16_t(number);
      Next();
    } else if (parser.TokenKind() == tkIdentifier || parser.TokenKind() == tkString ||
               parser.TokenKind() == tkBracketName) {
      item.Name = Token();
      Next();
      if (IsPunctuation('.')) {
        Next();
        if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
          Fail("Column name or column number expected in " + clause + ", instead found '");
        item.Qualifier = item.Name;
        item.Name = Token();
        Next();
      }
    } else {
      Fail("Column name or column number expected in " + clause + ", instead found '");
    }
    if (orderBy) {
      if (KeywordIn({"ASC", "ASCENDING"})) {
        Next();
      } else if (KeywordIn({"DESC", "DESCENDING"})) {
        item.Descending = true;
        Next();
      }
    }
    items.push_back(item);
    if (!IsPunctuation(',')) return;
    Next();
  }
}

// ---- dispatch -----------------------------------------------------------------

void TSqlParser::Parse(bool nested) {
  query.parsed.Nested = nested;
  parser.ErrorCode = EngErrSql;
  parser.TableName.clear();
  if (Keyword("SELECT")) {
    query.parsed.Kind = qkSelect;
    ParseSelect();
  } else if (nested) {
    Fail("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '");
  } else if (Keyword("INSERT")) {
    query.parsed.Kind = qkInsert;
    ParseInsert();
  } else if (Keyword("UPDATE")) {
    query.parsed.Kind = qkUpdate;
    ParseUpdate();
  } else if (Keyword("DELETE")) {
    query.parsed.Kind = qkDelete;
    ParseDelete();
  } else if (Keyword("CREATE")) {
    Next();
    if (Keyword("TABLE")) {
      query.parsed.Kind = qkCreateTable;
      ParseCreateTable();
    } else if (KeywordIn({"INDEX", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE"})) {
      query.parsed.Kind = qkCreateIndex;
      ParseCreateIndex();
    } else {
      Fail("TABLE or INDEX keyword expected, instead found '");
    }
  } else if (Keyword("ALTER")) {
    Next();
    if (!Keyword("TABLE")) Fail("TABLE keyword expected, instead found '");
    query.parsed.Kind = qkAlterTable;
    ParseAlterTable();
  } else if (Keyword("DROP")) {
    Next();
    if (Keyword("TABLE")) {
      query.parsed.Kind = qkDropTable;
      ParseDropTable();
    } else if (Keyword("INDEX")) {
      query.parsed.Kind = qkDropIndex;
      ParseDropIndex();
    } else {
      Fail("TABLE or INDEX keyword expected, instead found '");
    }
  } else {
    Fail("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '");
  }
}

// ---- SELECT -------------------------------------------------------------------

void TSqlParser::ParseSelect() {
  Next();  // SELECT
  if (Keyword("ALL")) Next();
  if (Keyword("DISTINCT")) {
    query.parsed.Select.Distinct = true;
    Next();
  }
  for (;;) {
    ParseResultColumn();
    if (!IsPunctuation(',')) break;
    Next();
  }
  if (Keyword("INTO")) {
    Next();
    if (Keyword("MEMORY")) {
      Next();
      if (!IsName()) Fail("Result table name expected in INTO MEMORY clause, instead found '");
      query.parsed.Target.InMemory = true;
    } else if (!IsName()) {
      Fail("Result table name expected in INTO clause, instead found '");
    }
    query.parsed.Target.Name = Token().substr(0, SqlNameLimit);
    query.parsed.Target.Into = true;
    query.parsed.LiveRequested = false;
    Next();
  }
  ExpectKeyword("FROM", "FROM keyword expected, instead found '");
  ParseFrom();
  if (Keyword("WHERE")) {
    Next();
    TExpTreePtr condition = ParseClause(WhereContext, "WHERE or JOIN clause is empty", WhereFlags);
    query.parsed.Condition.Where = std::move(condition);
  }
  if (Keyword("GROUP")) {
    Next();
    ExpectKeyword("BY", "BY keyword expected after GROUP keyword, instead found '");
    ParseColumnItems(query.parsed.Grouping.Items, "GROUP BY clause", false);
  }
  if (Keyword("HAVING")) {
    Next();
    query.parsed.Grouping.Having = ParseClause("HAVING clause", "HAVING clause is empty", HavingFlags);
  }
  if (Keyword("ORDER")) {
    Next();
    ExpectKeyword("BY", "BY keyword expected after ORDER keyword, instead found '");
    ParseColumnItems(query.parsed.Ordering.Items, "ORDER BY clause", true);
    if (Keyword("NOCASE")) {
      query.parsed.Ordering.NoCase = true;
      Next();
    }
  }
  if (Keyword("WITH")) {
    Next();
    ExpectKeyword("LOCKS", "LOCKS keyword expected after WITH keyword, instead found '");
    query.parsed.Options.WithLocks = true;
  }
  if (Keyword("LANGUAGE")) ParseLanguage(query.parsed.Options.HasLanguage, query.parsed.Options.HasSort);
  if (Keyword("ENCRYPTED")) {
    Next();
    ExpectKeyword("WITH", "WITH keyword expected after ENCRYPTED keyword, instead found '");
    query.parsed.Options.Password =
        ParseStringLiteral("Password expected after ENCRYPTED WITH keywords, instead found '");
    query.parsed.Options.Encrypted = !query.parsed.Options.Password.empty();
    query.parsed.Options.HasEncryption = true;
  }
  if (Keyword("NOJOINOPTIMIZE")) {
    query.parsed.Sources.NoJoinOptimize = true;
    Next();
  }
  if (!query.parsed.Nested) EndOfStatement("End of SELECT statement expected, instead found '");
}

void TSqlParser::ParseResultColumn() {
  auto column = std::make_unique<TResultItem>();
  TExpTreePtr item = ParseClause("source column expression", "Source column expression is empty", ResultColumnFlags);
  std::string source;
  parser.GetMarkedText(source);
  source = Trimmed(source);
  if (item->Kind == nkColumn) {
    column->SourceName = item->Name;
    column->SourceQualifier = item->CorrelationName;
    column->AllColumns = item->Name == "*";
    column->Name = item->Name;
  } else if (item->Kind == nkFunction && AggregateCodeOf(item->Text) != 0 && item->Code >= fnSum &&
             item->Code <= fnAvg) {
    static constexpr uint8_t Kinds[] = {agSum, agCount, agMin, agMax, agAvg};
    column->Aggregate = Kinds[item->Code - fnSum];
    if (column->Aggregate == agAvg) query.parsed.Select.HasAverage = true;
    if (ContainsAggregate(item->First)) RaiseSqlError("Aggregate functions cannot be nested");
    TExpToken* argument = item->First;
    if (argument && argument->Kind == nkColumn && argument->Name == "*") {
      column->CountStar = column->Aggregate == agCount;
    } else if (argument && argument->Kind == nkColumn) {
      column->SourceName = argument->Name;
      column->SourceQualifier = argument->CorrelationName;
      column->Name = argument->Name;
    } else {
      column->Computed = true;
      column->ExpressionText = source;
    }
    if (argument) {
      item->First = nullptr;
      argument->Parent = nullptr;
      column->Tree.reset(argument);
    }
    if (column->CountStar) column->Tree.reset();
  } else {
    if (ContainsAggregate(item.get())) RaiseSqlError("Aggregate functions cannot be used within expressions");
    column->Computed = true;
    column->ExpressionText = source;
  }
  if (!column->Tree && !column->CountStar) column->Tree = std::move(item);
  // The alias.
  if (Keyword("AS")) {
    Next();
    if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
      Fail("Symbol or string expected after AS keyword, instead found '");
    column->Name = Token();
    column->GeneratedName = false;
    Next();
  } else if ((parser.TokenKind() == tkIdentifier || parser.TokenKind() == tkString ||
              parser.TokenKind() == tkBracketName) &&
             !KeywordIn({"INTO", "FROM"})) {
    column->Name = Token();
    column->GeneratedName = false;
    Next();
  }
  if (!column->GeneratedName && IsPunctuation('.')) {
    Next();
    if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
      Fail("Symbol or string expected after table correlation name, instead found '");
    column->Name = Token();
    Next();
  }
  query.parsed.Select.Items.push_back(std::move(column));
}

void TSqlParser::ParseFrom() {
  static const std::initializer_list<const char*> plainStops = {"LEFT", "RIGHT", "INNER", "JOIN", "WHERE",
                                                                "ORDER", "GROUP", "HAVING", "WITH", "ENCRYPTED"};
  static const std::initializer_list<const char*> insertStops = {
      "LEFT",  "RIGHT", "INNER",     "JOIN",     "WHERE",    "ORDER",
      "GROUP", "HAVING", "WITH",     "ENCRYPTED", "NOAUTOINC", "COMMIT"};
  const bool underInsert = query.parsed.Nested && &query != &query.Statement.MainQuery() &&
                           query.Statement.MainQuery().Parsed.Kind == qkInsert;
  bool afterJoin = false;
  for (;;) {
    TTableReference& table =
        ParseTableReference("Table name expected after FROM keyword, instead found '", "Table name expected, instead found '");
    table.Position = uint16_t(query.parsed.Sources.Tables.size());
    ParseCorrelationName(table, underInsert ? insertStops : plainStops);
    // Joins after the table.
    for (;;) {
      if (Keyword("JOIN")) {
        ParseJoin(jkInner);
      } else if (Keyword("INNER")) {
        Next();
        if (!Keyword("JOIN")) Fail("JOIN keyword expected after INNER keyword, instead found '");
        ParseJoin(jkInner);
      } else if (Keyword("LEFT")) {
        Next();
        if (Keyword("OUTER")) Next();
        if (!Keyword("JOIN")) Fail("JOIN keyword expected after LEFT or OUTER keyword, instead found '");
        ParseJoin(jkLeft);
      } else if (Keyword("RIGHT")) {
        Next();
        if (Keyword("OUTER")) Next();
        if (!Keyword("JOIN")) Fail("JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
        ParseJoin(jkRight);
      } else if (afterJoin && Keyword("FULL")) {
        RaiseSqlError("Full outer joins are currently not supported in MDB SQL SELECT statements");
      } else {
        break;
      }
      afterJoin = true;
    }
    if (!IsPunctuation(',')) return;
    Next();
  }
}

void TSqlParser::ParseJoin(uint8_t kind) {
  Next();  // JOIN
  TTableReference& table =
      ParseTableReference("Table name expected after JOIN keyword, instead found '", "Table name expected, instead found '");
  if (kind == jkRight) {
    // The right-joined table goes first: it is the outer one.
    auto owned = std::move(query.parsed.Sources.Tables.back());
    query.parsed.Sources.Tables.pop_back();
    query.parsed.Sources.Tables.insert(query.parsed.Sources.Tables.begin(), std::move(owned));
  }
  table.Position = uint16_t(query.parsed.Sources.Tables.size());
  ParseCorrelationName(table, {"ON"});
  ExpectKeyword("ON", "ON keyword expected in JOIN clause, instead found '");
  TJoinClause clause;
  clause.Condition = ParseClause(WhereContext, "WHERE or JOIN clause is empty", JoinFlags);
  clause.Kind = kind;
  query.parsed.Condition.Joins.push_back(std::move(clause));
}

// ---- INSERT, UPDATE, DELETE -------------------------------------------------------

void TSqlParser::ParseInsert() {
  query.parsed.LiveRequested = true;
  Next();  // INSERT
  ExpectKeyword("INTO", "INTO keyword expected, instead found '");
  if (!IsName()) Fail("Table name expected after INTO clause, instead found '");
  TTableReference& table = ParseTableReference("Table name expected after INTO keyword, instead found '",
                                            "Table name expected after INTO keyword, instead found '");
  table.Position = 1;
  ParseCorrelationName(table, {"VALUES", "SELECT"});
  if (IsPunctuation('(')) {
    Next();
    for (;;) {
      TExpTreePtr column = ParseTableColumn();
      query.parsed.Change.Columns.push_back({column->Name, column->CorrelationName});
      if (!IsPunctuation(',')) break;
      Next();
    }
    ExpectPunctuation(')', "Right parentheses expected after list of table columns, instead found '");
  } else {
    query.parsed.Change.Columns.push_back({"*", ""});
  }
  if (Keyword("VALUES")) {
    Next();
    ExpectPunctuation('(', "Left parentheses expected after VALUES keyword, instead found '");
    for (;;) {
      auto value = std::make_unique<TUpdateValue>();
      value->Tree = ParseClause("value expression", "Value expression is empty", ValueFlags);
      parser.GetMarkedText(value->Text);
      value->Text = Trimmed(value->Text);
      query.parsed.Change.Values.push_back(std::move(value));
      if (!IsPunctuation(',')) break;
      Next();
    }
    ExpectPunctuation(')', "Right parentheses expected after list of values, instead found '");
  } else if (Keyword("SELECT")) {
    TDataQuery& select = query.Statement.AddQuery();
    select.parsed.LiveRequested = true;
    TSqlParser(select, parser, text).Parse(true);
    query.parsed.Change.SubSelect = &select;
  } else {
    Fail("VALUES or SELECT  keyword expected, instead found '");
  }
  if (Keyword("NOAUTOINC")) {
    query.parsed.Options.NoAutoInc = true;
    Next();
  }
  ParseCommitInterval();
  EndOfStatement("End of INSERT statement expected, instead found '");
}

void TSqlParser::ParseUpdate() {
  query.parsed.LiveRequested = true;
  Next();  // UPDATE
  TTableReference& table =
      ParseTableReference("Table name expected, instead found '", "Table name expected, instead found '");
  table.Position = 1;
  ParseCorrelationName(table, {"SET"});
  ExpectKeyword("SET", "SET keyword expected, instead found '");
  for (;;) {
    TExpTreePtr column = ParseTableColumn();
    query.parsed.Change.Columns.push_back({column->Name, column->CorrelationName});
    ExpectPunctuation('=', "Assignment (=) operator expected after column name, instead found '");
    auto value = std::make_unique<TUpdateValue>();
    value->Tree = ParseClause("value expression", "Value expression is empty", ValueFlags);
    parser.GetMarkedText(value->Text);
    value->Text = Trimmed(value->Text);
    query.parsed.Change.Values.push_back(std::move(value));
    if (!IsPunctuation(',')) break;
    Next();
  }
  if (Keyword("WHERE")) {
    Next();
    query.parsed.Condition.Where = ParseClause(WhereContext, "WHERE or JOIN clause is empty", WhereFlags);
  }
  if (Keyword("NOAUTOINC")) {
    query.parsed.Options.NoAutoInc = true;
    Next();
  }
  ParseCommitInterval();
  EndOfStatement("End of UPDATE statement expected, instead found '");
}

void TSqlParser::ParseDelete() {
  query.parsed.LiveRequested = true;
  Next();  // DELETE
  ExpectKeyword("FROM", "FROM keyword expected, instead found '");
  TTableReference& table =
      ParseTableReference("Table name expected, instead found '", "Table name expected, instead found '");
  table.Position = 1;
  ParseCorrelationName(table, {"WHERE", "NOJOINOPTIMIZE", "COMMIT"});
  if (Keyword("WHERE")) {
    Next();
    query.parsed.Condition.Where = ParseClause(WhereContext, "WHERE or JOIN clause is empty", WhereFlags);
  }
  ParseCommitInterval();
  EndOfStatement("End of DELETE statement expected, instead found '");
}
