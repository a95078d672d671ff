#pragma once
// Texts that the expression engine keeps as short strings: at most 255
// bytes, never ending inside a UTF-8 sequence.

#include <string>
#include <string_view>

#include "engStrings.h"

inline std::string ShortText(std::string_view text) {
  if (text.size() <= ShortStringLimit) return std::string(text);
  size_t length = ShortStringLimit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return std::string(text.substr(0, length));
}
