#include <gtest/gtest.h>

#include "dbTestSupport.h"
#include "rtlDateTime.h"

namespace {

// Adds the calculated field LABEL (string 30): NAME and ID joined.
TStringField* AddLabelField(TMemoryDataSet& people) {
  people.Close();
  people.UpdateFieldDefs();
  for (int i = 0; i < people.FieldDefs().Count(); ++i) people.FieldDefs()[i]->CreateField(&people);
  auto* label = new TStringField(&people);
  label->SetFieldName("LABEL");
  label->SetSize(30);
  label->SetFieldKind(fkCalculated);
  label->SetDataSet(&people);
  people.OnCalcFields = [](TDataSet* d) {
    d->FieldByName("LABEL")->SetAsString(d->FieldByName("NAME")->AsString() + "#" +
                                         d->FieldByName("ID")->AsString());
  };
  people.Open();
  return label;
}

}  // namespace

TEST(DataSetCalcFields, ComputedPerRecordAndWhileEditing) {
  auto people = MakePeople(3);
  TStringField* label = AddLabelField(*people);
  EXPECT_FALSE(people->DefaultFields());
  EXPECT_EQ(people->CalcFieldsSize(), label->DataSize() + 1);
  people->Next();
  EXPECT_EQ(label->AsString(), "Name2#2");
  EXPECT_EQ(label->FieldNo(), -1);

  people->Edit();
  people->FieldByName("NAME")->SetAsString("Else");
  EXPECT_EQ(label->AsString(), "Else#2");
  people->Post();
  EXPECT_EQ(label->AsString(), "Else#2");

  // OnCalcFields may write calculated fields only.
  people->OnCalcFields = [](TDataSet* d) { d->FieldByName("NAME")->SetAsString("x"); };
  EXPECT_EQ(ErrorOf([&] { people->First(); }), "Dataset not in edit or insert mode");
}

TEST(DataSetCalcFields, InternalCalculatedFieldsAreStoredOnPost) {
  TObjectPtr<TMemoryDataSet> orders(new TMemoryDataSet());
  orders->DefineField("QTY", ftInteger);
  orders->DefineField("TOTAL", ftInteger);
  orders->UpdateFieldDefs();
  orders->FieldDefs()[0]->CreateField(orders.get());
  TField* total = orders->FieldDefs()[1]->CreateField(orders.get());
  total->SetFieldKind(fkInternalCalc);
  orders->OnCalcFields = [](TDataSet* d) {
    if (d->State() == dsInternalCalc)
      d->FieldByName("TOTAL")->SetAsInteger(d->FieldByName("QTY")->AsInteger() * 10);
  };
  orders->Open();
  orders->Append();
  orders->FieldByName("QTY")->SetAsInteger(4);
  orders->Post();
  EXPECT_EQ(total->AsInteger(), 40);
  orders->Close();
}

TEST(DataSetFilters, OnFilterRecordHidesRecordsWhileFiltered) {
  auto people = MakePeople(10);
  int calls = 0;
  people->SetOnFilterRecord(TFilterRecordEvent([&](TDataSet* d, bool& accept) {
    ++calls;
    EXPECT_EQ(d->State(), dsFilter);
    accept = d->FieldByName("ACTIVE")->AsBoolean();
  }));
  EXPECT_EQ(calls, 0);  // not filtered yet
  people->SetFiltered(true);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{2, 4, 6, 8, 10}));
  EXPECT_EQ(people->RecordCount(), 5);
  EXPECT_FALSE(people->IsSequenced());
  people->Last();
  EXPECT_EQ(people->RecNo(), 5);

  // A filter change while editing posts first.
  people->First();
  people->Edit();
  people->FieldByName("NAME")->SetAsString("Posted");
  people->SetFiltered(false);
  EXPECT_EQ(people->State(), dsBrowse);
  EXPECT_EQ(WalkIds(*people).size(), 10u);
  EXPECT_TRUE(people->Locate("NAME", "Posted", {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 2);

  people->SetFilterText("ID > 3");
  people->SetFilterOptions({foCaseInsensitive});
  EXPECT_EQ(people->Filter(), "ID > 3");
  EXPECT_TRUE(people->FilterOptions().Contains(foCaseInsensitive));
}

TEST(DataSetLocate, KeysOfEveryKindAndOptions) {
  auto people = MakePeople(10);
  EXPECT_TRUE(people->Locate("ID", 7, {}));
  EXPECT_EQ(people->FieldByName("NAME")->AsString(), "Name7");

  EXPECT_FALSE(people->Locate("NAME", "name3", {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 7);  // not moved
  EXPECT_TRUE(people->Locate("NAME", "name3", {loCaseInsensitive}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(people->Locate("NAME", "Name1*", {loPartialKey}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 1);
  EXPECT_TRUE(people->Locate("NAME;ACTIVE", VarArrayOf({"Name", true}), {loPartialKey}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 2);
  EXPECT_TRUE(people->Locate("BORN", Variant::FromDate(EncodeDate(2000, 1, 6) + 0.25), {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 5);
  EXPECT_TRUE(people->Locate("PRICE", Variant(4.25), {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 4);
  EXPECT_TRUE(people->Locate("AMOUNT", "9", {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);

  // A null key finds a blank field, and an empty text a blank string.
  people->Edit();
  people->FieldByName("NAME")->Clear();
  people->Post();
  people->First();
  EXPECT_TRUE(people->Locate("NAME", Variant::Null(), {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);
  people->First();
  EXPECT_TRUE(people->Locate("NAME", "", {}));
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);

  EXPECT_EQ(ErrorOf([&] { people->Locate("MISSING", 1, {}); }), "Field 'MISSING' not found");
  EXPECT_EQ(ErrorOf([&] { people->Locate("ID;NAME", 1, {}); }), "Field index out of range");
  EXPECT_EQ(ErrorOf([&] { people->Locate("ID", "abc", {}); }),
            "Could not convert variant of type (String) into type (Double)");
}

TEST(DataSetLocate, LookupReadsWithoutMoving) {
  auto people = MakePeople(10);
  AddLabelField(*people);
  people->MoveBy(2);
  Variant values = people->Lookup("ID", 8, "NAME;LABEL");
  ASSERT_TRUE(values.IsArray());
  EXPECT_EQ(values.Element(0).AsString(), "Name8");
  EXPECT_EQ(values.Element(1).AsString(), "Name8#8");
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(people->Lookup("ID", 99, "NAME").IsNull());
  EXPECT_EQ(people->Lookup("ID", 9, "AMOUNT").AsFloat(), 13.5);
  people->Next();
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 4);
}

TEST(DataSetFind, SearchesOverTheFilterWhetherOrNotFiltered) {
  auto people = MakePeople(10);
  people->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* d, bool& accept) {
    accept = d->FieldByName("ID")->AsInteger() % 3 == 0;
  }));
  int scrolls = 0;
  people->AfterScroll = [&](TDataSet*) { ++scrolls; };

  // Unfiltered: the search sees the filter, the walk does not.
  people->MoveBy(4);
  EXPECT_TRUE(people->FindFirst());
  EXPECT_TRUE(people->Found());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(people->FindNext());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);
  EXPECT_TRUE(people->FindLast());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 9);
  EXPECT_FALSE(people->FindNext());
  EXPECT_FALSE(people->Found());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 9);  // not moved
  EXPECT_TRUE(people->FindPrior());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);
  EXPECT_EQ(scrolls, 5);  // once per record found
  EXPECT_EQ(WalkIds(*people).size(), 10u);

  // From a record the filter refuses, the next accepted one.
  people->First();
  people->MoveBy(3);
  EXPECT_TRUE(people->FindNext());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);

  // Filtered: the same search over the records shown.
  people->SetFiltered(true);
  EXPECT_TRUE(people->FindLast());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 9);
  EXPECT_TRUE(people->FindPrior());
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 6);
  EXPECT_EQ(WalkIds(*people), (std::vector<int>{3, 6, 9}));

  // Pending edits are posted first; a closed dataset refuses.
  people->SetFiltered(false);
  people->First();
  people->Edit();
  people->FieldByName("NAME")->SetAsString("Edited");
  EXPECT_TRUE(people->FindNext());
  EXPECT_EQ(people->State(), dsBrowse);
  EXPECT_TRUE(people->Locate("NAME", "Edited", {}));
  people->Close();
  EXPECT_EQ(ErrorOf([&] { people->FindFirst(); }), "Cannot perform this operation on a closed dataset");

  // Nothing to find in an empty dataset, from either end.
  auto empty = MakePeople(0);
  EXPECT_FALSE(empty->FindFirst());
  EXPECT_FALSE(empty->FindPrior());
  EXPECT_TRUE(empty->IsEmpty());
}

TEST(DataSetFind, AFailingFilterEndsTheSearchWithTheFiltersOff) {
  auto people = MakePeople(5);
  people->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* d, bool& accept) {
    if (d->FieldByName("ID")->AsInteger() == 4) throw EDatabaseError("refused");
    accept = d->FieldByName("ID")->AsInteger() == 5;
  }));
  EXPECT_EQ(ErrorOf([&] { people->FindFirst(); }), "refused");
  // The records are all shown again and the dataset still browses.
  EXPECT_EQ(WalkIds(*people).size(), 5u);
  EXPECT_EQ(people->State(), dsBrowse);
}

TEST(DataSetTranslate, CopiesTheTextUnchanged) {
  auto people = MakePeople(1);
  const char source[] = "Caf\xC3\xA9 \xE2\x82\xAC";
  char dest[sizeof source];
  EXPECT_EQ(people->Translate(source, dest, true), static_cast<int>(sizeof source - 1));
  EXPECT_STREQ(dest, source);
  char same[] = "in place";
  EXPECT_EQ(people->Translate(same, same, false), 8);
  EXPECT_STREQ(same, "in place");
}
