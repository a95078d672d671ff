#include "ppUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <fcntl.h>
#include <unistd.h>

#include "ppMessages.h"
#include "rtlClasses.h"
#include "rtlConvert.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlStreams.h"
#include "rtlStrings.h"
#include "rtlTypeInfo.h"
#include "rtlUtf8.h"

namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::string PageKey(int n) { return Format("%8d", {n}); }

}  // namespace

bool ppParsePageList(const std::string& text, TStrings& list, bool trim) {
  list.Clear();
  std::set<int> pages;
  int rangeStart = -1;  // the number before a "-", while a range is open
  bool afterNumber = false;
  int last = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsDigitChar(text[i])) {
      if (text[i] == '-' && afterNumber) rangeStart = last;
      else rangeStart = -1;
      afterNumber = false;
      ++i;
      continue;
    }
    int64_t number = 0;
    while (i < text.size() && IsDigitChar(text[i])) {
      number = std::min<int64_t>(number * 10 + (text[i] - '0'), ppMaxPageNumber);
      ++i;
    }
    last = static_cast<int>(number);
    if (rangeStart >= 0 && last > rangeStart) {
      if (static_cast<int64_t>(pages.size()) + (last - rangeStart) > ppMaxPageListCount) {
        list.Clear();
        return false;
      }
      for (int n = rangeStart; n <= last; ++n) pages.insert(n);
    } else {
      pages.insert(last);
      if (rangeStart >= 0) pages.insert(rangeStart);
    }
    if (static_cast<int>(pages.size()) > ppMaxPageListCount) {
      list.Clear();
      return false;
    }
    rangeStart = -1;
    afterNumber = true;
  }
  for (int page : pages) list.Add(trim ? IntToStr(page) : PageKey(page));
  return true;
}

std::string ppMakeUniqueName(const TComponent* owner, const std::string& base, const TComponent* component) {
  if (!owner) return base;
  std::vector<int> numbers;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    const TComponent* other = owner->Components(i);
    if (other == component) continue;
    if (component && !other->InheritsFrom(component->ClassType())) continue;
    const std::string& name = other->Name();
    if (name.size() <= base.size() || !SameText(name.substr(0, base.size()), base)) continue;
    int n = 0;
    if (TryStrToInt(name.substr(base.size()), n) && n > 0 && IsDigitChar(name[base.size()])) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  int candidate = static_cast<int>(numbers.size()) + 1;
  for (size_t i = 0; i < numbers.size(); ++i)
    if (numbers[i] != static_cast<int>(i) + 1) {
      candidate = static_cast<int>(i) + 1;
      break;
    }
  return base + IntToStr(candidate);
}

std::string ppClassNameNoPrefix(const std::string& className) { return className.size() > 1 ? className.substr(1) : ""; }
std::string ppClassNameShort(const std::string& className) { return className.size() > 3 ? className.substr(3) : ""; }

std::string ppFitText(const std::string& text, int length, int alignment) {
  const int have = static_cast<int>(Utf8Length(text));
  if (have >= length) return Utf8Truncated(text, std::max(length, 0));
  const int missing = length - have;
  switch (alignment) {
    case 1: return std::string(missing, ' ') + text;
    case 2: {
      // Halves go to the left: round(1.5) is 2.
      const int left = (missing + 1) / 2;
      return std::string(left, ' ') + text + std::string(missing - left, ' ');
    }
    default: return text + std::string(missing, ' ');
  }
}

void ppParseCommaList(const std::string& text, TStrings& list) {
  list.Clear();
  size_t start = 0;
  for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', start)) {
    list.Add(text.substr(start, comma - start));
    start = comma + 1;
  }
  if (start < text.size()) list.Add(text.substr(start));
}

double ppScaleToFit(double width, double height, double targetWidth, double targetHeight) {
  if (targetWidth <= 0 || targetHeight <= 0 || width <= 0 || height <= 0) return 0;
  return std::min(targetWidth / width, targetHeight / height);
}

std::string ppGetTempPath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = tmp && *tmp ? tmp : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

std::string ppGetTempFileName(const std::string& folder, const std::string& prefix) {
  std::string name = folder;
  if (!name.empty() && name.back() != '/') name += '/';
  name += prefix + "XXXXXX.tmp";
  const int fd = mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) RaiseLastOSError(errno);
  close(fd);
  return name;
}

std::string ppExtractPath(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  return slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
}

std::string ppRemoveChar(const std::string& text, char ch) {
  std::string out;
  for (char c : text)
    if (c != ch) out += c;
  return out;
}

bool ppTextEquals(const std::string& a, const std::string& b) { return SameText(a, b); }

std::string ppCapitalize(const std::string& text) {
  std::string out = LowerCase(text);
  for (size_t i = 0; i < out.size(); ++i) {
    if (i == 0 || out[i - 1] == ' ') out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
  }
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] != '_') continue;
    out[i] = ' ';
    if (i + 1 < out.size()) out[i + 1] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i + 1])));
  }
  return out;
}

TDateTime ppStrToDateTime(const std::string& text, const TFormatSettings& settings) {
  return StrToDateTime(text, settings);
}

void ppWriteStringsToStream(const TStrings& list, TMemoryStream& stream) {
  stream.Clear();
  const std::string text = list.Text();
  if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

int ppVersionToInteger(const std::string& version) {
  std::string digits;
  for (char c : version) {
    if (digits.size() == 20 || !(IsDigitChar(c) || c == '.')) break;
    digits += c;
  }
  const size_t dot = digits.find('.');
  if (dot != std::string::npos) digits.erase(dot, 1);
  while (digits.size() < 4) digits += '0';
  return StrToIntDef(digits, 0);
}

std::string ppSystemVariableText(TppVarType type, const TppPageInfo* pageInfo, const TFormatSettings& settings) {
  const TppPageInfo info = pageInfo ? *pageInfo : TppPageInfo{};
  switch (type) {
    case vtDate: return DateToStr(Now(), settings);
    case vtDateTime: return DateTimeToStr(Now(), settings);
    case vtDocumentName: return {};
    case vtPrintDateTime: return DateTimeToStr(pageInfo ? info.PrintDateTime : Now(), settings);
    case vtPageCount: return IntToStr(info.PageCount);
    case vtPageSet: return IntToStr(info.PageNo) + " " + ppLoadMessage(16) + " " + IntToStr(info.PageCount);
    case vtPageSetDesc:
      return ppLoadMessage(18) + " " + IntToStr(info.PageNo) + " " + ppLoadMessage(16) + " " +
             IntToStr(info.PageCount);
    case vtPageNo: return IntToStr(info.PageNo);
    case vtPageNoDesc: return ppLoadMessage(18) + " " + IntToStr(info.PageNo);
    case vtTime: return TimeToStr(Now(), settings);
  }
  return {};
}

int ppVarEventToEventID(TppVarEventType eventType) {
  switch (eventType) {
    case veTraversal: return 35;
    case veDataPipelineTraversal: return 39;
    case vePageStart: return 21;
    case vePageEnd: return 17;
    case veColumnStart: return 19;
    case veColumnEnd: return 15;
    case veReportStart: return 13;
    case veReportEnd: return 14;
    case veGroupStart: return 28;
    case veGroupEnd: return 27;
    case veGroupBeforeHeader: return 29;
    case veGroupBeforeFooter: return 30;
  }
  return 35;
}

int ppBandKindToType(int value) {
  constexpr int types[] = {0, 1, 3, 4, 5, 6, 7, 8, 9};
  return value >= 0 && value <= 8 ? types[value] : 0;
}
