#pragma once
// The codes of the expression language: node kinds, operator and function
// codes, and the data types of values (the engine's field type codes).

#include <cstdint>

#include "engFieldTypes.h"

// Node kinds.
enum : uint8_t {
  nkUnary = 1,
  nkBinary = 2,
  nkStringCompare = 3,  // "=" or "<>" with compare length and case flag
  nkColumn = 4,         // also "*"
  nkConstant = 5,       // also NULL and parameters
  nkSubSelect = 6,
  nkFunction = 10,      // functions and aggregates
  nkPredicate = 12,     // LIKE, IN, BETWEEN and their NOT forms
};

// Operator and function codes.
enum : uint8_t {
  opIsNull = 1,
  opIsNotNull = 2,
  opEqual = 3,
  opNotEqual = 4,
  opGreater = 5,
  opLess = 6,
  opGreaterEqual = 7,
  opLessEqual = 8,
  opNot = 9,
  opAnd = 10,
  opOr = 11,
  opNegate = 15,
  opUnaryPlus = 16,
  opAdd = 17,  // also the concatenation "||"
  opSubtract = 18,
  opMultiply = 19,
  opDivide = 20,
  fnSum = 23,
  fnCount = 24,
  fnMin = 25,
  fnMax = 26,
  fnAvg = 27,
  opLike = 31,
  opIn = 32,
  opInSelect = 33,
  fnUpper = 35,
  fnLower = 36,
  opBetween = 40,
  opNotBetween = 41,
  opNotLike = 42,
  opNotIn = 43,
  opNotInSelect = 44,
  fnSubstring = 45,
  fnReplace = 46,
  fnPos = 47,
  fnOccurs = 48,
  fnTrimLeading = 49,
  fnTrimTrailing = 50,
  fnTrimBoth = 51,
  fnCast = 52,
  fnExtractYear = 53,
  fnExtractMonth = 54,
  fnExtractDay = 55,
  fnExtractDayOfWeek = 56,
  fnExtractHour = 57,
  fnExtractMinute = 58,
  fnExtractSecond = 59,
  fnIf = 60,
  fnAbs = 61,
  fnRound = 62,
};

// Data types and subtypes. Values are held in the field encodings:
// string: characters and a zero byte; date: int32 day number, 1 January of
// year 1 being day 1; boolean: uint16 1 or 0; small integer int16; integer
// int32; float double; BCD: int64 stored BCD at the node's scale; time:
// int32 milliseconds since midnight; timestamp: double, day number times
// 86,400,000 plus the milliseconds; word uint16.
enum : uint8_t {
  dtNone = 0,  // the NULL constant, unbound parameters
  dtString = 1,
  dtDate = 2,
  dtBlob = 3,
  dtBoolean = 4,
  dtSmallInt = 5,
  dtInteger = 6,
  dtFloat = 7,
  dtBcd = 8,
  dtBytes = 9,
  dtTime = 10,
  dtTimeStamp = 11,
  dtWord = 12,
};

// The day number of 30 December 1899, where TDateTime counts from.
inline constexpr int32_t DateTimeDayOffset = 693594;
inline constexpr int32_t MSecsPerDayInt = 86400000;

// The comparison that holds with its two sides swapped: "a < b" is "b > a".
constexpr uint8_t MirroredComparison(uint8_t op) {
  switch (op) {
    case opGreater:
      return opLess;
    case opLess:
      return opGreater;
    case opGreaterEqual:
      return opLessEqual;
    case opLessEqual:
      return opGreaterEqual;
    default:
      return op;
  }
}
