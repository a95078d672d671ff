// The table definition text and the jobs table's start-up check: created
// after asking, kept when equal, restructured with its rows, losses told.

#include <filesystem>

#include "DBINIFiles.h"
#include "JobsDataModuleTestSupport.h"
#include "MDBTable.h"
#include "MonitorCommon.h"
#include "dbField.h"
#include "rtlFormat.h"

namespace {

// A definition text of the test's own, registered as a resource.
class TIniText : public TMemoryIniFile {
public:
  explicit TIniText(const std::string& text) : TMemoryIniFile("") { SetText(text); }
};

TEST(DefinitionText, KeysSectionsNumbersAndTypes) {
  TIniText ini(
      "; FD0=Comment,\"\",ftString,9,0\r\n"
      "TOP=before any section\r\n"
      "[jobs]\r\n"
      "BLOB_SIZE=0x40\r\n"
      "FLAG=abc\r\n"
      "[other]\r\n"
      "LATER=1\r\n");
  EXPECT_EQ(ini.ReadInteger("jobs", "BLOB_SIZE", 512), 64);
  EXPECT_EQ(ini.ReadInteger("jobs", "FLAG", 7), 7);
  EXPECT_TRUE(ini.ReadBool("JOBS", "BLOB_SIZE", false));
  EXPECT_EQ(ini.ReadString("jobs", "LATER", "none"), "none");
  EXPECT_EQ(ini.ReadString("missing", "TOP", "none"), "before any section");
  EXPECT_EQ(ini.ReadString("missing", "LATER", "none"), "none");
  EXPECT_EQ(ini.ReadString("jobs", "blob_size", "none"), "none");  // keys keep their case
  EXPECT_EQ(FieldTypeFromName("FTMEMO"), ftMemo);
  EXPECT_EQ(FieldTypeFromName("ftNothing"), ftUnknown);
}

TEST(DefinitionText, AGapEndsTheFieldList) {
  TDBIniFile ini("");
  ini.SetText(
      "[t]\r\nFD0=A,\"\",ftInteger,0,1\r\nFD1=B,\"\",ftString,10,0\r\nFD3=D,\"\",ftInteger,0,0\r\n"
      "IX0=,\"\",\"A\",1,1,0,3\r\nIX1=ByB,\"\",\"B;A\",0,0,1,2\r\n");
  std::unique_ptr<TMDBTable> table = ini.ReadMDBTable("/tmp", "t.dat");
  ASSERT_EQ(table->FieldDefs().Count(), 2);
  EXPECT_EQ(table->FieldDefs()[1]->Name(), "B");
  EXPECT_EQ(table->FieldDefs()[1]->Size(), 10);
  EXPECT_TRUE(table->FieldDefs()[0]->Required());
  ASSERT_EQ(table->IndexDefs().Count(), 2);
  EXPECT_EQ(table->IndexDefs()[0]->Options(), (TIndexOptions{ixPrimary, ixUnique, ixCaseInsensitive}));
  EXPECT_EQ(table->IndexDefs()[1]->Options(), (TIndexOptions{ixDescending}));
  std::string line;
  EXPECT_EQ(GetCSVField(ini.GetIndexValue("t", "ByB", line), 7), "2");
  EXPECT_EQ(ini.GetIndexValue("t", "byb", line), "");
}

TEST(DefinitionText, TheProgramCarriesTheJobsDefinition) {
  TDBIniFile ini(JobsDefinitionResource);
  std::unique_ptr<TMDBTable> table = ini.ReadMDBTable("/tmp", JobsDefinitionName);
  ASSERT_EQ(table->FieldDefs().Count(), 14);
  EXPECT_EQ(table->FieldDefs()[0]->DataType(), ftAutoInc);
  EXPECT_EQ(table->FieldDefs()[5]->Name(), "PrinterName");
  EXPECT_EQ(table->FieldDefs()[5]->Size(), 250);
  EXPECT_EQ(table->FieldDefs()[11]->DataType(), ftMemo);
  ASSERT_EQ(table->IndexDefs().Count(), 5);
  EXPECT_EQ(table->IndexDefs()[4]->Fields(), "MachineName;JobDate;JobTime;JobID;JobOwner;PrinterName");
  EXPECT_EQ(ini.ReadInteger("jobs", "BLOB_SIZE", 512), 64);
  EXPECT_EQ(ini.ReadString("jobs", "DESCRIPTION", ""), "Printer Jobs Table");
}

class StartupCheckTest : public DataFolderTest {};

TEST_F(StartupCheckTest, AMissingTableIsCreatedOnlyWhenTheAnswerIsYes) {
  answer = false;
  EXPECT_FALSE(CheckDatabase());
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], std::string(SPleaseConfirm) + ": " + SDatabaseNotFound);
  EXPECT_FALSE(std::filesystem::exists(folder));

  answer = true;
  EXPECT_TRUE(CheckDatabase());
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_TRUE(alerts.empty());
  TDataModule1 module(folder);
  std::vector<std::string> names;
  module.GetIndexNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"ByDate", "ByOwner", "ByPrinter", "ByComputer"}));
  EXPECT_EQ(module.Table1().IndexName(), JobsDefaultIndex);
  EXPECT_EQ(module.Table1().RecordCount(), 0);
}

TEST_F(StartupCheckTest, AnIdenticalTableIsKeptAsItIs) {
  ASSERT_TRUE(CheckDatabase());
  const auto stamp = std::filesystem::last_write_time(folder + "/JOBS.DAT");
  const auto size = std::filesystem::file_size(folder + "/JOBS.DAT");
  ASSERT_TRUE(CheckDatabase());
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(std::filesystem::last_write_time(folder + "/JOBS.DAT"), stamp);
  EXPECT_EQ(std::filesystem::file_size(folder + "/JOBS.DAT"), size);
}

TEST_F(StartupCheckTest, AnOlderStructureIsRestructuredKeepingEveryRow) {
  // The table as an older program made it: no JobPrinted, a shorter
  // owner, no ByComputer index.
  std::filesystem::create_directories(folder);
  {
    TMDBTable old(nullptr);
    old.SetDatabaseName(folder);
    old.SetTableName(JobsTableName);
    old.FieldDefs().Add("_RecRef", ftAutoInc, 0, true);
    old.FieldDefs().Add("JobDate", ftDate, 0, true);
    old.FieldDefs().Add("JobTime", ftTime, 0, true);
    old.FieldDefs().Add("JobID", ftInteger, 0, true);
    old.FieldDefs().Add("MachineName", ftString, 40);
    old.FieldDefs().Add("PrinterName", ftString, 250);
    old.FieldDefs().Add("JobOwner", ftString, 20);
    old.FieldDefs().Add("Document", ftMemo);
    old.FieldDefs().Add("JobStatus", ftInteger);
    old.IndexDefs().Add("", "_RecRef", TIndexOptions{ixPrimary, ixUnique});
    old.IndexDefs().Add("ByDate", "JobDate;JobTime;JobID", TIndexOptions{ixCaseInsensitive});
    old.CreateTable();
    old.Open();
    for (int i = 1; i <= 25; ++i) {
      old.Append();
      old.FieldByName("JobDate")->SetAsDateTime(45000 + i);
      old.FieldByName("JobTime")->SetAsDateTime(0.5);
      old.FieldByName("JobID")->SetAsInteger(i);
      old.FieldByName("JobOwner")->SetAsString("USER" + std::to_string(i));
      old.FieldByName("Document")->SetAsString("doc " + std::to_string(i));
      old.Post();
    }
    old.Close();
  }
  ASSERT_TRUE(CheckDatabase());
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(alerts, (std::vector<std::string>{SDatabaseRestructured}));

  auto module = std::make_unique<TDataModule1>(folder);
  module->Table1().SetIndexName("");
  const std::vector<std::string> rows = Rows(module->Table1(), {"JobID", "JobOwner", "Document", "JobPrinted"});
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0], "1|USER1|doc 1|");  // the new column is blank in old rows
  EXPECT_EQ(rows[24], "25|USER25|doc 25|");
  std::vector<std::string> names;
  module->GetIndexNames(names);
  EXPECT_EQ(names.back(), "ByComputer");
  EXPECT_EQ(module->Table1().FieldByName("JobOwner")->Size(), 40);
  module.reset();

  // Now it has the definition's structure: the next start changes nothing.
  alerts.clear();
  ASSERT_TRUE(CheckDatabase());
  EXPECT_TRUE(alerts.empty());
}

TEST_F(StartupCheckTest, ARestructureThatLosesRowsSaysSo) {
  // Two rows that the new unique index ByOwner cannot both hold.
  std::filesystem::create_directories(folder);
  {
    TMDBTable old(nullptr);
    old.SetDatabaseName(folder);
    old.SetTableName(JobsTableName);
    old.FieldDefs().Add("JobDate", ftDate, 0, true);
    old.FieldDefs().Add("JobTime", ftTime, 0, true);
    old.FieldDefs().Add("JobID", ftInteger, 0, true);
    old.FieldDefs().Add("PrinterName", ftString, 250);
    old.FieldDefs().Add("JobOwner", ftString, 40);
    old.CreateTable();
    old.Open();
    for (int i = 0; i < 3; ++i) {
      old.Append();
      old.FieldByName("JobDate")->SetAsDateTime(45000);
      old.FieldByName("JobTime")->SetAsDateTime(0.25);
      old.FieldByName("JobID")->SetAsInteger(i == 2 ? 8 : 7);
      old.FieldByName("JobOwner")->SetAsString("ANNA");
      old.Post();
    }
    old.Close();
  }
  ASSERT_TRUE(CheckDatabase());
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0], SDatabaseRestructured);
  EXPECT_NE(alerts[1].find("lost data: 1 "), std::string::npos) << alerts[1];
  TDataModule1 module(folder);
  EXPECT_EQ(module.Table1().RecordCount(), 2);
}

}  // namespace
