#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "dbDataSource.h"

namespace {

class MasterDetailTest : public TableTest {
protected:
  // CITIES (NAME primary) as the master of PEOPLE by ByCity.
  void SetUp() override {
    TableTest::SetUp();
    people = OpenPeople();
    cities = NewTable("CITIES.DAT");
    cities->FieldDefs().Add("NAME", ftString, 20);
    cities->IndexDefs().Add("", "NAME", TIndexOptions{ixPrimary});
    cities->CreateTable();
    cities->Open();
    for (const char* name : {"Oslo", "Paris", "Rome", "Wien"}) {
      cities->Append();
      cities->FieldByName("NAME")->SetAsString(name);
      cities->Post();
    }
    source.reset(new TDataSource(nullptr));
    source->SetDataSet(cities.get());
    people->SetIndexName("ByCity");
    people->SetMasterFields("NAME");
    people->SetMasterSource(source.get());
  }
  void TearDown() override {
    people.reset();
    source.reset();
    cities.reset();
    TableTest::TearDown();
  }

  TObjectPtr<TMDBTable> people;
  TObjectPtr<TMDBTable> cities;
  TObjectPtr<TDataSource> source;
};

TEST_F(MasterDetailTest, TheDetailShowsTheMastersRecordsOnly) {
  cities->First();
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"carol", "eve"}));
  EXPECT_EQ(people->RecordCount(), 2);
  cities->Next();
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"Alice", "dave"}));
  cities->Last();
  EXPECT_TRUE(people->IsEmpty());
  ASSERT_TRUE(cities->Locate("NAME", Variant("Rome"), TLocateOptions()));
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"Bob"}));
}

TEST_F(MasterDetailTest, ANewDetailRecordTakesTheMastersKey) {
  ASSERT_TRUE(cities->Locate("NAME", Variant("Wien"), TLocateOptions()));
  people->Append();
  EXPECT_EQ(people->FieldByName("CITY")->AsString(), "Wien");
  people->FieldByName("ID")->SetAsInteger(7);
  people->FieldByName("NAME")->SetAsString("frank");
  people->Post();
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"frank"}));
}

TEST_F(MasterDetailTest, ClosingTheMasterLiftsTheRangeAndAnIndexChangeKeepsIt) {
  cities->First();
  people->SetIndexFieldNames("CITY;NAME");
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"carol", "eve"}));
  cities->Close();
  EXPECT_EQ(people->RecordCount(), 5);
}

TEST_F(MasterDetailTest, ATableCannotBeItsOwnMaster) {
  TObjectPtr<TDataSource> own(new TDataSource(nullptr));
  own->SetDataSet(people.get());
  EXPECT_THROW(cities->SetMasterSource(own.get()), EDatabaseError);
  try {
    people->SetMasterSource(own.get());
    FAIL() << "no exception";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message, SCircularDataLink);
  }
}

}  // namespace

namespace {

TEST_F(MasterDetailTest, ARefusedIndexKeepsTheMastersRange) {
  cities->First();
  EXPECT_THROW(people->SetIndexName("Nope"), EMDBEngineError);
  EXPECT_EQ(people->IndexName(), "ByCity");
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"carol", "eve"}));
}

}  // namespace
