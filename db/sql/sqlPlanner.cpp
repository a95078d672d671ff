#include "sqlPlanner.h"
#include "rtlStrUtils.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "engTableCursor.h"
#include "engErrorCodes.h"
#include "engExpEvalCondition.h"
#include "engExpTreeQueries.h"
#include "engExpTypeCheck.h"
#include "engExpTypes.h"
#include "rtlAssert.h"
#include "sqlColumns.h"
#include "sqlCorrelation.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlJoinHash.h"
#include "sqlParser.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

using TTableSet = std::set<TSourceTable*>;

// The node and everything below it (its own Next belongs to a list above).
void CollectTables(const TExpToken* node, TTableSet& tables) {
  if (!node) return;
  if (node->Kind == nkColumn && node->SourceTable) tables.insert(BoundSourceTable(*node));
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

// The condition, the caller's own, made the table's filter's; its texts
// move from the query's code page to the table's.
TExpToken* PrepareTableCondition(const TDataQuery& query, TSourceTable& table, TExpTreePtr condition) {
  TExpTreePtr copy = std::move(condition);
  PutColumnsFirst(copy.get());
  const uint16_t language = table.Cursor->Fields().LanguageId();
  ConvertTextConstants(copy.get(), EvaluationLanguage(query), language);
  const TFormatSettings& settings = GetLocaleFormatSettings(language, table.Cursor->Fields().SortId());
  const TExpEvalContext context{nullptr, language, table.Cursor->Fields().SortId(), &settings};
  TExpToken* root = copy.release();
  AddNoCaseLeaves(table, context, root);
  return ConvertConditionForTable(context, TExpTreePtr(root), true, false);
}

// Whether the choice of the driving table weighs the tables' rows: only
// when there is a choice and the statement leaves it to the planner.
bool WeighsRows(const TDataQuery& query) {
  return query.Parsed.Sources.Tables.size() >= 2 && !query.Parsed.Sources.NoJoinOptimize;
}

}  // namespace

struct TConditionPlanner::TSplit {
  // Conditions on one table: from an ON clause, or from WHERE.
  std::vector<std::pair<TSourceTable*, TExpTreePtr>> onSingle, whereSingle;
  std::vector<TJoinEdge> edges;
  TExpTreePtr rowWhere;
  std::set<TSourceTable*> leftTargets;
  std::vector<TTableFilterPlan> tableFilters;
};

namespace {

// The planner's decisions, read from the query and the tables' definitions;
// the cursors' rows and filters are none of its business.
class TPlanning {
public:
  TPlanning(const TDataQuery& query, TConditionPlanner::TSplit& split) : query(query), split(split) {}

  void Split() {
    TakeConditions();
    ClassifyEdges();
    DecideTableFilters();
  }

  TJoinPlan DecideJoins(const TTableRows& rows) {
    ChooseRoot(rows);
    BuildTree();
    // A WHERE condition on a left join's inner table tests the joined row,
    // so that an unmatched row is judged on its blank fields.
    TExpTreePtr rowJoins;
    for (auto& [table, condition] : split.whereSingle)
      if (split.leftTargets.count(table)) rowJoins = AndTogether(std::move(rowJoins), std::move(condition));
    plan.RowWhere = std::move(split.rowWhere);
    plan.RowJoins = std::move(rowJoins);
    return std::move(plan);
  }

private:
  // A table's place in the tree being built.
  struct TNode {
    TSourceTable* From = nullptr;
    uint8_t Kind = jkNone;
    TExpTreePtr Condition;
    bool Hashed = false;
    std::vector<TSourceTable*> Children;
  };

  const TDataQuery& query;
  TConditionPlanner::TSplit& split;
  TJoinPlan plan;
  // Tables that may be read into memory by key, with their one partner.
  std::map<TSourceTable*, TSourceTable*> hashPartners;
  std::map<TSourceTable*, TNode> nodes;
  TSourceTable* root = nullptr;

  // A qualifier must name a table of this query or of an enclosing one.
  void CheckCorrelationNames(const TExpToken* node) const {
    for (; node; node = node->Next) {
      if (node->Kind == nkColumn && !node->CorrelationName.empty()) {
        bool known = false;
        for (const TDataQuery* at = &query; at && !known; at = at->Plan.Outer)
          for (const auto& table : at->Parsed.Sources.Tables)
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
    TExpTreePtr copy = query.Statement.CopyWithParams(condition);
    TSourceColumnResolver resolver(query);
    TExpCheckContext check{EngErrSql, {}, WhereContext, &resolver, &SourceFormatSettings(query)};
    TypeCheckExpression(check, true, nullptr, copy.get());
    if (copy->DataType != dtBoolean) RaiseSqlError("WHERE or JOIN clause must be a boolean expression");
    ConvertTextConstants(copy.get(), EvaluationLanguage(query));
    if (query.Plan.Correlated) BindOuterColumns(query, copy.get());
    return copy;
  }

  void Take(TExpTreePtr condition, uint8_t kind, bool fromJoin) {
    std::vector<TExpTreePtr> parts;
    SplitConjuncts(std::move(condition), parts);
    for (TExpTreePtr& part : parts) {
      const TTableSet tables = TablesOf(part.get());
      if (tables.size() == 1 && !HasSubSelect(part.get())) {
        (fromJoin ? split.onSingle : split.whereSingle).emplace_back(*tables.begin(), std::move(part));
        continue;
      }
      // A condition on no column holds for every row or for none: the first
      // table's filter decides it, also for a live result.
      if (tables.empty() && !HasSubSelect(part.get())) {
        split.whereSingle.emplace_back(query.Run.Tables.front().get(), std::move(part));
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
          split.edges.push_back(std::move(edge));
          continue;
        }
      }
      split.rowWhere = AndTogether(std::move(split.rowWhere), std::move(part));
    }
  }

  void TakeConditions() {
    for (const TJoinClause& clause : query.Parsed.Condition.Joins) {
      TExpTreePtr checked = Checked(*clause.Condition);
      Take(std::move(checked), clause.Kind == jkRight ? uint8_t(jkLeft) : clause.Kind, true);
    }
    if (query.Parsed.Condition.Where) Take(Checked(*query.Parsed.Condition.Where), jkInner, false);
  }

  // A left join's outer table is the one listed first: the table of the
  // JOIN clause is the inner one, and a right-joined table was put first.
  void ClassifyEdges() {
    for (TJoinEdge& edge : split.edges) {
      if (edge.Kind != jkLeft) continue;
      if (PositionInList(edge.Left) > PositionInList(edge.Right)) {
        std::swap(edge.Left, edge.Right);
        SwapOperands(*edge.Condition);
      }
    }
    for (TJoinEdge& edge : split.edges)
      if (edge.Kind == jkLeft) split.leftTargets.insert(edge.Right);
    for (TSourceTable* target : split.leftTargets) {
      std::set<TSourceTable*> partners;
      for (const TJoinEdge& edge : split.edges)
        if (edge.Left == target || edge.Right == target) partners.insert(edge.Left == target ? edge.Right : edge.Left);
      if (partners.size() > 1)
        RaiseSqlError("Internal join error - table correlation name \"" + target->Reference.CorrelationName + "\"" +
                      " is target of multiple " + "join conditions in WHERE or JOIN clause");
    }
  }

  // One filter per table: its conditions ANDed, its ON conditions first. A
  // WHERE condition on a left join's inner table waits for the joined row
  // (DecideJoins); the others go into the filters whole, as nothing else
  // reads them.
  void DecideTableFilters() {
    for (size_t source = 0; source < query.Run.Tables.size(); ++source) {
      TSourceTable* table = query.Run.Tables[source].get();
      TExpTreePtr combined;
      for (auto& [on, condition] : split.onSingle)
        if (on == table) combined = AndTogether(std::move(combined), std::move(condition));
      if (!split.leftTargets.count(table))
        for (auto& [on, condition] : split.whereSingle)
          if (on == table) combined = AndTogether(std::move(combined), std::move(condition));
      if (combined)
        split.tableFilters.push_back({source, TExpTreePtr(PrepareTableCondition(query, *table, std::move(combined)))});
    }
  }

  size_t PositionInList(const TSourceTable* table) const {
    for (size_t i = 0; i < query.Run.Tables.size(); ++i)
      if (query.Run.Tables[i].get() == table) return i;
    return 0;
  }

  int32_t RowsOf(const TTableRows& rows, const TSourceTable* table) const {
    const size_t position = PositionInList(table);
    ORV_ASSERT(position < rows.size());
    return rows[position];
  }

  // The tables a walk from start reaches along the conditions: inner ones
  // either way, left ones only from their outer table.
  std::set<TSourceTable*> Reach(TSourceTable* start) const {
    std::set<TSourceTable*> seen{start};
    std::deque<TSourceTable*> queue{start};
    while (!queue.empty()) {
      TSourceTable* at = queue.front();
      queue.pop_front();
      for (const TJoinEdge& edge : split.edges) {
        TSourceTable* next = nullptr;
        if (edge.Left == at) next = edge.Right;
        if (edge.Right == at && edge.Kind == jkInner) next = edge.Left;
        if (next && seen.insert(next).second) queue.push_back(next);
      }
    }
    return seen;
  }

  // The table's one partner when the table may be read into memory by key
  // as the partner's inner table: an inner join only, every condition to
  // it an "=" that keys (sqlJoinHash.h), few records after its filters.
  TSourceTable* HashPartner(TSourceTable* table, const TTableRows& rows) const {
    if (split.leftTargets.count(table)) return nullptr;
    const uint16_t language = EvaluationLanguage(query);
    TSourceTable* partner = nullptr;
    for (const TJoinEdge& edge : split.edges) {
      if (edge.Left != table && edge.Right != table) continue;
      TSourceTable* other = edge.Left == table ? edge.Right : edge.Left;
      if ((partner && partner != other) || edge.Kind != jkInner ||
          !CanKeyComparison(*edge.Condition, *table, edge.Left == table, language))
        return nullptr;
      partner = other;
    }
    if (!partner || RowsOf(rows, table) > MaxHashedRows) return nullptr;
    return partner;
  }

  bool MayDrive(TSourceTable* table, const std::set<TSourceTable*>& wanted) const {
    if (split.leftTargets.count(table) || !wanted.count(table)) return false;
    const std::set<TSourceTable*> reached = Reach(table);
    return std::includes(reached.begin(), reached.end(), wanted.begin(), wanted.end());
  }

  // The smallest restricted table drives, when it is allowed to: it is no
  // left join's inner table and reaches every table the first one reaches.
  // A table read into memory by key does not drive when its partner is big:
  // the partner is read once in sequence instead of in pieces per key.
  void ChooseRoot(const TTableRows& rows) {
    root = query.Run.Tables.front().get();
    if (!WeighsRows(query)) return;
    for (const auto& owned : query.Run.Tables)
      if (TSourceTable* partner = HashPartner(owned.get(), rows)) hashPartners[owned.get()] = partner;
    auto keyedBeside = [this, &rows](TSourceTable* table) {
      const auto found = hashPartners.find(table);
      return found != hashPartners.end() && RowsOf(rows, found->second) >= MinHashDriverRows;
    };
    const std::set<TSourceTable*> wanted = Reach(root);
    int32_t best = RowsOf(rows, root);
    for (const auto& owned : query.Run.Tables) {
      TSourceTable* table = owned.get();
      if (table == root || keyedBeside(table)) continue;
      const int32_t count = RowsOf(rows, table);
      if (count >= best || !MayDrive(table, wanted)) continue;
      best = count;
      root = table;
    }
    if (keyedBeside(root) && MayDrive(hashPartners[root], wanted)) root = hashPartners[root];
  }

  TNode& JoinTo(TSourceTable* from, TSourceTable* to, uint8_t kind) {
    const auto found = nodes.find(to);
    if (found != nodes.end() && found->second.From == from) return found->second;
    TNode& node = nodes[to];
    node.From = from;
    node.Kind = kind;
    nodes[from].Children.push_back(to);
    return nodes[to];
  }

  // Breadth first from the root; a condition between two tables already
  // joined would close a cycle and is tested row by row instead.
  void BuildTree() {
    nodes.clear();
    nodes[root];
    std::set<TSourceTable*> placed{root};
    std::vector<TSourceTable*> order{root};
    std::vector<bool> used(split.edges.size(), false);
    for (size_t at = 0; at < order.size(); ++at) {
      TSourceTable* outer = order[at];
      for (size_t e = 0; e < split.edges.size(); ++e) {
        TJoinEdge& edge = split.edges[e];
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
        const auto joined = nodes.find(inner);
        if (placed.count(inner) && (joined == nodes.end() || joined->second.From != outer)) {
          split.rowWhere = AndTogether(std::move(split.rowWhere), std::move(edge.Condition));
          continue;
        }
        // The inner table's side goes first: it is what its filter tests.
        SwapOperands(*edge.Condition);
        TNode& join = JoinTo(outer, inner, edge.Kind);
        if (join.Kind == jkNone) join.Kind = edge.Kind;
        join.Hashed = hashPartners.count(inner) > 0 && hashPartners[inner] == outer;
        join.Condition = AndTogether(std::move(join.Condition), std::move(edge.Condition));
        if (placed.insert(inner).second) order.push_back(inner);
      }
    }
    // Conditions no walk reached (both tables placed through others).
    for (size_t e = 0; e < split.edges.size(); ++e)
      if (!used[e]) split.rowWhere = AndTogether(std::move(split.rowWhere), std::move(split.edges[e].Condition));
    // Tables without a condition to the others pair with every row.
    for (const auto& owned : query.Run.Tables) {
      if (placed.count(owned.get())) continue;
      JoinTo(order.back(), owned.get(), jkNone);
      placed.insert(owned.get());
      order.push_back(owned.get());
    }
    // Nesting order: depth first, so that a table's subtree follows it.
    plan.Steps.clear();
    std::function<void(TSourceTable*, int)> visit = [&](TSourceTable* table, int from) {
      const size_t index = plan.Steps.size();
      TNode& node = nodes[table];
      TJoinStep step;
      step.Source = PositionInList(table);
      step.From = from;
      step.Kind = node.Kind;
      step.Condition = std::move(node.Condition);
      step.Hashed = node.Hashed;
      plan.Steps.push_back(std::move(step));
      for (TSourceTable* child : node.Children) visit(child, int(index));
      plan.Steps[index].SubtreeEnd = plan.Steps.size();
    };
    visit(root, -1);
  }
};

}  // namespace

TConditionPlanner::TConditionPlanner(const TDataQuery& query) : query(query), split(std::make_unique<TSplit>()) {
  TPlanning(query, *split).Split();
}

TConditionPlanner::~TConditionPlanner() = default;

std::vector<TTableFilterPlan> TConditionPlanner::TakeTableFilters() { return std::move(split->tableFilters); }

bool TConditionPlanner::WeighsRows() const { return ::WeighsRows(query); }

TJoinPlan TConditionPlanner::DecideJoins(const TTableRows& rows) {
  return TPlanning(query, *split).DecideJoins(rows);
}

namespace {

// An index walk reads every key and the records of each leaf's keys in
// runs, as far as they lie close together; a scan reads the records the
// filter passes in runs and sorts them. Measured on the jobs table
// (bench_sql, records appended in date order): walking the date index
// costs no more than the sort at 9,000 rows and less from 90,000 on
// (90,000: 59-61 ms against 65-68 sorted in memory), and only while its
// keys are at most this many per row it gives (a month of dates, one key
// in forty, walked over the whole index: 4.3 ms against 2.1 sorted).
constexpr int32_t MaxKeysWalkedPerRow = 4;
// The records a walk reads before it judges a filter it tests itself by
// the share that passed.
constexpr int64_t WalkProbeRecords = 1024;

bool IsLeafComparison(const TExpToken& node) {
  return (node.Kind == nkBinary || node.Kind == nkStringCompare) && node.Code >= opEqual &&
         node.Code <= opLessEqual && node.First && node.Second;
}

// The column a condition leaf tests, itself or upper-cased; nil when the
// leaf is none an index could serve.
const TExpToken* TestedColumn(const TExpToken& node) {
  const bool leaf = IsLeafComparison(node) || (node.Kind == nkPredicate && node.First) ||
                    (node.Kind == nkUnary && node.Code == opIsNull && node.First);
  if (!leaf) return nullptr;
  const TExpToken* tested = node.First;
  if (tested->Kind == nkFunction && tested->Code == fnUpper && tested->First) tested = tested->First;
  return tested->Kind == nkColumn ? tested : nullptr;
}

// Whether an index other than the order index starts with a column a
// leaf of the filter tests: it narrows the rows, which then sort cheaper
// than the order index is walked.
bool ServedElsewhere(const TExpToken& node, const std::vector<uint16_t>& otherFirstFields) {
  if (node.Kind == nkBinary && node.Code == opAnd && node.First && node.Second)
    return ServedElsewhere(*node.First, otherFirstFields) || ServedElsewhere(*node.Second, otherFirstFields);
  const TExpToken* column = TestedColumn(node);
  return column && std::find(otherFirstFields.begin(), otherFirstFields.end(), column->FieldNo) !=
                       otherFirstFields.end();
}

}  // namespace

bool TConditionPlanner::MayWalkOrder(const std::vector<TTableFilterPlan>& filters) const {
  if (query.Plan.OrderIndex == NoResultIndex || query.Parsed.Sources.Tables.size() != 1 ||
      query.Run.MaxRowCount >= 0 || query.Run.ProgressProc)
    return false;
  const TCursorFields& fields = query.Run.Tables.front()->Cursor->Fields();
  // A condition on the order's first field is a stretch of the order
  // itself: the count of its rows decides.
  const uint16_t orderFirst = fields.GetIndexDefinition(query.Plan.OrderIndex).FieldNumbers.front();
  std::vector<uint16_t> otherFirstFields;
  for (int n = fields.PrimaryIsNatural() ? 1 : 0; n <= fields.GetSecondaryIndexCount(); ++n) {
    const TIndexDefinition index = fields.GetIndexDefinition(n);
    if (!index.IsNatural() && !index.StartsWith(orderFirst)) otherFirstFields.push_back(index.FieldNumbers.front());
  }
  return std::none_of(filters.begin(), filters.end(), [&](const TTableFilterPlan& filter) {
    return ServedElsewhere(*filter.Condition, otherFirstFields);
  });
}

bool TConditionPlanner::WalkPays(int32_t rows, int32_t allRows) const {
  return int64_t(rows) * MaxKeysWalkedPerRow >= allRows;
}

void TJoinPlan::CheckInvariants(size_t sourceTables) const {
  ORV_ASSERT(Steps.empty() || Steps.size() == sourceTables);
  std::set<size_t> placed;
  for (size_t i = 0; i < Steps.size(); ++i) {
    const TJoinStep& step = Steps[i];
    // Every table is placed once: the nested loops read each exactly once.
    ORV_ASSERT(step.Source < sourceTables && placed.insert(step.Source).second);
    ORV_ASSERT((i == 0) == (step.From < 0) && step.From < int(i));
    ORV_ASSERT(step.SubtreeEnd > i && step.SubtreeEnd <= Steps.size());
    ORV_ASSERT(step.From < 0 || Steps[size_t(step.From)].SubtreeEnd >= step.SubtreeEnd);
    ORV_ASSERT((step.Kind != jkNone) == (step.Condition != nullptr));
    ORV_ASSERT(!step.Hashed || step.Kind == jkInner);
  }
  ORV_ASSERT(!WalkOrder || (sourceTables == 1 && Steps.size() == 1));
}

void TJoinRun::CheckInvariants(const TJoinPlan& plan) const {
  ORV_ASSERT(StepFilters.size() == StepHashes.size());
  // The row test is the one table's: the loop over the driving table
  // applies it.
  ORV_ASSERT(!RowTest || (plan.Steps.size() == 1 && Filtered.size() == 1));
  ORV_ASSERT(!Ordered || plan.WalkOrder);
  ORV_ASSERT(!StretchFilter || (plan.WalkOrder && plan.Steps.size() == 1));
  ORV_ASSERT(StepFilters.empty() || StepFilters.size() == plan.Steps.size());
  for (size_t i = 0; i < StepFilters.size(); ++i) {
    ORV_ASSERT(!StepFilters[i] || plan.Steps[i].Condition);
    ORV_ASSERT(!StepHashes[i] || plan.Steps[i].Hashed);
    ORV_ASSERT(!StepFilters[i] || std::count(Filtered.begin(), Filtered.end(), plan.Steps[i].Source) == 1);
  }
}

namespace {

void NoteFiltered(TJoinRun& run, size_t source) {
  if (std::find(run.Filtered.begin(), run.Filtered.end(), source) == run.Filtered.end()) run.Filtered.push_back(source);
}

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
  return TExpTreePtr(PrepareTableCondition(query, target, std::move(bound)));
}

void BindAndInstall(TDataQuery& query, size_t index) {
  const TJoinStep& step = query.Plan.Joins.Steps[index];
  TSourceTable& target = *query.Run.Tables[step.Source];
  TExpTreePtr bound = BindJoin(query, target, *step.Condition);
  TFilter*& filter = query.Run.Joins.StepFilters[index];
  if (!filter) {
    NoteFiltered(query.Run.Joins, step.Source);
    filter = target.Cursor->Filters().AddFilter(std::move(bound));
    target.Cursor->Filters().ActivateFilter(filter);
  } else {
    target.Cursor->Filters().UpdateFilter(bound.get(), filter);
    bound.release();
  }
}

// The driving table on the order index; the run notes it, to put the
// table back in natural order.
void InstallOrder(TDataQuery& query) {
  TTableCursor& cursor = *query.Run.Tables.front()->Cursor;
  ORV_ASSERT(!query.Run.Joins.Ordered && cursor.IsNaturalOrder());
  query.Run.Joins.NaturalIndex = cursor.GetIndexNo();
  query.Run.Joins.Ordered = true;
  // The filters' bitmaps hold in any order: nothing is evaluated again.
  cursor.SetIndexNo(query.Plan.OrderIndex);
}

// The stretch's BETWEEN as the range of the order index, whose first
// field it tests: its bounds are records holding the two constants there.
void InstallStretchRange(TDataQuery& query) {
  TTableCursor& cursor = *query.Run.Tables.front()->Cursor;
  const TExpToken& between = *query.Run.Joins.StretchFilter->Condition;
  ORV_ASSERT(query.Run.Joins.Ordered && between.Kind == nkPredicate && between.Code == opBetween);
  const int fieldNo = between.First->FieldNo;
  std::vector<uint8_t> low(size_t(cursor.Fields().CursorRecordSize())), high(low.size());
  cursor.Fields().ClearRecord(low.data());
  cursor.Fields().ClearRecord(high.data());
  if (!StoreFieldValue(cursor, low.data(), fieldNo, *between.Second, *query.Run.EvalSettings) ||
      !StoreFieldValue(cursor, high.data(), fieldNo, *between.Second->Next, *query.Run.EvalSettings))
    RaiseSqlError("Internal table filter error");
  cursor.SetRange(low.data(), 1, high.data(), 1);
}

void RestoreNaturalOrder(TDataQuery& query) {
  if (!query.Run.Joins.Ordered) return;
  query.Run.Joins.Ordered = false;
  TTableCursor& cursor = *query.Run.Tables.front()->Cursor;
  if (!cursor.IsOpen()) return;
  // The range goes with the order index: its condition is a filter again.
  cursor.SetIndexNo(query.Run.Joins.NaturalIndex);
  if (TFilter* const stretch = query.Run.Joins.StretchFilter) {
    cursor.Filters().ActivateFilter(stretch);
    if (!stretch->Active) RaiseSqlError("Internal table filter error");
  }
}

}  // namespace

void ClearPlan(TDataQuery& query) {
  query.Run.Joins.RowTest.reset();
  for (const size_t source : query.Run.Joins.Filtered) {
    const TSourceTable& table = *query.Run.Tables[source];
    if (table.Cursor && table.Cursor->IsOpen()) table.Cursor->Filters().DropFilter(nullptr);
  }
  query.Run.Joins.StretchFilter = nullptr;
  // Without its filters the table goes back to natural order at no cost.
  RestoreNaturalOrder(query);
  query.Run.Joins = {};
  query.Plan.Joins = {};
}

namespace {

// A filter an index serves in part, added but not active: the conditions
// an index serves go onto the cursor and the others, which the filter's
// scan would read the records those let through for, are tested as the row
// loop reads them. Only when those records are at most mostRows (the rows
// are counted as the loop reads them): past it the whole filter goes on
// the cursor, whose scan counts the rows. False, with nothing installed,
// when no condition is left to the loop.
bool TestRestInRowLoop(TDataQuery& query, TTableCursor& cursor, TFilter*& filter, int64_t mostRows) {
  std::vector<const TExpToken*> parts;
  CollectConjuncts(*filter->Condition, parts);
  TExpTreePtr served;
  bool rest = false;
  for (const TExpToken* part : parts) {
    if (part->OptimizeLevel == olNone) rest = true;
    else served = AndTogether(std::move(served), TExpTreePtr(CloneTokenTree(part)));
  }
  if (!served || !rest) return false;
  TFilter* narrowed = cursor.Filters().AddFilter(std::move(served));
  cursor.Filters().ActivateFilter(narrowed);
  if (!narrowed->Active) RaiseSqlError("Internal table filter error");
  if (cursor.GetRecordCount() > mostRows) {
    cursor.Filters().UpdateFilter(CloneTokenTree(filter->Condition), narrowed);
    cursor.Filters().DropFilter(filter);
    filter = narrowed;
    return true;
  }
  // The whole filter stays off; the loop tests the conditions no index
  // serves on its tree.
  query.Run.Joins.RowTest = filter->NewRecordTest(TTestedConjuncts::Unserved);
  return true;
}

// A BETWEEN of two constants on the first field of the order index, which
// serves it: the index ascending there and the field no text, so that the
// keys between the bounds' keys are exactly the records it passes (nulls
// come before every value).
bool IsOrderStretch(const TDataQuery& query, const TTableCursor& cursor, const TExpToken& node) {
  if (node.OptimizeLevel == olNone || node.Kind != nkPredicate || node.Code != opBetween || !node.First ||
      node.First->Kind != nkColumn || !node.Second || !node.Second->Next)
    return false;
  const TIndexDefinition order = cursor.Fields().GetIndexDefinition(query.Plan.OrderIndex);
  const TExpToken& column = *node.First;
  if (!order.StartsWith(column.FieldNo) || order.KeyDescending(0)) return false;
  const TFieldDefinition& field = cursor.Fields().FieldDefinition(column.FieldNo);
  if (IsTextType(field.Type, field.Subtype) || field.IsBlob()) return false;
  for (const TExpToken* bound : {node.Second, node.Second->Next})
    if (bound->Kind != nkConstant || bound->IsNull || bound->DataType != field.Type) return false;
  return true;
}

// A filter of the walked table whose conditions an index serves are one
// stretch of the order index (IsOrderStretch): that condition waits as an
// inactive filter of its own for the walk to take it as its range, and
// the others, which no index serves, are tested as the row loop reads each
// record. A scan of the stretch ahead of the loop and a sort after it are
// both spared, whatever the stretch's size. False, with nothing
// installed, for any other filter.
bool TakeStretchForWalk(TDataQuery& query, TTableCursor& cursor, TFilter*& filter) {
  std::vector<const TExpToken*> parts;
  CollectConjuncts(*filter->Condition, parts);
  const TExpToken* stretch = nullptr;
  bool rest = false;
  for (const TExpToken* part : parts) {
    if (part->OptimizeLevel == olNone) {
      rest = true;
      continue;
    }
    if (stretch || !IsOrderStretch(query, cursor, *part)) return false;
    stretch = part;
  }
  if (!stretch) return false;
  query.Run.Joins.StretchFilter = cursor.Filters().AddFilter(TExpTreePtr(CloneTokenTree(stretch)));
  // The whole filter stays off while the loop tests the others on its tree.
  if (rest) {
    query.Run.Joins.RowTest = filter->NewRecordTest(TTestedConjuncts::Unserved);
  } else {
    cursor.Filters().DropFilter(filter);
    filter = nullptr;
  }
  return true;
}

}  // namespace

void PlanConditions(TDataQuery& query, const TConditionInstall& install) {
  ClearPlan(query);
  TConditionPlanner planner(query);
  std::vector<TTableFilterPlan> filters = planner.TakeTableFilters();
  // The order index is walked only when the rows the filters leave make
  // it pay (counted after them).
  const bool mayWalkOrder = planner.MayWalkOrder(filters);
  const int32_t allRows = mayWalkOrder ? query.Run.Tables.front()->Cursor->GetRecordCount() : 0;
  for (TTableFilterPlan& planned : filters) {
    TTableCursor& cursor = *query.Run.Tables[planned.Source]->Cursor;
    // One filter per table: the planner joined each table's conditions.
    ORV_ASSERT(std::count(query.Run.Joins.Filtered.begin(), query.Run.Joins.Filtered.end(), planned.Source) == 0);
    NoteFiltered(query.Run.Joins, planned.Source);
    TFilter* filter = cursor.Filters().AddFilter(std::move(planned.Condition));
    // Every record would be read by the filter's scan and the ones it lets
    // through again by the loop: the loop reads them once and tests them.
    const bool loopMayTest = install.TestUnservedInRowLoop && query.Run.Tables.size() == 1 &&
                             !query.Run.ProgressProc && !filter->IsCallback;
    if (loopMayTest && filter->OptimizeLevel == olNone) {
      query.Run.Joins.RowTest = filter->NewRecordTest();
      continue;
    }
    if (loopMayTest && mayWalkOrder && TakeStretchForWalk(query, cursor, filter)) continue;
    if (loopMayTest && filter->OptimizeLevel == olPartial &&
        TestRestInRowLoop(query, cursor, filter, install.MostRowsServedInPart))
      continue;
    cursor.Filters().ActivateFilter(filter);
    if (!filter->Active) RaiseSqlError("Internal table filter error");
  }
  // The driving table is chosen by the rows the filters leave.
  TTableRows rows;
  if (planner.WeighsRows())
    for (const auto& table : query.Run.Tables) rows.push_back(table->Cursor->GetRecordCount());
  TJoinPlan plan = planner.DecideJoins(rows);
  if (query.Run.Joins.StretchFilter) {
    InstallOrder(query);
    InstallStretchRange(query);
    plan.WalkOrder = true;
  } else if (mayWalkOrder && planner.WalkPays(query.Run.Tables.front()->Cursor->GetRecordCount(), allRows)) {
    InstallOrder(query);
    plan.WalkOrder = true;
  }
  plan.CheckInvariants(query.Parsed.Sources.Tables.size());
  query.Plan.Joins = std::move(plan);
  query.Run.Joins.StepFilters.assign(query.Plan.Joins.Steps.size(), nullptr);
  query.Run.Joins.StepHashes.resize(query.Plan.Joins.Steps.size());
  query.Run.Joins.CheckInvariants(query.Plan.Joins);
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

// The table's row goes back to its own buffer when the loop over it ends.
class TShownRow {
public:
  explicit TShownRow(TSourceTable& table) : table(table) {}
  ~TShownRow() { table.Shown = nullptr; }
  TShownRow(const TShownRow&) = delete;
  TShownRow& operator=(const TShownRow&) = delete;

private:
  TSourceTable& table;
};

// The batch's record i becomes the table's row: shown where the batch holds
// it (until the cursor's next step) when it has the row's size, else copied.
void ShowBatchRecord(TSourceTable& table, const TRecordBatch& batch, int32_t i) {
  if (batch.RecordSize() == table.Record.size()) {
    table.Shown = batch.Record(i);
  } else {
    table.Shown = nullptr;
    std::memcpy(table.Record.data(), batch.Record(i), std::min(table.Record.size(), batch.RecordSize()));
  }
  table.HasRow = true;
}

class TNestedLoop {
public:
  TNestedLoop(TDataQuery& query, const std::function<bool()>& row)
      : query(query), steps(query.Plan.Joins.Steps), run(query.Run.Joins), row(row) {}

  bool Loop(size_t index) {
    if (index >= steps.size()) return row();
    const TJoinStep& step = steps[index];
    TSourceTable& table = *query.Run.Tables[step.Source];
    // A table read into memory gives the rows of the outer row's key; an
    // outer row with a NULL key takes the filter below.
    TJoinHash* hash = run.StepHashes[index].get();
    // A row shown where it lies is valid only inside this loop.
    TShownRow shown(table);
    if (hash && OuterJoinKey(query, *step.Condition, *hash)) {
      const auto [first, last] = hash->Find();
      for (auto row = first; row != last; ++row) {
        ORV_ASSERT(row->second.size() == table.Record.size());
        table.Shown = row->second.data();
        table.HasRow = true;
        if (!Loop(index + 1)) return false;
      }
      return true;
    }
    if (step.Condition) BindAndInstall(query, index);
    TTableCursor& cursor = *table.Cursor;
    cursor.SetToBegin();
    // The driving table is read several records a step, unless a progress
    // handler counts its rows (it counts the cursor's moves). A record
    // stays where the batch shows it until the cursor's next step.
    if (index == 0 && !query.Run.ProgressProc) {
      while (cursor.GetNextRecords(batch) == 0) {
        for (int32_t i = 0; i < batch.Count(); ++i) {
          if (run.RowTest && !run.RowTest->Passes(batch.Record(i), batch.RecordNumber(i))) continue;
          ShowBatchRecord(table, batch, i);
          if (!Loop(index + 1)) return false;
        }
      }
      return true;
    }
    // Made only for a loop read in batches.
    ORV_ASSERT(!run.RowTest);
    table.Shown = nullptr;
    bool matched = false;
    while (cursor.GetNextRecord(table.Record.data()) == 0) {
      matched = true;
      table.HasRow = true;
      if (!Loop(index + 1)) return false;
    }
    if (!matched && step.Kind == jkLeft) {
      for (size_t i = index; i < step.SubtreeEnd; ++i) query.Run.Tables[steps[i].Source]->HasRow = false;
      return Loop(step.SubtreeEnd);
    }
    return true;
  }

private:
  TDataQuery& query;
  const std::vector<TJoinStep>& steps;
  TJoinRun& run;
  const std::function<bool()>& row;
  TRecordBatch batch;
};

}  // namespace

void ForEachJoinedRow(TDataQuery& query, const std::function<bool()>& row) {
  const std::vector<TJoinStep>& steps = query.Plan.Joins.Steps;
  if (steps.empty()) return;
  // The run holds a slot per step of the plan it walks.
  ORV_ASSERT(query.Run.Joins.StepHashes.size() == steps.size());
  // Read before any join filter restricts the tables.
  for (size_t i = 0; i < steps.size(); ++i)
    if (steps[i].Hashed && !query.Run.Joins.StepHashes[i])
      query.Run.Joins.StepHashes[i] = BuildJoinHash(query, *query.Run.Tables[steps[i].Source], *steps[i].Condition);
  TNestedLoop(query, row).Loop(0);
}

namespace {

// Proves, row by row, that an index walk gives rows of equal ORDER BY
// values as the sort gives them: in the order a natural-order fill took
// them, that is, by record number. Two rows in a row that go back in
// record number must then differ in an ordered value. Values are compared
// as stored where equal keys mean equal bytes (numbers, dates, times,
// Booleans, and texts compared with case under no language); other values
// that go back are taken as equal.
class TOrderTies {
public:
  TOrderTies(const TDataQuery& query, const TSourceTable& table)
      : exactText(table.Cursor->Fields().LanguageId() == 0 && !query.Parsed.Ordering.NoCase) {
    size_t width = 0;
    for (const TColumnItem& item : query.Plan.OrderBy) {
      const TResultField& column = *query.Plan.ResultFields[size_t(item.ColumnNo - 1)];
      fields.push_back(&table.Field(column.SourceFieldNo));
      width += 1 + size_t(fields.back()->StoredSize);
    }
    last.resize(width);
  }

  // False when the record (its number) breaks the order of the ties.
  bool Take(uint32_t number, const uint8_t* record) {
    const bool agrees = !hasLast || number > lastNumber || Differs(record);
    uint8_t* to = last.data();
    for (const TFieldDefinition* field : fields) {
      std::memcpy(to, record + field->RecordOffset, 1 + size_t(field->StoredSize));
      to += 1 + field->StoredSize;
    }
    lastNumber = number;
    hasLast = true;
    return agrees;
  }

private:
  const bool exactText;
  std::vector<const TFieldDefinition*> fields;
  std::vector<uint8_t> last;  // the last row's null bytes and values
  uint32_t lastNumber = 0;
  bool hasLast = false;

  bool Differs(const uint8_t* record) const {
    const uint8_t* was = last.data();
    for (const TFieldDefinition* field : fields) {
      const uint8_t* is = record + field->RecordOffset;
      const size_t width = field->StoredSize;
      if ((was[0] == 0) != (is[0] == 0)) return true;
      if (is[0] != 0 && ComparesAsStored(*field)) {
        if (field->Type != dtString) {
          if (std::memcmp(was + 1, is + 1, width) != 0) return true;
        } else {
          const auto* a = reinterpret_cast<const char*>(was + 1);
          const auto* b = reinterpret_cast<const char*>(is + 1);
          if (std::string_view(a, strnlen(a, width)) != std::string_view(b, strnlen(b, width))) return true;
        }
      }
      was += 1 + width;
    }
    return false;
  }

  bool ComparesAsStored(const TFieldDefinition& field) const {
    switch (field.Type) {
      case dtDate:
      case dtTime:
      case dtInteger:
      case dtSmallInt:
      case dtWord:
      case dtBoolean:
        return true;
      case dtString:
        return exactText;
      default:
        return false;
    }
  }
};

}  // namespace

bool ForEachRowInIndexOrder(TDataQuery& query, const std::function<bool()>& row) {
  const TJoinPlan& plan = query.Plan.Joins;
  ORV_ASSERT(plan.WalkOrder && plan.Steps.size() == 1 && query.Plan.OrderIndex != NoResultIndex);
  TSourceTable& table = *query.Run.Tables[plan.Steps.front().Source];
  TTableCursor& cursor = *table.Cursor;
  ORV_ASSERT(query.Run.Joins.Ordered && cursor.GetIndexNo() == query.Plan.OrderIndex);
  TShownRow shown(table);
  table.Shown = nullptr;
  TOrderTies ties(query, table);
  // A filter no index serves is tested here, on each record the walk
  // reads; its first records tell whether it lets through enough of them
  // for the walk to pay (the filter gave no count).
  TFilterRecordTest* const test = query.Run.Joins.RowTest.get();
  // A walk kept to a stretch reads what a scan of the stretch would.
  const bool probing = test != nullptr && !query.Run.Joins.StretchFilter;
  int64_t walked = 0, passed = 0;
  cursor.SetToBegin();
  // Several records a step, each shown where the batch holds it until the
  // cursor's next step.
  TRecordBatch batch;
  while (cursor.GetNextRecords(batch) == 0) {
    for (int32_t i = 0; i < batch.Count(); ++i) {
      const uint32_t number = batch.RecordNumber(i);
      const uint8_t* record = batch.Record(i);
      const bool passes = !test || test->Passes(record, number);
      ++walked;
      if (passes) ++passed;
      const bool unpaid = probing && walked == WalkProbeRecords && passed * MaxKeysWalkedPerRow < walked;
      if (unpaid || (passes && !ties.Take(number, record))) {
        RestoreNaturalOrder(query);
        return false;
      }
      if (!passes) continue;
      ShowBatchRecord(table, batch, i);
      if (!row()) return true;
    }
  }
  return true;
}
