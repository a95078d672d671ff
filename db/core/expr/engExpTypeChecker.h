#pragma once
// The type checker's walk, shared by its units: operators and predicates
// (engExpTypeCheck.cpp), functions (engExpTypeCheckFunctions.cpp) and data
// type arguments (engExpCastCheck.cpp).

#include <cstdint>
#include <string>

#include "engExpTypeCheck.h"

class TExpTypeChecker {
public:
  explicit TExpTypeChecker(const TExpCheckContext& context) : context(context) {}

  void Check(bool booleanContext, TExpToken* parent, TExpToken* node);
  void CheckCastArguments(TExpToken* typeNode);

private:
  const TExpCheckContext& context;

  [[noreturn]] void Raise(const std::string& message) const;
  // prefix (ending with " in "), the context.
  [[noreturn]] void RaiseIn(const std::string& prefix) const;

  void TryStringAsColumn(TExpToken* node);
  void RevertToString(TExpToken* node);
  void ResolveColumn(TExpToken* node);
  // A string constant read as a date, time or timestamp of the other side.
  void ConvertDateText(TExpToken* text, const TExpToken* other);

  void CheckUnary(TExpToken* node);
  void CheckBinary(TExpToken* node);
  void CheckSubSelect(TExpToken* node);
  void CheckPredicate(TExpToken* node);
  void CheckLike(TExpToken* node);
  void CheckValueList(TExpToken* node);
  void CheckFunction(TExpToken* node);
  void CheckSubstring(TExpToken* node);
  void CheckSearchFunction(TExpToken* node);
  void CheckReplace(TExpToken* node);
  void CheckTrim(TExpToken* node);
  void CheckCast(TExpToken* node);
  void CheckRound(TExpToken* node);
  void CheckIf(TExpToken* node);
  void RewriteAsTrueComparison(TExpToken* node);
};

// "expression", "column", "function" or "constant", as messages name a node.
const char* KindWord(const TExpToken* node);
// A non-null whole-number constant and its value.
bool IntegerConstant(const TExpToken* node, int64_t& value);
// A string constant (possibly the NULL string).
bool IsStringConstant(const TExpToken* node);
// A constant, or a sign applied to one.
bool IsConstantValue(const TExpToken* node);
// A computed value size kept from 1 (the zero byte of an empty string) to
// the 32-bit limit.
int32_t ClampedSize(int64_t size);
void CopyTypeOf(TExpToken* node, const TExpToken* source);
