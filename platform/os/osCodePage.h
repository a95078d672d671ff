#pragma once
// Text forms of the engine's tables: a table with a language holds its
// language's Windows ANSI code page (874, 1250-1258), a table with language 0
// holds UTF-8. Everything outside the engine is UTF-8.

#include <string>
#include <string_view>

inline constexpr unsigned CP_UTF8 = 65001;

// The code page's byte -> UTF-16 table (256 entries); nullptr for a code page
// that is not one of the ANSI pages (CP_UTF8 included).
const char16_t* CodePageToUnicode(unsigned codePage);

// The byte that holds c in an ANSI code page, or -1 when the page cannot.
int UnicodeToCodePageByte(unsigned codePage, char32_t c);

// Conversions; CP_UTF8 passes the text through unchanged. A character the
// code page cannot hold, even as base letter plus combining mark, and a
// broken UTF-8 sequence become '?'. Throw std::invalid_argument for any
// other code page.
std::string AnsiToUtf8(unsigned codePage, std::string_view bytes);
std::string Utf8ToAnsi(unsigned codePage, std::string_view text);
