#pragma once
// The jobs-shaped rows both engines store: generated from a fixed seed as a
// pure function of the row number, so any process can rebuild row n and
// check what it read.

#include <cstdint>
#include <string>

struct TJobRow {
  int32_t RecRef = 0;
  int32_t JobDate = 0;  // day number: 1 January 0001 is day 1
  int32_t JobTime = 0;  // milliseconds since midnight
  int32_t JobID = 0;
  std::string MachineName;
  std::string PrinterName;
  std::string JobOwner;
  int32_t PagesPrinted = 0;
  int32_t TotalPages = 0;
  int32_t BytesPrinted = 0;
  int32_t JobSize = 0;
  std::string Document;
  int32_t JobStatus = 0;
  bool JobPrinted = false;
};

inline constexpr int OwnerCount = 200;
inline constexpr int PrinterCount = 50;
inline constexpr int MachineCount = 300;
inline constexpr int32_t StatusPrinted = 0x80;
// The day number of the date-time origin, 30 December 1899.
inline constexpr int32_t DayNumberOf18991230 = 693594;

// Row n (from 1) of a table of total rows: dates rise with n over three
// years, as jobs arrive; the rest is drawn from the seed and n.
TJobRow GenerateJob(int32_t n, int32_t total);
// A memo of exactly size bytes of text that differs with n.
std::string GenerateDocument(int32_t n, int32_t size);
// The owner an update gives row n, another of the owners.
std::string ChangedOwner(int32_t n);
const std::string& OwnerName(int index);
// Day numbers of the first and last day of a month.
int32_t FirstDayOf(int year, int month);
int32_t LastDayOf(int year, int month);
// A day number in language 0's short date format, which filter and SQL
// texts take.
std::string DateText(int32_t dayNumber);
std::string AsciiLower(std::string text);

// The checksum of one row read back: job id, owner and pages.
uint64_t RowHash(const TJobRow& row);
uint64_t BytesHash(const void* data, size_t size, uint64_t seed = 14695981039346656037ull);

// A small, fully specified generator, so that every build draws the same.
class TSplitMix {
public:
  explicit TSplitMix(uint64_t seed) : state(seed) {}
  uint64_t Next();
  // Uniform in [0, bound).
  uint32_t Below(uint32_t bound) { return uint32_t((Next() >> 32) * bound >> 32); }

private:
  uint64_t state;
};
