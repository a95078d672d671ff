#pragma once
// Per-page state of report objects. Every object whose state changes while
// pages are generated writes one fixed-size record per finished page and
// reads it back for any earlier page, so pages can be made again out of
// order. Objects with the same record size share a stream: the record of
// page p of the k-th of n objects is at (p * n + k) * size.
//
// The manager keeps the streams in memory until a write fails, then moves
// them all into temporary files ("cch" prefix) and goes on there.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppRelatv.h"

class TStream;

class TppCacheable : public TppRelative {
  RTL_DECLARE_CLASS(TppCacheable, TppRelative)

  explicit TppCacheable(TComponent* owner) : TppRelative(owner) {}

  int CacheCount() const { return cacheCount; }
  int CachePageCount() const { return cachePageCount; }
  int CachePosition() const { return cachePosition; }
  int CacheRecordSize() const { return cacheRecordSize; }
  TStream* CacheStream() const { return cacheStream; }

  virtual void TruncateFrom(int page) {}
  virtual void RestorePageState(int page) {}
  virtual void SavePageState(int page) {}

  // The generation objects keep their per-page state as one record of
  // CacheRecordSize() bytes, so that the same record serves the page cache
  // and an in-memory snapshot (a group kept together rolls back to one).
  virtual void CaptureState(uint8_t* record) const {}
  virtual void ApplyState(const uint8_t* record) {}
  // The record of CaptureState written for the page / read back and applied
  // (nothing changes when the page has no record yet).
  void SaveStateRecord(int page);
  void RestoreStateRecord(int page);

  // Leaves the buffer as it is when the page's record lies past the end.
  void ReadCacheRecord(int page, void* buffer);
  // Writes the page's record at its place, the gap before it zero-filled.
  // A failed write is announced (event 48), retried once, and announced
  // again (event 49) when it fails once more.
  void WriteCacheRecord(int page, const void* buffer);

protected:
  // 0: not cached. Set by each class in its constructor.
  void SetCacheRecordSize(int size) { cacheRecordSize = size; }

private:
  friend class TppCacheManager;
  int cacheCount = 0;
  int cachePageCount = -1;
  int cachePosition = 0;
  int cacheRecordSize = 0;
  TStream* cacheStream = nullptr;

  int64_t RecordOffset(int page) const;
  bool TryWrite(int64_t offset, const void* buffer);
};

enum TppCacheStorage { csMemory = 0, csTemporaryFiles = 1 };

enum TppCacheOperation {
  coAssign = 0, coSave = 1, coRestore = 2, coTruncate = 3, coClear = 4, coLookUp = 5, coRecount = 6
};

class TppCacheManager : public TppCommunicator {
  RTL_DECLARE_CLASS(TppCacheManager, TppCommunicator)

  using TStreamFactory = std::function<std::unique_ptr<TStream>()>;

  // Serves the report: Reset registers the cacheables of its tree.
  TppCacheManager(TComponent* owner, TppRelative* report);
  ~TppCacheManager() override;

  void Initialize(const std::vector<TppCacheable*>& cacheables);
  void Reset();
  void SavePage(int page);
  void RestorePage(int page);
  void TruncateFrom(int page);
  void Clear();

  int HighestPageSaved() const { return highestPage; }
  TppCacheStorage Storage() const { return storage; }
  int StreamCount() const { return static_cast<int>(streams.size()); }
  void SetTruncateTellsCacheables(bool value) { truncateTells = value; }
  void SetTempDirectory(const std::string& folder) { tempDirectory = folder; }
  // Makes the memory streams; tests give one that fails on demand.
  void SetMemoryStreamFactory(TStreamFactory factory) { memoryStreamFactory = std::move(factory); }
  // Called when a write fails for good, before EPrintError is raised
  // (the engine cancels its run there).
  void SetCancelHandler(std::function<void()> handler) { cancelHandler = std::move(handler); }

  void Notify(TppCommunicator* sender, int operation) override;
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override;

private:
  struct TCacheStream {
    std::unique_ptr<TStream> Stream;
    int RecordSize = 0;
    int Count = 0;  // cacheables that share it
    std::string FileName;
  };

  TppRelative* report;
  std::vector<TppCacheable*> cacheables;
  std::vector<TCacheStream> streams;
  TppCacheStorage storage = csMemory;
  bool truncateTells = false;
  int highestPage = -1;
  std::string tempDirectory;
  TStreamFactory memoryStreamFactory;
  std::function<void()> cancelHandler;

  void Register(TppCacheable* cacheable);
  void Unregister(TppCacheable* cacheable);
  void Broadcast(TppCacheOperation operation, int page);
  void Apply(TppCacheable& cacheable, TppCacheOperation operation, int page);
  TCacheStream* StreamOfSize(int recordSize);
  TCacheStream NewStream(int recordSize);
  void MoveToFiles();
  [[noreturn]] void FailForGood();
};
