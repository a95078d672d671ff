#pragma once
// One query of an SQL statement, from parse to result: its kind, flags,
// source tables, result columns, clause trees and options, the cursor of
// its result and the time its last execution took. The parser fills the
// clause part; preparation and execution (SELECT, data-changing and
// definition statements) complete and use it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engExpSubSelect.h"
#include "engTableCursor.h"
#include "engExpToken.h"
#include "rtlFormatSettings.h"
#include "sqlItems.h"

class TTableCursor;
class TDataDirectory;
class TFilter;
class TQueryStatement;

// Statement kinds.
enum : uint8_t {
  qkNone = 0,
  qkSelect = 1,
  qkInsert = 2,
  qkUpdate = 3,
  qkDelete = 4,
  qkCreateTable = 5,
  qkAlterTable = 6,
  qkDropTable = 7,
  qkCreateIndex = 8,
  qkDropIndex = 9,
};

inline constexpr uint8_t NoResultIndex = 255;
inline constexpr int MaxResultColumns = 1024;
inline constexpr int MaxResultNameLength = 30;
inline constexpr int MaxResultTextSize = 250;
// What DISTINCT and GROUP BY fold in memory before the answer table's sort
// (sqlRowFolding.h).
inline constexpr size_t DefaultMaxFoldedBytes = size_t(16) << 20;

// Called during row loops; setting abort stops the loop.
using TSqlProgressProc = std::function<void(int32_t current, int32_t percent, bool& abort)>;
using TSqlPasswordProc = std::function<bool()>;

// An ON condition as written, with the kind of its join.
struct TJoinClause {
  TExpTreePtr Condition;
  uint8_t Kind = jkInner;
};

// A field of an enclosing query's table.
struct TOuterReference {
  TSourceTable* Table = nullptr;
  uint16_t FieldNo = 0;
};

class TDataQuery final : public TExpNestedQuery {
public:
  explicit TDataQuery(TQueryStatement& statement);
  ~TDataQuery();
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TQueryStatement& Statement;

  // ---- what the parser fills ------------------------------------------------
  bool Executed = false;
  bool Nested = false;
  uint8_t Kind = qkNone;
  double Elapsed = 0;
  bool LiveRequested = false;
  int32_t RecordCount = 0;
  int32_t MaxRowCount = -1;
  bool Distinct = false;
  bool HasAverage = false;
  bool HasComputed = false;
  bool SeveralTables = false;
  bool NoJoinOptimize = false;
  bool HasWhere = false;
  bool HasOrderBy = false;
  bool OrderByNoCase = false;
  bool Grouping = false;
  bool HasHaving = false;
  bool InMemoryTarget = false;
  bool InsertFromSelect = false;
  bool WithLocks = false;
  bool HasInto = false;
  bool NoAutoInc = false;
  bool NoBackup = false;
  std::string TargetName;
  std::string IndexName;
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  uint16_t BlobBlockSize = uint16_t(DefaultBlobBlockSize);
  uint16_t UserMajorVersion = 1;
  uint16_t UserMinorVersion = 0;
  int32_t LastAutoInc = -1;
  int32_t CommitInterval = 0;
  bool HasEncryption = false, HasLanguage = false, HasSort = false, HasBlobBlockSize = false;
  bool HasDescription = false, HasMajorVersion = false, HasMinorVersion = false, HasCommitInterval = false;

  std::vector<std::unique_ptr<TSourceTable>> SourceTables;
  std::vector<std::unique_ptr<TResultField>> ResultFields;
  std::vector<std::unique_ptr<TUpdateField>> UpdateFields;
  std::vector<std::unique_ptr<TUpdateValue>> UpdateValues;
  std::vector<std::unique_ptr<TCreateField>> CreateFields;
  std::vector<std::unique_ptr<TCreateIndex>> CreateIndexes;
  std::vector<TColumnItem> OrderBy;
  std::vector<TColumnItem> GroupBy;
  TExpTreePtr Where;  // the WHERE clause without the ON conditions
  std::vector<TJoinClause> JoinClauses;
  TExpTreePtr Having;
  TDataQuery* SubSelect = nullptr;  // INSERT ... SELECT
  // The query whose clause holds this one (a sub-select's), nil for the
  // main query and the SELECT of INSERT ... SELECT.
  TDataQuery* Outer = nullptr;
  // Reads the rows of an enclosing query (sqlCorrelation.h).
  bool Correlated = false;

  // ---- what preparation and execution keep ----------------------------------
  bool Live = false;
  bool AggregatesOnly = false;
  bool FastCount = false;
  bool OrderGiven = false;  // the grouping or distinct sort gives the order
  bool HasBlobColumn = false;
  uint8_t ResultIndex = NoResultIndex;
  TTableCursor* ResultCursor = nullptr;  // the live source or the answer
  std::unique_ptr<TTableCursor> Answer;
  // Every field descriptor of an answer that keeps AVG's hidden counts,
  // whose cursor shows only the result columns once it is filled.
  std::vector<uint8_t> AnswerFieldDescs;
  TDataDirectory* AnswerDirectory = nullptr;
  TFilter* ResultFilter = nullptr;  // of ApplyResultFilter
  TFilter* LiveFilter = nullptr;    // the WHERE filter of a live result
  // The HAVING condition, checked against the answer table's fields.
  TExpTreePtr HavingChecked;
  // Per execution: the row-by-row remainders, the tables in nesting order.
  TExpTreePtr RowWhere;
  TExpTreePtr RowJoins;
  std::vector<TSourceTable*> NestingOrder;
  // The enclosing tables' fields a correlated query reads, itself or
  // through its own sub-selects, and their values at its last run.
  std::vector<TOuterReference> OuterReferences;
  std::string CorrelationKey;
  TFormatSettings EvalSettings;
  uint16_t EvalLanguage = 0;
  bool HasEvalSettings = false;

  size_t MaxFoldedBytes = DefaultMaxFoldedBytes;

  TSqlProgressProc ProgressProc;
  TSqlPasswordProc PasswordProc;

  void Prepare();
  void Execute();
  // Reports a row loop's progress; true when the handler asks to stop.
  bool Progress(int32_t current, int32_t percent);
  // The parameter tokens of the query's clauses in the order of the text,
  // nested queries' at the place of their SELECT.
  void CollectParams(std::vector<TExpToken*>& params) const;

  // TExpNestedQuery.
  int ResultColumnCount() override;
  bool ResolveColumnType(TExpToken& node) override;
  bool ApplyResultFilter(TExpToken& condition) override;

  // Source tables (sqlSourceTables.cpp).
  TSourceTable* FindCorrelation(const std::string& name) const;
  // The table of the qualifier, or the first holding the column; field 0
  // for "*" or an empty name. Nil when none.
  TSourceTable* FindSourceTable(const std::string& qualifier, const std::string& column, uint16_t& fieldNo) const;
  void OpenSourceTables(bool readOnly);
  void CloseSourceTables();
  // The directory a name given in the statement lives in.
  TDataDirectory* StatementDirectory() const;

private:
  void PrepareSelect();
  void ExecuteSelect();
};
