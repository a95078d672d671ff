#include "engKeyCompare.h"

#include <algorithm>

#include "engTextCompare.h"

// Field by field: strings collate under the table's locale, everything else
// compares as bytes (its null byte and value together).
int TKeyComparer::CompareLocaleFields(const uint8_t* a, const uint8_t* b, int length) const {
  int offset = 0;
  for (int i = 0; i < FieldCount && offset < length; ++i) {
    const TKeyField& field = Fields[i];
    const bool reverse = Descending || field.Descending;
    int c;
    if (field.FieldType != StringFieldType) {
      int n = std::min(field.StoredSize + 1, length - offset);
      c = CompareBytes(a + offset, b + offset, n, false);
      offset += n;
    } else {
      c = CompareBytes(a + offset, b + offset, 1, false);
      ++offset;
      int n = std::min<int>(field.StoredSize, length - offset);
      if (c == 0 && n > 0) {
        // Case counts here: a case-insensitive index folded it in the key.
        // Without a case fold the texts are only read.
        c = CompareKeyText(LanguageId, SortId, reinterpret_cast<const char*>(a + offset),
                           false, n, reinterpret_cast<const char*>(b + offset));
      }
      offset += n;
    }
    if (c != 0) return reverse ? -c : c;
  }
  if (offset < length) return CompareBytes(a + offset, b + offset, length - offset, Descending);
  return 0;
}
