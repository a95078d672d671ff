#include <gtest/gtest.h>

#include <filesystem>

#include "ppDrawBarCode.h"
#include "ppDrwCmd.h"
#include "ppErrors.h"
#include "ppGenerationKit.h"
#include "ppPage.h"
#include "ppPdfTools.h"
#include "ppPlainText.h"
#include "ppPrinter.h"
#include "ppPrinterDevice.h"
#include "ppReport.h"
#include "ppTestPrinters.h"
#include "rtlTestFolder.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"

namespace {

constexpr int printerPpi = 600;

std::unique_ptr<TppScriptedPrinters> OfficePrinter(int resolution = printerPpi) {
  auto printers = std::make_unique<TppScriptedPrinters>();
  printers->Printers["Office"] = {OfficeDriver(), resolution};
  printers->Default = "Office";
  return printers;
}

void PrintToFile(TppPrinterDevice& device, const std::string& fileName) {
  TppPrinterSetup setup;
  setup.SetPrinterName("Office");
  setup.SetDocumentName("Usage");
  setup.SetOutputFileName(fileName);
  device.Printer().SetPrinterSetup(setup);
}

TObjectPtr<TppPage> MakePage(int number, int count, const std::string& paper,
                             TPrinterOrientation orientation = poPortrait) {
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  page->AbsolutePageNo = number;
  page->AbsolutePageCount = count;
  page->FirstPage = number == 1;
  page->LastPage = number == count;
  page->Final = true;
  TppPrinterSetup& setup = *page->PrinterSetup();
  setup.SetPrinterName("Office");
  setup.SetPaperName(paper);
  setup.SetOrientation(orientation);
  return page;
}

// A page of Letter paper in mm-thousandths: 8.5 x 11 inches.
TppDrawText* AddText(TppPage& page, const std::string& text, int left, int top, int width,
                     TppTextAlignment alignment) {
  auto* command = new TppDrawText(&page);
  command->Text = text;
  command->SetLeft(left);
  command->SetTop(top);
  command->SetWidth(width);
  command->SetHeight(10000);
  command->Font()->SetName("Arial");
  command->Font()->SetSize(12);
  command->SetTextAlignment(alignment);
  command->Transparent = true;
  command->SetPage(&page);
  return command;
}

void PrintPages(TppPrinterDevice& device, const std::vector<TppPage*>& pages) {
  device.StartJob();
  for (TppPage* page : pages) device.ReceivePage(page);
  device.EndJob();
}

int Pixels(int mmThousandths) { return ppRound(mmThousandths / 25400.0 * printerPpi); }

}  // namespace

TEST(PrinterDevice, EachPageTakesItsOwnPaperAndOrientationAndAFileSpoolsNothing) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("usage.pdf"));
  auto letter = MakePage(1, 3, "Letter");
  auto a4 = MakePage(2, 3, "A4");
  auto landscape = MakePage(3, 3, "Letter", poLandscape);
  std::vector<int> started;
  device.OnStartPage = [&](TppDevice*, TppPage* page) { started.push_back(page->AbsolutePageNo); };
  PrintPages(device, {letter.get(), a4.get(), landscape.get()});

  EXPECT_FALSE(device.JobRunning());
  EXPECT_EQ(device.Printer().JobId(), 0);
  EXPECT_EQ(started, (std::vector<int>{1, 2, 3}));
  const std::vector<TPdfPageSize> sizes = PdfPageSizes(folder.File("usage.pdf"));
  ASSERT_EQ(sizes.size(), 3u) << "pdfinfo (poppler-utils) must be installed";
  const TPdfPageSize expected[] = {{612, 792}, {595.28, 841.89}, {792, 612}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(sizes[i].Width, expected[i].Width, 1) << "page " << i + 1;
    EXPECT_NEAR(sizes[i].Height, expected[i].Height, 1) << "page " << i + 1;
  }
}

TEST(PrinterDevice, APrinterThatCannotPrintCancelsTheJobAndRaises) {
  TppScopedPrinters printers(OfficePrinter(0));
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("never.pdf"));
  bool cancelled = false;
  device.OnCancelJob = [&](TppDevice*) { cancelled = true; };
  EXPECT_THROW(device.StartJob(), EPrintError);
  EXPECT_FALSE(device.JobRunning());
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(std::filesystem::exists(folder.File("never.pdf")));
}

TEST(PrinterDevice, ACancelledJobLeavesNoDocument) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("cancelled.pdf"));
  auto page = MakePage(1, 2, "Letter");
  AddText(*page, "first", 25400, 25400, 50000, taLeftJustified);
  device.StartJob();
  device.ReceivePage(page.get());
  device.CancelJob();
  EXPECT_FALSE(device.JobRunning());
  EXPECT_FALSE(std::filesystem::exists(folder.File("cancelled.pdf")));
}

TEST(PrinterDevice, LinesAreAsThickAsTheirWeightInPrinterPixels) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("lines.pdf"));
  auto page = MakePage(1, 1, "Letter");
  struct TCase {
    TppLinePositionType Position;
    TppLineStyleType Style;
    int Left, Top;
    std::vector<int> Runs;  // dark and light runs across the line, from its side
  };
  // 1 point at 600 ppi is round(600 / 72) = 8 pixels; a double line has
  // a gap of twice that between its two strokes.
  const TCase cases[] = {
      {lpTop, lsSingle, 25400, 25400, {8}},
      {lpTop, lsDouble, 25400, 76200, {8, 16, 8}},
      {lpLeft, lsDouble, 127000, 25400, {8, 16, 8}},
      {lpBottom, lsSingle, 127000, 127000, {8}},
  };
  for (const TCase& c : cases) {
    auto* line = new TppDrawLine(page.get());
    line->LinePosition = c.Position;
    line->LineStyle = c.Style;
    line->Weight = 1;
    line->SetLeft(c.Left);
    line->SetTop(c.Top);
    line->SetWidth(25400);
    line->SetHeight(25400);
    line->SetPage(page.get());
  }
  PrintPages(device, {page.get()});
  const TGreyImage image = RenderPdfPage(folder.File("lines.pdf"), 1, printerPpi, folder.File("lines"));
  ASSERT_GT(image.Width, 0) << "pdftoppm (poppler-utils) must be installed";
  for (const TCase& c : cases) {
    const int left = Pixels(c.Left), top = Pixels(c.Top), size = Pixels(25400);
    // Walk inward from the line's side through the middle of the rectangle.
    std::vector<int> runs;
    bool dark = true;
    for (int step = 0; step < size / 2; ++step) {
      int x = left + size / 2, y = top + size / 2;
      switch (c.Position) {
        case lpTop: y = top + step; break;
        case lpBottom: y = top + size - 1 - step; break;
        case lpLeft: x = left + step; break;
        case lpRight: x = left + size - 1 - step; break;
      }
      const bool ink = image.At(x, y) < 128;
      if (runs.empty() && !ink) break;
      if (runs.empty() || ink != dark) runs.push_back(0), dark = ink;
      ++runs.back();
    }
    if (!runs.empty() && !dark) runs.pop_back();
    EXPECT_EQ(runs, c.Runs) << "line at " << c.Left << "," << c.Top;
  }
}

TEST(PrinterDevice, TextLandsWhereTheMeasuringCanvasPutsIt) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("text.pdf"));
  auto page = MakePage(1, 1, "Letter");
  const std::string text = "Pages printed by Accounting, 2024";
  const int width = 127000;
  struct TCase {
    TppTextAlignment Alignment;
    int Top;
  };
  const TCase cases[] = {{taLeftJustified, 25400}, {taRightJustified, 50800}, {taCentered, 76200}};
  for (const TCase& c : cases) AddText(*page, text, 25400, c.Top, width, c.Alignment);
  PrintPages(device, {page.get()});
  const TGreyImage image = RenderPdfPage(folder.File("text.pdf"), 1, printerPpi, folder.File("text"));
  ASSERT_GT(image.Width, 0) << "pdftoppm (poppler-utils) must be installed";

  TMeasuringCanvas measuring(printerPpi);
  measuring.Font().SetName("Arial");
  measuring.Font().SetSize(12);
  const int textWidth = measuring.TextWidth(text);
  for (const TCase& c : cases) {
    const TRect rect{Pixels(25400), Pixels(c.Top), Pixels(25400 + width), Pixels(c.Top + 10000)};
    int x = 0;  // the text's origin inside the rectangle, as layout measured it
    if (c.Alignment == taRightJustified) x = rect.Width() - textWidth;
    if (c.Alignment == taCentered) x = ppRound((rect.Width() - textWidth) / 2.0 - 0.5);
    // The same text drawn at that origin on a bitmap of the rectangle.
    TBitmap reference(printerPpi);
    reference.SetSize(rect.Width(), rect.Height());
    reference.Canvas().Font().SetName("Arial");
    reference.Canvas().Font().SetSize(12);
    reference.Canvas().Brush().SetStyle(bsClear);
    reference.Canvas().TextOut(x, 0, text);
    TGreyImage expected;
    expected.Width = reference.Width();
    expected.Height = reference.Height();
    for (int py = 0; py < expected.Height; ++py)
      for (int px = 0; px < expected.Width; ++px)
        expected.Pixels.push_back(static_cast<unsigned char>(reference.Pixel(px, py) & 0xFF));
    TRect want = expected.Ink(TRect{0, 0, rect.Width(), rect.Height()});
    OffsetRect(want, rect.Left, rect.Top);
    const TRect got = image.Ink(rect);
    ASSERT_FALSE(got.IsEmpty()) << "alignment " << c.Alignment;
    EXPECT_NEAR(got.Left, want.Left, 1) << "alignment " << c.Alignment;
    EXPECT_NEAR(got.Right, want.Right, 1) << "alignment " << c.Alignment;
    EXPECT_NEAR(got.Top, want.Top, 1) << "alignment " << c.Alignment;
    EXPECT_NEAR(got.Bottom, want.Bottom, 1) << "alignment " << c.Alignment;
  }
}

TEST(PrinterDevice, EveryKindOfCommandInksItsOwnPlace) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("kinds.pdf"));
  auto page = MakePage(1, 1, "Letter");
  std::vector<std::pair<std::string, TppDrawCommand*>> commands;

  auto* shape = new TppDrawShape(page.get());
  shape->ShapeType = stEllipse;
  shape->Brush()->SetColor(clBlack);
  commands.emplace_back("shape", shape);

  auto* image = new TppDrawImage(page.get());
  TBitmap& bitmap = image->Picture()->NewBitmap();
  bitmap.SetSize(8, 8);
  bitmap.Canvas().Brush().SetColor(clBlack);
  bitmap.Canvas().FillRect(TRect{0, 0, 8, 8});
  image->Stretch = true;
  commands.emplace_back("image", image);

  auto* rich = new TppDrawRichText(page.get());
  const std::string rtf = "{\\rtf1 {\\b rich} text\\par}";
  rich->RichTextStream().WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  commands.emplace_back("rich text", rich);

  auto* barCode = new TppDrawBarCode(page.get());
  barCode->Data = "ORVELLE";
  commands.emplace_back("bar code", barCode);

  auto* memo = new TppDrawText(page.get());
  memo->IsMemo = true;
  memo->WordWrap = true;
  memo->WrappedText()->Add("name\tpages");
  memo->TabStopPositions()->Add("25400");
  commands.emplace_back("tabbed memo", memo);

  int top = 12700;
  for (auto& [name, command] : commands) {
    command->SetLeft(25400);
    command->SetTop(top);
    command->SetWidth(50800);
    command->SetHeight(19050);
    command->SetPage(page.get());
    top += 25400;
  }
  PrintPages(device, {page.get()});
  const TGreyImage rendered = RenderPdfPage(folder.File("kinds.pdf"), 1, printerPpi, folder.File("kinds"));
  ASSERT_GT(rendered.Width, 0) << "pdftoppm (poppler-utils) must be installed";
  for (auto& [name, command] : commands) {
    const TRect place{Pixels(command->Left()), Pixels(command->Top()), Pixels(command->Left() + 50800),
                      Pixels(command->Top() + 19050)};
    EXPECT_FALSE(rendered.Ink(place).IsEmpty()) << name;
    // Nothing spills below its place into the gap before the next one.
    EXPECT_TRUE(rendered.Ink(TRect{place.Left, place.Bottom + 2, place.Right, place.Bottom + Pixels(6350) - 2})
                    .IsEmpty())
        << name;
  }
  // The tabbed memo's second column starts at its stop, an inch in.
  const TRect memoPlace{Pixels(25400 + 25400), Pixels(memo->Top()), Pixels(25400 + 50800),
                        Pixels(memo->Top() + 19050)};
  const TRect secondColumn = rendered.Ink(memoPlace);
  ASSERT_FALSE(secondColumn.IsEmpty());
  EXPECT_NEAR(secondColumn.Left, memoPlace.Left, Pixels(1000));
}

TEST(PrinterDevice, TextIsJustifiedSizedAndClippedToItsRectangle) {
  TppScopedPrinters printers(OfficePrinter());
  TTestFolder folder;
  TppPrinterDevice device(nullptr);
  PrintToFile(device, folder.File("layout.pdf"));
  auto page = MakePage(1, 1, "Letter");
  // A justified memo: its first line spreads over the rectangle, the line
  // that ends the paragraph stays flush left.
  auto* memo = AddText(*page, "", 25400, 25400, 101600, taFullJustified);
  memo->IsMemo = true;
  memo->WordWrap = true;
  memo->SetHeight(25400);
  memo->WrappedText()->Add("one two three");
  memo->WrappedText()->Add(std::string("four five") + TppTextMarkups::LineBreakMarker);
  // A sized label keeps its right edge; a picture too big for its place
  // is cut to it.
  auto* label = AddText(*page, "right", 25400, 76200, 101600, taRightJustified);
  label->AutoSize = true;
  auto* image = new TppDrawImage(page.get());
  TBitmap& bitmap = image->Picture()->NewBitmap();
  bitmap.SetSize(200, 200);
  bitmap.Canvas().Brush().SetColor(clBlack);
  bitmap.Canvas().FillRect(TRect{0, 0, 200, 200});
  image->SetLeft(25400);
  image->SetTop(127000);
  image->SetWidth(12700);
  image->SetHeight(12700);
  image->SetPage(page.get());
  const TRect labelBefore = device.CalcDrawPosition(*label);
  PrintPages(device, {page.get()});
  const TGreyImage rendered = RenderPdfPage(folder.File("layout.pdf"), 1, printerPpi, folder.File("layout"));
  ASSERT_GT(rendered.Width, 0) << "pdftoppm (poppler-utils) must be installed";

  const TRect memoRect = memo->DrawRect();
  const int lineHeight = memoRect.Height() / 2;
  const TRect first = rendered.Ink(TRect{memoRect.Left, memoRect.Top, memoRect.Right, memoRect.Top + lineHeight});
  const TRect second = rendered.Ink(TRect{memoRect.Left, memoRect.Top + lineHeight, memoRect.Right, memoRect.Bottom});
  EXPECT_NEAR(first.Right, memoRect.Right, Pixels(1000));
  EXPECT_LT(second.Right, memoRect.Left + memoRect.Width() / 2);

  EXPECT_EQ(label->DrawRect().Right, labelBefore.Right);
  EXPECT_GT(label->DrawRect().Left, labelBefore.Left + labelBefore.Width() / 2);
  EXPECT_NEAR(rendered.Ink(labelBefore).Right, labelBefore.Right, Pixels(1000));

  const TRect place = device.CalcDrawPosition(*image);
  // The ink is the place, within the pixel a renderer may shade at an edge.
  const TRect ink = rendered.Ink(TRect{place.Left - 50, place.Top - 50, place.Right + 600, place.Bottom + 600});
  EXPECT_NEAR(ink.Left, place.Left, 1);
  EXPECT_NEAR(ink.Top, place.Top, 1);
  EXPECT_NEAR(ink.Right, place.Right, 1);
  EXPECT_NEAR(ink.Bottom, place.Bottom, 1);
}

TEST(PrinterDevice, AReportPrintsWithItsOwnPrinterSetup) {
  TppScopedPrinters printers(OfficePrinter());
  ppRegisterPrinterDevice();
  TTestFolder folder;
  TReportFixture f(60);
  f.AddText(f.Detail, "ID", true);
  f.Report->SetDeviceType("Printer");
  f.Report->SetShowPrintDialog(false);
  f.Report->SetShowCancelDialog(false);
  TppPrinterSetup& setup = *f.Report->PrinterSetup();
  setup.SetPrinterName("Office");
  setup.SetDocumentName("Usage by owner");
  setup.SetOutputFileName(folder.File("report.pdf"));
  const size_t pages = f.PrintAll().size();
  ASSERT_TRUE(f.Report->Print());
  // The document is the report's: its file, its name, all its pages.
  EXPECT_EQ(PdfPageSizes(folder.File("report.pdf")).size(), pages);
  const auto info = RunTool("pdfinfo '" + folder.File("report.pdf") + "'");
  ASSERT_TRUE(info);
  EXPECT_NE(info->find("Usage by owner"), std::string::npos) << *info;
}
