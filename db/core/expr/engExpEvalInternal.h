#pragma once
// What the parts of expression evaluation share: operators, functions and
// the reading and storing of values in result nodes.

#include <cstdint>
#include <string>
#include <string_view>

#include "engExpEval.h"

// Comparison operators "=" to "<=" by the null rules and value comparison.
bool ApplyComparison(const TExpEvalContext& context, uint8_t op, const TExpToken& left, const TExpToken& right);
// "+", "-", "*", "/" into result, whose type the checker set.
void ApplyArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result);
// Unary "-" of a value that is not NULL, into result of the same type.
void NegateValue(const TExpToken& operand, TExpToken& result);

void EvaluateFunction(const TExpEvalContext& context, const TExpToken& node, TExpToken& result);
// UPPER, LOWER, SUBSTRING, REPLACE, POS, OCCURS and the TRIM forms.
void EvaluateTextFunction(const TExpEvalContext& context, const TExpToken& node, TExpToken& result);

// Values in result nodes.
void SetBooleanResult(TExpToken& result, bool value);
// Small integer, integer and word; also dates and times (32-bit).
int64_t WholeValue(const TExpToken& node);
// Any number, as a float.
double FloatValue(const TExpToken& node);
// A whole number or a BCD value in units of 1/10000.
int64_t CurrencyUnits(const TExpToken& node);
// Stores value in the result's whole-number, date or time encoding; raises
// when it does not fit.
void StoreWhole(TExpToken& result, int64_t value, std::string_view operation);
// Units of 1/10000 stored as BCD at the given scale; raises when the
// stored form cannot hold them.
void StoreCurrencyUnits(TExpToken& result, int64_t units, uint8_t scale, std::string_view operation);
// The nearest whole number, ties to even; raises beyond 64 bits.
int64_t RoundToWhole(double value, std::string_view operation);
// Sizes of text values count their zero byte and stay within 32 bits.
inline constexpr int64_t MaxTextValueSize = INT32_MAX;
// The text and its zero byte; the size grows when the text needs more, and
// a text beyond MaxTextValueSize raises the overflow.
void StoreText(TExpToken& result, std::string_view text);
// An empty text is NULL, as everywhere in the engine.
void StoreTextOrNull(TExpToken& result, std::string_view text);
// The value and null flag of source, in result's type.
void TakeValue(TExpToken& result, const TExpToken& source);

// operation names what overflowed: "'*' operator", "ABS function".
[[noreturn]] void RaiseOverflow(std::string_view operation);
