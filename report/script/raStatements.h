#pragma once
// The control statements: blocks, if, case, for, while and repeat.

#include <memory>
#include <vector>

#include "raExpression.h"

using TraStatementList = std::vector<std::unique_ptr<TraStatement>>;

class TraBlock : public TraStatement {
public:
  explicit TraBlock(TraStatementList statements) : statements(std::move(statements)) {}
  void Execute(TraRun& run) override;

private:
  TraStatementList statements;
};

class TraIfStatement : public TraStatement {
public:
  TraIfStatement(std::unique_ptr<TraExpression> condition, std::unique_ptr<TraStatement> thenBranch,
                 std::unique_ptr<TraStatement> elseBranch);
  void Execute(TraRun& run) override;

private:
  std::unique_ptr<TraExpression> condition;
  std::unique_ptr<TraStatement> thenBranch, elseBranch;  // either may be nullptr
};

// One branch of a case: its labels (an else label matches anything) and
// its statement.
struct TraCaseBranch {
  std::vector<std::unique_ptr<TraValue>> Labels;
  bool HasElse = false;  // the branch's last label is "else"
  std::unique_ptr<TraStatement> Statement;
};

class TraCaseStatement : public TraStatement {
public:
  TraCaseStatement(std::unique_ptr<TraExpression> selector, std::vector<TraCaseBranch> branches);
  void Execute(TraRun& run) override;

private:
  std::unique_ptr<TraExpression> selector;
  std::vector<TraCaseBranch> branches;
};

struct TraForLoopParts {
  TraVariableValue* Variable = nullptr;
  std::unique_ptr<TraExpression> Start, End;
  bool IsDownTo = false;
  std::unique_ptr<TraStatement> Body;
};

// Counts with a 64-bit counter tested before each step, so a loop up to the
// largest Integer (or down to the smallest) ends. Afterwards the variable
// holds the first value outside the range, or the bound itself where that
// value is no Integer.
class TraForLoop : public TraStatement {
public:
  explicit TraForLoop(TraForLoopParts parts);
  void Execute(TraRun& run) override;

private:
  TraForLoopParts parts;
  TraIntegerValue* integerVariable = nullptr;
  TraIntegerValue counter;
};

class TraWhileLoop : public TraStatement {
public:
  TraWhileLoop(std::unique_ptr<TraExpression> condition, std::unique_ptr<TraStatement> body)
      : condition(std::move(condition)), body(std::move(body)) {}
  void Execute(TraRun& run) override;

private:
  std::unique_ptr<TraExpression> condition;
  std::unique_ptr<TraStatement> body;
};

class TraRepeatLoop : public TraStatement {
public:
  TraRepeatLoop(TraStatementList body, std::unique_ptr<TraExpression> condition)
      : body(std::move(body)), condition(std::move(condition)) {}
  void Execute(TraRun& run) override;

private:
  TraStatementList body;
  std::unique_ptr<TraExpression> condition;
};
