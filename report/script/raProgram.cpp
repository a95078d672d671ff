#include "raProgram.h"

#include <algorithm>

#include "raFunctions.h"
#include "raObjects.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

namespace {

const char* const lineBreak = "\r\n";

// Deeper nesting than this (parentheses, blocks, statements) is refused
// rather than allowed to exhaust the stack.
constexpr int maxNesting = 200;

// Raised inside the compiler once an error is recorded; never leaves it.
struct TCompileStop {};

const TraTokenSet operandStarts = {ttIdentifier, ttNumber, ttString, ttLParen, ttMinus, ttPlus, ttNot};
const TraTokenSet additiveOperators = {ttPlus, ttMinus, ttOr, ttEqual, ttLt, ttGt, ttLe, ttGe, ttNe, ttIs};
const TraTokenSet multiplicativeOperators = {ttStar, ttSlash, ttAnd, ttDiv, ttMod};

}  // namespace

void TraRun::OutOfSteps() const {
  throw EScriptError("The script was stopped after " + std::to_string(budget) + " steps");
}

void TraRun::Cancelled() const { throw EScriptError("The script was cancelled"); }

// Reads a program's tokens into its declarations and statements.
class TraCompiler {
public:
  TraCompiler(TraProgram& program, bool headerOnly) : program(program), headerOnly(headerOnly) {}
  bool Run();

private:
  TraProgram& program;
  bool headerOnly;
  TraParser parser;
  int cursor = 0;
  int nesting = 0;

  // ---- tokens ----
  bool AtEnd() const { return cursor >= parser.TokenCount(); }
  const TraToken& Peek() {
    if (AtEnd()) Fail(raUnexpectedEnd, LastToken());
    return parser.Token(cursor);
  }
  bool PeekIs(TraTokenType kind) const { return !AtEnd() && parser.Token(cursor).Kind == kind; }
  const TraToken& Next() {
    const TraToken& token = Peek();
    ++cursor;
    return token;
  }
  const TraToken* LastToken() const { return parser.TokenCount() > 0 ? &parser.Token(parser.TokenCount() - 1) : nullptr; }
  const TraToken& Expect(TraTokenType kind) {
    const TraToken& token = Peek();
    if (token.Kind != kind) Fail(raExpectedToken, &token, {kind});
    ++cursor;
    return token;
  }
  bool Accept(TraTokenType kind) {
    if (!PeekIs(kind)) return false;
    ++cursor;
    return true;
  }

  [[noreturn]] void Fail(int code, const TraToken* token, TraTokenSet expected = {}) {
    Record(code, token, expected);
    throw TCompileStop();
  }
  void Record(int code, const TraToken* token, TraTokenSet expected = {}) {
    TraSyntaxError error;
    error.Code = code;
    error.Message = raErrorText(token, expected, code);
    if (token) {
      error.TokenText = token->Text;
      error.Line = token->Line;
      error.Column = token->Column;
    }
    program.errors.push_back(std::move(error));
  }

  struct TNestingGuard {
    TraCompiler& compiler;
    TNestingGuard(TraCompiler& owner, const TraToken& token) : compiler(owner) {
      if (++compiler.nesting > maxNesting) compiler.Fail(raMisplacedToken, &token);
    }
    ~TNestingGuard() { --compiler.nesting; }
  };

  // ---- declarations ----
  // True when the heading has a parameter list.
  bool Heading();
  void ParameterList();
  TraDataType TypeWord(std::string& typeName);
  void CheckDeclaration(const TraToken& name);
  void ConstSection();
  void VarSection();

  // ---- statements ----
  TraStatementList StatementList(TraTokenSet terminators);
  std::unique_ptr<TraStatement> Statement(TraTokenSet endSet);
  std::unique_ptr<TraStatement> NameStatement(TraTokenSet endSet);
  std::unique_ptr<TraStatement> IfStatement(TraTokenSet endSet);
  std::unique_ptr<TraStatement> CaseStatement();
  std::unique_ptr<TraStatement> ForStatement(TraTokenSet endSet);
  std::unique_ptr<TraStatement> WhileStatement(TraTokenSet endSet);
  std::unique_ptr<TraStatement> RepeatStatement();
  std::unique_ptr<TraValue> CaseLabelValue();

  // ---- expressions ----
  std::unique_ptr<TraExpression> Expression(TraTokenSet endSet, TraDataType returnType);
  std::unique_ptr<TraExpression> Simple(TraTokenSet endSet);
  std::unique_ptr<TraExpression> Term(TraTokenSet endSet);
  std::unique_ptr<TraExpression> Factor(TraTokenSet endSet);
  std::unique_ptr<TraExpression> Name(const TraToken& name);
  std::vector<std::unique_ptr<TraExpression>> Arguments(const std::vector<TraParameterInfo>& parameters);
  std::unique_ptr<TraExpression> CallOf(const TraToken& name, TraProgram& called);
  std::unique_ptr<TraExpression> CallOf(const TraToken& name, const TraRoutine& routine);
  std::unique_ptr<TraExpression> Combine(TraTokenType op, const TraToken& at, std::unique_ptr<TraExpression> left,
                                         std::unique_ptr<TraExpression> right);

  // ---- names ----
  TraVariableValue* FindTarget(const std::string& name);
  TraVariableValue* FindConstant(const std::string& name);
  TraProgram* FindProgram(const std::string& name);

  // ---- objects ----
  // An object or class the name stands for; nullptr when none.
  std::unique_ptr<TraExpression> ObjectName(const TraToken& name);
  // "." member links after an object; with assignment, a chain that ends
  // in ":=" becomes the assignment to its last member (and nullptr).
  std::unique_ptr<TraExpression> MemberChain(std::unique_ptr<TraExpression> base, std::unique_ptr<TraStatement>* assignment,
                                             TraTokenSet endSet);
  std::unique_ptr<TraStatement> ChainStatement(std::unique_ptr<TraExpression> base, TraTokenSet endSet);
  const TClassInfo& ClassName(const TraToken& name);
};

bool TraCompiler::Run() {
  raRegisterAdapters();
  parser.Options = {.DiscardComments = true, .StripQuotes = true};
  parser.Tokenize(program.Source());
  if (parser.ErrorTokenCount() > 0) {
    for (int i = 0; i < parser.ErrorTokenCount(); ++i) Record(raInvalidText, &parser.ErrorToken(i));
    return false;
  }
  try {
    if (Heading() && headerOnly) return false;
    for (;;) {
      if (program.declarationOnly && AtEnd()) return true;
      const TraToken& token = Peek();
      if (token.Kind == ttConst) {
        ++cursor;
        ConstSection();
      } else if (token.Kind == ttVar) {
        ++cursor;
        VarSection();
      } else if (token.Kind == ttBegin && !program.declarationOnly) {
        ++cursor;
        program.statements = StatementList({ttEnd});
        Expect(ttEnd);
        Expect(ttSemiColon);
        if (!AtEnd()) Fail(raMisplacedToken, &Peek());
        return !headerOnly;
      } else {
        Fail(raExpectedToken, &token, program.declarationOnly ? TraTokenSet{ttConst, ttVar} : TraTokenSet{ttConst, ttVar, ttBegin});
      }
    }
  } catch (const TCompileStop&) {
    return false;
  }
}

bool TraCompiler::Heading() {
  const TraToken& first = Peek();
  if (first.Kind != ttProcedure && first.Kind != ttFunction) Fail(raProgramTypeExpected, &first);
  ++cursor;
  program.programType = first.Kind;
  const TraToken& name = Peek();
  if (name.Kind != ttIdentifier) Fail(raProgramNameExpected, &name);
  ++cursor;
  program.programName = name.Text;
  const bool hasParameters = Accept(ttLParen);
  if (hasParameters) ParameterList();
  if (program.programType == ttFunction && Accept(ttColon)) {
    std::string typeName;
    const TraDataType type = TypeWord(typeName);
    program.result = std::make_unique<TraVariableValue>("Result", raNewValue(type, typeName));
  }
  Expect(ttSemiColon);
  return hasParameters;
}

void TraCompiler::ParameterList() {
  for (;;) {
    const bool isVar = Accept(ttVar);
    if (!isVar) Accept(ttConst);
    std::vector<const TraToken*> names;
    for (;;) {
      const TraToken& name = Peek();
      if (name.Kind != ttIdentifier) Fail(raExpectedToken, &name, {ttIdentifier});
      ++cursor;
      CheckDeclaration(name);
      for (const TraToken* other : names)
        if (SameText(other->Text, name.Text)) Fail(raRedeclared, &name);
      names.push_back(&name);
      if (!Accept(ttComma)) break;
    }
    Expect(ttColon);
    std::string typeName;
    const TraDataType type = TypeWord(typeName);
    for (const TraToken* name : names) {
      auto parameter = std::make_unique<TraVariableValue>(name->Text, raNewValue(type, typeName));
      parameter->IsReadOnly = !isVar;
      parameter->IsByReference = isVar;
      program.parameters.push_back(std::move(parameter));
    }
    if (Accept(ttSemiColon)) continue;
    const TraToken& close = Peek();
    if (close.Kind != ttRParen) Fail(raExpectedToken, &close, {ttSemiColon, ttRParen});
    ++cursor;
    return;
  }
}

TraDataType TraCompiler::TypeWord(std::string& typeName) {
  const TraToken& token = Peek();
  if (token.Kind == ttIdentifier) {
    // A class name: the variable holds objects of that class.
    const TClassInfo* classInfo = FindClassByName(token.Text);
    if (!classInfo) Fail(raUnknownType, &token);
    ++cursor;
    typeName = classInfo->Name();
    return daClass;
  }
  if (token.Kind != ttType || token.DataType == daUnknown) Fail(raUnknownType, &token);
  ++cursor;
  typeName = token.TypeName;
  return token.DataType;
}

void TraCompiler::CheckDeclaration(const TraToken& name) {
  if (program.FindDeclared(name.Text)) Fail(raRedeclared, &name);
  for (const auto& parameter : program.parameters)
    if (SameText(parameter->VarName(), name.Text)) Fail(raRedeclared, &name);
  if (raBuiltInConstant(name.Text)) Fail(raReservedConstant, &name);
  if (program.OnDeclarationCheck) {
    const int code = program.OnDeclarationCheck(program, name.Text);
    if (code >= 0) Fail(code, &name);
  }
}

void TraCompiler::ConstSection() {
  while (PeekIs(ttIdentifier)) {
    const TraToken& name = Next();
    CheckDeclaration(name);
    Expect(ttEqual);
    const TraToken& first = Peek();
    std::unique_ptr<TraValue> value;
    if (first.Kind == ttMinus || first.Kind == ttNumber) {
      const bool negative = Accept(ttMinus);
      const TraToken& number = Expect(ttNumber);
      if (number.DataType == daInteger) {
        // A number token never exceeds the largest Integer, so its negation fits.
        value = std::make_unique<TraIntegerValue>(negative ? -number.IntegerValue : number.IntegerValue);
      } else {
        value = std::make_unique<TraExtendedValue>(negative ? -number.FloatValue : number.FloatValue);
      }
    } else if (first.Kind == ttString) {
      ++cursor;
      value = std::make_unique<TraStringValue>(first.Text);
    } else if (first.Kind == ttIdentifier) {
      ++cursor;
      value = raBuiltInConstant(first.Text);
      if (!value) Fail(raUndeclared, &first);
    } else {
      Fail(raExpectedToken, &first, {ttNumber, ttString, ttIdentifier});
    }
    auto constant = std::make_unique<TraVariableValue>(name.Text, std::move(value));
    constant->IsReadOnly = true;
    program.constants.push_back(std::move(constant));
    Expect(ttSemiColon);
  }
}

void TraCompiler::VarSection() {
  while (PeekIs(ttIdentifier)) {
    std::vector<const TraToken*> names;
    for (;;) {
      const TraToken& name = Expect(ttIdentifier);
      CheckDeclaration(name);
      for (const TraToken* other : names)
        if (SameText(other->Text, name.Text)) Fail(raRedeclared, &name);
      names.push_back(&name);
      if (!Accept(ttComma)) break;
    }
    Expect(ttColon);
    std::string typeName;
    const TraDataType type = TypeWord(typeName);
    for (const TraToken* name : names)
      program.variables.push_back(std::make_unique<TraVariableValue>(name->Text, raNewValue(type, typeName)));
    Expect(ttSemiColon);
  }
}

// ---- statements ----

TraStatementList TraCompiler::StatementList(TraTokenSet terminators) {
  TraStatementList list;
  const TraTokenSet endSet = terminators | TraTokenSet{ttSemiColon};
  for (;;) {
    if (terminators.Contains(Peek().Kind)) return list;
    if (auto statement = Statement(endSet)) list.push_back(std::move(statement));
    if (Accept(ttSemiColon)) continue;
    const TraToken& token = Peek();
    if (!terminators.Contains(token.Kind)) Fail(raExpectedToken, &token, endSet);
  }
}

std::unique_ptr<TraStatement> TraCompiler::Statement(TraTokenSet endSet) {
  const TraToken& token = Peek();
  TNestingGuard guard(*this, token);
  switch (token.Kind) {
    case ttIf: ++cursor; return IfStatement(endSet);
    case ttCase: ++cursor; return CaseStatement();
    case ttFor: ++cursor; return ForStatement(endSet);
    case ttWhile: ++cursor; return WhileStatement(endSet);
    case ttRepeat: ++cursor; return RepeatStatement();
    case ttBegin: {
      ++cursor;
      auto block = std::make_unique<TraBlock>(StatementList({ttEnd}));
      Expect(ttEnd);
      return block;
    }
    case ttIdentifier: return NameStatement(endSet);
    case ttType:
    case ttLParen: return Expression(endSet, daUnknown);
    default:
      if (endSet.Contains(token.Kind)) return nullptr;  // an empty statement
      Fail(raMisplacedToken, &token);
  }
}

std::unique_ptr<TraStatement> TraCompiler::NameStatement(TraTokenSet endSet) {
  const TraToken& name = Next();
  if (TraVariableValue* target = FindTarget(name.Text)) {
    if (PeekIs(ttPeriod) && (target->DataType() == daObject || target->DataType() == daClass))
      return ChainStatement(std::make_unique<TraVariableRef>(*target), endSet);
    if (endSet.Contains(Peek().Kind)) return std::make_unique<TraVariableRef>(*target);
    Expect(ttColonEqual);
    auto value = Expression(endSet, target->DataType());
    return std::make_unique<TraAssignment>(*target, std::move(value));
  }
  if (TraProgram* called = FindProgram(name.Text)) return CallOf(name, *called);
  TraRoutine routine;
  if (raFindRoutine(name.Text, routine)) return CallOf(name, routine);
  if (auto object = ObjectName(name)) return ChainStatement(std::move(object), endSet);
  Fail(raUndeclared, &name);
}

std::unique_ptr<TraStatement> TraCompiler::IfStatement(TraTokenSet endSet) {
  auto condition = Expression({ttThen}, daBoolean);
  Expect(ttThen);
  auto thenBranch = Statement(endSet | TraTokenSet{ttElse});
  std::unique_ptr<TraStatement> elseBranch;
  if (Accept(ttElse)) elseBranch = Statement(endSet);
  return std::make_unique<TraIfStatement>(std::move(condition), std::move(thenBranch), std::move(elseBranch));
}

std::unique_ptr<TraValue> TraCompiler::CaseLabelValue() {
  const TraToken& token = Peek();
  if (token.Kind == ttMinus || token.Kind == ttNumber) {
    const bool negative = Accept(ttMinus);
    const TraToken& number = Peek();
    if (number.Kind != ttNumber) Fail(raMisplacedToken, &number);
    ++cursor;
    if (number.DataType == daInteger) {
      const long double value = negative ? -static_cast<long double>(number.IntegerValue) : number.IntegerValue;
      TraTemps temps;
      return raNumberResult(value, temps)->Clone();
    }
    return std::make_unique<TraExtendedValue>(negative ? -number.FloatValue : number.FloatValue);
  }
  if (token.Kind == ttIdentifier) {
    ++cursor;
    if (TraVariableValue* constant = FindConstant(token.Text)) return constant->Bound().Clone();
    if (auto value = raBuiltInConstant(token.Text)) return value;
    int ordinal;
    if (const TEnumTypeInfo* type = raFindEnumValue(token.Text, ordinal)) {
      if (type->Name() == "Boolean") return std::make_unique<TraBooleanValue>(ordinal != 0);
      return std::make_unique<TraEnumValue>(type, static_cast<uint8_t>(ordinal));
    }
  }
  Fail(raMisplacedToken, &token);
}

std::unique_ptr<TraStatement> TraCompiler::CaseStatement() {
  auto selector = Expression({ttOf}, daUnknown);
  Expect(ttOf);
  std::vector<TraCaseBranch> branches;
  for (;;) {
    if (Accept(ttEnd)) break;
    TraCaseBranch branch;
    if (Accept(ttElse)) {
      branch.HasElse = true;
      Accept(ttColon);
    } else {
      for (;;) {
        if (Accept(ttElse)) {
          branch.HasElse = true;
          break;
        }
        auto label = CaseLabelValue();
        if (Accept(ttDotDot)) label = std::make_unique<TraSubrangeValue>(std::move(label), CaseLabelValue());
        branch.Labels.push_back(std::move(label));
        if (!Accept(ttComma)) break;
      }
      Expect(ttColon);
    }
    branch.Statement = Statement({ttSemiColon, ttEnd, ttElse});
    branches.push_back(std::move(branch));
    if (Accept(ttSemiColon)) continue;
    const TraToken& token = Peek();
    if (token.Kind != ttEnd && token.Kind != ttElse) Fail(raExpectedToken, &token, {ttSemiColon, ttEnd});
  }
  return std::make_unique<TraCaseStatement>(std::move(selector), std::move(branches));
}

std::unique_ptr<TraStatement> TraCompiler::ForStatement(TraTokenSet endSet) {
  const TraToken& name = Peek();
  if (name.Kind != ttIdentifier) Fail(raMisplacedToken, &name);
  ++cursor;
  TraForLoopParts parts;
  parts.Variable = FindTarget(name.Text);
  if (!parts.Variable) Fail(raUndeclared, &name);
  if (!raTypesCompatible(parts.Variable->DataType(), daInteger) || parts.Variable->DataType() == daVariant)
    Fail(raIncompatibleTypes, &name);
  Expect(ttColonEqual);
  parts.Start = Expression({ttTo, ttDownTo}, daInteger);
  const TraToken& direction = Peek();
  if (direction.Kind != ttTo && direction.Kind != ttDownTo) Fail(raExpectedToken, &direction, {ttTo, ttDownTo});
  ++cursor;
  parts.IsDownTo = direction.Kind == ttDownTo;
  parts.End = Expression({ttDo}, daInteger);
  Expect(ttDo);
  parts.Body = Statement(endSet);
  return std::make_unique<TraForLoop>(std::move(parts));
}

std::unique_ptr<TraStatement> TraCompiler::WhileStatement(TraTokenSet endSet) {
  auto condition = Expression({ttDo}, daBoolean);
  Expect(ttDo);
  auto body = Statement(endSet);
  return std::make_unique<TraWhileLoop>(std::move(condition), std::move(body));
}

std::unique_ptr<TraStatement> TraCompiler::RepeatStatement() {
  auto body = StatementList({ttUntil});
  Expect(ttUntil);
  auto condition = Expression({ttSemiColon, ttEnd, ttElse, ttUntil}, daBoolean);
  return std::make_unique<TraRepeatLoop>(std::move(body), std::move(condition));
}

// ---- expressions ----

std::unique_ptr<TraExpression> TraCompiler::Expression(TraTokenSet endSet, TraDataType returnType) {
  const TraToken& start = Peek();
  auto root = Simple(endSet);
  if (!AtEnd()) {
    const TraToken& token = Peek();
    if (!endSet.Contains(token.Kind)) Fail(token.Kind == ttRParen ? raUnbalancedParenthesis : raMisplacedToken, &token);
  }
  if (!raTypesCompatible(root->DataType(), returnType)) Fail(raIncompatibleTypes, &start);
  return root;
}

std::unique_ptr<TraExpression> TraCompiler::Combine(TraTokenType op, const TraToken& at, std::unique_ptr<TraExpression> left,
                                                    std::unique_ptr<TraExpression> right) {
  if (!raTypesCompatible(left->DataType(), right->DataType())) Fail(raIncompatibleTypes, &at);
  return std::make_unique<TraOperation>(op, std::move(left), std::move(right));
}

std::unique_ptr<TraExpression> TraCompiler::Simple(TraTokenSet endSet) {
  auto left = Term(endSet);
  while (!AtEnd() && additiveOperators.Contains(Peek().Kind) && !endSet.Contains(Peek().Kind)) {
    const TraToken& op = Next();
    if (op.Kind == ttIs) {
      if (left->DataType() != daObject && left->DataType() != daClass) Fail(raIncompatibleTypes, &op);
      const TClassInfo& classInfo = ClassName(Peek());
      left = std::make_unique<TraIsTest>(std::move(left), classInfo);
      continue;
    }
    left = Combine(op.Kind, op, std::move(left), Term(endSet));
  }
  return left;
}

std::unique_ptr<TraExpression> TraCompiler::Term(TraTokenSet endSet) {
  auto left = Factor(endSet);
  while (!AtEnd() && (multiplicativeOperators.Contains(Peek().Kind) || PeekIs(ttAs)) && !endSet.Contains(Peek().Kind)) {
    const TraToken& op = Next();
    if (op.Kind == ttAs) {
      if (left->DataType() != daObject && left->DataType() != daClass) Fail(raIncompatibleTypes, &op);
      const TClassInfo& classInfo = ClassName(Peek());
      left = std::make_unique<TraCast>(std::move(left), classInfo);
      continue;
    }
    left = Combine(op.Kind, op, std::move(left), Factor(endSet));
  }
  return left;
}

std::unique_ptr<TraExpression> TraCompiler::Factor(TraTokenSet endSet) {
  const TraToken& token = Peek();
  TNestingGuard guard(*this, token);
  switch (token.Kind) {
    case ttNumber:
      ++cursor;
      if (token.DataType == daInteger) return std::make_unique<TraLiteral>(std::make_unique<TraIntegerValue>(token.IntegerValue));
      return std::make_unique<TraLiteral>(std::make_unique<TraExtendedValue>(token.FloatValue));
    case ttString:
      ++cursor;
      return std::make_unique<TraLiteral>(std::make_unique<TraStringValue>(token.Text));
    case ttIdentifier:
      ++cursor;
      return Name(token);
    case ttType:
      Fail(raTypeNotValue, &token);
    case ttLParen: {
      ++cursor;
      auto inner = Simple({ttRParen});
      const TraToken& close = Peek();
      if (close.Kind != ttRParen) Fail(raMisplacedToken, &close);
      ++cursor;
      if (PeekIs(ttPeriod) && inner->ObjectClass()) return MemberChain(std::move(inner), nullptr, endSet);
      return inner;
    }
    case ttPlus:
    case ttMinus:
    case ttNot: {
      ++cursor;
      const TraTokenType op = token.Kind == ttPlus ? ttUnaryPlus : token.Kind == ttMinus ? ttUnaryMinus : ttNot;
      return std::make_unique<TraOperation>(op, Factor(endSet), nullptr);
    }
    case ttRParen:
      if (!endSet.Contains(ttRParen)) Fail(raUnbalancedParenthesis, &token);
      [[fallthrough]];
    default:
      Fail(raExpectedToken, &token, operandStarts);
  }
}

std::unique_ptr<TraExpression> TraCompiler::Name(const TraToken& name) {
  const std::string& text = name.Text;
  if (TraVariableValue* variable = FindTarget(text)) {
    auto reference = std::make_unique<TraVariableRef>(*variable);
    if (PeekIs(ttPeriod) && reference->ObjectClass()) return MemberChain(std::move(reference), nullptr, {});
    return reference;
  }
  if (TraVariableValue* constant = FindConstant(text)) return std::make_unique<TraVariableRef>(*constant);
  if (auto value = raBuiltInConstant(text)) return std::make_unique<TraLiteral>(std::move(value));
  if (TraProgram* called = FindProgram(text); called && called->ProgramType() == ttFunction) return CallOf(name, *called);
  TraRoutine routine;
  if (raFindFunction(text, routine)) return CallOf(name, routine);
  int ordinal;
  if (const TEnumTypeInfo* type = raFindEnumValue(text, ordinal)) {
    if (type->Name() == "Boolean") return std::make_unique<TraLiteral>(std::make_unique<TraBooleanValue>(ordinal != 0));
    return std::make_unique<TraLiteral>(std::make_unique<TraEnumValue>(type, static_cast<uint8_t>(ordinal)));
  }
  if (auto object = ObjectName(name)) return MemberChain(std::move(object), nullptr, {});
  Fail(raUndeclared, &name);
}

std::vector<std::unique_ptr<TraExpression>> TraCompiler::Arguments(const std::vector<TraParameterInfo>& parameters) {
  std::vector<std::unique_ptr<TraExpression>> arguments;
  if (parameters.empty()) return arguments;
  Expect(ttLParen);
  for (size_t i = 0; i < parameters.size(); ++i) {
    const bool last = i + 1 == parameters.size();
    const TraToken& start = Peek();
    auto argument = Expression({ttComma, ttRParen}, daUnknown);
    if (!raTypesCompatible(parameters[i].DataType, argument->DataType())) Fail(raIncompatibleTypes, &start);
    arguments.push_back(std::move(argument));
    Expect(last ? ttRParen : ttComma);
  }
  return arguments;
}

std::unique_ptr<TraExpression> TraCompiler::CallOf(const TraToken& name, TraProgram& called) {
  if (!called.IsCompiled() && !called.IsCompiling()) Fail(raUndeclared, &name);
  std::vector<TraParameterInfo> parameters;
  for (int i = 0; i < called.ParamCount(); ++i)
    parameters.push_back({called.Param(i).VarName(), called.Param(i).DataType(), {}, called.Param(i).IsByReference});
  auto arguments = Arguments(parameters);
  program.LinkCall(called);
  return std::make_unique<TraProgramCall>(called, std::move(arguments));
}

std::unique_ptr<TraExpression> TraCompiler::CallOf(const TraToken&, const TraRoutine& routine) {
  auto arguments = Arguments(routine.Signature->Parameters);
  return std::make_unique<TraSystemCall>(*routine.Function, routine.Signature->ResultType, routine.Signature->Parameters,
                                         std::move(arguments));
}

// ---- objects ----

const TClassInfo& TraCompiler::ClassName(const TraToken& name) {
  if (name.Kind != ttIdentifier) Fail(raExpectedToken, &name, {ttIdentifier});
  const TClassInfo* classInfo = FindClassByName(name.Text);
  if (!classInfo) Fail(raUndeclared, &name);
  ++cursor;
  return *classInfo;
}

std::unique_ptr<TraExpression> TraCompiler::ObjectName(const TraToken& name) {
  if (program.OnObjectLookup) {
    if (TObject* object = program.OnObjectLookup(program, name.Text)) {
      TraProgram* owner = &program;
      return std::make_unique<TraNamedObject>(name.Text, object->ClassType(), [owner](const std::string& objectName) {
        return owner->OnObjectLookup ? owner->OnObjectLookup(*owner, objectName) : nullptr;
      });
    }
  }
  const TClassInfo* classInfo = FindClassByName(name.Text);
  if (!classInfo) return nullptr;
  if (Accept(ttLParen)) {
    // Class(object): a cast, nil when the object is of another class.
    const TraToken& start = Peek();
    auto inner = Simple({ttRParen});
    if (inner->DataType() != daObject && inner->DataType() != daClass) Fail(raIncompatibleTypes, &start);
    Expect(ttRParen);
    return std::make_unique<TraCast>(std::move(inner), *classInfo);
  }
  return std::make_unique<TraClassLiteral>(*classInfo);
}

std::unique_ptr<TraExpression> TraCompiler::MemberChain(std::unique_ptr<TraExpression> base,
                                                        std::unique_ptr<TraStatement>* assignment, TraTokenSet endSet) {
  while (PeekIs(ttPeriod)) {
    ++cursor;
    const TraToken& member = Peek();
    if (member.Kind != ttIdentifier) Fail(raExpectedToken, &member, {ttIdentifier});
    ++cursor;
    const TClassInfo* classInfo = base->ObjectClass();
    TraPropRec rec;
    if (!classInfo || !TraClassManager::Instance().GetMemberRec(*classInfo, member.Text, rec) || rec.IsEvent())
      Fail(raExpectedToken, &member, {ttIdentifier});
    // Constructors are called on a class, everything else on an object.
    const bool onClass = dynamic_cast<TraClassLiteral*>(base.get()) != nullptr;
    if (rec.IsConstructor() != onClass) Fail(raIncompatibleTypes, &member);
    std::vector<TraParameterInfo> parameters;
    for (int i = 0; i < rec.Params.Count(); ++i) {
      const TraParamRec& param = rec.Params[i];
      if (SameText(param.Name, "Result") || (rec.IsConstructor() && SameText(param.Name, "Class"))) continue;
      parameters.push_back({param.Name, param.DataType, param.TypeName, param.IsVar});
    }
    std::vector<std::unique_ptr<TraExpression>> arguments;
    if (rec.IsArrayProp()) {
      Expect(ttLBracket);
      for (size_t i = 0; i < parameters.size(); ++i) {
        const TraToken& start = Peek();
        auto index = Expression({ttComma, ttRBracket}, daUnknown);
        if (!raTypesCompatible(parameters[i].DataType, index->DataType())) Fail(raIncompatibleTypes, &start);
        arguments.push_back(std::move(index));
        Expect(i + 1 == parameters.size() ? ttRBracket : ttComma);
      }
    } else if (rec.DataType == daMethod) {
      arguments = Arguments(parameters);
    }
    const bool writable = rec.DataType != daMethod || rec.IsArrayProp();
    auto access = std::make_unique<TraMemberAccess>(std::move(base), rec, std::move(arguments));
    if (assignment && writable && PeekIs(ttColonEqual)) {
      const TraToken& assign = Next();
      if (rec.ReadOnly) Fail(raMisplacedToken, &assign);
      auto value = Expression(endSet, access->DataType());
      *assignment = std::make_unique<TraMemberAssignment>(std::move(access), std::move(value));
      return nullptr;
    }
    base = std::move(access);
  }
  return base;
}

std::unique_ptr<TraStatement> TraCompiler::ChainStatement(std::unique_ptr<TraExpression> base, TraTokenSet endSet) {
  std::unique_ptr<TraStatement> assignment;
  auto chain = MemberChain(std::move(base), &assignment, endSet);
  if (assignment) return assignment;
  if (PeekIs(ttColonEqual)) Fail(raMisplacedToken, &Peek());
  return chain;
}

// ---- names ----

TraVariableValue* TraCompiler::FindTarget(const std::string& name) {
  if (program.result && program.programType == ttFunction && SameText(name, "Result")) return program.result.get();
  for (const auto& parameter : program.parameters)
    if (SameText(parameter->VarName(), name)) return parameter.get();
  for (const auto& variable : program.variables)
    if (SameText(variable->VarName(), name)) return variable.get();
  if (program.OnVariableLookup) return program.OnVariableLookup(program, name);
  return nullptr;
}

TraVariableValue* TraCompiler::FindConstant(const std::string& name) {
  for (const auto& constant : program.constants)
    if (SameText(constant->VarName(), name)) return constant.get();
  if (program.OnConstantLookup) return program.OnConstantLookup(program, name);
  return nullptr;
}

TraProgram* TraCompiler::FindProgram(const std::string& name) {
  if (!program.OnProgramLookup) return nullptr;
  TraProgram* called = program.OnProgramLookup(program, name);
  // Its heading gives the type and the parameters; one that is being
  // compiled (a program calling itself) has read its heading already.
  if (called && !called->IsCompiling()) called->Compile(true);
  return called;
}

// ---- the program ----

const TClassInfo& TraProgram::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TraProgram>("TraProgram")
          .Property("ChildType", &TraProgram::ChildType, &TraProgram::ChildType)
          .Default(0)
          .Property("ProgramName", &TraProgram::ProgramName, &TraProgram::SetProgramName)
          .Property("ProgramType", &TraProgram::ProgramType, &TraProgram::SetProgramType)
          .Property("IsFunctionType", &TraProgram::IsFunctionType, &TraProgram::isFunctionType)
          .Property("Source", &TraProgram::SourceLines, &TraProgram::SetSourceLines)
          .Property("SourceModified", &TraProgram::SourceModified, &TraProgram::SourceModified)
          .Property("Hidden", &TraProgram::Hidden, &TraProgram::Hidden)
          .Property("Locked", &TraProgram::Locked, &TraProgram::Locked)
          .Build();
  return info;
}

RTL_DEFINE_CLASS(TraDeclarationProgram)
RTL_DEFINE_CLASS(TraConstProgram)
RTL_DEFINE_CLASS(TraVarProgram)

TraProgram::TraProgram() : lines(std::make_unique<TStringList>()) {
  // Lines changed in place (a stream filling them, an editor) change the
  // source as SetSource does.
  lines->OnChange = [this](TStrings&) {
    if (!replacingLines && !compiling) SourceChanged();
  };
}

TraProgram::~TraProgram() {
  UnlinkCalls();
  // Callers hold call nodes that point here: they compile again first.
  for (TraProgram* caller : std::vector<TraProgram*>(callers)) caller->Discard();
}

std::string TraProgram::Source() const {
  std::string text;
  for (int i = 0; i < lines->Count(); ++i) {
    if (i > 0) text += lineBreak;
    text += lines->Get(i);
  }
  return text;
}

void TraProgram::SetSourceLines(TStrings* value) {
  if (value != lines.get()) SetSource(value ? value->Text() : std::string());
}

void TraProgram::SetSource(const std::string& text) {
  std::vector<std::string> newLines;
  if (!text.empty()) {
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
        newLines.push_back(text.substr(start, i - start));
        if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
      }
    }
    // A final line break ends the last line; it starts no empty one.
    if (text.back() == '\r' || text.back() == '\n') newLines.pop_back();
  }
  bool same = static_cast<int>(newLines.size()) == lines->Count();
  for (size_t i = 0; same && i < newLines.size(); ++i) same = newLines[i] == lines->Get(static_cast<int>(i));
  if (same) return;
  replacingLines = true;
  lines->Clear();
  for (const std::string& line : newLines) lines->Add(line);
  replacingLines = false;
  if (compiling) return;
  SourceChanged();
}

void TraProgram::SourceChanged() {
  bool notify = true;
  if (OnSourceChange) OnSourceChange(*this, notify);
  SourceModified = true;
  bodyKnown = false;
  Discard({.TellCallers = notify});
}

void TraProgram::Discard(TraDiscarding how) {
  // A running program's statements are in use: it never returns to
  // uncompiled under itself.
  ORV_ASSERT(!running);
  compiled = false;
  UnlinkCalls();
  statements.clear();
  constants.clear();
  variables.clear();
  parameters.clear();
  result.reset();
  isFunctionType = false;
  if (!how.KeepErrors) errors.clear();
  if (how.TellCallers)
    for (TraProgram* caller : std::vector<TraProgram*>(callers)) caller->Discard();
}

void TraProgram::LinkCall(TraProgram& called) {
  if (std::find(calledPrograms.begin(), calledPrograms.end(), &called) != calledPrograms.end()) return;
  calledPrograms.push_back(&called);
  called.callers.push_back(this);
}

void TraProgram::UnlinkCalls() {
  for (TraProgram* called : calledPrograms) {
    auto& list = called->callers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  calledPrograms.clear();
}

void TraProgram::SetDefaultSource() {
  if (programType == ttFunction)
    SetSource("function " + programName + ": Variant;" + lineBreak + "begin" + lineBreak + lineBreak + "  Result := " +
              lineBreak + lineBreak + "end;");
  else
    SetSource("procedure " + programName + ";" + lineBreak + "begin" + lineBreak + lineBreak + "end;");
}

std::string TraProgram::GetText() const { return lines->Count() == 0 ? std::string() : lines->Get(0); }

std::string TraProgram::SourceWithoutHeading() const {
  std::string text;
  for (int i = 1; i < lines->Count(); ++i) {
    if (i > 1) text += lineBreak;
    text += lines->Get(i);
  }
  return text;
}

void TraProgram::ComputeBodyRange() {
  if (bodyKnown) return;
  bodyKnown = true;
  bodyFirst = 0;
  bodyLast = -1;
  if (lines->Count() == 0) return;
  TraParser parser;
  parser.Tokenize(Source());
  int firstBegin = -1, lastEnd = -1;
  for (int i = 0; i < parser.TokenCount(); ++i) {
    const TraToken& token = parser.Token(i);
    if (token.Kind == ttBegin && firstBegin < 0) firstBegin = token.Line;
    if (token.Kind == ttEnd) lastEnd = token.Line;
  }
  const int lastIndex = lines->Count() - 1;
  // The line after "begin" and the line before the last "end", from 0.
  bodyFirst = std::clamp(firstBegin < 0 ? 0 : firstBegin, 0, lastIndex);
  bodyLast = std::max(bodyFirst, std::min(lastEnd < 0 ? lastIndex : lastEnd - 2, lastIndex));
}

int TraProgram::BodyFirstLine() {
  ComputeBodyRange();
  return bodyFirst;
}

int TraProgram::BodyLastLine() {
  ComputeBodyRange();
  return bodyLast;
}

void TraProgram::ReplaceBody(const std::string& text) {
  ComputeBodyRange();
  std::string source;
  for (int i = 0; i < std::min(bodyFirst, lines->Count()); ++i) source += lines->Get(i) + lineBreak;
  source += text;
  for (int i = bodyLast + 1; i < lines->Count() && bodyLast >= 0; ++i) source += lineBreak + lines->Get(i);
  SetSource(source);
}

bool TraProgram::Compile(bool onlyIfNeeded, bool headerOnly) {
  if (onlyIfNeeded && compiled) return true;
  if (compiling) return compiled;
  compiling = true;
  // What raises here (a routine whose declaration does not compile, an
  // owner's hook) leaves the program uncompiled, not half-built or marked
  // as compiling for good.
  struct TCompiling {
    TraProgram& program;
    bool done = false;
    ~TCompiling() {
      if (!done) program.Discard({.KeepErrors = true});
      program.compiling = false;
    }
  } guard{*this};
  Discard();
  programType = ttProcedure;
  bool handled = false;
  if (OnBeforeCompile) OnBeforeCompile(*this, handled);
  if (handled) {
    guard.done = true;
    return compiled;
  }
  TraCompiler compiler(*this, headerOnly);
  const bool success = compiler.Run() && errors.empty();
  if (success) {
    compiled = true;
    isFunctionType = programType == ttFunction;
  } else if (!headerOnly || !errors.empty()) {
    Discard({.KeepErrors = true});
  }
  if (OnAfterCompile) OnAfterCompile(*this);
  guard.done = true;
  return compiled;
}

TraVariableValue* TraProgram::FindDeclared(const std::string& name) const {
  for (const auto& constant : constants)
    if (SameText(constant->VarName(), name)) return constant.get();
  for (const auto& variable : variables)
    if (SameText(variable->VarName(), name)) return variable.get();
  return nullptr;
}

const TraValue* TraProgram::Execute(const TraRunOptions& options) {
  TraRun run(options);
  if (TraObjectPool::Current()) return Run(run);
  // A run on its own owns what it makes: whatever it did not free goes
  // with it, also when it fails half-way.
  TraObjectPool made;
  TraObjectPoolScope scope(made);
  return Run(run);
}

const TraValue* TraProgram::Run(TraRun& run) {
  if (!compiled || running || declarationOnly) return nullptr;
  struct TRunning {
    bool& flag;
    explicit TRunning(bool& f) : flag(f) { flag = true; }
    ~TRunning() { flag = false; }
  } guard(running);
  for (const auto& statement : statements) statement->Execute(run);
  return result ? &result->Bound() : nullptr;
}

void TraConstProgram::SetDefaultSection() {
  SetSource("procedure " + ProgramName() + ";" + lineBreak + "const" + lineBreak + "   ");
}

void TraVarProgram::SetDefaultSection() {
  SetSource("procedure " + ProgramName() + ";" + lineBreak + "var" + lineBreak + "   ");
}
