#pragma once
// One SQL statement: the expression parser that reads its text, its main
// query and every nested query (main first, then in the order the parser
// met them), and the parameters of all of them in the order of the text.
// The query component creates one per statement, prepares it once, and
// then sets parameters and executes as often as it likes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engExpSubSelect.h"
#include "sqlParams.h"
#include "sqlQuery.h"

class TTableCursor;
class TDataDirectory;
class TExpressionParser;
class TExpToken;

class TQueryStatement final : public TExpQueryOwner {
public:
  // database: the directory that unqualified table names live in.
  explicit TQueryStatement(TDataDirectory* database);
  ~TQueryStatement();
  TQueryStatement(const TQueryStatement&) = delete;
  TQueryStatement& operator=(const TQueryStatement&) = delete;

  TDataDirectory* Database() const { return database; }
  TDataQuery& MainQuery() { return *queries.front(); }
  int QueryCount() const { return int(queries.size()); }
  TDataQuery& QueryAt(int index) { return *queries[size_t(index)]; }

  void SetRequestLive(bool live);
  void SetMaxRowCount(int32_t count);
  void SetPasswordHandler(TSqlPasswordProc proc);
  void SetProgressHandler(TSqlProgressProc proc);

  // Parses and prepares the text; adds to position the offset where the
  // parser stopped (after a ";"), so that a script goes on from there.
  void Prepare(const std::string& text, int32_t& position);
  int ParamCount() const { return int(params.size()); }
  // Assigns values in order; a value beyond the statement's parameters is
  // "Internal parameter error" (the ones before it stay set).
  void SetParams(const std::vector<TSqlParamValue>& values);
  // A copy of a parsed clause for one execution: its parameter tokens hold
  // the values set last (a parameter never set stays as parsed).
  TExpTreePtr CopyWithParams(const TExpToken& clause) const;
  // Sub-queries from the last to the second, then the main query; the
  // main query's result cursor (nil for statements without a result).
  TTableCursor* Execute();
  int32_t GetRecordCount() const;
  double GetElapsed() const;

  // Appends a nested query; the statement owns it.
  TDataQuery& AddQuery();

  // TExpQueryOwner.
  TExpNestedQuery* ParseNestedSelect(TExpressionParser& parser) override;

private:
  TDataDirectory* database;
  std::unique_ptr<TExpressionParser> parser;
  std::vector<std::unique_ptr<TDataQuery>> queries;
  // The parsed parameter tokens in the order of the text (nodes of the
  // queries' trees, never written) and the values the caller set, by the
  // same place.
  std::vector<const TExpToken*> params;
  std::vector<std::optional<TSqlParamValue>> paramValues;
  std::string sourceText;
};
