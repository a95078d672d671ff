#include <gtest/gtest.h>

#include "ppPrinter.h"
#include "ppPrinterInfo.h"
#include "ppTestCups.h"
#include "uiCanvas.h"

TEST(PrinterCups, ACustomPaperTravelsWithItsJob) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("Labels"));
  TCupsServerScope scope(cupsd.Socket());
  ppSetPrinterSource(ppCupsPrinterSource());

  TppPrinter printer;
  TppPrinterSetup& setup = printer.PrinterSetup();
  setup.SetPrinterName("Labels");
  ASSERT_EQ(setup.PrinterName(), "Labels");
  setup.SetPaperName("Custom");
  setup.SetUnits(utMillimeters);
  setup.SetPaperWidth(100);
  setup.SetPaperHeight(150);
  setup.SetDocumentName("Labels");
  printer.SetPrinterSetup(setup);
  printer.StartDoc();
  printer.NewPage();
  printer.GetCanvas()->TextOut(100, 100, "label");
  printer.EndDoc();
  ASSERT_GT(printer.JobId(), 0);
  // The scheduler holds the size as the job's own custom medium.
  EXPECT_EQ(JobAttribute(cupsd.Socket(), printer.JobId(), "media"), "Custom.100x150mm");
  EXPECT_EQ(JobAttribute(cupsd.Socket(), printer.JobId(), "job-name"), "Labels");
}
