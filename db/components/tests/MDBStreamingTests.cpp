#include "MDBDatabase.h"
#include "MDBPublished.h"
#include "MDBTableTestSupport.h"
#include "dbPublished.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

namespace {

// A module whose published method a stream binds to the table's filter event.
class TFilterModule : public TComponent {
  RTL_DECLARE_CLASS(TFilterModule, TComponent)
  using TComponent::TComponent;
  void OnlyOslo(TDataSet* dataSet, bool& accept) { accept = dataSet->FieldByName("CITY")->AsString() == "Oslo"; }
};

const TClassInfo& TFilterModule::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TFilterModule>("TFilterModule").Method("OnlyOslo", &TFilterModule::OnlyOslo).Build();
  return info;
}

class StreamingTest : public TableTest {
protected:
  void SetUp() override {
    TableTest::SetUp();
    RegisterDataClasses();
    RegisterMDBClasses();
  }
  // Reads a form's text into a new root component.
  static TObjectPtr<TComponent> ReadForm(const std::string& text) {
    TObjectPtr<TComponent> root(new TComponent(nullptr));
    ReadFormText(text, *root);
    return root;
  }
};

TEST_F(StreamingTest, AFormOpensItsSessionDatabaseAndTableWhenLoaded) {
  OpenPeople();
  TObjectPtr<TComponent> form = ReadForm(
      "object Module1: TComponent\n"
      "  object Session1: TMDBSession\n"
      "    SessionName = 'Jobs'\n"
      "    LockRetryCount = 3\n"
      "    Active = True\n"
      "  end\n"
      "  object Database1: TMDBDatabase\n"
      "    DatabaseName = 'People'\n"
      "    Directory = '" + folder + "'\n"
      "    SessionName = 'Jobs'\n"
      "  end\n"
      "  object Table1: TMDBTable\n"
      "    DatabaseName = 'People'\n"
      "    SessionName = 'Jobs'\n"
      "    IndexName = 'ByName'\n"
      "    TableName = 'PEOPLE.DAT'\n"
      "    Active = True\n"
      "  end\n"
      "end\n");
  auto* session = dynamic_cast<TMDBSession*>(form->FindComponent("Session1"));
  auto* database = dynamic_cast<TMDBDatabase*>(form->FindComponent("Database1"));
  auto* table = dynamic_cast<TMDBTable*>(form->FindComponent("Table1"));
  ASSERT_TRUE(session && database && table);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(session->LockRetryCount(), 3);
  EXPECT_EQ(database->Session(), session);
  ASSERT_TRUE(table->Active());
  EXPECT_EQ(table->Database(), database);
  EXPECT_EQ(Column(*table, "NAME"), (TStrings{"Alice", "Bob", "carol", "dave", "eve"}));

  // Written back, each keeps what differs from its defaults.
  const std::string sessionText = FormText(*session);
  EXPECT_NE(sessionText.find("EngineVersion = '2.08'"), std::string::npos) << sessionText;
  EXPECT_NE(sessionText.find("LockRetryCount = 3"), std::string::npos) << sessionText;
  EXPECT_EQ(sessionText.find("LockWaitTime"), std::string::npos) << sessionText;
  const std::string tableText = FormText(*table);
  EXPECT_NE(tableText.find("IndexName = 'ByName'"), std::string::npos) << tableText;
  EXPECT_NE(tableText.find("TableName = 'PEOPLE.DAT'"), std::string::npos) << tableText;
  EXPECT_EQ(tableText.find("Exclusive"), std::string::npos) << tableText;
}

TEST_F(StreamingTest, TheFilterEventIsBoundByItsMethodName) {
  OpenPeople();
  const std::string form =
      "object Module1: TFilterModule\n"
      "  object Table1: TMDBTable\n"
      "    Filtered = True\n"
      "    OnFilterRecord = OnlyOslo\n"
      "    DatabaseName = '" + folder + "'\n"
      "    TableName = 'PEOPLE.DAT'\n"
      "    Active = True\n"
      "  end\n"
      "end\n";
  TStringStream source(form);
  TMemoryStream binary;
  ObjectTextToBinary(source, binary);
  binary.SetPosition(0);
  TObjectPtr<TFilterModule> module(new TFilterModule(nullptr));
  TReader(binary).ReadRootComponent(module.get());
  auto* table = dynamic_cast<TMDBTable*>(module->FindComponent("Table1"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"3", "5"}));
  EXPECT_NE(FormText(*table).find("OnFilterRecord = OnlyOslo"), std::string::npos);

  // Bound by name on the open table, the event's filter follows at once.
  SetPropValue(*table, "OnFilterRecord", TMethod{});
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"1", "2", "3", "4", "5"}));
  SetPropValue(*table, "OnFilterRecord", TMethod{module.get(), TFilterModule::StaticClassType().FindMethod("OnlyOslo")});
  EXPECT_EQ(Column(*table, "ID"), (TStrings{"3", "5"}));
}

}  // namespace

namespace {

// The binary form of root, and the same read back into a new component.
std::string BinaryOf(TComponent& root) {
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(&root);
  return std::string(reinterpret_cast<const char*>(binary.Memory()), static_cast<size_t>(binary.Size()));
}

TObjectPtr<TMDBTable> TableFromBinary(const std::string& bytes) {
  TMemoryStream binary;
  binary.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  binary.SetPosition(0);
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  TReader(binary).ReadRootComponent(table.get());
  return table;
}

}  // namespace

TEST_F(StreamingTest, StoredDefinitionsRoundTripInBothFormsAndCreateTheSameTable) {
  TObjectPtr<TMDBTable> table = NewTable("DEFS.DAT");
  table->SetName("Defs");
  table->FieldDefs().Add("ID", ftAutoInc, 0, true);
  table->FieldDefs().Add("NAME", ftString, 40, true);
  table->FieldDefs().Add("PRICE", ftBCD, 2);
  table->FieldDefs()[2]->SetPrecision(12);
  table->FieldDefs().Add("NOTES", ftMemo);
  table->IndexDefs().Add("", "ID", TIndexOptions{ixPrimary, ixUnique});
  table->IndexDefs().Add("ByName", "NAME;PRICE", TIndexOptions{ixCaseInsensitive, ixDescending});
  ASSERT_TRUE(table->StoreDefs());

  const std::string text = FormText(*table);
  EXPECT_NE(text.find("FieldDefs = <"), std::string::npos) << text;
  EXPECT_NE(text.find("Attributes = [faRequired]"), std::string::npos) << text;
  EXPECT_NE(text.find("DataType = ftBCD"), std::string::npos) << text;
  EXPECT_NE(text.find("Options = [ixDescending, ixCaseInsensitive]"), std::string::npos) << text;
  EXPECT_LT(text.find("EngineVersion"), text.find("FieldDefs"));
  EXPECT_LT(text.find("IndexDefs"), text.find("TableName"));

  // Binary to text and back gives the same bytes; each form reads back.
  const std::string binary = BinaryOf(*table);
  TStringStream textIn(text);
  TMemoryStream fromText;
  ObjectTextToBinary(textIn, fromText);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(fromText.Memory()), static_cast<size_t>(fromText.Size())), binary);
  TObjectPtr<TMDBTable> copy = TableFromBinary(binary);
  EXPECT_TRUE(copy->StoreDefs());
  EXPECT_TRUE(copy->FieldDefs().SameAs(table->FieldDefs()));
  EXPECT_TRUE(copy->IndexDefs().SameAs(table->IndexDefs()));
  EXPECT_EQ(copy->FieldDefs()[3]->FieldNo(), 4);
  EXPECT_EQ(copy->FieldDefs()[2]->Precision(), 12);

  // The definitions read create the table the written ones describe.
  copy->CreateTable();
  copy->SetStoreDefs(false);
  copy->FieldDefs().Clear();
  copy->IndexDefs().Clear();
  copy->Open();
  copy->IndexDefs().Update();
  EXPECT_EQ(copy->FieldDefs().Count(), 4);
  EXPECT_EQ(copy->FieldDefs()[1]->Size(), 40);
  EXPECT_EQ(copy->FieldDefs()[2]->DataType(), ftBCD);
  ASSERT_EQ(copy->IndexDefs().Count(), 2);
  EXPECT_EQ(copy->IndexDefs()[1]->Name(), "ByName");
  EXPECT_EQ(copy->IndexDefs()[1]->Fields(), "NAME;PRICE");
  EXPECT_TRUE(copy->IndexDefs()[1]->Options().Contains(ixCaseInsensitive));
  copy->Close();

  // Without StoreDefs, or with nothing in them, nothing is written.
  table->SetStoreDefs(false);
  EXPECT_EQ(FormText(*table).find("FieldDefs"), std::string::npos);
  table->IndexDefs().Clear();
  table->SetStoreDefs(true);
  const std::string fieldsOnly = FormText(*table);
  EXPECT_NE(fieldsOnly.find("FieldDefs"), std::string::npos);
  EXPECT_EQ(fieldsOnly.find("IndexDefs"), std::string::npos);
}

TEST_F(StreamingTest, ABadDefinitionInAStreamIsAReadError) {
  const std::string form =
      "object Defs: TMDBTable\n"
      "  FieldDefs = <\n"
      "    item\n"
      "      Name = 'A'\n"
      "      DataType = ftInteger\n"
      "    end\n"
      "    item\n"
      "      Name = 'a'\n"
      "      DataType = ftString\n"
      "      Size = 10\n"
      "    end>\n"
      "end\n";
  TStringStream source(form);
  TMemoryStream binary;
  ObjectTextToBinary(source, binary);
  binary.SetPosition(0);
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  try {
    TReader(binary).ReadRootComponent(table.get());
    FAIL() << "read";
  } catch (const EReadError& e) {
    EXPECT_NE(e.Message.find("Duplicate field name 'a'"), std::string::npos) << e.Message;
  }
}
