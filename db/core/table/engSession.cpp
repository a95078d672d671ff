#include "engSession.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engDirectory.h"
#include "engPaths.h"
#include "engTable.h"
#include "engStrings.h"
#include "osLocale.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t DirectoryNotOpen = -11013;

std::string CurrentDirectory() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string() : IncludeTrailingBackslash(current.string());
}

}  // namespace

TDataSession::TDataSession() : defaultDirectory(CurrentDirectory()) {
  LanguageID = SystemUsesDoubleByteChars() ? 0 : GetUserDefaultLangID();
}

TDataSession::~TDataSession() {
  spareTables.Clear();
  directories.Clear();
}

void TDataSession::KeepSpareTable(std::unique_ptr<TDataTable> table) {
  ORV_ASSERT(!table->IsOpen());
  // A taken table comes back at the end, so the first is the one least
  // recently in use.
  if (spareTables.Count() == SpareTableLimit) spareTables.Delete(0);
  spareTables.Add(std::move(table));
  ORV_ASSERT(spareTables.Count() <= SpareTableLimit);
}

std::unique_ptr<TDataTable> TDataSession::TakeSpareTable(const TTableFilesDefinition& definition) {
  for (int32_t i = 0; i < spareTables.Count(); ++i)
    if (spareTables.Get(i)->FitsCreation(definition)) return spareTables.Extract(i);
  return nullptr;
}

std::string TDataSession::GetPrivateDirectory() const {
  return privateDirectory.empty() ? defaultDirectory : privateDirectory;
}

void TDataSession::SetPrivateDirectory(const std::string& path) {
  if (path.empty()) return;
  const std::string directory = IncludeTrailingBackslash(path);
  if (directory != privateDirectory) privateDirectory = directory;
}

int32_t TDataSession::FindPassword(const std::string& password) const {
  const auto found = std::find(passwords.begin(), passwords.end(), password);
  return found == passwords.end() ? -1 : int32_t(found - passwords.begin());
}

void TDataSession::AddPassword(const std::string& password) {
  if (password.empty() || FindPassword(password) >= 0) return;
  passwords.push_back(password.substr(0, ShortStringLimit));
}

void TDataSession::RemovePassword(const std::string& password) {
  const int32_t index = FindPassword(password);
  if (index < 0) return;
  passwords.erase(passwords.begin() + index);
}

void TDataSession::RemoveAllPasswords() {
  passwords.clear();
}

bool TDataSession::PasswordExists(const std::string& password) const { return FindPassword(password) >= 0; }

TDataDirectory* TDataSession::OpenDirectory(const std::string& name, const std::string& path) {
  std::string localPath;
  std::string universalPath;
  if (!SameText(Trim(name), "MEMORY")) {
    localPath = Trim(path).empty() ? defaultDirectory : IncludeTrailingBackslash(path);
    universalPath = GetUniversalName(localPath);
    if (universalPath.empty()) universalPath = localPath;
  }
  for (int32_t i = 0; i < directories.Count(); ++i) {
    TDataDirectory* directory = directories.Get(i);
    if (SameText(Trim(directory->UniversalPath()), Trim(universalPath))) {
      directory->AddUse();
      return directory;
    }
  }
  TDataDirectory* directory = directories.Add(std::make_unique<TDataDirectory>(this, name, localPath, universalPath));
  directory->AddUse();
  return directory;
}

int32_t TDataSession::CloseDirectory(TDataDirectory* directory) {
  const int32_t index = directories.IndexOf(directory);
  if (index < 0 || directory->UseCount() < 1) return DirectoryNotOpen;
  if (directory->ReleaseUse() == 0) {
    directories.Delete(index);
  }
  return 0;
}
