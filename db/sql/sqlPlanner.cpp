#include "sqlPlanner.h"
#include "rtlStrUtils.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "engTableCursor.h"
#include "engErrorCodes.h"
#include "engExpEvalCondition.h"
#include "engExpTreeQueries.h"
#include "engExpTypeCheck.h"
#include "rtlAssert.h"
#include "sqlColumns.h"
#include "sqlCorrelation.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlJoinHash.h"
#include "sqlParser.h"
#include "sqlQuery.h"

namespace {

using TTableSet = std::set<TSourceTable*>;

// The node and everything below it (its own Next belongs to a list above).
void CollectTables(const TExpToken* node, TTableSet& tables) {
  if (!node) return;
  if (node->Kind == nkColumn && node->SourceTable) tables.insert(static_cast<TSourceTable*>(node->SourceTable));
  for (const TExpToken* child : {node->First, node->Second, node->Third})
    for (; child; child = child->Next) CollectTables(child, tables);
}

TTableSet TablesOf(const TExpToken* node) {
  TTableSet tables;
  CollectTables(node, tables);
  return tables;
}

bool HasSubSelect(const TExpToken* node) {
  if (!node) return false;
  if (node->Kind == nkSubSelect) return true;
  for (const TExpToken* child : {node->First, node->Second, node->Third})
    for (; child; child = child->Next)
      if (HasSubSelect(child)) return true;
  return false;
}

bool IsComparison(const TExpToken* node) {
  return (node->Kind == nkBinary || node->Kind == nkStringCompare) && node->Code >= opEqual &&
         node->Code <= opLessEqual && node->First && node->Second;
}

// The parts of an AND tree, each detached as a tree of its own.
void SplitConjuncts(TExpTreePtr tree, std::vector<TExpTreePtr>& parts) {
  if (!tree) return;
  if (tree->Kind == nkBinary && tree->Code == opAnd && tree->First && tree->Second) {
    TExpTreePtr left(tree->First), right(tree->Second);
    tree->First = tree->Second = nullptr;
    left->Parent = right->Parent = nullptr;
    SplitConjuncts(std::move(left), parts);
    SplitConjuncts(std::move(right), parts);
    return;
  }
  parts.push_back(std::move(tree));
}

TExpTreePtr AndTogether(TExpTreePtr left, TExpTreePtr right) {
  if (!left) return right;
  if (!right) return left;
  TExpTreePtr node(NewToken());
  node->Kind = nkBinary;
  node->Code = opAnd;
  node->Text = "AND";
  node->DataType = dtBoolean;
  node->SetDataSize(2);
  node->First = left.release();
  node->Second = right.release();
  node->First->Parent = node->Second->Parent = node.get();
  return node;
}

// One condition between two tables, oriented from Outer to Inner.
struct TJoinEdge {
  TSourceTable* Left;
  TSourceTable* Right;
  uint8_t Kind;  // jkInner or jkLeft (Left outer, Right inner)
  TExpTreePtr Condition;
};

void SwapOperands(TExpToken& comparison) {
  std::swap(comparison.First, comparison.Second);
  comparison.Code = MirroredComparison(comparison.Code);
}

// Comparisons written constant first are turned round, so that the index
// code finds the column on the left.
void PutColumnsFirst(TExpToken* node) {
  if (!node) return;
  if (node->Kind == nkBinary && (node->Code == opAnd || node->Code == opOr)) {
    PutColumnsFirst(node->First);
    PutColumnsFirst(node->Second);
    return;
  }
  if (node->Kind == nkUnary && node->Code == opNot) return PutColumnsFirst(node->First);
  if (IsComparison(node) && !ReferencesColumn(node->First) && ReferencesColumn(node->Second)) SwapOperands(*node);
}

// Whether an index that ignores case starts with the field.
bool HasNoCaseIndexOn(TTableCursor& cursor, uint16_t fieldNo) {
  const int secondaries = cursor.Fields().GetSecondaryIndexCount();
  for (int n = cursor.Fields().PrimaryIsNatural() ? 1 : 0; n <= secondaries; ++n) {
    const TIndexDefinition index = cursor.Fields().GetIndexDefinition(n);
    if (index.CaseInsensitive && index.StartsWith(fieldNo)) return true;
  }
  return false;
}

TExpToken* NewBooleanNode(uint8_t kind, uint8_t code, const char* text) {
  TExpToken* node = NewToken();
  node->Kind = kind;
  node->Code = code;
  node->Text = text;
  node->DataType = dtBoolean;
  node->SetDataSize(2);
  return node;
}

// column = 'text' on a column that an index ignoring case serves becomes
// UPPER(column) = 'TEXT' AND column = 'text': the first side is implied
// by the second, so the rows are the same, and the index finds them.
void AddNoCaseLeaves(TSourceTable& table, const TExpEvalContext& context, TExpToken*& slot) {
  TExpToken* node = slot;
  if (node->Kind == nkBinary && node->Code == opAnd) {
    AddNoCaseLeaves(table, context, node->First);
    AddNoCaseLeaves(table, context, node->Second);
    return;
  }
  const TExpToken* column = node->First;
  const TExpToken* constant = node->Second;
  if (node->Kind != nkBinary || node->Code != opEqual || !column || !constant || column->Kind != nkColumn ||
      column->DataType != dtString || constant->Kind != nkConstant || constant->DataType != dtString ||
      constant->IsNull || !HasNoCaseIndexOn(*table.Cursor, column->FieldNo))
    return;
  TExpTreePtr upper(NewToken());
  upper->Kind = nkFunction;
  upper->Code = fnUpper;
  upper->Text = "UPPER";
  upper->DataType = dtString;
  upper->SetDataSize(column->DataSize);
  upper->First = CloneTokenTree(column);
  upper->First->Parent = upper.get();
  TExpTreePtr upperConstant(NewToken());
  upperConstant->Kind = nkFunction;
  upperConstant->Code = fnUpper;
  upperConstant->DataType = dtString;
  upperConstant->SetDataSize(constant->DataSize);
  upperConstant->First = CloneTokenTree(constant);
  TExpTreePtr folded(EvaluateExpression(context, *upperConstant));
  folded->Kind = nkConstant;
  TExpTreePtr equal(NewBooleanNode(nkBinary, opEqual, "="));
  equal->First = upper.release();
  equal->Second = folded.release();
  equal->First->Parent = equal->Second->Parent = equal.get();
  TExpToken* both = NewBooleanNode(nkBinary, opAnd, "AND");
  both->Parent = node->Parent;
  both->First = equal.release();
  both->Second = node;
  both->First->Parent = node->Parent = both;
  slot = both;
}

// The condition copied for the table's filter; its texts move from the
// query's code page to the table's.
TExpToken* PrepareTableCondition(TDataQuery& query, TSourceTable& table, const TExpToken& condition) {
  TExpTreePtr copy(CloneTokenTree(&condition));
  PutColumnsFirst(copy.get());
  const uint16_t language = table.Cursor->Fields().LanguageId();
  ConvertTextConstants(copy.get(), EvaluationLanguage(query), language);
  const TFormatSettings settings = GetLocaleFormatSettings(language, table.Cursor->Fields().SortId());
  const TExpEvalContext context{nullptr, language, table.Cursor->Fields().SortId(), &settings};
  TExpToken* root = copy.release();
  AddNoCaseLeaves(table, context, root);
  copy.reset(root);
  return CopyConditionForTable(context, *copy, true, false);
}

void InstallTableFilter(TDataQuery& query, TSourceTable& table, const TExpToken& condition) {
  TExpTreePtr prepared(PrepareTableCondition(query, table, condition));
  TFilter* filter = table.Cursor->Filters().AddFilter(std::move(prepared));
  table.Cursor->Filters().ActivateFilter(filter);
  if (!filter->Active) RaiseSqlError("Internal table filter error");
  ++table.FilterCount;
}

class TPlanner {
public:
  explicit TPlanner(TDataQuery& query) : query(query) {}

  TJoinPlan Run() {
    TakeConditions();
    ClassifyEdges();
    ChooseRoot();
    BuildTree();
    PlaceSingleTableConditions();
    return std::move(plan);
  }

private:
  TDataQuery& query;
  // Conditions on one table: from an ON clause, or from WHERE.
  std::vector<std::pair<TSourceTable*, TExpTreePtr>> onSingle, whereSingle;
  std::vector<TJoinEdge> edges;
  TExpTreePtr rowWhere;
  TExpTreePtr rowJoins;
  TJoinPlan plan;
  std::set<TSourceTable*> leftTargets;
  // Tables that may be read into memory by key, with their one partner.
  std::map<TSourceTable*, TSourceTable*> hashPartners;
  TSourceTable* root = nullptr;
  bool singlesInstalled = false;

  // A qualifier must name a table of this query or of an enclosing one.
  void CheckCorrelationNames(const TExpToken* node) const {
    for (; node; node = node->Next) {
      if (node->Kind == nkColumn && !node->CorrelationName.empty()) {
        bool known = false;
        for (const TDataQuery* at = &query; at && !known; at = at->Parsed.Outer)
          for (const auto& table : at->Parsed.SourceTables)
            if (SameText(table->CorrelationName, node->CorrelationName)) known = true;
        if (!known)
          RaiseSqlError("Table correlation name '" + node->CorrelationName + "'" +
                        " referenced in WHERE clause is not defined in the FROM clause");
      }
      CheckCorrelationNames(node->First);
      CheckCorrelationNames(node->Second);
      CheckCorrelationNames(node->Third);
    }
  }

  TExpTreePtr Checked(const TExpToken& condition) {
    CheckCorrelationNames(&condition);
    TExpTreePtr copy(CloneTokenTree(&condition));
    TSourceColumnResolver resolver(query);
    TExpCheckContext check{EngErrSql, {}, WhereContext, &resolver, SourceFormatSettings(query)};
    TypeCheckExpression(check, true, nullptr, copy.get());
    if (copy->DataType != dtBoolean) RaiseSqlError("WHERE or JOIN clause must be a boolean expression");
    ConvertTextConstants(copy.get(), EvaluationLanguage(query));
    if (query.Parsed.Correlated) BindOuterColumns(query, copy.get());
    return copy;
  }

  void Take(TExpTreePtr condition, uint8_t kind, bool fromJoin) {
    std::vector<TExpTreePtr> parts;
    SplitConjuncts(std::move(condition), parts);
    for (TExpTreePtr& part : parts) {
      const TTableSet tables = TablesOf(part.get());
      if (tables.size() == 1 && !HasSubSelect(part.get())) {
        (fromJoin ? onSingle : whereSingle).emplace_back(*tables.begin(), std::move(part));
        continue;
      }
      // A condition on no column holds for every row or for none: the first
      // table's filter decides it, also for a live result.
      if (tables.empty() && !HasSubSelect(part.get())) {
        whereSingle.emplace_back(query.Parsed.SourceTables.front().get(), std::move(part));
        continue;
      }
      if (tables.size() >= 2 && IsComparison(part.get()) && ReferencesColumn(part->First) &&
          ReferencesColumn(part->Second)) {
        const TTableSet left = TablesOf(part->First), right = TablesOf(part->Second);
        if (left.size() != 1 || right.size() != 1)
          RaiseSqlError(
              "The join condition cannot contain multiple table correlation names in either the left or right "
              "operand in WHERE or JOIN clause");
        if (*left.begin() != *right.begin() && !HasSubSelect(part.get())) {
          TJoinEdge edge{*left.begin(), *right.begin(), kind == jkLeft ? jkLeft : jkInner, std::move(part)};
          edges.push_back(std::move(edge));
          continue;
        }
      }
      rowWhere = AndTogether(std::move(rowWhere), std::move(part));
    }
  }

  void TakeConditions() {
    for (const TJoinClause& clause : query.Parsed.JoinClauses) {
      TExpTreePtr checked = Checked(*clause.Condition);
      Take(std::move(checked), clause.Kind == jkRight ? uint8_t(jkLeft) : clause.Kind, true);
    }
    if (query.Parsed.Where) Take(Checked(*query.Parsed.Where), jkInner, false);
  }

  // A left join's outer table is the one listed first: the table of the
  // JOIN clause is the inner one, and a right-joined table was put first.
  void ClassifyEdges() {
    for (TJoinEdge& edge : edges) {
      if (edge.Kind != jkLeft) continue;
      if (PositionInList(edge.Left) > PositionInList(edge.Right)) {
        std::swap(edge.Left, edge.Right);
        SwapOperands(*edge.Condition);
      }
    }
    for (TJoinEdge& edge : edges)
      if (edge.Kind == jkLeft) leftTargets.insert(edge.Right);
    for (TSourceTable* target : leftTargets) {
      std::set<TSourceTable*> partners;
      for (const TJoinEdge& edge : edges)
        if (edge.Left == target || edge.Right == target) partners.insert(edge.Left == target ? edge.Right : edge.Left);
      if (partners.size() > 1)
        RaiseSqlError("Internal join error - table correlation name \"" + target->CorrelationName + "\"" +
                      " is target of multiple " + "join conditions in WHERE or JOIN clause");
    }
  }

  size_t PositionInList(const TSourceTable* table) const {
    for (size_t i = 0; i < query.Parsed.SourceTables.size(); ++i)
      if (query.Parsed.SourceTables[i].get() == table) return i;
    return 0;
  }

  // The tables a walk from start reaches along the conditions: inner ones
  // either way, left ones only from their outer table.
  std::set<TSourceTable*> Reach(TSourceTable* start) const {
    std::set<TSourceTable*> seen{start};
    std::deque<TSourceTable*> queue{start};
    while (!queue.empty()) {
      TSourceTable* at = queue.front();
      queue.pop_front();
      for (const TJoinEdge& edge : edges) {
        TSourceTable* next = nullptr;
        if (edge.Left == at) next = edge.Right;
        if (edge.Right == at && edge.Kind == jkInner) next = edge.Left;
        if (next && seen.insert(next).second) queue.push_back(next);
      }
    }
    return seen;
  }

  // One filter per table: its conditions ANDed.
  void InstallSingles() {
    std::map<TSourceTable*, TExpTreePtr> combined;
    for (auto& [table, condition] : onSingle)
      combined[table] = AndTogether(std::move(combined[table]), TExpTreePtr(CloneTokenTree(condition.get())));
    for (auto& [table, condition] : whereSingle)
      if (!leftTargets.count(table))
        combined[table] = AndTogether(std::move(combined[table]), TExpTreePtr(CloneTokenTree(condition.get())));
    for (auto& [table, condition] : combined) InstallTableFilter(query, *table, *condition);
    singlesInstalled = true;
  }

  // The table's one partner when the table may be read into memory by key
  // as the partner's inner table: an inner join only, every condition to
  // it an "=" that keys (sqlJoinHash.h), few records after its filters.
  TSourceTable* HashPartner(TSourceTable* table) const {
    if (leftTargets.count(table)) return nullptr;
    const uint16_t language = EvaluationLanguage(query);
    TSourceTable* partner = nullptr;
    for (const TJoinEdge& edge : edges) {
      if (edge.Left != table && edge.Right != table) continue;
      TSourceTable* other = edge.Left == table ? edge.Right : edge.Left;
      if ((partner && partner != other) || edge.Kind != jkInner ||
          !CanKeyComparison(*edge.Condition, *table, edge.Left == table, language))
        return nullptr;
      partner = other;
    }
    if (!partner || table->Cursor->GetRecordCount() > MaxHashedRows) return nullptr;
    return partner;
  }

  bool MayDrive(TSourceTable* table, const std::set<TSourceTable*>& wanted) const {
    if (leftTargets.count(table) || !wanted.count(table)) return false;
    const std::set<TSourceTable*> reached = Reach(table);
    return std::includes(reached.begin(), reached.end(), wanted.begin(), wanted.end());
  }

  // The smallest restricted table drives, when it is allowed to: it is no
  // left join's inner table and reaches every table the first one reaches.
  // A table read into memory by key does not drive when its partner is big:
  // the partner is read once in sequence instead of in pieces per key.
  void ChooseRoot() {
    root = query.Parsed.SourceTables.front().get();
    if (query.Parsed.SourceTables.size() < 2 || query.Parsed.NoJoinOptimize) return;
    InstallSingles();
    for (const auto& owned : query.Parsed.SourceTables)
      if (TSourceTable* partner = HashPartner(owned.get())) hashPartners[owned.get()] = partner;
    auto keyedBeside = [this](TSourceTable* table) {
      const auto found = hashPartners.find(table);
      return found != hashPartners.end() && found->second->Cursor->GetRecordCount() >= MinHashDriverRows;
    };
    const std::set<TSourceTable*> wanted = Reach(root);
    int32_t best = root->Cursor->GetRecordCount();
    for (const auto& owned : query.Parsed.SourceTables) {
      TSourceTable* table = owned.get();
      if (table == root || keyedBeside(table)) continue;
      const int32_t count = table->Cursor->GetRecordCount();
      if (count >= best || !MayDrive(table, wanted)) continue;
      best = count;
      root = table;
    }
    if (keyedBeside(root) && MayDrive(hashPartners[root], wanted)) root = hashPartners[root];
  }

  TTableJoin& JoinTo(TSourceTable* from, TSourceTable* to, uint8_t kind) {
    for (auto& join : from->Joins)
      if (join->Target == to) return *join;
    auto join = std::make_unique<TTableJoin>();
    join->Kind = kind;
    join->Target = to;
    to->JoinedFrom = from;
    to->JoinedKind = kind;
    from->Joins.push_back(std::move(join));
    return *from->Joins.back();
  }

  // Breadth first from the root; a condition between two tables already
  // joined would close a cycle and is tested row by row instead.
  void BuildTree() {
    for (const auto& table : query.Parsed.SourceTables) {
      table->Joins.clear();
      table->JoinedFrom = nullptr;
      table->JoinedKind = jkNone;
    }
    std::set<TSourceTable*> placed{root};
    std::vector<TSourceTable*> order{root};
    std::vector<bool> used(edges.size(), false);
    for (size_t at = 0; at < order.size(); ++at) {
      TSourceTable* outer = order[at];
      for (size_t e = 0; e < edges.size(); ++e) {
        TJoinEdge& edge = edges[e];
        if (used[e]) continue;
        TSourceTable* inner = nullptr;
        if (edge.Left == outer) {
          inner = edge.Right;
        } else if (edge.Right == outer && edge.Kind == jkInner) {
          inner = edge.Left;
          SwapOperands(*edge.Condition);
          std::swap(edge.Left, edge.Right);
        }
        if (!inner) continue;
        used[e] = true;
        if (placed.count(inner) && inner->JoinedFrom != outer) {
          rowWhere = AndTogether(std::move(rowWhere), std::move(edge.Condition));
          continue;
        }
        // The inner table's side goes first: it is what its filter tests.
        SwapOperands(*edge.Condition);
        TTableJoin& join = JoinTo(outer, inner, edge.Kind);
        if (join.Kind == jkNone) join.Kind = edge.Kind;
        join.Hashed = hashPartners.count(inner) > 0 && hashPartners[inner] == outer;
        join.Condition = AndTogether(std::move(join.Condition), std::move(edge.Condition));
        if (placed.insert(inner).second) order.push_back(inner);
      }
    }
    // Conditions no walk reached (both tables placed through others).
    for (size_t e = 0; e < edges.size(); ++e)
      if (!used[e]) rowWhere = AndTogether(std::move(rowWhere), std::move(edges[e].Condition));
    // Tables without a condition to the others pair with every row.
    for (const auto& owned : query.Parsed.SourceTables) {
      if (placed.count(owned.get())) continue;
      JoinTo(order.back(), owned.get(), jkNone);
      placed.insert(owned.get());
      order.push_back(owned.get());
    }
    // Nesting order: depth first, so that a table's subtree follows it.
    plan.NestingOrder.clear();
    std::function<void(TSourceTable*)> visit = [&](TSourceTable* table) {
      plan.NestingOrder.push_back(table);
      for (const auto& join : table->Joins) visit(join->Target);
    };
    visit(root);
    // Every table is placed once: the nested loops read each exactly once.
    ORV_ASSERT(plan.NestingOrder.size() == query.Parsed.SourceTables.size());
  }

  void PlaceSingleTableConditions() {
    if (!singlesInstalled) InstallSingles();
    // A WHERE condition on a left join's inner table tests the joined row,
    // so that an unmatched row is judged on its blank fields.
    for (auto& [table, condition] : whereSingle)
      if (leftTargets.count(table)) rowJoins = AndTogether(std::move(rowJoins), std::move(condition));
    plan.RowWhere = std::move(rowWhere);
    plan.RowJoins = std::move(rowJoins);
  }
};

// The join's condition with the outer tables' current values in place:
// each comparison's outer side (its second operand) is evaluated.
TExpTreePtr BindJoin(TDataQuery& query, TSourceTable& target, const TExpToken& condition) {
  TExpTreePtr bound(CloneTokenTree(&condition));
  std::function<void(TExpToken*)> bind = [&](TExpToken* node) {
    if (node->Kind == nkBinary && node->Code == opAnd) {
      bind(node->First);
      bind(node->Second);
      return;
    }
    TSourceColumnValues columns(EvaluationLanguage(query));
    TExpEvalContext context = SourceEvalContext(query, &columns);
    TExpTreePtr value(EvaluateExpression(context, *node->Second));
    value->Kind = nkConstant;
    value->Parent = node;
    TExpToken* old = node->Second;
    node->Second = value.release();
    FreeTokenTree(old);
  };
  bind(bound.get());
  return TExpTreePtr(PrepareTableCondition(query, target, *bound));
}

void BindAndInstall(TDataQuery& query, TTableJoin& join) {
  TSourceTable& target = *join.Target;
  TExpTreePtr bound = BindJoin(query, target, *join.Condition);
  if (!join.Filter) {
    join.Filter = target.Cursor->Filters().AddFilter(std::move(bound));
    target.Cursor->Filters().ActivateFilter(join.Filter);
  } else {
    target.Cursor->Filters().UpdateFilter(bound.get(), join.Filter);
    bound.release();
  }
}

}  // namespace

void ClearPlan(TDataQuery& query) {
  for (const auto& table : query.Parsed.SourceTables) {
    if (table->Cursor && table->Cursor->IsOpen() && (table->FilterCount > 0 || !table->Joins.empty() || table->JoinedFrom))
      table->Cursor->Filters().DropFilter(nullptr);
    table->FilterCount = 0;
    table->Joins.clear();
    table->JoinedFrom = nullptr;
    table->JoinedKind = jkNone;
  }
  query.Plan.Joins = {};
}

TJoinPlan PlanConditions(TDataQuery& query) {
  ClearPlan(query);
  return TPlanner(query).Run();
}

bool RowPasses(TDataQuery& query) {
  if (!query.Plan.Joins.RowWhere && !query.Plan.Joins.RowJoins) return true;
  TSourceColumnValues columns(EvaluationLanguage(query));
  const TExpEvalContext context = SourceEvalContext(query, &columns);
  for (const TExpToken* condition : {query.Plan.Joins.RowWhere.get(), query.Plan.Joins.RowJoins.get()}) {
    if (!condition) continue;
    TExpTreePtr value(EvaluateExpression(context, *condition));
    if (value->IsNull || !value->AsBoolean()) return false;
  }
  return true;
}

namespace {

// The tables after index that belong to the subtree of the table there.
size_t SubtreeEnd(const std::vector<TSourceTable*>& order, size_t index) {
  size_t end = index + 1;
  while (end < order.size()) {
    const TSourceTable* up = order[end]->JoinedFrom;
    while (up && up != order[index]) up = up->JoinedFrom;
    if (!up) break;
    ++end;
  }
  return end;
}

class TNestedLoop {
public:
  TNestedLoop(TDataQuery& query, const std::function<bool()>& row)
      : query(query), order(query.Plan.Joins.NestingOrder), row(row) {}

  bool Loop(size_t index) {
    if (index >= order.size()) return row();
    TSourceTable& table = *order[index];
    TTableJoin* join = nullptr;
    if (table.JoinedFrom)
      for (auto& candidate : table.JoinedFrom->Joins)
        if (candidate->Target == &table) join = candidate.get();
    // A table below the driving one hangs from the join that placed it.
    ORV_ASSERT(!table.JoinedFrom || join);
    // A table read into memory gives the rows of the outer row's key; an
    // outer row with a NULL key takes the filter below.
    std::string key;
    if (join && join->Hash && OuterJoinKey(query, *join->Condition, key)) {
      const auto [first, last] = join->Hash->Rows.equal_range(key);
      for (auto row = first; row != last; ++row) {
        std::memcpy(table.Record.data(), row->second.data(), table.Record.size());
        table.HasRow = true;
        if (!Loop(index + 1)) return false;
      }
      return true;
    }
    if (join && join->Kind != jkNone && join->Condition) BindAndInstall(query, *join);
    TTableCursor& cursor = *table.Cursor;
    cursor.SetToBegin();
    bool matched = false;
    while (cursor.GetNextRecord(table.Record.data()) == 0) {
      matched = true;
      table.HasRow = true;
      if (!Loop(index + 1)) return false;
    }
    if (!matched && join && join->Kind == jkLeft) {
      const size_t end = SubtreeEnd(order, index);
      for (size_t i = index; i < end; ++i) order[i]->HasRow = false;
      return Loop(end);
    }
    return true;
  }

private:
  TDataQuery& query;
  const std::vector<TSourceTable*>& order;
  const std::function<bool()>& row;
};

}  // namespace

void ForEachJoinedRow(TDataQuery& query, const std::function<bool()>& row) {
  if (query.Plan.Joins.NestingOrder.empty()) return;
  // Read before any join filter restricts the tables.
  for (TSourceTable* table : query.Plan.Joins.NestingOrder)
    if (table->JoinedFrom)
      for (auto& join : table->JoinedFrom->Joins)
        if (join->Target == table && join->Hashed && !join->Hash)
          join->Hash = BuildJoinHash(query, *table, *join->Condition);
  TNestedLoop(query, row).Loop(0);
}
