#include "benchStorageWorkloads.h"

#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

constexpr const char* SharedTable = "JOBS1";
constexpr const char* BulkTable = "JOBS";
// The month the index-served count asks for, and the update and delete
// selection: one row in ten each.
constexpr int FilterYear = 2025;
constexpr int FilterMonth = 3;
constexpr int32_t UpdatedRemainder = 3;
constexpr int32_t DeletedRemainder = 7;
constexpr int CountRepeats = 10;

struct TReadBack {
  int64_t Rows = 0;
  uint64_t Checksum = 0;
  void Add(const TJobRow& row) {
    ++Rows;
    Checksum += RowHash(row);
  }
};

TMeasure Timed(const std::string& label, double seconds, const TReadBack& read, int64_t expected) {
  TMeasure measure;
  measure.Label = label;
  measure.Value = seconds;
  measure.Rows = read.Rows;
  measure.Checksum = read.Checksum;
  measure.ExpectedRows = expected;
  return measure;
}

TMeasure Size(const std::string& label, int64_t bytes, int64_t rows) {
  TMeasure measure;
  measure.Label = label;
  measure.Kind = TMeasure::Megabytes;
  measure.Value = double(bytes) / (1024.0 * 1024.0);
  measure.Rows = rows;
  measure.ExpectedRows = rows;
  return measure;
}

TReadBack ScanAll(TStorageEngine& engine, const std::string& table, TJobOrder order) {
  TReadBack read;
  engine.Open(table, false);
  engine.Scan(order, false, [&read](const TJobRow& row) { read.Add(row); });
  engine.Close();
  return read;
}

// The month's rows and the rows not printed, as generated.
struct TExpectedCounts {
  int64_t InMonth = 0;
  int64_t NotPrinted = 0;
};

double AppendGenerated(TStorageEngine& engine, int32_t rows, TExpectedCounts* counts) {
  const int32_t firstDay = FirstDayOf(FilterYear, FilterMonth);
  const int32_t lastDay = LastDayOf(FilterYear, FilterMonth);
  TStopwatch watch;
  for (int32_t n = 1; n <= rows; ++n) {
    const TJobRow row = GenerateJob(n, rows);
    if (counts) {
      counts->InMonth += row.JobDate >= firstDay && row.JobDate <= lastDay;
      counts->NotPrinted += !row.JobPrinted;
    }
    watch.Start();
    engine.Append(row);
    watch.Stop();
  }
  return watch.Seconds();
}

void SharedAppends(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  engine.Create(SharedTable);
  engine.Open(SharedTable, false);
  const double seconds = AppendGenerated(engine, sizes.SharedAppends, nullptr);
  engine.Close();
  sink(Timed("1 append, shared, one row per write", seconds, ScanAll(engine, SharedTable, TJobOrder::Natural),
             sizes.SharedAppends));
}

TExpectedCounts BulkAppends(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  TExpectedCounts counts;
  engine.Create(BulkTable);
  TStopwatch watch;
  engine.Open(BulkTable, true);
  engine.BeginBatch();
  double seconds = AppendGenerated(engine, sizes.BulkRows, &counts);
  watch.Start();
  engine.EndBatch();
  engine.Close();
  watch.Stop();
  seconds += watch.Seconds();
  sink(Timed("2 append in bulk", seconds, ScanAll(engine, BulkTable, TJobOrder::Natural), sizes.BulkRows));
  sink(Size("file size after bulk append (MB)", engine.TableBytes(BulkTable), sizes.BulkRows));
  return counts;
}

// Keys of random rows; text keys lower-cased, as the indexes ignore case.
std::vector<TJobRow> LookupKeys(TJobOrder index, const TBenchSizes& sizes) {
  TSplitMix random(uint64_t(index) + 77);
  std::vector<TJobRow> keys;
  keys.reserve(size_t(sizes.Lookups));
  for (int32_t i = 0; i < sizes.Lookups; ++i) {
    TJobRow key = GenerateJob(int32_t(1 + random.Below(uint32_t(sizes.BulkRows))), sizes.BulkRows);
    key.MachineName = AsciiLower(key.MachineName);
    key.PrinterName = AsciiLower(key.PrinterName);
    key.JobOwner = AsciiLower(key.JobOwner);
    key.Document.clear();
    keys.push_back(std::move(key));
  }
  return keys;
}

void Lookups(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  engine.Open(BulkTable, false);
  for (TJobOrder index : IndexOrders) {
    const std::vector<TJobRow> keys = LookupKeys(index, sizes);
    TReadBack read;
    TJobRow found;
    TStopwatch watch;
    watch.Start();
    for (const TJobRow& key : keys)
      if (engine.Find(index, key, found) && found.RecRef == key.RecRef) read.Add(found);
    watch.Stop();
    sink(Timed(std::string("3 lookup by ") + OrderName(index), watch.Seconds(), read, sizes.Lookups));
  }
  engine.Close();
}

void Scans(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  engine.Open(BulkTable, false);
  for (TJobOrder order : {TJobOrder::Natural, TJobOrder::Primary, TJobOrder::ByDate, TJobOrder::ByOwner,
                          TJobOrder::ByPrinter, TJobOrder::ByComputer}) {
    TReadBack read;
    TStopwatch watch;
    watch.Start();
    engine.Scan(order, false, [&read](const TJobRow& row) { read.Add(row); });
    watch.Stop();
    sink(Timed(std::string("4 scan in ") + OrderName(order) + " order", watch.Seconds(), read, sizes.BulkRows));
  }
  engine.Close();
}

// Each count runs CountRepeats times, so that its time is well above the
// clock's noise; every run must give the same count.
void Counts(TStorageEngine& engine, const TExpectedCounts& expected, const TMeasureSink& sink) {
  engine.Open(BulkTable, false);
  auto count = [&](const std::string& label, int64_t want, auto&& counter) {
    int64_t got = 0;
    bool ran = true;
    TStopwatch watch;
    watch.Start();
    for (int i = 0; i < CountRepeats && ran; ++i) {
      int64_t once = 0;
      ran = counter(once);
      if (i > 0 && once != got) throw std::runtime_error(label + ": the count changed between runs");
      got = once;
    }
    watch.Stop();
    TReadBack read;
    read.Rows = got;
    read.Checksum = uint64_t(got);
    TMeasure measure = Timed(label, watch.Seconds(), read, want);
    if (!ran) measure.Kind = TMeasure::NotRun;
    sink(measure);
  };
  const std::string times = " x" + std::to_string(CountRepeats);
  count("5 count one month (indexed filter)" + times, expected.InMonth, [&](int64_t& got) {
    return engine.CountDates(FirstDayOf(FilterYear, FilterMonth), LastDayOf(FilterYear, FilterMonth), got);
  });
  count("5 count JobPrinted = FALSE (no index)" + times, expected.NotPrinted,
        [&](int64_t& got) { return engine.CountNotPrinted(got); });
  engine.Close();
}

// Shared, one change per write, for both engines: an exclusive cursor that
// changes thousands of records meets engine error 8962 (its read-ahead
// evicts the record it reads once the cache is full of changed records).
void Changes(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  TStopwatch updates;
  engine.Open(BulkTable, false);
  updates.Start();
  int32_t updated = 0;
  for (int32_t n = UpdatedRemainder; n <= sizes.BulkRows; n += 10) updated += engine.ChangeOwner(n, ChangedOwner(n));
  updates.Stop();
  engine.Close();
  if (updated != (sizes.BulkRows - UpdatedRemainder) / 10 + 1) throw std::runtime_error("an update found no row");
  sink(Timed("6 update 10% (JobOwner, indexed)", updates.Seconds(), ScanAll(engine, BulkTable, TJobOrder::ByOwner),
             sizes.BulkRows));

  TStopwatch moves;
  engine.Open(BulkTable, false);
  moves.Start();
  std::vector<TJobRow> deleted;
  TJobRow row;
  for (int32_t n = DeletedRemainder; n <= sizes.BulkRows; n += 10)
    if (engine.Delete(n, row)) deleted.push_back(row);
  for (const TJobRow& again : deleted) engine.Append(again);
  moves.Stop();
  engine.Close();
  if (int32_t(deleted.size()) != (sizes.BulkRows - DeletedRemainder) / 10 + 1)
    throw std::runtime_error("a delete found no row");
  sink(Timed("6 delete 10% and append again", moves.Seconds(), ScanAll(engine, BulkTable, TJobOrder::ByDate),
             sizes.BulkRows));
  sink(Size("file size after the changes (MB)", engine.TableBytes(BulkTable), sizes.BulkRows));
}

void Memos(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  for (const TMemoSize& memo : sizes.Memos) {
    const std::string table = "MEMO" + std::to_string(memo.Bytes);
    const std::string size = memo.Bytes >= 1024 * 1024 ? std::to_string(memo.Bytes / (1024 * 1024)) + " MB"
                             : memo.Bytes >= 1024     ? std::to_string(memo.Bytes / 1024) + " KB"
                                                      : std::to_string(memo.Bytes) + " B";
    engine.Create(table);
    engine.Open(table, false);
    TStopwatch writes;
    for (int32_t n = 1; n <= memo.Rows; ++n) {
      TJobRow row = GenerateJob(n, memo.Rows);
      row.Document = GenerateDocument(n, memo.Bytes);
      writes.Start();
      engine.Append(row);
      writes.Stop();
    }
    engine.Close();

    // The read-back counts only memos equal to what was written.
    TReadBack read;
    TStopwatch reads;
    engine.Open(table, false);
    reads.Start();
    engine.Scan(TJobOrder::Primary, true, [&](const TJobRow& row) {
      if (row.Document == GenerateDocument(row.RecRef, memo.Bytes)) {
        ++read.Rows;
        read.Checksum += BytesHash(row.Document.data(), row.Document.size());
      }
    });
    reads.Stop();
    engine.Close();
    sink(Timed("7 memo " + size + ": write", writes.Seconds(), read, memo.Rows));
    sink(Timed("7 memo " + size + ": read back", reads.Seconds(), read, memo.Rows));
  }
}

}  // namespace

void TStopwatch::Start() { startedAt = std::chrono::steady_clock::now().time_since_epoch().count(); }

void TStopwatch::Stop() {
  const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
  seconds += double(now - startedAt) * std::chrono::steady_clock::period::num / std::chrono::steady_clock::period::den;
}

void RunEngineWorkloads(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  SharedAppends(engine, sizes, sink);
  const TExpectedCounts counts = BulkAppends(engine, sizes, sink);
  Lookups(engine, sizes, sink);
  Scans(engine, sizes, sink);
  Counts(engine, counts, sink);
  Changes(engine, sizes, sink);
  Memos(engine, sizes, sink);
}
