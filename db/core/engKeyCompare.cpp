#include "engKeyCompare.h"

#include <algorithm>
#include <cstring>

#include "osCollation.h"

namespace {

int CompareRaw(const uint8_t* a, const uint8_t* b, int n, bool reverse) {
  if (!a) return 1;
  int c = n > 0 ? memcmp(a, b, size_t(n)) : 0;
  c = c < 0 ? -1 : c > 0 ? 1 : 0;
  return reverse ? -c : c;
}

}  // namespace

int TKeyComparer::CompareKeys(const uint8_t* a, const uint8_t* b, int length) const {
  if (!a) return 1;
  if (IndexNo == DeletedIndexNo) return CompareRaw(a, b, length, false);
  if (LanguageId == 0) return CompareRaw(a, b, length, Descending);
  return CompareLocaleFields(a, b, length);
}

// Field by field: strings collate under the table's locale, everything else
// compares as bytes (its null byte and value together).
int TKeyComparer::CompareLocaleFields(const uint8_t* a, const uint8_t* b, int length) const {
  const LCID locale = LCID(SortId) << 16 | LanguageId;
  int offset = 0;
  for (int i = 0; i < FieldCount && offset < length; ++i) {
    const TKeyField& field = Fields[i];
    const bool reverse = Descending || field.Descending;
    int c;
    if (field.FieldType != StringFieldType) {
      int n = std::min(field.StoredSize + 1, length - offset);
      c = CompareRaw(a + offset, b + offset, n, false);
      offset += n;
    } else {
      c = CompareRaw(a + offset, b + offset, 1, false);
      ++offset;
      int n = std::min<int>(field.StoredSize, length - offset);
      if (c == 0 && n > 0) {
        int r = CompareStringA(locale, SORT_STRINGSORT | NORM_IGNORENONSPACE,
                               reinterpret_cast<const char*>(a + offset), n,
                               reinterpret_cast<const char*>(b + offset), n);
        // A locale the system lacks leaves the bytes to decide.
        c = r == 0 ? CompareRaw(a + offset, b + offset, n, false) : r - CSTR_EQUAL;
      }
      offset += n;
    }
    if (c != 0) return reverse ? -c : c;
  }
  if (offset < length) return CompareRaw(a + offset, b + offset, length - offset, Descending);
  return 0;
}
