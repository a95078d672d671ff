// The query component: parameters taken from the text, statements run as
// datasets, typed parameter values, and the state of the statement.

#include <gtest/gtest.h>

#include "MDBConsts.h"
#include "MDBQuery.h"
#include "MDBTableTestSupport.h"
#include "dbConsts.h"
#include "rtlFormat.h"

namespace {

class QueryTest : public TableTest {
protected:
  TObjectPtr<TMDBQuery> NewQuery(const std::string& text) {
    TObjectPtr<TMDBQuery> query(new TMDBQuery(nullptr));
    query->SetDatabaseName(folder);
    query->SQL().SetText(text);
    return query;
  }
};

TEST(QueryParamConversion, NamesLiteralsAndColons) {
  std::vector<std::string> names;
  EXPECT_EQ(ConvertQueryParams("select * from t where a = :p1 and b = ':p2'", &names),
            "select * from t where a = ? and b = ':p2'");
  EXPECT_EQ(names, (std::vector<std::string>{"p1"}));

  names.clear();
  EXPECT_EQ(ConvertQueryParams("select a::b from t", &names), "select a:b from t");
  EXPECT_TRUE(names.empty());

  names.clear();
  EXPECT_EQ(ConvertQueryParams("where x = :\"my param\" and y=:q)", &names), "where x = ? and y=?)");
  EXPECT_EQ(names, (std::vector<std::string>{"my param", "q"}));

  names.clear();
  EXPECT_EQ(ConvertQueryParams("where x = \"a:b\" and y in (:first,:second)", &names),
            "where x = \"a:b\" and y in (?,?)");
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
}

TEST_F(QueryTest, ChangingTheTextRebuildsTheParametersAndKeepsSurvivingValues) {
  TObjectPtr<TMDBQuery> query = NewQuery("select * from people where id = :id and name = :name");
  ASSERT_EQ(query->Params().Count(), 2);
  query->ParamByName("name")->SetAsString("Bob");
  query->SQL().SetText("select * from people where name = :name");
  ASSERT_EQ(query->Params().Count(), 1);
  EXPECT_EQ(query->ParamByName("name")->AsString(), "Bob");
  EXPECT_EQ(query->StatementText(), "select * from people where name = ?\r\n");

  query->SetParamCheck(false);
  query->SQL().SetText("select * from people where city = :city");
  ASSERT_EQ(query->Params().Count(), 1);
  EXPECT_EQ(query->Params()[0]->Name(), "name");
}

TEST_F(QueryTest, DistinctListsAndParametersRunAsDatasets) {
  OpenPeople()->Close();
  TObjectPtr<TMDBQuery> cities = NewQuery("select distinct city from people");
  cities->SetMaxRowCount(-1);
  cities->Open();
  EXPECT_EQ(Column(*cities, "CITY"), (TStrings{"Oslo", "Paris", "Rome"}));
  cities->Close();
  EXPECT_TRUE(cities->Prepared());
  cities->Open();  // again on the prepared statement
  EXPECT_EQ(cities->RecordCount(), 3);
  cities->Close();

  TObjectPtr<TMDBQuery> people = NewQuery("select id, name from people where city = :city and amount > :least order by id");
  people->ParamByName("city")->SetAsString("Paris");
  people->ParamByName("least")->SetAsFloat(15);
  people->Open();
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"dave"}));
  people->Close();
  people->ParamByName("least")->SetAsInteger(0);
  people->Open();
  EXPECT_EQ(Column(*people, "NAME"), (TStrings{"Alice", "dave"}));
}

TEST_F(QueryTest, StatementsWithoutAResultChangeTheTable) {
  OpenPeople()->Close();
  TObjectPtr<TMDBQuery> update = NewQuery("update people set notes = :notes where id = :id");
  const std::string longText(600, 'n');  // beyond a string's 250 characters
  update->ParamByName("notes")->SetAsMemo(longText);
  update->ParamByName("id")->SetAsInteger(2);
  update->ExecSQL();
  EXPECT_EQ(update->RowsAffected(), 1);
  TObjectPtr<TMDBQuery> check = NewQuery("select notes from people where id = 2");
  check->Open();
  EXPECT_EQ(check->FieldByName("NOTES")->AsString(), longText);
}

TEST_F(QueryTest, RefusalsNameTheirCause) {
  OpenPeople()->Close();
  ExpectMessage<EDatabaseError>([&] { NewQuery("")->Open(); }, SNoSQLStatement);
  ExpectMessage<EDatabaseError>([&] { NewQuery("x")->Open(); }, SNoSQLStatement);
  TObjectPtr<TMDBQuery> unset = NewQuery("select * from people where id = :id");
  ExpectMessage<EDatabaseError>([&] { unset->Open(); }, Format(SNoParameterValue, {std::string("id")}));
  EXPECT_FALSE(unset->Active());

  TObjectPtr<TMDBQuery> open = NewQuery("select * from people");
  open->Open();
  ExpectMessage<EDatabaseError>([&] { open->UnPrepare(), open->Prepare(); }, SDataSetOpen);
}

TEST_F(QueryTest, AClosingDatabaseUnpreparesTheQuery) {
  OpenPeople()->Close();
  TObjectPtr<TMDBQuery> query = NewQuery("select * from people");
  query->Prepare();
  ASSERT_TRUE(query->Prepared());
  query->SetDatabaseName(folder + "/");
  EXPECT_FALSE(query->Prepared());
  query->Open();
  EXPECT_EQ(query->RecordCount(), 5);
}

}  // namespace
