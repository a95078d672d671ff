// CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP TABLE and DROP INDEX.

#include <climits>

#include "engErrorCodes.h"
#include "engExpParser.h"
#include "engExpTypeCheck.h"
#include "engPaths.h"
#include "sqlErrors.h"
#include "sqlParser.h"
#include "sqlQuery.h"

namespace {

constexpr const char* TableColumnContext = "table column";
constexpr const char* PrimaryKeyEnd = "Right parentheses expected after primary key clause, instead found '";
constexpr const char* IndexColumnsStart = "Left parentheses expected after KEY keyword, instead found '";

}  // namespace

void TSqlParser::ParseColumnDefinition(TCreateField& field, bool typeOptional) {
  parser.ContextName = TableColumnContext;
  if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
    RaiseSqlError("Table column name is empty");
  field.Name = Token().substr(0, 255);
  Next();
  TExpTreePtr type(NewToken());
  if (!parser.ParseDataType(type.get(), 0, typeOptional)) return;
  TExpCheckContext check{EngErrSql, {}, TableColumnContext, nullptr, parser.FormatSettings};
  CheckCastArguments(check, type.get());
  field.HasType = true;
  field.DataType = type->DataType;
  field.SubType = type->SubType;
  field.Size = type->DataType == dtString ? type->DataSize - 1 : type->DataSize;
  field.Scale = type->Scale;
}

void TSqlParser::ParseColumnOptions(TCreateField& field, bool alter) {
  if (alter && Keyword("AT")) {
    Next();
    field.At = int32_t(ParseWholeNumber("column position", "column position is empty", INT16_MIN, INT16_MAX));
    field.HasAt = true;
  }
  auto valueToken = [this](std::string& target, bool& flag) {
    Next();
    if (parser.TokenKind() == tkEnd) Fail("Value expected, instead found '");
    std::string value;
    if (IsPunctuation('-') || IsPunctuation('+')) {
      value = Token();
      Next();
    }
    target = value + Token();
    flag = true;
    Next();
  };
  if (Keyword("DESCRIPTION")) {
    Next();
    field.Description = ParseStringLiteral("Description expected after DESCRIPTION keyword, instead found '");
    field.HasDescription = true;
  }
  if (Keyword("NOT")) {
    Next();
    ExpectKeyword("NULL", "NULL keyword expected after NOT keyword, instead found '");
    field.Required = true;
    field.HasRequired = true;
  }
  if (Keyword("DEFAULT")) valueToken(field.Default, field.HasDefault);
  if (KeywordIn({"MIN", "MINIMUM"})) valueToken(field.Minimum, field.HasMinimum);
  if (KeywordIn({"MAX", "MAXIMUM"})) valueToken(field.Maximum, field.HasMaximum);
  if (Keyword("CHARCASE")) {
    Next();
    if (Keyword("UPPER"))
      field.CharCase = ccUpper;
    else if (Keyword("LOWER"))
      field.CharCase = ccLower;
    else if (Keyword("NOCHANGE"))
      field.CharCase = ccNoChange;
    else
      Fail("UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found '");
    field.HasCharCase = true;
    Next();
  }
}

void TSqlParser::ParseIndexOptions(TCreateIndex& index) {
  if (Keyword("UNIQUE")) {
    index.Unique = true;
    Next();
  }
  if (KeywordIn({"ASC", "ASCENDING"})) {
    Next();
  } else if (KeywordIn({"DESC", "DESCENDING"})) {
    index.Descending = true;
    Next();
  }
  if (Keyword("NOCASE")) {
    index.CaseInsensitive = true;
    Next();
  }
}

void TSqlParser::ParseIndexColumns(TCreateIndex& index) {
  ExpectPunctuation('(', IndexColumnsStart);
  for (;;) {
    parser.ContextName = "index column";
    if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
      RaiseSqlError("Index column name is empty");
    index.Columns.push_back(Token());
    Next();
    if (!IsPunctuation(',')) break;
    Next();
  }
  ExpectPunctuation(')', PrimaryKeyEnd);
}

void TSqlParser::ParseCompression(TCreateIndex& index) {
  if (!Keyword("COMPRESS")) return;
  Next();
  if (Keyword("NONE"))
    index.Compression = kcNone;
  else if (Keyword("DUPBYTE"))
    index.Compression = kcLeading;
  else if (Keyword("TRAILBYTE"))
    index.Compression = kcTrailing;
  else if (Keyword("FULL"))
    index.Compression = kcFull;
  else
    Fail("FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found '");
  Next();
}

void TSqlParser::ParsePrimaryKey(TCreateIndex& index) {
  if (Keyword("CONSTRAINT")) {
    Next();
    if (parser.TokenKind() != tkEnd) Next();  // the name is not kept
  }
  ParseIndexOptions(index);
  ExpectKeyword("PRIMARY", "PRIMARY keyword expected, instead found '");
  ExpectKeyword("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
  ParseIndexColumns(index);
  ParseCompression(index);
  index.Unique = true;
}

uint16_t TSqlParser::ParseUserVersion(const std::string& missing) {
  Next();  // MAJOR or MINOR
  ExpectKeyword("VERSION", missing);
  return uint16_t(ParseWholeNumber("user version number", "User version number is empty", 0, UINT16_MAX));
}

void TSqlParser::ParseTableOptions(bool alter) {
  if (Keyword("DESCRIPTION")) {
    Next();
    query.parsed.Options.Description =
        ParseStringLiteral("Description expected after DESCRIPTION keyword, instead found '");
    query.parsed.Options.HasDescription = true;
  }
  if (Keyword("BLOB")) {
    Next();
    ExpectKeyword("BLOCK", "BLOCK keyword expected after BLOB keyword, instead found '");
    ExpectKeyword("SIZE", "SIZE keyword expected after BLOCK keyword, instead found '");
    query.parsed.Options.BlobBlockSize =
        uint16_t(ParseWholeNumber("BLOB block size", "BLOB block size is empty", 1, UINT16_MAX));
    query.parsed.Options.HasBlobBlockSize = true;
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
  if (Keyword("USER")) {
    Next();
    if (Keyword("MAJOR")) {
      query.parsed.Options.UserMajorVersion =
          ParseUserVersion("VERSION keyword expected after MAJOR keyword, instead found '");
      query.parsed.Options.HasMajorVersion = true;
      if (Keyword("USER")) {
        Next();
        if (!Keyword("MINOR")) Fail("MINOR keyword expected after USER keyword, instead found '");
        query.parsed.Options.UserMinorVersion =
            ParseUserVersion("VERSION keyword expected after MINOR keyword, instead found '");
        query.parsed.Options.HasMinorVersion = true;
      }
    } else if (Keyword("MINOR")) {
      query.parsed.Options.UserMinorVersion =
          ParseUserVersion("VERSION keyword expected after MINOR keyword, instead found '");
      query.parsed.Options.HasMinorVersion = true;
    } else {
      Fail("MAJOR keyword expected after USER keyword, instead found '");
    }
  }
  if (!alter) return;
  if (Keyword("LAST")) {
    Next();
    ExpectKeyword("AUTOINC", "AUTOINC keyword expected after LAST keyword, instead found '");
    query.parsed.Options.LastAutoInc =
        int32_t(ParseWholeNumber("next auto-increment number", "Next auto-increment number is empty", 0, INT32_MAX));
  }
  if (Keyword("NOBACKUP")) {
    query.parsed.Options.NoBackup = true;
    Next();
  }
}

void TSqlParser::ParseCreateTable() {
  Next();  // TABLE
  TTableReference& table = ParseTableReference("Table name expected after CREATE TABLE keywords, instead found '",
                                            "Table name expected, instead found '");
  query.parsed.Target.Name =
      table.DatabaseName.empty() || table.InMemory ? table.TableName : table.DatabaseName + table.TableName;
  query.parsed.Target.InMemory = table.InMemory;
  ExpectPunctuation('(', "Left parentheses expected before list of table columns, instead found '");
  static const std::initializer_list<const char*> listEnd = {
      "CONSTRAINT", "PRIMARY", "UNIQUE",      "ASC",  "ASCENDING", "DESC",      "DESCENDING",
      "NOCASE",     "DESCRIPTION", "BLOB", "LANGUAGE",  "ENCRYPTED", "USER"};
  while (!IsPunctuation(')') && !KeywordIn(listEnd)) {
    auto field = std::make_unique<TCreateField>();
    ParseColumnDefinition(*field, false);
    ParseColumnOptions(*field, false);
    query.parsed.Definition.Fields.push_back(std::move(field));
    if (!IsPunctuation(',')) break;
    Next();
  }
  if (KeywordIn({"CONSTRAINT", "PRIMARY", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE"})) {
    auto index = std::make_unique<TCreateIndex>();
    ParsePrimaryKey(*index);
    query.parsed.Definition.Indexes.push_back(std::move(index));
    if (IsPunctuation(',')) Next();
  }
  ParseTableOptions(false);
  ExpectPunctuation(')', "Right parentheses expected after CREATE TABLE statement, instead found '");
  EndOfStatement("End of CREATE TABLE statement expected, instead found '");
}

void TSqlParser::ParseCreateIndex() {
  auto index = std::make_unique<TCreateIndex>();
  ParseIndexOptions(*index);
  ExpectKeyword("INDEX", "INDEX keyword expected, instead found '");
  if (!IsName()) Fail("Index name expected after INDEX keyword, instead found '");
  index->Name = Token().substr(0, 255);
  Next();
  ExpectKeyword("ON", "ON keyword expected after index name, instead found '");
  TTableReference& table =
      ParseTableReference("Table name expected after ON keyword, instead found '", "Table name expected, instead found '");
  query.parsed.Target.Name =
      table.DatabaseName.empty() || table.InMemory ? table.TableName : table.DatabaseName + table.TableName;
  query.parsed.Target.InMemory = table.InMemory;
  ParseIndexColumns(*index);
  ParseCompression(*index);
  query.parsed.Target.IndexName = index->Name;
  query.parsed.Definition.Indexes.push_back(std::move(index));
  EndOfStatement("End of CREATE INDEX statement expected, instead found '");
}

void TSqlParser::ParseAlteration() {
  const bool drop = Keyword("DROP");
  const bool redefine = Keyword("REDEFINE");
  Next();  // ADD, REDEFINE or DROP
  static const std::initializer_list<const char*> keyWords = {"CONSTRAINT", "PRIMARY", "UNIQUE", "ASC",
                                                              "ASCENDING",  "DESC",    "DESCENDING", "NOCASE"};
  if (drop) {
    if (KeywordIn({"CONSTRAINT", "PRIMARY"})) {
      if (Keyword("CONSTRAINT")) {
        Next();
        if (parser.TokenKind() != tkEnd) Next();
      }
      ExpectKeyword("PRIMARY", "PRIMARY keyword expected, instead found '");
      ExpectKeyword("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
      auto index = std::make_unique<TCreateIndex>();
      index->Drop = true;
      query.parsed.Definition.Indexes.push_back(std::move(index));
      return;
    }
    if (Keyword("COLUMN")) Next();
    auto field = std::make_unique<TCreateField>();
    ParseColumnDefinition(*field, true);
    field->OldName = field->Name;
    field->Drop = true;
    query.parsed.Definition.Fields.push_back(std::move(field));
    return;
  }
  if (KeywordIn(keyWords)) {
    auto index = std::make_unique<TCreateIndex>();
    ParsePrimaryKey(*index);
    index->Add = !redefine;
    index->Redefine = redefine;
    query.parsed.Definition.Indexes.push_back(std::move(index));
    return;
  }
  if (Keyword("COLUMN")) Next();
  auto field = std::make_unique<TCreateField>();
  field->Add = !redefine;
  field->Redefine = redefine;
  if (redefine) {
    parser.ContextName = TableColumnContext;
    if (parser.TokenKind() != tkIdentifier && parser.TokenKind() != tkString && parser.TokenKind() != tkBracketName)
      RaiseSqlError("Table column name is empty");
    field->OldName = Token();
    field->Name = field->OldName;
    Next();
    static const std::initializer_list<const char*> optionWords = {"AT",  "DESCRIPTION", "NOT",      "DEFAULT",
                                                                   "MIN", "MINIMUM",     "MAX",      "MAXIMUM",
                                                                   "CHARCASE", "ADD", "REDEFINE", "DROP"};
    if (!IsPunctuation(',') && parser.TokenKind() != tkEnd && !IsPunctuation(';') && !KeywordIn(optionWords) &&
        !KeywordIn({"BLOB", "LANGUAGE", "ENCRYPTED", "USER", "LAST", "NOBACKUP"}))
      ParseColumnDefinition(*field, true);
  } else {
    ParseColumnDefinition(*field, false);
  }
  ParseColumnOptions(*field, true);
  query.parsed.Definition.Fields.push_back(std::move(field));
}

void TSqlParser::ParseAlterTable() {
  Next();  // TABLE
  TTableReference& table = ParseTableReference("Table name expected after ALTER TABLE keywords, instead found '",
                                            "Table name expected, instead found '");
  query.parsed.Target.Name =
      table.DatabaseName.empty() || table.InMemory ? table.TableName : table.DatabaseName + table.TableName;
  query.parsed.Target.InMemory = table.InMemory;
  while (KeywordIn({"ADD", "REDEFINE", "DROP"})) {
    ParseAlteration();
    if (!IsPunctuation(',')) break;
    Next();
  }
  ParseTableOptions(true);
  EndOfStatement("End of ALTER TABLE statement expected, instead found '");
}

void TSqlParser::ParseDropTable() {
  Next();  // TABLE
  TTableReference& table = ParseTableReference("Table name expected after TABLE keyword, instead found '",
                                            "Table name expected, instead found '");
  query.parsed.Target.Name =
      table.DatabaseName.empty() || table.InMemory ? table.TableName : table.DatabaseName + table.TableName;
  query.parsed.Target.InMemory = table.InMemory;
  EndOfStatement("End of DROP TABLE statement expected, instead found '");
}

void TSqlParser::ParseDropIndex() {
  Next();  // INDEX
  bool inMemory = false;
  if (Keyword("MEMORY")) {
    inMemory = true;
    Next();
  }
  parser.ContextName = "index name expression";
  if (parser.TokenKind() == tkEnd || IsPunctuation(';')) RaiseSqlError("Index name expression is empty");
  TExpTreePtr name(parser.ParsePrimary(pfAllColumns));
  if (name->Kind != nkColumn || name->CorrelationName.empty())
    RaiseSqlError("Table name expected after INDEX keyword, instead found '" + name->Text + "'");
  auto table = std::make_unique<TTableReference>();
  SetTableName(*table, inMemory, name->CorrelationName);
  table->Position = 1;
  query.parsed.Target.Name =
      table->DatabaseName.empty() || table->InMemory ? table->TableName : table->DatabaseName + table->TableName;
  query.parsed.Target.InMemory = inMemory;
  query.parsed.Sources.Tables.push_back(std::move(table));
  query.parsed.Target.IndexName = name->Name;
  EndOfStatement("End of DROP INDEX statement expected, instead found '");
}
