#include "osSettingsDocument.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool NeedsEscapeInName(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%' || c == '=' || c == '[' || c == ']' || c == ';' ||
         c == '#';
}

bool NeedsEscapeInData(unsigned char c) { return c < 0x20 || c == 0x7F || c == '%'; }

const char kHexDigits[] = "0123456789abcdef";

std::string Escape(std::string_view text, bool (*needsEscape)(unsigned char)) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (needsEscape(c)) {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

[[noreturn]] void FormatError(int line, const char* what) {
  throw ESettingsFormatError(Format("Settings line %d: %s", {line, what}));
}

std::string Unescape(std::string_view text, int line) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) FormatError(line, "bad %-escape");
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

int32_t ParseInteger(std::string_view digits, int line) {
  std::string text(digits);
  if (text.empty() || text.find_first_not_of("-0123456789") != std::string::npos)
    FormatError(line, "bad integer");
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
    FormatError(line, "bad integer");
  return static_cast<int32_t>(value);
}

TSettingsValue ParseValueLine(std::string_view line, int lineNumber) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) FormatError(lineNumber, "missing '='");
  TSettingsValue value;
  value.Name = Unescape(line.substr(0, equals), lineNumber);
  std::string_view typed = line.substr(equals + 1);
  size_t colon = typed.find(':');
  if (colon == std::string_view::npos) FormatError(lineNumber, "missing type");
  std::string_view kind = typed.substr(0, colon), data = typed.substr(colon + 1);
  if (kind == "integer") {
    value.Kind = TSettingsKind::Integer;
    value.Integer = ParseInteger(data, lineNumber);
  } else if (kind == "string") {
    value.Kind = TSettingsKind::String;
    value.Text = Unescape(data, lineNumber);
  } else {
    FormatError(lineNumber, "unknown type");
  }
  return value;
}

std::string ValueLine(const TSettingsValue& value) {
  std::string line = Escape(value.Name, NeedsEscapeInName) + "=";
  switch (value.Kind) {
    case TSettingsKind::Integer: return line + "integer:" + std::to_string(value.Integer);
    case TSettingsKind::String: return line + "string:" + Escape(value.Text, NeedsEscapeInData);
  }
  return line;
}

}  // namespace

bool SameSettingsName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string NormalizeKeyPath(const std::string& path) {
  std::string out, part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!out.empty()) out += '\\';
    out += part;
    part.clear();
  };
  for (char c : path) {
    if (c == '\\')
      flush();
    else
      part += c;
  }
  flush();
  return out;
}

TSettingsValue* TSettingsKey::FindValue(const std::string& name) {
  for (TSettingsValue& value : Values)
    if (SameSettingsName(value.Name, name)) return &value;
  return nullptr;
}

const TSettingsValue* TSettingsKey::FindValue(const std::string& name) const {
  return const_cast<TSettingsKey*>(this)->FindValue(name);
}

void TSettingsKey::SetValue(TSettingsValue value) {
  if (TSettingsValue* existing = FindValue(value.Name)) {
    value.Name = existing->Name;
    *existing = std::move(value);
  } else {
    Values.push_back(std::move(value));
  }
}

bool TSettingsKey::DeleteValue(const std::string& name) {
  auto found = std::find_if(Values.begin(), Values.end(), [&](const TSettingsValue& value) {
    return SameSettingsName(value.Name, name);
  });
  if (found == Values.end()) return false;
  Values.erase(found);
  return true;
}

TSettingsKey* TSettingsDocument::FindKey(const std::string& path) {
  std::string normal = NormalizeKeyPath(path);
  for (TSettingsKey& key : keys)
    if (SameSettingsName(key.Path, normal)) return &key;
  return nullptr;
}

bool TSettingsDocument::KeyExists(const std::string& path) const {
  std::string normal = NormalizeKeyPath(path);
  if (normal.empty()) return true;  // the root
  for (const TSettingsKey& key : keys) {
    if (SameSettingsName(key.Path, normal)) return true;
    if (key.Path.size() > normal.size() && key.Path[normal.size()] == '\\' &&
        SameSettingsName(key.Path.substr(0, normal.size()), normal))
      return true;
  }
  return false;
}

TSettingsKey& TSettingsDocument::AddKey(const std::string& path) {
  if (TSettingsKey* existing = FindKey(path)) return *existing;
  keys.push_back(TSettingsKey{NormalizeKeyPath(path), {}});
  return keys.back();
}

TSettingsDocument TSettingsDocument::Parse(const std::string& text) {
  TSettingsDocument document;
  TSettingsKey* current = nullptr;
  int lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') FormatError(lineNumber, "unclosed key");
      std::string path = Unescape(line.substr(1, line.size() - 2), lineNumber);
      if (document.FindKey(path)) FormatError(lineNumber, "key repeated");
      current = &document.AddKey(path);
      continue;
    }
    if (!current) FormatError(lineNumber, "value outside a key");
    TSettingsValue value = ParseValueLine(line, lineNumber);
    if (current->FindValue(value.Name)) FormatError(lineNumber, "value repeated");
    current->Values.push_back(std::move(value));
  }
  return document;
}

std::string TSettingsDocument::Text() const {
  std::string text =
      "; Settings store. One [key] per section; values as name=integer:N\n"
      "; or name=string:TEXT; '%' escapes a byte as %XX.\n";
  for (const TSettingsKey& key : keys) {
    text += "[" + Escape(key.Path, NeedsEscapeInName) + "]\n";
    for (const TSettingsValue& value : key.Values) text += ValueLine(value) + "\n";
  }
  return text;
}
