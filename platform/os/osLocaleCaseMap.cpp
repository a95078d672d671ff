#include "osLocaleCaseMap.h"

#include <array>
#include <cstring>
#include <string_view>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "osCodePage.h"
#include "osCodePageTables.h"

namespace {

bool HasTurkicCasing(const LocaleInfo& locale) {
  std::string_view name = locale.icuLocale;
  return name.starts_with("tr_");
}

// Which way a text is mapped, and whether the Turkic dotted and dotless i
// apply.
struct TCaseMapping {
  bool Upper = false;
  bool Turkic = false;
};

char32_t MapCase(char32_t c, TCaseMapping mapping) {
  if (mapping.Turkic) {
    if (mapping.Upper && c == U'i') return U'\u0130';
    if (!mapping.Upper && c == U'I') return U'\u0131';
  }
  return static_cast<char32_t>(mapping.Upper ? u_toupper(static_cast<UChar32>(c)) : u_tolower(static_cast<UChar32>(c)));
}

// A code page's case mapping is a byte-to-byte table, built once for every
// page, direction and casing rule.
using ByteMap = std::array<uint8_t, 256>;

const ByteMap& CodePageCaseMap(unsigned codePage, TCaseMapping mapping) {
  static const auto maps = [] {
    std::array<std::array<ByteMap, 4>, kCodePageTableCount> all{};
    for (int page = 0; page < kCodePageTableCount; ++page)
      for (int variant = 0; variant < 4; ++variant)
        for (int byte = 0; byte < 256; ++byte) {
          const CodePageTable& table = kCodePageTables[page];
          char32_t mapped = MapCase(table.toUnicode[byte], {.Upper = (variant & 1) != 0, .Turkic = (variant & 2) != 0});
          int mappedByte = UnicodeToCodePageByte(table.codePage, mapped);
          all[page][variant][byte] = static_cast<uint8_t>(mappedByte >= 0 ? mappedByte : byte);
        }
    return all;
  }();
  int page = 0;
  while (kCodePageTables[page].codePage != codePage) ++page;
  return maps[page][(mapping.Upper ? 1 : 0) | (mapping.Turkic ? 2 : 0)];
}

void MapUtf8(const uint8_t* source, uint8_t* destination, int32_t length, TCaseMapping mapping) {
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(source, i, length, c);
    const int32_t width = i - start;
    if (c >= 0) {
      UChar32 mapped = static_cast<UChar32>(MapCase(static_cast<char32_t>(c), mapping));
      if (U8_LENGTH(mapped) == width) {
        int32_t at = start;
        U8_APPEND_UNSAFE(destination, at, mapped);
        continue;
      }
    }
    std::memmove(destination + start, source + start, static_cast<size_t>(width));
  }
}

enum class TextForm { CodePage, Utf8 };

int MapString(TextForm form, LCID lcid, uint32_t flags, const char* source, int sourceLength, char* destination,
              int destinationLength) {
  if (flags != LCMAP_UPPERCASE && flags != LCMAP_LOWERCASE) return 0;
  const LocaleInfo* locale = FindLocale(lcid);
  if (!locale || !source || sourceLength == 0 || destinationLength < 0) return 0;
  const size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
  if (length > INT32_MAX) return 0;
  if (destinationLength == 0) return static_cast<int>(length);
  if (!destination || static_cast<size_t>(destinationLength) < length) return 0;

  const TCaseMapping mapping{.Upper = flags == LCMAP_UPPERCASE, .Turkic = HasTurkicCasing(*locale)};
  const auto* in = reinterpret_cast<const uint8_t*>(source);
  auto* out = reinterpret_cast<uint8_t*>(destination);
  if (form == TextForm::Utf8) {
    MapUtf8(in, out, static_cast<int32_t>(length), mapping);
  } else {
    const ByteMap& map = CodePageCaseMap(locale->codePage, mapping);
    for (size_t i = 0; i < length; ++i) out[i] = map[in[i]];
  }
  return static_cast<int>(length);
}

}  // namespace

int LCMapStringA(LCID locale, uint32_t flags, const char* source, int sourceLength, char* destination,
                 int destinationLength) {
  return MapString(TextForm::CodePage, locale, flags, source, sourceLength, destination, destinationLength);
}

int LCMapStringUtf8(LCID locale, uint32_t flags, const char* source, int sourceLength, char* destination,
                    int destinationLength) {
  return MapString(TextForm::Utf8, locale, flags, source, sourceLength, destination, destinationLength);
}
