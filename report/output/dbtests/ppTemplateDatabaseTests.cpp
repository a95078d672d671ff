// Layouts stored in a table of our engine through the dataset pipeline.

#include <gtest/gtest.h>

#include "MDBTableTestSupport.h"
#include "dbDataSource.h"
#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppTemplate.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

namespace {

class TemplateDatabaseTest : public TableTest {
protected:
  TObjectPtr<TComponent> owner{new TComponent(nullptr)};
  TObjectPtr<TMDBTable> table;
  TppDBPipeline* pipeline = nullptr;

  void SetUp() override {
    TableTest::SetUp();
    ppRegisterReportClasses();
    // TEMPLATES: NAME string 40, LAYOUT BLOB, NOTES memo, KIND string 10.
    table = NewTable("TEMPLATES.DAT");
    table->FieldDefs().Add("NAME", ftString, 40);
    table->FieldDefs().Add("LAYOUT", ftBlob);
    table->FieldDefs().Add("NOTES", ftMemo);
    table->FieldDefs().Add("KIND", ftString, 10);
    table->CreateTable();
    auto* source = new TDataSource(owner.get());
    source->SetDataSet(table.get());
    pipeline = new TppDBPipeline(owner.get());
    pipeline->SetDataSource(source);
  }
  void TearDown() override {
    owner.reset();
    table->Close();
    table.reset();
    TableTest::TearDown();
  }

  // A report whose layout tells it apart: a group, band heights and a page
  // limit.
  TppReport* MakeReport(int pageLimit) {
    auto* report = new TppReport(owner.get());
    report->CreateDefaultBands();
    report->GetBand(btDetail)->SetmmHeight(pageLimit * 1000);
    auto* group = new TppGroup(report);
    group->SetReport(report);
    group->SetBreakName("OWNER");
    group->SetNewPage(true);
    report->SetPageLimit(pageLimit);
    return report;
  }
  static std::string LayoutText(TppReport& report) {
    TMemoryStream stream;
    report.Template().SetFormat(ftASCII);
    report.Template().SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
  }
  void UseTable(TppReport& report, const std::string& name, const std::string& field = "LAYOUT") {
    TppTemplateDBSettings& settings = report.Template().DatabaseSettings();
    settings.SetDataPipeline(pipeline);
    settings.SetName(name);
    settings.SetNameField("NAME");
    settings.SetTemplateField(field);
    report.Template().SetSaveTo(stDatabase);
  }
};

TEST_F(TemplateDatabaseTest, LayoutsGoIntoRecordsByNameAndComeBackTheSame) {
  TppReport* usage = MakeReport(3);
  TppReport* summary = MakeReport(9);
  UseTable(*usage, "Usage details");
  UseTable(*summary, "Summary");
  usage->Template().SetFormat(ftBinary);
  usage->Template().Save();
  summary->Template().SetFormat(ftASCII);
  summary->Template().Save();
  EXPECT_EQ(table->RecordCount(), 2);
  // Saved again under its name: the record is replaced, not added.
  usage->SetPageLimit(4);
  usage->Template().SetFormat(ftBinary);
  usage->Template().Save();
  EXPECT_EQ(table->RecordCount(), 2);

  // The table closed and opened again: what is read is what the file holds.
  table->Close();
  for (auto [original, name] : {std::pair{usage, "Usage details"}, std::pair{summary, "Summary"}}) {
    TppReport* loaded = new TppReport(owner.get());
    UseTable(*loaded, name);
    loaded->Template().Load();
    EXPECT_EQ(LayoutText(*loaded), LayoutText(*original)) << name;
  }
  EXPECT_EQ(summary->PageLimit(), 9);

  // A text layout in a memo field.
  UseTable(*summary, "Summary memo", "NOTES");
  summary->Template().Save();
  TppReport* loaded = new TppReport(owner.get());
  UseTable(*loaded, "Summary memo", "NOTES");
  loaded->Template().Load();
  EXPECT_EQ(loaded->PageLimit(), 9);
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST_F(TemplateDatabaseTest, ARecordReadBackAfterEachPostStaysTheOneWritten) {
  pipeline->SetRefreshAfterPost(true);
  TppReport* usage = MakeReport(3);
  UseTable(*usage, "Usage details");
  usage->Template().Save();
  usage->SetPageLimit(5);
  usage->Template().Save();
  EXPECT_EQ(table->RecordCount(), 1);
  TppReport* loaded = new TppReport(owner.get());
  UseTable(*loaded, "Usage details");
  loaded->Template().Load();
  EXPECT_EQ(loaded->PageLimit(), 5);
}

TEST_F(TemplateDatabaseTest, MissingRecordsAndUnfitFieldsAreClearErrorsThatChangeNothing) {
  TppReport* report = MakeReport(5);
  // The settings are part of the layout.
  UseTable(*report, "Nope");
  const std::string before = LayoutText(*report);
  ExpectMessage<ETemplateLoadError>([&] { report->Template().Load(); }, ppLoadMessage(45) + " Nope");
  EXPECT_EQ(LayoutText(*report), before);
  UseTable(*report, "Wrong field", "KIND");
  ExpectMessage<ETemplateSaveError>([&] { report->Template().Save(); }, ppLoadMessage(53));
  EXPECT_EQ(table->RecordCount(), 0);
  // Incomplete settings: saving does nothing, loading finds no record.
  report->Template().DatabaseSettings().SetTemplateField("");
  report->Template().Save();
  EXPECT_EQ(table->RecordCount(), 0);
  ExpectMessage<ETemplateLoadError>([&] { report->Template().Load(); }, ppLoadMessage(45) + " Wrong field");
}

TEST_F(TemplateDatabaseTest, AReportKeptAsATemplateFindsItsRecordThroughAPipelineOfItsOwner) {
  pipeline->SetUserName("Templates");
  TppReport* usage = MakeReport(3);
  UseTable(*usage, "Usage details");
  usage->Template().Save();
  // A report of the same owner keeps only its settings; read back, it takes
  // the pipeline of that name from its owner and the layout from the record.
  TppReport* kept = new TppReport(owner.get());
  UseTable(*kept, "Usage details");
  kept->SetSaveAsTemplate(true);
  TMemoryStream stored;
  {
    TWriter writer(stored);
    writer.WriteRootComponent(kept);
  }
  stored.SetPosition(0);
  TppReport* read = new TppReport(owner.get());
  {
    TReader reader(stored);
    reader.ReadRootComponent(read);
  }
  EXPECT_EQ(read->Template().DatabaseSettings().DataPipeline(), pipeline);
  EXPECT_EQ(read->PageLimit(), 3);
  EXPECT_EQ(read->GroupCount(), 1);
}

}  // namespace
