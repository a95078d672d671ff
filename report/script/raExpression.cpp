#include "raExpression.h"

#include "raFunctions.h"
#include "raProgram.h"

namespace {

bool IsRealType(TraDataType type) {
  return type == daSingle || type == daDouble || type == daExtended || type == daCurrency || type == daDateTime ||
         type == daDate || type == daTime;
}

bool InPair(TraDataType a, TraDataType b, std::initializer_list<TraDataType> set) {
  bool hasA = false, hasB = false;
  for (TraDataType type : set) {
    hasA |= type == a;
    hasB |= type == b;
  }
  return hasA && hasB;
}

constexpr TraTokenSet comparisonOperators = {ttEqual, ttLt, ttGt, ttLe, ttGe, ttNe, ttIs};
constexpr TraTokenSet logicalOperators = {ttAnd, ttNot, ttOr};

TraDataType OperationType(TraTokenType op, const TraExpression* left, const TraExpression* right) {
  if (comparisonOperators.Contains(op) || logicalOperators.Contains(op)) return daBoolean;
  if (left) return left->DataType();
  return right ? right->DataType() : daUnknown;
}

}  // namespace

bool raTypesCompatible(TraDataType a, TraDataType b) {
  if (a == daUnknown || b == daUnknown || a == b) return true;
  // Objects are handles, never numbers: only object and class meet.
  if (InPair(a, b, {daObject, daClass})) return true;
  if (InPair(a, b, {daInteger, daEnum})) return true;
  if (IsRealType(a) && IsRealType(b)) return true;
  if ((a == daInteger && IsRealType(b)) || (b == daInteger && IsRealType(a))) return true;
  if (InPair(a, b, {daChar, daString})) return true;
  const auto variantPartner = [](TraDataType t) { return t <= daEnum && t != daObject && t != daClass; };
  if ((a == daVariant && variantPartner(b)) || (b == daVariant && variantPartner(a))) return true;
  return false;
}

TraOperation::TraOperation(TraTokenType op, std::unique_ptr<TraExpression> left, std::unique_ptr<TraExpression> right)
    : TraExpression(OperationType(op, left.get(), right.get())),
      op(op),
      comparison(comparisonOperators.Contains(op)),
      left(std::move(left)),
      right(std::move(right)),
      fixedLeft(this->left->FixedValue()),
      fixedRight(this->right ? this->right->FixedValue() : nullptr) {}

const TraValue* TraOperation::Evaluate(TraRun& run) {
  const TraValue* r = fixedRight ? fixedRight : right ? right->Evaluate(run) : nullptr;
  if (right && !r) return nullptr;
  const TraValue* l = fixedLeft ? fixedLeft : left->Evaluate(run);
  if (!l) return nullptr;
  if (r && l->DataType() == daInteger && r->DataType() == daInteger) {
    // Both Integers: the common case, without the detour through extended.
    const int64_t a = static_cast<const TraIntegerValue*>(l)->Value;
    const int64_t b = static_cast<const TraIntegerValue*>(r)->Value;
    int64_t c;
    switch (op) {
      case ttPlus: c = a + b; break;
      case ttMinus: c = a - b; break;
      case ttStar: c = a * b; break;
      case ttMod: c = b == 0 ? 0 : a % b; break;
      case ttDiv: c = b == 0 ? 0 : a / b; break;
      case ttEqual: booleanResult.Set(a == b); return &booleanResult;
      case ttNe: booleanResult.Set(a != b); return &booleanResult;
      case ttLt: booleanResult.Set(a < b); return &booleanResult;
      case ttGt: booleanResult.Set(a > b); return &booleanResult;
      case ttLe: booleanResult.Set(a <= b); return &booleanResult;
      case ttGe: booleanResult.Set(a >= b); return &booleanResult;
      default: return l->Operate(r, op, temps);
    }
    if (c >= INT32_MIN && c <= INT32_MAX) {
      integerResult.Value = static_cast<int32_t>(c);
      return &integerResult;
    }
    return &temps.Extended(static_cast<long double>(c));
  }
  if (comparison) {
    bool result;
    if (!l->Compare(*r, op, result)) return nullptr;
    return &temps.Boolean(result);
  }
  return l->Operate(r, op, temps);
}

TraSystemCall::TraSystemCall(const TraSystemFunction& function, TraDataType resultType, std::vector<TraParameterInfo> parameters,
                             std::vector<std::unique_ptr<TraExpression>> arguments)
    : TraExpression(resultType),
      function(function),
      parameters(std::move(parameters)),
      arguments(std::move(arguments)),
      passed(this->parameters.size()),
      result(raNewValue(resultType)) {
  for (const TraParameterInfo& parameter : this->parameters) paramSlots.push_back(raNewValue(parameter.DataType, parameter.TypeName));
}

const TraValue* TraSystemCall::Evaluate(TraRun& run) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const TraValue* argument = arguments[i]->Evaluate(run);
    TraValue* slot = paramSlots[i].get();
    passed[i] = slot;
    if (!argument || !slot) continue;
    if (!parameters[i].IsVar && argument->DataType() == slot->DataType())
      passed[i] = const_cast<TraValue*>(argument);
    else
      slot->SetValue(*argument);
  }
  function.Work(passed.data(), result.get());
  for (size_t i = 0; i < arguments.size(); ++i)
    if (parameters[i].IsVar && paramSlots[i])
      if (TraVariableValue* variable = arguments[i]->Variable()) variable->Assign(*paramSlots[i]);
  return result.get();
}

TraProgramCall::TraProgramCall(TraProgram& program, std::vector<std::unique_ptr<TraExpression>> arguments)
    : TraExpression(program.ResultVariable() ? program.ResultVariable()->DataType() : daUnknown),
      program(program),
      arguments(std::move(arguments)),
      values(this->arguments.size()) {
  if (program.ResultVariable()) result = program.ResultVariable()->Bound().Clone();
}

const TraValue* TraProgramCall::Evaluate(TraRun& run) {
  // A program that is running already is not entered again.
  if (program.IsRunning() || !program.IsCompiled()) return nullptr;
  const size_t count = std::min<size_t>(arguments.size(), program.ParamCount());
  // Every argument first: one may call the same program, which would fill
  // its parameters with its own arguments.
  for (size_t i = 0; i < count; ++i) values[i] = arguments[i]->Evaluate(run);
  for (size_t i = 0; i < count; ++i)
    if (values[i]) program.Param(i).Bound().SetValue(*values[i]);
  const TraValue* value = program.Run(run);
  for (size_t i = 0; i < count; ++i)
    if (program.Param(i).IsByReference)
      if (TraVariableValue* variable = arguments[i]->Variable()) variable->Assign(program.Param(i).Bound());
  if (!value || !result) return nullptr;
  result->SetValue(*value);
  return result.get();
}

TraAssignment::TraAssignment(TraVariableValue& target, std::unique_ptr<TraExpression> value)
    : target(target), value(std::move(value)) {
  if (target.DataType() == daInteger && !target.IsReadOnly) integerTarget = static_cast<TraIntegerValue*>(&target.Bound());
  auto* operation = dynamic_cast<TraOperation*>(this->value.get());
  if (target.DataType() == daString && operation && operation->Operator() == ttPlus &&
      operation->Left()->Variable() == &target && operation->Right() &&
      (operation->Right()->DataType() == daString || operation->Right()->DataType() == daChar))
    appended = operation->Right();
}

void TraAssignment::Execute(TraRun& run) {
  run.Step();
  if (appended && !target.IsReadOnly) {
    const TraValue* tail = appended->Evaluate(run);
    if (!tail) return;
    std::string& text = static_cast<TraStringValue&>(target.Bound()).Value;
    if (tail->DataType() == daString) {
      raCheckTextLength(text.size() + static_cast<const TraStringValue*>(tail)->Value.size());
      text.append(static_cast<const TraStringValue*>(tail)->Value);
    } else if (tail->DataType() == daChar) {
      raCheckTextLength(text.size() + 1);
      text.push_back(static_cast<const TraCharValue*>(tail)->Value);
    }
    return;
  }
  const TraValue* result = value->Evaluate(run);
  if (!result) return;
  if (integerTarget && result->DataType() == daInteger)
    integerTarget->Value = static_cast<const TraIntegerValue*>(result)->Value;
  else
    target.Assign(*result);
}
