// The user's language and code set, read from $LANG alone: the design keeps
// one source, so LC_ALL and friends do not change what new tables get.

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unicode/uloc.h>

#include "osLocale.h"

namespace {

constexpr LANGID kEnglishUsa = 0x0409;

// language[_territory][.codeset][@modifier]
struct PosixLocale {
  std::string language, territory, codeSet, modifier;
};

PosixLocale ParsePosixLocale(std::string_view text) {
  PosixLocale parsed;
  std::string* part = &parsed.language;
  for (char c : text) {
    if (c == '_' && part == &parsed.language)
      part = &parsed.territory;
    else if (c == '.' && part != &parsed.codeSet && part != &parsed.modifier)
      part = &parsed.codeSet;
    else if (c == '@' && part != &parsed.modifier)
      part = &parsed.modifier;
    else
      *part += c;
  }
  return parsed;
}

std::string UserLocaleText() {
  const char* lang = std::getenv("LANG");
  return lang ? lang : "";
}

bool IsPlainLanguage(const std::string& language) {
  if (language.size() < 2 || language.size() > 3) return false;
  for (char c : language)
    if (!std::islower(static_cast<unsigned char>(c))) return false;
  return true;
}

// Language, script and territory with ICU's likely subtags filled in, so that
// "sr_RS" and "sr_Cyrl_RS", or "de" and "de_DE", meet.
std::string Maximized(const std::string& localeId) {
  char buffer[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  uloc_addLikelySubtags(localeId.c_str(), buffer, sizeof buffer, &status);
  return U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING ? buffer : localeId;
}

LANGID FindLanguage(const std::string& localeId) {
  const std::string wanted = Maximized(localeId);
  for (const LocaleInfo& locale : AllLocales()) {
    std::string_view name = locale.icuLocale;
    if (locale.lcid > 0xFFFF || name.find('@') != std::string_view::npos) continue;
    if (Maximized(std::string(name)) == wanted) return static_cast<LANGID>(locale.lcid);
  }
  return 0;
}

}  // namespace

LANGID GetUserDefaultLangID() {
  const PosixLocale user = ParsePosixLocale(UserLocaleText());
  if (!IsPlainLanguage(user.language)) return kEnglishUsa;
  std::string language = user.language;
  if (user.modifier == "latin") language += "_Latn";
  if (user.modifier == "cyrillic") language += "_Cyrl";
  LANGID id = user.territory.empty() ? 0 : FindLanguage(language + "_" + user.territory);
  if (id == 0) id = FindLanguage(language);
  return id != 0 ? id : kEnglishUsa;
}

bool SystemUsesDoubleByteChars() {
  const PosixLocale user = ParsePosixLocale(UserLocaleText());
  if (user.codeSet.empty()) return !IsPlainLanguage(user.language);
  std::string codeSet;
  for (char c : user.codeSet)
    if (c != '-') codeSet += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return codeSet == "utf8";
}
