#include "sqlCorrelation.h"

#include <cstring>

#include "engExpToken.h"
#include "rtlAssert.h"
#include "sqlColumns.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

bool IsOwnTable(const TDataQuery& query, const TSourceTable* table) {
  for (const auto& own : query.Run.Tables)
    if (own.get() == table) return true;
  return false;
}

void LinkTree(TDataQuery& outer, const TExpToken* node) {
  for (; node; node = node->Next) {
    if (node->Kind == nkSubSelect && node->NestedQuery)
      static_cast<TDataQuery*>(node->NestedQuery)->Plan.Outer = &outer;
    LinkTree(outer, node->First);
    LinkTree(outer, node->Second);
    LinkTree(outer, node->Third);
  }
}

// The query, this one or an enclosing one, whose table the name means: the
// nearest that has the column; a qualifier means the nearest table of
// that correlation name, whether or not it has the column.
const TDataQuery* VisibleOwner(const TDataQuery& query, const std::string& qualifier, const std::string& column,
                               TSourceTable*& table, uint16_t& fieldNo) {
  for (const TDataQuery* at = &query; at; at = at->Plan.Outer) {
    table = at->FindSourceTable(qualifier, column, fieldNo);
    if (table && fieldNo > 0) return at;
    if (table && !qualifier.empty()) break;
  }
  table = nullptr;
  fieldNo = 0;
  return nullptr;
}

// Marks the query correlated when one of the tree's columns belongs to an
// enclosing query, and the queries in between with it.
void MarkTree(TDataQuery& query, const TExpToken* node) {
  for (; node; node = node->Next) {
    if (node->Kind == nkColumn && !node->Name.empty() && node->Name != "*") {
      TSourceTable* table = nullptr;
      uint16_t fieldNo = 0;
      const TDataQuery* owner = VisibleOwner(query, node->CorrelationName, node->Name, table, fieldNo);
      if (owner && owner != &query)
        for (TDataQuery* between = &query; between != owner; between = between->Plan.Outer) {
          between->Plan.Correlated = true;
          between->Plan.OuterReferences.push_back({table, fieldNo});
        }
    }
    MarkTree(query, node->First);
    MarkTree(query, node->Second);
    MarkTree(query, node->Third);
  }
}

// The enclosing values the query read, as bytes.
std::string OuterKey(TDataQuery& query) {
  std::string key;
  TSourceColumnValues values(EvaluationLanguage(query));
  for (const TOuterReference& reference : query.Plan.OuterReferences) {
    TExpTreePtr value(NewToken());
    value->SourceTable = reference.Table;
    value->FieldNo = reference.FieldNo;
    TypeNodeFromField(reference.Table->Field(reference.FieldNo), *value);
    values.GetColumnValue(*value);
    const int32_t size = value->IsNull ? 0 : value->DataSize;
    key += value->IsNull ? 'N' : 'V';
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
    key.append(reinterpret_cast<const char*>(value->Value), size_t(size));
  }
  return key;
}

}  // namespace

void LinkNestedQueries(TQueryStatement& statement) {
  for (int i = 0; i < statement.QueryCount(); ++i) {
    TDataQuery& query = statement.QueryAt(i);
    for (const TJoinClause& join : query.Parsed.Condition.Joins) LinkTree(query, join.Condition.get());
    LinkTree(query, query.Parsed.Condition.Where.get());
    LinkTree(query, query.Parsed.Grouping.Having.get());
    for (const auto& value : query.Parsed.Change.Values) LinkTree(query, value->Tree.get());
  }
  for (int i = 1; i < statement.QueryCount(); ++i) {
    TDataQuery& query = statement.QueryAt(i);
    if (!query.Plan.Outer || query.Parsed.Kind != qkSelect) continue;
    for (const TJoinClause& join : query.Parsed.Condition.Joins) MarkTree(query, join.Condition.get());
    MarkTree(query, query.Parsed.Condition.Where.get());
  }
}

TSourceTable* FindVisibleSourceTable(const TDataQuery& query, const std::string& qualifier,
                                     const std::string& column, uint16_t& fieldNo) {
  TSourceTable* table = nullptr;
  VisibleOwner(query, qualifier, column, table, fieldNo);
  return table;
}

void BindOuterColumns(const TDataQuery& query, TExpToken* node) {
  for (; node; node = node->Next) {
    if (node->Kind == nkColumn && node->SourceTable && !IsOwnTable(query, BoundSourceTable(*node))) {
      // Only a correlated query reads enclosing tables, and only while
      // their rows stand.
      ORV_ASSERT(query.Plan.Correlated);
      TSourceColumnValues values(EvaluationLanguage(query));
      values.GetColumnValue(*node);
      node->Kind = nkConstant;
      node->SourceTable = nullptr;
      node->FieldNo = 0;
      continue;
    }
    BindOuterColumns(query, node->First);
    BindOuterColumns(query, node->Second);
    BindOuterColumns(query, node->Third);
  }
}

void RefreshCorrelated(TDataQuery& query) {
  if (query.Run.Executed && OuterKey(query) == query.Run.CorrelationKey) return;
  query.Execute();
  query.Run.CorrelationKey = OuterKey(query);
}
