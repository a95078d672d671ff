#include "benchStorageWorkloads.h"

#include <chrono>
#include <functional>
#include <stdexcept>
#include <utility>
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
constexpr int Runs = 3;

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

// A workload that can start again from the same state runs Runs times and
// counts its fastest run, so that a moment of load on the machine does not
// decide the line; every run must read back the same.
TMeasure Fastest(const std::string& label, int64_t expected, const std::function<TReadBack(TStopwatch&)>& read) {
  TReadBack first;
  double best = 0;
  for (int run = 0; run < Runs; ++run) {
    TStopwatch watch;
    const TReadBack got = read(watch);
    if (run > 0 && (got.Rows != first.Rows || got.Checksum != first.Checksum))
      throw std::runtime_error(label + ": runs read different rows");
    if (run == 0 || watch.Seconds() < best) best = watch.Seconds();
    first = got;
  }
  return Timed(label, best, first, expected);
}

// The month's rows and the rows not printed, as generated.
struct TExpectedCounts {
  int64_t InMonth = 0;
  int64_t NotPrinted = 0;
};

void AppendGenerated(TStorageEngine& engine, int32_t rows, TStopwatch& watch, TExpectedCounts* counts) {
  const int32_t firstDay = FirstDayOf(FilterYear, FilterMonth);
  const int32_t lastDay = LastDayOf(FilterYear, FilterMonth);
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
}

void SharedAppends(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  sink(Fastest("1 append, shared, one row per write", sizes.SharedAppends, [&](TStopwatch& watch) {
    engine.Create(SharedTable);
    engine.Open(SharedTable, false);
    AppendGenerated(engine, sizes.SharedAppends, watch, nullptr);
    engine.Close();
    return ScanAll(engine, SharedTable, TJobOrder::Natural);
  }));
}

// One run only: a million rows take minutes.
TExpectedCounts BulkAppends(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  TExpectedCounts counts;
  engine.Create(BulkTable);
  TStopwatch watch;
  engine.Open(BulkTable, true);
  engine.BeginBatch();
  AppendGenerated(engine, sizes.BulkRows, watch, &counts);
  watch.Start();
  engine.EndBatch();
  engine.Close();
  watch.Stop();
  sink(Timed("2 append in bulk", watch.Seconds(), ScanAll(engine, BulkTable, TJobOrder::Natural), sizes.BulkRows));
  sink(Size("file size after bulk append (MB)", engine.TableBytes(BulkTable), sizes.BulkRows));
  return counts;
}

// The open of the bulk table and a read of its newest row, as the program
// starts: with nothing learnt from earlier opens (ours then checks every
// index against every record), and after an open that kept its finding.
void Opens(TStorageEngine& engine, const TMeasureSink& sink) {
  auto open = [&engine](TStopwatch& watch, bool forget) {
    if (forget) engine.ForgetEarlierOpens();
    std::vector<TJobRow> newest;
    watch.Start();
    engine.Open(BulkTable, false);
    engine.ReadNewest(1, newest);
    watch.Stop();
    engine.Close();
    TReadBack read;
    for (const TJobRow& row : newest) read.Add(row);
    return read;
  };
  sink(Fastest("2 open bulk table, newest row: first check", 1,
               [&open](TStopwatch& watch) { return open(watch, true); }));
  sink(Fastest("2 open bulk table, newest row: check kept", 1,
               [&open](TStopwatch& watch) { return open(watch, false); }));
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
    sink(Fastest(std::string("3 lookup by ") + OrderName(index), sizes.Lookups, [&](TStopwatch& watch) {
      TReadBack read;
      TJobRow found;
      watch.Start();
      for (const TJobRow& key : keys)
        if (engine.Find(index, key, found) && found.RecRef == key.RecRef) read.Add(found);
      watch.Stop();
      return read;
    }));
  }
  engine.Close();
}

void Scans(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  engine.Open(BulkTable, false);
  for (TJobOrder order : {TJobOrder::Natural, TJobOrder::Primary, TJobOrder::ByDate, TJobOrder::ByOwner,
                          TJobOrder::ByPrinter, TJobOrder::ByComputer}) {
    sink(Fastest(std::string("4 scan in ") + OrderName(order) + " order", sizes.BulkRows, [&](TStopwatch& watch) {
      TReadBack read;
      watch.Start();
      engine.Scan(order, false, [&read](const TJobRow& row) { read.Add(row); });
      watch.Stop();
      return read;
    }));
  }
  engine.Close();
}

// Each count runs CountRepeats times, so that its time is well above the
// clock's noise; every run must give the same count.
void Counts(TStorageEngine& engine, const TExpectedCounts& expected, const TMeasureSink& sink) {
  engine.Open(BulkTable, false);
  auto count = [&](const std::string& label, int64_t want, auto&& counter) {
    bool ran = true;
    TMeasure measure = Fastest(label, want, [&](TStopwatch& watch) {
      TReadBack read;
      watch.Start();
      for (int i = 0; i < CountRepeats && ran; ++i) {
        int64_t once = 0;
        ran = counter(once);
        if (i > 0 && int64_t(read.Checksum) != once) throw std::runtime_error(label + ": the count changed");
        read.Rows = once;
        read.Checksum = uint64_t(once);
      }
      watch.Stop();
      return read;
    });
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

// One run each, as they change the table. Shared, one change per write, for
// both engines, as the program changes rows.
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

// The memos read back, counting only those equal to what was written; the
// comparison is outside the time.
TReadBack ReadMemos(TStorageEngine& engine, const std::string& table, const TMemoSize& memo, TStopwatch& watch) {
  std::vector<std::pair<int32_t, std::string>> documents;
  engine.Open(table, false);
  watch.Start();
  engine.Scan(TJobOrder::Primary, true,
              [&documents](const TJobRow& row) { documents.emplace_back(row.RecRef, row.Document); });
  watch.Stop();
  engine.Close();
  TReadBack read;
  for (const auto& [recRef, document] : documents)
    if (document == GenerateDocument(recRef, memo.Bytes)) {
      ++read.Rows;
      read.Checksum += BytesHash(document.data(), document.size());
    }
  return read;
}

void Memos(TStorageEngine& engine, const TBenchSizes& sizes, const TMeasureSink& sink) {
  for (const TMemoSize& memo : sizes.Memos) {
    const std::string table = "MEMO" + std::to_string(memo.Bytes);
    const std::string size = memo.Bytes >= 1024 * 1024 ? std::to_string(memo.Bytes / (1024 * 1024)) + " MB"
                             : memo.Bytes >= 1024     ? std::to_string(memo.Bytes / 1024) + " KB"
                                                      : std::to_string(memo.Bytes) + " B";
    sink(Fastest("7 memo " + size + ": write", memo.Rows, [&](TStopwatch& watch) {
      engine.Create(table);
      engine.Open(table, false);
      for (int32_t n = 1; n <= memo.Rows; ++n) {
        TJobRow row = GenerateJob(n, memo.Rows);
        row.Document = GenerateDocument(n, memo.Bytes);
        watch.Start();
        engine.Append(row);
        watch.Stop();
      }
      engine.Close();
      TStopwatch untimed;
      return ReadMemos(engine, table, memo, untimed);
    }));
    sink(Fastest("7 memo " + size + ": read back", memo.Rows,
                 [&](TStopwatch& watch) { return ReadMemos(engine, table, memo, watch); }));
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
  Opens(engine, sink);
  Lookups(engine, sizes, sink);
  Scans(engine, sizes, sink);
  Counts(engine, counts, sink);
  Changes(engine, sizes, sink);
  Memos(engine, sizes, sink);
}
