#include "osLocale.h"

#include <algorithm>

#include "osCodePage.h"

namespace {

constexpr LocaleInfo kLocales[] = {
    {0x0401, "ar_SA", 1256}, {0x0402, "bg_BG", 1251}, {0x0403, "ca_ES", 1252},
    {0x0405, "cs_CZ", 1250}, {0x0406, "da_DK", 1252}, {0x0407, "de_DE", 1252},
    {0x0408, "el_GR", 1253}, {0x0409, "en_US", 1252},
    {0x040A, "es_ES@collation=traditional", 1252},
    {0x040B, "fi_FI", 1252}, {0x040C, "fr_FR", 1252}, {0x040D, "he_IL", 1255},
    {0x040E, "hu_HU", 1250}, {0x040F, "is_IS", 1252}, {0x0410, "it_IT", 1252},
    {0x0413, "nl_NL", 1252}, {0x0414, "nb_NO", 1252}, {0x0415, "pl_PL", 1250},
    {0x0416, "pt_BR", 1252}, {0x0418, "ro_RO", 1250}, {0x0419, "ru_RU", 1251},
    {0x041A, "hr_HR", 1250}, {0x041B, "sk_SK", 1250}, {0x041C, "sq_AL", 1250},
    {0x041D, "sv_SE", 1252}, {0x041E, "th_TH", 874},  {0x041F, "tr_TR", 1254},
    {0x0421, "id_ID", 1252}, {0x0422, "uk_UA", 1251}, {0x0423, "be_BY", 1251},
    {0x0424, "sl_SI", 1250}, {0x0425, "et_EE", 1257}, {0x0426, "lv_LV", 1257},
    {0x0427, "lt_LT", 1257}, {0x0429, "fa_IR", 1256}, {0x042A, "vi_VN", 1258},
    {0x042D, "eu_ES", 1252}, {0x0436, "af_ZA", 1252}, {0x0438, "fo_FO", 1252},
    {0x0801, "ar_IQ", 1256}, {0x0807, "de_CH", 1252}, {0x0809, "en_GB", 1252},
    {0x080A, "es_MX", 1252}, {0x080C, "fr_BE", 1252}, {0x0810, "it_CH", 1252},
    {0x0813, "nl_BE", 1252}, {0x0814, "nn_NO", 1252}, {0x0816, "pt_PT", 1252},
    {0x081A, "sr_Latn_RS", 1250}, {0x081D, "sv_FI", 1252},
    {0x0C01, "ar_EG", 1256}, {0x0C07, "de_AT", 1252}, {0x0C09, "en_AU", 1252},
    {0x0C0A, "es_ES", 1252}, {0x0C0C, "fr_CA", 1252}, {0x0C1A, "sr_Cyrl_RS", 1251},
    {0x1001, "ar_LY", 1256}, {0x1007, "de_LU", 1252}, {0x1009, "en_CA", 1252},
    {0x100A, "es_GT", 1252}, {0x100C, "fr_CH", 1252},
    {0x1401, "ar_DZ", 1256}, {0x1407, "de_LI", 1252}, {0x1409, "en_NZ", 1252},
    {0x140A, "es_CR", 1252}, {0x140C, "fr_LU", 1252},
    {0x1801, "ar_MA", 1256}, {0x1809, "en_IE", 1252}, {0x180A, "es_PA", 1252},
    {0x1C01, "ar_TN", 1256}, {0x1C09, "en_ZA", 1252}, {0x1C0A, "es_DO", 1252},
    {0x2001, "ar_OM", 1256}, {0x2009, "en_JM", 1252}, {0x200A, "es_VE", 1252},
    {0x2401, "ar_YE", 1256}, {0x2409, "en_029", 1252}, {0x240A, "es_CO", 1252},
    {0x2801, "ar_SY", 1256}, {0x2809, "en_BZ", 1252}, {0x280A, "es_PE", 1252},
    {0x2C01, "ar_JO", 1256}, {0x2C09, "en_TT", 1252}, {0x2C0A, "es_AR", 1252},
    {0x3001, "ar_LB", 1256}, {0x300A, "es_EC", 1252},
    {0x3401, "ar_KW", 1256}, {0x340A, "es_CL", 1252},
    {0x3801, "ar_AE", 1256}, {0x380A, "es_UY", 1252},
    {0x3C01, "ar_BH", 1256}, {0x3C0A, "es_PY", 1252},
    {0x4001, "ar_QA", 1256}, {0x400A, "es_BO", 1252},
    {0x440A, "es_SV", 1252}, {0x480A, "es_HN", 1252}, {0x4C0A, "es_NI", 1252},
    {0x500A, "es_PR", 1252},
    // Sort 1: German phone-book order.
    {0x10407, "de_DE@collation=phonebook", 1252}, {0x10807, "de_CH@collation=phonebook", 1252},
    {0x10C07, "de_AT@collation=phonebook", 1252}, {0x11007, "de_LU@collation=phonebook", 1252},
    {0x11407, "de_LI@collation=phonebook", 1252},
};

static_assert(std::is_sorted(std::begin(kLocales), std::end(kLocales),
                             [](const LocaleInfo& a, const LocaleInfo& b) { return a.lcid < b.lcid; }),
              "locales must stay ordered by id for the binary search");

}  // namespace

std::span<const LocaleInfo> AllLocales() { return kLocales; }

const LocaleInfo* FindLocale(LCID lcid) {
  auto it = std::lower_bound(std::begin(kLocales), std::end(kLocales), lcid,
                             [](const LocaleInfo& entry, LCID id) { return entry.lcid < id; });
  return it != std::end(kLocales) && it->lcid == lcid ? &*it : nullptr;
}

bool IsValidLocale(LCID lcid) { return FindLocale(lcid) != nullptr; }

unsigned CodePageOfLanguage(LANGID languageId) {
  if (languageId == 0) return CP_UTF8;
  const LocaleInfo* locale = FindLocale(languageId);
  return locale ? locale->codePage : 0;
}
