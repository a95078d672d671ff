#include "MDBConsts.h"
#include "MDBTableTestSupport.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "dbFieldClasses.h"
#include "engTableCursor.h"

namespace {

using DataSetTest = TableTest;

TEST_F(DataSetTest, EditingPostsCancelsAndDeletesThroughTheCursor) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  ASSERT_TRUE(table->Locate("ID", Variant(3), TLocateOptions()));
  table->Edit();
  table->FieldByName("NAME")->SetAsString("Caroline");
  table->Post();
  table->Edit();
  table->FieldByName("NAME")->SetAsString("discarded");
  table->Cancel();
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Caroline");
  table->Delete();
  EXPECT_EQ(table->RecordCount(), 4);
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
  table->Close();
  table->Open();
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "dave", "eve"}));
  // A second key of a unique index is refused and the record stays unposted.
  table->Append();
  table->FieldByName("ID")->SetAsInteger(2);
  EXPECT_THROW(table->Post(), EMDBEngineError);
  EXPECT_EQ(table->State(), dsInsert);
  table->Cancel();
  EXPECT_EQ(table->RecordCount(), 4);
}

TEST_F(DataSetTest, FieldWritesOutsideEditingAndRequiredFieldsAreRefused) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  ExpectMessage<EDatabaseError>([&] { table->FieldByName("NAME")->SetAsString("x"); }, SNotEditing);
  table->Append();
  EXPECT_EQ(table->RecNo(), -1);
  table->FieldByName("NAME")->SetAsString("nobody");
  EXPECT_THROW(table->Post(), EDatabaseError);
  table->Cancel();
  EXPECT_EQ(table->RecordCount(), 5);
  table->FieldByName("NAME")->SetReadOnly(true);
  table->Edit();
  ExpectMessage<EDatabaseError>([&] { table->FieldByName("NAME")->SetAsString("x"); },
                                Format(SFieldReadOnly, {"NAME"}));
  table->Cancel();
}

TEST_F(DataSetTest, CalculatedFieldsFollowTheRecordAndItsEdits) {
  TObjectPtr<TMDBTable> table = CreatePeople();
  table->FieldDefs().Update();
  for (int i = 0; i < table->FieldDefs().Count(); ++i) table->FieldDefs()[i]->CreateField(table.get());
  auto* label = new TStringField(table.get());
  label->SetFieldName("LABEL");
  label->SetSize(40);
  label->SetFieldKind(fkCalculated);
  label->SetDataSet(table.get());
  int calls = 0;
  table->OnCalcFields = [&](TDataSet* dataSet) {
    ++calls;
    dataSet->FieldByName("LABEL")->SetAsString(dataSet->FieldByName("NAME")->AsString() + "/" +
                                               dataSet->FieldByName("CITY")->AsString());
  };
  table->Open();
  for (const TPerson& person : SamplePeople()) Append(*table, person);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(Column(*table, "LABEL"), (TStrings{"Alice/Paris", "Bob/Rome", "carol/Oslo", "dave/Paris", "eve/Oslo"}));
  table->First();
  table->Edit();
  table->FieldByName("CITY")->SetAsString("Lyon");
  table->Post();
  EXPECT_EQ(table->FieldByName("LABEL")->AsString(), "Alice/Lyon");
  EXPECT_EQ(table->Lookup("ID", Variant(5), "LABEL").AsString(), "eve/Oslo");
}

// A record near the engine's largest with calculated fields after it: the
// dataset's buffer must hold both and the bookmark behind them.
TEST_F(DataSetTest, CalculatedFieldsOfARecordNearTheLargestStayWhole) {
  TObjectPtr<TMDBTable> table = NewTable("WIDE.DAT");
  constexpr int WideFields = 260;
  for (int i = 0; i < WideFields; ++i) table->FieldDefs().Add("F" + std::to_string(i), ftString, 250);
  table->CreateTable();
  table->FieldDefs().Update();
  for (int i = 0; i < table->FieldDefs().Count(); ++i) table->FieldDefs()[i]->CreateField(table.get());
  auto* label = new TStringField(table.get());
  label->SetFieldName("LABEL");
  label->SetSize(2000);
  label->SetFieldKind(fkCalculated);
  label->SetDataSet(table.get());
  table->OnCalcFields = [](TDataSet* dataSet) {
    dataSet->FieldByName("LABEL")->SetAsString(std::string(2000, 'c') + dataSet->FieldByName("F0")->AsString());
  };
  table->Open();
  for (const char* first : {"a", "b", "c"}) {
    table->Append();
    table->FieldByName("F0")->SetAsString(first);
    table->FieldByName("F" + std::to_string(WideFields - 1))->SetAsString(std::string(250, 'z'));
    table->Post();
  }
  EXPECT_EQ(Column(*table, "F0"), (TStrings{"a", "b", "c"}));
  table->First();
  table->Next();
  const TBookmark second = table->GetBookmark();
  table->Last();
  table->GotoBookmark(second);
  EXPECT_EQ(table->FieldByName("F0")->AsString(), "b");
  EXPECT_EQ(table->FieldByName("LABEL")->AsString().size(), 2000u);
  EXPECT_EQ(table->FieldByName("F" + std::to_string(WideFields - 1))->AsString(), std::string(250, 'z'));
}

TEST_F(DataSetTest, LocateUsesTheIndexOrReadsTheRecords) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetIndexName("ByName");
  EXPECT_TRUE(table->Locate("NAME", Variant("CAROL"), TLocateOptions{loCaseInsensitive}));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(table->Locate("NAME", Variant("Da*"), TLocateOptions{loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
  EXPECT_FALSE(table->Locate("NAME", Variant("zed"), TLocateOptions{loCaseInsensitive}));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
  // By another index: a second cursor on ByCity finds it.
  EXPECT_TRUE(table->Locate("CITY;NAME", Variant::ArrayOf({Variant("Paris"), Variant("Alice")}), TLocateOptions()));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 1);
  // By a field no index serves.
  EXPECT_TRUE(table->Locate("AMOUNT", Variant(20.25), TLocateOptions()));
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Bob");
  EXPECT_TRUE(table->Locate("CITY", Variant("Ro*"), TLocateOptions{loPartialKey}));
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Bob");
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_TRUE(table->IsSequenced());
}

TEST_F(DataSetTest, LocateOnAnUnindexedFieldFindsWhatTheEngineFilterFinds) {
  // Each key located by reading the records must land where the engine's
  // own filter of the same condition finds its first record, and leave the
  // cursor without filters.
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetIndexName("ByName");
  struct TCase {
    const char* key;
    TLocateOptions options;
    const char* filter;
    TFilterOptions filterOptions;
  };
  const TCase cases[] = {
      {"Oslo", {}, "CITY = 'Oslo'", {}},
      {"oslo", {}, "CITY = 'oslo'", {}},
      {"paris", {loCaseInsensitive}, "CITY = 'paris'", {foCaseInsensitive}},
      {"Ro*", {loPartialKey}, "CITY = 'Ro*'", {}},
      {"pa*", {loPartialKey, loCaseInsensitive}, "CITY = 'pa*'", {foCaseInsensitive}},
      {"Pari", {}, "CITY = 'Pari'", {foNoPartialCompare}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.key);
    table->SetFilterOptions(c.filterOptions);
    table->SetFilterText(c.filter);
    const bool engineFound = table->FindFirst();
    const std::string engineName = engineFound ? table->FieldByName("NAME")->AsString() : "";
    table->SetFilterText("");
    table->Last();
    EXPECT_EQ(table->Locate("CITY", Variant(c.key), c.options), engineFound);
    if (engineFound) {
      EXPECT_EQ(table->FieldByName("NAME")->AsString(), engineName);
    }
    EXPECT_EQ(table->Handle()->Filters().FilterCount(), 0);
  }
}

TEST_F(DataSetTest, LocateFindsABlankFieldByANullKey) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->Append();
  table->FieldByName("ID")->SetAsInteger(9);
  table->Post();
  table->First();
  EXPECT_TRUE(table->Locate("CITY", Variant::Null(), TLocateOptions()));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 9);
  table->SetIndexName("ByName");
  table->First();
  EXPECT_TRUE(table->Locate("NAME", Variant::Null(), TLocateOptions{loCaseInsensitive}));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 9);
}

TEST_F(DataSetTest, LookupReturnsValuesWithoutMoving) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->Last();
  const Variant found = table->Lookup("ID", Variant(2), "NAME;CITY");
  ASSERT_TRUE(found.IsArray());
  EXPECT_EQ(found.Element(0).AsString(), "Bob");
  EXPECT_EQ(found.Element(1).AsString(), "Rome");
  EXPECT_TRUE(table->Lookup("ID", Variant(42), "NAME").IsNull());
  EXPECT_TRUE(table->Lookup("CITY", Variant("Nowhere"), "NAME").IsNull());
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 5);
  table->Next();
  EXPECT_TRUE(table->Eof());
}

TEST_F(DataSetTest, FiltersByTextAndByEventNarrowTheRecords) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetFilterText("CITY = 'Oslo'");
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
  table->SetFiltered(true);
  EXPECT_FALSE(table->IsSequenced());
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"3", "5"}));
  EXPECT_EQ(table->RecordCount(), 2);
  table->SetFilterOptions(TFilterOptions{foCaseInsensitive});
  table->SetFilterText("CITY = 'PARIS'");
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "4"}));
  table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* dataSet, bool& accept) {
    accept = dataSet->FieldByName("AMOUNT")->AsFloat() > 15;
  }));
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"4"}));
  // An empty text leaves the event's filter alone.
  table->SetFilterText("");
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"2", "3", "4", "5"}));
  table->SetFiltered(false);
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
}

TEST_F(DataSetTest, FindRecordSearchesOverTheEngineFilters) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetFilterText("CITY = 'Oslo'");
  ASSERT_TRUE(table->FindFirst());
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 3);
  ASSERT_TRUE(table->FindNext());
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 5);
  EXPECT_FALSE(table->FindNext());
  EXPECT_FALSE(table->Found());
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 5);
  ASSERT_TRUE(table->FindPrior());
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 3);
  // The filters were on for the searches only.
  EXPECT_TRUE(table->IsSequenced());
  EXPECT_EQ(table->RecordCount(), 5);
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));

  // Both filters, in another index's order.
  table->SetIndexName("ByName");
  table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* dataSet, bool& accept) {
    accept = dataSet->FieldByName("AMOUNT")->AsFloat() < 40;
  }));
  table->SetFilterText("CITY <> 'Rome'");
  ASSERT_TRUE(table->FindLast());
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "carol");
  ASSERT_TRUE(table->FindPrior());
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Alice");
  EXPECT_FALSE(table->FindPrior());
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));

  // Filtered, the search keeps the filters on.
  table->SetFiltered(true);
  ASSERT_TRUE(table->FindFirst());
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "Alice");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "carol"}));
}

TEST_F(DataSetTest, ASearchWhoseFilterFailsLeavesNoFilterOn) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetFilterText("CITY <> 'Rome'");
  table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* dataSet, bool& accept) {
    if (dataSet->FieldByName("ID")->AsInteger() == 4) throw EDatabaseError("refused");
    accept = true;
  }));
  EXPECT_THROW(table->FindFirst(), EDatabaseError);
  EXPECT_FALSE(table->Handle()->Filters().FilteringOn());
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
}

TEST_F(DataSetTest, ABadFilterTextIsAnEngineErrorAndLeavesTheDatasetBrowsing) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetFiltered(true);
  EXPECT_THROW(table->SetFilterText("NOSUCHFIELD = 1"), EMDBEngineError);
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 5);
}

TEST_F(DataSetTest, CopyOnAppendStartsTheNewRecordAsACopy) {
  TObjectPtr<TMDBTable> table = OpenPeople();
  table->SetCopyOnAppend(true);
  ASSERT_TRUE(table->Locate("ID", Variant(4), TLocateOptions()));
  table->Append();
  EXPECT_EQ(table->FieldByName("NAME")->AsString(), "dave");
  table->FieldByName("ID")->SetAsInteger(6);
  table->Post();
  EXPECT_EQ(table->Lookup("ID", Variant(6), "CITY").AsString(), "Paris");
}

}  // namespace

namespace {

TEST_F(DataSetTest, DisplayLabelsComeFromTheFieldDescriptions) {
  OpenPeople();
  TObjectPtr<TMDBTable> table = NewTable();
  table->RestructureIndexDefs().Update();
  TRestructureFieldDefs& fields = table->RestructureFieldDefs();
  const TRestructureFieldDef* name = fields.FindFieldDef("NAME");
  const int position = fields.IndexOf("NAME");
  const int32_t fieldNo = name->FieldNo();
  fields.Delete(position);
  fields.Add(position, "NAME", fieldNo, 0, "Full name", "", "", "", false, 20, ftString);
  table->RestructureTable({});
  table->Open();
  EXPECT_EQ(table->FieldByName("NAME")->DisplayLabel(), "NAME");
  table->SetAutoDisplayLabels(true);
  EXPECT_EQ(table->FieldByName("NAME")->DisplayLabel(), "Full name");
  EXPECT_EQ(table->FieldByName("CITY")->DisplayLabel(), "CITY");
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));
}

}  // namespace

namespace {

// Writes a field in the set-key state, as the table's ranges do.
class TKeyProbe : public TMDBTable {
public:
  using TMDBTable::TMDBTable;
  void WriteKey(const std::string& fieldName, const std::string& value) {
    const TDataSetState saved = SetTempState(dsSetKey);
    try {
      FieldByName(fieldName)->SetAsString(value);
    } catch (...) {
      RestoreState(saved);
      throw;
    }
    RestoreState(saved);
  }
};

TEST_F(DataSetTest, OnlyIndexFieldsTakeKeyValues) {
  CreatePeople();
  TObjectPtr<TKeyProbe> table(new TKeyProbe(nullptr));
  table->SetDatabaseName(folder);
  table->SetTableName("PEOPLE.DAT");
  table->SetIndexName("ByName");
  table->Open();
  table->WriteKey("NAME", "bob");
  ExpectMessage<EDatabaseError>([&] { table->WriteKey("CITY", "Rome"); }, Format(SNotIndexField, {"CITY"}));
}

TEST_F(DataSetTest, ADatasetWithoutACursorCannotOpen) {
  TObjectPtr<TMDBDataSet> dataSet(new TMDBDataSet(nullptr));
  ExpectMessage<EDatabaseError>([&] { dataSet->Open(); }, SHandleError);
  EXPECT_FALSE(dataSet->Active());
}

}  // namespace

TEST_F(DataSetTest, LookupFieldsReadAnotherTable) {
  TObjectPtr<TMDBTable> people = OpenPeople();
  people->SetIndexName("ByCity");
  TObjectPtr<TMDBTable> orders = NewTable("ORDERS.DAT");
  orders->FieldDefs().Add("ORDERID", ftInteger, 0, true);
  orders->FieldDefs().Add("PERSON", ftInteger);
  orders->IndexDefs().Add("", "ORDERID", TIndexOptions{ixPrimary, ixUnique});
  orders->CreateTable();
  orders->UpdateFieldDefs();
  for (int i = 0; i < orders->FieldDefs().Count(); ++i) orders->FieldDefs()[i]->CreateField(orders.get());
  auto* city = new TStringField(orders.get());
  city->SetFieldName("CITY");
  city->SetFieldKind(fkLookup);
  city->SetLookupDataSet(people.get());
  city->SetKeyFields("PERSON");
  city->SetLookupKeyFields("ID");
  city->SetLookupResultField("CITY");
  city->SetDataSet(orders.get());
  orders->Open();
  for (const auto& [id, person] : std::vector<std::pair<int, int>>{{1, 4}, {2, 9}, {3, 2}}) {
    orders->Append();
    orders->FieldByName("ORDERID")->SetAsInteger(id);
    orders->FieldByName("PERSON")->SetAsInteger(person);
    orders->Post();
  }
  EXPECT_EQ(Column(*orders, "CITY"), (TStrings{"Paris", "", "Rome"}));
  // The people table stays where it was.
  people->First();
  const std::string first = people->FieldByName("NAME")->AsString();
  orders->Refresh();
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), first);
  orders->Close();
}

// The lookup cursor of a table opened exclusively is a twin of its own,
// filter and all: a record posted or deleted after the twin was made is
// found, or not, as the table now holds it.
TEST_F(DataSetTest, LocateByAnotherIndexOfAnExclusiveTableSeesLaterChanges) {
  TObjectPtr<TMDBTable> table = CreatePeople();
  table->SetExclusive(true);
  table->Open();
  for (const TPerson& person : SamplePeople()) Append(*table, person);
  table->SetFilterText("AMOUNT > 1");
  table->SetFiltered(true);
  const Variant zoe = Variant::ArrayOf({Variant("Lima"), Variant("Zoe")});
  EXPECT_FALSE(table->Locate("CITY;NAME", zoe, TLocateOptions()));
  Append(*table, {9, "Zoe", "Lima", 1.5});
  table->First();
  ASSERT_TRUE(table->Locate("CITY;NAME", zoe, TLocateOptions()));
  EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 9);
  table->Delete();
  EXPECT_FALSE(table->Locate("CITY;NAME", zoe, TLocateOptions()));
}
