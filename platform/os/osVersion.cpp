#include "osVersion.h"

#include <strings.h>
#include <vector>

namespace {

struct TVersionEntry {
  const char* Name;
  const char* Value;
};

constexpr TVersionEntry kStringTable[] = {
    {"CompanyName", "Morvane"},
    {"FileDescription", "Orvelle"},
    {"FileVersion", "1.0.0.0"},
    {"InternalName", "Orvelle"},
    {"LegalCopyright", "Copyright (C) Morvane"},
    {"OriginalFilename", "orvelle"},
    {"ProductName", "Orvelle"},
    {"ProductVersion", "1.0.0.0"},
};

std::vector<std::string> SplitBlockPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

std::optional<std::string> QueryVersionValue(const std::string& subBlock) {
  std::vector<std::string> parts = SplitBlockPath(subBlock);
  if (parts.size() != 3 || !SameText(parts[0], "StringFileInfo") || !SameText(parts[1], "040904E4"))
    return std::nullopt;
  for (const TVersionEntry& entry : kStringTable)
    if (SameText(parts[2], entry.Name)) return std::string(entry.Value);
  return std::nullopt;
}
