#include "rtlUtf8.h"

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t Utf8Length(std::string_view text) {
  size_t count = 0;
  for (char c : text)
    if (!IsContinuationByte(c)) ++count;
  return count;
}

std::string Utf8Truncated(std::string text, int count) {
  if (count < 0) return text;
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuationByte(text[i]) && characters++ == static_cast<size_t>(count)) {
      text.resize(i);
      break;
    }
  }
  return text;
}
