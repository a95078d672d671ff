#include "osPath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace OsPath {

namespace {

std::string CurrentFolder() {
  std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
  return cwd ? std::string(cwd.get()) : std::string();
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

std::vector<std::string> SplitSegments(const std::string& path) {
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    segments.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

// Compares one UTF-8 character from each side; ill-formed bytes compare raw.
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  const auto lengthA = static_cast<int32_t>(a.size());
  const auto lengthB = static_cast<int32_t>(b.size());
  int32_t i = 0, j = 0;
  while (i < lengthA && j < lengthB) {
    const int32_t startA = i, startB = j;
    UChar32 ca, cb;
    U8_NEXT(a.data(), i, lengthA, ca);
    U8_NEXT(b.data(), j, lengthB, cb);
    if (ca < 0 || cb < 0) {
      if (a.compare(startA, i - startA, b, startB, j - startB) != 0) return false;
    } else if (u_foldCase(ca, U_FOLD_CASE_DEFAULT) != u_foldCase(cb, U_FOLD_CASE_DEFAULT)) {
      return false;
    }
  }
  return i == lengthA && j == lengthB;
}

}  // namespace

std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return {};
  std::string absolute = path;
  if (path[0] != '/') {
    const std::string cwd = CurrentFolder();
    if (cwd.empty()) return {};
    absolute = cwd + "/" + path;
  }
  std::vector<std::string> kept;
  for (const std::string& segment : SplitSegments(absolute)) {
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(segment);
  }
  std::string result;
  for (const std::string& segment : kept) result += "/" + segment;
  if (result.empty() || path.back() == '/') result += "/";
  return result;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

OsError GetFileAttributes(const std::string& path, FileAttributes& attributes) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return OsErrorFromErrno(errno, path);
  attributes.directory = S_ISDIR(st.st_mode);
  // Write permission bits alone would not do: the superuser ignores them.
  const bool noWriteBits = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  attributes.readOnly = noWriteBits || faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
  return ERROR_SUCCESS;
}

std::string FindFileIgnoreCase(const std::string& folder, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return {};
  const std::string base = folder.empty() ? std::string(".") : folder;
  struct stat st;
  if (::stat((base + "/" + name).c_str(), &st) == 0) return name;
  std::unique_ptr<DIR, DirCloser> dir(opendir(base.c_str()));
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (EqualIgnoringCase(candidate, name) && (found.empty() || candidate < found)) found = candidate;
  }
  return found;
}

}  // namespace OsPath
