#pragma once
// Upper- and lower-case mapping that keeps the byte length, standing in for
// the Windows call LCMapStringA with LCMAP_UPPERCASE or LCMAP_LOWERCASE.
// Each character maps on its own by its simple (one-to-one) case mapping,
// with the Turkish dotted and dotless i under Turkish; a character whose
// mapping the text cannot hold in the same number of bytes stays as it is
// (German sharp s stays sharp s when upper-cased).

#include <cstdint>

#include "osLocale.h"

inline constexpr uint32_t LCMAP_LOWERCASE = 0x0100;
inline constexpr uint32_t LCMAP_UPPERCASE = 0x0200;

// Maps sourceLength bytes (a negative length: the zero-terminated text with
// its terminator) into destination, which may be the source itself. Returns
// the number of bytes written; with destinationLength 0 only the number
// needed. 0 on failure: unknown locale, flags other than exactly one of the
// two, empty or missing source, or a destination that is too small.
//
// LCMapStringA takes text in the code page of the locale's language;
// LCMapStringUtf8 takes UTF-8 (the text of language-0 tables) and uses the
// locale only for its casing rules. Broken UTF-8 sequences stay as they are.
int LCMapStringA(LCID locale, uint32_t flags, const char* source, int sourceLength, char* destination,
                 int destinationLength);
int LCMapStringUtf8(LCID locale, uint32_t flags, const char* source, int sourceLength, char* destination,
                    int destinationLength);
