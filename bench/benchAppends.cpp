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

#include "engCursor.h"
#include "engDataLayout.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engSession.h"

namespace {

constexpr uint8_t StringType = 1;
constexpr uint8_t IntegerType = 6;

struct TFieldDef {
  const char* Name;
  uint8_t Type;
  uint8_t Size;
};
// ID, then one field for each secondary index.
constexpr TFieldDef Fields[] = {
    {"ID", IntegerType, 0}, {"NAME", StringType, 20}, {"PRINTER", StringType, 30},
    {"PAGES", IntegerType, 0}, {"OWNER", StringType, 20},
};
struct TIndexDef {
  const char* Name;
  uint16_t Field;
  bool Unique;
};
constexpr TIndexDef Indexes[] = {
    {"", 1, true}, {"ByName", 2, true}, {"ByPrinter", 3, false}, {"ByPages", 4, false}, {"ByOwner", 5, false},
};

void PutShort(uint8_t* at, const std::string& text) {
  at[0] = uint8_t(text.size());
  std::memcpy(at + 1, text.data(), text.size());
}

void CreateTable(TDataDirectory* directory, const std::string& name) {
  std::vector<uint8_t> fieldDescs(std::size(Fields) * FieldDescSize, 0);
  for (size_t i = 0; i < std::size(Fields); ++i) {
    uint8_t* desc = fieldDescs.data() + i * FieldDescSize;
    PutLE16(desc + FieldDescNumberOffset, uint16_t(i + 1));
    PutShort(desc + FieldDescNameOffset, Fields[i].Name);
    desc[FieldDescTypeOffset] = Fields[i].Type;
    desc[FieldDescDeclaredSizeOffset] = Fields[i].Size;
  }
  std::vector<uint8_t> indexDescs(std::size(Indexes) * IndexDescSize, 0);
  for (size_t i = 0; i < std::size(Indexes); ++i) {
    uint8_t* desc = indexDescs.data() + i * IndexDescSize;
    PutShort(desc + IdxDescName, Indexes[i].Name);
    desc[IdxDescUnique] = Indexes[i].Unique;
    desc[IdxDescFieldCount] = 1;
    PutLE16(desc + IdxDescFieldNumbers, Indexes[i].Field);
  }
  TTableDefinition definition;
  definition.FieldDescs = fieldDescs.data();
  definition.FieldCount = int32_t(std::size(Fields));
  definition.IndexDescs = indexDescs.data();
  definition.IndexCount = int32_t(std::size(Indexes));
  TDataCursor creator(directory);
  creator.SetTableName(name);
  creator.SetExclusive(true);
  creator.CreateTable(definition, false);
}

// Keys in no particular order, so that every index splits pages all over.
void FillRow(TDataCursor& cursor, std::vector<uint8_t>& record, int32_t n) {
  std::memset(record.data(), 0, record.size());
  const int32_t id = int32_t((uint64_t(n) * 7919) % 1000003);
  const std::string name = "JOB" + std::to_string(id);
  const std::string printer = "\\\\HOST\\queue" + std::to_string(id % 37);
  const int32_t pages = id % 500;
  const std::string owner = "user" + std::to_string(id % 211);
  cursor.PutTableField(1, record.data(), &id);
  cursor.PutTableField(2, record.data(), name.c_str());
  cursor.PutTableField(3, record.data(), printer.c_str());
  cursor.PutTableField(4, record.data(), &pages);
  cursor.PutTableField(5, record.data(), owner.c_str());
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
  CreateTable(directory, "JOBS");
  TDataCursor cursor(directory);
  cursor.SetTableName("JOBS");
  cursor.Open();
  std::vector<uint8_t> record(cursor.CursorRecordSize());

  auto start = std::chrono::steady_clock::now();
  for (int32_t n = 1; n <= rows; ++n) {
    FillRow(cursor, record, n);
    cursor.InsertRecord(record.data(), false);
  }
  Report("append (shared cursor)", rows, SecondsSince(start));

  int failures = 0;
  for (const TIndexDef& index : Indexes) {
    cursor.SetIndexName(index.Name);
    start = std::chrono::steady_clock::now();
    int64_t read = 0;
    cursor.SetToBegin();
    while (cursor.GetNextRecord(record.data()) == 0) ++read;
    const std::string what = std::string("read by ") + (*index.Name ? index.Name : "primary");
    Report(what.c_str(), read, SecondsSince(start));
    if (read != rows) ++failures;
  }
  cursor.Close(true);
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
