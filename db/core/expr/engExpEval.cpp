// Evaluation by node kind: operators, columns, predicates; functions are in
// engExpEvalFunctions.cpp and engExpEvalText.cpp.

#include "engExpEval.h"

#include <cstring>
#include <string>
#include <utility>

#include "engExpEvalConvert.h"
#include "engExpEvalInternal.h"
#include "engExpSubSelect.h"
#include "engExpTypes.h"
#include "engLike.h"
#include "engTextCompare.h"
#include "rtlAssert.h"

namespace {

bool IsComparison(uint8_t op) { return op >= opEqual && op <= opLessEqual; }
bool IsLogical(uint8_t op) { return op == opAnd || op == opOr; }

// Nodes whose value is a truth value worked out without a node to hold it.
bool IsCondition(const TExpToken& node) {
  switch (node.Kind) {
    case nkBinary:
      return IsLogical(node.Code) || IsComparison(node.Code);
    case nkUnary:
      return node.Code == opNot || node.Code == opIsNull || node.Code == opIsNotNull;
    case nkStringCompare:
    case nkPredicate:
      return true;
    default:
      return false;
  }
}

bool ConditionOf(const TExpEvalContext& context, const TExpToken& node);

// The boolean word of node's value, as NOT reads it.
bool BooleanOf(const TExpEvalContext& context, const TExpToken& node) {
  if (IsCondition(node)) return ConditionOf(context, node);
  return EvaluateValue(context, node)->AsBoolean();
}

bool UnaryHolds(const TExpEvalContext& context, const TExpToken& node) {
  if (node.Code == opNot) return !BooleanOf(context, *node.First);
  const TExpValue operand = EvaluateValue(context, *node.First);
  return operand->IsNull == (node.Code == opIsNull);
}

// Negation and the unary plus.
void EvaluateUnary(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue operand = EvaluateValue(context, *node.First);
  if (operand->IsNull)
    result.SetNull();
  else if (node.Code == opNegate)
    NegateValue(*operand, result);
  else
    TakeValue(result, *operand);
}

// The right side first: it alone may decide.
bool LogicalHolds(const TExpEvalContext& context, const TExpToken& node) {
  const bool rightTrue = EvaluateCondition(context, *node.Second);
  if (rightTrue != (node.Code == opAnd)) return rightTrue;
  return EvaluateCondition(context, *node.First);
}

bool ComparisonHolds(const TExpEvalContext& context, const TExpToken& node) {
  const TExpValue left = EvaluateValue(context, *node.First);
  const TExpValue right = EvaluateValue(context, *node.Second);
  return ApplyComparison(context, node.Code, *left, *right);
}

// "=" or "<>" of texts limited to the compare length, with or without case.
bool StringCompareHolds(const TExpEvalContext& context, const TExpToken& node) {
  const TExpValue left = EvaluateValue(context, *node.First);
  const TExpValue right = EvaluateValue(context, *node.Second);
  if (!IsTextType(left->DataType, left->SubType)) return ApplyComparison(context, node.Code, *left, *right);
  bool equal;
  if (left->IsNull || right->IsNull || right->DataType == dtNone)
    equal = left->IsNull == right->IsNull;
  else
    equal = CompareKeyText(context.LanguageId, context.SortId, reinterpret_cast<const char*>(left->Value),
                           node.CaseInsensitive, node.CompareLength, reinterpret_cast<const char*>(right->Value)) == 0;
  return (node.Code == opEqual) == equal;
}

// A value fresh from a record: NULL zero-filled, a text ending inside the
// buffer whatever the callback wrote.
void NormaliseColumnValue(TExpToken& node) {
  if (node.IsNull)
    node.SetNull();
  else if (IsTextType(node.DataType, node.SubType) && !std::memchr(node.Value, 0, node.ValueCapacity))
    GrowBuffer(node.ValueCapacity + 1, TExpToken::ValueStep, node.Value, node.ValueCapacity);
}

// The nested query keeps the rows whose column equals the tested value.
// tested is the value of testedNode, whose texts the condition shows.
bool MatchesNestedQuery(const TExpToken& subSelect, const TExpToken& testedNode, const TExpToken& tested) {
  if (!subSelect.NestedQuery) return false;
  TExpTreePtr condition(NewToken());
  condition->Kind = nkBinary;
  condition->Code = opEqual;
  condition->Text = std::string(1, '=');
  condition->DataType = dtBoolean;
  condition->SetDataSize(2);
  condition->First = NewToken();
  TExpToken& value = *condition->First;
  value.Assign(testedNode);
  value.AssignValue(tested);
  value.Kind = nkConstant;
  value.First = value.Second = value.Third = value.Next = nullptr;
  value.Parent = condition.get();
  condition->Second = NewToken();
  TExpToken& column = *condition->Second;
  column.Assign(subSelect);
  column.Kind = nkColumn;
  column.Code = 0;
  column.First = column.Second = column.Third = column.Next = nullptr;
  column.Parent = condition.get();
  return subSelect.NestedQuery->ApplyResultFilter(*condition);
}

bool IsInList(const TExpEvalContext& context, const TExpToken& tested, const TExpToken* element) {
  for (; element; element = element->Next) {
    const TExpValue value = EvaluateValue(context, *element);
    if (ApplyComparison(context, opEqual, tested, *value)) return true;
  }
  return false;
}

bool IsBetween(const TExpEvalContext& context, const TExpToken& tested, const TExpToken& low) {
  const TExpValue lowValue = EvaluateValue(context, low);
  if (!ApplyComparison(context, opGreaterEqual, tested, *lowValue)) return false;
  const TExpValue highValue = EvaluateValue(context, *low.Next);
  return ApplyComparison(context, opLessEqual, tested, *highValue);
}

bool PredicateHolds(const TExpEvalContext& context, const TExpToken& node) {
  const TExpValue tested = EvaluateValue(context, *node.First);
  bool holds;
  switch (node.Code) {
    case opLike:
    case opNotLike: {
      const TExpValue pattern = EvaluateValue(context, *node.Second);
      holds = !tested->IsNull && !pattern->IsNull &&
              LikeMatch(context.LanguageId, context.SortId, tested->AsText(), pattern->AsText());
      break;
    }
    case opIn:
    case opNotIn:
      holds = IsInList(context, *tested, node.Second);
      break;
    case opInSelect:
    case opNotInSelect:
      holds = MatchesNestedQuery(*node.Second, *node.First, *tested);
      break;
    default:
      holds = IsBetween(context, *tested, *node.Second);
      break;
  }
  const bool negated =
      node.Code == opNotLike || node.Code == opNotIn || node.Code == opNotInSelect || node.Code == opNotBetween;
  return holds != negated;
}

// A checked tree: every operator has its operands (BETWEEN its two bounds).
void CheckOperands(const TExpToken& node) {
  switch (node.Kind) {
    case nkUnary: ORV_ASSERT(node.First); break;
    case nkBinary:
    case nkStringCompare: ORV_ASSERT(node.First && node.Second); break;
    case nkPredicate:
      ORV_ASSERT(node.First);
      ORV_ASSERT(node.Second || node.Code == opIn || node.Code == opNotIn);
      ORV_ASSERT(!(node.Code == opBetween || node.Code == opNotBetween) || node.Second->Next);
      break;
    default: break;
  }
}

bool ConditionOf(const TExpEvalContext& context, const TExpToken& node) {
  CheckOperands(node);
  switch (node.Kind) {
    case nkBinary:
      return IsLogical(node.Code) ? LogicalHolds(context, node) : ComparisonHolds(context, node);
    case nkUnary:
      return UnaryHolds(context, node);
    case nkStringCompare:
      return StringCompareHolds(context, node);
    default:
      return PredicateHolds(context, node);
  }
}

// result starts as a copy of node's value and description, as the
// functions by kind expect, and ends as a constant.
void EvaluateInto(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  CheckOperands(node);
  result.Parent = result.First = result.Second = result.Third = result.Next = nullptr;
  if (IsCondition(node)) {
    SetBooleanResult(result, ConditionOf(context, node));
  } else {
    switch (node.Kind) {
      case nkUnary:
        EvaluateUnary(context, node, result);
        break;
      case nkBinary: {
        const TExpValue left = EvaluateValue(context, *node.First);
        const TExpValue right = EvaluateValue(context, *node.Second);
        ApplyArithmetic(node.Code, *left, *right, result);
        break;
      }
      case nkColumn:
        if (context.Columns) {
          context.Columns->GetColumnValue(result);
          NormaliseColumnValue(result);
        }
        break;
      case nkFunction:
        EvaluateFunction(context, node, result);
        break;
      default:  // constants hold their value
        break;
    }
  }
  result.Kind = nkConstant;
}

}  // namespace

TExpScratch::TExpScratch() = default;

TExpScratch::~TExpScratch() { ORV_ASSERT(lent == 0); }

TExpToken* TExpScratch::Take() {
  ++lent;
  if (nodes.Empty()) return new TExpToken;
  return nodes.ExtractLast().release();
}

void TExpScratch::Give(TExpToken* node) {
  ORV_ASSERT(node && lent > 0);
  --lent;
  nodes.Adopt(node);
}

TExpValue::TExpValue(TExpValue&& other) noexcept
    : value(other.value), owned(std::exchange(other.owned, nullptr)), scratch(other.scratch) {}

TExpValue::~TExpValue() {
  if (!owned) return;
  if (scratch)
    scratch->Give(owned);
  else
    ReleaseToken(owned);
}

void EvaluateExpressionInto(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  // Nothing reads the texts of a value but a column's callback its names.
  result.AssignValue(node);
  result.Text.clear();
  if (node.Kind == nkColumn) {
    result.Name = node.Name;
    result.CorrelationName = node.CorrelationName;
  } else {
    result.Name.clear();
    result.CorrelationName.clear();
  }
  EvaluateInto(context, node, result);
}

TExpValue EvaluateValue(const TExpEvalContext& context, const TExpToken& node) {
  if (node.Kind == nkConstant) return TExpValue(node);
  TExpToken* lent = context.Scratch ? context.Scratch->Take() : NewToken();
  TExpValue value(lent, context.Scratch);
  EvaluateExpressionInto(context, node, *lent);
  // The checker's type is the value's: the callers read it by that type.
  ORV_ASSERT(lent->IsNull || node.Kind == nkColumn || lent->DataType == node.DataType);
  return value;
}

bool EvaluateCondition(const TExpEvalContext& context, const TExpToken& node) {
  if (IsCondition(node)) return ConditionOf(context, node);
  const TExpValue value = EvaluateValue(context, node);
  return !value->IsNull && value->AsBoolean();
}

TExpToken* EvaluateExpression(const TExpEvalContext& context, const TExpToken& node) {
  TExpTreePtr result(NewToken());
  result->Assign(node);
  EvaluateInto(context, node, *result);
  return result.release();
}

TExpToken* EvaluateAsType(const TExpEvalContext& context, const TExpToken& target, const TExpToken& expression) {
  TExpTreePtr result(EvaluateExpression(context, expression));
  if (result->IsNull || result->DataType == dtString || result->DataType == target.DataType) return result.release();
  uint8_t converted[8] = {};
  if (ConvertValueToType(*result, result->Value, target, converted)) {
    std::memcpy(result->Value, converted, sizeof converted);
    result->DataType = target.DataType;
    result->SubType = target.SubType;
    result->SetDataSize(target.DataSize);
    result->Scale = target.Scale;
  }
  return result.release();
}
