#pragma once
// Cursors over real tables in a scratch folder. Records are put in by the
// test itself through the cursor's key maintenance (the cursor's own
// record operations are not what these tests are about), the way an
// insert or delete of another cursor reaches the table's files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engCursor.h"
#include "engFieldDescCodec.h"
#include "engDataFile.h"
#include "engDataTestSupport.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpToken.h"
#include "engIndexFile.h"
#include "engLittleEndian.h"
#include "engSession.h"
#include "engTable.h"
#include "osSettingsTestFolder.h"

using TCursorPtr = std::unique_ptr<TDataCursor>;

inline constexpr uint8_t IntType = 6;
inline constexpr uint8_t StrType = 1;

struct TIndexSpec {
  std::string Name;  // empty for the primary index
  std::vector<uint16_t> Fields;
  bool Unique = true;
  bool Descending = false;
  bool CaseInsensitive = false;
  std::vector<uint8_t> FieldDescending = {};
  uint8_t Compression = kcNone;
};

// The fields as a cursor's field map takes them.
inline std::vector<TFieldDefinition> Definitions(const std::vector<TFieldSpec>& fields) {
  const std::vector<uint8_t> descs = Descriptors(fields);
  return FieldDefinitionsFromDescs(descs.data(), int(fields.size()));
}

inline std::vector<uint8_t> IndexDescriptor(const TIndexSpec& spec) {
  std::vector<uint8_t> desc(IndexDescSize, 0);
  desc[IdxDescName] = uint8_t(spec.Name.size());
  std::memcpy(desc.data() + 1, spec.Name.data(), spec.Name.size());
  desc[IdxDescUnique] = spec.Unique;
  desc[IdxDescDescending] = spec.Descending;
  desc[IdxDescCaseInsensitive] = spec.CaseInsensitive;
  desc[IdxDescFieldCount] = uint8_t(spec.Fields.size());
  for (size_t i = 0; i < spec.Fields.size() && i < MaxKeyFields; ++i)
    PutLE16(desc.data() + IdxDescFieldNumbers + 2 * i, spec.Fields[i]);
  for (size_t i = 0; i < spec.FieldDescending.size(); ++i) desc[IdxDescFieldDescending + i] = spec.FieldDescending[i];
  desc[IdxDescCompression] = spec.Compression;
  return desc;
}

class CursorTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();
  TDataSession* session = nullptr;
  TDataDirectory* directory = nullptr;
  std::vector<TCursorPtr> cursors;

  void SetUp() override {
    StartEngine();
    session = GetEngineSession();
    directory = session->OpenDirectory("", folder);
  }
  void TearDown() override {
    cursors.clear();
    StopEngine();
  }

  // A closed cursor on the table, freed by the fixture.
  TDataCursor& NewCursor(const std::string& name, bool exclusive = false) {
    cursors.emplace_back(new TDataCursor(directory));
    TDataCursor& cursor = *cursors.back();
    cursor.SetOpenOptions({.TableName = name, .Exclusive = exclusive});
    return cursor;
  }
  TDataCursor& OpenCursor(const std::string& name, bool exclusive = false) {
    TDataCursor& cursor = NewCursor(name, exclusive);
    cursor.Open();
    return cursor;
  }

  void Create(const std::string& name, const std::vector<TFieldSpec>& fields, const std::vector<TIndexSpec>& indexes,
              uint16_t languageId = 0) {
    std::vector<uint8_t> fieldDescs = Descriptors(fields);
    std::vector<uint8_t> indexDescs;
    for (const TIndexSpec& spec : indexes) {
      const std::vector<uint8_t> desc = IndexDescriptor(spec);
      indexDescs.insert(indexDescs.end(), desc.begin(), desc.end());
    }
    TTableDefinition definition;
    definition.Fields = FieldDefinitionsFromDescs(fieldDescs.data(), int32_t(fields.size()));
    definition.IndexDescs = TIndexDescList(std::move(indexDescs));
    definition.LanguageId = languageId;
    TDataCursor& cursor = NewCursor(name, true);
    cursor.CreateTable(definition, false);
  }

  // ID integer, NAME string(20).
  void CreatePeople(const std::string& name, const std::vector<TIndexSpec>& indexes, uint16_t languageId = 0) {
    Create(name, {{"ID", IntType}, {"NAME", StrType, 20}}, indexes, languageId);
  }

  // A record buffer of the cursor's size with the fields given (nullptr: blank).
  static std::vector<uint8_t> Record(TDataCursor& cursor, const std::vector<const void*>& values) {
    std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
    for (size_t i = 0; i < values.size(); ++i) cursor.PutTableField(int(i + 1), record.data(), values[i]);
    return record;
  }
  static std::vector<uint8_t> Person(TDataCursor& cursor, int32_t id, const char* name) {
    return Record(cursor, {&id, name});
  }

  // Appends the record with every key, as another cursor's insert would.
  static uint32_t Append(TDataCursor& cursor, const std::vector<uint8_t>& fields) {
    TDataTable* table = cursor.Table();
    TDataFile& data = table->DataFile();
    const uint8_t current = cursor.GetIndexNo();
    table->LockWrite();
    const uint32_t number = data.NextRecordNumber();
    TRecord* record = nullptr;
    data.GetRecord(nullptr, number, {}, record);
    record->Clear(true);
    record->CopyFields(fields.data());
    record->SetModified(true);
    uint8_t key[MaxIndexKeyLength];
    for (int n = 0; n <= table->IndexFile().GetSecondaryCount(); ++n) {
      if (n == 0 && cursor.PrimaryIsNatural()) continue;
      cursor.SwitchToIndex(uint8_t(n));
      cursor.BuildKey(record->Buffer(), key);
      cursor.InsertKey(key, number);
    }
    cursor.SwitchToIndex(DeletedIndexNo);
    TDataCursor::BuildDeletedKey(record->Buffer(), key);
    cursor.InsertKey(key, number);
    data.ReleaseRecord(record);
    cursor.SwitchToIndex(current);
    table->IndexFile().IncRecordCount();
    table->IndexFile().MarkChanged();
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    table->UnlockWrite();
    return number;
  }

  // Deletes the record with every key, as another cursor's delete would.
  static void Remove(TDataCursor& cursor, uint32_t number) {
    TDataTable* table = cursor.Table();
    TDataFile& data = table->DataFile();
    const uint8_t current = cursor.GetIndexNo();
    table->LockWrite();
    TRecord* record = nullptr;
    data.GetRecord(nullptr, number, {}, record);
    uint8_t key[MaxIndexKeyLength];
    for (int n = 0; n <= table->IndexFile().GetSecondaryCount(); ++n) {
      if (n == 0 && cursor.PrimaryIsNatural()) continue;
      cursor.SwitchToIndex(uint8_t(n));
      cursor.BuildKey(record->Buffer(), key);
      cursor.DeleteKey(key);
    }
    cursor.SwitchToIndex(DeletedIndexNo);
    uint8_t deletedKey[MaxIndexKeyLength];
    TDataCursor::BuildDeletedKey(record->Buffer(), key);
    std::memcpy(deletedKey, key, 5);
    deletedKey[0] = 1;
    cursor.ReplaceKey(key, deletedKey, number);
    data.FreeRecord(record);
    data.ReleaseRecord(record);
    cursor.SwitchToIndex(current);
    table->IndexFile().DecRecordCount();
    table->IndexFile().MarkChanged();
    table->WriteHeaders({.ForceData = true, .ForceIndex = true});
    table->UnlockWrite();
  }

  static int32_t IdOf(TDataCursor& cursor) {
    int32_t id = 0;
    bool blank = true;
    cursor.GetTableField(1, cursor.GetCurrentRecordBuffer(), blank, &id);
    return blank ? -1 : id;
  }
  static std::string NameOf(TDataCursor& cursor) {
    char name[32] = {};
    bool blank = true;
    cursor.GetTableField(2, cursor.GetCurrentRecordBuffer(), blank, name);
    return name;
  }

  // The IDs from the start to the end (or backward from the end).
  static std::vector<int32_t> Walk(TDataCursor& cursor, bool forward = true) {
    std::vector<int32_t> ids;
    if (forward) cursor.SetToBegin();
    else cursor.SetToEnd();
    for (cursor.MoveBy(forward ? 1 : -1); cursor.OnRecord(); cursor.MoveBy(forward ? 1 : -1)) ids.push_back(IdOf(cursor));
    return ids;
  }
  static std::vector<std::string> WalkNames(TDataCursor& cursor) {
    std::vector<std::string> names;
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) names.push_back(NameOf(cursor));
    return names;
  }

  std::string PathOf(const std::string& file) const { return folder + "/" + file; }
  std::vector<char> FileBytes(const std::string& file) const {
    std::ifstream in(PathOf(file), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

// The engine error code a statement raises, 0 when it raises none.
template <typename Statement>
uint16_t ErrorOf(Statement statement) {
  try {
    statement();
  } catch (const EEngineError& error) {
    return error.ErrorCode;
  }
  return 0;
}

// ID * 2 over an integer column ID, the expression of a computed field.
inline TExpTreePtr DoubledIdExpression() {
  TExpTreePtr product(NewToken());
  TExpToken* column = NewToken();
  TExpToken* two = NewToken();
  column->Kind = nkColumn;
  column->Name = "ID";
  column->FieldNo = 1;
  column->DataType = dtInteger;
  column->DataSize = 4;
  two->Kind = nkConstant;
  two->DataType = dtInteger;
  two->SetInteger(2);
  product->Kind = nkBinary;
  product->Code = opMultiply;
  product->DataType = dtInteger;
  product->DataSize = 4;
  product->First = column;
  product->Second = two;
  column->Parent = two->Parent = product.get();
  return product;
}

// Field `field` (from 0) of a field map becomes computed by `expression`.
inline void MakeComputedField(std::vector<TFieldDefinition>& map, int field, const TExpToken* expression) {
  map[size_t(field)].NotStored = true;
  map[size_t(field)].Expression = ShareExpression(expression);
}
