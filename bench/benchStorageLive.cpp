#include "benchStorageLive.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "benchStorageChild.h"
#include "benchStorageEngine.h"
#include "benchStorageWorkloads.h"

namespace {

constexpr const char* LiveTable = "LIVE";
constexpr const char* ReadyLine = "ready";
constexpr int NewestCount = 10;
// A reader that never sees the last row gives up after this long.
constexpr std::chrono::seconds ReaderPatience{120};

// Newest first, without gaps, each row as generated.
bool ValidNewest(const std::vector<TJobRow>& rows, int32_t total) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const TJobRow& row = rows[i];
    if (row.RecRef != rows[0].RecRef - int32_t(i) || row.RecRef < 1 || row.RecRef > total) return false;
    const TJobRow expected = GenerateJob(row.RecRef, total);
    if (RowHash(row) != RowHash(expected) || row.JobDate != expected.JobDate || row.PrinterName != expected.PrinterName)
      return false;
  }
  return true;
}

bool Collect(TChildProcess& child, const char* role, const TMeasureSink& sink, std::string& failure) {
  std::vector<std::string> lines;
  const bool exited = child.Finish(lines);
  for (const std::string& line : lines) {
    TMeasure measure;
    if (ParseMeasure(line, measure)) sink(measure);
  }
  if (!exited) failure = std::string("the live ") + role + " failed";
  return exited;
}

}  // namespace

bool RunLiveWorkload(const std::string& engine, const std::string& folder, double scale, const TMeasureSink& sink,
                     std::string& failure) {
  const std::string scaleText = std::to_string(scale);
  auto arguments = [&](const char* role) {
    return std::vector<std::string>{"--role", role, "--engine", engine, "--dir", folder, "--scale", scaleText};
  };
  {
    TChildProcess creator(arguments("live-create"));
    std::vector<std::string> lines;
    if (!creator.Finish(lines)) {
      failure = "the live table was not created";
      return false;
    }
  }
  TChildProcess reader(arguments("live-read"));
  std::string line;
  while (reader.ReadLine(line) && line != ReadyLine) {
  }
  if (line != ReadyLine) {
    failure = "the live reader did not start";
    return false;
  }
  TChildProcess writer(arguments("live-write"));
  const bool wrote = Collect(writer, "writer", sink, failure);
  const bool read = Collect(reader, "reader", sink, failure);
  return wrote && read;
}

int LiveCreate(const std::string& engine, const std::string& folder) {
  MakeEngine(engine, folder)->Create(LiveTable);
  return 0;
}

int LiveRead(const std::string& engine, const std::string& folder, const TBenchSizes& sizes, const TMeasureSink& sink) {
  std::unique_ptr<TStorageEngine> storage = MakeEngine(engine, folder);
  storage->WatchOtherWriters();
  storage->Open(LiveTable, false);
  std::printf("%s\n", ReadyLine);
  std::fflush(stdout);

  const auto giveUp = std::chrono::steady_clock::now() + ReaderPatience;
  std::vector<TJobRow> rows;
  TStopwatch watch;
  int64_t polls = 0;
  do {
    watch.Start();
    storage->ReadNewest(NewestCount, rows);
    watch.Stop();
    ++polls;
    if (!ValidNewest(rows, sizes.LiveAppends)) {
      std::fprintf(stderr, "live reader: poll %lld read rows that are not the newest as written\n",
                   static_cast<long long>(polls));
      return 1;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      std::fprintf(stderr, "live reader: the last row never showed\n");
      return 1;
    }
  } while (rows.empty() || rows[0].RecRef != sizes.LiveAppends);
  storage->Close();

  TMeasure measure;
  measure.Label = "8 reader: 10 newest rows, per 1000 polls";
  measure.Value = watch.Seconds() * 1000.0 / double(polls);
  measure.Rows = int64_t(rows.size());
  measure.ExpectedRows = NewestCount;
  for (const TJobRow& row : rows) measure.Checksum += RowHash(row);
  sink(measure);
  std::fprintf(stderr, "live reader (%s): %lld polls\n", engine.c_str(), static_cast<long long>(polls));
  return 0;
}

int LiveWrite(const std::string& engine, const std::string& folder, const TBenchSizes& sizes,
              const TMeasureSink& sink) {
  std::unique_ptr<TStorageEngine> storage = MakeEngine(engine, folder);
  storage->Open(LiveTable, false);
  TStopwatch watch;
  for (int32_t n = 1; n <= sizes.LiveAppends; ++n) {
    const TJobRow row = GenerateJob(n, sizes.LiveAppends);
    watch.Start();
    storage->Append(row);
    watch.Stop();
  }
  TMeasure measure;
  measure.Label = "8 writer: append beside a reader";
  measure.Value = watch.Seconds();
  measure.ExpectedRows = sizes.LiveAppends;
  storage->Scan(TJobOrder::Natural, false, [&measure](const TJobRow& row) {
    ++measure.Rows;
    measure.Checksum += RowHash(row);
  });
  storage->Close();
  sink(measure);
  return 0;
}
