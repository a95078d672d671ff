#pragma once
// Tables changed through the cursor's own record operations.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engCursorRecords.h"
#include "engCursorTestSupport.h"
#include "engCursorWrite.h"
#include "engDataHeader.h"
#include "engExpDateTime.h"
#include "engRecordBuffer.h"

// The message of the engine error a statement raises, empty when none.
template <typename Statement>
std::string MessageOf(Statement statement) {
  try {
    statement();
  } catch (const EEngineError& error) {
    return error.Message;
  }
  return {};
}

class CursorWriteTest : public CursorTest {
protected:
  // The table holds exactly these IDs in its primary order, as many rows
  // in its name order, and its index file is sound.
  static void ExpectRowsByIdAndName(TDataCursor& cursor, std::vector<int32_t> ids) {
    std::sort(ids.begin(), ids.end());
    cursor.SetIndexName("");
    EXPECT_EQ(Walk(cursor), ids);
    cursor.SetIndexName("ByName");
    EXPECT_EQ(cursor.GetRecordCount(), int32_t(ids.size()));
    cursor.Table()->IndexFile().VerifyIndexFile();
  }
  // ID, NAME string(20), GRP; the primary index on ID, "ByName" unique,
  // "ByGrp" not unique.
  void CreateGroups(const std::string& name, bool primaryKey = true) {
    std::vector<TIndexSpec> indexes;
    indexes.push_back({"", primaryKey ? std::vector<uint16_t>{1} : std::vector<uint16_t>{}});
    indexes.push_back({"ByName", {2}});
    indexes.push_back({"ByGrp", {3}, false});
    Create(name, {{"ID", IntType}, {"NAME", StrType, 20}, {"GRP", IntType}}, indexes);
  }

  // A table of the given descriptors (patched by the test) and a primary
  // index on the first field.
  void CreateWithDescriptors(const std::string& name, std::vector<uint8_t> fieldDescs) {
    TTableDefinition definition;
    definition.Fields = FieldDefinitionsFromDescs(fieldDescs.data(), int32_t(fieldDescs.size() / FieldDescSize));
    definition.IndexDescs = TIndexDescList(IndexDescriptor({"", {1}}));
    NewCursor(name, true).CreateTable(definition, false);
  }

  static std::vector<uint8_t> Row(TDataCursor& cursor, int32_t id, const std::string& name, int32_t group) {
    return Record(cursor, {&id, name.c_str(), &group});
  }
  static void Insert(TDataCursor& cursor, int32_t id, const std::string& name, int32_t group) {
    std::vector<uint8_t> record = Row(cursor, id, name, group);
    cursor.InsertRecord(record.data());
  }
  // Stands on the record of the ID through the primary index.
  static bool Find(TDataCursor& cursor, int32_t id) {
    cursor.SetIndexName("");
    int32_t value = id;
    return cursor.FindKey(Record(cursor, {&value}).data(), {.FieldCount = 1});
  }
  static std::vector<uint8_t> Current(TDataCursor& cursor) {
    std::vector<uint8_t> record(cursor.CursorRecordSize());
    EXPECT_EQ(cursor.GetRecord(record.data()), 0);
    return record;
  }
  static int32_t IntField(TDataCursor& cursor, const uint8_t* record, int fieldNo) {
    int32_t value = 0;
    bool blank = true;
    cursor.GetTableField(fieldNo, record, blank, &value);
    return blank ? -1 : value;
  }
};
