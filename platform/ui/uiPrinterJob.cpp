#include "uiPrinterJob.h"

#include <cups/cups.h>

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <cstdlib>
#include <unistd.h>

#include "uiCanvasQt.h"
#include "uiPrinter.h"

namespace {

constexpr int connectTimeoutMs = 10000;

std::string TemporaryPdf() {
  const char* tmp = std::getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvelle-printXXXXXX.pdf";
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) throw EPrinterError("Cannot create a temporary file for printing");
  close(fd);
  return name;
}

}  // namespace

TPrintJob::TPrintJob(TPrintJobOptions jobOptions) : options(std::move(jobOptions)) {
  temporary = options.OutputFileName.empty();
  fileName = temporary ? TemporaryPdf() : options.OutputFileName;
  writer = std::make_unique<QPdfWriter>(QString::fromStdString(fileName));
  writer->setResolution(options.PixelsPerInch);
  writer->setTitle(QString::fromStdString(options.Title));
  writer->setPageMargins(QMarginsF(0, 0, 0, 0));
  SetPageSize(options.PageWidthMM, options.PageHeightMM);
  canvas = std::make_unique<TQtCanvas>(*writer, options.PixelsPerInch);
  canvas->SetMonochromeText(options.Monochrome);
}

TPrintJob::~TPrintJob() {
  if (!finished) Abort();
}

TCanvas& TPrintJob::Canvas() { return *canvas; }

void TPrintJob::SetPageSize(double widthMM, double heightMM) {
  writer->setPageSize(QPageSize(QSizeF(widthMM, heightMM), QPageSize::Millimeter));
}

void TPrintJob::BeginPage() {
  // The writer starts a page only while a painter is open on it.
  canvas->FillRect(Rect(0, 0, 0, 0));
}

void TPrintJob::NewPage() {
  BeginPage();
  writer->newPage();
  ++pageCount;
}

void TPrintJob::Finish() {
  canvas->FinishPainting();
  canvas.reset();
  writer.reset();
  finished = true;
}

int TPrintJob::End() {
  Finish();
  if (!temporary) return 0;
  int count = 0;
  cups_option_t* list = nullptr;
  for (const auto& [name, value] : options.CupsOptions)
    count = cupsAddOption(name.c_str(), value.c_str(), count, &list);
  http_t* http = nullptr;
  if (!options.Server.empty())
    http = httpConnect2(options.Server.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectTimeoutMs, nullptr);
  const int job = cupsPrintFile2(http ? http : CUPS_HTTP_DEFAULT, options.Queue.c_str(), fileName.c_str(),
                                 options.Title.c_str(), count, list);
  const std::string error = cupsLastErrorString();
  cupsFreeOptions(count, list);
  if (http) httpClose(http);
  unlink(fileName.c_str());
  if (job == 0) throw EPrinterError("The printer " + options.Queue + " refused the job: " + error);
  return job;
}

void TPrintJob::Abort() {
  Finish();
  unlink(fileName.c_str());
}
