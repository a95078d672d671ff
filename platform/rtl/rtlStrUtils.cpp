#include "rtlStrUtils.h"

#include <algorithm>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string TrimLeft(std::string_view s) {
  size_t first = 0;
  while (first < s.size() && IsBlank(s[first])) ++first;
  return std::string(s.substr(first));
}

std::string TrimRight(std::string_view s) {
  size_t end = s.size();
  while (end > 0 && IsBlank(s[end - 1])) --end;
  return std::string(s.substr(0, end));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string UpperCase(std::string_view s) {
  std::string result(s);
  std::transform(result.begin(), result.end(), result.begin(), Upper);
  return result;
}

std::string LowerCase(std::string_view s) {
  std::string result(s);
  std::transform(result.begin(), result.end(), result.begin(), Lower);
  return result;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    auto ca = static_cast<unsigned char>(Upper(a[i]));
    auto cb = static_cast<unsigned char>(Upper(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int AnsiCompareText(std::string_view a, std::string_view b) { return CompareText(a, b); }

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

int CompareStr(std::string_view a, std::string_view b) {
  int result = a.compare(b);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

std::string StringReplace(std::string_view s, std::string_view oldPattern, std::string_view newPattern,
                          TReplaceFlags flags) {
  if (oldPattern.empty()) return std::string(s);
  std::string haystack = flags & rfIgnoreCase ? UpperCase(s) : std::string(s);
  std::string needle = flags & rfIgnoreCase ? UpperCase(oldPattern) : std::string(oldPattern);
  std::string result;
  size_t from = 0;
  while (from <= haystack.size()) {
    size_t found = haystack.find(needle, from);
    if (found == std::string::npos) break;
    result.append(s, from, found - from);
    result += newPattern;
    from = found + needle.size();
    if (!(flags & rfReplaceAll)) break;
  }
  result.append(s.substr(std::min(from, s.size())));
  return result;
}
