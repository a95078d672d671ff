#pragma once
// The statement grammar: one recursive-descent routine per statement kind
// over the shared expression parser's tokens. Clause expressions go to the
// expression grammar under a context name; the words around them are
// tested here. Every error is engine error 11949 with the message of the
// place, and the parse stops at once.

#include <cstdint>
#include <string>
#include <vector>

#include "engExpToken.h"
#include "sqlItems.h"

class TDataQuery;
class TExpressionParser;

class TSqlParser {
public:
  // text: the statement's whole text, to tell quotes apart.
  TSqlParser(TDataQuery& query, TExpressionParser& parser, const std::string& text);

  // Parses from the current token; a nested SELECT stops after its last
  // clause, any other statement at its end.
  void Parse(bool nested);

private:
  TDataQuery& query;
  TExpressionParser& parser;
  const std::string& text;

  // Tokens.
  bool Keyword(const char* word) const;
  bool KeywordIn(std::initializer_list<const char*> words) const;
  bool IsPunctuation(char c) const;
  bool IsStringLiteral() const;
  bool IsQuotedName() const;
  // An identifier or a quoted name.
  bool IsName() const;
  std::string Token() const;
  void Next();
  [[noreturn]] void Fail(const std::string& prefix) const;
  void ExpectKeyword(const char* word, const std::string& prefix);
  void ExpectPunctuation(char c, const std::string& prefix);
  void EndOfStatement(const std::string& prefix);

  // Clauses.
  TExpTreePtr ParseClause(const char* context, const char* emptyMessage, uint8_t flags);
  TExpTreePtr ParseTableColumn();
  // A whole number in [low, high] written as a signed integer constant.
  int64_t ParseWholeNumber(const char* context, const char* emptyMessage, int64_t low, int64_t high);
  std::string ParseStringLiteral(const std::string& prefix);
  // [MEMORY] name: the kind's messages for a missing name.
  // The table goes into the query's list; it is the parser's to complete
  // until the statement is parsed.
  TTableReference& ParseTableReference(const std::string& missing, const std::string& missingAfterMemory);
  void SetTableName(TTableReference& table, bool inMemory, const std::string& name);
  void ParseCorrelationName(TTableReference& table, std::initializer_list<const char*> stopWords);
  void ParseLanguage(bool& hasLanguage, bool& hasSort);
  void ParseCommitInterval();
  void ParseColumnItems(std::vector<TColumnItem>& items, const std::string& clause, bool orderBy);
  // CREATE/ALTER: the primary key's options, index columns and COMPRESS.
  void ParseIndexOptions(TCreateIndex& index);
  void ParseIndexColumns(TCreateIndex& index);
  void ParseCompression(TCreateIndex& index);
  void ParsePrimaryKey(TCreateIndex& index);
  // name and data type; typeOptional for REDEFINE.
  void ParseColumnDefinition(TCreateField& field, bool typeOptional);
  void ParseColumnOptions(TCreateField& field, bool alter);
  void ParseTableOptions(bool alter);
  uint16_t ParseUserVersion(const std::string& missing);

  // Statements.
  void ParseSelect();
  void ParseResultColumn();
  void ParseFrom();
  void ParseJoin(uint8_t kind);
  void ParseInsert();
  void ParseUpdate();
  void ParseDelete();
  void ParseCreateTable();
  void ParseCreateIndex();
  void ParseAlterTable();
  void ParseAlteration();
  void ParseDropTable();
  void ParseDropIndex();
};

// Context names of the clauses.
inline constexpr const char* WhereContext = "WHERE or JOIN clause";
