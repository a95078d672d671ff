#pragma once
// Ordering of index keys. Every search of an index page and every cursor
// comparison goes through TKeyComparer, so one index never sorts two ways.

#include <cstdint>
#include <cstring>

inline constexpr int MaxKeyFields = 16;
inline constexpr uint8_t DeletedIndexNo = 31;  // "Sys Deleted"
inline constexpr uint8_t StringFieldType = 1;

// How an index's leaf pages compress their keys: at the start, at the end,
// or both.
enum : uint8_t {
  kcNone = 0,
  kcLeading = 1,
  kcTrailing = 2,
  kcFull = 3,
};

struct TKeyField {
  uint8_t FieldType = 0;
  uint8_t StoredSize = 0;  // value bytes, the null byte not counted
  bool Descending = false;
};

class TKeyComparer {
public:
  uint8_t IndexNo = 0;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  bool Descending = false;  // the whole index
  uint8_t FieldCount = 0;
  TKeyField Fields[MaxKeyFields];

  // -1, 0 or 1 for key a against key b over their first length bytes; a
  // missing a compares greater. Inline: every probe of a page search calls
  // it, and keys without a locale (language 0, "Sys Deleted") are bytes.
  int CompareKeys(const uint8_t* a, const uint8_t* b, int length) const {
    if (!a) return 1;
    const bool deleted = IndexNo == DeletedIndexNo;
    if (!deleted && LanguageId != 0) return CompareLocaleFields(a, b, length);
    const int c = length > 0 ? std::memcmp(a, b, size_t(length)) : 0;
    const int sign = (c > 0) - (c < 0);
    return Descending && !deleted ? -sign : sign;
  }

private:
  int CompareLocaleFields(const uint8_t* a, const uint8_t* b, int length) const;
};
