#include "osCodePage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include <unicode/unorm2.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include "osCodePageTables.h"

namespace {

const CodePageTable* FindTable(unsigned codePage) {
  for (const CodePageTable& table : kCodePageTables)
    if (table.codePage == codePage) return &table;
  return nullptr;
}

// Unicode -> byte, sorted by character for a binary search.
using ReverseTable = std::array<std::pair<char16_t, uint8_t>, 256>;

const ReverseTable& ReverseOf(const CodePageTable& table) {
  static const auto reverse = [] {
    std::array<ReverseTable, kCodePageTableCount> all{};
    for (int page = 0; page < kCodePageTableCount; ++page) {
      for (int byte = 0; byte < 256; ++byte)
        all[page][byte] = {kCodePageTables[page].toUnicode[byte], static_cast<uint8_t>(byte)};
      std::sort(all[page].begin(), all[page].end());
    }
    return all;
  }();
  return reverse[&table - kCodePageTables];
}

int ByteOf(const CodePageTable& table, char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  if (c > 0xFFFF) return -1;
  const ReverseTable& reverse = ReverseOf(table);
  auto it = std::lower_bound(reverse.begin(), reverse.end(), std::make_pair(static_cast<char16_t>(c), uint8_t{0}));
  return it != reverse.end() && it->first == c ? it->second : -1;
}

const CodePageTable& RequireTable(unsigned codePage) {
  const CodePageTable* table = FindTable(codePage);
  if (!table) throw std::invalid_argument("Code page " + std::to_string(codePage) + " is not supported");
  return *table;
}

// A character missing from the page may still fit as base letter plus
// combining marks (Vietnamese keeps its tone marks apart): first every piece
// of its canonical decomposition, then the rest composed with one mark apart.
bool AppendDecomposed(const CodePageTable& table, char32_t c, std::string& out) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  UChar pieces[32];
  int32_t length = U_SUCCESS(status) ? unorm2_getDecomposition(nfd, c, pieces, 32, &status) : -1;
  if (U_FAILURE(status) || length <= 1) return false;
  std::string bytes;
  bool allFit = true;
  for (int32_t i = 0; i < length && allFit; ++i) {
    int byte = ByteOf(table, pieces[i]);
    allFit = byte >= 0;
    bytes += static_cast<char>(byte);
  }
  if (allFit) {
    out += bytes;
    return true;
  }
  for (int32_t apart = 1; apart < length; ++apart) {
    int markByte = ByteOf(table, pieces[apart]);
    if (markByte < 0) continue;
    UChar rest[32];
    int32_t restLength = 0;
    for (int32_t i = 0; i < length; ++i)
      if (i != apart) rest[restLength++] = pieces[i];
    UChar composed[32];
    status = U_ZERO_ERROR;
    int32_t composedLength = unorm2_normalize(nfc, rest, restLength, composed, 32, &status);
    if (U_FAILURE(status) || composedLength != 1) continue;
    int baseByte = ByteOf(table, composed[0]);
    if (baseByte < 0) continue;
    out += static_cast<char>(baseByte);
    out += static_cast<char>(markByte);
    return true;
  }
  return false;
}

}  // namespace

const char16_t* CodePageToUnicode(unsigned codePage) {
  const CodePageTable* table = FindTable(codePage);
  return table ? table->toUnicode : nullptr;
}

int UnicodeToCodePageByte(unsigned codePage, char32_t c) {
  const CodePageTable* table = FindTable(codePage);
  return table ? ByteOf(*table, c) : -1;
}

std::string AnsiToUtf8(unsigned codePage, std::string_view bytes) {
  if (codePage == CP_UTF8) return std::string(bytes);
  const CodePageTable& table = RequireTable(codePage);
  std::string out;
  out.reserve(bytes.size());
  for (char byte : bytes) {
    char16_t c = table.toUnicode[static_cast<uint8_t>(byte)];
    char encoded[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(encoded, length, c);
    out.append(encoded, length);
  }
  return out;
}

std::string Utf8ToAnsi(unsigned codePage, std::string_view text) {
  if (codePage == CP_UTF8) return std::string(text);
  const CodePageTable& table = RequireTable(codePage);
  if (text.size() > INT32_MAX) throw std::length_error("Text too long to convert");
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    int byte = c < 0 ? -1 : ByteOf(table, static_cast<char32_t>(c));
    if (byte >= 0)
      out += static_cast<char>(byte);
    else if (c < 0 || !AppendDecomposed(table, static_cast<char32_t>(c), out))
      out += '?';
  }
  return out;
}
