#include "osCollation.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <unicode/ucol.h>

#include "osCodePage.h"

namespace {

constexpr uint32_t kCompareFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | SORT_STRINGSORT;
constexpr int kSetups = 4;  // one per combination of the two ignore flags

// Collators are configured once when created and only read afterwards, which
// ICU allows from many threads at once; a slot is filled under the mutex and
// read without it.
class TCollatorCache {
public:
  TCollatorCache() : slots(AllLocales().size() * kSetups) {}
  ~TCollatorCache() {
    for (auto& slot : slots)
      if (UCollator* collator = slot.load()) ucol_close(collator);
  }

  const UCollator* Get(const LocaleInfo& locale, uint32_t flags) {
    const size_t setup = flags & (NORM_IGNORECASE | NORM_IGNORENONSPACE);
    std::atomic<UCollator*>& slot = slots[(&locale - AllLocales().data()) * kSetups + setup];
    if (UCollator* collator = slot.load(std::memory_order_acquire)) return collator;
    std::lock_guard lock(mutex);
    if (UCollator* collator = slot.load(std::memory_order_relaxed)) return collator;
    UCollator* collator = Open(locale.icuLocale, flags);
    slot.store(collator, std::memory_order_release);
    return collator;
  }

private:
  static UCollator* Open(const char* icuLocale, uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(icuLocale, &status);
    if (U_FAILURE(status)) return nullptr;
    const bool ignoreCase = flags & NORM_IGNORECASE;
    const bool ignoreNonSpace = flags & NORM_IGNORENONSPACE;
    UColAttributeValue strength = ignoreNonSpace ? UCOL_PRIMARY : ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY;
    ucol_setStrength(collator, strength);
    ucol_setAttribute(collator, UCOL_CASE_LEVEL, ignoreNonSpace && !ignoreCase ? UCOL_ON : UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    // Code page 1258 spells letters as base plus combining marks.
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status)) {
      ucol_close(collator);
      return nullptr;
    }
    return collator;
  }

  std::mutex mutex;
  std::vector<std::atomic<UCollator*>> slots;
};

TCollatorCache& Collators() {
  static TCollatorCache cache;
  return cache;
}

size_t TextLength(const char* text, int length) {
  if (length < 0) return std::strlen(text);
  const void* zero = std::memchr(text, 0, static_cast<size_t>(length));
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : static_cast<size_t>(length);
}

// The text in UTF-16, on the stack when it is short (key fields are).
class TWideText {
public:
  TWideText(const char16_t* codePage, const char* text, size_t length) : charCount(static_cast<int32_t>(length)) {
    char16_t* out = length <= sizeof inlineChars / sizeof inlineChars[0]
                        ? inlineChars
                        : (heapChars = std::make_unique<char16_t[]>(length)).get();
    for (size_t i = 0; i < length; ++i) out[i] = codePage[static_cast<uint8_t>(text[i])];
    chars = out;
  }
  const char16_t* Data() const { return chars; }
  int32_t Length() const { return charCount; }

private:
  char16_t inlineChars[256];
  std::unique_ptr<char16_t[]> heapChars;
  const char16_t* chars;
  int32_t charCount;
};

}  // namespace

int CompareStringA(LCID locale, uint32_t flags, const char* a, int aLength, const char* b, int bLength) {
  if ((flags & ~kCompareFlags) != 0 || !(flags & SORT_STRINGSORT) || !a || !b) return 0;
  const LocaleInfo* info = FindLocale(locale);
  if (!info) return 0;
  const UCollator* collator = Collators().Get(*info, flags);
  if (!collator) return 0;
  const char16_t* codePage = CodePageToUnicode(info->codePage);
  TWideText wideA(codePage, a, TextLength(a, aLength));
  TWideText wideB(codePage, b, TextLength(b, bLength));
  return ucol_strcoll(collator, wideA.Data(), wideA.Length(), wideB.Data(), wideB.Length()) + CSTR_EQUAL;
}
