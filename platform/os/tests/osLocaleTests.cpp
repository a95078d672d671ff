#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <unicode/uloc.h>

#include "osCollation.h"
#include "osLocale.h"

namespace {

class ScopedLang {
 public:
  explicit ScopedLang(const char* value) {
    if (const char* old = std::getenv("LANG")) saved_ = old;
    if (value)
      setenv("LANG", value, 1);
    else
      unsetenv("LANG");
  }
  ~ScopedLang() {
    if (saved_)
      setenv("LANG", saved_->c_str(), 1);
    else
      unsetenv("LANG");
  }

 private:
  std::optional<std::string> saved_;
};

TEST(osLocale, EveryLocaleNamesARealIcuLocaleAndCollates) {
  int languages = 0, phoneBooks = 0;
  for (const LocaleInfo& locale : AllLocales()) {
    SCOPED_TRACE(locale.icuLocale);
    EXPECT_STRNE(uloc_getISO3Language(locale.icuLocale), "");
    char region[8] = "";
    UErrorCode status = U_ZERO_ERROR;
    uloc_getCountry(locale.icuLocale, region, sizeof region, &status);
    EXPECT_TRUE(std::string(region) == "029" || *uloc_getISO3Country(locale.icuLocale)) << region;
    EXPECT_EQ(CompareStringA(locale.lcid, SORT_STRINGSORT, "1", -1, "2", -1), CSTR_LESS_THAN);
    if (locale.lcid >> 16 == 0) {
      ++languages;
    } else {
      ++phoneBooks;
      EXPECT_EQ(locale.lcid & 0x3FF, 0x07u);  // German only
    }
  }
  EXPECT_EQ(languages, 98);
  EXPECT_EQ(phoneBooks, 5);
}

TEST(osLocale, ValidLocalesAreTheListedLanguagesAndGermanPhoneBook) {
  for (LCID id : {0x0436u, 0x0401u, 0x0409u, 0x0407u, 0x081Au, 0x0C1Au, 0x040Au, 0x0C0Au, 0x041Eu, 0x10407u,
                  0x11407u})
    EXPECT_TRUE(IsValidLocale(id)) << std::hex << id;
  for (LCID id : {0x0000u, 0x0009u, 0x0412u, 0x10409u, 0x20407u, 0x100409u}) EXPECT_FALSE(IsValidLocale(id)) << std::hex << id;
}

TEST(osLocale, UserDefaultLanguageComesFromLang) {
  const std::pair<const char*, LANGID> cases[] = {
      {"de_DE.UTF-8", 0x0407},     {"en_GB", 0x0809},       {"en_US.utf8", 0x0409}, {"es_ES.UTF-8", 0x0C0A},
      {"pt_PT.UTF-8", 0x0816},     {"sr_RS.UTF-8", 0x0C1A}, {"sr_RS@latin", 0x081A}, {"nb_NO.UTF-8", 0x0414},
      {"fr", 0x040C},              {"de_IT.UTF-8", 0x0407}, {"th_TH.TIS-620", 0x041E}, {"ja_JP.UTF-8", 0x0409},
      {"C", 0x0409},               {"POSIX", 0x0409},       {"C.UTF-8", 0x0409},   {"", 0x0409},
      {nullptr, 0x0409},
  };
  for (auto [lang, expected] : cases) {
    ScopedLang scoped(lang);
    EXPECT_EQ(GetUserDefaultLangID(), expected) << (lang ? lang : "(unset)");
  }
}

TEST(osLocale, Utf8SystemsReportDoubleByteCharacters) {
  const std::pair<const char*, bool> cases[] = {
      {"de_DE.UTF-8", true}, {"en_US.utf8", true}, {"C.UTF-8", true},         {"C", true},
      {nullptr, true},       {"de_DE", false},     {"de_DE.ISO-8859-1", false}, {"de_DE@euro", false},
  };
  for (auto [lang, expected] : cases) {
    ScopedLang scoped(lang);
    EXPECT_EQ(SystemUsesDoubleByteChars(), expected) << (lang ? lang : "(unset)");
  }
}

}  // namespace
