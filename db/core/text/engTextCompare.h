#pragma once
// Text comparison and case mapping under a table's locale. Language 0 text
// is UTF-8 and compares by bytes; a table with a language holds its code
// page and collates through the system's locale data. Nothing here
// allocates: key comparisons call these for every key they look at.

#include <cstdint>

// -1, 0 or 1 for a against b over n bytes; a missing a is greater;
// reverse turns the result round.
int CompareBytes(const void* a, const void* b, int n, bool reverse);

// -1, 0 or 1 for text a against text b, over length characters or, when
// length is 0, the whole zero-terminated texts. With a language, accents
// never count and case counts unless caseInsensitive is set. With language
// 0 a case-insensitive comparison compares the upper-case forms.
int CompareKeyText(uint16_t languageId, uint16_t sortId, const char* a, bool caseInsensitive, int length,
                   const char* b);

// -1, 0 or 1 for two single characters (code-page bytes, or bytes under
// language 0); accents are ignored under a language, case is not.
int CompareChar(uint16_t languageId, uint16_t sortId, char a, char b);

// Map the zero-terminated text into out, which holds as many bytes as the
// text and its terminator (or is the text itself). Lengths never change.
// Language 0 maps UTF-8 by English rules.
void UpperText(uint16_t languageId, uint16_t sortId, const char* text, char* out);
void LowerText(uint16_t languageId, uint16_t sortId, const char* text, char* out);
