#include <gtest/gtest.h>

#include "dbTestSupport.h"

namespace {

// Orders: ORDERID, PERSON (a people ID), QTY; persistent fields with the
// lookup field PERSONNAME (NAME of the person whose ID is PERSON).
struct TOrders {
  std::unique_ptr<TMemoryDataSet, TObjectFree> orders{new TMemoryDataSet()};
  TStringField* personName = nullptr;

  explicit TOrders(TDataSet* people) {
    orders->DefineField("ORDERID", ftInteger);
    orders->DefineField("PERSON", ftInteger);
    orders->DefineField("QTY", ftInteger);
    orders->UpdateFieldDefs();
    for (int i = 0; i < orders->FieldDefs().Count(); ++i) orders->FieldDefs()[i]->CreateField(orders.get());
    personName = new TStringField(orders.get());
    personName->SetFieldName("PERSONNAME");
    personName->SetSize(20);
    personName->SetFieldKind(fkLookup);
    personName->SetLookupDataSet(people);
    personName->SetKeyFields("PERSON");
    personName->SetLookupKeyFields("ID");
    personName->SetLookupResultField("NAME");
    personName->SetDataSet(orders.get());
  }
  void Add(int id, const Variant& person, int qty) {
    orders->Append();
    orders->FieldByName("ORDERID")->SetAsInteger(id);
    orders->FieldByName("PERSON")->SetValue(person);
    orders->FieldByName("QTY")->SetAsInteger(qty);
    orders->Post();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (orders->First(); !orders->Eof(); orders->Next()) names.push_back(personName->AsString());
    return names;
  }
};

}  // namespace

TEST(DataSetLookupFields, TakeTheirValueFromTheLookupDataset) {
  auto people = MakePeople(5);
  people->MoveBy(3);
  TOrders orders(people.get());
  orders.orders->Open();
  orders.Add(1, Variant(2), 10);
  orders.Add(2, Variant(5), 20);
  orders.Add(3, Variant(42), 30);      // no such person
  orders.Add(4, Variant::Null(), 40);  // no key
  EXPECT_EQ(orders.Names(), (std::vector<std::string>{"Name2", "Name5", "", ""}));
  orders.orders->First();
  EXPECT_FALSE(orders.personName->IsNull());
  orders.orders->Last();
  EXPECT_TRUE(orders.personName->IsNull());
  // The lookup dataset did not move.
  EXPECT_EQ(people->FieldByName("ID")->AsInteger(), 4);

  // A changed key looks up again while editing.
  orders.orders->First();
  orders.orders->Edit();
  orders.orders->FieldByName("PERSON")->SetAsInteger(3);
  EXPECT_EQ(orders.personName->AsString(), "Name3");
  orders.orders->Post();
  EXPECT_EQ(orders.personName->AsString(), "Name3");
  EXPECT_FALSE(orders.personName->CanModify());

  // With the lookup dataset closed the field is blank; freed, forgotten.
  people->Close();
  orders.orders->Refresh();
  EXPECT_TRUE(orders.personName->IsNull());
  people->Open();
  orders.orders->Refresh();
  EXPECT_EQ(orders.personName->AsString(), "Name3");
  people.reset();
  EXPECT_EQ(orders.personName->LookupDataSet(), nullptr);
  orders.orders->Refresh();
  EXPECT_TRUE(orders.personName->IsNull());
  orders.orders->Close();
}

TEST(DataSetLookupFields, SeveralKeysAndIncompleteInformation) {
  auto people = MakePeople(4);
  TOrders orders(people.get());
  orders.personName->SetKeyFields("PERSON;QTY");
  orders.personName->SetLookupKeyFields("ID;AMOUNT");
  orders.orders->Open();
  orders.Add(1, Variant(2), 3);  // person 2 has AMOUNT 3
  orders.Add(2, Variant(2), 4);
  EXPECT_EQ(orders.Names(), (std::vector<std::string>{"Name2", ""}));
  orders.orders->Close();

  orders.personName->SetLookupResultField("");
  EXPECT_EQ(ErrorOf([&] { orders.orders->Open(); }), "Lookup information for field 'PERSONNAME' is incomplete");
  EXPECT_FALSE(orders.orders->Active());
  orders.personName->SetLookupResultField("NAME");
  orders.personName->SetLookupKeyFields("ID");
  EXPECT_EQ(ErrorOf([&] { orders.orders->Open(); }), "Lookup information for field 'PERSONNAME' is incomplete");
  orders.personName->SetKeyFields("NOSUCH");
  EXPECT_EQ(ErrorOf([&] { orders.orders->Open(); }), "Field 'NOSUCH' not found");
  EXPECT_EQ(ErrorOf([&] { orders.personName->SetLookupDataSet(orders.orders.get()); }),
            "Circular datalinks are not allowed");
  orders.personName->SetKeyFields("PERSON");
  orders.orders->Open();
  EXPECT_EQ(ErrorOf([&] { orders.personName->SetLookupKeyFields("ID"); }),
            "Cannot perform this operation on an open dataset");
  orders.orders->Close();
}

TEST(DataSetLookupFields, ALookupChainBackToItsDatasetEnds) {
  // Each dataset looks up the other: the inner look-up of a chain that
  // returns to a dataset already looking up leaves that field blank.
  TOrders first(nullptr);
  TOrders second(first.orders.get());
  first.personName->SetLookupDataSet(second.orders.get());
  first.personName->SetLookupKeyFields("ORDERID");
  first.personName->SetLookupResultField("PERSONNAME");
  second.personName->SetLookupKeyFields("ORDERID");
  second.personName->SetLookupResultField("PERSONNAME");
  first.orders->Open();
  second.orders->Open();
  second.Add(7, Variant(7), 1);
  first.Add(7, Variant(7), 1);
  EXPECT_EQ(first.Names(), (std::vector<std::string>{""}));
  first.orders->Close();
  second.orders->Close();
}
