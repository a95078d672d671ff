#pragma once
// Counting and cutting UTF-8 text by characters, so that padding and
// truncation never split a multi-byte sequence.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Number of characters: bytes that do not continue a sequence.
size_t Utf8Length(std::string_view text);

// The first `count` characters; the whole text when count is negative.
std::string Utf8Truncated(std::string text, int count);

// Appends one code point (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, uint32_t c);
