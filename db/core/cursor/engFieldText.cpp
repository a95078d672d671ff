#include "engFieldText.h"

#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "osCodePage.h"
#include "osLocale.h"

namespace {

unsigned TableCodePage(uint16_t languageId, const std::string& tableName) {
  const unsigned codePage = CodePageOfLanguage(languageId);
  if (codePage == 0) RaiseEngineError(EngErrNoLanguageDriver, tableName);
  return codePage;
}

}  // namespace

std::string FieldTextFromUtf8(uint16_t languageId, std::string_view text, const std::string& tableName) {
  return Utf8ToAnsi(TableCodePage(languageId, tableName), text);
}

std::string FieldTextToUtf8(uint16_t languageId, std::string_view stored, const std::string& tableName) {
  return AnsiToUtf8(TableCodePage(languageId, tableName), stored);
}
