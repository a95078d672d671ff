#include "engStrings.h"

#include <algorithm>
#include <cstring>

#include "rtlExceptions.h"
#include "rtlStrUtils.h"

namespace {

std::string Short(std::string s) {
  if (s.size() > ShortStringLimit) s.resize(ShortStringLimit);
  return s;
}

size_t PadCount(const std::string& s, int length) {
  size_t target = std::min<size_t>(std::max(length, 0), ShortStringLimit);
  return target > s.size() ? target - s.size() : 0;
}

}  // namespace

std::string PadLeft(const std::string& s, int length, char ch) {
  return Short(std::string(PadCount(s, length), ch) + s);
}

std::string PadRight(const std::string& s, int length, char ch) {
  return Short(s + std::string(PadCount(s, length), ch));
}

std::string ReplicateStr(const std::string& s, int count) {
  std::string result;
  for (int i = 0; i < count && result.size() < ShortStringLimit && !s.empty(); ++i) result += s;
  return Short(std::move(result));
}

std::string LeftStr(const std::string& s, int count) { return s.substr(0, std::max(count, 0)); }

std::string RightStr(const std::string& s, int count) {
  size_t n = std::min<size_t>(std::max(count, 0), s.size());
  return s.substr(s.size() - n);
}

int LastPos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  size_t at = s.rfind(sub);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string TrimLeftChar(std::string_view text, char ch) {
  size_t first = text.find_first_not_of(ch);
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string TrimRightChar(std::string_view text, char ch) {
  size_t last = text.find_last_not_of(ch);
  return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string TrimChar(std::string_view text, char ch) { return TrimRightChar(TrimLeftChar(text, ch), ch); }

int PosText(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  size_t at = text.find(sub);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int CountOccurrences(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  int count = 0;
  for (size_t at = text.find(sub); at != std::string_view::npos; at = text.find(sub, at + sub.size()))
    ++count;
  return count;
}

size_t ReplacedLength(std::string_view oldText, std::string_view newText, std::string_view text) {
  return text.size() + CountOccurrences(oldText, text) * (newText.size() - oldText.size());
}

std::string ReplaceAll(std::string_view oldText, std::string_view newText, std::string_view text) {
  return StringReplace(text, oldText, newText, rfReplaceAll);
}

std::string StripLineBreaks(std::string_view s) {
  std::string result;
  std::copy_if(s.begin(), s.end(), std::back_inserter(result), [](char c) { return c != '\r' && c != '\n'; });
  return result;
}

// One pass gives what the two replacements in turn give, as dropping a "
// never brings two ' together. Every quoted word and name of a statement's
// conditions comes through here.
std::string UndoubleQuotes(std::string_view s) {
  std::string result;
  result.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    result += s[i];
    if ((s[i] == '\'' || s[i] == '"') && i + 1 < s.size() && s[i + 1] == s[i]) ++i;
  }
  return result;
}

void FillZero(void* buffer, int count) {
  if (count > 0) memset(buffer, 0, count);
}

bool IsIdentStartChar(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || (b >= 129 && b <= 254);
}

bool IsIdentChar(char c) { return IsIdentStartChar(c) || IsDigit(c); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string BoolToText(bool b) { return b ? "True" : "False"; }

bool TextToBool(const std::string& s) {
  if (SameText(s, "TRUE")) return true;
  if (SameText(s, "FALSE")) return false;
  throw EConvertError("'" + s + "' is not a valid boolean value");
}
