#include "rtlStrings.h"

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlStrUtils.h"
#include "rtlStreams.h"

namespace {

// Keeps an update bracket balanced when a change raises.
class TUpdateBracket {
public:
  explicit TUpdateBracket(TStrings& strings) : strings(strings) { strings.BeginUpdate(); }
  ~TUpdateBracket() { strings.EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

private:
  TStrings& strings;
};

}  // namespace

void TStrings::Error(const char* message, int index) const { throw EStringListError(message, {index}); }

void TStrings::Put(int index, const std::string& s) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int index) const { return nullptr; }

void TStrings::PutObject(int index, TObject* object) {}

int TStrings::Add(const std::string& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::Exchange(int index1, int index2) {
  TUpdateBracket bracket(*this);
  std::string s1 = Get(index1), s2 = Get(index2);
  TObject* object1 = GetObject(index1);
  TObject* object2 = GetObject(index2);
  Put(index1, s2);
  PutObject(index1, object2);
  Put(index2, s1);
  PutObject(index2, object1);
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  TUpdateBracket bracket(*this);
  std::string s = Get(curIndex);
  TObject* object = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, object);
}

void TStrings::AddStrings(const TStrings& strings) {
  TUpdateBracket bracket(*this);
  for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
}

void TStrings::Assign(const TStrings& strings) {
  if (&strings == this) return;
  TUpdateBracket bracket(*this);
  Clear();
  Delimiter = strings.Delimiter;
  QuoteChar = strings.QuoteChar;
  NameValueSeparator = strings.NameValueSeparator;
  AddStrings(strings);
}

std::string TStrings::Names(int index) const {
  std::string s = Get(index);
  size_t separator = s.find(NameValueSeparator);
  return separator == std::string::npos ? std::string() : s.substr(0, separator);
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    size_t separator = s.find(NameValueSeparator);
    if (separator != std::string::npos && CompareStrings(s.substr(0, separator), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  int index = IndexOfName(name);
  if (index < 0) return {};
  std::string s = Get(index);
  return s.substr(s.find(NameValueSeparator) + 1);
}

void TStrings::SetValue(const std::string& name, const std::string& value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
  } else if (index < 0) {
    Add(name + NameValueSeparator + value);
  } else {
    Put(index, name + NameValueSeparator + value);
  }
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) text += Get(i) + "\r\n";
  return text;
}

void TStrings::SetText(const std::string& text) {
  TUpdateBracket bracket(*this);
  Clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    Add(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

std::string TStrings::DelimitedText() const { return JoinDelimited(Delimiter, QuoteChar); }

void TStrings::SetDelimitedText(const std::string& text) { SplitDelimited(text, Delimiter, QuoteChar); }

std::string TStrings::CommaText() const { return JoinDelimited(',', '"'); }

void TStrings::SetCommaText(const std::string& text) { SplitDelimited(text, ',', '"'); }

std::string TStrings::JoinDelimited(char delimiter, char quoteChar) const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    bool quote = s.empty();
    for (char c : s)
      if (static_cast<unsigned char>(c) <= ' ' || c == delimiter || c == quoteChar) quote = true;
    if (i > 0) text += delimiter;
    if (!quote) {
      text += s;
      continue;
    }
    text += quoteChar;
    for (char c : s) {
      if (c == quoteChar) text += quoteChar;
      text += c;
    }
    text += quoteChar;
  }
  return text;
}

void TStrings::SplitDelimited(const std::string& text, char delimiter, char quoteChar) {
  auto isBlank = [&](size_t p) { return p < text.size() && static_cast<unsigned char>(text[p]) <= ' '; };
  TUpdateBracket bracket(*this);
  Clear();
  size_t p = 0;
  while (isBlank(p)) ++p;
  while (p < text.size()) {
    std::string item;
    if (text[p] == quoteChar) {
      ++p;
      while (p < text.size()) {
        if (text[p] == quoteChar) {
          if (p + 1 < text.size() && text[p + 1] == quoteChar) {
            item += quoteChar;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      while (p < text.size() && !isBlank(p) && text[p] != delimiter) item += text[p++];
    }
    Add(item);
    while (isBlank(p)) ++p;
    if (p < text.size() && text[p] == delimiter) {
      if (p + 1 == text.size()) Add("");
      ++p;
      while (isBlank(p)) ++p;
    }
  }
}

void TStrings::LoadFromStream(TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  text.resize(static_cast<size_t>(stream.Read(text.data(), static_cast<int64_t>(text.size()))));
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
  std::string text = Text();
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead);
  LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TStrings::BeginUpdate() {
  if (updateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount > 0 && --updateCount == 0) SetUpdateState(false);
}

int TStrings::CompareStrings(const std::string& s1, const std::string& s2) const { return CompareText(s1, s2); }
