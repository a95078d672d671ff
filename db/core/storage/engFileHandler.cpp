#include "engFileHandler.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "rtlAssert.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileList.h"
#include "engPhysicalFile.h"

namespace {

TFileList& Files() {
  if (!FileList) RaiseEngineError(EngErrNotInitialized);
  return *FileList;
}

// One sync handed to the sync helper; its caller owns it and waits for it.
struct TSyncJob {
  TPhysicalFile* File = nullptr;
  bool Taken = false;  // by the helper, or back by its caller
  bool Done = false;
  bool Flushed = false;
};

// A thread kept for the syncs of a commit. A thread made per commit began
// its sync a scheduling delay after the caller's, often once the caller's
// had ended, so the two waited on the disk one after the other; a waiting
// thread woken by the commit starts its sync beside the caller's. Jobs it
// has not taken when the caller is done with its own file the caller runs
// itself, so several committing threads never wait on one another's
// files, and without a helper (none could be started, or the process is
// ending) every sync runs on its caller.
class TSyncHelper {
public:
  static TSyncHelper& Get() {
    static TSyncHelper helper;
    return helper;
  }

  void Offer(std::span<TSyncJob> jobs) {
    {
      std::lock_guard lock(mutex);
      if (stopping || !thread.joinable()) return;
      const size_t before = queue.size();
      try {
        for (TSyncJob& job : jobs) queue.push_back(&job);
      } catch (const std::bad_alloc&) {
        // No room to queue them all: none is handed over, the caller runs
        // them itself.
        queue.resize(before);
        return;
      }
    }
    work.notify_one();
  }

  void Finish(std::span<TSyncJob> jobs) {
    std::unique_lock lock(mutex);
    for (TSyncJob& job : jobs) {
      if (job.Taken) continue;
      job.Taken = true;
      queue.erase(std::remove(queue.begin(), queue.end(), &job), queue.end());
      lock.unlock();
      job.Flushed = job.File->Flush();
      lock.lock();
      job.Done = true;
    }
    finished.wait(lock, [&] { return std::all_of(jobs.begin(), jobs.end(), [](const TSyncJob& job) { return job.Done; }); });
  }

private:
  std::mutex mutex;
  std::condition_variable work, finished;
  std::deque<TSyncJob*> queue;
  bool stopping = false;
  // Last, so that it starts after and is joined before the members it uses.
  std::jthread thread;

  TSyncHelper() {
    try {
      thread = std::jthread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread to be had: every sync runs on its caller.
    }
  }

  ~TSyncHelper() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work.notify_all();
  }

  void Run() {
    std::unique_lock lock(mutex);
    for (;;) {
      work.wait(lock, [this] { return stopping || !queue.empty(); });
      if (stopping) return;
      TSyncJob* job = queue.front();
      queue.pop_front();
      job->Taken = true;
      lock.unlock();
      const bool flushed = job->File->Flush();
      lock.lock();
      job->Flushed = flushed;
      job->Done = true;
      finished.notify_all();
    }
  }
};

}  // namespace

TFileHandler::~TFileHandler() { TFileHandler::Close(); }

void TFileHandler::Raise(int32_t code) const { RaiseEngineError(uint16_t(code), FileName); }

void TFileHandler::Check(int32_t result) const {
  if (result < 0) Raise(-result);
}

void TFileHandler::Open() {
  if (open) return;
  if (!Exists()) Raise(EngErrInvalidName);
  TAbstractFile* opened;
  bool readOnlyOnDisk;
  const TFileOpenOptions options{.InMemory = InMemory,
                                 .Sequential = SequentialAccess,
                                 .WriteThrough = WriteThrough,
                                 .Temporary = Temporary,
                                 .Exclusive = Exclusive};
  const int32_t result = Files().OpenFile(FileName, options, readOnlyOnDisk, opened);
  Check(result);
  file = opened;
  handle = result;
  openedReadOnly = readOnlyOnDisk;
  open = true;
}

void TFileHandler::Close() {
  // The file objects are gone once the engine library stopped.
  if (handle >= 1 && file && FileList) FileList->CloseFile(file, InMemory, handle);
  file = nullptr;
  handle = 0;
  open = false;
}

void TFileHandler::CreateFile() {
  if (open && file) {
    Check(Files().Recreate(file, handle));
    openedReadOnly = false;
    return;
  }
  TAbstractFile* created;
  const int32_t result = Files().CreateFile(FileName, {.Kind = FileKindOf(InMemory), .Temporary = Temporary}, created);
  Check(result);
  file = created;
  handle = result;
  openedReadOnly = false;
  open = true;
}

void TFileHandler::Hide() {
  ORV_ASSERT(open && file);
  Files().Hide(file);
}

void TFileHandler::Reveal(std::span<TFileHandler* const> handlers, std::span<const std::string> names) {
  std::vector<TAbstractFile*> files;
  files.reserve(handlers.size());
  for (TFileHandler* handler : handlers) {
    ORV_ASSERT(handler->open && handler->file);
    files.push_back(handler->file);
  }
  const int32_t result = Files().Reveal(files, names);
  if (result < 0) RaiseEngineError(uint16_t(-result), names.empty() ? std::string() : names.front());
  for (size_t i = 0; i < handlers.size(); ++i) handlers[i]->FileName = names[i];
}

void TFileHandler::DeleteFile() { Check(Files().DeleteFile(FileName, InMemory)); }

void TFileHandler::RenameFile(const std::string& newName) {
  Check(Files().RenameFile(FileName, InMemory, newName));
  FileName = newName;
}

void TFileHandler::CopyFile(const std::string& newName) {
  if (open) Check(Files().Copy(file, handle, newName, InMemory));
}

int32_t TFileHandler::Read(void* buffer, int32_t count, bool allowShort) {
  if (!file) Raise(EngErrReadFailed);
  ORV_ASSERT(open && handle >= 1);
  const int32_t n = file->Read(handle, buffer, count);
  if (n < 0 || (!allowShort && n < count)) Raise(EngErrReadFailed);
  return n;
}

void TFileHandler::Write(const void* buffer, int32_t count) {
  if (!file) Raise(EngErrWriteFailed);
  ORV_ASSERT(open && handle >= 1);
  const int32_t written = file->Write(handle, buffer, count);
  if (written < 0 || written < count) Raise(EngErrWriteFailed);
}

int32_t TFileHandler::ReadAt(int64_t offset, void* buffer, int32_t count, bool allowShort) {
  if (!file || offset < 0 || offset > INT32_MAX) Raise(EngErrReadFailed);
  ORV_ASSERT(open && handle >= 1);
  const int32_t n = file->ReadAt(handle, int32_t(offset), buffer, count);
  if (n < 0 || (!allowShort && n < count)) Raise(EngErrReadFailed);
  return n;
}

void TFileHandler::WriteAt(int64_t offset, const void* buffer, int32_t count) {
  if (!file || offset < 0 || offset > INT32_MAX) Raise(EngErrWriteFailed);
  ORV_ASSERT(open && handle >= 1);
  const int32_t written = file->WriteAt(handle, int32_t(offset), buffer, count);
  if (written < 0 || written < count) Raise(EngErrWriteFailed);
}

void TFileHandler::WriteGatheredAt(int64_t offset, std::span<const std::span<const uint8_t>> pieces) {
  if (!file || offset < 0 || offset > INT32_MAX) Raise(EngErrWriteFailed);
  ORV_ASSERT(open && handle >= 1);
  int64_t count = 0;
  for (const std::span<const uint8_t>& piece : pieces) count += int64_t(piece.size());
  const int32_t written = file->WriteGatheredAt(handle, int32_t(offset), pieces);
  if (written < 0 || written < count) Raise(EngErrWriteFailed);
}

void TFileHandler::Flush() {
  if (file && !file->InMemory() && !static_cast<TPhysicalFile*>(file)->Flush()) Raise(EngErrWriteFailed);
}

uint32_t TFileHandler::DiskSyncs() const {
  return file && !file->InMemory() ? static_cast<const TPhysicalFile*>(file)->Syncs() : 0;
}

void TFileHandler::FlushTogether(std::span<TFileHandler* const> handlers) {
  std::vector<TPhysicalFile*> disk;
  std::vector<TFileHandler*> owners;
  for (TFileHandler* handler : handlers)
    if (handler->file && !handler->file->InMemory() && static_cast<TPhysicalFile*>(handler->file)->Unflushed()) {
      disk.push_back(static_cast<TPhysicalFile*>(handler->file));
      owners.push_back(handler);
    }
  if (disk.empty()) return;
  // The caller syncs the first file, the helper the others beside it; one
  // file wakes no helper (a table without BLOB fields never starts one).
  std::vector<TSyncJob> jobs(disk.size() - 1);
  for (size_t i = 1; i < disk.size(); ++i) jobs[i - 1].File = disk[i];
  TSyncHelper* helper = jobs.empty() ? nullptr : &TSyncHelper::Get();
  if (helper) helper->Offer(jobs);
  const bool first = disk[0]->Flush();
  if (helper) helper->Finish(jobs);
  if (!first) owners[0]->Raise(EngErrWriteFailed);
  for (size_t i = 1; i < disk.size(); ++i)
    if (!jobs[i - 1].Flushed) owners[i]->Raise(EngErrWriteFailed);
}

int32_t TFileHandler::Seek(int32_t offset, int32_t origin) {
  if (!file) return 0;
  ORV_ASSERT(open && handle >= 1);
  return file->Seek(handle, offset, origin);
}

int32_t TFileHandler::FileSize() {
  if (!file) return 0;
  EnterFile();
  const int32_t position = Seek(0, soFromCurrent);
  const int32_t end = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  LeaveFile();
  return end;
}

bool TFileHandler::LockRange(int32_t offset, int32_t length, bool lock) {
  if (!file) return false;
  ORV_ASSERT(open && handle >= 1);
  return lock ? file->LockRange(offset, length) : file->UnlockRange(offset, length);
}

bool TFileHandler::UnlockRun(int32_t offset, int32_t length) {
  if (!file) return false;
  ORV_ASSERT(open && handle >= 1);
  return file->UnlockRun(offset, length);
}

bool TFileHandler::PeekHead(void* buffer, int32_t count) { return file && file->PeekHead(buffer, count); }

bool TFileHandler::StoreInPlace(int64_t offset, const void* window) {
  ORV_ASSERT(!file || (open && handle >= 1));
  return file && offset >= 0 && offset <= INT32_MAX && file->StoreInPlace(int32_t(offset), window);
}

bool TFileHandler::MapWindow(OsReadWindow& window, int64_t offset, int32_t length) {
  ORV_ASSERT(!file || (open && handle >= 1));
  return file && offset >= 0 && offset + length <= INT32_MAX && file->MapWindow(window, int32_t(offset), length);
}

void TFileHandler::CopyFromFile(const std::string& name) {
  if (!open) return;
  Seek(0, soFromBeginning);
  Check(Files().CopyFrom(file, handle, name, InMemory));
}

bool TFileHandler::Exists() { return Files().Exists(FileName, InMemory); }

void TFileHandler::EnterFile() {
  if (file) file->Enter();
}

void TFileHandler::LeaveFile() {
  if (file) file->Leave();
}
