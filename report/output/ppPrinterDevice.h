#pragma once
// The device that prints pages: each page's own printer setup is applied
// before the page, every draw command is drawn in printer pixels, and
// copies are made either by the print server, by printing each page again,
// or by serving the whole job again (collated), never two of these at once:
// when the server was told to copy the document, the device makes one.
// The document's copies come from the device's printer setup, which the
// caller sets to the report's before the job.

#include <memory>

#include "ppDevice.h"
#include "ppTypes.h"
#include "uiGraphics.h"

class TCanvas;
class TppDrawImage;
class TppDrawLine;
class TppDrawShape;
class TppDrawText;
class TppPrinter;
class TBitmap;

class TppPrinterDevice : public TppRasterDevice {
  RTL_DECLARE_CLASS(TppPrinterDevice, TppRasterDevice)

  explicit TppPrinterDevice(TComponent* owner);
  ~TppPrinterDevice() override;

  std::string DeviceName() const override { return "Printer"; }
  // The device's own printer: its setup names the printer, the document
  // and, for printing to a file, the file.
  TppPrinter& Printer() { return *printer; }
  // The printer's canvas while a job runs, else nullptr.
  TCanvas* Canvas() const { return canvas; }

  // Opens the document; a printer that cannot print cancels the job and
  // raises EPrintError.
  void StartJob() override;
  void ReceivePage(TppPage* page) override;
  // Hands the document to the print server once the last collated copy
  // is done; a queue that refuses it cancels the job and raises.
  void EndJob() override;
  // Abandons the document: nothing reaches the queue.
  void CancelJob() override;
  bool DrawCommand(TppDrawCommand* command) override;

  // The command's rectangle in printer pixels, from the paper's edge.
  TRect CalcDrawPosition(const TppDrawCommand& command) const;

  bool StartDocAtStartJob = true;
  bool EndDocAtEndJob = true;
  TPageEvent OnStartPage;
  TPageEvent OnEndPage;

protected:
  // True when the last collated copy is done; otherwise serves the job
  // once more and answers false.
  virtual bool CopiesDone();
  virtual void DrawShape(TppDrawShape& command);
  virtual void DrawLine(TppDrawLine& command);
  virtual void DrawImage(TppDrawImage& command);
  virtual void DrawText(TppDrawText& command);
  virtual void DrawBitmap(TppDrawImage& command, const TRect& rect, const TBitmap& bitmap);
  virtual void DrawImageDirect(TppDrawImage& command, const TRect& rect, const TBitmap& bitmap);

private:
  std::unique_ptr<TppPrinter> printer;
  TCanvas* canvas = nullptr;
  int copiesRemaining = 1;
  bool firstPageOfJob = true;
  int pageOffsetX = 0;
  int pageOffsetY = 0;

  void StartPage(TppPage* page);
  void EndPage(TppPage* page);
  void ShowStatus(TppPage* page);
  // Ends the job as cancelled after a failure, leaving nothing queued.
  void Abandon();
  int ScreenToPrinterPixels(int pixels, TppAxis axis) const;
};

// Registers the printer device under "Printer".
void ppRegisterPrinterDevice();
