#pragma once
// The LIKE test of filters and SQL: "%" matches any run of characters (also
// none), "_" exactly one character, any other pattern character one equal
// value character (CompareChar under the table's locale). No escape. A
// character is one byte under a language and one UTF-8 sequence under
// language 0.

#include <cstdint>

bool LikeMatch(uint16_t languageId, uint16_t sortId, const char* value, const char* pattern);
