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

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}
