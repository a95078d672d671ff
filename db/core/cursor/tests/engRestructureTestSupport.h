#pragma once
// Tables of people (ID integer, NAME string(20)) restructured to new
// definitions, with the losses and progress a restructure reports.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engCursorTestSupport.h"
#include "engRestructure.h"
#include "engRestructureFiles.h"

using Rows = std::vector<std::vector<std::string>>;

struct TLoss {
  int Cause;
  std::string Text;
};

// The new definition's descriptors, kept alive for the call.
struct TNewDefinition {
  std::vector<uint8_t> Fields;
  int32_t FieldCount = 0;
  std::vector<uint8_t> Indexes;
  TTableDefinition Definition;

  TNewDefinition(const std::vector<TFieldSpec>& fields, const std::vector<uint16_t>& numbers,
                 const std::vector<TIndexSpec>& indexes)
      : Fields(Descriptors(fields)), FieldCount(int32_t(fields.size())) {
    for (size_t i = 0; i < numbers.size(); ++i) PutLE16(Fields.data() + i * FieldDescSize, numbers[i]);
    for (const TIndexSpec& spec : indexes) {
      const std::vector<uint8_t> desc = IndexDescriptor(spec);
      Indexes.insert(Indexes.end(), desc.begin(), desc.end());
    }
    Definition.LimitValue = -1;
  }
  uint8_t* Field(int position) { return Fields.data() + size_t(position - 1) * FieldDescSize; }
  void SetDefault(int position, const std::string& text) {
    uint8_t* desc = Field(position) + FieldDescDefaultOffset;
    desc[0] = uint8_t(text.size());
    std::memcpy(desc + 1, text.data(), text.size());
  }
  TTableDefinition& Get() {
    Definition.Fields = FieldDefinitionsFromDescs(Fields.data(), FieldCount);
    Definition.IndexDescs = TIndexDescList(Indexes);
    return Definition;
  }
};

class RestructureTest : public CursorTest {
protected:
  std::string workFolder;
  std::vector<TLoss> losses;
  int stopAskingAfter = 0;  // 0: never
  int stopAfter = 0;        // 0: never
  std::vector<std::pair<int32_t, int32_t>> progress;

  void SetUp() override {
    CursorTest::SetUp();
    workFolder = folder + "/work";
    std::filesystem::create_directory(workFolder);
    session->SetPrivateDirectory(workFolder);
  }

  static void OnLoss(RestructureTest* test, int cause, const std::string& text, bool& stopAsking, bool& carryOn) {
    test->losses.push_back({cause, text});
    const int count = int(test->losses.size());
    if (count == test->stopAskingAfter) stopAsking = true;
    if (count == test->stopAfter) carryOn = false;
  }
  static void OnProgress(RestructureTest* test, int32_t record, int32_t percent) {
    test->progress.emplace_back(record, percent);
  }

  // PEOPLE with the names given, IDs from 1, primary index on ID.
  void CreatePeopleWith(const std::vector<std::string>& names, const std::vector<TIndexSpec>& indexes = {{"", {1}}}) {
    CreatePeople("PEOPLE", indexes);
    TDataCursor& cursor = OpenCursor("PEOPLE", true);
    int32_t id = 0;
    for (const std::string& name : names) {
      std::vector<uint8_t> record = Person(cursor, ++id, name.c_str());
      cursor.InsertRecord(record.data());
    }
    cursor.Close(TTemporaryContents::Discard);
  }

  void Restructure(TNewDefinition& definition, bool deleteBackup, TTableFileOps* fileOps = nullptr) {
    TDataCursor& cursor = NewCursor("PEOPLE", true);
    cursor.SetDataLostHandler([this](int cause, const std::string& text, bool& stopAsking, bool& carryOn) {
      OnLoss(this, cause, text, stopAsking, carryOn);
    });
    cursor.SetRestructureProgressHandler([this](int32_t record, int32_t percent) { OnProgress(this, record, percent); });
    if (fileOps) TRestructure(cursor, definition.Get(), deleteBackup).Run(*fileOps);
    else cursor.RestructureTable(definition.Get(), deleteBackup);
    EXPECT_FALSE(cursor.IsOpen());
  }

  // Every record of PEOPLE in natural order: the text of each field.
  std::vector<std::vector<std::string>> TableRows() {
    TDataCursor& cursor = OpenCursor("PEOPLE", true);
    cursor.SetIndexNo(NaturalOrderIndex);
    std::vector<std::vector<std::string>> rows;
    uint8_t desc[FieldDescSize];
    cursor.SetToBegin();
    for (cursor.MoveBy(1); cursor.OnRecord(); cursor.MoveBy(1)) {
      std::vector<std::string> row;
      for (int field = 1; field <= cursor.GetFieldCount(); ++field) {
        cursor.GetTableFieldDesc(field, desc);
        uint8_t value[256] = {};
        bool blank = true;
        cursor.GetTableField(field, cursor.GetCurrentRecordBuffer(), blank, value);
        if (blank) row.push_back("-");
        else if (desc[FieldDescTypeOffset] == StrType) row.push_back(reinterpret_cast<char*>(value));
        else row.push_back(std::to_string(int32_t(GetLE32(value))));
      }
      rows.push_back(row);
    }
    cursor.Close(TTemporaryContents::Discard);
    return rows;
  }

  bool FileExists(const std::string& name) const { return std::filesystem::exists(PathOf(name)); }
  bool WorkFolderEmpty() const { return std::filesystem::is_empty(workFolder); }
};
