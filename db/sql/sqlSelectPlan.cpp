// The plan of a SELECT: what preparation decides from the parsed text and
// the source tables' definitions, as a value. The run (sqlSelect.cpp)
// installs it on the cursors and makes the answer table.

#include "sqlSelectPlan.h"

#include <algorithm>
#include <set>

#include "engTableCursor.h"
#include "engErrorCodes.h"
#include "engExpEvalCondition.h"
#include "engExpTypeCheck.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "sqlColumns.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlResultColumns.h"
#include "sqlStatement.h"

namespace {

// The result column an ORDER BY or GROUP BY item names; 0 when none.
int FindResultColumn(const TQueryPlan& plan, const TColumnItem& item) {
  if (item.ColumnNo > 0) return item.ColumnNo <= plan.ResultFields.size() ? item.ColumnNo : 0;
  for (const auto& column : plan.ResultFields) {
    if (!item.Qualifier.empty()) {
      if (SameText(column->SourceQualifier, item.Qualifier) &&
          (SameText(column->SourceName, item.Name) || SameText(column->Name, item.Name)))
        return column->FieldNo;
    } else if (SameText(column->Name, item.Name)) {
      return column->FieldNo;
    }
  }
  if (item.Qualifier.empty())
    for (const auto& column : plan.ResultFields)
      if (!column->Computed && SameText(column->SourceName, item.Name)) return column->FieldNo;
  return 0;
}

void ResolveItems(const TQueryPlan& plan, std::vector<TColumnItem>& items, const std::string& clause) {
  for (TColumnItem& item : items) {
    const int found = FindResultColumn(plan, item);
    if (found == 0) {
      if (item.ColumnNo > 0)
        RaiseSqlError("Invalid column number '" + std::to_string(item.ColumnNo) + "'" + " specified in " + clause);
      RaiseInvalidColumn(item.Name, item.Qualifier, clause);
    }
    // COUNT is an integer whatever it counts: only a BLOB result is refused.
    if (ResultFieldType(*plan.ResultFields[size_t(found - 1)]) == dtBlob) {
      if (item.ColumnNo > 0)
        RaiseSqlError("Invalid column number '" + std::to_string(item.ColumnNo) + "'" + " specified in " + clause);
      RaiseSqlError("Invalid BLOB column '" + item.Name + "'" + " specified in " + clause);
    }
    item.ColumnNo = uint16_t(found);
  }
}

// HAVING's references that stand for an aggregate, already bound to the
// result column that computes it.
using TBoundAggregates = std::set<const TExpToken*>;

// Resolves HAVING's names against the result columns.
class TResultColumnResolver final : public TExpColumnResolver {
public:
  TResultColumnResolver(const TQueryPlan& plan, const TBoundAggregates& aggregates)
      : plan(plan), aggregates(aggregates) {}
  bool ResolveColumn(TExpToken& node) override {
    TColumnItem item;
    item.Name = node.Name;
    item.Qualifier = node.CorrelationName;
    const int found = aggregates.contains(&node) ? node.FieldNo : FindResultColumn(plan, item);
    if (found == 0) return false;
    const TResultField& column = *plan.ResultFields[size_t(found - 1)];
    node.FieldNo = uint16_t(found);
    node.SourceTable = nullptr;
    node.DataType = ResultFieldType(column);
    node.SubType = node.DataType == column.DataType ? column.SubType : uint8_t(stNone);
    node.SetDataSize(node.DataType == dtFloat || node.DataType == dtTimeStamp ? 8 : column.Size);
    if (node.DataType == dtInteger) node.SetDataSize(4);
    node.Scale = column.Scale;
    return true;
  }

private:
  const TQueryPlan& plan;
  const TBoundAggregates& aggregates;
};

// Each aggregate of HAVING becomes a reference to the result column that
// computes the same.
void ReplaceHavingAggregates(const TQueryPlan& plan, TExpToken* node, TBoundAggregates& replaced) {
  for (; node; node = node->Next) {
    if (node->Kind == nkFunction && node->Code >= fnSum && node->Code <= fnAvg) {
      static constexpr uint8_t Kinds[] = {agSum, agCount, agMin, agMax, agAvg};
      const uint8_t aggregate = Kinds[node->Code - fnSum];
      const bool star = node->First && node->First->Kind == nkColumn && node->First->Name == "*";
      int found = 0;
      for (const auto& column : plan.ResultFields) {
        if (column->Aggregate != aggregate) continue;
        if (star ? column->CountStar : (column->Parsed && TokenTreesEqual(column->Parsed.get(), node->First))) {
          found = column->FieldNo;
          break;
        }
      }
      if (found == 0) RaiseSqlError("Expression in HAVING clause not found in source columns");
      TExpToken* argument = node->First;
      node->First = nullptr;
      FreeTokenTree(argument);
      node->Kind = nkColumn;
      node->Code = 0;
      node->FieldNo = uint16_t(found);
      // Bound to that result column already: the resolver takes it as it is.
      replaced.insert(node);
      node->Name = plan.ResultFields[size_t(found - 1)]->Name;
      continue;
    }
    ReplaceHavingAggregates(plan, node->First, replaced);
    ReplaceHavingAggregates(plan, node->Second, replaced);
    ReplaceHavingAggregates(plan, node->Third, replaced);
  }
}

// The index whose fields, directions and case serve the ORDER BY; -1 when
// none does.
int FindOrderIndex(const TDataQuery& query, const TQueryPlan& plan, const TSourceTable& table) {
  std::vector<std::pair<uint16_t, bool>> wanted;
  bool text = false;
  for (const TColumnItem& item : query.Parsed.Ordering.Items) {
    const int found = FindResultColumn(plan, item);
    if (found == 0) return -1;
    const TResultField& column = *plan.ResultFields[size_t(found - 1)];
    if (column.Computed || column.Aggregate != agNone || column.Source != int(table.Place)) return -1;
    wanted.emplace_back(column.SourceFieldNo, item.Descending);
    text = text || column.DataType == dtString;
  }
  TTableCursor& cursor = *table.Cursor;
  const int secondaries = cursor.Fields().GetSecondaryIndexCount();
  for (int n = cursor.Fields().PrimaryIsNatural() ? 1 : 0; n <= secondaries; ++n) {
    const TIndexDefinition index = cursor.Fields().GetIndexDefinition(n);
    if (index.FieldNumbers.size() != wanted.size()) continue;
    bool fits = !text || index.CaseInsensitive == query.Parsed.Ordering.NoCase;
    for (size_t i = 0; fits && i < wanted.size(); ++i)
      fits = index.FieldNumbers[i] == wanted[i].first && index.KeyDescending(i) == wanted[i].second;
    if (fits) return n;
  }
  return -1;
}

// The index whose order is a canned answer's ORDER BY, ties included; -1
// when none is. The answer's sort builds each row's key from the answer's
// copy of the field by the rules an index key is built by (engine key
// encoding: null byte, then the value's order bytes, directions per field,
// the answer's language and case rule), and orders equal keys by the
// answer's row numbers, that is, in the order the rows were filled. So an
// index serves when its leading fields are the ORDER BY's, each in its
// direction, under the answer's language and sort, with the case rule of
// the ORDER BY when a text is ordered, and each ordered field reaches the
// answer as stored (its type and size unchanged). Equal keys the index
// holds by row number, or by fields after the ordered ones; the walk
// proves they come as a natural-order fill gives them, or falls back
// (sqlPlanner.h). A whole-index descending order reverses the row numbers
// too, so it never gives the ties as the fill does.
int FindCannedOrderIndex(const TDataQuery& query, const TQueryPlan& plan, const TSourceTable& table) {
  const TParsedQuery& parsed = query.Parsed;
  if (parsed.Sources.Tables.size() != 1 || plan.Grouping || plan.Distinct || parsed.Grouping.Having ||
      parsed.Target.Into || parsed.Nested || !parsed.Ordering.Given())
    return -1;
  TTableCursor& cursor = *table.Cursor;
  if (plan.LanguageId != cursor.Fields().LanguageId() || plan.SortId != cursor.Fields().SortId()) return -1;
  std::vector<std::pair<uint16_t, bool>> wanted;
  bool text = false;
  for (const TColumnItem& item : parsed.Ordering.Items) {
    const int found = FindResultColumn(plan, item);
    if (found == 0) return -1;
    const TResultField& column = *plan.ResultFields[size_t(found - 1)];
    if (column.Computed || column.Aggregate != agNone || column.CountStar || column.Source != int(table.Place))
      return -1;
    const TFieldDefinition& field = table.Field(column.SourceFieldNo);
    // The answer's field as AnswerFields makes it: the source's type, a
    // text of the source's size; BCD's and the row number's keys are
    // made from other bytes than the answer's copy holds.
    const uint8_t type = ResultFieldType(column);
    if (field.IsBlob() || field.IsAutoInc() || type != field.Type || type == dtBcd) return -1;
    if (type == dtString && uint8_t(std::clamp(column.Size - 1, 1, 250)) != field.DeclaredSize) return -1;
    wanted.emplace_back(column.SourceFieldNo, item.Descending);
    text = text || type == dtString;
  }
  int best = -1;
  size_t bestLength = 0;
  const int secondaries = cursor.Fields().GetSecondaryIndexCount();
  for (int n = cursor.Fields().PrimaryIsNatural() ? 1 : 0; n <= secondaries; ++n) {
    const TIndexDefinition index = cursor.Fields().GetIndexDefinition(n);
    if (index.Descending || index.FieldNumbers.size() < wanted.size()) continue;
    bool fits = !text || index.CaseInsensitive == parsed.Ordering.NoCase;
    for (size_t i = 0; fits && i < wanted.size(); ++i)
      fits = index.FieldNumbers[i] == wanted[i].first && index.KeyDescending(i) == wanted[i].second;
    // The shortest: fewer fields after the ordered ones, fewer ties to prove.
    if (fits && (best < 0 || index.FieldNumbers.size() < bestLength)) {
      best = n;
      bestLength = index.FieldNumbers.size();
    }
  }
  return best;
}

}  // namespace

TQueryPlan PlanSelect(const TDataQuery& query) {
  const TParsedQuery& parsed = query.Parsed;
  TQueryPlan plan;
  // Where the query stands among the statement's queries was settled when
  // the statement linked them (sqlCorrelation.h).
  plan.Outer = query.Plan.Outer;
  plan.Correlated = query.Plan.Correlated;
  plan.OuterReferences = query.Plan.OuterReferences;
  plan.Grouping = parsed.Grouping.Given();
  plan.Distinct = parsed.Select.Distinct && !parsed.Grouping.Given();
  const TSourceTable& first = *query.Run.Tables.front();
  const uint16_t firstLanguage = first.Cursor->Fields().LanguageId();
  const TParsedOptions& options = parsed.Options;
  plan.LanguageId = options.HasLanguage ? options.LanguageId : firstLanguage;
  plan.SortId = options.HasSort || options.HasLanguage ? options.SortId : first.Cursor->Fields().SortId();
  ResolveResultColumns(query, plan);
  NameResultColumns(plan);
  for (auto& column : plan.ResultFields) ConvertTextConstants(column->Tree.get(), firstLanguage);
  if (!plan.Grouping && parsed.Grouping.Having)
    RaiseSqlError("A GROUP BY clause must exist in order to use the HAVING clause");
  if (!plan.Grouping && std::all_of(plan.ResultFields.begin(), plan.ResultFields.end(),
                                      [](const auto& column) { return column->Aggregate != agNone; })) {
    plan.AggregatesOnly = true;
    plan.Grouping = true;
  }
  const bool single = parsed.Sources.Tables.size() == 1;
  plan.FastCount = single && plan.ResultFields.size() == 1 && plan.ResultFields.front()->CountStar;
  int orderIndex = -1;
  if (parsed.LiveRequested && single)
    orderIndex = parsed.Ordering.Given() ? FindOrderIndex(query, plan, first) : int(NoResultIndex);
  // Nested queries are always answer tables: the expression engine filters
  // them by value, whatever their source.
  // A computed memo has no room in a record (a BLOB field holds only a
  // reference), so a result that computes one is canned.
  const bool computesBlob = std::any_of(plan.ResultFields.begin(), plan.ResultFields.end(), [](const auto& column) {
    return column->Computed && column->DataType == dtBlob;
  });
  plan.Live = parsed.LiveRequested && !parsed.Target.Into && !plan.Distinct && single && !plan.Grouping &&
              !parsed.Grouping.Having && orderIndex >= 0 && !parsed.Nested && query.Statement.QueryCount() == 1 &&
              !computesBlob;
  if (plan.Live) {
    plan.ResultIndex = uint8_t(orderIndex);
    return plan;
  }
  // Canned.
  uint16_t hidden = uint16_t(plan.ResultFields.size());
  for (auto& column : plan.ResultFields)
    if (column->Aggregate == agAvg) column->AvgCountFieldNo = ++hidden;
  if (parsed.Ordering.Items.size() > size_t(MaxResultColumns))
    RaiseSqlError("Maximum number of columns (" + std::to_string(MaxResultColumns) + ") in ORDER BY clause " + "exceeded");
  if (parsed.Grouping.Items.size() > size_t(MaxResultColumns))
    RaiseSqlError("Maximum number of columns (" + std::to_string(MaxResultColumns) + ") in GROUP BY clause " + "exceeded");
  plan.OrderBy = parsed.Ordering.Items;
  ResolveItems(plan, plan.OrderBy, "ORDER BY clause");
  if (const int index = FindCannedOrderIndex(query, plan, first); index >= 0) plan.OrderIndex = uint8_t(index);
  plan.GroupBy = parsed.Grouping.Items;
  if (!plan.AggregatesOnly) ResolveItems(plan, plan.GroupBy, "GROUP BY clause");
  if (plan.Distinct) {
    if (plan.ResultFields.size() > size_t(MaxResultColumns))
      RaiseSqlError("Maximum number of columns (" + std::to_string(MaxResultColumns) + ") in DISTINCT clause " + "exceeded");
    for (const auto& column : plan.ResultFields)
      if (ResultFieldType(*column) == dtBlob)
        RaiseSqlError("Invalid BLOB column '" + column->Name + "'" + " specified in DISTINCT clause");
  }
  if (parsed.Grouping.Having) {
    plan.HavingChecked.reset(CloneTokenTree(parsed.Grouping.Having.get()));
    TBoundAggregates aggregates;
    ReplaceHavingAggregates(plan, plan.HavingChecked.get(), aggregates);
    TResultColumnResolver resolver(plan, aggregates);
    TExpCheckContext check{EngErrSql, {}, "HAVING clause", &resolver, &SourceFormatSettings(query)};
    TypeCheckExpression(check, true, nullptr, plan.HavingChecked.get());
    if (plan.HavingChecked->DataType != dtBoolean) RaiseSqlError("HAVING clause must be a boolean expression");
    // It reads the answer's rows, in the answer's code page.
    ConvertTextConstants(plan.HavingChecked.get(), plan.LanguageId);
  }
  // The grouping and distinct sorts are ascending and compare text with
  // case: they give an ORDER BY of the same columns only under those rules.
  const bool allAscending =
      !parsed.Ordering.NoCase && std::none_of(plan.OrderBy.begin(), plan.OrderBy.end(),
                                              [](const TColumnItem& item) { return item.Descending; });
  if (parsed.Ordering.Given() && !plan.GroupBy.empty() && plan.OrderBy.size() == plan.GroupBy.size() &&
      allAscending) {
    plan.OrderGiven = true;
    for (size_t i = 0; i < plan.OrderBy.size(); ++i)
      plan.OrderGiven = plan.OrderGiven && plan.OrderBy[i].ColumnNo == plan.GroupBy[i].ColumnNo;
  } else if (parsed.Ordering.Given() && plan.Distinct && plan.OrderBy.size() == plan.ResultFields.size() &&
             allAscending) {
    plan.OrderGiven = true;
    for (size_t i = 0; i < plan.OrderBy.size(); ++i)
      plan.OrderGiven = plan.OrderGiven && plan.OrderBy[i].ColumnNo == i + 1;
  }
  return plan;
}
