#include "engCharMaps.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engLanguages.h"
#include "osCollation.h"

namespace {

constexpr int32_t InitialCapacity = 255;

void BuildCharMap(uint16_t languageId, uint16_t sortId, TCharMap& map) {
  std::iota(std::begin(map), std::end(map), 0);
  const LCID locale = MakeLCID(languageId, sortId);
  if (languageId == 0 || !IsValidLocale(locale)) return;
  // Characters that collate alike keep their byte order, so the map is the
  // same on every run.
  std::stable_sort(std::begin(map), std::end(map), [locale](uint8_t a, uint8_t b) {
    const char charA = char(a), charB = char(b);
    return CompareStringA(locale, SORT_STRINGSORT, &charA, 1, &charB, 1) == CSTR_LESS_THAN;
  });
}

}  // namespace

TLanguageCharMapsList::TLanguageCharMapsList() { maps.reserve(InitialCapacity); }

TLanguageCharMapsList::~TLanguageCharMapsList() = default;

void TLanguageCharMapsList::GetCharMap(uint16_t languageId, uint16_t sortId, TCharMap& map) {
  std::lock_guard guard(lock);
  for (const TLanguageCharMap& entry : maps) {
    if (entry.LanguageId == languageId && entry.SortId == sortId) {
      std::memcpy(map, entry.Map, sizeof(TCharMap));
      return;
    }
  }
  TLanguageCharMap entry;
  entry.LanguageId = languageId;
  entry.SortId = sortId;
  BuildCharMap(languageId, sortId, entry.Map);
  maps.push_back(entry);
  std::memcpy(map, entry.Map, sizeof(TCharMap));
}

TLanguageCharMapsList* LanguageCharMapsList = nullptr;

void GetCharMap(uint16_t languageId, uint16_t sortId, TCharMap& map) {
  if (LanguageCharMapsList)
    LanguageCharMapsList->GetCharMap(languageId, sortId, map);
  else
    BuildCharMap(languageId, sortId, map);
}
