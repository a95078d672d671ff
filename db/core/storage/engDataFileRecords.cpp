// The data file's records: the cache with its read-ahead, the runs of
// consecutive modified records written back in one write each, appending,
// and the free list of deleted records.

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "rtlAssert.h"
#include "engDataFile.h"
#include "engErrorCodes.h"
#include "engLittleEndian.h"
#include "engFileBuffer.h"
#include "engScopeGuard.h"
#include "rtlExceptions.h"

namespace {

constexpr int32_t BufferStep = 65535;
constexpr int32_t TransactionCacheGrowth = 255;
constexpr int32_t IdleSearchLimit = 64;
// Records a read takes along for the reader's next reads, at most.
constexpr int32_t MaxUpcomingRecords = 64;
// Records the first read of a walk takes, at most.
constexpr int32_t FirstWalkRecords = 16;
// Records a walk may skip between two reads and still read ahead.
constexpr uint32_t MaxWalkGap = 16;
// Records a run of look-ups takes, at most.
constexpr int32_t MostLookUpRecords = 32;
// Bytes one write of a run of records takes, at most: a file range written
// in one large call stays one large block of the system's page cache, and
// every later small write inside it pays for the whole block.
constexpr int32_t MostBytesPerWrite = 256 * 1024;
// No system's memory pages are smaller: touching a byte this far apart
// touches every page of a stretch.
constexpr size_t SmallestMemoryPage = 4096;

}  // namespace

bool TDataFile::GetRecord(TReadContext* reader, uint32_t recordNumber, const TRecordReadOptions& options,
                          TRecord*& record) {
  record = nullptr;
  if (recordNumber == 0 || recordNumber > NextRecordNumber()) RaiseData(EngErrRecordsCorrupt);
  TRecord* found;
  bool upcoming = false;
  if (recordNumber == NextRecordNumber()) {
    found = AppendRecord();
  } else if ((found = cache.Find(recordNumber))) {
    ++cacheHits;
  } else {
    if (reader && table->CheckChangesBeforeRead(reader)) return false;
    ReadRecords(reader, recordNumber, options);
    found = cache.Find(recordNumber);
    if (!found) RaiseData(EngErrRecordsCorrupt);
    upcoming = reader && options.CursorSized && options.ReadAhead;
  }
  if (!heldAppend || found != &*heldAppend) cache.MoveToNewest(found);
  found->Passed = false;
  found->AddUse();
  record = found;
  if (upcoming) ReadUpcoming(reader, recordNumber, options.Forward);
  return true;
}

// Only a help: a record it could not read is read, and its failure
// reported, when the reader asks for it.
void TDataFile::ReadUpcoming(TReadContext* reader, uint32_t recordNumber, bool forward) {
  // A transaction's cache grows instead of giving records up.
  if (table->HoldsTransactionLock()) return;
  std::array<uint32_t, MaxUpcomingRecords> numbers;
  const int32_t limit = std::min<int32_t>(MaxUpcomingRecords, cache.Capacity / 4);
  if (limit < 1) return;
  const int32_t count = std::clamp(reader->UpcomingRecords(recordNumber, forward, numbers.data(), limit), 0, limit);
  int32_t kept = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t number = numbers[size_t(i)];
    if (number >= 1 && number <= PhysicalRecordCount() && !cache.Find(number)) numbers[size_t(kept++)] = number;
  }
  // In the order of a key that follows the records' order they come sorted.
  if (!std::is_sorted(numbers.begin(), numbers.begin() + kept)) std::sort(numbers.begin(), numbers.begin() + kept);
  kept = int32_t(std::unique(numbers.begin(), numbers.begin() + kept) - numbers.begin());
  const int32_t size = RecordSize();
  const bool allowShort = true;
  try {
    for (int32_t first = 0; first < kept;) {
      int32_t last = first;
      while (last + 1 < kept && numbers[size_t(last + 1)] == numbers[size_t(last)] + 1) ++last;
      const uint32_t firstNumber = numbers[size_t(first)];
      const int32_t bytes = (last - first + 1) * size;
      GrowFileBuffer(readBuffer, bytes, BufferStep);
      const int32_t got = ReadFileBytes(RecordOffset(firstNumber), readBuffer.Get(), bytes, allowShort);
      ++physicalReads;
      for (int32_t i = 0; i < got / size; ++i)
        PlaceRecord(firstNumber + uint32_t(i), readBuffer.Get() + size_t(i) * size, true);
      first = last + 1;
    }
  } catch (const Exception&) {
  }
}

bool TDataFile::ReadRecordRun(TReadContext* reader, uint32_t first, int32_t count, TRecordRun& run,
                              const TRecordRunOptions& options) {
  const TRecordsBitmap* const wanted = options.Wanted;
  // What the run showed before is no longer in use.
  HideRun(run);
  if (first == 0 || first > PhysicalRecordCount()) RaiseData(EngErrRecordsCorrupt);
  count = int32_t(std::clamp<int64_t>(std::min<int64_t>(count, int64_t(PhysicalRecordCount()) - first + 1), 1,
                                      readAheadCount));
  const int32_t size = RecordSize();
  // Sized to its records: a cursor's look-ups read a few. Uncleared: a
  // record's image is handed out only once the copy or the read below has
  // written it.
  GrowFileBuffer(run.images, int64_t(count) * size, size, TGrownBytes::Uncleared);
  // A short run is a reader's look-ups (the keys of a condition picked its
  // records out from far apart), not a pass: its records are kept as a
  // look-up's are, so that the same statement run again finds them in
  // memory, and it looks for other users' changes first even when memory
  // serves it, as its read from the file did. A transaction's cache only
  // grows. Only the wanted records are kept: the gaps a run reads across
  // would push the wanted ones out of the cache before the next execution.
  const bool lookUps = count <= MostLookUpRecords;
  // Look-up runs in ascending order are one pass (a filtered scan); one
  // that starts at or before the last one's first record begins the next.
  if (lookUps) {
    if (first <= lastLookUpFirst) ++lookUpPass;
    lastLookUpFirst = first;
  }
  auto isWanted = [wanted](uint32_t number) {
    return !wanted || (int64_t(number) <= wanted->RecordCount() && wanted->IsSet(int32_t(number)));
  };
  // The file is read from the first to the last wanted record the cache
  // does not hold (cached records at the run's end may be ones not written
  // yet, past the file's end); when it holds every one, not at all.
  int32_t low = 0;
  int32_t high = count;
  while (high > 0 && (!isWanted(first + uint32_t(high) - 1) || cache.Find(first + uint32_t(high) - 1))) --high;
  while (low < high && (!isWanted(first + uint32_t(low)) || cache.Find(first + uint32_t(low)))) ++low;
  int32_t read = 0;
  if (reader && (high > low || lookUps || wanted) && table->CheckChangesBeforeRead(reader)) return false;
  if (options.InPlace && !lookUps && high > low && ShowRunInPlace(first, count, run, wanted)) return true;
  uint8_t* const images = run.images.Get();
  if (high > low) {
    const bool allowShort =
        (Temporary || table->HoldsTransactionLock() || table->IsExclusive()) && table->DataChanged();
    read = ReadFileBytes(RecordOffset(first + uint32_t(low)), images + size_t(low) * size, (high - low) * size,
                         allowShort) /
           size;
    ++physicalReads;
    if (high - low > 1) ++readAheadReads;
  }
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* image = images + size_t(i) * size;
    const uint32_t number = first + uint32_t(i);
    if (TRecord* cached = cache.Find(number)) {
      std::memcpy(image, cached->Buffer(), size_t(size));
      if (lookUps && isWanted(number)) {
        cached->LookUpPass = lookUpPass;
        cached->Passed = false;
        cache.MoveToNewest(cached);
      }
      continue;
    }
    if (i < low || i >= high) {
      ORV_ASSERT(!isWanted(number));
      continue;
    }
    if (i - low >= read) RaiseData(EngErrRecordsCorrupt);
    DecodeRecordImage(*this, image, uint32_t(size), number);
  }
  run.first = first;
  run.count = count;
  run.size = uint16_t(size);
  // Kept only once the run is whole: taking an entry may write back and
  // give up a cached record the run still had to copy.
  if (read > 0 && lookUps && !table->HoldsTransactionLock())
    for (int32_t i = low; i < low + read; ++i)
      if (isWanted(first + uint32_t(i))) KeepLookUp(first + uint32_t(i), images + size_t(i) * size);
  return true;
}

void TDataFile::HideRun(TRecordRun& run) {
  if (!run.Faulted()) {
    run.Hide();
    return;
  }
  run.ReleaseWindow();
  Raise(EngErrReadFailed);
}

bool TDataFile::ShowRunInPlace(uint32_t first, int32_t count, TRecordRun& run, const TRecordsBitmap* wanted) {
  if (Temporary || IsEncrypted() || HeldRecordCount() != 0 || HasSortRuns() || !table->FilesHeldStill())
    return false;
  // A record changed here and not written yet is the cache's to hand out.
  // The others the cache holds (a look-up's, say) hold the file's bytes as
  // they stand, made what a read makes of them (a record in use given its
  // own number, which is checked below): the file shows the same.
  for (int32_t i = 0; i < count; ++i) {
    const TRecord* cached = cache.Find(first + uint32_t(i));
    if (cached && cached->Modified()) return false;
  }
  ORV_ASSERT(first >= 1 && count >= 1 && first + uint32_t(count) - 1 <= PhysicalRecordCount());
  const int32_t size = RecordSize();
  const uint8_t* shown =
      run.window.Show(windows, *this, RecordOffset(first), count * size, RecordOffset(PhysicalRecordCount() + 1));
  if (!shown) return false;
  // A page another program cut from under the file reads as zeros once
  // touched and faults the window: each page is touched here, before any
  // record is handed on, and the read call then fails as it would have.
  // (A cut after this is found when the run is hidden.)
  const size_t bytes = size_t(count) * size;
  uint8_t touched = 0;
  for (size_t at = 0; at < bytes; at += SmallestMemoryPage) touched |= static_cast<const volatile uint8_t*>(shown)[at];
  touched |= static_cast<const volatile uint8_t*>(shown)[bytes - 1];
  static_cast<void>(touched);
  if (run.window.Faulted()) {
    run.ReleaseWindow();
    return false;
  }
  // A read writes each record's own number into it (DecodeRecordImage); a
  // file whose records do not all carry theirs is read. This process writes
  // every record in use with its number, and others' changes drop the
  // cache, which forgets the records seen to carry theirs: those are not
  // looked at again (each look waits for memory).
  const uint32_t last = first + uint32_t(count) - 1;
  if (last > stampedThrough) {
    for (uint32_t number = std::max(first, stampedThrough + 1); number <= last; ++number) {
      const uint8_t* image = shown + size_t(number - first) * size;
      if (image[RecordDeletedOffset] == 0 && GetLE32(image + RecordLinkOffset) != number) {
        run.window.Hide();
        return false;
      }
    }
    if (first <= stampedThrough + 1) stampedThrough = last;
  }
  run.shown = shown;
  run.first = first;
  run.count = count;
  run.size = uint16_t(size);
  ++runsInPlace;
  return true;
}

void TDataFile::KeepLookUp(uint32_t recordNumber, const uint8_t* decoded) {
  if (cache.Find(recordNumber)) return;
  // A pass larger than the cache keeps what fits instead of pushing out
  // what it kept itself: its next execution asks for the same records in
  // the same order, and a cache cycled through keeps none of them to it.
  // Records of earlier passes still go first, so a new working set takes
  // their place.
  if (cache.Full()) {
    const TRecord* next = cache.LeastRecentlyIdle(IdleSearchLimit);
    if (next && next->LookUpPass == lookUpPass && !next->Passed) return;
  }
  TRecord* record = TakeCacheEntry();
  record->SetRecordNumber(recordNumber);
  ORV_ASSERT(record->Size() >= RecordSize());
  std::memcpy(record->Buffer(), decoded, RecordSize());
  record->SetModified(false);
  record->LookUpPass = lookUpPass;
  cache.Insert(record);
}

// A record changes only while a holder has it, so writing back needs to
// look only at the records given back changed: reads never add to the
// list it looks at. A record a walk brought in and has used goes to the
// old end of the cache, so that the walk's next records take its place
// rather than the records look-ups keep (and the few entries a walk
// cycles through stay in the processor's caches).
void TDataFile::ReleaseRecord(TRecord* record) {
  if (!record) return;
  record->ReleaseUse();
  if (heldAppend && record == &*heldAppend) {
    // Its bytes are where the held records keep it already.
    if (record->UseCount() == 0) heldAppend.reset();
  } else if (record->Orphaned) {
    if (record->UseCount() == 0) recordStack.Return(record);
  } else if (record->Modified()) {
    cache.NoteForWriteBack(record);
  } else if (record->Walked && record->UseCount() == 0) {
    record->Walked = false;
    record->Passed = true;
    cache.MoveToOldest(record);
  }
}

uint32_t TDataFile::NextAppendNumber() const {
  const uint32_t number = NextRecordNumber();
  if (number >= MaxRecordNumber || int64_t(RecordSize()) * number > MaxRecordAreaBytes)
    RaiseData(EngErrTableFull);
  return number;
}

uint8_t* TDataFile::HeldAppendImage(uint32_t number) {
  // A transaction's appends stay in its cache until it ends.
  if (heldAppend || table->HoldsTransactionLock()) return nullptr;
  if (RunsTakeOverflow(number)) RunHeld();
  else if (HeldFullAt(number)) WriteHeldForMore();
  return HoldsRun(number, 1) ? AddHeld() : nullptr;
}

void TDataFile::NoteAppended(uint32_t number) {
  header.Put32(DatHdrNextRecord, number + 1);
  SetHeaderModified();
}

TRecord* TDataFile::AppendRecord() {
  const uint32_t number = NextAppendNumber();
  TRecord* record;
  if (uint8_t* image = HeldAppendImage(number)) {
    // Built where it is held: a fill's rows neither take cache entries
    // nor go through them to the held records.
    std::memset(image, 0, RecordSize());
    record = &heldAppend.emplace(this, image, RecordSize());
    record->SetRecordNumber(number);
  } else {
    record = TakeCacheEntry();
    std::memset(record->Buffer(), 0, record->Size());
    record->SetRecordNumber(number);
    cache.Insert(record);
  }
  // Written even if no field is ever filled, so the file never has a hole.
  record->SetModified(true);
  NoteAppended(number);
  return record;
}

uint8_t* TDataFile::AppendHeldRecord(const uint8_t* record) {
  if (NewRecordNumber() != NextRecordNumber()) return nullptr;
  const uint32_t number = NextAppendNumber();
  uint8_t* image = HeldAppendImage(number);
  if (!image) return nullptr;
  ORV_ASSERT(RecordSize() >= RecordFirstFieldOffset);
  image[RecordDeletedOffset] = 0;
  PutLE32(image + RecordLinkOffset, number);
  std::memcpy(image + RecordAutoIncOffset, record + RecordAutoIncOffset, size_t(RecordSize() - RecordAutoIncOffset));
  // As NewRecord leaves the header after an append.
  header.Put32(DatHdrFirstFree, 0);
  NoteAppended(number);
  return image;
}

void TDataFile::ReadRecords(TReadContext* reader, uint32_t recordNumber, const TRecordReadOptions& options) {
  const bool forward = options.Forward;
  int32_t count = 1;
  int32_t reach = 1;
  // A read that neither starts at an end of the file nor continues the
  // last one is a look-up: reading ahead would fill the cache with records
  // nobody asked for.
  const bool atEnd = forward ? recordNumber == 1 : recordNumber == PhysicalRecordCount();
  // A walk through a filter skips the records it does not show: a read a
  // few records on from where the last ended still continues it (else each
  // skipped record cut the read-ahead back to one record).
  const bool continues = lastReadEnd != 0 && (forward ? recordNumber >= lastReadEnd &&
                                                            recordNumber - lastReadEnd <= MaxWalkGap
                                                      : recordNumber < lastReadFirst &&
                                                            lastReadFirst - recordNumber <= MaxWalkGap + 1);
  if (options.ReadAhead && (atEnd || continues)) {
    // A walk reads more the longer it goes on: its first read a few
    // records (a reader after the last ten rows wants no more), each next
    // one twice what the last could take, up to the block. Twice what the
    // last took would start again from a few records after every read a
    // leaf's end cut short: four reads a leaf instead of one.
    const int64_t grown = continues ? std::max<int64_t>(FirstWalkRecords, 2 * int64_t(lastReadReach))
                                    : FirstWalkRecords;
    // Backward, the block ends at the record and cannot start before record 1.
    const int64_t available = forward ? int64_t(PhysicalRecordCount()) - recordNumber + 1 : recordNumber;
    reach = int32_t(std::min({int64_t(readAheadCount), available, grown}));
    count = options.CursorSized
                ? std::clamp(reader ? reader->ReadAheadCount(recordNumber, forward, reach) : reach, 1, reach)
                : reach;
  }
  const uint32_t first = forward ? recordNumber : recordNumber - uint32_t(count) + 1;
  const int32_t size = RecordSize();
  const int32_t bytes = count * size;
  GrowFileBuffer(readBuffer, bytes, BufferStep);
  // Records a transaction, a work table or an exclusive table has not
  // written yet may be missing at the file's end; they are in the cache.
  const bool allowShort = (Temporary || table->HoldsTransactionLock() || table->IsExclusive()) && table->DataChanged();
  const int32_t got = ReadFileBytes(RecordOffset(first), readBuffer.Get(), bytes, allowShort);
  ++physicalReads;
  if (count > 1) ++readAheadReads;
  lastReadFirst = first;
  lastReadEnd = first + uint32_t(std::max(got / size, 1));
  lastReadReach = reach;
  // While the block is placed, a flush that taking a cache entry starts
  // leaves its records alone (InReadAhead).
  readAheadStart = first;
  readAheadLength = count;
  TScopeGuard endReadAhead([this] {
    readAheadStart = 0;
    readAheadLength = 0;
  });
  // The record asked for goes in last: with few idle entries, the rest of
  // the block would otherwise push it out again.
  const int32_t placed = got / size;
  const int32_t asked = int32_t(recordNumber - first);
  const uint8_t* images = readBuffer.Get();
  const bool walked = count > 1;
  for (int32_t i = 0; i < placed; ++i)
    if (i != asked) PlaceRecord(first + uint32_t(i), images + size_t(i) * size, walked);
  if (asked < placed) PlaceRecord(recordNumber, images + size_t(asked) * size, walked);
}

void TDataFile::PlaceRecord(uint32_t recordNumber, const uint8_t* image, bool walked) {
  TRecord* record = cache.Find(recordNumber);
  if (!record) {
    record = TakeCacheEntry();
    record->SetRecordNumber(recordNumber);
    record->LoadFromImage(image);
    record->Walked = walked;
    cache.Insert(record);
  } else if (record->UseCount() == 0 && !record->Modified()) {
    record->LoadFromImage(image);
  }
}

bool TDataFile::InReadAhead(uint32_t recordNumber) const {
  return readAheadLength > 0 && recordNumber >= readAheadStart &&
         recordNumber - readAheadStart < uint32_t(readAheadLength);
}

TRecord* TDataFile::TakeCacheEntry() {
  // Every caller fills the record's bytes, so a reused one is not cleared.
  // A record a walk has passed is taken again before the cache grows: a
  // scan after an open cycles through a few hot entries instead of making
  // (and faulting in) a cache's worth of new ones.
  if (TRecord* passed = cache.Oldest(); passed && passed->Passed && passed->Idle()) {
    cache.Remove(passed);
    passed->SetSize(RecordSize());
    passed->Passed = false;
    passed->LookUpPass = 0;
    return passed;
  }
  if (!cache.Full()) return recordStack.TakeUncleared();
  for (bool flushed = false;; flushed = true) {
    // A cache full of changes a table has not written (an exclusive one
    // writes when the cache fills) is written out rather than searched
    // from end to end for every record taken.
    const bool mayFlush = !flushed && !table->HoldsTransactionLock();
    // Idle: unused, unchanged, its links cleared as it leaves the chain.
    if (TRecord* idle = cache.LeastRecentlyIdle(mayFlush ? IdleSearchLimit : INT32_MAX)) {
      cache.Remove(idle);
      idle->SetSize(RecordSize());
      idle->Walked = false;
      idle->Passed = false;
      idle->LookUpPass = 0;
      return idle;
    }
    if (flushed || table->HoldsTransactionLock()) break;
    FlushRecords();
  }
  // A transaction keeps its changes in memory until it ends.
  if (!table->HoldsTransactionLock()) RaiseData(EngErrRecordsCorrupt);
  cache.Capacity += TransactionCacheGrowth;
  return recordStack.TakeUncleared();
}

bool TDataFile::FlushRecords() {
  auto due = [this](const TRecord* record) {
    return record->Modified() && record->UseCount() == 0 && !InReadAhead(record->RecordNumber());
  };
  cache.Noted(due, flushList);
  const int32_t count = int32_t(flushList.size());
  if (count == 0) return false;
  auto numberAt = [this](int32_t i) { return flushList[size_t(i)]->RecordNumber(); };
  const int32_t longest = std::max(1, MostBytesPerWrite / int32_t(RecordSize()));
  int32_t runStart = 0;
  for (int32_t i = 1; i <= count; ++i) {
    if (i < count && numberAt(i) == numberAt(i - 1) + 1 && i - runStart < longest) continue;
    WriteRun(runStart, i - 1);
    runStart = i;
  }
  flushList.clear();
  ORV_ASSERT(!cache.Any(due));  // no record changed without a pin
  return true;
}

void TDataFile::WriteRun(int32_t first, int32_t last) {
  const int32_t size = RecordSize();
  const int32_t count = last - first + 1;
  const uint32_t firstNumber = flushList[size_t(first)]->RecordNumber();
  if (HoldsRun(firstNumber, count)) {
    for (int32_t i = first; i <= last; ++i) {
      const uint32_t number = flushList[size_t(i)]->RecordNumber();
      const uint32_t heldEnd = diskRecords + HeldRecordCount();
      flushList[size_t(i)]->StoreToImage(number <= heldEnd ? HeldImage(number - diskRecords - 1) : AddHeld());
    }
    table->SetDataChanged();
    return;
  }
  WriteHeld();
  GrowFileBuffer(writeBuffer, int64_t(count) * size, BufferStep);
  auto recordAt = [this](int32_t i) { return flushList[size_t(i)]; };
  // Not on disk until the write succeeds: the records keep their changes
  // for the next flush.
  TScopeGuard keepChanges([&] {
    for (int32_t i = first; i <= last; ++i) recordAt(i)->SetModified(true);
  });
  for (int32_t i = 0; i < count; ++i) recordAt(first + i)->StoreToImage(writeBuffer.Get() + size_t(i) * size);
  WriteFileBytes(RecordOffset(firstNumber), writeBuffer.Get(), count * size);
  keepChanges.Dismiss();
  ++physicalWrites;
  if (diskRecords != UnknownDiskRecords) diskRecords = std::max(diskRecords, firstNumber + uint32_t(count) - 1);
  table->SetDataChanged();
}

TRecordImages::TRecordImages(uint16_t recordSize, int32_t blockBytes)
    : perBlock(uint32_t(std::max(blockBytes / std::max<int32_t>(recordSize, 1), 1))), recordSize(recordSize) {
  this->blockBytes = std::max(size_t(blockBytes), size_t(perBlock) * recordSize);
}

uint8_t* TDataFile::AddHeld() {
  if (held.Count() == 0 && held.RecordSize() != RecordSize())
    held = TRecordImages(RecordSize(), int32_t(PooledBlockBytes));
  uint8_t* image = held.Add();
  if (heldOrdered) heldOrder.push_back(held.Count() - 1);
  table->SetDataChanged();
  return image;
}

uint8_t* TRecordImages::Add() {
  if (count == blocks.size() * perBlock)
    // Not cleared: every image is written whole before it is read.
    blocks.emplace_back(blockBytes);
  return At(count++);
}

// Only held records and appends that follow on from the file's last
// records, or from the held ones: any other write writes the held ones
// first, so the file never has a record both held and on disk. An
// enciphered file's images would need deciphering to be put in order: its
// records are written as they come. A temporary file in memory holds them
// too: writing them into its content cost a copy and the content's growth,
// and its sort wrote them all again.
bool TDataFile::HoldsRun(uint32_t first, int32_t count) const {
  if (!Temporary || IsEncrypted() || diskRecords == UnknownDiskRecords) return false;
  const uint32_t heldEnd = diskRecords + HeldRecordCount();
  if (first <= diskRecords || first > heldEnd + 1) return false;
  const int64_t added = std::max<int64_t>(int64_t(first) + count - 1 - heldEnd, 0);
  return (int64_t(held.Count()) + added) * RecordSize() <= HeldBound();
}

int64_t TDataFile::HeldBound() const {
  return diskRecords > 0 && !sortRuns ? std::min(SortMemoryBytes, HeldPartBytes) : SortMemoryBytes;
}

bool TDataFile::ReadHeld(int64_t offset, uint8_t* buffer, int32_t count, bool allowShort, int32_t& got) const {
  const int32_t size = RecordSize();
  const int64_t from = offset - HeldOffset();
  if (from < 0 || from % size != 0 || count % size != 0) return false;
  const int64_t first = from / size;
  const int64_t wanted = count / size;
  const int64_t available = std::max<int64_t>(int64_t(HeldRecordCount()) - first, 0);
  // Past the held records the file ends: a short read, as the file's own.
  if (wanted > available && !allowShort) return false;
  const int64_t n = std::min(wanted, available);
  for (int64_t i = 0; i < n; ++i)
    std::memcpy(buffer + size_t(i) * size_t(size), HeldImage(uint32_t(first + i)), size_t(size));
  got = int32_t(n * size);
  return true;
}

const uint8_t* TDataFile::HeldRecordImage(uint32_t recordNumber) const {
  if (HeldRecordCount() == 0 || recordNumber <= diskRecords || IsEncrypted()) return nullptr;
  const uint32_t i = recordNumber - diskRecords - 1;
  // The append being built is not whole yet.
  if (i >= HeldRecordCount() || (heldAppend && heldAppend->RecordNumber() == recordNumber)) return nullptr;
  return cache.Find(recordNumber) ? nullptr : HeldImage(i);
}

void TDataFile::WriteHeld() {
  ORV_ASSERT(!heldAppend);  // its image is not whole yet
  // The records before the held ones first: the file never has a hole.
  SpillRuns();
  WriteHeldImages();
  ForgetHeld();
}

bool TDataFile::HeldFullAt(uint32_t number) const {
  if (!Temporary || IsEncrypted() || diskRecords == UnknownDiskRecords || held.Count() == 0) return false;
  return number == diskRecords + HeldRecordCount() + 1 &&
         (int64_t(held.Count()) + 1) * RecordSize() > HeldBound();
}

// An answer past its memory is written in parts, each built where the last
// one was held: otherwise every append after the first part went through a
// cache entry (taken, cleared, filled, flushed into the next held image),
// and each part's memory was given back and faulted in again.
void TDataFile::WriteHeldForMore() {
  ORV_ASSERT(!heldAppend);
  SpillRuns();
  WriteHeldImages();
  // The blocks the next parts fill; HeldBound is HeldPartBytes from now on.
  const int64_t partRecords = HeldBound() / std::max<int32_t>(RecordSize(), 1);
  held.Restart(size_t(partRecords / held.PerBlock() + 1));
  heldOrder.clear();
  heldOrdered = false;
}

void TDataFile::WriteHeldImages() {
  const uint32_t count = HeldRecordCount();
  if (count == 0) return;
  ORV_ASSERT(diskRecords != UnknownDiskRecords);
  const int32_t size = RecordSize();
  if (heldOrdered) {
    const uint32_t longest = uint32_t(std::max(1, MostBytesPerWrite / size));
    GrowFileBuffer(writeBuffer, int64_t(std::min(count, longest)) * size, BufferStep);
    for (uint32_t first = 0; first < count; first += longest) {
      const uint32_t n = std::min(longest, count - first);
      for (uint32_t i = 0; i < n; ++i)
        std::memcpy(writeBuffer.Get() + size_t(i) * size_t(size), HeldImage(first + i), size_t(size));
      WriteFileBytes(RecordOffset(diskRecords + 1 + first), writeBuffer.Get(), int32_t(n) * size);
      ++physicalWrites;
    }
  } else {
    // In their numbers' order a block's records lie side by side, as the
    // file holds them: written from where they are held, a part's blocks
    // in one write. The system fills, reads back and drops a range written
    // in large writes in large pieces of its cache: an answer written a
    // block at a time cost it a quarter more. A temporary file is never
    // synced, so the bound on a write's size that keeps later small writes
    // cheap to sync does not apply.
    const uint32_t perBlock = held.PerBlock();
    const size_t mostBlocks = size_t(std::max<int64_t>(HeldPartBytes / (int64_t(perBlock) * size), 1));
    std::vector<std::span<const uint8_t>> blocks;
    blocks.reserve(mostBlocks);
    for (uint32_t first = 0; first < count;) {
      const uint32_t start = first;
      blocks.clear();
      while (first < count && blocks.size() < mostBlocks) {
        const uint32_t n = std::min(perBlock - first % perBlock, count - first);
        blocks.emplace_back(HeldImage(first), size_t(n) * size_t(size));
        first += n;
      }
      WriteFileGathered(RecordOffset(diskRecords + 1 + start), blocks);
      ++physicalWrites;
    }
  }
  diskRecords += count;
}

TRecordImages TDataFile::TakeHeld() {
  if (diskRecords != 0 || heldOrdered || held.Count() != PhysicalRecordCount()) {
    WriteHeld();
    return {};
  }
  heldOrder.clear();
  return std::exchange(held, TRecordImages());
}

void TDataFile::HoldInOrder(TRecordImages images, std::vector<uint32_t> order) {
  ORV_ASSERT(diskRecords == 0 && held.Count() == 0);
  held = std::move(images);
  heldOrder = std::move(order);
  heldOrdered = true;
}

void TDataFile::DropHeld() {
  ForgetHeld();
  sortRuns.reset();
}

void TDataFile::ForgetHeld() {
  ORV_ASSERT(!heldAppend);
  held = TRecordImages();
  heldOrder = std::vector<uint32_t>();
  heldOrdered = false;
}

void TDataFile::LetGo(TRecord* record) {
  if (record->UseCount() > 0) {
    // Its holder releases it later; only then may the pool lend it again.
    // The record stack owns every record, so an orphan needs no list.
    record->Orphaned = true;
  } else {
    recordStack.Return(record);
  }
}

void TDataFile::DropCache() {
  stampedThrough = 0;
  cache.TakeAll([this](TRecord* record) { LetGo(record); });
}

void TDataFile::TrimCache() {
  cache.Capacity = CacheLimit();
  // Records in use or not yet written stay.
  for (TRecord* record = cache.Oldest(); record && cache.Count() > cache.Capacity;) {
    TRecord* newer = record->Newer;
    if (record->Idle()) {
      cache.Remove(record);
      recordStack.Return(record);
    }
    record = newer;
  }
}

uint32_t TDataFile::NewRecordNumber() const {
  return FirstFreeRecord() != 0 && table->HasPrimaryIndex() ? FirstFreeRecord() : NextRecordNumber();
}

bool TDataFile::NewRecord(TReadContext* reader, TRecord*& record) {
  const uint32_t number = NewRecordNumber();
  const bool append = number == NextRecordNumber();
  if (!GetRecord(reader, number, {}, record)) return false;
  uint32_t firstFree = 0;
  if (!append) {
    // A free-list entry that is in use, or that links outside the file or
    // to itself, would hand out a live record.
    const uint32_t link = record->NextFree();
    if (!record->IsDeleted() || link == number || link >= NextRecordNumber()) {
      ReleaseRecord(record);
      record = nullptr;
      RaiseData(EngErrRecordsCorrupt);
    }
    firstFree = link;
  }
  header.Put32(DatHdrFirstFree, firstFree);
  SetHeaderModified();
  return true;
}

void TDataFile::FreeRecord(TRecord* record) {
  // Freeing a free record twice would link the free list to itself.
  if (record->IsDeleted()) RaiseData(EngErrRecordsCorrupt);
  const uint32_t link = NewRecordNumber();
  record->SetDeleted(true);
  record->SetNextFree(link == NextRecordNumber() ? 0 : link);
  header.Put32(DatHdrFirstFree, record->RecordNumber());
  SetHeaderModified();
}
