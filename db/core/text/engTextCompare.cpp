#include "engTextCompare.h"

#include <algorithm>
#include <cstring>

#include "engLanguages.h"
#include "osCollation.h"
#include "osLocaleCaseMap.h"

namespace {

constexpr uint32_t KeyTextFlags = SORT_STRINGSORT | NORM_IGNORENONSPACE;
constexpr uint32_t EnglishUSA = 0x0409;

int Sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

// Byte order of texts that end at their zero byte or after length bytes
// (0: no limit), so that a short text is never read past its end.
int CompareTextBytes(const char* a, const char* b, int length) {
  return Sign(length > 0 ? std::strncmp(a, b, size_t(length)) : std::strcmp(a, b));
}

size_t BoundedLength(const char* text, int length) {
  return length > 0 ? strnlen(text, size_t(length)) : std::strlen(text);
}

// Language 0 cases ASCII letters as ASCII, and nearly every key text it
// folds holds nothing else: such a text maps here, byte by byte, without
// the locale look-up and character decoding of the general mapping.
bool MapAsciiText(uint32_t flags, const char* text, size_t length, char* out) {
  for (size_t i = 0; i < length; ++i)
    if (uint8_t(text[i]) >= 0x80) return false;
  const char from = flags == LCMAP_UPPERCASE ? 'a' : 'A';
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    out[i] = c >= from && c <= from + ('z' - 'a') ? char(c ^ 0x20) : c;
  }
  return true;
}

void MapText(uint16_t languageId, uint16_t sortId, uint32_t flags, const char* text, size_t length, char* out) {
  if (languageId == 0 && (flags == LCMAP_UPPERCASE || flags == LCMAP_LOWERCASE) && MapAsciiText(flags, text, length, out))
    return;
  const int n = int(length);
  const int mapped = languageId == 0 ? LCMapStringUtf8(EnglishUSA, flags, text, n, out, n)
                                     : LCMapStringA(MakeLCID(languageId, sortId), flags, text, n, out, n);
  // A locale the system lacks leaves the text as it is.
  if (mapped == 0 && out != text) std::memmove(out, text, length);
}

// The upper-case form of a language-0 text, mapped a piece at a time into a
// buffer of its own as it is read, so that a comparison neither changes its
// inputs nor allocates. Mapping keeps each character's byte length, so a
// piece that ends at a character start maps as the whole text would.
class TUpperCaseReader {
public:
  TUpperCaseReader(const char* text, size_t length) : text(text), length(length) {}

  // The mapped byte at position; positions are read in increasing order.
  uint8_t At(size_t position) {
    if (position >= length) return 0;
    if (position >= end) MapPieceFrom(position);
    return uint8_t(piece[position - start]);
  }

private:
  const char* text;
  size_t length;
  size_t start = 0;
  size_t end = 0;
  char piece[256];

  void MapPieceFrom(size_t from) {
    size_t stop = std::min(length, from + sizeof(piece));
    while (stop < length && stop > from && (uint8_t(text[stop]) & 0xC0) == 0x80) --stop;
    if (stop == from) stop = std::min(length, from + sizeof(piece));  // no character start: not UTF-8
    MapText(0, 0, LCMAP_UPPERCASE, text + from, stop - from, piece);
    start = from;
    end = stop;
  }
};

int CompareUpperCaseText(const char* a, const char* b, int length) {
  TUpperCaseReader upperA(a, BoundedLength(a, length));
  TUpperCaseReader upperB(b, BoundedLength(b, length));
  for (size_t i = 0; length <= 0 || i < size_t(length); ++i) {
    const uint8_t byteA = upperA.At(i);
    const uint8_t byteB = upperB.At(i);
    if (byteA != byteB) return byteA < byteB ? -1 : 1;
    if (byteA == 0) break;
  }
  return 0;
}

}  // namespace

int CompareBytes(const void* a, const void* b, int n, bool reverse) {
  if (!a) return 1;
  const int result = n > 0 ? Sign(std::memcmp(a, b, size_t(n))) : 0;
  return reverse ? -result : result;
}

int CompareKeyText(uint16_t languageId, uint16_t sortId, const char* a, bool caseInsensitive, int length,
                   const char* b) {
  if (languageId != 0) {
    const uint32_t flags = caseInsensitive ? KeyTextFlags | NORM_IGNORECASE : KeyTextFlags;
    const int n = length > 0 ? length : -1;
    const int result = CompareStringA(MakeLCID(languageId, sortId), flags, a, n, b, n);
    if (result != 0) return result - CSTR_EQUAL;
  } else if (caseInsensitive) {
    return CompareUpperCaseText(a, b, length);
  }
  return CompareTextBytes(a, b, length);
}

int CompareChar(uint16_t languageId, uint16_t sortId, char a, char b) {
  if (languageId != 0) {
    const int result = CompareStringA(MakeLCID(languageId, sortId), KeyTextFlags, &a, 1, &b, 1);
    if (result != 0) return result - CSTR_EQUAL;
  }
  return CompareBytes(&a, &b, 1, false);
}

void UpperText(uint16_t languageId, uint16_t sortId, const char* text, char* out) {
  MapText(languageId, sortId, LCMAP_UPPERCASE, text, std::strlen(text) + 1, out);
}

void LowerText(uint16_t languageId, uint16_t sortId, const char* text, char* out) {
  MapText(languageId, sortId, LCMAP_LOWERCASE, text, std::strlen(text) + 1, out);
}
