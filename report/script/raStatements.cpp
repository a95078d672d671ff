#include "raStatements.h"

void TraBlock::Execute(TraRun& run) {
  for (const auto& statement : statements) statement->Execute(run);
}

TraIfStatement::TraIfStatement(std::unique_ptr<TraExpression> condition, std::unique_ptr<TraStatement> thenBranch,
                               std::unique_ptr<TraStatement> elseBranch)
    : condition(std::move(condition)), thenBranch(std::move(thenBranch)), elseBranch(std::move(elseBranch)) {}

void TraIfStatement::Execute(TraRun& run) {
  run.Step();
  if (raConditionValue(condition->Evaluate(run))) {
    if (thenBranch) thenBranch->Execute(run);
  } else if (elseBranch) {
    elseBranch->Execute(run);
  }
}

TraCaseStatement::TraCaseStatement(std::unique_ptr<TraExpression> selector, std::vector<TraCaseBranch> branches)
    : selector(std::move(selector)), branches(std::move(branches)) {}

void TraCaseStatement::Execute(TraRun& run) {
  run.Step();
  const TraValue* value = selector->Evaluate(run);
  if (!value) return;
  for (TraCaseBranch& branch : branches) {
    bool match = false;
    for (const auto& label : branch.Labels) {
      bool equal;
      if (label->Compare(*value, ttEqual, equal) && equal) {
        match = true;
        break;
      }
    }
    if (match || branch.HasElse) {
      if (branch.Statement) branch.Statement->Execute(run);
      return;
    }
  }
}

TraForLoop::TraForLoop(TraForLoopParts forParts) : parts(std::move(forParts)) {
  if (parts.Variable->DataType() == daInteger && !parts.Variable->IsReadOnly)
    integerVariable = static_cast<TraIntegerValue*>(&parts.Variable->Bound());
}

void TraForLoop::Execute(TraRun& run) {
  run.Step();
  const TraValue* start = parts.Start->Evaluate(run);
  if (!start || !counter.SetValue(*start)) return;
  const int64_t first = counter.Value;
  const TraValue* end = parts.End->Evaluate(run);
  if (!end || !counter.SetValue(*end)) return;
  const int64_t last = counter.Value;
  const int64_t step = parts.IsDownTo ? -1 : 1;
  int64_t value = first;
  while (parts.IsDownTo ? value >= last : value <= last) {
    run.Step();
    counter.Value = static_cast<int32_t>(value);
    if (integerVariable) integerVariable->Value = counter.Value;
    else parts.Variable->Assign(counter);
    if (parts.Body) parts.Body->Execute(run);
    value += step;
  }
  // The first value outside the range, when it is an Integer.
  if (value >= INT32_MIN && value <= INT32_MAX) counter.Value = static_cast<int32_t>(value);
  else counter.Value = static_cast<int32_t>(last);
  parts.Variable->Assign(counter);
}

void TraWhileLoop::Execute(TraRun& run) {
  run.Step();
  while (raConditionValue(condition->Evaluate(run))) {
    run.Step();
    if (body) body->Execute(run);
  }
}

void TraRepeatLoop::Execute(TraRun& run) {
  do {
    run.Step();
    for (const auto& statement : body) statement->Execute(run);
  } while (!raConditionValue(condition->Evaluate(run)));
}
