#pragma once
// String helpers of the class library. Case mapping and case-insensitive
// comparison work on ASCII letters only and compare the other bytes as they
// are: UTF-8 text keeps its byte order, and locale-aware comparison belongs
// to the collation layer, not here.

#include <string>
#include <string_view>

// Remove leading and/or trailing blanks and control characters (<= ' ').
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// <0, 0 or >0, by bytes with ASCII letters folded to upper case.
int CompareText(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// <0, 0 or >0, by bytes.
int CompareStr(std::string_view a, std::string_view b);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;

// Replaces the first (or with rfReplaceAll every) occurrence of oldPattern;
// an empty pattern leaves the text as it is.
std::string StringReplace(std::string_view s, std::string_view oldPattern, std::string_view newPattern,
                          TReplaceFlags flags);
