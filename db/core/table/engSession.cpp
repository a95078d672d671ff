#include "engSession.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engAssert.h"
#include "engDirectory.h"
#include "engPaths.h"
#include "engStrings.h"
#include "osLocale.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t PasswordBlockSize = 256;
constexpr int32_t DirectoryNotOpen = -11013;

std::string CurrentDirectory() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string() : IncludeTrailingBackslash(current.string());
}

std::string PasswordText(const void* block) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  return std::string(reinterpret_cast<const char*>(bytes + 1), bytes[0]);
}

}  // namespace

TDataSession::TDataSession() : defaultDirectory(CurrentDirectory()) {
  LanguageID = SystemUsesDoubleByteChars() ? 0 : GetUserDefaultLangID();
}

TDataSession::~TDataSession() {
  for (int32_t i = 0; i < directories.Count(); ++i) delete static_cast<TDataDirectory*>(directories.Get(i));
  directories.Clear();
  RemoveAllPasswords();
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
  for (int32_t i = 0; i < passwords.Count(); ++i)
    if (PasswordText(passwords.Get(i)) == password) return i;
  return -1;
}

void TDataSession::AddPassword(const std::string& password) {
  if (password.empty() || FindPassword(password) >= 0) return;
  auto* block = static_cast<uint8_t*>(EngineAllocMem(PasswordBlockSize));
  const size_t length = std::min(password.size(), ShortStringLimit);
  block[0] = uint8_t(length);
  std::memcpy(block + 1, password.data(), length);
  passwords.Add(block);
}

void TDataSession::RemovePassword(const std::string& password) {
  const int32_t index = FindPassword(password);
  if (index < 0) return;
  void* block = passwords.Get(index);
  passwords.Delete(index);
  EngineFreeMem(block);
}

void TDataSession::RemoveAllPasswords() {
  for (int32_t i = passwords.Count() - 1; i >= 0; --i) {
    void* block = passwords.Get(i);
    passwords.Delete(i);
    EngineFreeMem(block);
  }
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
    auto* directory = static_cast<TDataDirectory*>(directories.Get(i));
    if (SameText(Trim(directory->UniversalPath()), Trim(universalPath))) {
      directory->AddUse();
      return directory;
    }
  }
  auto* directory = new TDataDirectory(this, name, localPath, universalPath);
  directories.Add(directory);
  directory->AddUse();
  return directory;
}

int32_t TDataSession::CloseDirectory(TDataDirectory* directory) {
  const int32_t index = directories.IndexOf(directory);
  if (index < 0 || directory->UseCount() < 1) return DirectoryNotOpen;
  if (directory->ReleaseUse() == 0) {
    directories.Delete(index);
    delete directory;
  }
  return 0;
}

void TDataSession::EnterUse() {
  std::thread::id current{};
  if (!user.compare_exchange_strong(current, std::this_thread::get_id()))
    ENG_ASSERT(current == std::this_thread::get_id());
  ++useDepth;
}

void TDataSession::LeaveUse() {
  ENG_ASSERT(user.load() == std::this_thread::get_id());
  ENG_ASSERT(useDepth.load() > 0);
  if (--useDepth == 0) user.store(std::thread::id{});
}
