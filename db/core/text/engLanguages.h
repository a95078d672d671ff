#pragma once
// The languages a table can carry and the sort orders of each, by the names
// that SQL and the components use. Names compare without regard to case.

#include <cstdint>
#include <span>
#include <string_view>

#include "rtlStrings.h"

struct TLanguageEntry {
  const char* Name;
  uint16_t LanguageID;
};

inline constexpr int LanguageCount = 99;

// Every language in its fixed order; position 0 is "ANSI Standard" (id 0).
std::span<const TLanguageEntry, LanguageCount> LanguageList();

constexpr uint16_t MakeLangID(uint16_t primary, uint16_t sub) { return uint16_t(sub << 10 | primary); }
constexpr uint32_t MakeLCID(uint16_t languageId, uint16_t sortId) { return uint32_t(sortId) << 16 | languageId; }

bool IsValidLanguageName(std::string_view name);
// 0 when no language has the name.
uint16_t LanguageNameToID(std::string_view name);
// -1 when no language has the id.
int LanguageIndex(uint16_t languageId);

// The sort order names of the language at a position; their positions are
// the sort ids. A position outside the list has "Default Order" only.
void GetSortNames(int position, TStrings& list);
bool IsValidSortName(uint16_t languageId, std::string_view name);
// 0 when the name is not one of the language's sort orders.
uint16_t SortNameToID(uint16_t languageId, std::string_view name);
