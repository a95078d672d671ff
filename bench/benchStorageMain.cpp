// Our table engine side by side with SQLite on the same jobs-shaped data:
// each engine's workloads run in a child process of their own, the live
// workload in two more; the parent prints one table and exits non-zero
// when any line's rows or checksum disagree.
//
// Usage: bench_storage [--scale S] [--keep]
//        bench_storage --open-time FOLDER [--scale S]
// Scratch files go under $TMPDIR (else /tmp). --open-time times the first
// open of the bulk table in FOLDER, made first (bulk rows of the scale)
// when it is not there: once with nothing kept from earlier opens (the
// index check reads the whole table) and once after that open kept its
// finding; run it again for the opens of a fresh process.

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include "benchStorageChild.h"
#include "benchStorageEngine.h"
#include "benchStorageLive.h"
#include "benchStorageReport.h"
#include "benchStorageWorkloads.h"
#include "engErrors.h"

namespace {

constexpr int LiveRuns = 3;

struct TOptions {
  std::string Role;
  std::string Engine;
  std::string Folder;
  std::string OpenTimeFolder;
  double Scale = 1.0;
  bool Keep = false;
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const bool hasValue = i + 1 < argc;
    if (name == "--keep") options.Keep = true;
    else if (name == "--scale" && hasValue) options.Scale = std::atof(argv[++i]);
    else if (name == "--role" && hasValue) options.Role = argv[++i];
    else if (name == "--engine" && hasValue) options.Engine = argv[++i];
    else if (name == "--dir" && hasValue) options.Folder = argv[++i];
    else if (name == "--open-time" && hasValue) options.OpenTimeFolder = argv[++i];
    else return false;
  }
  return options.Scale > 0;
}

void PrintMeasure(const TMeasure& measure) {
  std::printf("%s\n", FormatMeasure(measure).c_str());
  std::fflush(stdout);
}

int RunRole(const TOptions& options) {
  const TBenchSizes sizes = TBenchSizes::Scaled(options.Scale);
  if (options.Role == "engine") {
    RunEngineWorkloads(*MakeEngine(options.Engine, options.Folder), sizes, PrintMeasure);
    return 0;
  }
  if (options.Role == "live-create") return LiveCreate(options.Engine, options.Folder);
  if (options.Role == "live-read") return LiveRead(options.Engine, options.Folder, sizes, PrintMeasure);
  if (options.Role == "live-write") return LiveWrite(options.Engine, options.Folder, sizes, PrintMeasure);
  std::fprintf(stderr, "unknown role '%s'\n", options.Role.c_str());
  return 2;
}

// One engine's workloads 1 to 7 in a child, then the live workload.
bool MeasureEngine(const std::string& engine, const std::string& folder, double scale, TEngineMeasures& measures) {
  std::filesystem::create_directories(folder);
  auto keep = [&measures](const TMeasure& measure) { measures.Measures.push_back(measure); };
  std::vector<std::string> lines;
  TChildProcess child({"--role", "engine", "--engine", engine, "--dir", folder, "--scale", std::to_string(scale)});
  const bool ran = child.Finish(lines);
  for (const std::string& line : lines) {
    TMeasure measure;
    if (ParseMeasure(line, measure)) keep(measure);
  }
  if (!ran) std::fprintf(stderr, "%s: the workloads failed\n", engine.c_str());
  // The live workload depends on how two processes interleave: its fastest
  // of LiveRuns runs counts, each line on its own.
  bool live = ran;
  TEngineMeasures fastest;
  for (int run = 0; run < LiveRuns && live; ++run) {
    std::string failure;
    live = RunLiveWorkload(engine, folder, scale, [&fastest](const TMeasure& measure) { fastest.KeepFastest(measure); },
                           failure);
    if (!live) std::fprintf(stderr, "%s: %s\n", engine.c_str(), failure.c_str());
  }
  for (const TMeasure& measure : fastest.Measures) keep(measure);
  TMeasure memory;
  memory.Label = "peak memory, workloads 1-7 (MB)";
  memory.Kind = TMeasure::Megabytes;
  memory.Value = double(child.PeakMemoryKb()) / 1024.0;
  keep(memory);
  return live;
}

int RunBenchmark(const TOptions& options) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/benchStorageXXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const TBenchSizes sizes = TBenchSizes::Scaled(options.Scale);
  std::printf("bench_storage: scale %g (%d shared appends, %d bulk rows, %d lookups per index, %d live appends),"
              " SQLite %s, %ld processors\n\n",
              options.Scale, sizes.SharedAppends, sizes.BulkRows, sizes.Lookups, sizes.LiveAppends,
              sqlite3_libversion(), sysconf(_SC_NPROCESSORS_ONLN));
  std::fflush(stdout);
  TEngineMeasures ours;
  TEngineMeasures sqlite;
  bool ran = MeasureEngine("ours", pattern + "/ours", options.Scale, ours);
  ran = MeasureEngine("sqlite", pattern + "/sqlite", options.Scale, sqlite) && ran;
  const int failures = PrintReport(ours, sqlite);
  if (options.Keep) std::printf("\nfiles kept in %s\n", pattern.c_str());
  else std::filesystem::remove_all(pattern);
  if (failures) std::fprintf(stderr, "%d line(s) failed their check\n", failures);
  return ran && failures == 0 ? 0 : 1;
}

// Our engine's first open of a table of the scale's bulk rows.
int TimeFirstOpen(const TOptions& options) {
  constexpr const char* Table = "JOBS";
  const TBenchSizes sizes = TBenchSizes::Scaled(options.Scale);
  std::filesystem::create_directories(options.OpenTimeFolder);
  const bool made = !std::filesystem::exists(options.OpenTimeFolder + "/" + Table + ".DAT");
  if (made) {
    const std::unique_ptr<TStorageEngine> maker = MakeEngine("ours", options.OpenTimeFolder);
    maker->Create(Table);
    maker->Open(Table, true);
    for (int32_t n = 1; n <= sizes.BulkRows; ++n) maker->Append(GenerateJob(n, sizes.BulkRows));
    maker->Close();
  }
  const std::unique_ptr<TStorageEngine> engine = MakeEngine("ours", options.OpenTimeFolder);
  auto timedOpen = [&engine](bool forget) {
    if (forget) engine->ForgetEarlierOpens();
    TStopwatch watch;
    watch.Start();
    engine->Open(Table, false);
    watch.Stop();
    engine->Close();
    return watch.Seconds();
  };
  const double checked = timedOpen(true);
  const double kept = timedOpen(false);
  std::printf("first open of %s (%lld bytes)%s: %.3f s with the index check, %.2f ms with its finding kept\n",
              Table, static_cast<long long>(engine->TableBytes(Table)), made ? ", made by this process" : "", checked,
              kept * 1000.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--scale S] [--keep] | --open-time FOLDER [--scale S]\n", argv[0]);
    return 2;
  }
  try {
    if (!options.OpenTimeFolder.empty()) return TimeFirstOpen(options);
    return options.Role.empty() ? RunBenchmark(options) : RunRole(options);
  } catch (const EEngineError& error) {
    std::fprintf(stderr, "engine error %u: %s\n", unsigned(error.ErrorCode), error.Message.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  return 1;
}
