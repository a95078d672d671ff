#include "engTableStamp.h"

#include <sys/stat.h>
#include <time.h>

#include "engTable.h"
#include "osFileSystem.h"

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;

int64_t Nanoseconds(const timespec& time) { return int64_t(time.tv_sec) * NsPerSecond + time.tv_nsec; }

// The stamp of an open file; false when it does not stat or the path no
// longer names the file the handle reads (its size differs).
bool TakeFileStamp(TFileHandler& file, TFileStamp& stamp, bool& fineTimes) {
  struct stat status {};
  if (stat(file.FileName.c_str(), &status) != 0) return false;
  stamp.Device = status.st_dev;
  stamp.Inode = status.st_ino;
  stamp.Size = status.st_size;
  stamp.ModifiedNs = Nanoseconds(status.st_mtim);
  stamp.ChangedNs = Nanoseconds(status.st_ctim);
  if (status.st_mtim.tv_nsec == 0 && status.st_ctim.tv_nsec == 0) fineTimes = false;
  return stamp.Size == file.FileSize();
}

}  // namespace

int64_t TTableStamp::CheckedBytes() const { return Files[0].Size + Files[1].Size; }

bool TTableStamp::SettledAt(int64_t nowNs) const {
  // With nanosecond times any write after now carries at least the coarse
  // clock's present, so a time before it cannot come again; whole-second
  // times need the file system's step as well.
  const int64_t limit = FineTimes ? nowNs : nowNs - CoarseTimeStepNs;
  for (const TFileStamp& file : Files)
    if (file.ModifiedNs >= limit || file.ChangedNs >= limit) return false;
  return true;
}

bool TakeTableStamp(TDataTable& table, TTableStamp& stamp) {
  if (table.IsInMemory() || table.IsTemporary() || !table.DataFile().IsOpen() || !table.IndexFile().IsOpen())
    return false;
  // Only this machine's clock may have stamped the times.
  if (!OsLocalFileSystemAt(table.DataFile().FileName)) return false;
  stamp = TTableStamp();
  bool fineTimes = true;
  if (!TakeFileStamp(table.DataFile(), stamp.Files[0], fineTimes)) return false;
  if (!TakeFileStamp(table.IndexFile(), stamp.Files[1], fineTimes)) return false;
  stamp.ChangeCounts[0] = table.DataFile().ChangeCount();
  stamp.ChangeCounts[1] = table.IndexFile().GetChangeCount();
  if (table.HasBlobFile()) {
    if (!TakeFileStamp(table.BlobFile(), stamp.Files[2], fineTimes)) return false;
    stamp.ChangeCounts[2] = table.BlobFile().GetChangeCount();
  }
  // A file system that keeps whole seconds shows no nanoseconds; one that
  // keeps them shows none only by a chance of about one in 10^18 per file,
  // which merely costs the wait of the coarse step.
  stamp.FineTimes = fineTimes;
  return true;
}

int64_t CoarseClockNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return Nanoseconds(now);
}
