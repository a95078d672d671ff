#pragma once
// Locale-aware comparison of code-page text, standing in for the Windows
// call of the same name. Bytes are in the code page of the locale's language.
//
// Flags map onto ICU collation strength:
//   SORT_STRINGSORT alone               tertiary: base letter, accent, case
//   | NORM_IGNORECASE                   secondary: base letter, accent
//   | NORM_IGNORENONSPACE               primary plus case level: base letter, case
//   | NORM_IGNORECASE | IGNORENONSPACE  primary: base letter only
// Equal means equal weights, not equal bytes: there is no identical-level
// tie break. Punctuation and spaces always count (string sort); word sort
// (no SORT_STRINGSORT) is not offered and such a call fails.

#include <cstdint>

#include "osLocale.h"

inline constexpr uint32_t NORM_IGNORECASE = 0x0001;
inline constexpr uint32_t NORM_IGNORENONSPACE = 0x0002;
inline constexpr uint32_t SORT_STRINGSORT = 0x1000;

inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 for an unknown locale,
// unsupported flags or a missing text. A negative length means the text is
// zero-terminated; a text also ends at a zero byte within its length, as
// the engine's fixed-width fields pad with zeros after the terminator.
int CompareStringA(LCID locale, uint32_t flags, const char* a, int aLength, const char* b, int bLength);
