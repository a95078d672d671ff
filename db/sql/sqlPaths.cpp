#include "sqlPaths.h"

namespace {

constexpr const char* Separators = ":\\/";

}  // namespace

bool HasFolderPart(const std::string& name) { return name.find_first_of(Separators) != std::string::npos; }

std::string FolderPart(const std::string& name) {
  const size_t at = name.find_last_of(Separators);
  return at == std::string::npos ? std::string() : name.substr(0, at + 1);
}

std::string FilePart(const std::string& name) {
  const size_t at = name.find_last_of(Separators);
  return at == std::string::npos ? name : name.substr(at + 1);
}
