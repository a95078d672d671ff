#pragma once
// Windows language and locale ids as this system knows them: a language id
// holds the primary language in its low 10 bits and the sublanguage above;
// a locale id is the sort id shifted left by 16, or the language id.

#include <cstdint>
#include <span>

using LANGID = uint16_t;
using LCID = uint32_t;

struct LocaleInfo {
  LCID lcid;
  const char* icuLocale;  // the ICU locale that collates and cases like it
  uint16_t codePage;      // the language's Windows ANSI code page
};

// Every supported locale, ordered by id: each language with sort 0, and the
// German languages with sort 1 (phone-book order) as well.
std::span<const LocaleInfo> AllLocales();

// The locale's entry, nullptr when the id is not supported.
const LocaleInfo* FindLocale(LCID lcid);

bool IsValidLocale(LCID lcid);

// The ANSI code page of a language; CP_UTF8 for language 0 (whose tables
// hold UTF-8); 0 for a language this system does not know.
unsigned CodePageOfLanguage(LANGID languageId);

// The language named by $LANG ("de_DE.UTF-8" -> 0x0407), 0x0409 when LANG is
// unset, "C", "POSIX" or names a language this system does not know.
LANGID GetUserDefaultLangID();

// True on a UTF-8 system: LANG unset, "C" or "POSIX", or naming the UTF-8
// code set. Text then stays UTF-8 and new tables default to language 0.
bool SystemUsesDoubleByteChars();
