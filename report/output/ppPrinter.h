#pragma once
// The report's printer: the printer of a setup, its device mode (what a
// driver is told: orientation, paper, copies, duplex, bin), its resolution
// and canvas, and the document and page bracket that prints through CUPS.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ppPrinterCanvas.h"
#include "ppPrinterSetup.h"
#include "rtlClasses.h"
#include "uiPrinterPapers.h"

class TMeasuringCanvas;
class TPrintJob;
class TppPrinterInfo;

constexpr uint32_t DM_ORIENTATION = 0x0001;
constexpr uint32_t DM_PAPERSIZE = 0x0002;
constexpr uint32_t DM_PAPERLENGTH = 0x0004;
constexpr uint32_t DM_PAPERWIDTH = 0x0008;
constexpr uint32_t DM_COPIES = 0x0100;
constexpr uint32_t DM_DEFAULTSOURCE = 0x0200;
constexpr uint32_t DM_DUPLEX = 0x1000;
constexpr int DMORIENT_PORTRAIT = 1;
constexpr int DMORIENT_LANDSCAPE = 2;
constexpr int DMDUP_SIMPLEX = 1;
// Bound at the long edge (the page's long edge vertical) and at the short
// edge.
constexpr int DMDUP_VERTICAL = 2;
constexpr int DMDUP_HORIZONTAL = 3;
// The resolution of a queue that names none.
constexpr int ppFallbackResolution = 600;

struct TppDeviceMode {
  uint32_t Fields = 0;
  int Orientation = DMORIENT_PORTRAIT;
  int PaperSize = DMPAPER_LETTER;
  int PaperLength = 0;  // tenths of a millimetre
  int PaperWidth = 0;
  int Copies = 1;
  int Duplex = DMDUP_SIMPLEX;
  int DefaultSource = DMBIN_AUTO;
  bool Collate = false;
};

class TppCustomPrinter : public TObject, public TppCanvasPrinter {
public:
  TppCustomPrinter();
  ~TppCustomPrinter() override;

  const std::string& PrinterName() const { return printerName; }
  // Ignored while printing; "Default" follows the default printer.
  void SetPrinterName(const std::string& value);
  TppPrinterInfo* PrinterInfo() const { return printerInfo; }
  // The printer can be printed to and measured on.
  bool Valid() const;

  int PixelsPerInchX() const override;
  int PixelsPerInchY() const override { return PixelsPerInchX(); }
  // The unprintable margins in printer pixels: none, pages are PDF.
  TRect GetPrintableArea() const { return TRect{}; }
  bool IsColor() const;
  // The canvas of the page being printed, else one that measures at the
  // printer's resolution; nullptr when the printer is not valid.
  TCanvas* GetCanvas();
  TCanvas* MeasuringCanvas() override { return GetCanvas(); }

  const TppDeviceMode& DevMode() const { return deviceMode; }
  void SetDevMode(const TppDeviceMode& value);
  // The printer's properties dialog over the queue's options (paper,
  // source, orientation, two-sided printing, copies, collation): when the
  // user confirms, its choices become the device mode and the device-mode
  // change event fires. Answers whether the user confirmed; a printer
  // that cannot be used shows nothing and answers no.
  bool ShowProperties();

  void SetDocumentTitle(const std::string& value) { documentTitle = value; }
  void SetOutputFileName(const std::string& value) { outputFileName = value; }
  void StartDoc();
  void NewPage();
  void EndPage();
  // Hands the document to the queue; EPrintError when it refuses it.
  void EndDoc();
  void Abort();
  bool Printing() const { return printing; }
  bool Aborted() const { return aborted; }
  int PageCount() const { return pageCount; }
  // What the print server is told besides the pages: copies, collation,
  // sides, and the paper and bin by the server's own names when known.
  std::vector<std::pair<std::string, std::string>> JobOptions();
  // The CUPS job of the last document; 0 for a file.
  int JobId() const { return jobId; }
  // The copies the print server makes of the open document (told as it
  // started); 1 outside a document.
  int DocumentCopies() const { return printing ? documentCopies : 1; }

  std::function<void()> OnDeviceModeChange;

private:
  std::string printerName = "Default";
  TppPrinterInfo* printerInfo = nullptr;
  TppDeviceMode deviceMode;
  std::string documentTitle;
  std::string outputFileName;
  bool printing = false;
  bool aborted = false;
  bool pageOpen = false;
  int pageCount = 0;
  int jobId = 0;
  int documentCopies = 1;
  std::unique_ptr<TPrintJob> job;
  std::unique_ptr<TMeasuringCanvas> measuringCanvas;

  void PageSizeMM(double& width, double& height) const;
};

class TppPrinter : public TppCustomPrinter {
public:
  TppPrinter();

  TppPrinterSetup& PrinterSetup() { return setup; }
  // Switches to the setup's printer and copies the setup, unless it
  // already serves an equal one.
  void SetPrinterSetup(const TppPrinterSetup& value);
  // The setup into the device mode.
  void WriteDevMode();
  // The device mode's choices into the setup; codes the printer does not
  // list give "Custom" paper and the "Default" bin.
  void ReadDevMode();
  // The setup's paper in tenths of a millimetre, swapped for landscape.
  TPaperSize GetPaperSize() const;

private:
  TppPrinterSetup setup;
};
