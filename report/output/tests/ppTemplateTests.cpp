#include <gtest/gtest.h>

#include <cstring>

#include "ppForms.h"
#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppPrinterSetup.h"
#include "ppSubReport.h"
#include "ppTemplate.h"
#include "ppUnits.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

namespace {
class TemplateTest : public ::testing::Test {
protected:
  void SetUp() override {
    ppRegisterReportClasses();
    RegisterClass(TTestText::StaticClassType());
  }

  // A grouped layout with texts in four bands.
  static void MakeLayout(TReportFixture& f) {
    TppGroup* group = f.AddGroup("OWNER", mm(12), mm(8));
    group->SetKeepTogether(true);
    f.AddText(group->HeaderBand(), "OWNER", true);
    f.AddText(group->FooterBand(), "Total", false, mm(1));
    f.AddText(f.Header, "Usage details", false);
    f.AddText(f.Detail, "ID", true, mm(2));
    static_cast<TppDetailBand*>(f.Detail)->SetBandsPerRecord(2);
    f.Report->SetPageLimit(7);
  }

  static std::string Save(TppReport& report, TppFormatType format, int32_t offset = 0) {
    TMemoryStream stream;
    report.Template().SetFormat(format);
    report.Template().SetOffset(offset);
    report.Template().SaveToStream(stream);
    std::string bytes(static_cast<size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    stream.Read(bytes.data(), stream.Size());
    return bytes;
  }

  static void Load(TppReport& report, const std::string& bytes) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    report.Template().LoadFromStream(stream);
  }
};

TEST_F(TemplateTest, LayoutsRoundTripInBothFormsAndGenerateTheSamePages) {
  TReportFixture source(40, 6);
  MakeLayout(source);
  const auto expected = source.PrintAll();
  for (const TppFormatType format : {ftBinary, ftASCII}) {
    const std::string bytes = Save(*source.Report, format);
    EXPECT_EQ(bytes.substr(0, format == ftASCII ? 6 : 4), format == ftASCII ? "object" : "TPF0");
    TReportFixture target(40, 6);
    Load(*target.Report, bytes);
    EXPECT_EQ(target.Report->Template().Format(), format);
    ASSERT_EQ(target.Report->GroupCount(), 1);
    EXPECT_EQ(target.Report->Groups(0)->BreakName(), "OWNER");
    EXPECT_TRUE(target.Report->Groups(0)->KeepTogether());
    EXPECT_EQ(target.Report->PageLimit(), 7);
    EXPECT_EQ(target.Report->BandCount(), 5);
    target.Report->FixUpDataPipeline(target.Pipeline);
    EXPECT_EQ(Save(*target.Report, format), bytes);
    const auto pages = target.PrintAll();
    ASSERT_EQ(pages.size(), expected.size());
    for (size_t p = 0; p < pages.size(); ++p) EXPECT_EQ(PageBytes(*pages[p]), PageBytes(*expected[p])) << p;
  }
}

TEST_F(TemplateTest, ColumnPositionsAreStoredInTheReportsUnitsAndMeasuredOnceTheUnitsAreRead) {
  TReportFixture source(5);
  source.Report->SetUnits(utMillimeters);
  source.Report->SetColumns(2);
  TStringList positions;
  positions.SetCommaText("12.5,100");
  source.Report->SetColumnPositions(&positions);
  for (const TppFormatType format : {ftBinary, ftASCII}) {
    const std::string bytes = Save(*source.Report, format);
    if (format == ftASCII) {
      EXPECT_NE(bytes.find("'12.5'"), std::string::npos);
    }
    // The units are stored after the positions.
    TReportFixture target(5);
    Load(*target.Report, bytes);
    EXPECT_EQ(target.Report->mmColumnPositions(), (std::vector<int>{12500, mm(100)}));
    EXPECT_EQ(Save(*target.Report, format), bytes);
  }
  // A stored position that is no number: the layout is refused, the
  // report kept.
  std::string text = Save(*source.Report, ftASCII);
  text.replace(text.find("'12.5'"), 6, "'12,5'");
  TReportFixture target(5);
  EXPECT_ANY_THROW(Load(*target.Report, text));
  EXPECT_TRUE(target.Report->mmColumnPositions().empty());
  EXPECT_EQ(target.Report->Units(), utInches);
}

TEST_F(TemplateTest, OlderLayoutsKeptColumnWidthsInTheReportsUnits) {
  const auto load = [](const std::string& columns) {
    TObjectPtr<TppReport> report(new TppReport(nullptr));
    Load(*report, "object Report: TppReport\n  Version = '2.5'\n" + columns + "  Units = utMillimeters\nend\n");
    return report;
  };
  auto report = load("  Columns = 2\n  ColumnWidth = 60.5\n");
  EXPECT_EQ(report->ColumnWidth(), 60500);
  EXPECT_EQ(report->PrinterSetup()->Units(), utMillimeters);
  // Three columns of 80 mm do not fit side by side: they share the width.
  report = load("  Columns = 3\n  ColumnWidth = 80\n");
  const int printable = report->PrinterSetup()->PageDef().mmPrintableWidth();
  ASSERT_LT(printable, 3 * mm(80));
  EXPECT_EQ(report->ColumnWidth(), printable / 3);
  // Placed columns keep their width.
  report = load("  ColumnPositions.Strings = (\n    '10'\n    '100')\n  Columns = 3\n  ColumnWidth = 80\n");
  EXPECT_EQ(report->mmColumnPositions(), (std::vector<int>{mm(10), mm(100)}));
  EXPECT_EQ(report->ColumnWidth(), std::min(mm(80), printable));
}

TEST_F(TemplateTest, ALayoutOlderThanFourIsAnnouncedOnceBeforeItsFirstPrint) {
  TReportFixture f(5);
  f.AddText(f.Detail, "ID", true);
  std::string text = Save(*f.Report, ftASCII);
  text.replace(text.find("'5.56'"), 6, "'3.5'");
  Load(*f.Report, text);
  f.Report->FixUpDataPipeline(f.Pipeline);
  ASSERT_TRUE(f.Report->ConvertedFromPre40());
  std::vector<std::string> notices;
  int shownFor = 0;
  bool printingMeanwhile = false;
  size_t pagesMeanwhile = 0;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& request) {
    if (request.Kind != dkNotice) return drOK;
    notices.push_back(request.Message);
    shownFor = request.ShowMilliseconds;
    printingMeanwhile = request.Producer->Printing();
    // A print asked for while the notice shows starts nothing.
    pagesMeanwhile = f.PrintAll().size();
    return drOK;
  });
  const auto first = f.PrintAll();
  const auto second = f.PrintAll();
  ppSetDialogRunner(previous);
  EXPECT_EQ(notices, std::vector<std::string>{TppProducer::ConversionNotice});
  EXPECT_EQ(shownFor, TppProducer::ConversionNoticeMilliseconds);
  EXPECT_TRUE(printingMeanwhile);
  EXPECT_EQ(pagesMeanwhile, 0u);
  EXPECT_FALSE(f.Report->ConvertedFromPre40());
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(second.size(), 1u);
  EXPECT_FALSE(f.Report->Printing());
}

TEST_F(TemplateTest, TheLayoutIsFoundAtItsOffset) {
  TReportFixture source(5);
  MakeLayout(source);
  const std::string text = Save(*source.Report, ftASCII);
  // Four bytes that hold the layout's offset, then the layout.
  std::string shifted(4, '\0');
  const int32_t four = 4;
  std::memcpy(shifted.data(), &four, sizeof four);
  shifted += text;
  TReportFixture target(5);
  Load(*target.Report, shifted);
  EXPECT_EQ(target.Report->Template().Offset(), 4);
  EXPECT_EQ(target.Report->GroupCount(), 1);
  // Saving with an offset leaves that many bytes before the layout.
  const std::string saved = Save(*target.Report, ftBinary, 16);
  EXPECT_EQ(saved.substr(16, 4), "TPF0");
}

TEST_F(TemplateTest, AStreamWithoutALayoutIsRefusedAndTheReportKept) {
  TReportFixture f(5);
  MakeLayout(f);
  const std::string before = Save(*f.Report, ftBinary);
  try {
    Load(*f.Report, "this is no layout at all");
    FAIL() << "no error";
  } catch (const EInvalidTemplateError& e) {
    EXPECT_EQ(e.Message, ppLoadMessage(49));
  }
  // A layout that breaks off half way is refused too.
  EXPECT_THROW(Load(*f.Report, before.substr(0, before.size() / 2)), Exception);
  // So is a stream of another object than a report.
  for (const char* other : {"object TppGroup\n  BreakName = 'OWNER'\nend\n", "object TNothingKnown\nend\n"})
    EXPECT_THROW(Load(*f.Report, other), EInvalidTemplateError) << other;
  EXPECT_EQ(Save(*f.Report, ftBinary), before);
}

TEST_F(TemplateTest, AGroupReprintsItsHeaderUnlessTheLayoutSaysOtherwise) {
  TReportFixture f(5);
  MakeLayout(f);
  TppGroup* group = f.Report->Groups(0);
  EXPECT_TRUE(group->ReprintOnSubsequentPage());
  EXPECT_TRUE(group->ReprintOnSubsequentColumn());
  const std::string reprinting = Save(*f.Report, ftASCII);
  EXPECT_EQ(reprinting.find("ReprintOnSubsequent"), std::string::npos) << "defaults are not written";

  group->SetReprintOnSubsequentPage(false);
  const std::string quiet = Save(*f.Report, ftASCII);
  EXPECT_NE(quiet.find("ReprintOnSubsequentPage = False"), std::string::npos);
  TReportFixture g(5);
  Load(*g.Report, quiet);
  EXPECT_FALSE(g.Report->Groups(0)->ReprintOnSubsequentPage());
  Load(*g.Report, reprinting);
  EXPECT_TRUE(g.Report->Groups(0)->ReprintOnSubsequentPage()) << "a layout that leaves it out means true";
}

TEST_F(TemplateTest, AReportWhoseOwnerHasTheLayoutsNameAlreadyTakesANameOfItsOwn) {
  TReportFixture f(5);
  MakeLayout(f);
  f.Report->SetName("Usage");
  const std::string bytes = Save(*f.Report, ftBinary);
  auto* second = new TppReport(f.Owner.get());
  Load(*second, bytes);
  EXPECT_EQ(second->GroupCount(), 1);
  EXPECT_NE(second->Name(), "Usage");
  EXPECT_FALSE(second->Name().empty());
  EXPECT_EQ(f.Owner->FindComponent(second->Name()), second);
}

TEST_F(TemplateTest, FilesLoadAndSaveAndAMissingFileIsNamed) {
  TReportFixture f(5);
  MakeLayout(f);
  const std::string path = ::testing::TempDir() + "orvelle-layout.rtm";
  f.Report->Template().SetFileName(path);
  f.Report->Template().SaveToFile();
  // The layout names the file it was saved to; loaded from a copy, it is
  // saved back to the copy.
  const std::string copy = ::testing::TempDir() + "orvelle-layout-copy.rtm";
  {
    TFileStream from(path, fmOpenRead);
    TFileStream to(copy, fmCreate);
    to.CopyFrom(from, from.Size());
  }
  TReportFixture target(5);
  target.Report->Template().SetFileName(copy);
  target.Report->Template().LoadFromFile();
  EXPECT_EQ(target.Report->GroupCount(), 1);
  EXPECT_EQ(target.Report->Template().FileName(), copy);
  std::remove(copy.c_str());
  target.Report->Template().SetFileName(path);
  std::remove(path.c_str());
  try {
    target.Report->Template().LoadFromFile();
    FAIL() << "no error";
  } catch (const ETemplateLoadError& e) {
    EXPECT_EQ(e.Message, ppLoadMessage(46) + " " + path);
  }
}
}  // namespace

namespace {
// A report whose published methods handle the events its layout names.
class TScriptedReport : public TppReport {
  RTL_DECLARE_CLASS(TScriptedReport, TppReport)
  using TppReport::TppReport;
  std::vector<std::string> Calls;
  void ReportStartPage(TObject*) { Calls.push_back("page " + std::to_string(AbsolutePageNo())); }
  void DetailBeforePrint(TObject* sender) { Calls.push_back(static_cast<TppBand*>(sender)->Name()); }
  void IdPrint(TObject* sender) {
    auto* id = static_cast<TppPrintable*>(sender);
    id->SetVisible(id->DataPipeline()->GetFieldAsString("ID") != "2");
  }
  void OwnerBreakValue(TObject*, std::string& value) { value = value.substr(0, 5); }
  void NoData(TObject*, TObject*, bool&, TObject*, bool&) {}
};

const TClassInfo& TScriptedReport::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TScriptedReport>("TScriptedReport")
                                     .Method("ReportStartPage", &TScriptedReport::ReportStartPage)
                                     .Method("DetailBeforePrint", &TScriptedReport::DetailBeforePrint)
                                     .Method("IdPrint", &TScriptedReport::IdPrint)
                                     .Method("OwnerBreakValue", &TScriptedReport::OwnerBreakValue)
                                     .Method("NoData", &TScriptedReport::NoData)
                                     .Build();
  return info;
}

TEST_F(TemplateTest, EventsNameMethodsOfTheRootAndCallThemOnceRead) {
  RegisterClass(TScriptedReport::StaticClassType());
  TReportFixture f(4, 2);
  const auto make = [&f] {
    auto* report = new TScriptedReport(f.Owner.get());
    report->SetShowPrintDialog(false);
    report->CreateDefaultBands();
    report->GetBand(btDetail)->SetName("Detail");
    report->SetDataPipeline(f.Pipeline);
    return report;
  };
  TScriptedReport* source = make();
  const auto bind = [source](auto& event, const char* method) {
    event.SetMethod(TMethod{source, source->ClassType().FindMethod(method)});
  };
  bind(source->OnStartPage, "ReportStartPage");
  bind(source->OnNoData, "NoData");
  TppBand* detail = source->GetBand(btDetail);
  bind(detail->BeforePrint, "DetailBeforePrint");
  auto* id = new TTestText(source);
  id->SetBand(detail);
  id->SetDataPipeline(f.Pipeline);
  id->SetDataField("ID");
  bind(id->OnPrint, "IdPrint");
  auto* group = new TppGroup(source);
  group->SetReport(source);
  group->SetBreakName("OWNER");
  bind(group->OnGetBreakValue, "OwnerBreakValue");
  auto* caption = new TTestText(source);
  caption->SetBand(group->HeaderBand());
  caption->SetCaption("G");
  // A handler of another signature is refused.
  EXPECT_THROW(bind(group->AfterGroupBreak, "OwnerBreakValue"), Exception);

  source->Template().SetFormat(ftASCII);
  const std::string text = Save(*source, ftASCII);
  for (const char* line : {"OnStartPage = ReportStartPage", "BeforePrint = DetailBeforePrint", "OnPrint = IdPrint",
                           "OnGetBreakValue = OwnerBreakValue", "OnNoData = NoData"})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  TScriptedReport* target = make();
  Load(*target, text);
  target->FixUpDataPipeline(f.Pipeline);
  TRecordingDevice device(nullptr);
  device.SetPublisher(target->Publisher());
  target->PrintToDevices();
  device.SetPublisher(nullptr);
  EXPECT_TRUE(source->Calls.empty());
  EXPECT_EQ(target->Calls, (std::vector<std::string>{"page 1", "Detail", "Detail", "Detail", "Detail"}));
  ASSERT_EQ(device.Pages.size(), 1u);
  // The break value cut to "Owner" never changes: one group header.
  EXPECT_EQ(Texts(*device.Pages[0]), (std::vector<std::string>{"G", "1", "3", "4"}));

  // A layout naming a method the root lacks is refused; the report is kept.
  std::string wrong = text;
  wrong.replace(wrong.find("= IdPrint"), 9, "= Missing");
  const std::string before = Save(*target, ftBinary);
  EXPECT_THROW(Load(*target, wrong), Exception);
  EXPECT_EQ(Save(*target, ftBinary), before);
}
}  // namespace

namespace {
TEST_F(TemplateTest, OlderLayoutsAreConvertedWhileTheyLoad) {
  RegisterClass(TScriptedReport::StaticClassType());
  TReportFixture f(4, 2);
  auto* report = new TScriptedReport(f.Owner.get());
  const std::string old =
      "object Legacy: TScriptedReport\n"
      "  Version = '1.2'\n"
      "  RulerUnits = utMillimeters\n"
      "  Orientation = poLandscape\n"
      "  NoDataPages = 3\n"
      "  AllowPrintCancel = True\n"
      "  object Detail: TppDetailBand\n"
      "    mmHeight = 38\n"
      "    PrintHeight = phDynamic\n"
      "    OnPrint = DetailBeforePrint\n"
      "    DataSource = 'dsJobs'\n"
      "    Left = 0\n"
      "  end\n"
      "  object Group1: TppGroup\n"
      "    FieldName = 'OWNER'\n"
      "    NewPage = True\n"
      "    ReprintOnSubsequent = True\n"
      "    NewPageThreshold = 2.5\n"
      "  end\n"
      "end\n";
  Load(*report, old);
  EXPECT_TRUE(report->Converted());
  EXPECT_TRUE(report->ConvertedFromPre40());
  EXPECT_EQ(report->Version(), TppProducer::CurrentVersion);
  EXPECT_EQ(report->VersionNo(), TppProducer::VersionToNumber(TppProducer::CurrentVersion));
  EXPECT_EQ(report->PassSetting(), psTwoPass);
  EXPECT_FALSE(report->AutoStop());
  EXPECT_EQ(report->Units(), utMillimeters);
  EXPECT_EQ(report->PageLimit(), 3);
  EXPECT_EQ(report->PrinterSetup()->Orientation(), poLandscape);
  TppBand* detail = report->GetBand(btDetail);
  const int height = ppUnitsToMMThousandths(38, utScreenPixels, axVertical);
  EXPECT_EQ(detail->mmHeight(), height);
  EXPECT_EQ(detail->mmBottomOffset(), height);
  ASSERT_TRUE(detail->BeforePrint.Method());
  EXPECT_EQ(detail->BeforePrint.Method().Code->Name(), "DetailBeforePrint");
  EXPECT_EQ(detail->BeforePrint.Method().Data, report);
  ASSERT_EQ(report->GroupCount(), 1);
  TppGroup* group = report->Groups(0);
  EXPECT_EQ(group->BreakName(), "OWNER");
  EXPECT_TRUE(group->NewColumn());
  EXPECT_TRUE(group->ReprintOnSubsequentPage());
  EXPECT_EQ(group->mmNewPageThreshold(), 2500);
  EXPECT_EQ(group->mmNewColumnThreshold(), 2500);

  // Saved again: the current version, without the older properties, and
  // nothing to convert when it is read back.
  const std::string text = Save(*report, ftASCII);
  EXPECT_NE(text.find("Version = '5.56'"), std::string::npos);
  for (const char* gone : {"RulerUnits", "FieldName", "OnPrint", "DataSource", "NoDataPages"})
    EXPECT_EQ(text.find(gone), std::string::npos) << gone;
  // (Each read names its report as the layout does: one report an owner.)
  TObjectPtr<TScriptedReport> again(new TScriptedReport(nullptr));
  Load(*again, text);
  EXPECT_FALSE(again->Converted());
  EXPECT_EQ(again->GetBand(btDetail)->mmHeight(), height);
  EXPECT_EQ(again->Groups(0)->mmNewPageThreshold(), 2500);
  // Version texts: "Beta Build" layouts of the current number count as 3.999
  // (build 7 and later) or 3.998.
  EXPECT_EQ(TppProducer::VersionToNumber("5.56"), 5560);
  EXPECT_EQ(TppProducer::VersionToNumber("1.0"), 1000);
  EXPECT_EQ(TppProducer::VersionToNumber("4.0"), 4000);
  TObjectPtr<TScriptedReport> beta(new TScriptedReport(nullptr));
  std::string betaText = text;
  betaText.replace(betaText.find("'5.56'"), 6, "'5.56 Beta Build 8'");
  Load(*beta, betaText);
  EXPECT_TRUE(beta->Converted());
  EXPECT_TRUE(beta->ConvertedFromPre40());
}
}  // namespace

namespace {
// A form-like owner whose published method handles a report's event.
class TUsageForm : public TComponent {
  RTL_DECLARE_CLASS(TUsageForm, TComponent)
  using TComponent::TComponent;
  int PagesStarted = 0;
  void FormStartPage(TObject*) { ++PagesStarted; }
};

const TClassInfo& TUsageForm::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TUsageForm>("TUsageForm").Method("FormStartPage", &TUsageForm::FormStartPage).Build();
  return info;
}

TEST_F(TemplateTest, EventsNameMethodsOfTheReportsOwner) {
  TReportFixture f(30);
  TObjectPtr<TUsageForm> form(new TUsageForm(nullptr));
  auto* source = new TppReport(form.get());
  source->CreateDefaultBands();
  EXPECT_EQ(source->Template().Root(), form.get());
  source->OnStartPage.SetMethod(TMethod{form.get(), form->ClassType().FindMethod("FormStartPage")});
  const std::string text = Save(*source, ftASCII);
  EXPECT_NE(text.find("OnStartPage = FormStartPage"), std::string::npos);

  auto* target = new TppReport(form.get());
  Load(*target, text);
  target->SetShowPrintDialog(false);
  TRecordingDevice device(nullptr);
  device.SetPublisher(target->Publisher());
  target->PrintToDevices();
  device.SetPublisher(nullptr);
  EXPECT_EQ(form->PagesStarted, 1);
  // Without an owner the report is the root, and the form's method is
  // nowhere: the layout is refused.
  EXPECT_EQ(f.Report->Template().Root(), f.Owner.get());
  TObjectPtr<TppReport> alone(new TppReport(nullptr));
  EXPECT_EQ(alone->Template().Root(), alone.get());
  EXPECT_THROW(Load(*alone, text), Exception);
}

TEST_F(TemplateTest, TheDatabaseSettingsTravelWithTheLayout) {
  TReportFixture f(5);
  f.Pipeline->SetUserName("Templates");
  TppReportTemplate& settings = f.Report->Template();
  settings.DatabaseSettings().SetDataPipeline(f.Pipeline);
  settings.DatabaseSettings().SetName("Usage details");
  settings.DatabaseSettings().SetNameField("NAME");
  settings.DatabaseSettings().SetTemplateField("LAYOUT");
  settings.SetSaveTo(stDatabase);
  settings.SetFileName("usage.rtm");
  const std::string text = Save(*f.Report, ftASCII);
  EXPECT_NE(text.find("Template.DatabaseSettings.DataPipelineName = 'Templates'"), std::string::npos) << text;

  TReportFixture g(5);
  Load(*g.Report, text);
  TppReportTemplate& read = g.Report->Template();
  EXPECT_EQ(read.SaveTo(), stDatabase);
  EXPECT_EQ(read.FileName(), "usage.rtm");
  EXPECT_EQ(read.Name(), "Usage details");
  EXPECT_EQ(read.DatabaseSettings().NameField(), "NAME");
  EXPECT_EQ(read.DatabaseSettings().TemplateField(), "LAYOUT");
  EXPECT_EQ(read.DatabaseSettings().DataPipelineName(), "Templates");
  EXPECT_FALSE(read.DatabaseSettings().Complete()) << "no pipeline bound yet";
  g.Report->FixUpDataPipeline(g.Pipeline);
  EXPECT_EQ(read.DatabaseSettings().DataPipeline(), nullptr) << "another name";
  g.Report->FixUpDataPipeline(f.Pipeline);
  EXPECT_EQ(read.DatabaseSettings().DataPipeline(), f.Pipeline);
  EXPECT_TRUE(read.DatabaseSettings().Complete());
  // A pipeline freed is let go (its name stays).
  auto* spare = new TppDBPipeline(nullptr);
  spare->SetUserName("Spare");
  read.DatabaseSettings().SetDataPipeline(spare);
  spare->Free();
  EXPECT_EQ(read.DatabaseSettings().DataPipeline(), nullptr);
  EXPECT_EQ(read.DatabaseSettings().DataPipelineName(), "Spare");
}

TEST_F(TemplateTest, ReadErrorsAreIgnoredOnceOrForAllOrStopTheLoadAsTheUserAnswers) {
  TReportFixture f(5);
  MakeLayout(f);
  std::string text = Save(*f.Report, ftASCII);
  // Two values no report takes, around a page limit that reads.
  const size_t at = text.find("PageLimit = 7");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 13, "Bogus = 1\n  PageLimit = 9\n  Columns = 'two'");

  TReportFixture g(5);
  const std::string before = Save(*g.Report, ftBinary);
  std::vector<std::string> messages;
  TppDialogResult answer = drCancel;
  const TppDialogRunner previous = ppSetDialogRunner([&](TppDialogRequest& request) {
    EXPECT_EQ(request.Kind, dkTemplateError);
    messages.push_back(request.Message);
    return answer;
  });
  EXPECT_THROW(Load(*g.Report, text), Exception);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Bogus"), std::string::npos);
  EXPECT_EQ(messages[0].substr(messages[0].size() - 31), "\n" + ppLoadMessage(50));
  EXPECT_EQ(Save(*g.Report, ftBinary), before);

  // Each error asked for once, not again when the layout is read for good.
  messages.clear();
  answer = drIgnore;
  Load(*g.Report, text);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(g.Report->PageLimit(), 9);
  EXPECT_EQ(g.Report->GroupCount(), 1);

  messages.clear();
  answer = drIgnoreAll;
  Load(*g.Report, text);
  EXPECT_EQ(messages.size(), 1u);

  // Nobody to ask: the load stops.
  ppSetDialogRunner(nullptr);
  TReportFixture h(5);
  EXPECT_THROW(Load(*h.Report, text), Exception);
  EXPECT_EQ(h.Report->PageLimit(), 0);
  ppSetDialogRunner(previous);
}
TEST_F(TemplateTest, ADrillDownSubreportKeepsItsComponentByName) {
  TReportFixture f(5);
  TTestText* label = f.AddText(f.Detail, "ID", true);
  label->SetName("OwnerLabel");
  auto* sub = new TppSubReport(f.Report);
  sub->SetName("Jobs");
  sub->SetBand(f.Detail);
  sub->SetDrillDownComponent(label);
  sub->SetExpandAll(true);
  const std::string text = Save(*f.Report, ftASCII);
  EXPECT_NE(text.find("DrillDownComponent = OwnerLabel"), std::string::npos) << text;

  TReportFixture g(5);
  Load(*g.Report, text);
  int band = 0;
  TppComponent* read = nullptr;
  ASSERT_TRUE(g.Report->FindComponentByUserName("Jobs", band, read));
  auto* readSub = dynamic_cast<TppSubReport*>(read);
  ASSERT_TRUE(readSub);
  ASSERT_TRUE(readSub->DrillDownComponent());
  EXPECT_EQ(readSub->DrillDownComponent()->Name(), "OwnerLabel");
  EXPECT_EQ(readSub->DrillDownComponent()->Band(), readSub->Band());
  EXPECT_TRUE(readSub->ExpandAll());
  EXPECT_EQ(readSub->Report()->ParentReport(), g.Report);
}
TEST_F(TemplateTest, AReportKeptAsATemplateTakesItsLayoutFromTheTemplateAsItIsRead) {
  TReportFixture f(5);
  MakeLayout(f);
  // The file holds the setting too: reading it must not load it again.
  f.Report->SetSaveAsTemplate(true);
  const std::string path = ::testing::TempDir() + "orvelle-kept-layout.rtm";
  f.Report->Template().SetFileName(path);
  f.Report->Template().SaveToFile();

  // Where the report itself is stored (a form, say) only its settings are.
  TReportFixture g(5);
  g.Report->SetSaveAsTemplate(true);
  g.Report->Template().SetFileName(path);
  TMemoryStream stored;
  {
    TWriter writer(stored);
    writer.WriteRootComponent(g.Report);
  }
  const auto readBack = [&stored](TppReport& report) {
    stored.SetPosition(0);
    TReader reader(stored);
    reader.ReadRootComponent(&report);
  };
  TObjectPtr<TppReport> read(new TppReport(nullptr));
  readBack(*read);
  EXPECT_TRUE(read->SaveAsTemplate());
  EXPECT_EQ(read->GroupCount(), 1);
  EXPECT_EQ(read->PageLimit(), 7);

  std::remove(path.c_str());
  TObjectPtr<TppReport> missing(new TppReport(nullptr));
  EXPECT_THROW(readBack(*missing), ETemplateLoadError);
}
}  // namespace
