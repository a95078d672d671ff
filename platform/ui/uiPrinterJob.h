#pragma once
// One print job: pages drawn on a canvas into a PDF file at the printer's
// resolution, then handed to a CUPS queue (or kept as the output file when
// one is named).

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "uiCanvas.h"

class QPdfWriter;
class TQtCanvas;

struct TPrintJobOptions {
  std::string Server;          // "" the configured one
  std::string Queue;
  std::string Title;
  std::string OutputFileName;  // print to this file instead of the queue
  int PixelsPerInch = 600;
  double PageWidthMM = 210;
  double PageHeightMM = 297;
  std::vector<std::pair<std::string, std::string>> CupsOptions;
  bool Monochrome = false;  // the printer has no colour
};

class TPrintJob {
public:
  // EPrinterError when the output file cannot be made.
  explicit TPrintJob(TPrintJobOptions options);
  TPrintJob(const TPrintJob&) = delete;
  TPrintJob& operator=(const TPrintJob&) = delete;
  // An unfinished job is abandoned: nothing reaches the queue.
  ~TPrintJob();

  TCanvas& Canvas();
  // Size of the pages that follow; also of the first page until it is
  // begun.
  void SetPageSize(double widthMM, double heightMM);
  // Fixes the current page's size: the writer takes it when drawing on
  // the page starts.
  void BeginPage();
  void NewPage();
  int PageCount() const { return pageCount; }
  // Finishes the file and submits it; the CUPS job id, 0 for a file.
  // EPrinterError when the queue refuses it.
  int End();
  void Abort();

private:
  TPrintJobOptions options;
  std::string fileName;
  bool temporary = false;
  std::unique_ptr<QPdfWriter> writer;
  std::unique_ptr<TQtCanvas> canvas;
  int pageCount = 1;
  bool finished = false;

  void Finish();
};
