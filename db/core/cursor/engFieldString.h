#pragma once
// How a string field takes its text: cut to the field's length, trailing
// blanks dropped, then put into the field's character case.

#include <cstdint>

// Character case of a string field (descriptor byte 93).
inline constexpr uint8_t FieldCaseAsTyped = 0;
inline constexpr uint8_t FieldCaseLower = 1;
inline constexpr uint8_t FieldCaseUpper = 2;

// Stores the zero-terminated text (read no further than the field's stored
// size) into the field's value bytes: at most stored size - 1 bytes, never
// ending inside a UTF-8 sequence under language 0, and zeros after it.
// True when any text is left, false for an empty or all-blank text.
bool StoreFieldString(const uint8_t* fieldDesc, const char* text, uint8_t* value, uint16_t languageId,
                      uint16_t sortId);
