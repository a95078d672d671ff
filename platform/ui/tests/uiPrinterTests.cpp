#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "splPrivateCupsd.h"
#include "uiPrinter.h"
#include "uiPrinterJob.h"
#include "uiPrinterPapers.h"

namespace {

// A PostScript queue description of our own: three sizes, three sources,
// two resolutions.
constexpr const char* testPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "ORVTEST.PPD"
*Manufacturer: "Orvelle"
*Product: "(Orvelle Test)"
*ModelName: "Orvelle Test Printer"
*ShortNickName: "Orvelle Test"
*NickName: "Orvelle Test Printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize w283h425/100 x 150 mm: "<</PageSize[283 425]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion w283h425/100 x 150 mm: "<</PageSize[283 425]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea Letter/US Letter: "18 36 594 756"
*ImageableArea A4/A4: "18 36 577 806"
*ImageableArea w283h425/100 x 150 mm: "0 0 283 425"
*DefaultPaperDimension: A4
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension A4/A4: "595 842"
*PaperDimension w283h425/100 x 150 mm: "283 425"
*OpenUI *InputSlot/Media Source: PickOne
*OrderDependency: 20 AnySetup *InputSlot
*DefaultInputSlot: Auto
*InputSlot Auto/Automatic: ""
*InputSlot Tray1/Tray 1: ""
*InputSlot Manual/Manual Feed: ""
*CloseUI: *InputSlot
*OpenUI *Resolution/Resolution: PickOne
*OrderDependency: 20 AnySetup *Resolution
*DefaultResolution: 600dpi
*Resolution 300dpi/300 DPI: "<</HWResolution[300 300]>>setpagedevice"
*Resolution 600dpi/600 DPI: "<</HWResolution[600 600]>>setpagedevice"
*CloseUI: *Resolution
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
)PPD";

}  // namespace

TEST(PrinterPapers, StandardCodesSizesAndNames) {
  struct Case {
    int Code;
    int Width, Height;
    const char* Name;
  };
  const Case cases[] = {{1, 2159, 2794, "Letter 8 1/2 x 11 in"},   {5, 2159, 3556, "Legal 8 12 x 14 in"},
                        {9, 2100, 2970, "A4 210 x 297 mm"},        {12, 2500, 3540, "B4 (JIS) 250 x 354"},
                        {27, 1100, 2200, "Envelope DL 110 x 220mm"}, {66, 4200, 5940, "A2 420 x 594 mm"},
                        {48, 0, 0, "Unknown"},                     {69, 0, 0, "Unknown"},
                        {256, 0, 0, "Custom"},                     {118, 0, 0, "DMPAPER_A3_EXTRA_TRANSVERSE"}};
  for (const Case& c : cases) {
    EXPECT_EQ(StandardPaperSize(c.Code).Width, c.Width) << c.Code;
    EXPECT_EQ(StandardPaperSize(c.Code).Height, c.Height) << c.Code;
    EXPECT_EQ(StandardPaperName(c.Code), c.Name) << c.Code;
  }
  EXPECT_EQ(StandardPaperName(29), " Envelope C3  324 x 458 mm");
  EXPECT_EQ(StandardPaperCode({2101, 2969}, 10), 9);
  EXPECT_EQ(StandardPaperCode({2112, 2970}, 10), 0);
}

TEST(PrinterPapers, MediaAndSourceKeywords) {
  struct Case {
    const char* Keyword;
    int Code;
    int Width, Height;
    const char* Name;
  };
  const Case cases[] = {{"na_letter_8.5x11in", 1, 2159, 2794, "Letter 8 1/2 x 11 in"},
                        {"iso_a4_210x297mm", 9, 2100, 2970, "A4 210 x 297 mm"},
                        {"om_small-photo_100x150mm", 257, 1000, 1500, "100 x 150 mm"},
                        {"custom_min_3x5in", 0, 0, 0, ""},
                        {"iso_a4", 0, 0, 0, ""},
                        {"na_bad_0x-5in", 0, 0, 0, ""}};
  for (const Case& c : cases) {
    const TPrinterPaperInfo paper = PaperFromMediaKeyword(c.Keyword, 0);
    EXPECT_EQ(paper.Code, c.Code) << c.Keyword;
    EXPECT_EQ(paper.Width, c.Width) << c.Keyword;
    EXPECT_EQ(paper.Height, c.Height) << c.Keyword;
    EXPECT_EQ(paper.Name, c.Name) << c.Keyword;
  }
  EXPECT_EQ(BinFromSourceKeyword("auto", 0).Code, DMBIN_AUTO);
  EXPECT_EQ(BinFromSourceKeyword("manual", 0).Name, "Manual Feed");
  const TPrinterBinInfo tray = BinFromSourceKeyword("tray-1", 2);
  EXPECT_EQ(tray.Code, DMBIN_USER + 3);
  EXPECT_EQ(tray.Name, "Tray 1");
}

TEST(PrinterQueues, ReadFromAPrivateCupsd) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("Plain"));
  ASSERT_TRUE(cupsd.AddQueue("Office"));
  const std::string ppd = cupsd.Folder() + "/office.ppd";
  std::ofstream(ppd) << testPpd;
  std::string output;
  ASSERT_EQ(cupsd.Run({"lpadmin", "-h", cupsd.Socket(), "-p", "Office", "-P", ppd}, &output), 0) << output;

  const std::vector<TPrinterQueueInfo> queues = EnumPrinterQueues(cupsd.Socket());
  ASSERT_EQ(queues.size(), 2u);
  const TPrinterQueueInfo& office = queues[0].Name == "Office" ? queues[0] : queues[1];
  ASSERT_EQ(office.Name, "Office");
  std::vector<int> codes;
  for (const TPrinterPaperInfo& p : office.Papers) codes.push_back(p.Code);
  EXPECT_NE(std::find(codes.begin(), codes.end(), 1), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), 9), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), DMPAPER_USER + 1), codes.end());
  std::vector<std::string> bins;
  for (const TPrinterBinInfo& b : office.Bins) bins.push_back(b.Name);
  EXPECT_NE(std::find(bins.begin(), bins.end(), "Automatically Select"), bins.end());
  EXPECT_NE(std::find(bins.begin(), bins.end(), "Manual Feed"), bins.end());
  EXPECT_NE(std::find(office.Resolutions.begin(), office.Resolutions.end(), 300), office.Resolutions.end());
  EXPECT_EQ(office.DefaultResolution, 600);
  EXPECT_FALSE(office.Color);
  EXPECT_EQ(office.DefaultMedia, "iso_a4_210x297mm");

  EXPECT_THROW(EnumPrinterQueues(cupsd.Folder() + "/no-such-socket"), EPrinterError);
}

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(PrintJob, PagesGoToAFileOrAQueue) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("Office"));

  const std::string file = cupsd.Folder() + "/report.pdf";
  {
    TPrintJob job(TPrintJobOptions{{}, "Office", "Usage", file, 300, 210, 297, {}});
    job.Canvas().TextOut(100, 100, "page one");
    job.NewPage();
    job.Canvas().TextOut(100, 100, "page two");
    EXPECT_EQ(job.PageCount(), 2);
    EXPECT_EQ(job.End(), 0);
  }
  const std::string pdf = ReadAll(file);
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_EQ(CountOf(pdf, "/Type /Page\n") + CountOf(pdf, "/Type /Page\r") + CountOf(pdf, "/Type /Page "), 2u);

  TPrintJob queued(TPrintJobOptions{cupsd.Socket(), "Office", "Usage", {}, 300, 210, 297, {{"copies", "1"}}});
  queued.Canvas().TextOut(10, 10, "queued");
  EXPECT_GT(queued.End(), 0);
  TPrintJob refused(TPrintJobOptions{cupsd.Socket(), "Missing", "Usage", {}, 300, 210, 297, {}});
  EXPECT_THROW(refused.End(), EPrinterError);
}
