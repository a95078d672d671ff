#include "engCheckedTables.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "osProgram.h"
#include "rtlExceptions.h"

namespace {

constexpr const char* RecordMagic = "Orvelle checked table 1";

std::mutex settingsLock;
TCheckedTablesSettings settings;

// Which start of the system this is: empty when it cannot be told.
const std::string& BootId() {
  static const std::string id = [] {
    std::string text(64, '\0');
    const int file = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (file < 0) return std::string();
    const ssize_t got = read(file, text.data(), text.size());
    close(file);
    text.resize(got > 0 ? size_t(got) : 0);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }();
  return id;
}

std::string RecordFolder(const TCheckedTablesSettings& current) {
  if (BootId().empty()) return {};
  if (!current.Folder.empty()) return current.Folder;
  const std::string cache = XdgBaseFolder("XDG_CACHE_HOME", "/.cache");
  // No home folder and no cache variable: no place of the user's own.
  if (cache.empty() || cache.front() != '/' || cache == "/.cache") return {};
  return cache + "/Orvelle/checked-tables";
}

std::string RecordName(const TTableStamp& stamp) {
  char name[64];
  std::snprintf(name, sizeof name, "/%llx-%llx", static_cast<unsigned long long>(stamp.Files[0].Device),
                static_cast<unsigned long long>(stamp.Files[0].Inode));
  return name;
}

// The stamp and the start of the system it was taken in: a power loss or a
// system crash can leave pages on the disk whose time update the file
// system's journal lost, so findings hold only until the next start.
std::string RecordText(const TTableStamp& stamp) {
  std::string text = std::string(RecordMagic) + "\n" + BootId();
  char line[160];
  for (int i = 0; i < TTableStamp::FileCount; ++i) {
    const TFileStamp& file = stamp.Files[i];
    std::snprintf(line, sizeof line, "\n%llu %llu %lld %lld %lld %lu", static_cast<unsigned long long>(file.Device),
                  static_cast<unsigned long long>(file.Inode), static_cast<long long>(file.Size),
                  static_cast<long long>(file.ModifiedNs), static_cast<long long>(file.ChangedNs),
                  static_cast<unsigned long>(stamp.ChangeCounts[i]));
    text += line;
  }
  return text + "\n";
}

// The record's bytes, at most limit of them; empty when there is none.
std::string ReadRecord(const std::string& path, size_t limit) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return {};
  std::string text(limit + 1, '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t part = read(file, text.data() + got, text.size() - got);
    if (part <= 0) break;
    got += size_t(part);
  }
  close(file);
  text.resize(got);
  return text;
}

bool WriteWhole(int file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t part = write(file, text.data() + done, text.size() - done);
    if (part <= 0) return false;
    done += size_t(part);
  }
  return true;
}

}  // namespace

TCheckedTablesSettings CheckedTablesSettings() {
  std::lock_guard<std::mutex> hold(settingsLock);
  return settings;
}

void SetCheckedTablesSettings(const TCheckedTablesSettings& newSettings) {
  std::lock_guard<std::mutex> hold(settingsLock);
  settings = newSettings;
}

bool CheckedStateHolds(const TTableStamp& stamp) {
  const TCheckedTablesSettings current = CheckedTablesSettings();
  if (stamp.CheckedBytes() < current.MinimumBytes) return false;
  const std::string folder = RecordFolder(current);
  if (folder.empty()) return false;
  const std::string expected = RecordText(stamp);
  return ReadRecord(folder + RecordName(stamp), expected.size()) == expected;
}

void RememberCheckedState(const TTableStamp& stamp) {
  const TCheckedTablesSettings current = CheckedTablesSettings();
  if (stamp.CheckedBytes() < current.MinimumBytes || !stamp.SettledAt(CoarseClockNs())) return;
  const std::string folder = RecordFolder(current);
  if (folder.empty()) return;
  try {
    ForceFolders(folder, 0700);
  } catch (const EOSError&) {
    return;  // no record: the next open checks in full
  }
  static std::atomic<unsigned> written{0};
  const std::string path = folder + RecordName(stamp);
  const std::string draft = path + ".new" + std::to_string(getpid()) + "-" + std::to_string(++written);
  const int file = open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) return;
  const bool whole = WriteWhole(file, RecordText(stamp));
  close(file);
  if (!whole || rename(draft.c_str(), path.c_str()) != 0) unlink(draft.c_str());
}
