#pragma once
// The query component: one SQL statement of the engine's dialect run
// against a database and shown as a dataset. Named parameters in the text
// (":name") become Params and reach the statement as "?" in the order of
// the text, with typed values.
//
// Lifecycle: unprepared -> prepared (the statement is parsed and planned)
// -> open (the statement's result is the dataset's cursor). The statement
// holds the database's directory, so the query holds its database while
// prepared; closing keeps the statement, a closing database unprepares it.

#include <memory>
#include <string>
#include <vector>

#include "MDBDBDataSet.h"
#include "MDBQueryParams.h"
#include "MDBTable.h"
#include "dbDataSource.h"
#include "rtlExceptions.h"
#include "rtlStringList.h"
#include "sqlParams.h"

class TMDBQuery;
class TQueryStatement;

// The link of a query to its master: the master's fields give the values
// of the parameters nobody bound, and the query follows the master's
// record.
class TMDBQueryDataLink : public TDataLink {
  RTL_DECLARE_CLASS(TMDBQueryDataLink, TDataLink)

  explicit TMDBQueryDataLink(TMDBQuery& query) : query(query) {}
  TDataSet* GetDetailDataSet() const override;

protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;

private:
  TMDBQuery& query;
};

using TQueryProgressEvent = TEvent<void(TObject* sender, int currentRecord, uint16_t percentDone, bool& abortQuery)>;
using TQueryScriptErrorEvent = TEvent<void(TObject* sender, const Exception& error, bool& abortScript)>;

class TMDBQuery : public TMDBDBDataSet {
  RTL_DECLARE_CLASS(TMDBQuery, TMDBDBDataSet)

  explicit TMDBQuery(TComponent* owner);
  ~TMDBQuery() override;

  TStringList& SQL() { return sql; }
  // A different text closes and unprepares the query, then takes the lines.
  void SetSQL(const TStrings& lines);
  TStringList& SQLScript() { return sqlScript; }
  void SetSQLScript(const TStrings& lines);
  // SQL as one text with every parameter replaced by "?".
  const std::string& StatementText() const { return statementText; }

  TMDBParams& Params() { return params; }
  void SetParams(const TMDBParams& other) { params.AssignValues(other); }
  TMDBParam* ParamByName(const std::string& name) const { return params.ParamByName(name); }

  bool ParamCheck() const { return paramCheck; }
  void SetParamCheck(bool value) { paramCheck = value; }
  bool RequestLive() const { return requestLive; }
  void SetRequestLive(bool value) { requestLive = value; }
  int32_t MaxRowCount() const { return maxRowCount; }
  // Passed on to a prepared statement at once; -1 is no limit.
  void SetMaxRowCount(int32_t value);
  int32_t RowsAffected() const { return rowsAffected; }
  const std::string& EngineVersion() const { return EngineVersionText(); }
  void SetEngineVersion(const std::string&) {}

  TDataSource* DataSource() const { return dataLink.DataSource(); }
  // "Circular datalinks are not allowed" when the source is fed by this
  // query.
  void SetDataSource(TDataSource* source);
  TDataSource* GetDataSource() const override { return DataSource(); }

  bool Prepared() const { return statement != nullptr; }
  void Prepare();
  void UnPrepare();
  // Runs a statement without a result (or ignores the result).
  void ExecSQL();

  TQueryProgressEvent OnQueryProgress;
  // Published only to be streamed: nothing fires them.
  TProgressEvent OnSaveProgress;
  TQueryScriptErrorEvent OnScriptError;

  // Another database: the query closes and unprepares first.
  void SetDatabaseName(const std::string& value) override;
  // The database closes: the query closes and unprepares.
  void CloseDatabaseUse() override;

  // The stored block of the streamed "Data" property, kept as read.
  const std::string& StoredData() const { return storedData; }
  void DefineProperties(TFiler& filer) override;

protected:
  std::unique_ptr<TTableCursor> CreateHandle() override;

private:
  // Held while the statement is prepared, beside the open cursor's flag.
  static constexpr TDBFlag dbfPrepared = static_cast<TDBFlag>(2);

  TStringList sql;
  TStringList sqlScript;
  TMDBParams params;
  std::string statementText;
  std::unique_ptr<TQueryStatement> statement;
  bool requestLive = false;
  bool paramCheck = true;
  int32_t maxRowCount = -1;
  int32_t rowsAffected = 0;
  double executionTime = 0;
  TMDBQueryDataLink dataLink{*this};
  std::string storedData;

  friend class TMDBQueryDataLink;
  void SQLChanged();
  // The master's values into the parameters nobody bound.
  void SetParamsFromMaster();
  // Reopens an open query on the master's current record.
  void MasterChanged();
  // The statement's result cursor after binding and executing; nullptr for
  // statements without one. Owned by the statement.
  TTableCursor* Execute();
  void BindParams();
  void ReportProgress(int32_t current, int32_t percent, bool& abort);
};

// Replaces every parameter of text by "?" (and "::" by ":"); with names,
// adds each parameter's name in the order of the text.
std::string ConvertQueryParams(const std::string& text, std::vector<std::string>* names);

// The statement's typed value of a parameter: "No value for parameter '%s'"
// for a parameter of unknown type, "Field '%s' is of an unsupported type"
// for types the engine cannot take.
TSqlParamValue SqlParamValueOf(const TMDBParam& param);
