#include <gtest/gtest.h>

#include <cstring>

#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppTemplate.h"
#include "ppSubReport.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"

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
  EXPECT_EQ(Save(*f.Report, ftBinary), before);
}

TEST_F(TemplateTest, FilesLoadAndSaveAndAMissingFileIsNamed) {
  TReportFixture f(5);
  MakeLayout(f);
  const std::string path = ::testing::TempDir() + "orvelle-layout.rtm";
  f.Report->Template().SetFileName(path);
  f.Report->Template().SaveToFile();
  TReportFixture target(5);
  target.Report->Template().SetFileName(path);
  target.Report->Template().LoadFromFile();
  EXPECT_EQ(target.Report->GroupCount(), 1);
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
