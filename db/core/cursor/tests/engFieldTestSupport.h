#pragma once
// A cursor's field access over a real data file and index file holding one
// field of every type, with record buffers of exactly the cursor's record
// size so that a stray byte shows under the address sanitizer.

#include <map>
#include <memory>
#include <vector>

#include "engDataTestSupport.h"
#include "engFieldBytes.h"
#include "engFieldDescCodec.h"
#include "engIndexFile.h"

class TTestCursor : public TCursorFields {
public:
  std::map<int32_t, int32_t> OpenBlobs;  // reference -> size
  int Computes = 0;

  // Counts the writes that recompute a cursor's computed fields.
  TTestCursor() { hasComputedFields = true; }

  using TCursorFields::AttachFields;
  using TCursorFields::CopyFieldDescByPos;
  using TCursorFields::DetachFields;
  using TCursorFields::FieldDescAt;
  using TCursorFields::FindFieldDescByNo;
  using TCursorFields::GetBlobFieldCount;
  using TCursorFields::GetBlobRef;
  using TCursorFields::GetField;
  using TCursorFields::GetFieldDesc;
  using TCursorFields::GetFieldNo;
  using TCursorFields::GetFieldValue;
  using TCursorFields::GetIndexDesc;
  using TCursorFields::GetTableField;
  using TCursorFields::GetTableFieldDesc;
  using TCursorFields::HasFieldMap;
  using TCursorFields::HasOwnFieldList;
  using TCursorFields::PutBlobReference;
  using TCursorFields::PutField;
  using TCursorFields::PutFieldValue;
  using TCursorFields::PutTableField;
  using TCursorFields::SetBlobRef;
  using TCursorFields::SetCursorRecordSize;
  using TCursorFields::SetFieldList;
  using TCursorFields::SetOwnFieldList;
  using TCursorFields::StoredFieldBytes;
  // Descriptors as the data file stores them.
  void SetFieldList(const uint8_t* descs, int count, bool isFieldMap) {
    TCursorFields::SetFieldList(FieldDefinitionsFromDescs(descs, count), isFieldMap);
  }

protected:
  std::string FieldsTableName() const override { return "ORDERS.DAT"; }
  bool FindOpenBlobSize(int32_t reference, int32_t& size) const override {
    const auto found = OpenBlobs.find(reference);
    if (found != OpenBlobs.end()) size = found->second;
    return found != OpenBlobs.end();
  }
  void ComputeFields(uint8_t*) override { ++Computes; }
};

class TFieldIndexTable : public TIndexFileTable {
public:
  const TDataFile* Data = nullptr;

  std::string TableName() const override { return "ORDERS.DAT"; }
  bool IsEncrypted() const override { return false; }
  void Encipher(uint8_t*, uint32_t) override {}
  void Decipher(uint8_t*, uint32_t) override {}
  bool HoldsTransactionLock() const override { return false; }
  bool DataChanged() const override { return false; }
  void SetDataChanged() override {}
  bool GetKeyField(uint16_t fieldNo, uint8_t& type, uint8_t& size) const override {
    uint8_t desc[FieldDescSize];
    if (!Data->FindFieldDescByNo(fieldNo, desc)) return false;
    type = desc[FieldDescTypeOffset];
    size = desc[FieldDescStoredSizeOffset];
    return true;
  }
  bool CheckChangesBeforeRead(TReadContext*) override { return false; }
};

// Field numbers of the table.
enum : int {
  fName = 1,  // string(10), as typed
  fUpName,    // string(10), upper case
  fLowName,   // string(10), lower case
  fBorn,
  fPaid,
  fQty,
  fCount,
  fId,  // auto-increment
  fPrice,
  fFee,     // money
  fAmount,  // BCD, scale 2
  fUnits,   // BCD, scale 0
  fRaw,     // bytes(6)
  fAt,
  fStamp,
  fFlags,
  fNotes,  // BLOB, last so that its reference ends the record
  FieldTotal = fNotes
};

inline std::vector<uint8_t> AllTypeFields() {
  std::vector<uint8_t> descs =
      Descriptors({{"NAME", 1, 10}, {"UPNAME", 1, 10}, {"LOWNAME", 1, 10}, {"BORN", 2}, {"PAID", 4}, {"QTY", 5},
                   {"COUNT", 6}, {"ID", 6, 0, 29}, {"PRICE", 7}, {"FEE", 7, 0, 21}, {"AMOUNT", 8}, {"UNITS", 8},
                   {"RAW", 9, 6}, {"AT", 10}, {"STAMP", 11}, {"FLAGS", 12}, {"NOTES", 3, 0, 22}});
  auto desc = [&](int fieldNo) { return descs.data() + size_t(fieldNo - 1) * FieldDescSize; };
  desc(fUpName)[FieldDescCaseOffset] = 2;
  desc(fLowName)[FieldDescCaseOffset] = 1;
  desc(fAmount)[FieldDescScaleOffset] = 2;
  CopyScaleByte(desc(fAmount));
  return descs;
}

class FieldAccessTest : public DataFileTest {
protected:
  TTestCursor cursor;
  TFieldIndexTable indexTable;
  std::unique_ptr<TIndexFile> indexFile;
  std::vector<uint8_t> record;

  void TearDown() override {
    cursor.DetachFields();
    indexFile.reset();
    DataFileTest::TearDown();
  }

  void Open(uint16_t languageId = 0) { OpenWith(AllTypeFields(), FieldTotal, languageId); }
  void OpenWith(const std::vector<uint8_t>& descs, int fieldCount, uint16_t languageId = 0) {
    file = NewDataFile();
    file->CreateDataFile({.FieldDescs = descs.data(), .FieldCount = fieldCount, .LanguageId = languageId});
    file->WriteHeader(false);
    file->WriteFieldDescriptors();
    indexTable.Data = file.get();
    indexFile = std::make_unique<TIndexFile>(&indexTable);
    indexFile->FileName = folder + "/ORDERS.IDX";
    indexFile->CreateIndexFile();
    cursor.AttachFields(*file, *indexFile);
    record.assign(cursor.CursorRecordSize(), 0);
  }

  template <typename T>
  void Put(int fieldNo, T value) {
    cursor.PutField(fieldNo, record.data(), false, &value);
  }
  template <typename T>
  T Get(int fieldNo, bool* blank = nullptr) {
    T value{};
    bool isBlank = false;
    cursor.GetField(fieldNo, record.data(), isBlank, &value);
    if (blank) *blank = isBlank;
    return value;
  }
  bool Blank(int fieldNo) {
    bool blank = false;
    cursor.GetField(fieldNo, record.data(), blank, nullptr);
    return blank;
  }
  void PutText(int fieldNo, const std::string& text) { cursor.PutField(fieldNo, record.data(), false, text.c_str()); }
  std::string GetText(int fieldNo) {
    char text[11] = {};
    bool blank = false;
    cursor.GetField(fieldNo, record.data(), blank, text);
    return text;
  }
  uint8_t NullByte(int fieldNo) {
    uint8_t desc[FieldDescSize];
    cursor.GetFieldDesc(fieldNo, desc);
    return record[FieldRecordOffset(desc)];
  }
};
