#pragma once
// The engine's message table: one text per error code, with the context
// names that fill its placeholders, in order. The texts live in the
// program's string table, one identifier per code in table order.

#include <cstdint>
#include <span>

inline constexpr int FirstEngineErrorStringId = 12232;

struct TEngineErrorText {
  uint16_t Code;
  // 'T' table, 'F' field, 'I' index, 'X' extra text, one letter per placeholder.
  const char* Fills;
  const char* Text;
};

// Entry i has the string identifier FirstEngineErrorStringId + i.
std::span<const TEngineErrorText> EngineErrorTexts();

// For codes outside the table; its placeholder takes the table name.
inline constexpr const char* SUnknownEngineError = "Unknown error occurred with table '%S'";
