#pragma once
// The tables of the benchmarks, defined field by field and index by index.

#include <cstdint>
#include <string>
#include <vector>

class TDataDirectory;

struct TBenchField {
  const char* Name;
  uint8_t Type;
  uint8_t Subtype = 0;
  uint8_t Size = 0;
  bool Required = false;
};

struct TBenchIndex {
  const char* Name;  // empty for the primary index, which comes first
  std::vector<uint16_t> Fields;
  bool Unique = true;
  bool CaseInsensitive = false;
  uint8_t Compression = 0;
};

// Creates the table in the directory, overwriting one of that name.
void CreateBenchTable(TDataDirectory* directory, const std::string& name, const std::vector<TBenchField>& fields,
                      const std::vector<TBenchIndex>& indexes, uint32_t blobBlockSize = 512,
                      const std::string& description = {});
