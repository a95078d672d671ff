#include <gtest/gtest.h>

#include "dbPublished.h"
#include "dbTestSupport.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

// A form-like root: its owned components without a parent are its
// children in streams.
class TTestModule : public TComponent {
  RTL_DECLARE_CLASS(TTestModule, TComponent)

  explicit TTestModule(TComponent* owner) : TComponent(owner) {}
  void GetChildren(const TGetChildProc& proc, TComponent* root) override {
    for (int i = 0; i < ComponentCount(); ++i)
      if (!Components(i)->HasParent()) proc(Components(i));
    (void)root;
  }
};

RTL_DEFINE_CLASS(TTestModule)

// A dataset that knows its data's definitions from construction on, as a
// table does from its file.
class TPeopleDataSet : public TMemoryDataSet {
  RTL_DECLARE_CLASS(TPeopleDataSet, TMemoryDataSet)

  explicit TPeopleDataSet(TComponent* owner) : TMemoryDataSet(owner) {
    DefineField("ID", ftInteger, 0, true);
    DefineField("NAME", ftString, 20);
  }
};

RTL_DEFINE_CLASS(TPeopleDataSet)

namespace {

std::string WriteRoot(TComponent* root) {
  TStringStream binary;
  TWriter writer(binary);
  writer.WriteRootComponent(root);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  return text.DataString();
}

void ReadRoot(const std::string& text, TComponent* root) {
  TStringStream in(text);
  TStringStream binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TReader reader(binary);
  reader.ReadRootComponent(root);
}

void DefinePeople(TMemoryDataSet& people) {
  people.DefineField("ID", ftInteger, 0, true);
  people.DefineField("NAME", ftString, 20);
  people.DefineField("BORN", ftDate);
}

}  // namespace

TEST(DataStreaming, PersistentFieldsAndSourcesRoundTrip) {
  RegisterDataClasses();
  RegisterClass(TMemoryDataSet::StaticClassType());

  TObjectPtr<TTestModule> form(new TTestModule(nullptr));
  form->SetName("Module1");
  auto* people = new TMemoryDataSet(form.get());
  people->SetName("Table1");
  people->SetFilterText("ID > 1");
  auto* id = new TIntegerField(form.get());
  id->SetName("Table1ID");
  id->SetFieldName("ID");
  id->SetRequired(true);
  id->SetDisplayFormat("###,###");
  id->SetDataSet(people);
  auto* born = new TDateField(form.get());
  born->SetName("Table1Born");
  born->SetFieldName("BORN");
  born->SetDisplayFormat("mmm dd, yyyy");
  born->SetDisplayLabel("Born on");
  born->SetDataSet(people);
  auto* label = new TStringField(form.get());
  label->SetName("Table1Label");
  label->SetFieldName("LABEL");
  label->SetSize(40);
  label->SetFieldKind(fkCalculated);
  label->SetDataSet(people);
  auto* source = new TDataSource(form.get());
  source->SetName("DataSource1");
  source->SetDataSet(people);

  const std::string text = WriteRoot(form.get());
  EXPECT_NE(text.find("object Table1: TMemoryDataSet"), std::string::npos) << text;
  EXPECT_NE(text.find("Filter = 'ID > 1'"), std::string::npos) << text;
  EXPECT_NE(text.find("object Table1ID: TIntegerField"), std::string::npos) << text;
  EXPECT_NE(text.find("FieldKind = fkCalculated"), std::string::npos) << text;
  EXPECT_NE(text.find("DataSet = Table1"), std::string::npos) << text;
  EXPECT_EQ(text.find("Active"), std::string::npos) << text;  // default: not written

  TObjectPtr<TTestModule> copy(new TTestModule(nullptr));
  ReadRoot(text, copy.get());
  auto* readPeople = dynamic_cast<TMemoryDataSet*>(copy->FindComponent("Table1"));
  ASSERT_NE(readPeople, nullptr);
  EXPECT_EQ(readPeople->Filter(), "ID > 1");
  ASSERT_EQ(readPeople->FieldCount(), 3);
  EXPECT_EQ(readPeople->Fields(0)->Name(), "Table1ID");
  EXPECT_TRUE(readPeople->Fields(0)->Required());
  EXPECT_EQ(readPeople->Fields(1)->DisplayLabel(), "Born on");
  EXPECT_EQ(readPeople->Fields(2)->FieldKind(), fkCalculated);
  EXPECT_EQ(readPeople->Fields(2)->Size(), 40);
  auto* readSource = dynamic_cast<TDataSource*>(copy->FindComponent("DataSource1"));
  ASSERT_NE(readSource, nullptr);
  EXPECT_EQ(readSource->DataSet(), readPeople);

  // The persistent fields bind to the data once it is there.
  DefinePeople(*readPeople);
  readPeople->OnCalcFields = [](TDataSet* d) {
    d->FieldByName("LABEL")->SetAsString("#" + d->FieldByName("ID")->AsString());
  };
  readPeople->Open();
  EXPECT_FALSE(readPeople->DefaultFields());
  readPeople->Append();
  readPeople->FieldByName("ID")->SetAsInteger(1234);
  readPeople->FieldByName("BORN")->SetAsDateTime(EncodeDate(2026, 12, 7));
  readPeople->Post();
  EXPECT_EQ(readPeople->FieldByName("ID")->DisplayText(), "1,234");
  EXPECT_EQ(readPeople->FieldByName("BORN")->DisplayText(), "Dec 07, 2026");
  EXPECT_EQ(readPeople->FieldByName("LABEL")->AsString(), "#1234");
  EXPECT_EQ(ErrorOf([&] { readPeople->FieldByName("NAME"); }), "Field 'NAME' not found");
}

TEST(DataStreaming, ADataSetStreamedActiveOpensWhenLoaded) {
  RegisterDataClasses();
  RegisterClass(TPeopleDataSet::StaticClassType());
  TObjectPtr<TTestModule> form(new TTestModule(nullptr));
  auto* people = new TPeopleDataSet(form.get());
  people->SetName("Table1");
  people->Open();
  const std::string text = WriteRoot(form.get());
  EXPECT_NE(text.find("Active = True"), std::string::npos) << text;

  TObjectPtr<TTestModule> copy(new TTestModule(nullptr));
  ReadRoot(text, copy.get());
  auto* readPeople = dynamic_cast<TPeopleDataSet*>(copy->FindComponent("Table1"));
  ASSERT_NE(readPeople, nullptr);
  EXPECT_TRUE(readPeople->Active());
  EXPECT_TRUE(readPeople->DefaultFields());
}

TEST(DataStreaming, ALookupFieldFindsItsDatasetAgainWhenRead) {
  RegisterDataClasses();
  RegisterClass(TPeopleDataSet::StaticClassType());
  TObjectPtr<TTestModule> form(new TTestModule(nullptr));
  form->SetName("Module1");
  auto* people = new TPeopleDataSet(form.get());
  people->SetName("People");
  auto* friends = new TPeopleDataSet(form.get());
  friends->SetName("Friends");
  auto* friendId = new TIntegerField(form.get());
  friendId->SetName("FriendsID");
  friendId->SetFieldName("ID");
  friendId->SetDataSet(friends);
  auto* friendName = new TStringField(form.get());
  friendName->SetName("FriendsPerson");
  friendName->SetFieldName("PERSON");
  friendName->SetFieldKind(fkLookup);
  friendName->SetLookupDataSet(people);
  friendName->SetKeyFields("ID");
  friendName->SetLookupKeyFields("ID");
  friendName->SetLookupResultField("NAME");
  friendName->SetDataSet(friends);
  people->Open();
  friends->Open();

  const std::string text = WriteRoot(form.get());
  EXPECT_NE(text.find("LookupDataSet = People"), std::string::npos) << text;
  EXPECT_NE(text.find("LookupResultField = 'NAME'"), std::string::npos) << text;

  TObjectPtr<TTestModule> copy(new TTestModule(nullptr));
  ReadRoot(text, copy.get());
  auto* readPeople = dynamic_cast<TDataSet*>(copy->FindComponent("People"));
  auto* readFriends = dynamic_cast<TDataSet*>(copy->FindComponent("Friends"));
  ASSERT_TRUE(readPeople && readFriends);
  ASSERT_TRUE(readFriends->Active());
  readPeople->Append();
  readPeople->FieldByName("ID")->SetAsInteger(7);
  readPeople->FieldByName("NAME")->SetAsString("Ann");
  readPeople->Post();
  readFriends->Append();
  readFriends->FieldByName("ID")->SetAsInteger(7);
  readFriends->Post();
  EXPECT_EQ(readFriends->FieldByName("PERSON")->AsString(), "Ann");
}
