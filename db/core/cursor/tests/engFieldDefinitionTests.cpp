// Field definitions through a table's life: what a table is created or
// restructured with is what it gives back, the descriptors the data file
// keeps lose nothing on their way to a definition and back, and a computed
// field keeps its expression for as long as a cursor computes it.

#include <array>
#include <cstring>
#include <functional>

#include "engCursorTestSupport.h"
#include "engFieldDescCodec.h"

namespace {

TFieldDefinition Field(uint16_t number, const std::string& name, uint8_t type, uint8_t subtype = 0,
                       uint8_t declaredSize = 0, uint8_t scale = 0) {
  TFieldDefinition field;
  field.Number = number;
  field.Name = name;
  field.Type = type;
  field.Subtype = subtype;
  field.DeclaredSize = declaredSize;
  field.Scale = scale;
  return field;
}

// Every kind of field a table keeps, with each of the texts and flags.
std::vector<TFieldDefinition> CustomerFields() {
  std::vector<TFieldDefinition> fields;
  fields.push_back(Field(1, "ID", dtInteger, stAutoInc));
  TFieldDefinition name = Field(2, "NAME", dtString, 0, 20);
  name.Required = true;
  name.CharCase = 2;
  name.Description = "Customer name";
  name.Minimum = "A";
  name.Maximum = "zz";
  name.Default = "anon";
  fields.push_back(name);
  TFieldDefinition price = Field(3, "PRICE", dtBcd, 0, 0, 2);
  price.Default = "1.5";
  fields.push_back(price);
  fields.push_back(Field(4, "NOTES", dtBlob, stMemo, 1));
  TFieldDefinition flag = Field(5, "FLAG", dtBoolean);
  flag.Default = "TRUE";
  fields.push_back(flag);
  fields.push_back(Field(6, "DAY", dtDate));
  return fields;
}

class FieldDefinitionTest : public CursorTest {
protected:
  TTableDefinition Definition(std::vector<TFieldDefinition> fields) {
    TTableDefinition definition;
    definition.Fields = std::move(fields);
    TIndexDefinition primary;
    primary.FieldNumbers = {1};
    definition.SetIndexes({primary});
    return definition;
  }
  // The definition as the engine completes it.
  std::vector<TFieldDefinition> Completed(TTableDefinition definition) {
    NewCursor("CHECK").CheckTableDefinition(definition, true);
    return definition.Fields;
  }
  static void ExpectSameFields(TDataCursor& cursor, const std::vector<TFieldDefinition>& expected) {
    ASSERT_EQ(cursor.GetFieldCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const TFieldDefinition read = cursor.TableFieldDefinition(int(i + 1));
      EXPECT_TRUE(read.SameStored(expected[i])) << "field " << i + 1 << " " << read.Name;
      // What the data file keeps reads back as itself.
      uint8_t stored[FieldDescSize];
      cursor.GetTableFieldDesc(int(i + 1), stored);
      uint8_t again[FieldDescSize];
      FieldDescFromDefinition(FieldDefinitionFromDesc(stored), again);
      EXPECT_EQ(std::memcmp(stored, again, FieldDescSize), 0) << "field " << i + 1;
    }
  }
};

}  // namespace

TEST_F(FieldDefinitionTest, ATableGivesBackTheFieldsItWasCreatedWith) {
  TTableDefinition definition = Definition(CustomerFields());
  const std::vector<TFieldDefinition> expected = Completed(definition);
  NewCursor("CUSTOMER", true).CreateTable(definition, false);
  TDataCursor& cursor = OpenCursor("CUSTOMER");
  ExpectSameFields(cursor, expected);
  EXPECT_EQ(cursor.FieldDefinition(2).Description, "Customer name");
  EXPECT_EQ(cursor.FieldDefinition(3).StoredScale, 2);
  EXPECT_TRUE(cursor.FieldDefinition(1).IsAutoInc());
  EXPECT_EQ(cursor.FieldDefinition(1).ValueWidth(), 4);
  EXPECT_TRUE(cursor.FieldDefinition(4).IsBlob());
}

// A table made in memory and opened by the same call lists its fields
// without reading its descriptors back: the list is still what they hold,
// whether the definition was checked whole or completed as an equal one
// checked before, and nothing a field map adds comes with it.
TEST_F(FieldDefinitionTest, ATableMadeInMemoryListsWhatItsDescriptorsHold) {
  TTableDefinition given = Definition(CustomerFields());
  given.Fields[1].Origin = "OTHER.NAME";
  given.Fields[2].Expression = ShareExpression(DoubledIdExpression().get());
  const std::vector<TFieldDefinition> expected = Completed(given);
  for (const char* name : {"MADE1", "MADE2"}) {
    SCOPED_TRACE(name);
    TTableDefinition definition = given;
    TDataCursor& cursor = NewCursor(name);
    cursor.SetOpenOptions({.TableName = name, .Exclusive = true, .InMemory = true, .TemporaryTable = true});
    cursor.CreateTableAndOpen(definition, false);
    ExpectSameFields(cursor, expected);
    for (int i = 1; i <= int(expected.size()); ++i) {
      const TFieldDefinition& listed = cursor.FieldDefinition(i);
      uint8_t stored[FieldDescSize];
      cursor.GetTableFieldDesc(i, stored);
      EXPECT_TRUE(listed.SameStored(FieldDefinitionFromDesc(stored))) << "field " << i;
      EXPECT_TRUE(listed.Origin.empty()) << "field " << i;
      EXPECT_FALSE(listed.Expression) << "field " << i;
    }
    cursor.Close(TTemporaryContents::Discard);
  }
}

// Each way a restructure goes (descriptors in place, records copied) keeps
// the new definitions whole and the values of the fields that stay.
TEST_F(FieldDefinitionTest, ARestructuredTableGivesBackItsNewFieldsAndKeepsItsValues) {
  struct TCase {
    const char* Name;
    std::function<void(std::vector<TFieldDefinition>&)> Change;
  };
  const TCase cases[] = {
      {"texts and a name in place",
       [](auto& fields) {
         fields[1].Name = "FULLNAME";
         fields[1].Description = "Who";
         fields[1].Maximum = "zzz";
         fields[2].Default = "2.25";
       }},
      {"a field added in the middle",
       [](auto& fields) {
         TFieldDefinition city = Field(7, "CITY", dtString, 0, 30);
         city.Default = "Paris";
         fields.insert(fields.begin() + 2, city);
       }},
      {"a field dropped", [](auto& fields) { fields.erase(fields.begin() + 4); }},
      {"a text widened", [](auto& fields) { fields[1].DeclaredSize = 40; }},
  };
  int n = 0;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string table = "RESTRUCT" + std::to_string(++n);
    TTableDefinition created = Definition(CustomerFields());
    NewCursor(table, true).CreateTable(created, false);
    {
      TDataCursor& writer = OpenCursor(table, true);
      std::vector<uint8_t> record(writer.CursorRecordSize(), 0);
      writer.Checks().ApplyDefaults(record.data());
      writer.WriteField(2, record.data(), std::string("Smith"));
      writer.InsertRecord(record.data());
      writer.Close(TTemporaryContents::Keep);
    }
    std::vector<TFieldDefinition> fields = CustomerFields();
    test.Change(fields);
    TTableDefinition definition = Definition(fields);
    definition.LimitValue = -1;
    std::vector<TFieldDefinition> expected = Completed(definition);
    // A copied table numbers its fields by position (the in-place cases
    // keep numbers that are positions already).
    for (size_t i = 0; i < expected.size(); ++i) expected[i].Number = uint16_t(i + 1);
    NewCursor(table, true).RestructureTable(definition, true);
    TDataCursor& cursor = OpenCursor(table);
    ExpectSameFields(cursor, expected);
    cursor.SetToBegin();
    std::vector<uint8_t> record(cursor.CursorRecordSize(), 0);
    ASSERT_EQ(cursor.GetNextRecord(record.data()), 0);
    char name[41] = {};
    EXPECT_TRUE(cursor.ReadField(2, record.data(), {reinterpret_cast<uint8_t*>(name), sizeof name}));
    EXPECT_STREQ(name, "SMITH");  // the field keeps upper case
  }
}

// The field map's expression is the map's own: the caller may free its
// tree, and a twin computes with the same expression.
TEST_F(FieldDefinitionTest, AComputedFieldOutlivesTheTreeItWasMadeFrom) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& cursor = OpenCursor("PEOPLE");
  Append(cursor, Person(cursor, 8, "p"));
  std::vector<TFieldDefinition> map = Definitions({{"ID", IntType}, {"NAME", StrType, 20}, {"DOUBLE", IntType}});
  {
    TExpTreePtr product = DoubledIdExpression();
    MakeComputedField(map, 2, product.get());
  }
  cursor.SetNoFilterUpdate(true);
  cursor.SetFieldMap(map, true);
  map.clear();
  cursor.SetToBegin();
  cursor.MoveBy(1);
  std::unique_ptr<TDataCursor> twin(cursor.Clone());
  for (TDataCursor* reader : {&cursor, twin.get()}) {
    // Room for any field's value, as a caller reading every field keeps it.
    std::array<uint8_t, 256> bytes{};
    EXPECT_TRUE(reader->ReadValue(reader->FieldDefinition(3), reader->GetCurrentRecordBuffer(), bytes));
    int32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    EXPECT_EQ(value, 16);
  }
  twin->Close(TTemporaryContents::Keep);
}
