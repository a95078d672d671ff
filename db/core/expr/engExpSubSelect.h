#pragma once
// A SELECT nested in an expression (IN (SELECT ...)) lives in the SQL
// layer; the expression engine reaches it only through these interfaces,
// which the SQL statement implements.

class TExpressionParser;
class TExpToken;

// One nested query, owned by its SQL statement; nodes only point at it.
class TExpNestedQuery {
public:
  virtual int ResultColumnCount() = 0;
  // Gives the node the type, subtype, size (SetDataSize) and scale of the
  // query's one result column; false when that column does not resolve.
  virtual bool ResolveColumnType(TExpToken& node) = 0;
  // Makes the condition (tested value "=" the query's column) the filter of
  // the query's answer table; true when records remain.
  virtual bool ApplyResultFilter(TExpToken& condition) = 0;

protected:
  ~TExpNestedQuery() = default;
};

// What a parser that may meet a nested SELECT is created with: the SQL
// statement. Cursors have none.
class TExpQueryOwner {
public:
  // Called with the parser's current token on the SELECT keyword: creates
  // the nested query, parses it and leaves the parser on the first token
  // after it. Raises the SQL layer's error on a bad SELECT.
  virtual TExpNestedQuery* ParseNestedSelect(TExpressionParser& parser) = 0;

protected:
  ~TExpQueryOwner() = default;
};
