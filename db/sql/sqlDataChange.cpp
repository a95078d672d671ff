#include "sqlDataChange.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engTableCursor.h"
#include "engCursorRecords.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engExpTypeCheck.h"
#include "engExpTypeChecker.h"
#include "engExpTypes.h"
#include "engExpDateTime.h"
#include "engStrings.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "sqlColumns.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlPlanner.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

constexpr int32_t CommitBytes = 262140;
constexpr int32_t MaxDefaultCommitInterval = 8191;
constexpr const char* UpdateValuesContext = "update values";

bool HasParam(const TExpToken* node) {
  for (; node; node = node->Next)
    if ((node->Kind == nkConstant && node->IsParam) || HasParam(node->First) || HasParam(node->Second) ||
        HasParam(node->Third))
      return true;
  return false;
}

// The value checked against its column: a date text becomes a date, and
// the types must compare with "=".
TExpTreePtr CheckedValue(TDataQuery& query, const TExpCheckContext& check, const TUpdateField& column,
                         const TUpdateValue& value) {
  TSourceTable& table = *query.Run.Tables.front();
  TExpTreePtr tree = query.Statement.CopyWithParams(*value.Tree);
  // Column references of an UPDATE read the current record.
  std::function<void(TExpToken*)> bind = [&](TExpToken* node) {
    for (; node; node = node->Next) {
      if (node->Kind == nkColumn) node->SourceTable = &table;
      bind(node->First);
      bind(node->Second);
      bind(node->Third);
    }
  };
  TypeCheckExpression(check, false, nullptr, tree.get());
  bind(tree.get());
  const bool dateColumn = IsDateTimeType(column.DataType);
  if (dateColumn && tree->Kind == nkConstant && tree->DataType == dtString && !tree->IsNull) {
    if (!TextToDateTimeValue(tree->AsText(), column.DataType, *check.FormatSettings, {tree->Value, 8}))
      RaiseSqlError("Date, time, or timestamp expression expected, instead found '" + value.Text + "'" +
                    " in update values");
    tree->DataType = column.DataType;
    tree->SetDataSize(column.DataType == dtTimeStamp ? 8 : 4);
  }
  if (tree->DataType != dtNone && !tree->IsNull &&
      !IsOperatorTypeCompatible(opEqual, column.DataType, column.SubType, tree->DataType, tree->SubType)) {
    TExpToken columnNode;
    columnNode.Kind = nkColumn;
    RaiseSqlError("Type mismatch between " + std::string(KindWord(&columnNode)) + " " + "'" + column.Name + "'" +
                  " and " + KindWord(tree.get()) + " " + "'" + value.Text + "'" + " in update values");
  }
  ConvertTextConstants(tree.get(), table.Cursor->Fields().LanguageId());
  return tree;
}

// The statement's values checked, in order; without withParams those that
// wait for parameters are left out. They share one check context: its
// format settings are some forty texts, made once per statement run and
// not once per value of every single-row INSERT.
std::vector<TExpTreePtr> CheckedValues(TDataQuery& query, bool withParams) {
  TTableColumnResolver resolver(*query.Run.Tables.front());
  // An INSERT has no row to read: a quoted text that happens to name a
  // column stays the text it says.
  TExpColumnResolver* columns = query.Parsed.Kind == qkUpdate ? &resolver : nullptr;
  const TExpCheckContext check{EngErrSql, {}, UpdateValuesContext, columns, &SourceFormatSettings(query)};
  std::vector<TExpTreePtr> values;
  for (size_t i = 0; i < query.Parsed.Change.Values.size(); ++i) {
    const TUpdateValue& value = *query.Parsed.Change.Values[i];
    if (withParams || !HasParam(value.Tree.get()))
      values.push_back(CheckedValue(query, check, query.Plan.Change.Fields[i], value));
  }
  return values;
}

// The statement's transaction: its own when the directory had none, with
// writes every commit interval; rolled back when a row fails.
class TChangeTransaction {
public:
  TChangeTransaction(TDataQuery& query, TSourceTable& table, const TTransactionOptions& options = {})
      : query(query), directory(*table.Directory), started(!directory.InTransaction()),
        interval(query.Parsed.Options.HasCommitInterval ? query.Parsed.Options.CommitInterval
                                                : DefaultCommitInterval(table.Cursor->Fields().GetRecordSize())),
        stepped(started || query.Parsed.Options.HasCommitInterval) {
    if (started) directory.StartTransaction(options);
  }
  // Runs while the row's error travels on: a failing rollback must not end
  // the program, and the first error is the one the caller needs.
  ~TChangeTransaction() {
    if (!started || done) return;
    try {
      directory.Rollback();
    } catch (...) {
    }
  }
  TChangeTransaction(const TChangeTransaction&) = delete;
  TChangeTransaction& operator=(const TChangeTransaction&) = delete;

  void Changed() {
    ++counter;
    if (!started) query.Run.RecordCount = counter;
    if (stepped && counter % interval == 0) {
      directory.Commit(false);
      query.Run.RecordCount = counter;
    }
  }
  void Finish() {
    if (started) directory.Commit(true);
    done = true;
    query.Run.RecordCount = counter;
  }

private:
  TDataQuery& query;
  TDataDirectory& directory;
  bool started;
  int32_t interval;
  bool stepped;
  bool done = false;
  int32_t counter = 0;
};

void StoreValue(TDataQuery& query, TSourceTable& table, uint8_t* record, const TUpdateField& column,
                const TExpToken& value, const std::string& valueText, const char* statement) {
  if (!StoreFieldValue(*table.Cursor, record, column.FieldNo, value, *query.Run.EvalSettings))
    RaiseSqlError("Type mismatch between column " + column.Name + " and constant value " + valueText + " in " +
                  statement + " statement");
}

}  // namespace

int32_t DefaultCommitInterval(int32_t recordSize) {
  return std::max(1, std::min(CommitBytes / std::max(recordSize, 1), MaxDefaultCommitInterval));
}

TDataChangePlan PlanDataChange(const TDataQuery& query) {
  ORV_ASSERT(query.Run.Tables.size() == 1);
  const TSourceTable& table = *query.Run.Tables.front();
  TDataChangePlan plan;
  if (query.Parsed.Kind == qkDelete) return plan;
  // The target columns, "*" expanded, found in the table.
  std::vector<TTargetItem> targets;
  for (const TTargetItem& target : query.Parsed.Change.Columns) {
    if (target.Name != "*") {
      targets.push_back(target);
      continue;
    }
    for (int i = 1; i <= table.FieldCount; ++i) targets.push_back({table.Field(i).Name, ""});
  }
  for (const TTargetItem& target : targets) {
    const bool ownTable = target.Qualifier.empty() || SameText(target.Qualifier, table.Reference.CorrelationName);
    const int fieldNo = ownTable ? table.FindField(target.Name) : 0;
    if (fieldNo == 0)
      RaiseSqlError("Invalid column name '" + target.Name + "'" + " or table correlation name " + "'" +
                    target.Qualifier + "'" + " specified in table columns");
    const TFieldDefinition& definition = table.Field(fieldNo);
    TUpdateField field;
    field.FieldNo = uint16_t(fieldNo);
    field.Name = definition.Name;
    field.DataType = definition.Type;
    field.SubType = definition.Subtype;
    field.Size = definition.StoredSize;
    field.Scale = field.DataType == dtBcd ? definition.StoredScale : 0;
    plan.Fields.push_back(std::move(field));
  }
  const size_t values = query.Parsed.Change.SubSelect ? query.Parsed.Change.SubSelect->Plan.ResultFields.size()
                                                      : query.Parsed.Change.Values.size();
  if (values != plan.Fields.size()) RaiseSqlError("The number of values must match the number of table columns");
  plan.CheckInvariants(query.Parsed, table);
  return plan;
}

void PrepareDataChange(TDataQuery& query) {
  query.OpenSourceTables(false);
  query.Plan.Change = PlanDataChange(query);
  if (query.Parsed.Kind == qkDelete || query.Parsed.Change.SubSelect) return;
  // Values without parameters are checked now; the others once bound.
  CheckedValues(query, false);
}

void ExecuteInsert(TDataQuery& query) {
  // Preparation opened the table and found a field for every value.
  ORV_ASSERT(query.Run.Tables.size() == 1);
  TSourceTable& table = *query.Run.Tables.front();
  const TDataChangePlan& plan = query.Plan.Change;
  plan.CheckInvariants(query.Parsed, table);
  TTableCursor& cursor = *table.Cursor;
  query.Run.RecordCount = 0;
  cursor.SetNoAutoInc(query.Parsed.Options.NoAutoInc);
  std::vector<uint8_t> record(cursor.Fields().CursorRecordSize(), 0);
  TSourceColumnValues columns(EvaluationLanguage(query));
  TExpEvalContext context = SourceEvalContext(query, &columns);
  if (!query.Parsed.Change.SubSelect) {
    const std::vector<TExpTreePtr> values = CheckedValues(query, true);
    TChangeTransaction transaction(query, table, {.SingleChange = true});
    cursor.Checks().ApplyDefaults(record.data());
    table.HasRow = false;  // no row: column references are NULL
    for (size_t i = 0; i < values.size(); ++i) {
      TExpTreePtr value(EvaluateExpression(context, *values[i]));
      StoreValue(query, table, record.data(), plan.Fields[i], *value, query.Parsed.Change.Values[i]->Text,
                 "INSERT");
    }
    cursor.InsertRecord(record.data());
    transaction.Changed();
    transaction.Finish();
    return;
  }
  // From the nested SELECT's answer table, a copy taken before the first
  // row goes in, so a SELECT of the same table never reads its new rows.
  TDataQuery& select = *query.Parsed.Change.SubSelect;
  TTableCursor& source = *select.Run.ResultCursor;
  std::vector<uint8_t> row(source.Fields().CursorRecordSize(), 0);
  const int32_t total = source.GetRecordCount();
  TChangeTransaction transaction(query, table);
  source.SetToBegin();
  int32_t counter = 0;
  while (source.GetNextRecord(row.data()) == 0) {
    ++counter;
    if (query.Progress(counter, total > 0 ? int32_t(int64_t(counter) * 100 / total) : 100)) break;
    cursor.Checks().ApplyDefaults(record.data());
    for (size_t i = 0; i < plan.Fields.size(); ++i) {
      const TUpdateField& target = plan.Fields[i];
      const TFieldDefinition& field = source.Fields().FieldDefinition(int(i + 1));
      TExpTreePtr value(NewToken());
      TypeNodeFromField(field, *value);
      ReadFieldValue(source, row.data(), field, *value);
      ConvertTextValue(*value, source.Fields().LanguageId(), cursor.Fields().LanguageId());
      StoreValue(query, table, record.data(), target, *value, select.Plan.ResultFields[i]->Name, "INSERT");
    }
    cursor.InsertRecord(record.data());
    transaction.Changed();
  }
  if (counter < total || total == 0) query.Progress(total, 100);
  transaction.Finish();
}

void ExecuteUpdateOrDelete(TDataQuery& query) {
  ORV_ASSERT(query.Run.Tables.size() == 1);
  TSourceTable& table = *query.Run.Tables.front();
  const TDataChangePlan& plan = query.Plan.Change;
  plan.CheckInvariants(query.Parsed, table);
  TTableCursor& cursor = *table.Cursor;
  query.Run.RecordCount = 0;
  const bool update = query.Parsed.Kind == qkUpdate;
  if (update) cursor.SetNoAutoInc(query.Parsed.Options.NoAutoInc);
  std::vector<TExpTreePtr> values;
  if (update) values = CheckedValues(query, true);
  PlanConditions(query);
  TSourceColumnValues columns(EvaluationLanguage(query));
  TExpEvalContext context = SourceEvalContext(query, &columns);
  const int32_t total = cursor.GetRecordCount();
  // The qualifying rows are gathered before the first change: a change
  // that takes a row out of the filter (or moves it) must neither make the
  // walk skip its neighbour nor bring the row round a second time.
  const int bookmarkSize = cursor.GetBookmarkSize();
  std::vector<uint8_t> qualifying;
  TChangeTransaction transaction(query, table);
  int32_t counter = 0;
  cursor.SetToBegin();
  table.Shown = nullptr;
  while (cursor.GetNextRecord(table.Record.data()) == 0) {
    table.HasRow = true;
    ++counter;
    if (query.Progress(counter, total > 0 ? int32_t(int64_t(counter) * 100 / total) : 100)) break;
    if (!RowPasses(query)) continue;
    qualifying.resize(qualifying.size() + size_t(bookmarkSize));
    cursor.GetBookmark(qualifying.data() + qualifying.size() - size_t(bookmarkSize));
  }
  for (size_t at = 0; at < qualifying.size(); at += size_t(bookmarkSize)) {
    // A row another user changed out of the filter or deleted meanwhile is
    // no longer there to reach.
    if (!cursor.GotoBookmark(qualifying.data() + at) ||
        cursor.GetRecord(table.Record.data()) != 0)
      continue;
    table.HasRow = true;
    if (!update) {
      cursor.DeleteRecord(table.Record.data());
      transaction.Changed();
      continue;
    }
    cursor.LockRecord(0);
    try {
      std::vector<TExpTreePtr> computed;
      for (const TExpTreePtr& value : values) computed.emplace_back(EvaluateExpression(context, *value));
      std::vector<uint8_t> changed(table.Record);
      for (size_t i = 0; i < computed.size(); ++i)
        StoreValue(query, table, changed.data(), plan.Fields[i], *computed[i],
                   query.Parsed.Change.Values[i]->Text, "UPDATE");
      cursor.ModifyRecord(changed.data(), {.ReleaseLock = true});
    } catch (...) {
      if (cursor.HoldsRecordLock(cursor.CurrentRecordNumber())) cursor.UnlockRecord(0);
      throw;
    }
    transaction.Changed();
  }
  if (counter < total || total == 0) query.Progress(total, 100);
  transaction.Finish();
  ClearPlan(query);
}
