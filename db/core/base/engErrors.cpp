#include "engErrors.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "engErrorTexts.h"
#include "rtlFormat.h"
#include "rtlResources.h"

namespace {

constexpr size_t NameLimit = 255;
constexpr size_t MessageLimit = 254;

struct TErrorContext {
  uint16_t Code = 0;
  std::string TableName;
  std::string FieldName;
  std::string IndexName;
  std::string ExtraText;
};

thread_local TErrorContext errorContext;

std::atomic<TEngineErrorRaiser> installedRaiser{nullptr};

std::recursive_mutex& EngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::string ShortString(const std::string& s) { return s.substr(0, NameLimit); }

// Cuts at a character boundary, so a message never ends in half a UTF-8 sequence.
std::string CutText(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

const std::string& ContextString(char fill) {
  switch (fill) {
    case 'F': return errorContext.FieldName;
    case 'I': return errorContext.IndexName;
    case 'X': return errorContext.ExtraText;
    default: return errorContext.TableName;
  }
}

// No text has more than three placeholders.
std::string FormatWithContext(std::string_view text, const char* fills) {
  std::string_view names[3];
  size_t count = 0;
  for (const char* f = fills; *f && count < 3; ++f) names[count++] = ContextString(*f);
  switch (count) {
    case 0: return std::string(text);
    case 1: return Format(text, {names[0]});
    case 2: return Format(text, {names[0], names[1]});
    default: return Format(text, {names[0], names[1], names[2]});
  }
}

}  // namespace

void SetEngineErrorRaiser(TEngineErrorRaiser raiser) { installedRaiser.store(raiser); }

void RaiseEngineError(uint16_t code, const std::string& tableName, const std::string& fieldName,
                      const std::string& indexName, const std::string& extraText) {
  SetErrorContext(code, tableName, fieldName, indexName, extraText);
  if (TEngineErrorRaiser raiser = installedRaiser.load()) raiser(code);
  // Reached without a raiser, or when a raiser failed to throw.
  throw EEngineError(code, EngineErrorMessage(code));
}

void SetErrorContext(uint16_t code, const std::string& tableName, const std::string& fieldName,
                     const std::string& indexName, const std::string& extraText) {
  errorContext.Code = code;
  errorContext.TableName = ShortString(tableName);
  errorContext.FieldName = ShortString(fieldName);
  errorContext.IndexName = ShortString(indexName);
  errorContext.ExtraText = ShortString(extraText);
}

void ClearErrorContext() { errorContext = TErrorContext{}; }

std::string GetErrorContextName(int kind) {
  switch (kind) {
    case ecFieldName: return errorContext.FieldName;
    case ecTableName: return errorContext.TableName;
    case ecIndexName: return errorContext.IndexName;
    default: return {};
  }
}

uint16_t GetErrorCode() { return errorContext.Code; }

std::string EngineErrorMessage(uint16_t code) {
  auto texts = EngineErrorTexts();
  auto found = std::find_if(texts.begin(), texts.end(),
                            [code](const TEngineErrorText& t) { return t.Code == code; });
  std::string message;
  if (found == texts.end()) {
    message = FormatWithContext(SUnknownEngineError, "T");
  } else {
    int id = FirstEngineErrorStringId + static_cast<int>(found - texts.begin());
    message = FormatWithContext(LoadStr(id), found->Fills);
  }
  return CutText(std::move(message), MessageLimit);
}

void LockEngine() { EngineLock().lock(); }

void UnlockEngine() { EngineLock().unlock(); }
