#include "splNames.h"

#include <algorithm>

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool SameSpoolName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string LowerSpoolName(std::string Name) {
  for (char& c : Name) c = LowerAscii(c);
  return Name;
}

std::optional<SpoolName> ParseSpoolName(const std::string& Name) {
  if (Name.size() < 3 || Name.compare(0, 2, "\\\\") != 0) return std::nullopt;
  const auto slash = Name.find('\\', 2);
  if (slash == 2) return std::nullopt;
  if (slash == std::string::npos) return SpoolName{Name, {}};
  if (slash + 1 == Name.size() || Name.find('\\', slash + 1) != std::string::npos) return std::nullopt;
  return SpoolName{Name.substr(0, slash), Name.substr(slash + 1)};
}

std::string PrinterFullName(const std::string& Server, const std::string& Queue) { return Server + "\\" + Queue; }

std::string ServerHost(const std::string& Server) {
  return Server.compare(0, 2, "\\\\") == 0 ? Server.substr(2) : Server;
}
