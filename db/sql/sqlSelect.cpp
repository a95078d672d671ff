// SELECT: preparation (the plan decided, then the run's cursors and answer
// table made ready for it) and execution (filters and joins, the row loop, grouping, distinct and
// ordering sorts), and what a nested SELECT answers the expression engine.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <span>
#include <utility>

#include "engTableCursor.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpEvalCondition.h"
#include "engExpTypeCheck.h"
#include "engScopeGuard.h"
#include "engStrings.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "sqlAggregates.h"
#include "sqlClockPace.h"
#include "sqlColumns.h"
#include "sqlCorrelation.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlPlanner.h"
#include "sqlQuery.h"
#include "sqlResultColumns.h"
#include "sqlRowFolding.h"
#include "sqlSelectPlan.h"
#include "sqlStatement.h"

namespace {

// Read locks on every source table for the build, released on every way out.
class TReadLocks {
public:
  TReadLocks(TDataQuery& query, bool take) {
    if (!take) return;
    for (const auto& table : query.Run.Tables) {
      table->Cursor->BeginRead();
      locked.push_back(table->Cursor.get());
    }
  }
  ~TReadLocks() {
    for (TTableCursor* cursor : locked) cursor->EndRead();
  }
  TReadLocks(const TReadLocks&) = delete;
  TReadLocks& operator=(const TReadLocks&) = delete;

private:
  std::vector<TTableCursor*> locked;
};

// The row loop's reads share the source tables' shared locks: a record or
// BLOB read from disk took them and gave them back (four lock calls for
// each row's memo). A batch takes them once and gives them back after
// ReadBatchTime, so a writer waits about one of its lock pauses at most.
// The first batch begins before the filters are built, whose reads share
// it too. No batch while a progress handler is set (it runs between rows
// and may write the tables itself) nor when the statement holds its locks
// anyway.
class TReadBatch {
public:
  static constexpr std::chrono::microseconds ReadBatchTime{1000};

  explicit TReadBatch(TDataQuery& query)
      : query(query), active(!query.Parsed.Options.WithLocks && !query.Run.ProgressProc) {}
  ~TReadBatch() {
    try {
      End();
    } catch (...) {
      // Only while an error travels: the table gives its locks back when closed.
    }
  }
  TReadBatch(const TReadBatch&) = delete;
  TReadBatch& operator=(const TReadBatch&) = delete;

  // Before the filters: the first batch.
  void Begin() {
    if (active && locked.empty()) Take(std::chrono::steady_clock::now());
  }

  // Between two rows: starts a batch, or a new one when this one is due.
  void Row() {
    if (!active) return;
    if (!locked.empty() && !pace.Row()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!locked.empty()) pace.Read(now - lastReading, ReadBatchTime);
    lastReading = now;
    if (!locked.empty() && now - started < ReadBatchTime) return;
    // Nothing is read until the locks are taken again.
    for (TTableCursor* cursor : locked) cursor->PauseRead();
    locked.clear();
    Take(now);
  }

  void End() {
    std::vector<TTableCursor*> held;
    held.swap(locked);
    for (TTableCursor* cursor : held) cursor->EndRead();
  }

private:
  TDataQuery& query;
  const bool active;
  std::vector<TTableCursor*> locked;

  void Take(std::chrono::steady_clock::time_point now) {
    started = lastReading = now;
    for (const auto& table : query.Run.Tables) {
      locked.push_back(table->Cursor.get());
      table->Cursor->BeginRead();
    }
  }

  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point lastReading;
  TClockPace pace;
};

// An answer table's fill, ended on every way out.
class TAnswerFill {
public:
  TAnswerFill(TTableCursor& answer, TFillOptions options) : options(std::move(options)) { Begin(answer); }
  ~TAnswerFill() {
    try {
      End();
    } catch (...) {
      // Only while an error travels: the next execution empties the table.
    }
  }
  TAnswerFill(const TAnswerFill&) = delete;
  TAnswerFill& operator=(const TAnswerFill&) = delete;
  // Of an answer that moved: the fill goes on in its new table.
  void Begin(TTableCursor& next) {
    ORV_ASSERT(!answer);
    next.Admin().BeginFill(options);
    answer = &next;
  }
  void End() {
    if (TTableCursor* const ended = std::exchange(answer, nullptr)) ended->Admin().EndFill();
  }

private:
  TFillOptions options;
  TTableCursor* answer = nullptr;
};

}  // namespace

void TDataQuery::PrepareSelect() {
  // The run's cursors: the planner reads the tables' definitions through
  // them.
  OpenSourceTables(!Parsed.LiveRequested);
  Plan = PlanSelect(*this);
  Plan.CheckInvariants(*this);
  StartSelect();
}

void TDataQuery::StartSelect() {
  if (!Plan.Live) {
    // Placed for a small result; the execution moves it when its rows may
    // be many.
    CreateAnswerTable(*this, KeepsTemporaryAnswer(*this));
    return;
  }
  TSourceTable& table = *Run.Tables.front();
  std::vector<TFieldDefinition> fields(Plan.ResultFields.size());
  for (const auto& column : Plan.ResultFields) {
    TFieldDefinition& field = fields[size_t(column->FieldNo - 1)];
    if (!column->Computed) {
      field = table.Field(column->SourceFieldNo);
    } else {
      field.Type = column->DataType;
      field.Subtype = column->SubType;
      if (column->DataType == dtString) field.DeclaredSize = uint8_t(std::clamp(column->Size - 1, 1, 250));
      if (column->DataType == dtBcd) field.Scale = column->Scale;
      field.StoredSize = uint8_t(std::clamp(column->Size, 1, 255));
      field.StoredScale = column->Scale;
      field.NotStored = true;
      field.Expression = ShareExpression(column->Tree.get());
    }
    field.Number = column->FieldNo;
    field.Name = column->Name.substr(0, FieldNameLimit);
  }
  // The cursor keeps the not-stored mark of computed fields only while it
  // is told not to update filters.
  const bool noFilterUpdate = table.Cursor->OpenOptions().NoFilterUpdate;
  table.Cursor->SetNoFilterUpdate(true);
  table.Cursor->SetFieldMap(std::move(fields), true);
  table.Cursor->SetNoFilterUpdate(noFilterUpdate);
  Run.ResultCursor = table.Cursor.get();
}

namespace {

// One answer row from the current joined row.
class TRowBuilder {
public:
  explicit TRowBuilder(TDataQuery& query)
      : query(query), answer(query.Run.Answer.get()), record(answer->Fields().CursorRecordSize()),
        evaluationLanguage(EvaluationLanguage(query)), blobBlockSize(answer->Admin().GetBlobBlockSize()) {
    for (const auto& column : query.Plan.ResultFields) {
      TColumnCopy& copy = copies.emplace_back();
      copy.Column = column.get();
      copy.Source = column->Source >= 0 ? query.Run.Tables[size_t(column->Source)].get() : nullptr;
      copy.Blob = answer->Fields().FieldDefinition(column->FieldNo).IsBlob();
    }
    PlanCopies();
  }

  // Of an answer that moved to a table laid out alike (the one it leaves is
  // already gone).
  void Retarget(TTableCursor& next) {
    ORV_ASSERT(size_t(next.Fields().CursorRecordSize()) == record.size());
    answer = &next;
    PlanCopies();
  }
  // What the rows built so far may take in the answer: their records, and
  // each BLOB's bytes with a block's more for its chain's headers and its
  // last block's rest.
  int64_t BytesBuilt() const { return rowsBuilt * int64_t(record.size()) + blobBytes; }

  uint8_t* Build() {
    ++rowsBuilt;
    TTableCursor& answer = *this->answer;
    answer.Fields().ClearRecord(record.data());
    TSourceColumnValues columns(evaluationLanguage);
    TExpEvalContext context = SourceEvalContext(query, &columns);
    context.Scratch = &scratch;
    const uint16_t answerLanguage = answer.Fields().LanguageId();
    const TCursorFields& fields = answer.Fields();
    for (const TColumnCopy& copy : copies) {
      const TResultField& column = *copy.Column;
      TSourceTable* const source = copy.Source;
      if (copy.Way == TCopyWay::Stored && source->HasRow && fields.CopyStored(copy.Stored, source->Row(), record.data()))
        continue;
      if (copy.Way == TCopyWay::Chain && source->HasRow) {
        CopyChain(column, *source);
        continue;
      }
      if (column.CountStar) {
        PutInteger(column.FieldNo, 1);
        continue;
      }
      TExpToken* const value = &computed;
      if (!column.Computed && source) {
        value->Clear();
        if (source->HasRow) {
          ReadFieldValue(*source->Cursor, source->Row(), source->Field(column.SourceFieldNo), *value,
                         TFieldNumbering::Table);
          value->DataType = column.DataType;
          value->SubType = column.SubType;
          value->Scale = column.Scale;
          const uint16_t sourceLanguage = source->Cursor->Fields().LanguageId();
          if (sourceLanguage != answerLanguage) ConvertTextValue(*value, sourceLanguage, answerLanguage);
        } else {
          value->SetNull();
          value->IsNull = true;
        }
      } else {
        EvaluateExpressionInto(context, *column.Tree, *value);
        if (evaluationLanguage != answerLanguage) ConvertTextValue(*value, evaluationLanguage, answerLanguage);
      }
      if (column.Aggregate == agCount) {
        PutInteger(column.FieldNo, value->IsNull ? 0 : 1);
        continue;
      }
      if (column.Aggregate == agAvg) PutInteger(column.AvgCountFieldNo, value->IsNull ? 0 : 1);
      if (!StoreFieldValue(answer, record.data(), column.FieldNo, *value, *query.Run.EvalSettings))
        RaiseSqlError("Type mismatch between column " + column.Name + " and expression value in SELECT statement");
      if (copy.Blob && !value->IsNull) blobBytes += BlobValueSize(*value) + blobBlockSize;
    }
    return record.data();
  }

private:
  TDataQuery& query;
  TTableCursor* answer;
  std::vector<uint8_t> record;
  uint16_t evaluationLanguage;
  int64_t blobBlockSize;
  int64_t rowsBuilt = 0;
  int64_t blobBytes = 0;
  // A row's values: one node for every column in turn, and the nodes of
  // their subexpressions, kept from row to row.
  TExpScratch scratch;
  TExpToken computed;
  // How a result column's value goes into the answer's record: its source
  // field's stored bytes (the fields store a value alike, so reading it and
  // storing it would give back those bytes), a BLOB's chain read straight
  // into the answer's new value, or a value read or computed and stored.
  enum class TCopyWay : uint8_t { Value, Stored, Chain };
  struct TColumnCopy {
    const TResultField* Column = nullptr;
    TSourceTable* Source = nullptr;  // the open table a plain column reads; nil for a computed one
    TCopyWay Way = TCopyWay::Value;
    bool Blob = false;  // the answer's field
    TCursorFields::TStoredCopy Stored;
  };
  // Per result column, looked up once per fill, again when the answer
  // moves to disk: valid while the answer's field list stands, which a fill
  // does not change.
  std::vector<TColumnCopy> copies;
  // A BLOB copied from its chain is appended to the answer's BLOB file as
  // the row is built, not opened in the answer and committed by the
  // insert (PlanCopies).
  bool appendsChains = false;

  void PlanCopies() {
    bool blobValues = false;
    for (TColumnCopy& copy : copies) {
      const TResultField& column = *copy.Column;
      copy.Way = TCopyWay::Value;
      if (CopiesAsStored(column, copy.Source) &&
          TCursorFields::PlanStoredCopy(copy.Source->Field(column.SourceFieldNo),
                                        answer->Fields().FieldDefinition(column.FieldNo), copy.Stored))
        copy.Way = TCopyWay::Stored;
      else if (query.Run.CopiesBlobChains && CopiesAsChain(column, copy.Source))
        copy.Way = TCopyWay::Chain;
      blobValues = blobValues || (copy.Blob && copy.Way == TCopyWay::Value);
    }
    // A chain appended while its row is built is named by the row's record
    // only once the record is inserted. Every row the fill builds is
    // inserted at once, unless a fold takes it (aggregates, DISTINCT and
    // GROUP BY, which keep to the long way) or the fill fails, which leaves
    // its answer to be emptied or discarded unread. The row limit refuses a
    // row before it is built. A BLOB value stored the long way takes its
    // sequence and chain at the insert, after the ones appended here: those
    // would come first whatever the columns' order, so then every BLOB of
    // the row waits for the insert, as a fill of values leaves them. Whether
    // the answer takes appended chains holds for the fill: its table, held
    // exclusively, gains no free blocks and no transaction while rows go in.
    const TQueryPlan& plan = query.Plan;
    appendsChains = !plan.AggregatesOnly && !plan.Distinct && !plan.Grouping && !blobValues &&
                    answer->Blobs().AppendsBlobCopies();
  }

  // A plain column whose answer field has its source field's type, size,
  // scale and code page. BLOBs make their values elsewhere and go the long
  // way; an auto-increment field's value, kept in its record's header, is
  // copied as an integer's stored bytes into an answer's plain integer.
  bool CopiesAsStored(const TResultField& column, const TSourceTable* source) const {
    if (column.Computed || !source || column.Aggregate != agNone || column.CountStar) return false;
    const TFieldDefinition& from = source->Field(column.SourceFieldNo);
    const TFieldDefinition& to = answer->Fields().FieldDefinition(column.FieldNo);
    const uint8_t type = from.Type;
    if (from.IsAutoInc() && !to.IsBlob() && !to.IsAutoInc())
      return type == dtInteger && to.Type == dtInteger && column.DataType == dtInteger;
    auto madeElsewhere = [](const TFieldDefinition& field) { return field.IsBlob() || field.IsAutoInc(); };
    if (madeElsewhere(from) || madeElsewhere(to)) return false;
    if (type != to.Type || type != column.DataType) return false;
    if (from.StoredSize != to.StoredSize) return false;
    if (type == dtBcd && from.StoredScale != to.StoredScale) return false;
    if (type == dtString && source->Cursor->Fields().LanguageId() != answer->Fields().LanguageId())
      return false;
    return true;
  }

  // A BLOB field read whole and stored again, as ReadFieldValue and
  // StoreFieldValue would take it, when the value needs no conversion: the
  // same bytes in both tables' code page.
  bool CopiesAsChain(const TResultField& column, const TSourceTable* source) const {
    if (column.Computed || !source || column.Aggregate != agNone || column.CountStar) return false;
    if (column.DataType != dtBlob) return false;
    if (!source->Field(column.SourceFieldNo).IsBlob() || !answer->Fields().FieldDefinition(column.FieldNo).IsBlob())
      return false;
    return source->Cursor->Fields().LanguageId() == answer->Fields().LanguageId();
  }

  // A null or empty value is a blank field, as the value read whole and
  // stored leaves it; any other is a new value of the answer with the
  // source's bytes.
  void CopyChain(const TResultField& column, const TSourceTable& source) {
    const TFieldDefinition& from = source.Field(column.SourceFieldNo);
    TTableCursor& cursor = *source.Cursor;
    if (!cursor.Fields().ReadValue(from, source.Row(), {})) {
      answer->Fields().WriteBlank(column.FieldNo, record.data());
      return;
    }
    int32_t length = 0;
    TCursorBlobAccess& blobs = answer->Blobs();
    if (appendsChains) {
      if (const int32_t result =
              blobs.AppendBlobCopy(column.FieldNo, record.data(), cursor.Blobs(), from.Number, source.Row(), length))
        RaiseEngineError(uint16_t(result), cursor.TableName());
    } else {
      if (const int32_t result =
              blobs.CopyBlob(column.FieldNo, record.data(), cursor.Blobs(), from.Number, source.Row(), length))
        RaiseEngineError(uint16_t(result), cursor.TableName());
      if (length == 0) blobs.FreeBlob(column.FieldNo, record.data(), TFieldNumbering::Cursor);
    }
    if (length == 0) {
      answer->Fields().WriteBlank(column.FieldNo, record.data());
      return;
    }
    blobBytes += length + blobBlockSize;
  }

  void PutInteger(int fieldNo, int32_t value) { answer->Fields().WriteField(fieldNo, record.data(), value); }
};

// Progress of a row loop: counted when the driving table moves on.
class TRowProgress {
public:
  explicit TRowProgress(TDataQuery& query)
      : query(query), driver(*query.Run.Tables[query.Plan.Joins.Steps.front().Source]->Cursor), total(driver.GetRecordCount()) {}

  // True when the handler asks to stop.
  bool Step() {
    const uint32_t current = driver.CurrentRecordNumber();
    if (current == last) return false;
    last = current;
    ++counter;
    return query.Progress(counter, total > 0 ? int32_t(int64_t(counter) * 100 / total) : 100);
  }
  void Finish() {
    if (counter < total || total == 0) query.Progress(total, 100);
  }

private:
  TDataQuery& query;
  TTableCursor& driver;
  int32_t total;
  int32_t counter = 0;
  uint32_t last = 0;
};

// Whether the records of rows rows (-1: not bounded), at most the row
// limit, fit an answer in memory whose fill may take fillBytes: a quarter
// of it.
bool RowsFitInMemory(TDataQuery& query, int64_t rows, int64_t fillBytes) {
  const int64_t limit = query.Run.MaxRowCount;
  if (limit >= 0) rows = rows < 0 ? limit : std::min(rows, limit);
  if (rows < 0) return false;
  return rows * std::max<int64_t>(query.Run.Answer->Fields().CursorRecordSize(), 1) <= fillBytes / 4;
}

// Whether the rows this execution can give fit: one for aggregates alone,
// else at most the one source table's filtered count (or the row limit);
// rows the row loop tests, at most the count before its test.
// A join's rows are not bounded so cheaply.
bool AnswerFitsInMemory(TDataQuery& query) {
  int64_t rows = -1;
  if (query.Plan.AggregatesOnly)
    rows = 1;
  else if (query.Plan.Joins.Steps.size() == 1)
    rows = query.Run.Tables[query.Plan.Joins.Steps.front().Source]->Cursor->GetRecordCount();
  return RowsFitInMemory(query, rows, query.Run.MaxAnswerFillBytes);
}

// The most records a filter's indexed conditions may let through for its
// other conditions to be tested in the row loop (TConditionInstall): as
// many as an answer in memory holds, where they are placed as counted rows
// are; and at least as many as the rows counted only in the loop hold
// before they are copied to disk, with a quarter more for the rows the
// loop's test turns away (a month's jobs not printed are a tenth). Past
// this bound they most likely are copied, and the filter's scan, which
// counts them, places them on disk at once. Not bounded for rows that
// never begin in memory.
int64_t MostRowsServedInPart(TDataQuery& query) {
  const int64_t fillBytes = query.Run.MaxAnswerFillBytes;
  if (query.Plan.AggregatesOnly || !KeepsTemporaryAnswer(query) ||
      (query.Run.MaxRowCount >= 0 && RowsFitInMemory(query, query.Run.MaxRowCount, fillBytes)))
    return std::numeric_limits<int64_t>::max();
  const int64_t uncounted = std::min(fillBytes, UncountedAnswerFillBytes) / 4;
  const int64_t bytes = std::max(fillBytes / 4, uncounted + uncounted / 4);
  return bytes / std::max<int64_t>(query.Run.Answer->Fields().CursorRecordSize(), 1);
}

}  // namespace

void TDataQuery::ExecuteSelect() {
  // Preparation opened every source table and numbered the result.
  ORV_ASSERT(Run.Tables.size() == Parsed.Sources.Tables.size() && !Plan.ResultFields.empty());
  if (Plan.Live) {
    TTableCursor& cursor = *Run.Tables.front()->Cursor;
    PlanConditions(*this);
    // One table without sub-selects, its conditions all on its own cursor:
    // the caller reads the cursor itself, so nothing may be left to test
    // row by row.
    ORV_ASSERT(Plan.Joins.Steps.size() == 1 && !Plan.Joins.RowWhere && !Plan.Joins.RowJoins);
    cursor.SetIndexNo(Plan.ResultIndex);
    cursor.SetToBegin();
    Run.RecordCount = cursor.GetRecordCount();
    Run.ResultCursor = &cursor;
    Run.Executed = true;
    return;
  }
  TReadLocks locks(*this, Parsed.Options.WithLocks);
  // AVG's counts are fields of the answer while it is filled, and hidden
  // from whoever reads the result.
  auto clearAnswer = [&] {
    TTableCursor& answer = *Run.Answer;
    // What an earlier execution left: the nested query's value filter, or
    // the fill's own after a failure.
    if (answer.Filters().FilterCount() > 0) answer.Filters().DropFilter(nullptr);
    Run.ResultFilter = nullptr;
    if (!Run.AnswerFields.empty()) answer.SetFieldMap(Run.AnswerFields, false);
    answer.Admin().EmptyTable();
  };
  // A move that failed in an earlier execution left no answer.
  if (!Run.Answer) CreateAnswerTable(*this, false);
  clearAnswer();
  TReadBatch batch(*this);
  batch.Begin();
  // A count is an answer of its own only from the filter's bitmap.
  const int64_t mostRowsServedInPart = MostRowsServedInPart(*this);
  PlanConditions(*this, {.TestUnservedInRowLoop = !(Plan.AggregatesOnly && Plan.FastCount),
                         .MostRowsServedInPart = mostRowsServedInPart});
  // Rows whose count before the row loop's test fits are placed as counted
  // ones. Beyond, a filter tested in the row loop leaves the rows uncounted
  // until they are read: their answer begins in memory and moves to disk
  // once they outgrow the smaller bound of rows counted as they come. A
  // walk kept to a stretch tests its rows in the loop however many the
  // stretch holds: past the bound of rows served in part they most likely
  // move, and go to disk at once, as the filter's scan would place them.
  const bool fits = KeepsTemporaryAnswer(*this) && AnswerFitsInMemory(*this);
  const bool stretchPastBound =
      Run.Joins.StretchFilter && Run.Tables.front()->Cursor->GetRecordCount() > mostRowsServedInPart;
  const bool rowsUncounted = Run.Joins.RowTest && !Plan.AggregatesOnly && !fits && !stretchPastBound;
  // A DISTINCT that knows its duplicates from their source values counts
  // the rows it keeps, most often few: its answer begins in memory too and
  // moves to disk once they outgrow that bound.
  const bool rowsFolded = DistinctFoldsBySource(*this) && !fits;
  if (KeepsTemporaryAnswer(*this) && Run.AnswerInMemory != (rowsUncounted || rowsFolded || fits)) {
    const bool inMemory = !Run.AnswerInMemory;
    // Files are made and deleted without the source tables' locks.
    batch.End();
    DropAnswerTable(*this);
    CreateAnswerTable(*this, inMemory);
    clearAnswer();
  }
  TRowBuilder builder(*this);
  TRowProgress progress(*this);
  if (Plan.AggregatesOnly) {
    TTableCursor& answer = *Run.Answer;
    std::vector<uint8_t> result(answer.Fields().CursorRecordSize(), 0);
    answer.Fields().ClearRecord(result.data());
    bool first = true;
    if (Plan.FastCount && !Plan.Joins.RowWhere && !Plan.Joins.RowJoins) {
      const int32_t count = Run.Tables[Plan.Joins.Steps.front().Source]->Cursor->GetRecordCount();
      answer.Fields().WriteField(1, result.data(), count);
      first = false;
    } else {
      ForEachJoinedRow(*this, [&] {
        batch.Row();
        if (progress.Step()) return false;
        if (!RowPasses(*this)) return true;
        const uint8_t* row = builder.Build();
        if (first) {
          std::memcpy(result.data(), row, result.size());
          first = false;
        } else {
          AccumulateRow(*this, answer, result.data(), row);
        }
        return true;
      });
      batch.End();
    }
    // Over no rows every aggregate is blank but COUNT, which is 0.
    if (first)
      for (const auto& column : Plan.ResultFields)
        if (column->Aggregate == agCount) {
          answer.Fields().WriteField(column->FieldNo, result.data(), int32_t(0));
        }
    FinishAverages(*this, answer, result.data());
    if (Run.MaxRowCount != 0) answer.InsertRecord(result.data());
  } else {
    // An answer that moves to disk during this fill and then fails leaves
    // nothing behind; the next execution makes a new one.
    bool moved = false;
    TScopeGuard dropMoved([&] {
      if (moved) DropAnswerTable(*this);
    });
    // The ORDER BY's sort, when it is the answer's one sort, forms its
    // runs from the rows that outgrow memory as the fill goes.
    std::vector<TSortField> orderKeys;
    for (const TColumnItem& item : Plan.OrderBy) orderKeys.push_back({item.ColumnNo, item.Descending});
    const bool sorted = Parsed.Ordering.Given() && !Plan.OrderGiven;
    TFillOptions fillOptions;
    if (sorted && !Plan.Distinct && !Plan.Grouping && !Plan.Joins.WalkOrder) {
      fillOptions.SortKeys = orderKeys;
      fillOptions.SortCaseInsensitive = Parsed.Ordering.NoCase;
    }
    // The cursor's upkeep waits for the end of the fill: rows go in at a
    // cost that does not grow with the table.
    TAnswerFill fill(*Run.Answer, fillOptions);
    TRowFolder folder(*this, *Run.Answer);
    // Only BLOB values can take an answer in memory past its bound when its
    // records were bounded before it was placed there.
    const bool mayMove = Run.AnswerInMemory && (Plan.HasBlobColumn || rowsUncounted || rowsFolded);
    // Rows counted as they come move early: a move copies what came before.
    const int64_t fillBound = rowsUncounted || rowsFolded
                                  ? std::min(Run.MaxAnswerFillBytes, UncountedAnswerFillBytes)
                                  : Run.MaxAnswerFillBytes;
    auto moveToDisk = [&] {
      // The rows folded so far go in first: the sorts fold what comes
      // after them as they fold any records.
      folder.Flush();
      fill.End();
      // The copy reads none of the source tables: their locks wait for
      // the next row.
      batch.End();
      moved = true;
      MoveAnswerToDisk(*this);
      fill.Begin(*Run.Answer);
      builder.Retarget(*Run.Answer);
      folder.Retarget(*Run.Answer);
    };
    int32_t rows = 0;
    int32_t keptRows = 0;  // of a DISTINCT folded by its source values
    auto fillRow = [&] {
      batch.Row();
      if (progress.Step()) return false;
      if (!RowPasses(*this)) return true;
      if (Run.MaxRowCount >= 0 && rows >= Run.MaxRowCount) return false;
      ++rows;
      // Past the rows a count would have let into memory, folded or not.
      if (mayMove && !moved && rowsUncounted && !rowsFolded && !RowsFitInMemory(*this, rows, fillBound))
        moveToDisk();
      if (folder.SourceSeen()) return true;
      if (rowsFolded) ++keptRows;
      if (mayMove && !moved && rowsFolded && !RowsFitInMemory(*this, keptRows, fillBound)) moveToDisk();
      uint8_t* row = builder.Build();
      if (!folder.Take(row)) Run.Answer->InsertRecord(row);
      if (mayMove && !moved && builder.BytesBuilt() > fillBound) moveToDisk();
      return true;
    };
    // Rows taken in the order index's order need no sort. When their ties
    // came otherwise than the sort leaves them, they are taken again.
    bool inOrder = false;
    if (Plan.Joins.WalkOrder) {
      ORV_ASSERT(!Plan.Distinct && !Plan.Grouping);
      inOrder = ForEachRowInIndexOrder(*this, fillRow);
      if (!inOrder) {
        batch.End();
        fill.End();
        rows = 0;
        clearAnswer();
        fill.Begin(*Run.Answer);
      }
    }
    if (!inOrder) ForEachJoinedRow(*this, fillRow);
    batch.End();
    folder.Flush();
    TTableCursor& answer = *Run.Answer;
    // The fill ends after the sorts, which renumber its records and take
    // the keys it held back in one pass.
    if (Plan.Distinct) {
      std::vector<TSortField> keys;
      for (const auto& column : Plan.ResultFields) keys.push_back({column->FieldNo, false});
      answer.Admin().SortRecords(keys, false, TSortDuplicates::Distinct, nullptr);
    } else if (Plan.Grouping) {
      std::vector<TSortField> keys;
      for (const TColumnItem& item : Plan.GroupBy) keys.push_back({item.ColumnNo, false});
      TSortGroupCallbacks callbacks;
      callbacks.Accumulate = [this, &answer](uint8_t* group, const uint8_t* record) {
        AccumulateRow(*this, answer, group, record);
      };
      if (Parsed.Select.HasAverage)
        callbacks.Finish = [this, &answer](uint8_t* group) { FinishAverages(*this, answer, group); };
      const TFormatSettings& answerSettings =
          GetLocaleFormatSettings(answer.Fields().LanguageId(), answer.Fields().SortId());
      if (Plan.HavingChecked)
        callbacks.Keep = [this, &answer, &answerSettings](const uint8_t* group) {
          TRecordColumnValues columns(answer, group);
          const TExpEvalContext context{&columns, answer.Fields().LanguageId(), answer.Fields().SortId(),
                                        &answerSettings};
          TExpTreePtr holds(EvaluateExpression(context, *Plan.HavingChecked));
          return !holds->IsNull && holds->AsBoolean();
        };
      answer.Admin().SortRecords(keys, false, TSortDuplicates::Group, &callbacks);
    }
    if (sorted && !inOrder)
      answer.Admin().SortRecords(orderKeys, Parsed.Ordering.NoCase, TSortDuplicates::None, nullptr);
    fill.End();
    dropMoved.Dismiss();
  }
  progress.Finish();
  TTableCursor& answer = *Run.Answer;
  // The result columns come first.
  if (!Run.AnswerFields.empty())
    answer.SetFieldMap({Run.AnswerFields.begin(), Run.AnswerFields.begin() + ptrdiff_t(Plan.ResultFields.size())},
                       false);
  answer.SetToBegin();
  Run.RecordCount = answer.GetRecordCount();
  Run.ResultCursor = &answer;
  Run.Executed = true;
}

// ---- the nested query's answers to the expression engine --------------------

int TDataQuery::ResultColumnCount() { return int(Plan.ResultFields.size()); }

bool TDataQuery::ResolveColumnType(TExpToken& node) {
  if (Plan.ResultFields.empty()) return false;
  const TResultField& column = *Plan.ResultFields.front();
  node.FieldNo = 1;
  node.DataType = ResultFieldType(column);
  node.SubType = node.DataType == column.DataType ? column.SubType : uint8_t(stNone);
  node.SetDataSize(node.DataType == dtFloat ? 8 : column.Size);
  node.Scale = column.Scale;
  return true;
}

bool TDataQuery::ApplyResultFilter(TExpToken& condition) {
  if (Plan.Correlated) RefreshCorrelated(*this);
  if (!Run.Answer) return false;
  // The engine hands a comparison of the tested value with the column.
  ORV_ASSERT(condition.First && condition.Second);
  TExpTreePtr copy(CloneTokenTree(&condition));
  // The column of the answer table goes first, the tested value after it.
  if (copy->First && copy->First->Kind != nkColumn) {
    std::swap(copy->First, copy->Second);
  }
  copy->First->FieldNo = 1;
  copy->First->SourceTable = nullptr;
  copy->First->CorrelationName.clear();
  copy->Second->Kind = nkConstant;
  const uint16_t language = Run.Answer->Fields().LanguageId();
  // The tested value comes in the enclosing query's code page.
  if (Plan.Outer) ConvertTextValue(*copy->Second, EvaluationLanguage(*Plan.Outer), language);
  const TFormatSettings& settings = GetLocaleFormatSettings(language, Run.Answer->Fields().SortId());
  const TExpEvalContext context{nullptr, language, Run.Answer->Fields().SortId(), &settings};
  TExpTreePtr prepared(ConvertConditionForTable(context, std::move(copy), true, false));
  if (!Run.ResultFilter) {
    Run.ResultFilter = Run.Answer->Filters().AddFilter(std::move(prepared));
    Run.Answer->Filters().ActivateFilter(Run.ResultFilter);
  } else {
    Run.Answer->Filters().UpdateFilter(prepared.get(), Run.ResultFilter);
    prepared.release();
  }
  return Run.Answer->GetRecordCount() > 0;
}
