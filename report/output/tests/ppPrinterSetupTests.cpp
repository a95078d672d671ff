#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ppErrors.h"
#include "ppPrinter.h"
#include "rtlTestFolder.h"
#include "ppTestPrinters.h"
#include "uiCanvas.h"
#include "uiPrinterProperties.h"
#include "rtlStringList.h"

namespace {

std::vector<std::string> Items(const TStrings& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Get(i));
  return items;
}

std::unique_ptr<TppScriptedPrinters> Office() {
  auto printers = std::make_unique<TppScriptedPrinters>();
  printers->Printers["Office"].Caps = OfficeDriver();
  printers->Printers["Lab"].Caps.PaperCodes = {9};
  printers->Printers["Lab"].Caps.PaperNames = {"A4"};
  printers->Printers["Lab"].Caps.PaperSizes = {{2100, 2970}};
  printers->Default = "Office";
  return printers;
}

}  // namespace

TEST(PrinterCapabilities, DriverListsAreMadeConsistent) {
  struct Case {
    const char* Name;
    TppDriverCapabilities Driver;
    std::vector<std::string> Papers;
    std::vector<std::string> Codes;
    std::vector<std::string> Bins;
  };
  TppDriverCapabilities tenCodes;
  // Sizes for the first three only: the rest come from the standard table,
  // and 501, which has none, is dropped.
  tenCodes.PaperCodes = {1, 5, 500, 8, 9, 11, 12, 27, 66, 501};
  tenCodes.PaperNames = {"a", "b", "c", "d", "e", "f", "g", "h"};
  tenCodes.PaperSizes = {{2159, 2794}, {2159, 3556}, {1000, 1500}};
  TppDriverCapabilities extraNames;
  extraNames.PaperCodes = {9};
  extraNames.PaperNames = {"A4", "Ghost"};
  extraNames.BinNames = {"Upper", "Lower", "Default"};
  extraNames.BinCodes = {1, 2};
  const Case cases[] = {
      {"office", OfficeDriver(), {"Letter", "A4", "Envelope DL", "Custom"}, {"1", "9", "27", "300"},
       {"Default", "Upper", "Manual Feed", "Tray 3"}},
      {"ten codes, eight names",
       tenCodes,
       {"Letter 8 1/2 x 11 in", "Legal 8 12 x 14 in", "100 x 150 mm", "A3 297 x 420 mm", "A4 210 x 297 mm",
        "A5 148 x 210 mm", "B4 (JIS) 250 x 354", "Envelope DL 110 x 220mm", "A2 420 x 594 mm", "Custom"},
       {"1", "5", "500", "8", "9", "11", "12", "27", "66", "256"},
       {"Default"}},
      {"extra names", extraNames, {"A4", "Custom"}, {"9", "256"}, {"Default", "Upper", "Lower"}},
      {"nothing", TppDriverCapabilities{}, {"Custom"}, {"256"}, {"Default"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TppPrinterCapabilities caps("P", c.Driver);
    EXPECT_EQ(Items(caps.PaperNames()), c.Papers);
    EXPECT_EQ(Items(caps.PaperCodes()), c.Codes);
    EXPECT_EQ(Items(caps.BinNames()), c.Bins);
    EXPECT_EQ(caps.BinCodes().Count(), caps.BinNames().Count());
    EXPECT_EQ(caps.PaperWidths().Count(), caps.PaperNames().Count());
  }
  const TppPrinterCapabilities office("Office", OfficeDriver());
  EXPECT_TRUE(office.DriverCopies());
  EXPECT_EQ(office.PaperNameOfCode(9), "A4");
  EXPECT_EQ(office.PaperNameOfCode(12345), "Custom");
  EXPECT_EQ(office.BinNameOfCode(259), "Tray 3");
  EXPECT_EQ(office.BinNameOfCode(12345), "Default");
}

TEST(PrinterList, FindsPrintersByNameDeviceAndDefault) {
  TppScopedPrinters scoped(Office());
  TppPrinterList& list = ppPrinters();
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Info(0)->PrinterName(), "Default");
  EXPECT_EQ(list.GetDefaultPrinterName(), "Office");
  EXPECT_EQ(list.FindPrinterInfo("Default")->PrinterName(), "Office");
  EXPECT_EQ(list.FindPrinterInfo("Lab")->PrinterName(), "Lab");
  EXPECT_EQ(list.FindPrinterInfo("Lab on ipp://server")->PrinterName(), "Lab");
  EXPECT_EQ(list.FindPrinterInfo("Nowhere")->PrinterName(), "Office");
  EXPECT_NE(ppPrinter(), nullptr);
}

TEST(PrinterList, WithoutPrintersTheFallbackServes) {
  TppScopedPrinters scoped(std::make_unique<TppScriptedPrinters>());
  EXPECT_EQ(ppPrinter(), nullptr);
  TppPrinterSetup setup;
  EXPECT_EQ(setup.PrinterInfo().PrinterName(), ppNoPrinterName);
  TStringList papers;
  setup.PaperNames(papers);
  EXPECT_EQ(Items(papers), std::vector<std::string>{"Custom"});
  EXPECT_EQ(setup.GetPaperCode(), DMPAPER_USER);
}

TEST(PrinterSetup, DefaultsFollowTheDecimalSeparator) {
  TppScopedPrinters scoped(Office());
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  const TppPrinterSetup letter;
  const TppPrinterSetup a4(nullptr, comma);
  EXPECT_EQ(letter.PageDef().mmWidth(), 215900);
  EXPECT_EQ(letter.PageDef().mmHeight(), 279401);
  EXPECT_EQ(a4.PageDef().mmWidth(), 210000);
  EXPECT_EQ(a4.PageDef().mmHeight(), 297000);
  EXPECT_EQ(a4.PageDef().mmMarginLeft(), ppDefaultMargin);
  EXPECT_DOUBLE_EQ(letter.MarginTop(), 0.25);
  EXPECT_EQ(letter.PaperName(), "Custom");
  EXPECT_EQ(letter.PaperNameFromSize(), "Letter");
}

TEST(PrinterSetup, PaperNamesMatchSizesWithinAMillimetre) {
  TppScopedPrinters scoped(Office());
  struct Case {
    double Width, Height;  // millimetres
    const char* Expected;
  };
  const Case cases[] = {{210.1, 296.9, "A4"}, {211.2, 297.0, "Custom"}, {215.9, 279.4, "Letter"}};
  for (const Case& c : cases) {
    TppPrinterSetup setup;
    setup.SetUnits(utMillimeters);
    setup.SetPaperWidth(c.Width);
    setup.SetPaperHeight(c.Height);
    EXPECT_EQ(setup.PaperNameFromSize(), c.Expected) << c.Width << " x " << c.Height;
  }
}

TEST(PrinterSetup, SettersValidateAndIgnoreBadValues) {
  TppScopedPrinters scoped(Office());
  TppPrinterSetup setup;
  int pageChanges = 0;
  bool accept = true;
  setup.OnValidate = [&](TppPrinterSetup&, const TppPageDef&, bool& ok) { ok = accept; };
  setup.OnPageDefChange = [&](TppPrinterSetup&) { ++pageChanges; };
  setup.SetPrinterName("Office");
  setup.SetPaperName("Envelope DL");
  EXPECT_EQ(setup.Orientation(), poLandscape);
  EXPECT_EQ(setup.PageDef().mmWidth(), 220000);
  EXPECT_EQ(setup.PageDef().mmHeight(), 110000);
  EXPECT_EQ(setup.GetPaperCode(), 27);
  setup.SetCopies(0);
  EXPECT_EQ(setup.Copies(), 1);
  setup.SetMarginLeft(-1);
  EXPECT_EQ(setup.PageDef().mmMarginLeft(), ppDefaultMargin);
  accept = false;
  setup.SetMarginLeft(1);
  EXPECT_EQ(setup.PageDef().mmMarginLeft(), ppDefaultMargin);
  setup.SetOrientation(poPortrait);
  EXPECT_EQ(setup.Orientation(), poLandscape);
  EXPECT_EQ(pageChanges, 1);
  setup.SetBinName("Current");
  EXPECT_EQ(setup.BinName(), "Default");

  // Moving to a printer keeps the paper by its code when it has it.
  TppPrinterSetup a4;
  accept = true;
  a4.SetPrinterName("Office");
  a4.SetUnits(utMillimeters);
  a4.SetPaperWidth(210);
  a4.SetPaperHeight(297);
  a4.SetPaperName("A4");
  a4.SetPrinterName("Lab");
  EXPECT_EQ(a4.PaperName(), "A4");
  TppPrinterSetup copy;
  copy.Assign(&a4);
  EXPECT_TRUE(copy.IsEqual(a4));
  copy.SetCopies(3);
  EXPECT_FALSE(copy.IsEqual(a4));
  EXPECT_TRUE(copy.SameOrientation(a4));
}

TEST(PrinterSetup, DeviceModeRoundTripAndUnknownCodes) {
  TppScopedPrinters scoped(Office());
  TppPrinter printer;
  TppPrinterSetup& setup = printer.PrinterSetup();
  setup.SetPrinterName("Office");
  setup.SetPaperName("A4");
  setup.SetBinName("Manual Feed");
  setup.SetCopies(2);
  setup.SetCollation(false);
  printer.WriteDevMode();
  const TppDeviceMode& mode = printer.DevMode();
  EXPECT_EQ(mode.Fields & ~DM_DEFAULTSOURCE, 4355u);
  EXPECT_EQ(mode.PaperSize, 9);
  EXPECT_EQ(mode.DefaultSource, 4);
  EXPECT_EQ(mode.Copies, 2);

  using TOptions = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(printer.JobOptions(), (TOptions{{"copies", "2"},
                                            {"collate", "false"},
                                            {"sides", "one-sided"},
                                            {"media", "iso_a4_210x297mm"},
                                            {"media-source", "manual"}}));
  // Vertical duplex is the driver's horizontal one (3): bound at the short
  // edge; horizontal (2) binds at the long edge.
  setup.SetDuplex(dpVertical);
  setup.SetBinName("Default");
  setup.SetPaperName("Custom");
  setup.SetUnits(utMillimeters);
  setup.SetPaperWidth(100);
  setup.SetPaperHeight(150);
  EXPECT_EQ(printer.JobOptions(), (TOptions{{"copies", "2"},
                                            {"collate", "false"},
                                            {"sides", "two-sided-short-edge"},
                                            {"media", "Custom.100x150mm"}}));
  setup.SetDuplex(dpHorizontal);
  EXPECT_EQ(printer.JobOptions()[2].second, "two-sided-long-edge");
  setup.SetDuplex(dpVertical);
  setup.SetUnits(utInches);

  TppDeviceMode unknown = mode;
  unknown.PaperSize = 777;
  unknown.PaperWidth = 1000;
  unknown.PaperLength = 1500;
  unknown.DefaultSource = 888;
  printer.SetDevMode(unknown);
  printer.ReadDevMode();
  EXPECT_EQ(setup.PaperName(), "Custom");
  EXPECT_EQ(setup.PageDef().mmWidth(), ppUnitsToMMThousandths(ppTenthsMMToUnits(1000, utInches, axHorizontal), utInches, axHorizontal));
  EXPECT_EQ(setup.BinName(), "Default");

  setup.SetLegacyPaperCode(31337);
  setup.PaperSizeToPageDef();
  EXPECT_EQ(setup.PaperName(), "Custom");
}

TEST(Printer, PrintsPagesToAFile) {
  TppScopedPrinters scoped(Office());
  TTestFolder folder;
  TppPrinter printer;
  printer.PrinterSetup().SetPrinterName("Office");
  EXPECT_EQ(printer.PixelsPerInchX(), 600);
  ASSERT_NE(printer.GetCanvas(), nullptr);
  EXPECT_EQ(printer.GetCanvas()->PixelsPerInch(), 600);
  printer.SetOutputFileName(folder.Path() + "/out.pdf");
  printer.StartDoc();
  printer.NewPage();
  printer.GetCanvas()->TextOut(100, 100, "first");
  printer.EndPage();
  printer.NewPage();
  printer.EndPage();
  printer.EndDoc();
  EXPECT_EQ(printer.PageCount(), 2);
  std::ifstream in(folder.Path() + "/out.pdf", std::ios::binary);
  const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);

  auto printers = std::make_unique<TppScriptedPrinters>();
  printers->Printers["Zero"].Resolution = 0;
  TppScopedPrinters zero(std::move(printers));
  TppPrinter broken;
  broken.SetPrinterName("Zero");
  EXPECT_FALSE(broken.Valid());
  EXPECT_THROW(broken.StartDoc(), EPrintError);
}

TEST(Printer, ThePropertiesDialogsChoicesBecomeTheDeviceMode) {
  TppScopedPrinters scoped(Office());
  TppPrinter printer;
  TppPrinterSetup& setup = printer.PrinterSetup();
  setup.SetPrinterName("Office");
  setup.SetPaperName("Letter");
  int changes = 0;
  printer.OnDeviceModeChange = [&] { ++changes; };
  std::vector<std::string> papersShown;
  int paperShown = 0;
  SetPrinterPropertiesRunner([&](TPrinterProperties& p) {
    for (const TPrinterChoice& c : p.Papers()) papersShown.push_back(c.Name);
    paperShown = p.Paper();
    p.SetPaper(9);
    p.SetBin(4);
    p.SetOrientation(pocLandscape);
    p.SetSides(pscLongEdge);
    p.SetCopies(4);
    return true;
  });
  ASSERT_TRUE(printer.ShowProperties());
  EXPECT_EQ(paperShown, 1);
  EXPECT_EQ(papersShown, (std::vector<std::string>{"Letter", "A4", "Envelope DL", "Custom"}));
  EXPECT_EQ(changes, 1);
  const TppDeviceMode& mode = printer.DevMode();
  EXPECT_EQ(mode.PaperSize, 9);
  EXPECT_EQ(mode.DefaultSource, 4);
  EXPECT_EQ(mode.Orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(mode.Duplex, DMDUP_VERTICAL);
  EXPECT_EQ(mode.Copies, 4);
  // The setup takes the driver's choices as it reads the device mode.
  printer.ReadDevMode();
  EXPECT_EQ(setup.PaperName(), "A4");
  EXPECT_EQ(setup.Orientation(), poLandscape);
  EXPECT_EQ(setup.Duplex(), dpHorizontal);

  // Cancelled: nothing changes.
  SetPrinterPropertiesRunner([](TPrinterProperties& p) {
    p.SetPaper(1);
    return false;
  });
  EXPECT_FALSE(printer.ShowProperties());
  EXPECT_EQ(printer.DevMode().PaperSize, 9);
  EXPECT_EQ(changes, 1);

  // A printer that cannot be used shows no dialog.
  bool asked = false;
  SetPrinterPropertiesRunner([&](TPrinterProperties&) { return asked = true; });
  auto printers = std::make_unique<TppScriptedPrinters>();
  printers->Printers["Zero"].Resolution = 0;
  TppScopedPrinters zero(std::move(printers));
  TppPrinter broken;
  broken.SetPrinterName("Zero");
  EXPECT_FALSE(broken.ShowProperties());
  EXPECT_FALSE(asked);
  SetPrinterPropertiesRunner(nullptr);
}
