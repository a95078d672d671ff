#include "engFieldString.h"

#include <algorithm>
#include <cstring>

#include "engDataLayout.h"
#include "engTextCompare.h"

namespace {

bool IsUtf8Continuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

bool StoreFieldString(const uint8_t* fieldDesc, const char* text, uint8_t* value, uint16_t languageId,
                      uint16_t sortId) {
  const size_t storedSize = fieldDesc[FieldDescStoredSizeOffset];
  if (storedSize == 0) return false;
  const size_t given = strnlen(text, storedSize);
  size_t length = std::min(given, storedSize - 1);
  // A text of language 0 is UTF-8: a cut steps back to a character's start.
  if (languageId == 0 && length < given)
    while (length > 0 && IsUtf8Continuation(uint8_t(text[length]))) --length;
  while (length > 0 && text[length - 1] == ' ') --length;

  std::memmove(value, text, length);
  std::memset(value + length, 0, storedSize - length);
  char* stored = reinterpret_cast<char*>(value);
  switch (fieldDesc[FieldDescCaseOffset]) {
    case FieldCaseLower:
      LowerText(languageId, sortId, stored, stored);
      break;
    case FieldCaseUpper:
      UpperText(languageId, sortId, stored, stored);
      break;
  }
  return length > 0;
}
