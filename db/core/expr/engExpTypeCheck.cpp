// The type checker's walk: string constants tried as columns, columns,
// operators, nested SELECTs and extended predicates, and the boolean-context
// rewrite. Functions and data type arguments have their own units.

#include <algorithm>
#include <limits>

#include "engErrors.h"
#include "engExpDateTime.h"
#include "engExpShortText.h"
#include "engExpSubSelect.h"
#include "engExpTypeChecker.h"
#include "engExpTypes.h"

namespace {

bool IsLogicalParent(const TExpToken* parent) {
  if (!parent) return true;
  if (parent->Kind == nkUnary) return parent->Code == opNot;
  return parent->Kind == nkBinary && (parent->Code == opAnd || parent->Code == opOr);
}

const char* PredicateName(uint8_t code) {
  switch (code) {
    case opLike: return "LIKE";
    case opNotLike: return "NOT LIKE";
    case opBetween: return "BETWEEN";
    case opNotBetween: return "NOT BETWEEN";
    case opNotIn:
    case opNotInSelect: return "NOT IN";
    default: return "IN";
  }
}

}  // namespace

const char* KindWord(const TExpToken* node) {
  switch (node->Kind) {
    case nkColumn: return "column";
    case nkFunction: return "function";
    case nkConstant: return "constant";
    default: return "expression";
  }
}

bool IntegerConstant(const TExpToken* node, int64_t& value) {
  if (!node || node->Kind != nkConstant || node->IsNull) return false;
  switch (node->DataType) {
    case dtSmallInt: value = node->AsSmallInt(); return true;
    case dtInteger: value = node->AsInteger(); return true;
    case dtWord: value = node->AsWord(); return true;
    default: return false;
  }
}

bool IsStringConstant(const TExpToken* node) {
  return node && node->Kind == nkConstant && node->DataType == dtString;
}

bool IsConstantValue(const TExpToken* node) {
  if (node->Kind == nkConstant) return true;
  return node->Kind == nkUnary && (node->Code == opNegate || node->Code == opUnaryPlus) && node->First &&
         node->First->Kind == nkConstant;
}

int32_t ClampedSize(int64_t size) {
  return static_cast<int32_t>(std::clamp<int64_t>(size, 1, std::numeric_limits<int32_t>::max()));
}

void CopyTypeOf(TExpToken* node, const TExpToken* source) {
  node->DataType = source->DataType;
  node->SubType = source->SubType;
  node->SetDataSize(source->DataSize);
  node->Scale = source->Scale;
}

void TExpTypeChecker::Raise(const std::string& message) const {
  RaiseEngineError(context.ErrorCode, context.TableName, {}, {}, message);
}

void TExpTypeChecker::RaiseIn(const std::string& prefix) const { Raise(prefix + context.ContextName); }

void TExpTypeChecker::Check(bool booleanContext, TExpToken* parent, TExpToken* node) {
  node->Parent = parent;
  if (node->Kind == nkConstant && node->DataType == dtString && !node->IsParam) TryStringAsColumn(node);
  switch (node->Kind) {
    case nkUnary:
      if (node->First) Check(booleanContext, node, node->First);
      CheckUnary(node);
      break;
    case nkBinary:
    case nkStringCompare:
      Check(booleanContext, node, node->First);
      Check(booleanContext, node, node->Second);
      CheckBinary(node);
      break;
    case nkColumn:
      ResolveColumn(node);
      break;
    case nkSubSelect:
      CheckSubSelect(node);
      break;
    case nkFunction:
      CheckFunction(node);
      break;
    case nkPredicate:
      CheckPredicate(node);
      break;
    default:
      break;
  }
  bool rewritable = node->Kind == nkColumn || (node->Kind == nkFunction && (node->Code == fnCast || node->Code == fnIf));
  if (booleanContext && rewritable && node->DataType == dtBoolean && IsLogicalParent(parent))
    RewriteAsTrueComparison(node);
}

// A quoted string that names a column is that column.
void TExpTypeChecker::TryStringAsColumn(TExpToken* node) {
  node->Name = ShortText(node->Text);
  if (node->Text.empty() || node->Text == "*") return;
  node->SavedType = node->DataType;
  node->SavedSubType = node->SubType;
  node->SavedSize = node->DataSize;
  node->SavedScale = node->Scale;
  if (context.Resolver && context.Resolver->ResolveColumn(*node)) {
    node->Kind = nkColumn;
    node->FromString = true;
    return;
  }
  RevertToString(node);
}

void TExpTypeChecker::RevertToString(TExpToken* node) {
  node->Kind = nkConstant;
  node->FromString = false;
  node->Name.clear();
  node->CorrelationName.clear();
  node->FieldNo = 0;
  node->SourceTable = nullptr;
  node->DataType = node->SavedType;
  node->SubType = node->SavedSubType;
  node->SetDataSize(node->SavedSize);
  node->Scale = node->SavedScale;
}

void TExpTypeChecker::ResolveColumn(TExpToken* node) {
  if (node->FromString || node->Name == "*") return;
  if (context.Resolver && context.Resolver->ResolveColumn(*node)) return;
  Raise("Invalid column name '" + node->Name + "'" + " or table correlation name " + "'" + node->CorrelationName +
        "'" + " specified in " + context.ContextName);
}

void TExpTypeChecker::ConvertDateText(TExpToken* text, const TExpToken* other) {
  if (!TextToDateTimeValue(text->Text, other->DataType, *context.FormatSettings, {text->Value, 8}))
    Raise("Date, time, or timestamp expression expected, instead found '" + text->Text + "'" + " in " +
          context.ContextName);
  text->IsNull = false;
  CopyTypeOf(text, other);
}

void TExpTypeChecker::CheckUnary(TExpToken* node) {
  TExpToken* operand = node->First;
  if (!operand || !IsUnaryTypeCompatible(node->Code, operand->DataType))
    Raise("Type mismatch between '" + node->Text + "'" + " operator and " + "'" + (operand ? operand->Text : "") +
          "'" + " in " + context.ContextName);
  node->DataType = UnaryResultType(node->Code, operand->DataType);
  node->SubType = UnaryResultSubtype(node->Code, operand->DataType, operand->SubType);
  node->SetDataSize(operand->DataSize);
  node->Scale = operand->Scale;
}

void TExpTypeChecker::CheckBinary(TExpToken* node) {
  TExpToken* left = node->First;
  TExpToken* right = node->Second;
  if (left->Kind == nkColumn && right->Kind == nkColumn) {
    if (right->FromString)
      RevertToString(right);
    else if (left->FromString)
      RevertToString(left);
  }
  // Only a string constant is read as a date: a string column stays what it
  // is and meets the type check below.
  if (IsDateTimeType(left->DataType) && IsStringConstant(right))
    ConvertDateText(right, left);
  else if (IsDateTimeType(right->DataType) && IsStringConstant(left))
    ConvertDateText(left, right);
  if (!IsOperatorTypeCompatible(node->Code, left->DataType, left->SubType, right->DataType, right->SubType))
    Raise(std::string("Type mismatch between ") + KindWord(left) + " " + "'" + left->Text + "'" + " and " +
          KindWord(right) + " " + "'" + right->Text + "'" + " in " + context.ContextName);
  node->DataType = BinaryResultType(node->Code, left->DataType, right->DataType);
  node->SubType = BinaryResultSubtype(node->Code, left->DataType, left->SubType, right->DataType, right->SubType);
  if (node->Code == opAdd && IsTextType(left->DataType, left->SubType)) {
    node->SetDataSize(ClampedSize(int64_t{left->DataSize} - 1 + right->DataSize));
    node->Scale = 0;
  } else {
    node->SetDataSize(std::max(left->DataSize, right->DataSize));
    node->Scale = std::max(left->Scale, right->Scale);
  }
}

void TExpTypeChecker::CheckSubSelect(TExpToken* node) {
  TExpNestedQuery* query = node->NestedQuery;
  if (query && query->ResultColumnCount() > 1) RaiseIn("More than 1 column for sub-select  specified in ");
  if (query && query->ResolveColumnType(*node)) return;
  Raise("Invalid column name '" + node->Name + "'" + " or table correlation name " + "'" + node->CorrelationName +
        "'" + " specified in " + context.ContextName);
}

void TExpTypeChecker::CheckPredicate(TExpToken* node) {
  Check(false, node, node->First);
  if (node->Code == opLike || node->Code == opNotLike)
    CheckLike(node);
  else
    CheckValueList(node);
  node->DataType = dtBoolean;
  node->SubType = stNone;
  node->SetDataSize(2);
  node->Scale = 0;
}

void TExpTypeChecker::CheckLike(TExpToken* node) {
  std::string name = PredicateName(node->Code);
  TExpToken* tested = node->First;
  TExpToken* pattern = node->Second;
  Check(false, node, pattern);
  if (!IsTextType(tested->DataType, tested->SubType))
    Raise("Type mismatch between " + name + " operator and expression " + "'" + tested->Text + "'" + " in " +
          context.ContextName);
  if (pattern->Kind != nkConstant)
    Raise("Constant expression expected after " + name + " operator, " + "instead found " + "'" + pattern->Text +
          "'" + " in " + context.ContextName);
  if (pattern->DataType != dtString)
    Raise("Type mismatch between " + name + " operator and expression " + "'" + pattern->Text + "'" + " in " +
          context.ContextName);
}

// BETWEEN bounds, IN values, or the nested SELECT of IN.
void TExpTypeChecker::CheckValueList(TExpToken* node) {
  std::string name = PredicateName(node->Code);
  TExpToken* tested = node->First;
  bool subSelect = node->Code == opInSelect || node->Code == opNotInSelect;
  for (TExpToken* element = node->Second; element; element = element->Next) {
    Check(false, node, element);
    if (!subSelect) {
      if (IsDateTimeType(tested->DataType) && IsStringConstant(element)) ConvertDateText(element, tested);
      if (!IsConstantValue(element))
        Raise("Constant expression expected after " + name + " operator, " + "instead found " + "'" +
              element->Text + "'" + " in " + context.ContextName);
    }
    if (!IsOperatorTypeCompatible(opEqual, tested->DataType, tested->SubType, element->DataType, element->SubType))
      Raise("Type mismatch between " + name + " operator and expression " + "'" + element->Text + "'" + " in " +
            context.ContextName);
  }
}

// The node becomes node = TRUE, its old self the left side.
void TExpTypeChecker::RewriteAsTrueComparison(TExpToken* node) {
  TExpTreePtr copy(NewToken());
  TExpTreePtr trueConstant(NewToken());
  copy->Assign(*node);
  copy->Parent = node;
  copy->Next = nullptr;
  for (TExpToken* child : {copy->First, copy->Second, copy->Third})
    for (TExpToken* element = child; element; element = element->Next) element->Parent = copy.get();
  trueConstant->Kind = nkConstant;
  trueConstant->Text = "True";
  trueConstant->DataType = dtBoolean;
  trueConstant->SetDataSize(2);
  trueConstant->SetBoolean(true);
  trueConstant->Parent = node;

  TExpToken* parent = node->Parent;
  TExpToken* next = node->Next;
  node->Clear();
  node->Parent = parent;
  node->Next = next;
  node->Kind = nkBinary;
  node->Code = opEqual;
  node->Text = "=";
  node->DataType = dtBoolean;
  node->SetDataSize(2);
  node->First = copy.release();
  node->Second = trueConstant.release();
}

void TypeCheckExpression(const TExpCheckContext& context, bool booleanContext, TExpToken* parent, TExpToken* node) {
  TExpTypeChecker(context).Check(booleanContext, parent, node);
}

void CheckCastArguments(const TExpCheckContext& context, TExpToken* typeNode) {
  TExpTypeChecker(context).CheckCastArguments(typeNode);
}
