#include <gtest/gtest.h>

#include <set>

#include "engLanguages.h"
#include "osLocale.h"
#include "rtlStringList.h"

namespace {

TEST(EngineLanguages, NamesAndIds) {
  EXPECT_EQ(LanguageNameToID("english (usa)"), 0x0409);
  EXPECT_EQ(LanguageNameToID("Serbian (Cyrillic)"), 0x0C1A);
  EXPECT_EQ(LanguageNameToID("Spanish (Modern)"), 0x0C0A);
  EXPECT_EQ(LanguageNameToID("English"), 0);
  EXPECT_TRUE(IsValidLanguageName("ANSI STANDARD"));
  EXPECT_FALSE(IsValidLanguageName("Ukrainian"));  // the list spells it "Ukranian"
  EXPECT_EQ(LanguageIndex(0), 0);
  EXPECT_EQ(LanguageIndex(0x0407), 48);
  EXPECT_EQ(LanguageIndex(0x0411), -1);

  // Every language must be one the collation layer serves, or its tables
  // could be created but never opened.
  std::set<uint16_t> ids;
  for (const TLanguageEntry& entry : LanguageList()) {
    EXPECT_TRUE(ids.insert(entry.LanguageID).second) << entry.Name;
    if (entry.LanguageID != 0) {
      EXPECT_TRUE(IsValidLocale(entry.LanguageID)) << entry.Name;
    }
  }
  for (int position = 48; position <= 52; ++position)
    EXPECT_TRUE(IsValidLocale(MakeLCID(LanguageList()[position].LanguageID, 1)));
}

TEST(EngineLanguages, SortOrders) {
  TStringList names;
  names.Add("left over");
  GetSortNames(52, names);
  EXPECT_EQ(names.CommaText(), "\"Default Order\",\"German Phone Book Order\"");
  GetSortNames(28, names);
  EXPECT_EQ(names.CommaText(), "\"Default Order\"");
  GetSortNames(99, names);
  EXPECT_EQ(names.CommaText(), "\"Default Order\"");

  EXPECT_TRUE(IsValidSortName(0x0407, "German Phone Book Order"));
  EXPECT_FALSE(IsValidSortName(0x0409, "German Phone Book Order"));
  EXPECT_TRUE(IsValidSortName(0x0411, "default order"));
  EXPECT_EQ(SortNameToID(0x0407, "german phone book order"), 1);
  EXPECT_EQ(SortNameToID(0x0409, "German Phone Book Order"), 0);
}

}  // namespace
