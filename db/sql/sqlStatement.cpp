#include "sqlStatement.h"

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpParser.h"
#include "engExpToken.h"
#include "engSession.h"
#include "engDirectory.h"
#include "engExpEval.h"
#include "rtlAssert.h"
#include "rtlExceptions.h"
#include "sqlCorrelation.h"
#include "sqlErrors.h"
#include "sqlParser.h"

TQueryStatement::TQueryStatement(TDataDirectory* database)
    : database(database), parser(std::make_unique<TExpressionParser>(this)) {
  queries.push_back(std::make_unique<TDataQuery>(*this));
}

// Nested queries go first: the main query's source tables may share their
// tables, and answer tables of nested queries are read by no one after.
TQueryStatement::~TQueryStatement() {
  while (!queries.empty()) queries.pop_back();
}

void TQueryStatement::SetRequestLive(bool live) { MainQuery().parsed.LiveRequested = live; }

void TQueryStatement::SetMaxRowCount(int32_t count) { MainQuery().Run.MaxRowCount = count; }

void TQueryStatement::SetPasswordHandler(TSqlPasswordProc proc) { MainQuery().Run.PasswordProc = std::move(proc); }

void TQueryStatement::SetProgressHandler(TSqlProgressProc proc) { MainQuery().Run.ProgressProc = std::move(proc); }

TDataQuery& TQueryStatement::AddQuery() {
  queries.push_back(std::make_unique<TDataQuery>(*this));
  TDataQuery& query = *queries.back();
  query.Run.PasswordProc = MainQuery().Run.PasswordProc;
  return query;
}

TExpNestedQuery* TQueryStatement::ParseNestedSelect(TExpressionParser& nestedParser) {
  TDataQuery& query = AddQuery();
  // The expression grammar's context belongs to the clause around the
  // SELECT; it is put back for the rest of that clause.
  const std::string context = nestedParser.ContextName;
  TSqlParser(query, nestedParser, sourceText).Parse(true);
  nestedParser.ContextName = context;
  return &query;
}

void TQueryStatement::Prepare(const std::string& text, int32_t& position) {
  // A second Prepare starts from a fresh model that keeps only the
  // caller's requests.
  auto fresh = std::make_unique<TDataQuery>(*this);
  fresh->parsed.LiveRequested = MainQuery().Parsed.LiveRequested;
  fresh->Run.MaxRowCount = MainQuery().Run.MaxRowCount;
  fresh->Run.ProgressProc = MainQuery().Run.ProgressProc;
  fresh->Run.PasswordProc = MainQuery().Run.PasswordProc;
  while (queries.size() > 1) queries.pop_back();
  queries.front() = std::move(fresh);
  params.clear();
  paramValues.clear();
  sourceText = text;
  const TDataSession* session = database->Session();
  parser->FormatSettings = &GetLocaleFormatSettings(session->LanguageID, session->SortID);
  parser->ErrorCode = EngErrSql;
  parser->SetText(text);
  int32_t stoppedAt = 0;
  try {
    parser->NextToken();
    TSqlParser(MainQuery(), *parser, sourceText).Parse(false);
    stoppedAt = parser->TokenKind() == ';' ? parser->GetTokenOffset() + 1 : int32_t(text.size());
  } catch (const EConvertError& error) {
    // A number the scanner cannot hold.
    parser->ClearText();
    RaiseSqlError(error.Message);
  } catch (...) {
    parser->ClearText();
    throw;
  }
  parser->ClearText();
  MainQuery().CollectParams(params);
  for (int i = QueryCount() - 1; i >= 0; --i) QueryAt(i).Prepare();
  LinkNestedQueries(*this);
  position += stoppedAt;
}

void TQueryStatement::SetParams(const std::vector<TSqlParamValue>& values) {
  paramValues.resize(params.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (i >= params.size()) RaiseSqlError("Internal parameter error");
    // Refused here, as the caller sets it, not when a run first reads it.
    TExpToken check;
    AssignParamValue(check, values[i]);
    paramValues[i] = values[i];
  }
}

namespace {

// Walks a tree and its copy side by side, giving each parameter token of
// the copy the value set for its parsed token.
void BindCopiedParams(const TExpToken* parsed, TExpToken* copy, const std::vector<const TExpToken*>& params,
                      const std::vector<std::optional<TSqlParamValue>>& values) {
  for (; parsed && copy; parsed = parsed->Next, copy = copy->Next) {
    // A copy is the same tree, node for node.
    ORV_ASSERT(parsed->Kind == copy->Kind && parsed->IsParam == copy->IsParam);
    if (parsed->IsParam)
      for (size_t i = 0; i < params.size() && i < values.size(); ++i)
        if (params[i] == parsed && values[i]) AssignParamValue(*copy, *values[i]);
    BindCopiedParams(parsed->First, copy->First, params, values);
    BindCopiedParams(parsed->Second, copy->Second, params, values);
    BindCopiedParams(parsed->Third, copy->Third, params, values);
  }
}

}  // namespace

TExpTreePtr TQueryStatement::CopyWithParams(const TExpToken& clause) const {
  TExpTreePtr copy(CloneTokenTree(&clause));
  // The clause's own Next belongs to a list above it.
  BindCopiedParams(&clause, copy.get(), params, paramValues);
  return copy;
}

TTableCursor* TQueryStatement::Execute() {
  for (int i = QueryCount() - 1; i >= 1; --i) {
    TDataQuery& query = QueryAt(i);
    // The rows of INSERT ... SELECT are read by its INSERT; a correlated
    // query runs when the enclosing rows ask for it.
    query.Run.Executed = false;
    if (!query.Plan.Correlated) query.Execute();
  }
  MainQuery().Execute();
  return MainQuery().Run.ResultCursor;
}

int32_t TQueryStatement::GetRecordCount() const { return queries.empty() ? 0 : queries.front()->Run.RecordCount; }

double TQueryStatement::GetElapsed() const { return queries.empty() ? 0 : queries.front()->Run.Elapsed; }
