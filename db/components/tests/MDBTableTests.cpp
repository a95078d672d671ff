#include <filesystem>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBFieldTypes.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"

namespace {

TEST_F(TableTest, ATableIsReadInPrimaryOrderAndByEachIndex) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
  table->SetIndexName("ByName");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
  EXPECT_EQ(table->IndexName(), "ByName");
  EXPECT_EQ(table->IndexFieldNames(), "");
  table->SetIndexFieldNames("CITY;NAME");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"carol", "eve", "Alice", "dave", "Bob"}));
  EXPECT_EQ(table->IndexName(), "");
  EXPECT_EQ(table->IndexFieldNames(), "CITY;NAME");
  table->Last();
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Bob");
  EXPECT_EQ(table->RecNo(), 5);
  table->SetIndexFieldNames("");
  EXPECT_EQ(table->IndexName(), "");
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
}

}  // namespace

namespace {

TEST_F(TableTest, CreateTablePutsThePrimaryIndexFirstAndReadsTheDefinitionsBack) {
  TObjectPtr<TMDBTable> table = NewTable("ORDERS.DAT");
  table->FieldDefs().Add("NO", ftAutoInc);
  table->FieldDefs().Add("CUSTOMER", ftString, 30, true);
  table->FieldDefs().Add("TOTAL", ftBCD, 2);
  table->FieldDefs().Add("DAY", ftDate);
  table->FieldDefs().Add("PAID", ftBoolean);
  table->IndexDefs().Add("ByCustomer", "CUSTOMER", TIndexOptions{ixCaseInsensitive});
  table->IndexDefs().Add("ByDay", "DAY", TIndexOptions{ixDescending});
  table->IndexDefs().Add("", "NO", TIndexOptions{ixPrimary});
  table->CreateTable();
  EXPECT_TRUE(table->Exists());
  EXPECT_EQ(table->GetBlobBlockSize(), 512u);

  TObjectPtr<TMDBTable> reader = NewTable("orders.dat");
  reader->UpdateIndexDefs();
  ASSERT_EQ(reader->IndexDefs().Count(), 3);
  EXPECT_EQ(reader->IndexDefs()[0]->Name(), "");
  EXPECT_TRUE(reader->IndexDefs()[0]->Options().Contains(ixPrimary));
  EXPECT_EQ(reader->IndexDefs()[1]->Name(), "ByCustomer");
  EXPECT_TRUE(reader->IndexDefs()[1]->Options().Contains(ixCaseInsensitive));
  EXPECT_EQ(reader->IndexDefs()[2]->Fields(), "DAY");
  EXPECT_TRUE(reader->IndexDefs()[2]->Options().Contains(ixDescending));
  const TFieldDefs& defs = reader->FieldDefs();
  ASSERT_EQ(defs.Count(), 5);
  EXPECT_EQ(defs[0]->DataType(), ftAutoInc);
  EXPECT_EQ(defs[1]->DataType(), ftString);
  EXPECT_EQ(defs[1]->Size(), 30);
  EXPECT_EQ(defs[2]->DataType(), ftBCD);
  EXPECT_EQ(defs[2]->Size(), 2);
  EXPECT_EQ(defs[2]->Precision(), EngineBcdPrecision);
  EXPECT_EQ(defs[3]->DataType(), ftDate);
  EXPECT_EQ(defs[4]->DataType(), ftBoolean);

  reader->Open();
  reader->Append();
  reader->FieldByName("CUSTOMER")->SetAsString("Zeta");
  reader->FieldByName("TOTAL")->SetAsCurrency(Currency::FromDouble(12.34));
  reader->Post();
  reader->Append();
  reader->FieldByName("CUSTOMER")->SetAsString("alpha");
  reader->Post();
  EXPECT_EQ(Column(*reader, "NO"), (TStrings{"1", "2"}));
  EXPECT_EQ(Column(*reader, "TOTAL"), (TStrings{"12.34", ""}));
}

TEST_F(TableTest, WithoutAPrimaryIndexTheRecordsStayInNaturalOrder) {
  TObjectPtr<TMDBTable> table = NewTable("LOG.DAT");
  table->FieldDefs().Add("TEXT", ftString, 10);
  table->IndexDefs().Add("ByText", "TEXT", TIndexOptions());
  table->CreateTable();
  table->Open();
  for (const char* text : {"c", "a", "b"}) {
    table->Append();
    table->FieldByName("TEXT")->SetAsString(text);
    table->Post();
  }
  table->UpdateIndexDefs();
  ASSERT_EQ(table->IndexDefs().Count(), 1);
  EXPECT_FALSE(table->IndexDefs()[0]->Options().Contains(ixPrimary));
  EXPECT_EQ(Column(*table, "TEXT"), (TStrings{"c", "a", "b"}));
  table->SetIndexName("ByText");
  EXPECT_EQ(Column(*table, "TEXT"), (TStrings{"a", "b", "c"}));
}

TEST_F(TableTest, AnIndexOnAFieldTheDefinitionsLackIsRefusedAndNothingIsWritten) {
  TObjectPtr<TMDBTable> table = NewTable("BAD.DAT");
  table->FieldDefs().Add("ID", ftInteger);
  table->IndexDefs().Add("", "ID;MISSING", TIndexOptions{ixPrimary});
  ExpectMessage<EDatabaseError>([&] { table->CreateTable(); }, Format(SFieldNotFound, {"MISSING"}));
  EXPECT_FALSE(table->Exists());
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  TObjectPtr<TMDBTable> sized = NewTable("SIZED.DAT");
  sized->FieldDefs().Add("TEXT", ftString, 251);
  EXPECT_THROW(sized->CreateTable(), EMDBEngineError);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(TableTest, TableOperationsNeedANameAndAClosedDataset) {
  TObjectPtr<TMDBTable> unnamed(new TMDBTable(nullptr));
  unnamed->SetDatabaseName(folder);
  ExpectMessage<EDatabaseError>([&] { unnamed->Open(); }, SNoTableName);
  EXPECT_FALSE(unnamed->Exists());
  TObjectPtr<TMDBTable> table = OpenPeople();
  ExpectMessage<EDatabaseError>([&] { table->CreateTable(); }, SDataSetOpen);
  ExpectMessage<EDatabaseError>([&] { table->DeleteTable(); }, SDataSetOpen);
  ExpectMessage<EDatabaseError>([&] { table->SetTableName("OTHER.DAT"); }, SDataSetOpen);
  ExpectMessage<EDatabaseError>([&] { table->SetExclusive(true); }, SDataSetOpen);
  ExpectMessage<EDatabaseError>([&] { table->RestructureTable({}); }, SDataSetOpen);
  table->Close();
  table->RenameTable("FOLK.DAT");
  EXPECT_EQ(table->TableName(), "FOLK.DAT");
  EXPECT_FALSE(NewTable("PEOPLE.DAT")->Exists());
  table->Open();
  EXPECT_EQ(table->RecordCount(), 5);
  table->Close();
  table->DeleteTable();
  EXPECT_FALSE(table->Exists());
  EXPECT_THROW(table->Open(), EMDBEngineError);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(TableTest, ATableNameWithAFolderSetsTheDatabaseName) {
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  table->SetTableName(folder + "/PEOPLE.DAT");
  EXPECT_EQ(table->DatabaseName(), folder + "/");
  EXPECT_EQ(table->TableName(), "PEOPLE.DAT");
  TObjectPtr<TMDBTable> memory(new TMDBTable(nullptr));
  memory->SetInMemory(true);
  memory->SetTableName(folder + "/SCRATCH.DAT");
  EXPECT_EQ(memory->DatabaseName(), SMemoryDatabaseName);
  EXPECT_EQ(memory->TableName(), "SCRATCH.DAT");
  memory->SetDatabaseName(folder);
  EXPECT_EQ(memory->DatabaseName(), SMemoryDatabaseName);
}

TEST_F(TableTest, EmptyTableRemovesEveryRecordOpenOrClosed) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->Close();
  table->EmptyTable();
  table->Open();
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_TRUE(table->IsEmpty());
  Append(*table, SamplePeople()[0]);
  table->Close();
  table->SetExclusive(true);
  table->Open();
  table->EmptyTable();
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->RecordCount(), 0);
}

TEST_F(TableTest, AnExclusiveTableKeepsOthersOutAndAReadOnlyFileMakesTheTableReadOnly) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->Close();
  table->SetExclusive(true);
  table->Open();
  TObjectPtr<TMDBTable> other = NewTable();
  EXPECT_THROW(other->Open(), EMDBEngineError);
  EXPECT_FALSE(other->Active());
  table->Close();
  for (const char* name : {"PEOPLE.DAT", "PEOPLE.IDX", "PEOPLE.BLB"}) {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    if (std::filesystem::exists(path))
      std::filesystem::permissions(path, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  }
  other->Open();
  EXPECT_TRUE(other->ReadOnly());
  EXPECT_FALSE(other->CanModify());
  EXPECT_EQ(other->RecordCount(), 5);
}

TEST_F(TableTest, BookmarksComeBackToTheirRecordInEitherOrder) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetIndexName("ByName");
  table->First();
  table->Next();
  const TBookmark bob = table->GetBookmark();
  table->Last();
  const TBookmark eve = table->GetBookmark();
  EXPECT_EQ(table->CompareBookmarks(bob, eve), -1);
  EXPECT_EQ(table->CompareBookmarks(eve, bob), 1);
  EXPECT_EQ(table->CompareBookmarks(bob, bob), 0);
  EXPECT_EQ(table->CompareBookmarks({}, {}), 0);
  EXPECT_EQ(table->CompareBookmarks({}, bob), 1);
  EXPECT_EQ(table->CompareBookmarks(bob, {}), -1);
  table->GotoBookmark(bob);
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Bob");
  EXPECT_TRUE(table->BookmarkValid(eve));
  table->SetIndexName("");
  table->First();
  const TBookmark first = table->GetBookmark();
  table->Last();
  table->GotoBookmark(first);
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 1);
  table->SetRecNo(4);
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
  EXPECT_EQ(table->RecNo(), 4);
}

TEST_F(TableTest, DatasetsOfAFolderShareOneTemporaryDatabase) {
  TObjectPtr<TMDBTable> first = OpenPeople();
  TObjectPtr<TMDBTable> second = NewTable();
  second->Open();
  ASSERT_NE(first->Database(), nullptr);
  EXPECT_EQ(first->Database(), second->Database());
  EXPECT_TRUE(first->Database()->Temporary());
  EXPECT_EQ(first->Database()->RefCount(), 2);
  EXPECT_EQ(second->RecordCount(), 5);
  TMDBDatabase* database = first->Database();
  database->Close();
  EXPECT_FALSE(first->Active());
  EXPECT_FALSE(second->Active());
  ExpectMessage<EDatabaseError>([&] { second->SetSessionName("Nowhere"); second->Open(); },
                                Format(SInvalidSessionName, {"Nowhere"}));
}

}  // namespace

namespace {

TEST_F(TableTest, AnInMemoryTableAtDesignTimeLivesWhileItIsOpen) {
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  table->SetDesigning(true);
  table->SetInMemory(true);
  table->SetTableName("SCRATCH.DAT");
  ExpectMessage<EDatabaseError>([&] { table->Open(); }, SNoFieldsForMemoryTable);
  table->FieldDefs().Add("ID", ftInteger);
  table->Open();
  EXPECT_TRUE(table->Exists());
  table->Close();
  EXPECT_FALSE(table->Exists());
}

TEST_F(TableTest, OldValuesAreReadOnlyAndShowTheStoredRecord) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->First();
  table->Edit();
  table->FieldByName("NAME")->SetAsString("Alicia");
  EXPECT_EQ(table->FieldByName("NAME")->OldValue().AsString(), "Alice");
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Alicia");
  table->Post();
  table->Append();
  EXPECT_TRUE(table->FieldByName("NAME")->OldValue().IsNull());
  table->Cancel();
}

}  // namespace

namespace {

TEST_F(TableTest, ADatabaseClosingItsDatasetsIsNotFreedUnderneath) {
  DefaultSession().SetKeepConnections(false);
  TObjectPtr<TMDBTable> first = OpenPeople();
  TObjectPtr<TMDBTable> second = NewTable();
  second->Open();
  TMDBDatabase* database = first->Database();
  ASSERT_FALSE(database->KeepConnection());
  database->Close();
  EXPECT_FALSE(first->Active());
  EXPECT_FALSE(second->Active());
  // Released by both, the temporary database goes once nobody holds it.
  EXPECT_EQ(DefaultSession().FindDatabase(folder), database);
  first->Open();
  first->Close();
  EXPECT_EQ(DefaultSession().FindDatabase(folder), nullptr);
  DefaultSession().SetKeepConnections(true);
}

TEST_F(TableTest, AMissingOrDamagedTableFileIsAnEngineErrorAndStaysAsItWas) {
  TObjectPtr<TMDBTable> missing = NewTable("NOWHERE.DAT");
  EXPECT_THROW(missing->Open(), EMDBEngineError);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  OpenPeople();
  const std::filesystem::path data = std::filesystem::path(folder) / "PEOPLE.DAT";
  std::filesystem::resize_file(data, 60);
  const auto size = std::filesystem::file_size(data);
  TObjectPtr<TMDBTable> damaged = NewTable();
  EXPECT_THROW(damaged->Open(), EMDBEngineError);
  EXPECT_FALSE(damaged->Active());
  EXPECT_EQ(std::filesystem::file_size(data), size);
}

}  // namespace

namespace {

TEST_F(TableTest, AnUnknownIndexIsRefusedAndTheOrderStays) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetIndexName("ByName");
  EXPECT_THROW(table->SetIndexName("Nope"), EMDBEngineError);
  EXPECT_EQ(table->IndexName(), "ByName");
  ExpectMessage<EDatabaseError>([&] { table->SetIndexFieldNames("AMOUNT"); }, Format(SNoIndexForFields, {"AMOUNT"}));
  EXPECT_EQ(table->IndexName(), "ByName");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
  ExpectMessage<EDatabaseError>([&] { table->FieldByName("Nope"); }, Format(SFieldNotFound, {"Nope"}));
  table->Close();
  table->SetIndexName("Nope");
  EXPECT_THROW(table->Open(), EMDBEngineError);
  EXPECT_FALSE(table->Active());
}

}  // namespace

namespace {

TEST_F(TableTest, DefinitionsChangedByAProgramAreKeptWithTheComponent) {
  OpenPeople();
  TObjectPtr<TMDBTable> table = NewTable();
  table->Open();
  table->UpdateIndexDefs();
  EXPECT_FALSE(table->StoreDefs());
  table->Close();
  table->IndexDefs().Add("ByAmount", "AMOUNT", TIndexOptions());
  EXPECT_TRUE(table->StoreDefs());
}

}  // namespace
