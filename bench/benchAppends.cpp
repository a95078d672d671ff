// Appends rows through a shared cursor to a table with a primary and four
// secondary indexes, then reads them back by each index; prints rows per
// second. Usage: bench_appends [rows] (100000 by default).

#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "benchTableDefinition.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engLittleEndian.h"
#include "engSession.h"
#include "engTableCursor.h"

namespace {

constexpr uint8_t StringType = 1;
constexpr uint8_t IntegerType = 6;

// ID, then one field for each secondary index.
const std::vector<TBenchField> Fields = {
    {"ID", IntegerType}, {"NAME", StringType, 0, 20}, {"PRINTER", StringType, 0, 30},
    {"PAGES", IntegerType}, {"OWNER", StringType, 0, 20},
};
const std::vector<TBenchIndex> Indexes = {
    {"", {1}, true}, {"ByName", {2}, true}, {"ByPrinter", {3}, false}, {"ByPages", {4}, false}, {"ByOwner", {5}, false},
};

// Keys in no particular order, so that every index splits pages all over.
void FillRow(TTableCursor& cursor, std::vector<uint8_t>& record, int32_t n) {
  std::memset(record.data(), 0, record.size());
  const int32_t id = int32_t((uint64_t(n) * 7919) % 1000003);
  const std::string name = "JOB" + std::to_string(id);
  const std::string printer = "\\\\HOST\\queue" + std::to_string(id % 37);
  const int32_t pages = id % 500;
  const std::string owner = "user" + std::to_string(id % 211);
  cursor.Fields().WriteField(1, record.data(), id);
  cursor.Fields().WriteField(2, record.data(), name);
  cursor.Fields().WriteField(3, record.data(), printer);
  cursor.Fields().WriteField(4, record.data(), pages);
  cursor.Fields().WriteField(5, record.data(), owner);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* what, int64_t rows, double seconds) {
  std::printf("%-26s %8lld rows %8.2f s %10.0f rows/s\n", what, static_cast<long long>(rows), seconds,
              seconds > 0 ? double(rows) / seconds : 0.0);
}

int Run(const std::string& folder, int32_t rows) {
  TDataDirectory* directory = GetEngineSession()->OpenDirectory("", folder);
  CreateBenchTable(directory, "JOBS", Fields, Indexes);
  const std::unique_ptr<TTableCursor> owned = NewTableCursor(directory);
  TTableCursor& cursor = *owned;
  cursor.SetOpenOptions({.TableName = "JOBS"});
  cursor.Open();
  std::vector<uint8_t> record(cursor.Fields().CursorRecordSize());

  auto start = std::chrono::steady_clock::now();
  for (int32_t n = 1; n <= rows; ++n) {
    FillRow(cursor, record, n);
    cursor.InsertRecord(record.data());
  }
  Report("append (shared cursor)", rows, SecondsSince(start));

  int failures = 0;
  for (const TBenchIndex& index : Indexes) {
    cursor.SetIndexName(index.Name);
    start = std::chrono::steady_clock::now();
    int64_t read = 0;
    cursor.SetToBegin();
    while (cursor.GetNextRecord(record.data()) == 0) ++read;
    const std::string what = std::string("read by ") + (*index.Name ? index.Name : "primary");
    Report(what.c_str(), read, SecondsSince(start));
    if (read != rows) ++failures;
  }
  cursor.Close(TTemporaryContents::Discard);
  if (failures) std::fprintf(stderr, "an index did not give back every row\n");
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  char pattern[] = "/tmp/benchAppendsXXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("mkdtemp");
    return 1;
  }
  int result = 1;
  StartEngine();
  try {
    result = Run(pattern, rows);
  } catch (const EEngineError& error) {
    std::fprintf(stderr, "engine error %u: %s\n", unsigned(error.ErrorCode), error.Message.c_str());
  }
  StopEngine();
  std::filesystem::remove_all(pattern);
  return result;
}
