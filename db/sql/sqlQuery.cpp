// A query's life: reset, parameter collection, the dispatch of preparation
// and execution by kind, progress and timing.

#include "sqlQuery.h"

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engSession.h"
#include "osSyncTicks.h"
#include "sqlDataChange.h"
#include "sqlDefinition.h"
#include "sqlStatement.h"

TSourceTable::TSourceTable() = default;

TSourceTable::~TSourceTable() {
  if (Cursor) {
    Cursor->Close(true);
    Cursor.reset();
  }
  if (OwnsDirectory && Directory) Directory->Session()->CloseDirectory(Directory);
}

TDataQuery::TDataQuery(TQueryStatement& statement) : Statement(statement) {}

TDataQuery::~TDataQuery() {
  HavingChecked.reset();
  RowWhere.reset();
  RowJoins.reset();
  if (Answer) {
    Answer->Close(true);
    Answer.reset();
  }
  if (AnswerDirectory) AnswerDirectory->Session()->CloseDirectory(AnswerDirectory);
  SourceTables.clear();
}

namespace {

// Left before right, lists in order, a nested query's parameters where its
// SELECT stands: the order of the text.
void CollectTreeParams(const TExpToken* node, std::vector<TExpToken*>& params) {
  for (; node; node = node->Next) {
    if (node->Kind == nkConstant && node->IsParam) params.push_back(const_cast<TExpToken*>(node));
    if (node->Kind == nkSubSelect && node->NestedQuery)
      static_cast<const TDataQuery*>(node->NestedQuery)->CollectParams(params);
    CollectTreeParams(node->First, params);
    CollectTreeParams(node->Second, params);
    CollectTreeParams(node->Third, params);
  }
}

}  // namespace

void TDataQuery::CollectParams(std::vector<TExpToken*>& params) const {
  switch (Kind) {
    case qkSelect:
      for (const TJoinClause& join : JoinClauses) CollectTreeParams(join.Condition.get(), params);
      CollectTreeParams(Where.get(), params);
      CollectTreeParams(Having.get(), params);
      break;
    case qkInsert:
    case qkUpdate:
      for (const auto& value : UpdateValues) CollectTreeParams(value->Tree.get(), params);
      if (SubSelect) SubSelect->CollectParams(params);
      CollectTreeParams(Where.get(), params);
      break;
    case qkDelete:
      CollectTreeParams(Where.get(), params);
      break;
    default:
      break;
  }
}

bool TDataQuery::Progress(int32_t current, int32_t percent) {
  if (!ProgressProc) return false;
  bool abort = false;
  ProgressProc(current, percent, abort);
  return abort;
}

void TDataQuery::Prepare() {
  switch (Kind) {
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
}

void TDataQuery::Execute() {
  const uint32_t before = GetTickCount();
  switch (Kind) {
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
  Elapsed = after > before ? double(after - before) / 1000.0 : 0;
}
