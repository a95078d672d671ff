#pragma once
// A parameter value as the query component hands it over: typed, its
// bytes owned (a memo or a long string travels whole), never a pointer.

#include <cstdint>
#include <string>

class TExpToken;

struct TSqlParamValue {
  uint8_t DataType = 0;  // the expression engine's data types
  uint8_t SubType = 0;
  uint8_t Scale = 0;
  bool IsNull = true;
  // The value in its field encoding: little-endian numbers, stored BCD,
  // day numbers; a text or BLOB's bytes without a terminating zero.
  std::string Bytes;
};

// Gives a parameter token the value; a value whose bytes do not fit its
// type raises "Internal parameter error".
void AssignParamValue(TExpToken& token, const TSqlParamValue& value);
