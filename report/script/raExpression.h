#pragma once
// Compiled expressions and the statements that are expressions
// (assignments and calls). Names are bound when the program compiles: a
// node holds the variable, constant or routine itself, so evaluating does
// no look-up by name.

#include <memory>
#include <vector>

#include "raRun.h"
#include "raValues.h"

class TraProgram;
struct TraSystemFunction;

// Whether values of the two types may meet in an operation or assignment.
bool raTypesCompatible(TraDataType a, TraDataType b);

class TraStatement {
public:
  virtual ~TraStatement() = default;
  virtual void Execute(TraRun& run) = 0;
};

class TraExpression : public TraStatement {
public:
  explicit TraExpression(TraDataType type) : dataType(type) {}
  // The value to use, or nullptr when an operator did not apply; it stays
  // valid until this node is evaluated again.
  virtual const TraValue* Evaluate(TraRun& run) = 0;
  // As a statement (a call whose result nobody takes).
  void Execute(TraRun& run) override {
    run.Step();
    Evaluate(run);
  }
  // The type the compiler checks: Boolean for comparisons and logical
  // operators, otherwise the left operand's.
  TraDataType DataType() const { return dataType; }
  // The variable this node reads, for assignments back (var parameters).
  virtual TraVariableValue* Variable() const { return nullptr; }
  // The value a literal or a variable always evaluates to; operators read
  // it without a call.
  virtual const TraValue* FixedValue() const { return nullptr; }
  // The class of the object this node evaluates to, when it stands for
  // one; member access after it is compiled against that class.
  virtual const TClassInfo* ObjectClass() const { return nullptr; }

private:
  TraDataType dataType;
};

class TraLiteral : public TraExpression {
public:
  explicit TraLiteral(std::unique_ptr<TraValue> value) : TraExpression(value->DataType()), value(std::move(value)) {}
  const TraValue* Evaluate(TraRun&) override { return value.get(); }
  const TraValue* FixedValue() const override { return value.get(); }

private:
  std::unique_ptr<TraValue> value;
};

class TraVariableRef : public TraExpression {
public:
  explicit TraVariableRef(TraVariableValue& variable) : TraExpression(variable.DataType()), variable(variable) {}
  const TraValue* Evaluate(TraRun&) override { return &variable.Bound(); }
  TraVariableValue* Variable() const override { return &variable; }
  const TraValue* FixedValue() const override { return &variable.Bound(); }
  const TClassInfo* ObjectClass() const override;

private:
  TraVariableValue& variable;
};

// A unary (right is nullptr) or binary operator.
class TraOperation : public TraExpression {
public:
  TraOperation(TraTokenType op, std::unique_ptr<TraExpression> left, std::unique_ptr<TraExpression> right);
  const TraValue* Evaluate(TraRun& run) override;
  TraTokenType Operator() const { return op; }
  TraExpression* Left() const { return left.get(); }
  TraExpression* Right() const { return right.get(); }

private:
  TraTokenType op;
  bool comparison;
  std::unique_ptr<TraExpression> left, right;
  const TraValue* fixedLeft;
  const TraValue* fixedRight;
  TraTemps temps;
  TraIntegerValue integerResult;
  TraBooleanValue booleanResult;
};

struct TraParameterInfo {
  std::string Name;
  TraDataType DataType = daUnknown;
  std::string TypeName;
  bool IsVar = false;
};

// A call of a built-in routine. Value arguments of the parameter's own type
// are handed over as they are (routines never change them); others are
// converted into the call's own parameter paramSlots.
class TraSystemCall : public TraExpression {
public:
  TraSystemCall(const TraSystemFunction& function, TraDataType resultType, std::vector<TraParameterInfo> parameters,
                std::vector<std::unique_ptr<TraExpression>> arguments);
  const TraValue* Evaluate(TraRun& run) override;

private:
  const TraSystemFunction& function;
  std::vector<TraParameterInfo> parameters;
  std::vector<std::unique_ptr<TraExpression>> arguments;
  std::vector<std::unique_ptr<TraValue>> paramSlots;
  std::vector<TraValue*> passed;
  std::unique_ptr<TraValue> result;
};

// A call of another script program: the arguments go into its parameters,
// it runs, var parameters come back, and the result is copied into the
// call's own slot (two calls of one function in one expression keep two
// results).
class TraProgramCall : public TraExpression {
public:
  TraProgramCall(TraProgram& program, std::vector<std::unique_ptr<TraExpression>> arguments);
  const TraValue* Evaluate(TraRun& run) override;

private:
  TraProgram& program;
  std::vector<std::unique_ptr<TraExpression>> arguments;
  std::vector<const TraValue*> values;
  std::unique_ptr<TraValue> result;
};

class TraAssignment : public TraStatement {
public:
  TraAssignment(TraVariableValue& target, std::unique_ptr<TraExpression> value);
  void Execute(TraRun& run) override;

private:
  TraVariableValue& target;
  std::unique_ptr<TraExpression> value;
  // An Integer variable that may be written: stored without conversion.
  TraIntegerValue* integerTarget = nullptr;
  // target := target + text, appended in place.
  TraExpression* appended = nullptr;
};
