// The query component: parameters taken from the text, statements run as
// datasets, typed parameter values, and the state of the statement.

#include <gtest/gtest.h>

#include "MDBConsts.h"
#include "MDBQuery.h"
#include "MDBTableTestSupport.h"
#include "engTableCursor.h"
#include "rtlStrUtils.h"
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

// The progress event is asked for at each execution: a handler assigned
// after the query was prepared sees the rows and can stop the statement;
// one taken away again sees nothing.
TEST_F(QueryTest, QueryProgressReachesAHandlerAssignedAfterPreparing) {
  OpenPeople()->Close();
  TObjectPtr<TMDBQuery> query = NewQuery("select id, name from people order by id");
  query->Prepare();
  query->Open();
  const int all = query->RecordCount();
  ASSERT_GT(all, 2);
  query->Close();
  int calls = 0;
  query->OnQueryProgress = [&calls](TObject*, int current, uint16_t, bool& abort) {
    ++calls;
    abort = current >= 2;
  };
  query->Open();
  EXPECT_EQ(query->RecordCount(), 1);
  EXPECT_GE(calls, 2);
  query->Close();
  query->OnQueryProgress = nullptr;
  calls = 0;
  query->Open();
  EXPECT_EQ(query->RecordCount(), all);
  EXPECT_EQ(calls, 0);
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

namespace {

// A live result's computed columns are evaluated for each record, with the
// column's type: the same values and field types as the canned result.
TEST_F(QueryTest, ComputedColumnsOfALiveResultEqualTheCannedOnes) {
  TObjectPtr<TMDBQuery> define = NewQuery("create table jobs (pages integer, title char(12), day date)");
  define->ExecSQL();
  for (const char* row : {"(14, 'invoice', '2024-03-05')", "(21, 'padded   ', '2023-12-31')", "(7, NULL, NULL)"}) {
    define->SQL().SetText(std::string("insert into jobs values ") + row);
    define->ExecSQL();
  }
  const char* const expressions[] = {
      "pages / 7",         "pages + 1",          "title || '_x'",
      "upper(title)",      "lower(title)",       "substring(title from 2 for 3)",
      "trim(both ' ' from title)", "extract(year from day)", "day + 30",
      "day - 1",           "cast(pages as char(5))"};
  for (const char* expression : expressions) {
    std::vector<TStrings> results;
    std::vector<TFieldType> types;
    for (bool live : {true, false}) {
      TObjectPtr<TMDBQuery> query = NewQuery(std::string("select ") + expression + " as x, pages from jobs");
      query->SetRequestLive(live);
      query->Open();
      // A live result reads the table itself; a canned one an answer table.
      EXPECT_EQ(UpperCase(query->Handle()->TableName()).find("JOBS.DAT") != std::string::npos, live)
          << expression << ": " << query->Handle()->TableName();
      results.push_back(Column(*query, "x"));
      types.push_back(query->FieldByName("x")->DataType());
    }
    EXPECT_EQ(results[0], results[1]) << expression;
    EXPECT_EQ(types[0], types[1]) << expression;
  }
  TObjectPtr<TMDBQuery> query = NewQuery("select pages / 7 as x, upper(title) as t, day + 30 as d from jobs");
  query->SetRequestLive(true);
  query->Open();
  EXPECT_EQ(Column(*query, "x"), (TStrings{"2", "3", "1"}));
  EXPECT_EQ(Column(*query, "t"), (TStrings{"INVOICE", "PADDED", ""}));
  EXPECT_EQ(Column(*query, "d")[0].empty(), false);
}

}  // namespace
