#pragma once
// Which operand types each operator accepts and what it yields. Types are
// the data type codes with their subtypes; dtNone is the NULL constant.

#include <cstdint>

bool IsOperatorTypeCompatible(uint8_t op, uint8_t leftType, uint8_t leftSubType, uint8_t rightType,
                              uint8_t rightSubType);
uint8_t BinaryResultType(uint8_t op, uint8_t leftType, uint8_t rightType);
uint8_t BinaryResultSubtype(uint8_t op, uint8_t leftType, uint8_t leftSubType, uint8_t rightType,
                            uint8_t rightSubType);

bool IsUnaryTypeCompatible(uint8_t op, uint8_t type);
uint8_t UnaryResultType(uint8_t op, uint8_t type);
uint8_t UnaryResultSubtype(uint8_t op, uint8_t type, uint8_t subType);

bool IsCastCompatible(uint8_t targetType, uint8_t sourceType);

// Small integer, integer, word.
bool IsWholeNumberType(uint8_t type);
// The whole numbers, float and BCD.
bool IsNumberType(uint8_t type);
// Date, time, timestamp.
bool IsDateTimeType(uint8_t type);
// String, or memo (BLOB of the memo subtype).
bool IsTextType(uint8_t type, uint8_t subType);
