// Type checking of functions and aggregates.

#include <algorithm>

#include "engExpTypeChecker.h"
#include "engExpTypes.h"

namespace {

bool IsAggregate(uint8_t code) { return code >= fnSum && code <= fnAvg; }

bool IsExtract(uint8_t code) { return code >= fnExtractYear && code <= fnExtractSecond; }

bool IsTrim(uint8_t code) { return code >= fnTrimLeading && code <= fnTrimBoth; }

void SetIntegerResult(TExpToken* node) {
  node->DataType = dtInteger;
  node->SubType = stNone;
  node->SetDataSize(4);
}

}  // namespace

void TExpTypeChecker::CheckFunction(TExpToken* node) {
  uint8_t code = node->Code;
  if (code == fnIf) return CheckIf(node);
  Check(false, node, node->First);
  TExpToken* argument = node->First;
  if (IsAggregate(code)) {
    if (code == fnCount) return SetIntegerResult(node);
    if (!IsNumberType(argument->DataType) && !IsDateTimeType(argument->DataType))
      Raise(node->Text + " aggregate function " + "must contain a numeric, date, time, or timestamp expression in " +
            context.ContextName);
    CopyTypeOf(node, argument);
    return;
  }
  if (code == fnCast) return CheckCast(node);
  node->Scale = 0;
  if (IsExtract(code)) {
    if (!IsDateTimeType(argument->DataType))
      RaiseIn("FROM argument of EXTRACT function must be a date, time, or timestamp in ");
    return SetIntegerResult(node);
  }
  if (IsTrim(code)) return CheckTrim(node);
  switch (code) {
    case fnUpper:
    case fnLower:
      if (!IsTextType(argument->DataType, argument->SubType))
        Raise(std::string("Type mismatch between ") + (code == fnUpper ? "UPPER" : "LOWER") +
              " function and function argument in " + context.ContextName);
      node->DataType = argument->DataType;
      node->SubType = argument->SubType;
      node->SetDataSize(argument->DataSize);
      return;
    case fnSubstring:
      return CheckSubstring(node);
    case fnPos:
    case fnOccurs:
      return CheckSearchFunction(node);
    case fnReplace:
      return CheckReplace(node);
    case fnAbs:
      if (!IsNumberType(argument->DataType))
        RaiseIn("Expression argument of ABS function must be an integer or floating-point type in ");
      return SetIntegerResult(node);
    case fnRound:
      return CheckRound(node);
    default:
      return;
  }
}

// The size is at most what is left of the argument after the start: a
// longer FOR can never yield more, and it must not size the buffer.
void TExpTypeChecker::CheckSubstring(TExpToken* node) {
  TExpToken* argument = node->First;
  TExpToken* start = node->Second;
  TExpToken* length = start ? start->Next : nullptr;
  if (!IsTextType(argument->DataType, argument->SubType))
    RaiseIn("Expression argument of SUBSTRING function must be a string or memo in ");
  int64_t startValue = 0, lengthValue = 0;
  if (start) Check(false, node, start);
  if (!IntegerConstant(start, startValue)) RaiseIn("FROM argument of SUBSTRING function must be an integer constant in ");
  if (startValue < 1) RaiseIn("FROM argument of SUBSTRING function must be an integer constant greater than 0 in ");
  int64_t remaining = int64_t{argument->DataSize} - startValue;
  if (length) {
    Check(false, node, length);
    if (!IntegerConstant(length, lengthValue))
      RaiseIn("FOR argument of SUBSTRING function must be an integer constant in ");
    if (lengthValue < 1) RaiseIn("FOR argument of SUBSTRING function must be an integer constant greater than 0 in ");
    remaining = std::min(remaining, lengthValue);
  }
  node->DataType = argument->DataType;
  node->SubType = argument->SubType;
  node->SetDataSize(ClampedSize(remaining + 1));
}

void TExpTypeChecker::CheckSearchFunction(TExpToken* node) {
  bool pos = node->Code == fnPos;
  TExpToken* searched = node->First;
  TExpToken* search = node->Second;
  if (!IsTextType(searched->DataType, searched->SubType))
    RaiseIn(pos ? "Type mismatch between POS function and IN argument in "
                : "Type mismatch between OCCURS function and IN argument in ");
  if (search) Check(false, node, search);
  if (!IsStringConstant(search))
    RaiseIn(pos ? "Search string argument of POS function must be a string constant in "
                : "Search string argument of OCCURS function must be a string constant in ");
  SetIntegerResult(node);
}

void TExpTypeChecker::CheckReplace(TExpToken* node) {
  TExpToken* worked = node->First;
  TExpToken* search = node->Second;
  TExpToken* replacement = search ? search->Next : nullptr;
  if (!IsTextType(worked->DataType, worked->SubType))
    RaiseIn("IN argument of REPLACE function must be a string or memo in ");
  if (search) Check(false, node, search);
  if (!IsStringConstant(search)) RaiseIn("Search argument of REPLACE function must be a string constant in ");
  if (replacement) Check(false, node, replacement);
  if (!IsStringConstant(replacement)) RaiseIn("WITH argument of REPLACE function must be a string constant in ");
  node->DataType = worked->DataType;
  node->SubType = worked->SubType;
  node->SetDataSize(worked->DataSize);
}

void TExpTypeChecker::CheckTrim(TExpToken* node) {
  TExpToken* argument = node->First;
  TExpToken* character = node->Second;
  if (!IsTextType(argument->DataType, argument->SubType))
    RaiseIn("FROM argument of TRIM function must be a string or memo in ");
  if (character) Check(false, node, character);
  if (!IsStringConstant(character) || character->IsNull || character->DataSize != 2 || character->Value[0] == 0)
    RaiseIn("Trim character argument of TRIM function must be a single character constant in ");
  // A memo's text stays a memo, as long as it is.
  node->DataType = argument->DataType;
  node->SubType = argument->SubType;
  node->SetDataSize(argument->DataSize);
}

void TExpTypeChecker::CheckCast(TExpToken* node) {
  TExpToken* operand = node->First;
  if (!IsCastCompatible(node->DataType, operand->DataType))
    Raise(std::string("Type mismatch between ") + KindWord(operand) + " " + "'" + operand->Text + "'" +
          " and AS argument in " + context.ContextName);
  CheckCastArguments(node);
}

void TExpTypeChecker::CheckRound(TExpToken* node) {
  TExpToken* argument = node->First;
  TExpToken* places = node->Second;
  if (argument->DataType != dtFloat && argument->DataType != dtBcd)
    RaiseIn("Expression argument of ROUND function must be a floating-point type in ");
  if (places) {
    Check(false, node, places);
    int64_t value = 0;
    if (!IntegerConstant(places, value))
      RaiseIn("Decimal places argument of ROUND function must be an integer constant in ");
    if (value < 0 || value > 32)
      RaiseIn("Decimal places argument of ROUND function must be an integer constant between 0 and 32 in ");
  }
  node->DataType = dtFloat;
  node->SubType = stNone;
  node->SetDataSize(8);
}

void TExpTypeChecker::CheckIf(TExpToken* node) {
  TExpToken* condition = node->First;
  TExpToken* thenValue = node->Second;
  TExpToken* elseValue = node->Third;
  Check(true, node, condition);
  if (condition->DataType != dtBoolean) RaiseIn("First expression argument of IF function must be a boolean type in ");
  Check(false, node, thenValue);
  Check(false, node, elseValue);
  if (thenValue->DataType != elseValue->DataType || thenValue->SubType != elseValue->SubType)
    RaiseIn("Type mismatch between second and third IF expression arguments in ");
  node->DataType = thenValue->DataType;
  node->SubType = thenValue->SubType;
  node->SetDataSize(std::max(thenValue->DataSize, elseValue->DataSize));
  node->Scale = std::max(thenValue->Scale, elseValue->Scale);
}
