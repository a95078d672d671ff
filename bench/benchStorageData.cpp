#include "benchStorageData.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "rtlDateTime.h"

namespace {

constexpr uint64_t Seed = 0x5EED2026ull;
constexpr int FirstYear = 2024;
constexpr int32_t DaysCovered = 1096;  // three years from 1 January 2024

constexpr std::array<const char*, 16> Syllables = {"an", "bel", "cor", "da", "el", "fin", "gar", "hol",
                                                   "is", "jo", "ka", "lin", "mo", "nor", "pe", "ru"};
constexpr std::array<const char*, 12> Words = {"quarterly", "report", "invoice", "draft",  "minutes", "plan",
                                               "budget",    "letter", "slides",  "review", "contract", "notes"};

std::string Capitalized(TSplitMix& random, int syllables) {
  std::string text;
  for (int i = 0; i < syllables; ++i) text += Syllables[random.Below(Syllables.size())];
  text[0] = char(text[0] - 'a' + 'A');
  return text;
}

// Mixed case on purpose: the indexes compare without case.
std::vector<std::string> MakeNames(int count, uint64_t salt, const std::string& prefix, int syllables) {
  std::vector<std::string> names;
  TSplitMix random(Seed ^ salt);
  for (int i = 0; i < count; ++i)
    names.push_back(prefix + Capitalized(random, syllables) + "." + Capitalized(random, syllables) +
                    std::to_string(i));
  return names;
}

const std::vector<std::string>& Owners() {
  static const std::vector<std::string> names = MakeNames(OwnerCount, 1, "", 2);
  return names;
}
const std::vector<std::string>& Printers() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    TSplitMix random(Seed ^ 2);
    for (int i = 0; i < PrinterCount; ++i)
      list.push_back("\\\\PrintSrv" + std::to_string(i % 3 + 1) + "\\" + Capitalized(random, 3) + " Laser Floor " +
                     std::to_string(i / 10 + 1) + " Room " + std::to_string(100 + i));
    return list;
  }();
  return names;
}
const std::vector<std::string>& Machines() {
  static const std::vector<std::string> names = MakeNames(MachineCount, 3, "\\\\", 1);
  return names;
}

}  // namespace

uint64_t TSplitMix::Next() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int32_t FirstDayOf(int year, int month) { return int32_t(EncodeDate(year, month, 1)) + DayNumberOf18991230; }

int32_t LastDayOf(int year, int month) {
  return month == 12 ? FirstDayOf(year + 1, 1) - 1 : FirstDayOf(year, month + 1) - 1;
}

std::string DateText(int32_t dayNumber) {
  int year = 0;
  int month = 0;
  int day = 0;
  DecodeDate(TDateTime(dayNumber - DayNumberOf18991230), year, month, day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

const std::string& OwnerName(int index) { return Owners()[size_t(index % OwnerCount)]; }

TJobRow GenerateJob(int32_t n, int32_t total) {
  TSplitMix random(Seed ^ (uint64_t(n) * 0x100000001B3ull));
  TJobRow row;
  row.RecRef = n;
  const int64_t spread = int64_t(n - 1) * DaysCovered;
  row.JobDate = FirstDayOf(FirstYear, 1) + int32_t(spread / total);
  row.JobTime = int32_t((spread % total) * 86400000 / total);
  row.JobID = n;
  row.MachineName = Machines()[random.Below(MachineCount)];
  row.PrinterName = Printers()[random.Below(PrinterCount)];
  row.JobOwner = Owners()[random.Below(OwnerCount)];
  row.PagesPrinted = int32_t(1 + random.Below(8) * random.Below(8));
  row.TotalPages = row.PagesPrinted + int32_t(random.Below(3));
  row.BytesPrinted = row.PagesPrinted * int32_t(20000 + random.Below(80000));
  row.JobSize = row.BytesPrinted + int32_t(random.Below(4096));
  row.Document = GenerateDocument(n, int32_t(30 + random.Below(71)));
  row.JobStatus = random.Below(10) == 0 ? 0x100 : StatusPrinted;
  row.JobPrinted = (row.JobStatus & StatusPrinted) != 0;
  return row;
}

std::string GenerateDocument(int32_t n, int32_t size) {
  TSplitMix random(Seed ^ (uint64_t(n) << 20) ^ uint64_t(size));
  std::string text = "Doc " + std::to_string(n);
  while (int32_t(text.size()) < size) {
    text += ' ';
    text += Words[random.Below(Words.size())];
  }
  text.resize(size_t(size));
  return text;
}

std::string ChangedOwner(int32_t n) {
  TSplitMix random(Seed ^ 4 ^ uint64_t(n));
  return Owners()[random.Below(OwnerCount)];
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

uint64_t BytesHash(const void* data, size_t size, uint64_t seed) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t hash = seed;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

uint64_t RowHash(const TJobRow& row) {
  uint64_t hash = BytesHash(&row.JobID, sizeof row.JobID);
  hash = BytesHash(row.JobOwner.data(), row.JobOwner.size(), hash);
  return BytesHash(&row.PagesPrinted, sizeof row.PagesPrinted, hash);
}
