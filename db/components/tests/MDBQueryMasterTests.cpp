// The query's master and its stream: parameters nobody bound take the
// master's values and follow its record; the published properties, the
// parameters' values and the stored block survive a form's round trip.

#include <gtest/gtest.h>

#include "MDBConsts.h"
#include "MDBPublished.h"
#include "MDBQuery.h"
#include "MDBTableTestSupport.h"
#include "dbConsts.h"
#include "dbPublished.h"
#include "rtlFormat.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

// A root that streams the components it owns, as a data module does.
class TQueryTestModule : public TComponent {
  RTL_DECLARE_CLASS(TQueryTestModule, TComponent)

  explicit TQueryTestModule(TComponent* owner) : TComponent(owner) {}
  void GetChildren(const TGetChildProc& proc, TComponent* /*root*/) override {
    for (int i = 0; i < ComponentCount(); ++i) proc(Components(i));
  }
};

RTL_DEFINE_CLASS(TQueryTestModule)

namespace {

class QueryMasterTest : public TableTest {
protected:
  TObjectPtr<TComponent> root{new TQueryTestModule(nullptr)};

  TMDBQuery& NewQuery(const std::string& name, const std::string& text) {
    auto* query = new TMDBQuery(root.get());
    query->SetName(name);
    query->SetDatabaseName(folder);
    query->SQL().SetText(text);
    return *query;
  }
  TDataSource& NewSource(const std::string& name, TDataSet* dataSet) {
    auto* source = new TDataSource(root.get());
    source->SetName(name);
    source->SetDataSet(dataSet);
    return *source;
  }
};

TEST_F(QueryMasterTest, UnboundParametersFollowTheMastersRecord) {
  TObjectPtr<TMDBTable> master = OpenPeople();
  master->SetIndexName("ByCity");  // Oslo, Oslo, Paris, Paris, Rome
  master->First();
  TMDBQuery& sameCity = NewQuery("SameCity", "select name from people where city = :CITY order by name");
  sameCity.SetDataSource(&NewSource("Source1", master.get()));
  sameCity.Open();
  EXPECT_EQ(Column(sameCity, "NAME"), (TStrings{"carol", "eve"}));
  EXPECT_FALSE(sameCity.ParamByName("CITY")->Bound());
  // The master moves: the query reads the new record's city.
  master->Last();
  EXPECT_EQ(Column(sameCity, "NAME"), (TStrings{"Bob"}));
  master->Prior();
  EXPECT_EQ(Column(sameCity, "NAME"), (TStrings{"Alice", "dave"}));
  // A value set by the program wins over the master's.
  sameCity.ParamByName("CITY")->SetAsString("Oslo");
  master->First();
  EXPECT_EQ(Column(sameCity, "NAME"), (TStrings{"carol", "eve"}));
  master->Last();
  EXPECT_EQ(Column(sameCity, "NAME"), (TStrings{"carol", "eve"}));
}

TEST_F(QueryMasterTest, AClosedMasterGivesNoValues) {
  TObjectPtr<TMDBTable> master = OpenPeople();
  master->Close();
  TMDBQuery& query = NewQuery("Query1", "select name from people where id = :ID");
  query.SetDataSource(&NewSource("Source1", master.get()));
  ExpectMessage<EDatabaseError>([&] { query.Open(); }, Format(SNoParameterValue, {std::string("ID")}));
  // Opening the master opens nothing by itself; a reopened query reads it.
  master->Open();
  EXPECT_FALSE(query.Active());
  query.Open();
  EXPECT_EQ(Column(query, "NAME"), (TStrings{"Alice"}));
}

TEST_F(QueryMasterTest, CircularLinksAreRefused) {
  OpenPeople()->Close();
  TMDBQuery& first = NewQuery("First", "select id from people");
  TMDBQuery& second = NewQuery("Second", "select name from people where id = :id");
  TDataSource& ofFirst = NewSource("OfFirst", &first);
  TDataSource& ofSecond = NewSource("OfSecond", &second);
  ExpectMessage<EDatabaseError>([&] { first.SetDataSource(&ofFirst); }, SCircularDataLink);
  second.SetDataSource(&ofFirst);
  ExpectMessage<EDatabaseError>([&] { first.SetDataSource(&ofSecond); }, SCircularDataLink);
  EXPECT_EQ(first.DataSource(), nullptr);
  EXPECT_EQ(second.DataSource(), &ofFirst);
}

class QueryStreamTest : public QueryMasterTest {
protected:
  void SetUp() override {
    QueryMasterTest::SetUp();
    RegisterDataClasses();
    RegisterMDBClasses();
  }
  static TObjectPtr<TComponent> ReadForm(const std::string& text) {
    TObjectPtr<TComponent> form(new TQueryTestModule(nullptr));
    ReadFormText(text, *form);
    return form;
  }
};

TEST_F(QueryStreamTest, PublishedPropertiesAndParametersRoundTrip) {
  OpenPeople()->Close();
  root->SetName("Module1");
  TMDBQuery& master = NewQuery("Master", "select id from people");
  TMDBQuery& query = NewQuery("Query1", "select name from people\nwhere id = :id and city = :city");
  query.SetDataSource(&NewSource("Source1", &master));
  query.SetRequestLive(true);
  query.SetMaxRowCount(50);
  TStringList script;
  script.SetText("delete from people;\ninsert into people (id) values (9)");
  query.SetSQLScript(script);
  query.ParamByName("city")->SetAsString("Oslo");

  const std::string text = FormText(*root);
  // Streaming order; defaults (ParamCheck) left out.
  const size_t start = text.find("object Query1: TMDBQuery");
  const size_t engine = text.find("EngineVersion = '2.08'", start);
  const size_t source = text.find("DataSource = Source1", start);
  const size_t live = text.find("RequestLive = True", start);
  const size_t rows = text.find("MaxRowCount = 50", start);
  const size_t sql = text.find("SQL.Strings = (", start);
  const size_t scriptAt = text.find("SQLScript.Strings = (", start);
  const size_t params = text.find("Params.Data = {", start);
  ASSERT_NE(params, std::string::npos) << text;
  EXPECT_TRUE(start < engine && engine < source && source < live && live < rows && rows < sql && sql < scriptAt &&
              scriptAt < params)
      << text;
  EXPECT_EQ(text.find("ParamCheck"), std::string::npos) << text;
  EXPECT_EQ(text.find(" Data = {"), std::string::npos) << text;

  TObjectPtr<TComponent> form = ReadForm(text);
  auto* read = dynamic_cast<TMDBQuery*>(form->FindComponent("Query1"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->DataSource(), form->FindComponent("Source1"));
  EXPECT_TRUE(read->RequestLive());
  EXPECT_EQ(read->MaxRowCount(), 50);
  EXPECT_EQ(read->SQL().Text(), query.SQL().Text());
  EXPECT_EQ(read->SQLScript().Text(), script.Text());
  EXPECT_EQ(read->StatementText(), query.StatementText());
  EXPECT_TRUE(read->Params().IsEqual(query.Params()));
  EXPECT_EQ(read->ParamByName("city")->AsString(), "Oslo");
  EXPECT_EQ(FormText(*form), text);
}

TEST_F(QueryStreamTest, TheStoredBlockIsKeptUntilTheTextChanges) {
  TObjectPtr<TComponent> form = ReadForm(
      "object Module1: TQueryTestModule\n"
      "  object Query1: TMDBQuery\n"
      "    SQL.Strings = (\n"
      "      'select * from people where id = :id')\n"
      "    Data = {0A0B0C}\n"
      "  end\n"
      "end\n");
  auto* query = dynamic_cast<TMDBQuery*>(form->FindComponent("Query1"));
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query->StoredData(), "\x0A\x0B\x0C");
  // Read from a stream, the text makes no parameters of its own.
  EXPECT_EQ(query->Params().Count(), 0);
  EXPECT_EQ(query->StatementText(), "select * from people where id = ?\r\n");
  const std::string written = FormText(*form);
  EXPECT_NE(written.find(" Data = {"), std::string::npos) << written;
  EXPECT_NE(written.find("0A0B0C}"), std::string::npos) << written;
  query->SQL().SetText("select * from people");
  EXPECT_EQ(query->StoredData(), "");
}

}  // namespace
