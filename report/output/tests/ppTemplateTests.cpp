#include <gtest/gtest.h>

#include <cstring>

#include "ppGenerationKit.h"
#include "ppGroup.h"
#include "ppMessages.h"
#include "ppTemplate.h"
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
