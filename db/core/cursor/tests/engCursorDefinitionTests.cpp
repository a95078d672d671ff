// Checks of table definitions, and the definition comparison that
// restructuring relies on.

#include <cstring>
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

// A definition checked right after an equal one is completed as the first
// was, to the byte; one that differs from it in anything the check reads
// is checked on its own, and refused or completed by its own content.
TEST_F(CursorDefinitionTest, ADefinitionCheckedAgainIsCompletedAndRefusedByItsOwnContent) {
  const std::vector<TFieldSpec> specs = {
      {" Name ", StrType, 10}, {"Id", IntType, 0, stAutoInc}, {"Qty", IntType}, {"Day", 11}};
  auto given = [&] {
    TTableDefinition made;
    made.Fields = Definitions(specs);
    made.Fields[2].Default = "12";
    made.Fields[2].Description = std::string(FieldTextLimit + 5, 'd');
    made.Fields[3].NotStored = true;
    made.IndexDescs = TIndexDescList(IndexDescriptor({"", {2}}));
    return made;
  };
  struct TOutcome {
    uint16_t Code = 0;
    TTableDefinition Completed;
    std::vector<uint8_t> Descs;
  };
  auto check = [&](TTableDefinition definition, bool assignOffsets = true, bool noFilterUpdate = false) {
    TOutcome outcome;
    TDataCursor& cursor = NewCursor("DEFS");
    cursor.SetNoFilterUpdate(noFilterUpdate);
    outcome.Code = ErrorOf([&] { outcome.Descs = *cursor.CheckTableDefinition(definition, assignOffsets); });
    outcome.Completed = std::move(definition);
    return outcome;
  };
  auto expectSame = [](const TOutcome& a, const TOutcome& b, const std::string& name) {
    ASSERT_EQ(a.Code, b.Code) << name;
    EXPECT_EQ(a.Descs, b.Descs) << name;
    ASSERT_EQ(a.Completed.Fields.size(), b.Completed.Fields.size()) << name;
    for (size_t i = 0; i < a.Completed.Fields.size(); ++i)
      EXPECT_TRUE(a.Completed.Fields[i].SameStored(b.Completed.Fields[i])) << name << " field " << i + 1;
    ASSERT_EQ(a.Completed.IndexDescs.Count(), b.Completed.IndexDescs.Count()) << name;
    if (a.Completed.IndexDescs.Count() > 0) {
      EXPECT_EQ(std::memcmp(a.Completed.IndexDescs.Data(), b.Completed.IndexDescs.Data(),
                            size_t(a.Completed.IndexDescs.Count()) * IndexDescSize),
                0)
          << name;
    }
  };

  const TOutcome first = check(given());
  ASSERT_EQ(first.Code, 0);
  EXPECT_EQ(first.Completed.Fields[0].Name, "Name");
  EXPECT_EQ(first.Completed.Fields[2].Description.size(), size_t(FieldTextLimit));
  // Again, with what a field map adds kept.
  TTableDefinition again = given();
  again.Fields[3].Origin = "T.DAY";
  const TOutcome second = check(again);
  expectSame(first, second, "again");
  EXPECT_EQ(second.Completed.Fields[3].Origin, "T.DAY");

  struct TCase {
    const char* Name;
    std::function<void(TTableDefinition&)> Change;
    uint16_t Code;
    bool AssignOffsets = true;
    bool NoFilterUpdate = false;
  };
  const TCase cases[] = {
      {"a name taken twice", [](auto& d) { d.Fields[3].Name = "qty"; }, EngErrFieldName},
      {"a text too long", [](auto& d) { d.Fields[0].DeclaredSize = 251; }, EngErrFieldDefinition},
      {"a default that is no number", [](auto& d) { d.Fields[2].Default = "12x"; }, EngErrFieldCheckText},
      {"a number taken twice", [](auto& d) { d.Fields[3].Number = 3; }, EngErrFieldDefinition},
      {"no such language", [](auto& d) { d.LanguageId = 0x7777; }, EngErrNoLanguageDriver},
      {"an index on no field",
       [](auto& d) {
         std::vector<uint8_t> descs = IndexDescriptor({"", {2}});
         const std::vector<uint8_t> ghost = IndexDescriptor({"Ghost", {9}});
         descs.insert(descs.end(), ghost.begin(), ghost.end());
         d.IndexDescs = TIndexDescList(std::move(descs));
       },
       EngErrIndexField},
      {"natural order forbidden",
       [](auto& d) {
         d.IndexDescs = TIndexDescList(IndexDescriptor({"", {}}));
         d.AllowNaturalPrimary = false;
       },
       EngErrKeySize},
      {"a small BLOB block", [](auto& d) { d.BlobBlockSize = 63; }, EngErrBlobLimits},
      {"a limit below -1", [](auto& d) { d.LimitValue = -2; }, EngErrFieldLimits},
      {"a wider text", [](auto& d) { d.Fields[0].DeclaredSize = 20; }, 0},
      {"offsets kept as given", [](auto&) {}, 0, false},
      {"a computed field kept computed", [](auto&) {}, 0, true, true},
  };
  for (const TCase& test : cases) {
    // The equal definition just before, so that any check it left behind
    // would answer.
    expectSame(check(given()), first, test.Name);
    TTableDefinition changed = given();
    test.Change(changed);
    const TOutcome outcome = check(changed, test.AssignOffsets, test.NoFilterUpdate);
    EXPECT_EQ(outcome.Code, test.Code) << test.Name;
    if (test.Code != 0) continue;
    // What the same definition gives when nothing was checked before it.
    TTableDefinition alone = given();
    test.Change(alone);
    TTableDefinition other = given();
    other.Fields[1].Name = "Other";
    check(other);
    expectSame(outcome, check(alone, test.AssignOffsets, test.NoFilterUpdate), test.Name);
  }
}
