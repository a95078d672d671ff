// Damaged tables and hostile filter texts, tried in a second process with a
// time limit: a table mutated many ways either is refused at its first open
// with an engine error, or, after the repair that open runs, walks whole in
// every order both ways, twice (opened shared or exclusive, with writes
// after the open or without); a filter text is accepted or refused, never
// a crash or a hang. The helper's engine keeps its assertions on in every
// build, so damage that reaches one ends its case as a failure. Each case
// comes from its own seed, named when it fails; ENG_FUZZ_SEED=<seed> runs
// that case alone.

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursorWriteTestSupport.h"
#include "engExpCodes.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engIndexPage.h"
#include "engLittleEndian.h"
#include "osHelperProcess.h"

namespace {

constexpr uint32_t TableCases = 800;
constexpr uint32_t FilterCases = 1500;
constexpr uint32_t FirstTableSeed = 1000;
constexpr uint32_t FirstFilterSeed = 50000;
constexpr int RowCount = 240;
// Generous for sanitizer builds; a sound case takes a fraction of it.
constexpr int CaseTimeLimitMs = 30000;

using TBytes = std::vector<uint8_t>;
using TRandom = std::mt19937;

uint32_t Below(TRandom& random, uint32_t n) { return n == 0 ? 0 : uint32_t(random() % n); }

TBytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The seeds of a run: count of them from first, or the one ENG_FUZZ_SEED
// names when it lies in this run's domain (from first up to next).
std::vector<uint32_t> Seeds(uint32_t first, uint32_t count, uint32_t next) {
  std::vector<uint32_t> seeds;
  if (const char* alone = std::getenv("ENG_FUZZ_SEED")) {
    const uint32_t seed = uint32_t(std::strtoul(alone, nullptr, 10));
    if (seed >= first && seed < next) seeds.push_back(seed);
    return seeds;
  }
  for (uint32_t seed = first; seed < first + count; ++seed) seeds.push_back(seed);
  return seeds;
}

// A field of an index descriptor (the four indexes and "Sys Deleted")
// overwritten with a small number or a page offset.
std::string OverwriteDescriptor(TBytes& bytes, TRandom& random) {
  static const int slots[] = {0, 1, 2, 3, IndexSlotCount - 1};
  static const int fields[] = {IdxDescKeyLength,   IdxDescDescending,     IdxDescUnique, IdxDescCompression,
                               IdxDescFieldCount,  IdxDescFieldNumbers,   IdxDescRoot,   IdxDescFirstFree,
                               IdxDescFieldDescending};
  const int slot = slots[Below(random, 5)];
  const int field = fields[Below(random, 9)];
  const uint32_t pages = uint32_t(bytes.size() / IndexPageSize);
  const uint32_t value = Below(random, 2) ? Below(random, 40) : IndexPageSize * (1 + Below(random, pages));
  const size_t at = HdrSlots + size_t(slot) * IndexDescSize + size_t(field);
  const int width = field == IdxDescRoot || field == IdxDescFirstFree ? 4 : field == IdxDescKeyLength ? 2 : 1;
  for (int i = 0; i < width && at + i < bytes.size(); ++i) bytes[at + i] = uint8_t(value >> (8 * i));
  return "slot " + std::to_string(slot) + " field " + std::to_string(field) + " set to " + std::to_string(value);
}

// One file of the table, damaged one way; what says how, for the message.
std::string Mutate(TBytes& bytes, uint32_t unit, TRandom& random) {
  if (bytes.empty()) return "empty file";
  const size_t size = bytes.size();
  const uint32_t units = uint32_t(size / unit);
  const bool indexFile = unit == IndexPageSize && size > IndexPageSize;
  switch (Below(random, indexFile ? 7 : 6)) {
    case 6:
      return OverwriteDescriptor(bytes, random);
    case 0: {
      const int flips = 1 + int(Below(random, 8));
      for (int i = 0; i < flips; ++i) bytes[Below(random, uint32_t(size))] ^= uint8_t(1u << Below(random, 8));
      return std::to_string(flips) + " bit flips";
    }
    case 1: {
      const size_t length = Below(random, uint32_t(size));
      bytes.resize(length);
      return "truncated to " + std::to_string(length);
    }
    case 2: {
      const size_t at = Below(random, uint32_t(size));
      const size_t length = std::min<size_t>(size - at, 1 + Below(random, 2 * unit));
      std::fill_n(bytes.begin() + long(at), length, 0);
      return "zeroed " + std::to_string(length) + " at " + std::to_string(at);
    }
    case 3: {
      if (units < 3) return "nothing to swap";
      const uint32_t a = 1 + Below(random, units - 1), b = 1 + Below(random, units - 1);
      std::swap_ranges(bytes.begin() + long(a) * unit, bytes.begin() + long(a + 1) * unit,
                       bytes.begin() + long(b) * unit);
      return "swapped units " + std::to_string(a) + " and " + std::to_string(b);
    }
    case 4: {
      // A page or header field: counts at 1, links at 3 and 7, used bytes at 11.
      static const uint32_t fieldOffsets[] = {1, 3, 7, 9, 11, 13};
      static const uint32_t hugeValues[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFF, 0x10000, 4096 * 100000u};
      const uint32_t at = Below(random, units) * unit + fieldOffsets[Below(random, 6)];
      const uint32_t value = hugeValues[Below(random, 6)];
      for (int i = 0; i < 4 && at + i < size; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
      return "value " + std::to_string(value) + " at " + std::to_string(at);
    }
    default: {
      const uint32_t at = Below(random, uint32_t(std::min<size_t>(size, 4096)));
      const uint32_t value = uint32_t(random());
      for (int i = 0; i < 4 && at + i < size; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
      return "header word " + std::to_string(value) + " at " + std::to_string(at);
    }
  }
}

// ---- filter texts --------------------------------------------------------

class TFilterTexts {
public:
  explicit TFilterTexts(uint32_t seed) : random(seed) {}

  std::string Make() {
    std::string text = Condition(0);
    if (Below(random, 3) == 0) Damage(text);
    return text;
  }

private:
  TRandom random;

  std::string StringConstant() {
    switch (Below(random, 4)) {
      case 0:
        return "'" + std::string(Below(random, 300), char('a' + Below(random, 26))) + "'";
      case 1:
        return "'x''y%'";
      case 2:
        return "''";
      default:
        return "'N" + std::to_string(Below(random, 1000)) + "'";
    }
  }
  std::string Text(int depth) {
    if (depth > 6) return Below(random, 2) ? "NOTES" : StringConstant();
    switch (Below(random, 10)) {
      case 0:
        return "NAME";
      case 1:
        return "NOTES";
      case 2:
        return Text(depth + 1) + " || " + Text(depth + 1);
      case 3:
        return (Below(random, 2) ? "UPPER(" : "LOWER(") + Text(depth + 1) + ")";
      case 4:
        return "SUBSTRING(" + Text(depth + 1) + " FROM " + std::to_string(1 + Below(random, 600)) +
               (Below(random, 2) ? " FOR " + std::to_string(1 + Below(random, 600)) : "") + ")";
      case 5:
        return "REPLACE(" + StringConstant() + " WITH " + StringConstant() + " IN " + Text(depth + 1) + ")";
      case 6:
        return "TRIM(BOTH 'x' FROM " + Text(depth + 1) + ")";
      case 7:
        return "CAST(" + Number(depth + 1) + " AS CHAR(" + std::to_string(1 + Below(random, 250)) + "))";
      case 8:
        return "IF(" + Condition(depth + 1) + " THEN " + Text(depth + 1) + " ELSE " + Text(depth + 1) + ")";
      default:
        return StringConstant();
    }
  }
  std::string Number(int depth) {
    if (depth > 6) return "ID";
    static const char* const constants[] = {"0", "1", "-1", "2147483647", "1e308", "0.5", "99999999999"};
    switch (Below(random, 6)) {
      case 0:
        return "ID";
      case 1:
        return "GRP";
      case 2:
        return Number(depth + 1) + (Below(random, 2) ? " * " : " / ") + Number(depth + 1);
      case 3:
        return "POS('x' IN " + Text(depth + 1) + ")";
      case 4:
        return "ABS(" + Number(depth + 1) + ")";
      default:
        return constants[Below(random, 7)];
    }
  }
  std::string Condition(int depth) {
    if (depth > 6) return "ID > " + std::to_string(Below(random, RowCount));
    switch (Below(random, 8)) {
      case 0:
        return Condition(depth + 1) + (Below(random, 2) ? " AND " : " OR ") + Condition(depth + 1);
      case 1:
        return "NOT (" + Condition(depth + 1) + ")";
      case 2:
        return Text(depth + 1) + " LIKE " + StringConstant();
      case 3:
        return Number(depth + 1) + " BETWEEN " + Number(depth + 1) + " AND " + Number(depth + 1);
      case 4:
        return Text(depth + 1) + " IS NULL";
      case 5: {
        const int nesting = int(Below(random, 400));
        return std::string(size_t(nesting), '(') + Condition(depth + 1) + std::string(size_t(nesting), ')');
      }
      case 6:
        return Number(depth + 1) + " IN (1, 2, " + Number(depth + 1) + ")";
      default:
        return Text(depth + 1) + (Below(random, 2) ? " = " : " < ") + Text(depth + 1);
    }
  }
  void Damage(std::string& text) {
    static const char pieces[] = "()'\"|*%#[]., ";
    for (int edits = 1 + int(Below(random, 4)); edits > 0 && !text.empty(); --edits) {
      const size_t at = Below(random, uint32_t(text.size()));
      switch (Below(random, 3)) {
        case 0:
          text.erase(at, 1 + Below(random, 8));
          break;
        case 1:
          text.insert(at, 1, pieces[Below(random, sizeof pieces - 1)]);
          break;
        default:
          text.insert(at, text.substr(at, Below(random, 40)));
          break;
      }
    }
  }
};

std::string Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

// ---- the fixture ---------------------------------------------------------

class DamageFuzzTest : public CursorWriteTest {
protected:
  std::unique_ptr<THelperProcess> helper;

  void StartHelper() { helper = std::make_unique<THelperProcess>(ENG_TABLE_HELPER, CaseTimeLimitMs); }

  // ID, NAME string(20), GRP, NOTES memo, PHOTO BLOB; the primary index,
  // a unique compressed "ByName", a descending "ByGrpName" on two fields
  // and a plain "ByGrp"; memos from empty to several blocks long.
  void CreateRows(const std::string& table) {
    Create(table,
           {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}, {"NOTES", BlobFieldType, 0, stMemo},
            {"PHOTO", BlobFieldType}},
           {{"", {1}}, {"ByName", {2}, true, false, true}, {"ByGrpName", {3, 2}, false, true}, {"ByGrp", {3}, false}});
    TDataCursor& cursor = OpenCursor(table);
    for (int32_t id = 1; id <= RowCount; ++id) {
      const std::string name = "N" + std::to_string(id * 7919 % 1000) + "-" + std::to_string(id);
      const int32_t group = id % 7;
      std::vector<uint8_t> record = Record(cursor, {&id, name.c_str(), &group});
      const std::string notes(size_t(id * 37 % 1500), char('a' + id % 26));
      if (!notes.empty()) {
        ASSERT_EQ(cursor.Blobs().OpenBlob(4, record.data(), {.Release = true}), 0);
        ASSERT_EQ(cursor.Blobs().WriteBlob(4, record.data(), TFieldNumbering::Cursor,
                                           {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()}, 0),
                  0);
      }
      cursor.InsertRecord(record.data());
    }
    for (int32_t id = 3; id <= RowCount; id += 11) {
      ASSERT_TRUE(Find(cursor, id));
      cursor.DeleteRecord(Current(cursor).data());
    }
    cursors.clear();
  }

  // The helper's answer, or what went wrong with it; a helper that died or
  // hung is replaced for the next case.
  std::string Ask(const std::string& command) {
    try {
      return helper->AskLine(command);
    } catch (const std::exception& error) {
      helper->Kill();
      StartHelper();
      return error.what();
    }
  }
};

TEST_F(DamageFuzzTest, DamagedTablesAreRefusedOrRepairedWhole) {
  CreateRows("ROWS");
  const std::string kinds[] = {"IDX", "DAT", "BLB"};
  std::vector<TBytes> pristine;
  for (const std::string& kind : kinds) pristine.push_back(ReadFile(PathOf("ROWS." + kind)));
  const std::string caseFolder = folder + "/case";
  std::filesystem::create_directory(caseFolder);
  StartHelper();

  for (uint32_t seed : Seeds(FirstTableSeed, TableCases, FirstFilterSeed)) {
    TRandom random(seed);
    // Mostly the index file, whose damage the repair mends.
    const uint32_t pick = Below(random, 10);
    const size_t file = pick < 6 ? 0 : pick < 9 ? 1 : 2;
    TBytes damaged = pristine[file];
    const uint32_t unit = file == 0 ? IndexPageSize : file == 1 ? 64 : 512;
    const std::string how = Mutate(damaged, unit, random);
    for (size_t i = 0; i < 3; ++i)
      WriteFile(caseFolder + "/ROWS." + kinds[i], i == file ? damaged : pristine[i]);
    // Shared and exclusive opens, each with or without writes after it.
    const uint32_t use = Below(random, 4);
    const std::string mode = std::string(use % 2 ? " exclusive" : " shared") + (use / 2 ? " write" : "");
    const std::string answer = Ask("check " + caseFolder + " ROWS" + mode);
    const bool refused = !answer.empty() && answer != "0" && std::isdigit(static_cast<unsigned char>(answer[0]));
    EXPECT_TRUE(answer == "0" || refused)
        << "seed " << seed << ": ROWS." << kinds[file] << " " << how << mode << ": " << answer;
  }
}

// Damage the seeds once met where the engine's own checks stood, in the
// helper whose engine keeps them on: a descriptor flag byte other than 1
// (read as set by every reader, so a page set up from it matches its slot),
// and bytes after a branch's entries, which a write of the branch's counts
// alone would have kept beside a page that packs to zeros there. Each is
// mended or refused, never an abort, with and without writes.
TEST_F(DamageFuzzTest, KnownIndexDamageIsMendedOrRefused) {
  CreateRows("ROWS");
  const TBytes pristine = ReadFile(PathOf("ROWS.IDX"));
  const auto slotField = [](int slot, int field) { return size_t(HdrSlots + slot * IndexDescSize + field); };
  std::vector<std::pair<std::string, TBytes>> damaged;
  for (const auto& [slot, field, value] : {std::tuple{1, IdxDescUnique, 12}, std::tuple{3, IdxDescDescending, 9},
                                           std::tuple{0, IdxDescDescending, 25}}) {
    TBytes bytes = pristine;
    bytes[slotField(slot, field)] = uint8_t(value);
    damaged.emplace_back("slot " + std::to_string(slot) + " field " + std::to_string(field), bytes);
  }
  for (int slot = 0; slot <= 3; ++slot) {
    const uint32_t root = GetLE32(pristine.data() + slotField(slot, IdxDescRoot));
    if (root == 0 || pristine[root] != ptRootBranch) continue;
    TBytes bytes = pristine;
    bytes[root + IndexPageSize - 1] = 0x5A;
    damaged.emplace_back("a byte after the entries of the root branch of slot " + std::to_string(slot), bytes);
  }
  ASSERT_GT(damaged.size(), 3u);  // a branch was found
  const std::string caseFolder = folder + "/case";
  std::filesystem::create_directory(caseFolder);
  StartHelper();
  for (const auto& [how, bytes] : damaged)
    for (const char* mode : {" shared", " exclusive", " shared write", " exclusive write"}) {
      for (const std::string kind : {"DAT", "BLB"})
        std::filesystem::copy_file(PathOf("ROWS." + kind), caseFolder + "/ROWS." + kind,
                                   std::filesystem::copy_options::overwrite_existing);
      WriteFile(caseFolder + "/ROWS.IDX", bytes);
      EXPECT_EQ(Ask("check " + caseFolder + " ROWS" + mode), "0") << how << mode;
    }
}

TEST_F(DamageFuzzTest, HostileFilterTextsAreAcceptedOrRefused) {
  CreateRows("ROWS");
  StartHelper();
  for (uint32_t seed : Seeds(FirstFilterSeed, FilterCases, UINT32_MAX)) {
    const std::string text = TFilterTexts(seed).Make();
    const std::string answer = Ask("filter " + folder + " ROWS " + Hex(text));
    const bool answered = !answer.empty() && std::isdigit(static_cast<unsigned char>(answer[0]));
    EXPECT_TRUE(answered) << "seed " << seed << ": filter " << text << ": " << answer;
  }
}

}  // namespace
