#include "ppCache.h"

#include <algorithm>
#include <new>
#include <unistd.h>

#include "ppErrors.h"
#include "ppMessages.h"
#include "ppUtils.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TppCacheable)
RTL_DEFINE_CLASS(TppCacheManager)

namespace {

constexpr const char* cacheFilePrefix = "cch";

}  // namespace

// ---- TppCacheable ----

int64_t TppCacheable::RecordOffset(int page) const {
  return (static_cast<int64_t>(page) * cacheCount + cachePosition) * cacheRecordSize;
}

void TppCacheable::ReadCacheRecord(int page, void* buffer) {
  if (!cacheStream || cacheRecordSize <= 0 || page < 0) return;
  const int64_t offset = RecordOffset(page);
  if (offset + cacheRecordSize > cacheStream->Size()) return;
  cacheStream->SetPosition(offset);
  cacheStream->ReadBuffer(buffer, cacheRecordSize);
}

bool TppCacheable::TryWrite(int64_t offset, const void* buffer) {
  try {
    // A record past the end gets its place; the gap reads as zeros.
    if (offset > cacheStream->Size()) cacheStream->SetSize(offset);
    cacheStream->SetPosition(offset);
    return cacheStream->Write(buffer, cacheRecordSize) == cacheRecordSize;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const EStreamError&) {
    return false;
  } catch (const EOutOfMemory&) {
    return false;
  }
}

void TppCacheable::WriteCacheRecord(int page, const void* buffer) {
  if (!cacheStream || cacheRecordSize <= 0 || page < 0) return;
  const int64_t offset = RecordOffset(page);
  if (!TryWrite(offset, buffer)) {
    SendEventNotify(this, ppevCacheWriteFailed, nullptr);
    // The manager may have moved the stream to a file meanwhile.
    if (!cacheStream || !TryWrite(offset, buffer)) {
      SendEventNotify(this, ppevCacheWriteFailedAgain, nullptr);
      return;
    }
  }
  cachePageCount = std::max(cachePageCount, page);
}

// ---- TppCacheManager ----

TppCacheManager::TppCacheManager(TComponent* owner, TppRelative* report)
    : TppCommunicator(owner), report(report), tempDirectory(ppGetTempPath()) {
  SetListensTo(ppevCacheWriteFailed, true);
  SetListensTo(ppevCacheWriteFailedAgain, true);
  if (report) report->AddNotify(this);
}

TppCacheManager::~TppCacheManager() { Clear(); }

void TppCacheManager::Register(TppCacheable* cacheable) {
  if (!cacheable || std::find(cacheables.begin(), cacheables.end(), cacheable) != cacheables.end()) return;
  cacheables.push_back(cacheable);
  cacheable->AddEventNotify(this);
}

void TppCacheManager::Unregister(TppCacheable* cacheable) {
  cacheable->cacheStream = nullptr;
  std::erase(cacheables, cacheable);
  cacheable->RemoveEventNotify(this);
}

void TppCacheManager::Initialize(const std::vector<TppCacheable*>& list) {
  Clear();
  for (TppCacheable* cacheable : list) Register(cacheable);
  Broadcast(coAssign, 0);
  Broadcast(coRecount, 0);
}

void TppCacheManager::Reset() {
  std::vector<TppCacheable*> found;
  std::function<void(TppRelative*)> walk = [&](TppRelative* node) {
    if (auto* cacheable = dynamic_cast<TppCacheable*>(node); cacheable && cacheable->CacheRecordSize() > 0)
      found.push_back(cacheable);
    for (int i = 0; i < node->ChildCount(); ++i) walk(node->GetChild(i));
  };
  if (report) walk(report);
  Initialize(found);
}

void TppCacheManager::SavePage(int page) {
  Broadcast(coSave, page);
  highestPage = std::max(highestPage, page);
}

void TppCacheManager::RestorePage(int page) { Broadcast(coRestore, page); }

void TppCacheManager::TruncateFrom(int page) {
  if (highestPage < 0) return;
  page = std::max(page, 0);
  if (truncateTells) Broadcast(coTruncate, page);
  for (TCacheStream& s : streams) {
    const int64_t keep = static_cast<int64_t>(s.RecordSize) * s.Count * page;
    if (keep < s.Stream->Size()) s.Stream->SetSize(keep);
  }
  highestPage = page - 1;
}

void TppCacheManager::Clear() {
  Broadcast(coClear, 0);
  highestPage = -1;
  while (!cacheables.empty()) Unregister(cacheables.back());
  for (TCacheStream& s : streams) {
    s.Stream.reset();
    if (!s.FileName.empty()) unlink(s.FileName.c_str());
  }
  streams.clear();
}

TppCacheManager::TCacheStream* TppCacheManager::StreamOfSize(int recordSize) {
  for (TCacheStream& s : streams)
    if (s.RecordSize == recordSize) return &s;
  return nullptr;
}

TppCacheManager::TCacheStream TppCacheManager::NewStream(int recordSize) {
  TCacheStream s;
  s.RecordSize = recordSize;
  if (storage == csMemory) {
    s.Stream = memoryStreamFactory ? memoryStreamFactory() : std::make_unique<TMemoryStream>();
  } else {
    s.FileName = ppGetTempFileName(tempDirectory, cacheFilePrefix);
    s.Stream = std::make_unique<TFileStream>(s.FileName, fmCreate);
  }
  return s;
}

void TppCacheManager::Apply(TppCacheable& c, TppCacheOperation operation, int page) {
  if (c.CacheRecordSize() <= 0) return;
  TCacheStream* s = StreamOfSize(c.CacheRecordSize());
  switch (operation) {
    case coAssign:
      if (s) {
        c.cachePosition = s->Count++;
      } else {
        streams.push_back(NewStream(c.CacheRecordSize()));
        s = &streams.back();
        c.cachePosition = 0;
        s->Count = 1;
      }
      c.cacheStream = s->Stream.get();
      return;
    case coRecount:
      c.cacheCount = s ? s->Count : 0;
      return;
    default: break;
  }
  // Every other operation first looks its stream up again: it may have
  // moved into a file.
  c.cacheStream = s ? s->Stream.get() : nullptr;
  c.cacheCount = s ? s->Count : 0;
  switch (operation) {
    case coSave: c.SavePageState(page); break;
    case coRestore: c.RestorePageState(page); break;
    case coTruncate:
    case coClear:
      c.TruncateFrom(page);
      c.cachePageCount = page - 1;
      break;
    default: break;
  }
}

void TppCacheManager::Broadcast(TppCacheOperation operation, int page) {
  const std::vector<TppCacheable*> snapshot = cacheables;
  for (TppCacheable* c : snapshot)
    if (std::find(cacheables.begin(), cacheables.end(), c) != cacheables.end()) Apply(*c, operation, page);
}

void TppCacheManager::MoveToFiles() {
  for (TCacheStream& s : streams) {
    std::string fileName = ppGetTempFileName(tempDirectory, cacheFilePrefix);
    auto file = std::make_unique<TFileStream>(fileName, fmCreate);
    s.Stream->SetPosition(0);
    if (s.Stream->Size() > 0) file->CopyFrom(*s.Stream, s.Stream->Size());
    file->Seek(0, soFromEnd);
    s.Stream = std::move(file);
    s.FileName = std::move(fileName);
  }
  storage = csTemporaryFiles;
  Broadcast(coLookUp, 0);
}

void TppCacheManager::FailForGood() {
  if (cancelHandler) cancelHandler();
  throw EPrintError(ppLoadMessage(284));
}

void TppCacheManager::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  inherited::EventNotify(sender, eventId, params);
  if (eventId == ppevCacheWriteFailedAgain || (eventId == ppevCacheWriteFailed && storage == csTemporaryFiles))
    FailForGood();
  if (eventId != ppevCacheWriteFailed) return;
  try {
    MoveToFiles();
  } catch (const EStreamError&) {
    FailForGood();
  } catch (const EOSError&) {
    FailForGood();
  }
}

void TppCacheManager::Notify(TppCommunicator* sender, int operation) {
  if (operation == ppopRemove) {
    // The sender may be half destroyed: compare addresses, never cast it.
    if (sender == report) report = nullptr;
    const auto it = std::find_if(cacheables.begin(), cacheables.end(),
                                 [sender](TppCacheable* c) { return static_cast<TppCommunicator*>(c) == sender; });
    if (it != cacheables.end()) cacheables.erase(it);
  }
  inherited::Notify(sender, operation);
}

void TppCacheable::SaveStateRecord(int page) {
  std::vector<uint8_t> record(static_cast<size_t>(cacheRecordSize));
  CaptureState(record.data());
  WriteCacheRecord(page, record.data());
}

void TppCacheable::RestoreStateRecord(int page) {
  std::vector<uint8_t> record(static_cast<size_t>(cacheRecordSize));
  CaptureState(record.data());
  ReadCacheRecord(page, record.data());
  ApplyState(record.data());
}
