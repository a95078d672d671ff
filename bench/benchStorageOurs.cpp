// The workloads' operations over our engine: a cursor on the jobs table,
// shared, or exclusive for a batch. Field values are read through the
// cursor's field definitions by position, as a dataset layer caching them
// would.

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "benchStorageEngine.h"
#include "benchTableDefinition.h"
#include "engBlobBuffer.h"
#include "engCheckedTables.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engFieldTypes.h"
#include "engLittleEndian.h"
#include "engSession.h"
#include "engTableCursor.h"

namespace {

using namespace EngineFieldTypes;

enum : int {
  fRecRef = 1, fJobDate, fJobTime, fJobID, fMachineName, fPrinterName, fJobOwner, fPagesPrinted,
  fTotalPages, fBytesPrinted, fJobSize, fDocument, fJobStatus, fJobPrinted
};

constexpr uint8_t MemoSubtype = 22;
const std::vector<TBenchField> JobFields = {
    {"_RecRef", ftInteger, stAutoInc, 0, true}, {"JobDate", ftDate, 0, 0, true},
    {"JobTime", ftTime, 0, 0, true},                  {"JobID", ftInteger, 0, 0, true},
    {"MachineName", ftString, 0, 40, false},          {"PrinterName", ftString, 0, 250, false},
    {"JobOwner", ftString, 0, 40, false},             {"PagesPrinted", ftInteger, 0, 0, false},
    {"TotalPages", ftInteger, 0, 0, false},           {"BytesPrinted", ftInteger, 0, 0, false},
    {"JobSize", ftInteger, 0, 0, false},              {"Document", ftBlob, MemoSubtype, 0, false},
    {"JobStatus", ftInteger, 0, 0, false},            {"JobPrinted", ftBoolean, 0, 0, false},
};

// The jobs table's indexes: case-insensitive, fully compressed.
struct TIndexDef {
  TJobOrder Order;
  TBenchIndex Index;
};
const TIndexDef JobIndexes[] = {
    {TJobOrder::Primary, {"", {fRecRef}, true, true, kcFull}},
    {TJobOrder::ByDate, {"ByDate", {fJobDate, fJobTime, fJobID}, false, true, kcFull}},
    {TJobOrder::ByOwner, {"ByOwner", {fJobOwner, fJobDate, fJobTime, fJobID, fPrinterName}, true, true, kcFull}},
    {TJobOrder::ByPrinter, {"ByPrinter", {fPrinterName, fJobDate, fJobTime, fJobID, fJobOwner}, true, true, kcFull}},
    {TJobOrder::ByComputer,
     {"ByComputer", {fMachineName, fJobDate, fJobTime, fJobID, fJobOwner, fPrinterName}, true, true, kcFull}},
};
// The jobs table's BLOB block size.
constexpr uint32_t JobsBlobBlockSize = 64;

const TIndexDef& IndexOf(TJobOrder order) {
  for (const TIndexDef& index : JobIndexes)
    if (index.Order == order) return index;
  throw std::logic_error("no such index");
}

class TOurEngine : public TStorageEngine {
public:
  // The findings of first opens are kept beside the tables, not in the
  // user's cache folder, and go with the benchmark's files.
  explicit TOurEngine(const std::string& folder) : checkedTables(folder + "/checked-tables") {
    StartEngine();
    directory = GetEngineSession()->OpenDirectory("", folder);
    TCheckedTablesSettings settings;
    settings.Folder = checkedTables;
    SetCheckedTablesSettings(settings);
  }
  ~TOurEngine() override {
    Close();
    StopEngine();
  }

  void Create(const std::string& table) override {
    std::vector<TBenchIndex> indexes;
    for (const TIndexDef& def : JobIndexes) indexes.push_back(def.Index);
    CreateBenchTable(directory, table, JobFields, indexes, JobsBlobBlockSize, "Printer Jobs Table");
  }

  void Open(const std::string& table, bool batch) override {
    Close();
    cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = table, .Exclusive = batch});
    cursor->Open();
    // A cursor opens on the primary index, whatever order the last one had.
    currentOrder = TJobOrder::Primary;
    record.assign(cursor->Fields().CursorRecordSize(), 0);
  }
  void Close() override {
    if (cursor) cursor->Close(TTemporaryContents::Discard);
    cursor.reset();
  }
  // An exclusive table is the batch.
  void BeginBatch() override {}
  void EndBatch() override {}
  // Without it a cursor notices other users' changes only when it reads
  // from disk or locks a record, and cached pages hide new rows.
  void WatchOtherWriters() override { GetEngineSession()->StrictChangeDetection = true; }
  void ForgetEarlierOpens() override { std::filesystem::remove_all(checkedTables); }

  void Append(const TJobRow& row) override {
    Fill(row);
    if (cursor->Blobs().OpenBlob(fDocument, record.data(), {.Release = true}) != 0 ||
        cursor->Blobs().WriteBlob(fDocument, record.data(), TFieldNumbering::Cursor,
                                  {reinterpret_cast<const uint8_t*>(row.Document.data()), row.Document.size()}, 0) != 0)
      throw std::runtime_error("memo not written");
    cursor->InsertRecord(record.data());
  }

  bool Find(TJobOrder index, const TJobRow& key, TJobRow& found) override {
    if (!FindByKey(index, key)) return false;
    Read(record.data(), found, false);
    return true;
  }

  void Scan(TJobOrder order, bool withDocument, const TRowVisitor& visit) override {
    SelectOrder(order);
    cursor->SetToBegin();
    TJobRow row;
    while (cursor->GetNextRecord(record.data()) == 0) {
      Read(record.data(), row, withDocument);
      visit(row);
    }
  }

  void ReadNewest(int count, std::vector<TJobRow>& rows) override {
    rows.clear();
    SelectOrder(TJobOrder::Primary);
    // One read lock over the whole set: the rows are one consistent state,
    // as SQLite's single statement gives, and the change check runs once.
    cursor->BeginRead();
    try {
      cursor->SetToEnd();
      TJobRow row;
      while (int(rows.size()) < count && cursor->GetPriorRecord(record.data()) == 0) {
        Read(record.data(), row, false);
        rows.push_back(row);
      }
    } catch (...) {
      cursor->EndRead();
      throw;
    }
    cursor->EndRead();
  }

  bool CountDates(int32_t firstDay, int32_t lastDay, int64_t& count) override {
    count = CountVisible("JobDate >= '" + DateText(firstDay) + "' AND JobDate <= '" + DateText(lastDay) + "'");
    return true;
  }
  bool CountNotPrinted(int64_t& count) override {
    count = CountVisible("JobPrinted = FALSE");
    return true;
  }

  bool ChangeOwner(int32_t recRef, const std::string& owner) override {
    if (!FindRecRef(recRef)) return false;
    Put(fJobOwner, owner);
    cursor->ModifyRecord(record.data());
    return true;
  }

  bool Delete(int32_t recRef, TJobRow& deleted) override {
    if (!FindRecRef(recRef)) return false;
    Read(record.data(), deleted, true);
    cursor->DeleteRecord(record.data());
    return true;
  }

  int64_t TableBytes(const std::string& table) override {
    int64_t bytes = 0;
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      const std::filesystem::path path = directory->LocalPath() + table + extension;
      if (std::filesystem::exists(path)) bytes += int64_t(std::filesystem::file_size(path));
    }
    return bytes;
  }

private:
  std::string checkedTables;
  TDataDirectory* directory = nullptr;
  std::unique_ptr<TTableCursor> cursor;
  std::vector<uint8_t> record;
  TJobOrder currentOrder = TJobOrder::Primary;

  void SelectOrder(TJobOrder order) {
    if (order == currentOrder) return;
    if (order == TJobOrder::Natural) cursor->SetIndexNo(NaturalOrderIndex);
    else cursor->SetIndexName(IndexOf(order).Index.Name);
    currentOrder = order;
  }

  // The rows a filter of that text lets through; cost choice lets a wide
  // index range be taken through its complement.
  int64_t CountVisible(const std::string& text) {
    TFilter* filter = cursor->Filters().AddFilter(text, {.CostChoice = true});
    try {
      cursor->Filters().ActivateFilter(filter);
      const int64_t count = cursor->GetRecordCount();
      cursor->Filters().DropFilter(filter);
      return count;
    } catch (...) {
      cursor->Filters().DropFilter(filter);
      throw;
    }
  }

  // The key's fields alone, as SQLite's statement binds only its key's
  // parameters: a look-up needs no other field.
  bool FindByKey(TJobOrder order, const TJobRow& key) {
    const TBenchIndex& def = IndexOf(order).Index;
    SelectOrder(order);
    cursor->Fields().ClearRecord(record.data());
    for (int field : def.Fields) PutField(field, key);
    return cursor->FindKey(record.data(), {.FieldCount = int(def.Fields.size())}, record.data());
  }

  bool FindRecRef(int32_t recRef) {
    TJobRow key;
    key.RecRef = recRef;
    return FindByKey(TJobOrder::Primary, key);
  }

  template <typename T>
  void Put(int field, const T& value) {
    cursor->Fields().WriteField(field, record.data(), value);
  }
  template <typename T>
  void Get(const uint8_t* buffer, int field, T& value) const {
    cursor->Fields().ReadValue(*cursor->Fields().FieldAt(field), buffer,
                               {reinterpret_cast<uint8_t*>(&value), sizeof value});
  }
  int32_t GetInt(const uint8_t* buffer, int field) const {
    int32_t value = 0;
    Get(buffer, field, value);
    return value;
  }
  std::string GetText(const uint8_t* buffer, int field) const {
    char text[256] = {};
    Get(buffer, field, text);
    return text;
  }

  // Every stored field but the row number, which the table assigns.
  void Fill(const TJobRow& row) {
    cursor->Fields().ClearRecord(record.data());
    for (int field : {fJobDate, fJobTime, fJobID, fMachineName, fPrinterName, fJobOwner, fPagesPrinted, fTotalPages,
                      fBytesPrinted, fJobSize, fJobStatus, fJobPrinted})
      PutField(field, row);
  }

  // One field of the row; the memo goes through its BLOB calls instead.
  void PutField(int field, const TJobRow& row) {
    switch (field) {
      case fRecRef: return Put(field, row.RecRef);
      case fJobDate: return Put(field, row.JobDate);
      case fJobTime: return Put(field, row.JobTime);
      case fJobID: return Put(field, row.JobID);
      case fMachineName: return Put(field, row.MachineName);
      case fPrinterName: return Put(field, row.PrinterName);
      case fJobOwner: return Put(field, row.JobOwner);
      case fPagesPrinted: return Put(field, row.PagesPrinted);
      case fTotalPages: return Put(field, row.TotalPages);
      case fBytesPrinted: return Put(field, row.BytesPrinted);
      case fJobSize: return Put(field, row.JobSize);
      case fJobStatus: return Put(field, row.JobStatus);
      case fJobPrinted: {
        const uint16_t printed = row.JobPrinted;
        return Put(field, printed);
      }
    }
    throw std::logic_error("not a field of a row: " + std::to_string(field));
  }

  void Read(uint8_t* buffer, TJobRow& row, bool withDocument) {
    row.RecRef = GetInt(buffer, fRecRef);
    row.JobDate = GetInt(buffer, fJobDate);
    row.JobTime = GetInt(buffer, fJobTime);
    row.JobID = GetInt(buffer, fJobID);
    row.MachineName = GetText(buffer, fMachineName);
    row.PrinterName = GetText(buffer, fPrinterName);
    row.JobOwner = GetText(buffer, fJobOwner);
    row.PagesPrinted = GetInt(buffer, fPagesPrinted);
    row.TotalPages = GetInt(buffer, fTotalPages);
    row.BytesPrinted = GetInt(buffer, fBytesPrinted);
    row.JobSize = GetInt(buffer, fJobSize);
    row.JobStatus = GetInt(buffer, fJobStatus);
    uint16_t printed = 0;
    Get(buffer, fJobPrinted, printed);
    row.JobPrinted = printed != 0;
    // Callers reuse one row from read to read: the memo's string is
    // resized, not cleared, as resizing zeroes only what it grows by and a
    // cleared string would be zeroed in full before every read.
    if (withDocument) ReadDocument(buffer, row.Document);
    else row.Document.clear();
  }

  void ReadDocument(uint8_t* buffer, std::string& text) {
    int32_t size = 0;
    int32_t got = 0;
    if (cursor->Blobs().OpenBlob(fDocument, buffer, {}) != 0 ||
        cursor->Blobs().GetBlobSize(fDocument, buffer, TFieldNumbering::Cursor, size) != 0)
      throw std::runtime_error("memo not opened");
    text.resize(size_t(size));
    const int32_t result = cursor->Blobs().ReadBlob(fDocument, buffer, TFieldNumbering::Cursor, got,
                                                    {reinterpret_cast<uint8_t*>(text.data()), size_t(size)}, 0);
    cursor->Blobs().FreeBlob(fDocument, buffer, TFieldNumbering::Cursor);
    if (result != 0 || got != size) throw std::runtime_error("memo not read");
  }
};

}  // namespace

std::unique_ptr<TStorageEngine> MakeOurEngine(const std::string& folder) {
  return std::make_unique<TOurEngine>(folder);
}
