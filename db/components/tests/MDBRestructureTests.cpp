#include "MDBRestructureDefs.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"

namespace {

using RestructureTest = TableTest;

TRestructureFieldDef* AddField(TRestructureFieldDefs& defs, const std::string& name, TFieldType type, uint16_t size,
                               int index = -1) {
  return defs.Add(index < 0 ? defs.Count() : index, name, 0, 0, "", "", "", "", false, size, type);
}

TEST_F(RestructureTest, FieldDefinitionsCheckSizesAndNames) {
  TObjectPtr<TMDBTable> table = NewTable();
  TRestructureFieldDefs& defs = table->RestructureFieldDefs();
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "A", ftString, 0); }, SInvalidFieldSize);
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "A", ftString, 251); }, SInvalidFieldSize);
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "A", ftBCD, 9); }, SInvalidFieldSize);
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "A", ftInteger, 4); }, SInvalidFieldSize);
  AddField(defs, "A", ftString, 250);
  AddField(defs, "B", ftBCD, 8);
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "  ", ftInteger, 0); }, SFieldNameMissing);
  ExpectMessage<EDatabaseError>([&] { AddField(defs, "a", ftInteger, 0); }, Format(SDuplicateFieldName, {"a"}));
  AddField(defs, " C ", ftInteger, 0, 0);
  EXPECT_EQ(defs.Items(0)->Name(), "C");
  EXPECT_EQ(defs.IndexOf("b"), 2);
  ExpectMessage<EDatabaseError>([&] { defs.FindFieldDef("Z"); }, Format(SFieldNotFound, {"Z"}));
  TRestructureIndexDefs& indexes = table->RestructureIndexDefs();
  indexes.Add("ByA", "A", 0, TIndexOptions());
  ExpectMessage<EDatabaseError>([&] { indexes.Add("BYA", "B", 0, TIndexOptions()); },
                                Format(SDuplicateIndexName, {"BYA"}));
}

TEST_F(RestructureTest, ListsLoadTheTableOnceUntilItChanges) {
  CreatePeople();
  TObjectPtr<TMDBTable> table = NewTable();
  TRestructureFieldDefs& fields = table->RestructureFieldDefs();
  TRestructureIndexDefs& indexes = table->RestructureIndexDefs();
  indexes.Update();
  ASSERT_EQ(fields.Count(), 5);
  EXPECT_EQ(fields.Items(1)->Name(), "NAME");
  EXPECT_EQ(fields.Items(1)->Size(), 20);
  EXPECT_EQ(fields.Items(1)->FieldNo(), 2);
  EXPECT_TRUE(fields.Items(0)->Required());
  EXPECT_EQ(fields.Items(4)->DataType(), ftMemo);
  ASSERT_EQ(indexes.Count(), 3);
  EXPECT_TRUE(indexes.Items(0)->Options().Contains(ixPrimary));
  EXPECT_EQ(indexes.Items(2)->Fields(), "CITY;NAME");
  // Another component drops AMOUNT from the table: a loaded list does
  // not see it until the table's properties change or the list does.
  TObjectPtr<TMDBTable> other = NewTable();
  TRestructureFieldDefs& otherFields = other->RestructureFieldDefs();
  other->RestructureIndexDefs().Update();
  otherFields.Delete(otherFields.IndexOf("AMOUNT"));
  other->RestructureTable({});
  fields.Update();
  EXPECT_EQ(fields.IndexOf("AMOUNT"), 3);
  table->SetTableName("PEOPLE.DAT");
  fields.Update();
  EXPECT_EQ(fields.IndexOf("AMOUNT"), -1);
  AddField(fields, "EXTRA", ftInteger, 0);
  fields.Update();
  EXPECT_EQ(fields.IndexOf("EXTRA"), -1);
}

TEST_F(RestructureTest, RestructureKeepsTheRecordsAndTakesNewFieldsAndIndexes) {
  {
    TObjectPtr<TMDBTable> table = OpenPeople();
    ASSERT_TRUE(table->Locate("ID", Variant(2), TLocateOptions()));
    table->Edit();
    table->FieldByName("NOTES")->SetAsString("a memo that must survive");
    table->Post();
  }
  TObjectPtr<TMDBTable> table = NewTable();
  table->RestructureIndexDefs().Update();
  TRestructureFieldDefs& fields = table->RestructureFieldDefs();
  fields.Delete(fields.IndexOf("AMOUNT"));
  fields.Add(fields.Count(), "COUNTRY", 0, 2, "Where", "", "", "", false, 30, ftString);
  table->RestructureIndexDefs().Add("ByCountry", "COUNTRY;ID", 0, TIndexOptions());
  int progressCalls = 0;
  table->OnRestructureProgress = [&](TObject* sender, int, uint16_t percent) {
    EXPECT_EQ(sender, table.get());
    EXPECT_LE(percent, 100);
    ++progressCalls;
  };
  TMDBRestructureOptions options;
  options.Description = "People and countries";
  table->RestructureTable(options);
  table->Open();
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_EQ(table->FindField("AMOUNT"), nullptr);
  ASSERT_NE(table->FindField("COUNTRY"), nullptr);
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
  EXPECT_EQ(table->Lookup("ID", Variant(2), "NOTES").AsString(), "a memo that must survive");
  table->First();
  table->Edit();
  table->FieldByName("COUNTRY")->SetAsString("france");
  table->Post();
  EXPECT_EQ(table->FieldByName("COUNTRY")->AsString(), "FRANCE");
  table->SetIndexName("ByCountry");
  table->Last();
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 1);
  table->UpdateIndexDefs();
  EXPECT_EQ(table->IndexDefs().Count(), 4);
}

TEST_F(RestructureTest, AnIndexOnAnUnknownFieldFailsBeforeTheEngineIsCalled) {
  OpenPeople();
  TObjectPtr<TMDBTable> table = NewTable();
  table->RestructureIndexDefs().Update();
  table->RestructureIndexDefs().Add("ByGhost", "GHOST", 0, TIndexOptions());
  ExpectMessage<EDatabaseError>([&] { table->RestructureTable({}); }, Format(SFieldNotFound, {"GHOST"}));
  table->Open();
  EXPECT_EQ(table->RecordCount(), 5);
  table->UpdateIndexDefs();
  EXPECT_EQ(table->IndexDefs().Count(), 3);
}

}  // namespace
