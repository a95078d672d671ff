// Evaluation by node kind: operators, columns, predicates; functions are in
// engExpEvalFunctions.cpp and engExpEvalText.cpp.

#include "engExpEval.h"

#include <cstring>
#include <string>

#include "engExpEvalConvert.h"
#include "engExpEvalInternal.h"
#include "engExpSubSelect.h"
#include "engExpTypes.h"
#include "engLike.h"
#include "engTextCompare.h"

namespace {

bool IsComparison(uint8_t op) { return op >= opEqual && op <= opLessEqual; }

void EvaluateUnary(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  TExpTreePtr operand = EvaluateOperand(context, *node.First);
  switch (node.Code) {
    case opNot:
      SetBooleanResult(result, !operand->AsBoolean());
      break;
    case opIsNull:
      SetBooleanResult(result, operand->IsNull);
      break;
    case opIsNotNull:
      SetBooleanResult(result, !operand->IsNull);
      break;
    default:
      if (operand->IsNull)
        result.SetNull();
      else if (node.Code == opNegate)
        NegateValue(*operand, result);
      else
        TakeValue(result, *operand);
      break;
  }
}

// The right side first: it alone may decide.
void EvaluateLogical(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  TExpTreePtr right = EvaluateOperand(context, *node.Second);
  const bool rightTrue = !right->IsNull && right->AsBoolean();
  const bool isAnd = node.Code == opAnd;
  if (rightTrue != isAnd) {
    SetBooleanResult(result, rightTrue);
    return;
  }
  TExpTreePtr left = EvaluateOperand(context, *node.First);
  SetBooleanResult(result, !left->IsNull && left->AsBoolean());
}

void EvaluateBinary(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  if (node.Code == opAnd || node.Code == opOr) {
    EvaluateLogical(context, node, result);
    return;
  }
  TExpTreePtr left = EvaluateOperand(context, *node.First);
  TExpTreePtr right = EvaluateOperand(context, *node.Second);
  if (IsComparison(node.Code))
    SetBooleanResult(result, ApplyComparison(context, node.Code, *left, *right));
  else
    ApplyArithmetic(node.Code, *left, *right, result);
}

// "=" or "<>" of texts limited to the compare length, with or without case.
void EvaluateStringCompare(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  TExpTreePtr left = EvaluateOperand(context, *node.First);
  TExpTreePtr right = EvaluateOperand(context, *node.Second);
  if (!IsTextType(left->DataType, left->SubType)) {
    SetBooleanResult(result, ApplyComparison(context, node.Code, *left, *right));
    return;
  }
  bool equal;
  if (left->IsNull || right->IsNull || right->DataType == dtNone)
    equal = left->IsNull == right->IsNull;
  else
    equal = CompareKeyText(context.LanguageId, context.SortId, reinterpret_cast<char*>(left->Value),
                           node.CaseInsensitive, node.CompareLength, reinterpret_cast<char*>(right->Value)) == 0;
  SetBooleanResult(result, (node.Code == opEqual) == equal);
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
bool MatchesNestedQuery(const TExpToken& subSelect, const TExpToken& tested) {
  if (!subSelect.NestedQuery) return false;
  TExpTreePtr condition(NewToken());
  condition->Kind = nkBinary;
  condition->Code = opEqual;
  condition->Text = std::string(1, '=');
  condition->DataType = dtBoolean;
  condition->SetDataSize(2);
  condition->First = NewToken();
  condition->First->Assign(tested);
  condition->First->Parent = condition.get();
  condition->Second = NewToken();
  TExpToken& column = *condition->Second;
  column.Assign(subSelect);
  column.Kind = nkColumn;
  column.Code = 0;
  column.First = column.Second = column.Third = column.Next = nullptr;
  column.Parent = condition.get();
  return subSelect.NestedQuery->ApplyResultFilter(*condition);
}

bool IsInList(const TExpEvalContext& context, TExpToken& tested, const TExpToken* element) {
  for (; element; element = element->Next) {
    TExpTreePtr value = EvaluateOperand(context, *element);
    if (ApplyComparison(context, opEqual, tested, *value)) return true;
  }
  return false;
}

bool IsBetween(const TExpEvalContext& context, TExpToken& tested, const TExpToken& low) {
  TExpTreePtr lowValue = EvaluateOperand(context, low);
  if (!ApplyComparison(context, opGreaterEqual, tested, *lowValue)) return false;
  TExpTreePtr highValue = EvaluateOperand(context, *low.Next);
  return ApplyComparison(context, opLessEqual, tested, *highValue);
}

void EvaluatePredicate(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  TExpTreePtr tested = EvaluateOperand(context, *node.First);
  bool holds;
  switch (node.Code) {
    case opLike:
    case opNotLike: {
      TExpTreePtr pattern = EvaluateOperand(context, *node.Second);
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
      holds = MatchesNestedQuery(*node.Second, *tested);
      break;
    default:
      holds = IsBetween(context, *tested, *node.Second);
      break;
  }
  const bool negated =
      node.Code == opNotLike || node.Code == opNotIn || node.Code == opNotInSelect || node.Code == opNotBetween;
  SetBooleanResult(result, holds != negated);
}

}  // namespace

TExpToken* EvaluateExpression(const TExpEvalContext& context, const TExpToken& node) {
  TExpTreePtr result(NewToken());
  result->Assign(node);
  result->Parent = result->First = result->Second = result->Third = result->Next = nullptr;
  switch (node.Kind) {
    case nkUnary:
      EvaluateUnary(context, node, *result);
      break;
    case nkBinary:
      EvaluateBinary(context, node, *result);
      break;
    case nkStringCompare:
      EvaluateStringCompare(context, node, *result);
      break;
    case nkColumn:
      if (context.Columns) {
        context.Columns->GetColumnValue(*result);
        NormaliseColumnValue(*result);
      }
      break;
    case nkFunction:
      EvaluateFunction(context, node, *result);
      break;
    case nkPredicate:
      EvaluatePredicate(context, node, *result);
      break;
    default:  // constants hold their value
      break;
  }
  result->Kind = nkConstant;
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
