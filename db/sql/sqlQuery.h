#pragma once
// One query of an SQL statement, from parse to result, in three parts: what
// was parsed (TParsedQuery, read only once parsed), what preparation and the
// planner decided (TQueryPlan) and what an execution holds (TQueryRun): the
// open source tables and their current rows, what was installed on their
// cursors, the answer, its cursor, the counts and the time it took. The
// plan names tables by the run's open ones, which live as long as the query.

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
#include "sqlJoinHash.h"

class TTableCursor;
class TDataDirectory;
class TFilter;
class TQueryStatement;
class TDataQuery;
struct TTableDefinition;

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
// A result without INTO whose rows are bounded beforehand (by aggregates
// alone, or by the one source table's filtered count) is answered in the
// in-memory database when their records fit a quarter of
// SmallAnswerFillBytes: creating and deleting three files cost more than a
// small statement, and an answer in the private folder holds its records
// and new BLOBs in memory all the same. A record holds no BLOB's length, so
// BLOB bytes are counted as the fill stores them: once the records and
// BLOBs pass SmallAnswerFillBytes the answer moves to the private folder
// and the fill goes on there. Rows counted only as they come (a filter
// tested in the row loop, a DISTINCT's kept rows) whose table's count does
// not bound them so begin in memory too and move past
// UncountedAnswerFillBytes (records past a quarter of it): such a move
// copies what came before, and most such answers make one.
inline constexpr int64_t SmallAnswerFillBytes = int64_t(32) << 20;
inline constexpr int64_t UncountedAnswerFillBytes = int64_t(4) << 20;

// Called during row loops; setting abort stops the loop.
using TSqlProgressProc = std::function<void(int32_t current, int32_t percent, bool& abort)>;
using TSqlPasswordProc = std::function<bool()>;

// An ON condition as written, with the kind of its join.
struct TJoinClause {
  TExpTreePtr Condition;
  uint8_t Kind = jkInner;
};

// A result column as preparation resolved it: "*" expanded, named, typed,
// bound to its source field or checked as an expression.
struct TResultField {
  std::string Name;
  std::string SourceQualifier;
  std::string SourceName;
  uint16_t FieldNo = 0;  // in the result
  bool Computed = false;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  int32_t Size = 0;
  uint8_t Scale = 0;
  uint8_t Aggregate = agNone;
  uint16_t AvgCountFieldNo = 0;
  bool CountStar = false;
  std::string ExpressionText;
  bool GeneratedName = true;
  // The checked expression, or the aggregate's argument (nil for COUNT(*)).
  TExpTreePtr Tree;
  // The same before it was checked, kept for an aggregate's column of a
  // query with HAVING (nil otherwise): HAVING's aggregates are matched to it.
  TExpTreePtr Parsed;
  // Where a plain column comes from: its table's place in the FROM list
  // (the first table's for COUNT(*)), -1 for a computed column.
  int Source = -1;
  uint16_t SourceFieldNo = 0;
};

// A target column of INSERT or UPDATE, found in its table.
struct TUpdateField {
  std::string Name;
  uint16_t FieldNo = 0;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  int32_t Size = 0;
  uint8_t Scale = 0;
};

// A field of an enclosing query's table.
struct TOuterReference {
  TSourceTable* Table = nullptr;
  uint16_t FieldNo = 0;
};

// The tables a query reads, in the order their positions number them (a
// right-joined table put first).
// Invariants: the tables a query reads (numbered) have the positions 1..n,
// each once; correlation names differ.
struct TParsedSources {
  std::vector<std::unique_ptr<const TTableReference>> Tables;
  bool NoJoinOptimize = false;

  void CheckInvariants(bool numbered) const;
};

// The result columns as written.
// Invariants: an item is "*", COUNT(*) or has its tree; HasAverage says
// whether an AVG is among them.
struct TParsedSelectList {
  std::vector<std::unique_ptr<const TResultItem>> Items;
  bool Distinct = false;
  bool HasAverage = false;

  void CheckInvariants() const;
};

// WHERE and the ON conditions.
// Invariants: every ON clause has its condition and a join kind.
struct TParsedCondition {
  TExpTreePtr Where;  // without the ON conditions
  std::vector<TJoinClause> Joins;

  void CheckInvariants() const;
};

// GROUP BY and HAVING as written (HAVING without GROUP BY is refused by
// preparation, not by the parser).
struct TParsedGrouping {
  std::vector<TColumnItem> Items;
  TExpTreePtr Having;

  bool Given() const { return !Items.empty(); }
};

// ORDER BY as written.
struct TParsedOrdering {
  std::vector<TColumnItem> Items;
  bool NoCase = false;

  bool Given() const { return !Items.empty(); }
};

// The table the statement makes or names: the INTO table of a SELECT, the
// table of a definition statement, the index DROP INDEX drops.
// Invariants: INTO names its table.
struct TParsedTarget {
  std::string Name;
  std::string IndexName;
  bool Into = false;
  bool InMemory = false;
};

// The options a statement gives for the tables it makes or changes and
// for its own run; each Has* says the option was written.
// Invariants: an encrypted table has its password.
struct TParsedOptions {
  bool WithLocks = false;
  bool NoAutoInc = false;
  bool NoBackup = false;
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

  // A table the statement creates (its own or an answer) with these
  // options, over these fields.
  TTableDefinition NewTableDefinition(std::vector<TFieldDefinition> fields) const;
};

// INSERT, UPDATE and DELETE: the columns named, the values given, and the
// SELECT of INSERT ... SELECT.
struct TParsedDataChange {
  std::vector<TTargetItem> Columns;
  std::vector<std::unique_ptr<const TUpdateValue>> Values;
  TDataQuery* SubSelect = nullptr;
};

// CREATE TABLE, ALTER TABLE and CREATE INDEX: the columns and indexes.
struct TParsedDefinition {
  std::vector<std::unique_ptr<const TCreateField>> Fields;
  std::vector<std::unique_ptr<const TCreateIndex>> Indexes;
};

// What the parser made of the query's text, and whether the caller asked
// for a live result. Only the parser and the statement write it, and only
// until the statement is parsed: preparation reads it and produces the
// plan and the run (TDataQuery holds it const for everyone else). Each
// item is completed by the parser before it is put here.
// Invariants: Kind is one of the statement kinds; each part holds what its
// kind allows (a SELECT no data change or definition, a data change no
// select list, grouping or ordering); an INSERT's SELECT is not the query
// itself; and each part's own (above).
struct TParsedQuery {
  uint8_t Kind = qkNone;
  bool Nested = false;
  bool LiveRequested = false;
  TParsedSelectList Select;
  TParsedSources Sources;
  TParsedCondition Condition;
  TParsedGrouping Grouping;
  TParsedOrdering Ordering;
  TParsedTarget Target;
  TParsedOptions Options;
  TParsedDataChange Change;
  TParsedDefinition Definition;

  void CheckInvariants(const TDataQuery& owner) const;
};

// A source table's own conditions, made ready for its cursor's filter
// (columns first, texts in the table's code page).
struct TTableFilterPlan {
  size_t Source = 0;  // the table's place in the FROM list
  TExpTreePtr Condition;
};

// A table's place in the nested loops of a join plan.
struct TJoinStep {
  size_t Source = 0;  // the table's place in the FROM list
  // The step whose table this one is joined to: an earlier one; none
  // (-1) for the driving table.
  int From = -1;
  // jkNone: every row pairs with every row of the tables before.
  uint8_t Kind = jkNone;
  // The conditions to the outer tables, ANDed, each with this table's side
  // first; their outer sides are bound per outer row.
  TExpTreePtr Condition;
  // The table is read into memory by its key (sqlJoinHash.h) when it fits.
  bool Hashed = false;
  // One past the last step of this table's subtree: the steps an
  // unmatched left join blanks.
  size_t SubtreeEnd = 0;
};

// How the conditions are met for one execution (sqlPlanner.h): the tables
// in the order their loops nest, and the row-by-row remainders (the
// tables' own filters are on their cursors).
// Invariants: the steps are empty, or place every source table once, the
// driving table first and depth first after it (each step's From earlier,
// its subtree ending within the plan); a step has a condition exactly when
// it is joined by one, and only such a step is keyed; only a single table
// is walked in an index's order.
struct TJoinPlan {
  std::vector<TJoinStep> Steps;
  TExpTreePtr RowWhere;
  TExpTreePtr RowJoins;
  // The driving table is read in the order of the plan's OrderIndex, so
  // that the answer needs no sort.
  bool WalkOrder = false;

  void CheckInvariants(size_t sourceTables) const;
};

// Where an INSERT or UPDATE writes, decided once at preparation from its
// parsed columns and its table's definition (sqlDataChange.h): per value,
// or per result column of INSERT ... SELECT, in order, the table's field it
// goes to, "*" expanded. A DELETE writes none. The rows an UPDATE or
// DELETE visits are those its table's filter passes (the join plan, made
// per execution).
// Invariants: every field is one of the table's (1..its field count),
// named, typed and sized as the table defines it; there is one field per
// value given, or per result column of the SELECT; a DELETE has none. A
// field named twice is written twice, the last value staying.
struct TDataChangePlan {
  std::vector<TUpdateField> Fields;

  void CheckInvariants(const TParsedQuery& parsed, const TSourceTable& table) const;
};

// What preparation and the planner decided, as a value: for a SELECT
// PlanSelect (sqlSelectPlan.h) makes it from the parsed text and the
// source tables' definitions, and each execution adds the join plan
// (sqlPlanner.h); the run installs it. Its column references are bound to
// the query's source tables (the expression engine reads a column through
// its table), which live as long as the query.
// Invariants (once prepared): a live result reads one table through one of
// its indexes (or in natural order) and has no grouping, DISTINCT, INTO,
// HAVING or sort of its own; any other result has no index; an answer of
// aggregates only groups its rows into one; an order index is a canned
// single table's without grouping or DISTINCT; the plan groups where the text
// does, and DISTINCT only where the text says so; the grouping or distinct
// sort gives the order only of an ORDER BY; result columns are numbered
// 1.. in order, AVG's hidden counts after them; a plain column reads a
// field of one of the query's own tables; a canned result's ORDER BY and
// GROUP BY items name result columns; a data change's are its own (see
// TDataChangePlan); a query never encloses itself, and only an enclosed
// query is correlated; the join plan is empty before the first execution
// (see TJoinPlan), which names tables by their place in the FROM list.
struct TQueryPlan {
  // GROUP BY given, or aggregates only; DISTINCT only without it.
  bool Grouping = false;
  bool Distinct = false;
  // The answer's: the statement's LANGUAGE, else the first table's.
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  std::vector<std::unique_ptr<TResultField>> ResultFields;
  // ORDER BY and GROUP BY with their result column numbers.
  std::vector<TColumnItem> OrderBy;
  std::vector<TColumnItem> GroupBy;
  // INSERT, UPDATE and DELETE: PlanDataChange's.
  TDataChangePlan Change;
  // The query whose clause holds this one (a sub-select's), nil for the
  // main query and the SELECT of INSERT ... SELECT.
  TDataQuery* Outer = nullptr;
  // Reads the rows of an enclosing query (sqlCorrelation.h).
  bool Correlated = false;
  bool Live = false;
  bool AggregatesOnly = false;
  bool FastCount = false;
  bool OrderGiven = false;  // the grouping or distinct sort gives the order
  bool HasBlobColumn = false;
  uint8_t ResultIndex = NoResultIndex;
  // A canned answer's: the index of its one table whose order is the
  // ORDER BY's, ties included (sqlSelectPlan.cpp); NoResultIndex when none.
  // Whether an execution walks it instead of sorting is the join plan's.
  uint8_t OrderIndex = NoResultIndex;
  // The HAVING condition, checked against the answer table's fields.
  TExpTreePtr HavingChecked;
  // The enclosing tables' fields a correlated query reads, itself or
  // through its own sub-selects.
  std::vector<TOuterReference> OuterReferences;
  TJoinPlan Joins;

  void CheckInvariants(const TDataQuery& owner) const;
};

// A source table opened for the query: its cursor, the fields names
// resolve against, and the current row of the row loops.
// Invariants: once open, the cursor is there, the fields are one per
// field, and the record has the cursor's record size as it opened (a live
// result's field map changes the cursor's, but its rows are read by the
// caller, not into this record).
struct TSourceTable final : TExpColumnSource {
  explicit TSourceTable(const TTableReference& reference);
  ~TSourceTable();
  TSourceTable(const TSourceTable&) = delete;
  TSourceTable& operator=(const TSourceTable&) = delete;

  const TTableReference& Reference;  // the query's parsed item
  size_t Place = 0;                  // in the FROM list
  TDataDirectory* Directory = nullptr;
  bool OwnsDirectory = false;  // opened for this table, closed with it
  std::unique_ptr<TTableCursor> Cursor;
  // The table's own fields, taken when it opens: names resolve against
  // them whatever field map the cursor is given later.
  std::vector<TFieldDefinition> Fields;
  int FieldCount = 0;
  std::vector<uint8_t> Record;  // a row read into the table's own buffer
  // The row loop shows a record where it lies (in the scan's batch, in a
  // table joined from memory) instead of copying it into Record: a row
  // copy of a few hundred bytes was a tenth of a scan. Nil: Record.
  const uint8_t* Shown = nullptr;
  const uint8_t* Row() const { return Shown ? Shown : Record.data(); }
  bool HasRow = false;          // false: unmatched left join, fields blank

  // The field's number (any case), 0 when none.
  int FindField(const std::string& name) const;
  const TFieldDefinition& Field(int fieldNo) const { return Fields[size_t(fieldNo - 1)]; }
  void CheckInvariants() const;
};

// The table a column reference is bound to, nil when none: the SQL layer
// binds references only to its source tables.
inline TSourceTable* BoundSourceTable(const TExpToken& node) { return static_cast<TSourceTable*>(node.SourceTable); }

// What the run put on the source cursors for the plan's joins.
// Invariants: when a plan is installed there is one slot per step; a
// step's filter or in-memory rows are there only for a step with a
// condition; every cursor carrying a filter of the plan is listed.
struct TJoinRun {
  // The tables (places in the FROM list) whose cursors carry the plan's
  // filters, each once.
  std::vector<size_t> Filtered;
  // Per step: the bound join filter, installed at the first outer row.
  std::vector<TFilter*> StepFilters;
  // Per step: the table's rows by key; nil until read, and when they do
  // not fit.
  std::vector<std::unique_ptr<TJoinHash>> StepHashes;
  // The one table's filter that no index serves, or the conditions of it
  // no index serves while the others are on its cursor, tested as the row
  // loop reads each record (TConditionInstall); nil otherwise.
  std::unique_ptr<TFilterRecordTest> RowTest;
  // The driving table is on the plan's order index, and goes back to this
  // index, its natural order, with the plan.
  bool Ordered = false;
  uint8_t NaturalIndex = NoResultIndex;
  // The one table's condition that is a stretch of the order index, taken
  // as the cursor's range there instead of a filter, so that the walk
  // reads the stretch alone; the filter waits inactive, and holds in
  // natural order when the walk is given up. Nil otherwise.
  TFilter* StretchFilter = nullptr;

  void CheckInvariants(const TJoinPlan& plan) const;
};

// What one execution holds and leaves: the open source tables, the answer
// table and its cursor, the counts, and the caller's handlers.
// Invariants: the source tables are none or one per parsed table, in its
// order, each knowing its place; the result cursor is the answer's, or the
// source table's of a live result, and an executed SELECT has the one its
// plan says; an answer directory and the answer's fields are there only
// with the answer.
struct TQueryRun {
  // Opened by preparation, closed with the query; the plan names them by
  // their place in the FROM list.
  std::vector<std::unique_ptr<TSourceTable>> Tables;
  // The caller's limit on the answer's rows; -1: none.
  int32_t MaxRowCount = -1;
  bool Executed = false;
  double Elapsed = 0;
  int32_t RecordCount = 0;
  TTableCursor* ResultCursor = nullptr;  // the live source or the answer
  std::unique_ptr<TTableCursor> Answer;
  TDataDirectory* AnswerDirectory = nullptr;
  bool AnswerInMemory = false;  // a temporary answer kept in memory
  // Every field of an answer that keeps AVG's hidden counts, whose cursor
  // shows only the result columns once it is filled.
  std::vector<TFieldDefinition> AnswerFields;
  TFilter* ResultFilter = nullptr;  // of ApplyResultFilter
  TJoinRun Joins;
  // The values of the plan's outer references at the last run.
  std::string CorrelationKey;
  // The source's language's, kept for the process.
  const TFormatSettings* EvalSettings = &NeutralFormatSettings();
  uint16_t EvalLanguage = 0;
  bool HasEvalSettings = false;
  size_t MaxFoldedBytes = DefaultMaxFoldedBytes;
  // What an answer begun in memory may take before it moves to disk (its
  // records a quarter of it); tests lower it.
  int64_t MaxAnswerFillBytes = SmallAnswerFillBytes;
  // A memo column's value goes from its source's chain straight into the
  // answer's new value; off (tests), through a value read whole and stored.
  bool CopiesBlobChains = true;
  TSqlProgressProc ProgressProc;
  TSqlPasswordProc PasswordProc;

  void CheckInvariants(const TParsedQuery& parsed, const TQueryPlan& plan) const;
};

class TDataQuery final : public TExpNestedQuery {
  // The parser fills it, the statement passes the caller's requests into
  // it; everyone else reads it through Parsed.
  friend class TSqlParser;
  friend class TQueryStatement;
  TParsedQuery parsed;

public:
  explicit TDataQuery(TQueryStatement& statement);
  ~TDataQuery();
  TDataQuery(const TDataQuery&) = delete;
  TDataQuery& operator=(const TDataQuery&) = delete;

  TQueryStatement& Statement;
  const TParsedQuery& Parsed = parsed;
  TQueryPlan Plan;
  TQueryRun Run;

  void Prepare();
  void Execute();
  // Reports a row loop's progress; true when the handler asks to stop.
  bool Progress(int32_t current, int32_t percent);
  // The parameter tokens of the query's clauses in the order of the text,
  // nested queries' at the place of their SELECT.
  void CollectParams(std::vector<const TExpToken*>& params) const;

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
  // The directory a name given in the statement lives in.
  TDataDirectory* StatementDirectory() const;

private:
  void PrepareSelect();
  // The plan installed: a live result's field map on its source cursor,
  // or a canned result's answer table.
  void StartSelect();
  void ExecuteSelect();
};
