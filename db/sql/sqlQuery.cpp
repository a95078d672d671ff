// A query's life: reset, parameter collection, the dispatch of preparation
// and execution by kind, progress and timing.

#include "sqlQuery.h"

#include <algorithm>

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engSession.h"
#include "osSyncTicks.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "sqlDataChange.h"
#include "sqlDefinition.h"
#include "sqlResultColumns.h"
#include "sqlStatement.h"

TSourceTable::TSourceTable(const TTableReference& reference) : Reference(reference) {}

TSourceTable::~TSourceTable() {
  if (Cursor) {
    Cursor->Close(TTemporaryContents::Discard);
    Cursor.reset();
  }
  if (OwnsDirectory && Directory) Directory->Session()->CloseDirectory(Directory);
}

void TSourceTable::CheckInvariants() const {
  ORV_ASSERT(Cursor && Directory);
  ORV_ASSERT(Fields.size() == size_t(FieldCount));
  ORV_ASSERT(!Record.empty());
}

void TParsedSources::CheckInvariants(bool numbered) const {
  // A right-joined table goes first but keeps the position of its place in
  // the text: the positions are 1..n in some order.
  std::vector<bool> seen(Tables.size() + 1, false);
  for (const auto& table : Tables) {
    ORV_ASSERT(!numbered || (table->Position >= 1 && table->Position <= Tables.size() && !seen[table->Position]));
    if (numbered) seen[table->Position] = true;
    for (const auto& other : Tables)
      ORV_ASSERT(other == table || !SameText(other->CorrelationName, table->CorrelationName));
  }
}

void TParsedSelectList::CheckInvariants() const {
  bool average = false;
  for (const auto& item : Items) {
    ORV_ASSERT(item->AllColumns || item->CountStar || item->Tree);
    ORV_ASSERT(item->Aggregate <= agCount && (!item->CountStar || item->Aggregate == agCount));
    average = average || item->Aggregate == agAvg;
  }
  ORV_ASSERT(HasAverage == average);
}

void TParsedCondition::CheckInvariants() const {
  for (const TJoinClause& join : Joins) ORV_ASSERT(join.Condition && join.Kind >= jkInner && join.Kind <= jkRight);
}

void TParsedQuery::CheckInvariants(const TDataQuery& owner) const {
  ORV_ASSERT(Kind <= qkDropIndex);
  Select.CheckInvariants();
  Sources.CheckInvariants(Kind <= qkDelete);
  Condition.CheckInvariants();
  if (Kind == qkSelect) ORV_ASSERT(Change.Columns.empty() && Change.Values.empty() && !Change.SubSelect);
  if (Kind != qkSelect) ORV_ASSERT(Select.Items.empty() && !Grouping.Given() && !Grouping.Having && !Ordering.Given());
  if (Kind != qkCreateTable && Kind != qkAlterTable && Kind != qkCreateIndex)
    ORV_ASSERT(Definition.Fields.empty() && Definition.Indexes.empty());
  ORV_ASSERT(!Change.SubSelect || (Kind == qkInsert && Change.SubSelect != &owner));
  ORV_ASSERT(!Target.Into || !Target.Name.empty());
  ORV_ASSERT(!Options.Encrypted || !Options.Password.empty());
}

TTableDefinition TParsedOptions::NewTableDefinition(std::vector<TFieldDefinition> fields) const {
  TTableDefinition definition;
  definition.Fields = std::move(fields);
  definition.LanguageId = LanguageId;
  definition.SortId = SortId;
  definition.BlobBlockSize = BlobBlockSize;
  definition.Description = Description;
  definition.UserMajorVersion = UserMajorVersion;
  definition.UserMinorVersion = UserMinorVersion;
  definition.Encrypted = Encrypted;
  definition.Password = Password;
  return definition;
}

void TDataChangePlan::CheckInvariants(const TParsedQuery& parsed, const TSourceTable& table) const {
  if (parsed.Kind == qkDelete) {
    ORV_ASSERT(Fields.empty());
    return;
  }
  ORV_ASSERT(Fields.size() == (parsed.Change.SubSelect ? parsed.Change.SubSelect->Plan.ResultFields.size()
                                                       : parsed.Change.Values.size()));
  for (const TUpdateField& field : Fields) {
    ORV_ASSERT(field.FieldNo >= 1 && field.FieldNo <= table.FieldCount);
    const TFieldDefinition& definition = table.Field(field.FieldNo);
    ORV_ASSERT(field.Name == definition.Name && field.DataType == definition.Type &&
               field.SubType == definition.Subtype && field.Size == definition.StoredSize);
  }
}

void TQueryPlan::CheckInvariants(const TDataQuery& owner) const {
  const TParsedQuery& parsed = owner.Parsed;
  const auto& tables = owner.Run.Tables;
  ORV_ASSERT(!Live || (parsed.Sources.Tables.size() == 1 && !Grouping && !Distinct && !parsed.Target.Into &&
                       !parsed.Grouping.Having && !HavingChecked && !OrderGiven && OrderBy.empty() &&
                       GroupBy.empty()));
  ORV_ASSERT(Live || ResultIndex == NoResultIndex);
  // The index a live result reads by is one its table has.
  if (Live && ResultIndex != NoResultIndex) {
    const TCursorFields& fields = tables.front()->Cursor->Fields();
    ORV_ASSERT(ResultIndex <= fields.GetSecondaryIndexCount() && (ResultIndex > 0 || !fields.PrimaryIsNatural()));
  }
  ORV_ASSERT(OrderIndex == NoResultIndex ||
             (!Live && parsed.Sources.Tables.size() == 1 && !Grouping && !Distinct && parsed.Ordering.Given()));
  ORV_ASSERT(!AggregatesOnly || Grouping);
  ORV_ASSERT(!parsed.Grouping.Given() || Grouping);
  ORV_ASSERT(!Distinct || parsed.Select.Distinct);
  ORV_ASSERT(!OrderGiven || (parsed.Ordering.Given() && (Grouping || Distinct)));
  for (size_t i = 0; i < ResultFields.size(); ++i) {
    const TResultField& column = *ResultFields[i];
    ORV_ASSERT(column.FieldNo == i + 1);
    ORV_ASSERT((column.AvgCountFieldNo == 0) || column.AvgCountFieldNo > ResultFields.size());
    // Every plain column was resolved to a field of one of the query's own
    // tables.
    ORV_ASSERT(column.Source >= -1 && column.Source < int(tables.size()));
    ORV_ASSERT(column.Computed || column.CountStar ||
               (column.Source >= 0 && column.SourceFieldNo >= 1 &&
                column.SourceFieldNo <= tables[size_t(column.Source)]->FieldCount));
  }
  for (const std::vector<TColumnItem>* items : {&OrderBy, &GroupBy})
    for (const TColumnItem& item : *items) ORV_ASSERT(item.ColumnNo >= 1 && item.ColumnNo <= ResultFields.size());
  if (parsed.Kind == qkInsert || parsed.Kind == qkUpdate || parsed.Kind == qkDelete) {
    ORV_ASSERT(tables.size() == 1);
    Change.CheckInvariants(parsed, *tables.front());
  } else {
    ORV_ASSERT(Change.Fields.empty());
  }
  ORV_ASSERT(Outer != &owner);
  ORV_ASSERT(!Correlated || Outer);
  Joins.CheckInvariants(parsed.Sources.Tables.size());
}

void TQueryRun::CheckInvariants(const TParsedQuery& parsed, const TQueryPlan& plan) const {
  ORV_ASSERT(Tables.empty() || Tables.size() == parsed.Sources.Tables.size());
  for (size_t i = 0; i < Tables.size(); ++i) {
    ORV_ASSERT(&Tables[i]->Reference == parsed.Sources.Tables[i].get() && Tables[i]->Place == i);
    Tables[i]->CheckInvariants();
  }
  ORV_ASSERT(!ResultCursor || ResultCursor == Answer.get() ||
             (plan.Live && ResultCursor == Tables.front()->Cursor.get()));
  if (parsed.Kind == qkSelect && Executed)
    ORV_ASSERT(ResultCursor && ResultCursor == (plan.Live ? Tables.front()->Cursor.get() : Answer.get()));
  ORV_ASSERT(!AnswerDirectory || Answer);
  ORV_ASSERT(AnswerFields.empty() || Answer);
  ORV_ASSERT(Elapsed >= 0);
  Joins.CheckInvariants(plan.Joins);
}

TDataQuery::TDataQuery(TQueryStatement& statement) : Statement(statement) {}

TDataQuery::~TDataQuery() {
  Plan.HavingChecked.reset();
  Plan.Joins.RowWhere.reset();
  Plan.Joins.RowJoins.reset();
  DropAnswerTable(*this);
  Run.Tables.clear();
}

namespace {

// Left before right, lists in order, a nested query's parameters where its
// SELECT stands: the order of the text.
void CollectTreeParams(const TExpToken* node, std::vector<const TExpToken*>& params) {
  for (; node; node = node->Next) {
    if (node->Kind == nkConstant && node->IsParam) params.push_back(node);
    if (node->Kind == nkSubSelect && node->NestedQuery)
      static_cast<const TDataQuery*>(node->NestedQuery)->CollectParams(params);
    CollectTreeParams(node->First, params);
    CollectTreeParams(node->Second, params);
    CollectTreeParams(node->Third, params);
  }
}

}  // namespace

void TDataQuery::CollectParams(std::vector<const TExpToken*>& params) const {
  switch (Parsed.Kind) {
    case qkSelect:
      for (const TJoinClause& join : Parsed.Condition.Joins) CollectTreeParams(join.Condition.get(), params);
      CollectTreeParams(Parsed.Condition.Where.get(), params);
      CollectTreeParams(Parsed.Grouping.Having.get(), params);
      break;
    case qkInsert:
    case qkUpdate:
      for (const auto& value : Parsed.Change.Values) CollectTreeParams(value->Tree.get(), params);
      if (Parsed.Change.SubSelect) Parsed.Change.SubSelect->CollectParams(params);
      CollectTreeParams(Parsed.Condition.Where.get(), params);
      break;
    case qkDelete:
      CollectTreeParams(Parsed.Condition.Where.get(), params);
      break;
    default:
      break;
  }
}

bool TDataQuery::Progress(int32_t current, int32_t percent) {
  if (!Run.ProgressProc) return false;
  bool abort = false;
  Run.ProgressProc(current, percent, abort);
  return abort;
}

void TDataQuery::Prepare() {
  switch (Parsed.Kind) {
    case qkSelect:
      PrepareSelect();
      break;
    case qkInsert:
    case qkUpdate:
    case qkDelete:
      PrepareDataChange(*this);
      break;
    default:
      break;  // definition statements need the table only when they run
  }
  Parsed.CheckInvariants(*this);
  Plan.CheckInvariants(*this);
}

void TDataQuery::Execute() {
  const uint32_t before = GetTickCount();
  switch (Parsed.Kind) {
    case qkSelect:
      ExecuteSelect();
      break;
    case qkInsert:
      ExecuteInsert(*this);
      break;
    case qkUpdate:
    case qkDelete:
      ExecuteUpdateOrDelete(*this);
      break;
    default:
      ExecuteDefinition(*this);
      break;
  }
  const uint32_t after = GetTickCount();
  Run.Elapsed = after > before ? double(after - before) / 1000.0 : 0;
  Plan.CheckInvariants(*this);
  Run.CheckInvariants(Parsed, Plan);
}
