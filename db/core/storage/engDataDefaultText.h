#pragma once
// Whether a field's default, minimum or maximum text suits the field's
// type: numbers and booleans must convert, dates and times may also be
// the keywords that stand for the current moment.

#include <cstdint>
#include <string>

#include "rtlFormatSettings.h"

// Always true for an empty text and for string, bytes and BLOB fields.
bool IsValidDefaultText(const std::string& text, uint8_t fieldType, const TFormatSettings& settings);
