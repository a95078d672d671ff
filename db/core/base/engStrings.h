#pragma once
// The engine's string routines. Names and other short strings hold at most
// 255 bytes; routines that build one cut their result there. Texts (values
// of expressions, record fields) have no such limit.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

inline constexpr size_t ShortStringLimit = 255;

// Adds ch in front of (behind) s until it is length bytes long.
std::string PadLeft(const std::string& s, int length, char ch);
std::string PadRight(const std::string& s, int length, char ch);
std::string ReplicateStr(const std::string& s, int count);
std::string LeftStr(const std::string& s, int count);
std::string RightStr(const std::string& s, int count);
// 1-based position of the last occurrence of sub in s, 0 when none.
int LastPos(std::string_view sub, std::string_view s);

// Remove every repetition of ch at the start, the end, or both (start first).
std::string TrimLeftChar(std::string_view text, char ch);
std::string TrimRightChar(std::string_view text, char ch);
std::string TrimChar(std::string_view text, char ch);

// 1-based position of the first occurrence, 0 when none (or sub is empty).
int PosText(std::string_view sub, std::string_view text);
// Occurrences that do not overlap, each search resuming after the last match.
int CountOccurrences(std::string_view sub, std::string_view text);
// The length of text once every oldText is replaced by newText.
size_t ReplacedLength(std::string_view oldText, std::string_view newText, std::string_view text);
std::string ReplaceAll(std::string_view oldText, std::string_view newText, std::string_view text);

std::string StripLineBreaks(std::string_view s);
// Each "" becomes ", then each '' becomes '.
std::string UndoubleQuotes(std::string_view s);

// Equal leading bytes of a and b, at most n. Both go a word at a time and
// are inline: index keys are padded, so they share and end in long runs,
// and key packing and searches call them per entry.
// A word that differs tells where by its lowest differing byte on a
// little-endian machine.
inline int CommonPrefixLength(const void* a, const void* b, int n) {
  auto pa = static_cast<const unsigned char*>(a);
  auto pb = static_cast<const unsigned char*>(b);
  int count = 0;
  while (count + 8 <= n) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, pa + count, 8);
    std::memcpy(&y, pb + count, 8);
    if (x != y) {
      if constexpr (std::endian::native == std::endian::little) return count + __builtin_ctzll(x ^ y) / 8;
      break;
    }
    count += 8;
  }
  while (count < n && pa[count] == pb[count]) ++count;
  return count;
}
// Zero bytes going backwards from the byte before end, at most n.
inline int TrailingZeroCount(const void* end, int n) {
  auto p = static_cast<const unsigned char*>(end);
  int count = 0;
  while (count + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, p - count - 8, 8);
    if (word != 0) break;
    count += 8;
  }
  while (count < n && p[-count - 1] == 0) ++count;
  return count;
}
void FillZero(void* buffer, int count);

// Letters, "_" and the bytes 129 to 254 (which lets UTF-8 names through).
bool IsIdentStartChar(char c);
bool IsIdentChar(char c);
bool IsDigit(char c);

std::string BoolToText(bool b);
// "TRUE" or "FALSE" in any case; anything else raises EConvertError.
bool TextToBool(const std::string& s);
