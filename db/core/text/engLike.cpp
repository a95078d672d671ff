#include "engLike.h"

#include <cstring>

#include "engTextCompare.h"

namespace {

bool IsUtf8Continuation(char c) { return (uint8_t(c) & 0xC0) == 0x80; }

// Bytes of the character at text, never past its terminator.
size_t CharLength(uint16_t languageId, const char* text) {
  size_t length = 1;
  if (languageId == 0)
    while (IsUtf8Continuation(text[length])) ++length;
  return length;
}

bool CharsEqual(uint16_t languageId, uint16_t sortId, const char* value, const char* pattern,
                size_t& valueLength, size_t& patternLength) {
  valueLength = CharLength(languageId, value);
  patternLength = CharLength(languageId, pattern);
  if (languageId == 0)
    return valueLength == patternLength && std::memcmp(value, pattern, valueLength) == 0;
  return CompareChar(languageId, sortId, *value, *pattern) == 0;
}

}  // namespace

bool LikeMatch(uint16_t languageId, uint16_t sortId, const char* value, const char* pattern) {
  // The pattern just after the last "%" seen and the value position that
  // "%" has reached; a mismatch lets it take one more value character.
  const char* backPattern = nullptr;
  const char* backValue = nullptr;
  auto backtrack = [&] {
    if (!backPattern || *backValue == 0) return false;
    backValue += CharLength(languageId, backValue);
    value = backValue;
    pattern = backPattern;
    return true;
  };

  for (;;) {
    if (pattern[0] == '%' && pattern[1] == 0) return true;
    if (*value == 0) {
      if (*pattern == 0) return true;
      if (!backtrack()) return false;
    } else if (*pattern == '%') {
      backPattern = ++pattern;
      backValue = value;
    } else if (*pattern == '_') {
      value += CharLength(languageId, value);
      ++pattern;
    } else {
      size_t valueLength, patternLength;
      if (*pattern != 0 && CharsEqual(languageId, sortId, value, pattern, valueLength, patternLength)) {
        value += valueLength;
        pattern += patternLength;
      } else if (!backtrack()) {
        return false;
      }
    }
  }
}
