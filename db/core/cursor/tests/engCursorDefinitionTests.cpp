// Checks of table definitions, and the definition comparison that
// restructuring relies on.

#include <functional>

#include "engCursorTestSupport.h"
#include "engErrorCodes.h"

namespace {

class CursorDefinitionTest : public CursorTest {
protected:
  std::vector<uint8_t> fields;
  int32_t fieldCount = 0;
  TTableDefinition definition;

  void Define(const std::vector<TFieldSpec>& fieldSpecs, const std::vector<TIndexSpec>& indexSpecs = {}) {
    fields = Descriptors(fieldSpecs);
    std::vector<uint8_t> indexes;
    for (const TIndexSpec& spec : indexSpecs) {
      const std::vector<uint8_t> desc = IndexDescriptor(spec);
      indexes.insert(indexes.end(), desc.begin(), desc.end());
    }
    fieldCount = int32_t(fieldSpecs.size());
    definition.IndexDescs = TIndexDescList(std::move(indexes));
  }
  // patch changes the definitions the descriptors give.
  uint16_t Check(const std::function<void(std::vector<TFieldDefinition>&)>& patch = {}) {
    // The descriptors the test patched, as definitions and back, the
    // completion included.
    const int32_t patched = int32_t(fields.size() / FieldDescSize);
    definition.Fields = FieldDefinitionsFromDescs(fields.data(), std::min(fieldCount, patched));
    definition.Fields.resize(size_t(fieldCount));
    if (patch) patch(definition.Fields);
    TDataCursor& cursor = NewCursor("DEFS");
    const uint16_t code = ErrorOf([&] { cursor.CheckTableDefinition(definition, true); });
    if (code == 0) fields = FieldDescsFromDefinitions(definition.Fields);
    return code;
  }
  uint8_t* Field(int i) { return fields.data() + size_t(i) * FieldDescSize; }
  uint8_t* Index(int i) { return definition.IndexDescs.At(i); }
};

}  // namespace

TEST_F(CursorDefinitionTest, TableLimitsComeBeforeAnyField) {
  Define({{"", 0}});  // a field that would fail on its own
  fieldCount = 1025;
  EXPECT_EQ(Check(), EngErrFieldLimits);
  fieldCount = 1;
  definition.LimitValue = -2;
  EXPECT_EQ(Check(), EngErrFieldLimits);
  definition.LimitValue = -1;
  definition.IndexDescs = TIndexDescList(std::vector<uint8_t>(size_t(MaxIndexDefinitions + 1) * IndexDescSize));
  EXPECT_EQ(Check(), EngErrIndexLimits);
  definition.IndexDescs = {};
  definition.BlobBlockSize = 63;
  EXPECT_EQ(Check(), EngErrBlobLimits);
  definition.BlobBlockSize = 64;
  EXPECT_EQ(Check(), EngErrFieldName);
  definition.LanguageId = 0x7777;
  EXPECT_EQ(Check(), EngErrNoLanguageDriver);
}

TEST_F(CursorDefinitionTest, PasswordsOfEncryptedTablesAreChecked) {
  Define({{"ID", IntType}});
  definition.Encrypted = true;
  for (const auto& [password, code] : std::vector<std::pair<std::string, uint16_t>>{
           {"123456789012345", 0}, {"1234567890123456", EngErrPassword}, {"   ", EngErrPassword}, {"", EngErrPassword}}) {
    definition.Password = password;
    EXPECT_EQ(Check(), code) << password;
  }
  definition.Encrypted = false;
  definition.Password = "";
  EXPECT_EQ(Check(), 0);
}

TEST_F(CursorDefinitionTest, FieldNamesNumbersTypesAndTexts) {
  Define({{"  Name ", StrType, 10}, {"Qty", IntType, 40}, {"Stamp", 11}});
  ASSERT_EQ(Check(), 0);
  EXPECT_EQ(GetShortString(Field(0) + FieldDescNameOffset, FieldNameLimit), "Name");
  EXPECT_EQ(Field(1)[FieldDescDeclaredSizeOffset], 0);
  EXPECT_EQ(Field(1)[FieldDescStoredSizeOffset], 4);
  EXPECT_EQ(GetLE16(Field(0) + FieldDescRecordOffset), 9);
  EXPECT_EQ(GetLE16(Field(1) + FieldDescRecordOffset), 9 + 11 + 1);
  EXPECT_EQ(GetLE16(Field(2) + FieldDescRecordOffset), 9 + 12 + 5);

  Define({{"Name", StrType, 10}, {"NAME", IntType}});
  EXPECT_EQ(Check(), EngErrFieldName);
  EXPECT_EQ(GetErrorContextName(ecFieldName), "NAME");
  Define({{"1st", IntType}});
  EXPECT_EQ(Check(), EngErrFieldName);
  Define({{"A", IntType}});
  // One character more than a name may have.
  EXPECT_EQ(Check([](auto& fields) { fields[0].Name = std::string(31, 'A'); }), EngErrFieldName);
  Define({{"Long", StrType, 250}});
  EXPECT_EQ(Check(), 0);
  Define({{"Long", StrType, 251}});
  EXPECT_EQ(Check(), EngErrFieldDefinition);
  Define({{"A", IntType}, {"B", IntType}});
  PutLE16(Field(1) + FieldDescNumberOffset, 1);
  EXPECT_EQ(Check(), EngErrFieldDefinition);
  Define({{"A", 0}});
  EXPECT_EQ(Check(), EngErrFieldDefinition);
  Define({{"Qty", IntType}});
  PutShortString(Field(0) + FieldDescDefaultOffset, "12x", FieldTextLimit, true);
  EXPECT_EQ(Check(), EngErrFieldCheckText);
  PutShortString(Field(0) + FieldDescDefaultOffset, "12", FieldTextLimit, true);
  PutShortString(Field(0) + FieldDescMaxOffset, "99", FieldTextLimit, true);
  EXPECT_EQ(Check(), 0);
}

TEST_F(CursorDefinitionTest, AutoIncrementLivesInTheRecordHeader) {
  Define({{"NAME", StrType, 4}, {"ID", IntType, 0, stAutoInc}, {"QTY", IntType}});
  ASSERT_EQ(Check(), 0);
  EXPECT_EQ(GetLE16(Field(1) + FieldDescRecordOffset), RecordAutoIncOffset);
  EXPECT_EQ(GetLE16(Field(2) + FieldDescRecordOffset), 9 + 5 + 1);
}

TEST_F(CursorDefinitionTest, IndexNamesFieldsAndKeySizes) {
  // Two 250-character strings and an 18-character one make 252 + 252 + 20
  // = 524 key bytes, the most a key holds; a 19-character one makes one byte more.
  const std::vector<TFieldSpec> wide = {{"A", StrType, 250}, {"B", StrType, 250}, {"C", StrType, 18},
                                        {"D", StrType, 19}, {"E", 9, 10}, {"F", BlobFieldType}};
  Define(wide, {{"", {1, 2}}, {"ByAbc", {1, 2, 3}}, {"Bytes", {5}, false}});
  ASSERT_EQ(Check(), 0);
  EXPECT_EQ(Index(0)[IdxDescUnique], 1);
  EXPECT_EQ(GetLE16(Index(1) + IdxDescKeyLength), MaxKeyFieldBytes);
  EXPECT_EQ(GetLE16(Index(2) + IdxDescKeyLength), 15);  // 10 + 1, and the row number
  Define(wide, {{"", {1}}, {"ByAbd", {1, 2, 4}}});
  EXPECT_EQ(Check(), EngErrKeySize);
  EXPECT_EQ(GetErrorContextName(ecIndexName), "ByAbd");

  Define(wide, {{"", {1}}, {"", {2}}});
  EXPECT_EQ(Check(), EngErrIndexName);
  Define(wide, {{"", {1}}, {"Two", {2}}, {" two ", {3}}});
  EXPECT_EQ(Check(), EngErrIndexExists);
  Define(wide, {{"", {1}}, {"Memo", {6}}});
  EXPECT_EQ(Check(), EngErrIndexFieldType);
  Define(wide, {{"", {1}}, {"Ghost", {9}}});
  EXPECT_EQ(Check(), EngErrIndexField);
  EXPECT_EQ(GetErrorContextName(ecFieldName), "9");

  // A primary index may name no field (natural order) unless forbidden.
  Define(wide, {{"", {}}, {"ByE", {5}}});
  EXPECT_EQ(Check(), 0);
  definition.AllowNaturalPrimary = false;
  EXPECT_EQ(Check(), EngErrKeySize);
  EXPECT_EQ(GetErrorContextName(ecIndexName), "Primary");
}

TEST_F(CursorDefinitionTest, AnIndexUsesAtMostSixteenFields) {
  std::vector<TFieldSpec> many;
  std::vector<uint16_t> numbers;
  for (int i = 1; i <= 17; ++i) {
    many.push_back({"F" + std::to_string(i), IntType});
    numbers.push_back(uint16_t(i));
  }
  Define(many, {{"", {1}}, {"All", numbers}});
  ASSERT_EQ(Check(), 0);
  EXPECT_EQ(Index(1)[IdxDescFieldCount], 16);
  EXPECT_EQ(GetLE16(Index(1) + IdxDescKeyLength), 16 * 5);
}

TEST_F(CursorDefinitionTest, IndexChangesIncludeFieldOrderAndFields) {
  CreatePeople("PEOPLE", {{"", {1}}, {"ByName", {2, 1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE", true);
  uint8_t old[IndexDescSize];
  cursor.GetIndexDesc(1, old);
  std::vector<uint8_t> newFields = Descriptors({{"ID", IntType}, {"NAME", StrType, 20}});
  std::vector<uint8_t> changed(old, old + IndexDescSize);
  EXPECT_FALSE(cursor.IndexDefChanged(old, changed.data(), newFields.data(), 2));
  changed[IdxDescFieldDescending + 1] = 1;
  EXPECT_TRUE(cursor.IndexDefChanged(old, changed.data(), newFields.data(), 2));
  changed.assign(old, old + IndexDescSize);
  PutLE16(changed.data() + IdxDescFieldNumbers, 1);
  PutLE16(changed.data() + IdxDescFieldNumbers + 2, 2);
  EXPECT_TRUE(cursor.IndexDefChanged(old, changed.data(), newFields.data(), 2));
  newFields = Descriptors({{"ID", IntType}, {"NAME", StrType, 30}});
  EXPECT_TRUE(cursor.IndexDefChanged(old, old, newFields.data(), 2));
  newFields = Descriptors({{"NAME", StrType, 20}});
  EXPECT_EQ(ErrorOf([&] { cursor.IndexDefChanged(old, old, newFields.data(), 1); }), EngErrFieldNumber);

  std::vector<uint8_t> a = Descriptors({{"NAME", StrType, 20}});
  std::vector<uint8_t> b = a;
  PutShortString(a.data() + FieldDescDefaultOffset, "abc", FieldTextLimit, true);
  PutShortString(b.data() + FieldDescDefaultOffset, "ABC", FieldTextLimit, true);
  EXPECT_FALSE(TDataCursor::FieldDefChanged(a.data(), b.data()));
  b[FieldDescRequiredOffset] = 1;
  EXPECT_TRUE(TDataCursor::FieldDefChanged(a.data(), b.data()));
}
