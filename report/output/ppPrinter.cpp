#include "ppPrinter.h"

#include "ppErrors.h"
#include "ppPrinterInfo.h"
#include "rtlConvert.h"
#include "rtlFloatText.h"
#include "uiMeasuringCanvas.h"
#include "uiPrinter.h"
#include "uiPrinterJob.h"
#include "uiPrinterProperties.h"

namespace {

const char* SidesOf(int duplex) {
  switch (duplex) {
    case DMDUP_VERTICAL: return "two-sided-long-edge";
    case DMDUP_HORIZONTAL: return "two-sided-short-edge";
    default: return "one-sided";
  }
}

// Copies a queue that names no limit may be asked for.
constexpr int unlimitedCopies = 9999;

}  // namespace

// ---- TppCustomPrinter ----

TppCustomPrinter::TppCustomPrinter() { printerInfo = ppPrinters().FindPrinterInfo(printerName); }

TppCustomPrinter::~TppCustomPrinter() = default;

void TppCustomPrinter::SetPrinterName(const std::string& value) {
  if (printing) return;
  TppPrinterInfo* info = ppPrinters().FindPrinterInfo(value);
  if (!info || info == printerInfo) return;
  printerInfo = info;
  printerName = info->PrinterName();
  measuringCanvas.reset();
}

bool TppCustomPrinter::Valid() const { return printerInfo && printerInfo->Valid() && PixelsPerInchX() > 0; }

int TppCustomPrinter::PixelsPerInchX() const {
  if (!printerInfo || !printerInfo->Device() || !printerInfo->Source()) return 0;
  return printerInfo->Source()->Resolution(*printerInfo->Device());
}

bool TppCustomPrinter::IsColor() const {
  if (!printerInfo || !printerInfo->Device() || !printerInfo->Source()) return true;
  return printerInfo->Source()->IsColor(*printerInfo->Device());
}

TCanvas* TppCustomPrinter::GetCanvas() {
  if (job) return &job->Canvas();
  const int ppi = PixelsPerInchX();
  if (ppi <= 0) {
    if (printerInfo) printerInfo->SetValid(false);
    return nullptr;
  }
  if (!measuringCanvas || measuringCanvas->PixelsPerInch() != ppi) measuringCanvas = std::make_unique<TMeasuringCanvas>(ppi);
  return measuringCanvas.get();
}

void TppCustomPrinter::SetDevMode(const TppDeviceMode& value) {
  deviceMode = value;
  // While printing, the pages that follow take the new paper.
  if (job) {
    double width = 0, height = 0;
    PageSizeMM(width, height);
    job->SetPageSize(width, height);
  }
  if (OnDeviceModeChange) OnDeviceModeChange();
}

bool TppCustomPrinter::ShowProperties() {
  if (!Valid()) return false;
  const TppPrinterCapabilities& caps = printerInfo->Capabilities();
  auto choices = [](const TStringList& names, const TStringList& codes) {
    std::vector<TPrinterChoice> list;
    for (int i = 0; i < names.Count() && i < codes.Count(); ++i)
      list.push_back(TPrinterChoice{names.Get(i), StrToIntDef(codes.Get(i), 0)});
    return list;
  };
  TPrinterProperties properties(printerName, choices(caps.PaperNames(), caps.PaperCodes()),
                                choices(caps.BinNames(), caps.BinCodes()),
                                caps.MaxCopies() > 1 ? caps.MaxCopies() : unlimitedCopies);
  properties.SetPaper(deviceMode.PaperSize);
  properties.SetBin(deviceMode.DefaultSource);
  properties.SetOrientation(deviceMode.Orientation == DMORIENT_LANDSCAPE ? pocLandscape : pocPortrait);
  properties.SetSides(deviceMode.Duplex == DMDUP_VERTICAL     ? pscLongEdge
                      : deviceMode.Duplex == DMDUP_HORIZONTAL ? pscShortEdge
                                                              : pscOneSided);
  properties.SetCopies(deviceMode.Copies);
  properties.SetCollate(deviceMode.Collate);
  if (!ShowPrinterProperties(properties)) return false;

  TppDeviceMode mode = deviceMode;
  mode.Fields |= DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DUPLEX | DM_DEFAULTSOURCE;
  // A listed paper has its size; only the custom one keeps its own.
  if (properties.Paper() != mode.PaperSize && properties.Paper() != DMPAPER_USER)
    mode.Fields &= ~(DM_PAPERWIDTH | DM_PAPERLENGTH);
  mode.PaperSize = properties.Paper();
  mode.DefaultSource = properties.Bin();
  mode.Orientation = properties.Orientation() == pocLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  mode.Duplex = properties.Sides() == pscLongEdge    ? DMDUP_VERTICAL
                : properties.Sides() == pscShortEdge ? DMDUP_HORIZONTAL
                                                     : DMDUP_SIMPLEX;
  mode.Copies = properties.Copies();
  mode.Collate = properties.Collate();
  SetDevMode(mode);
  return true;
}

void TppCustomPrinter::PageSizeMM(double& width, double& height) const {
  TPaperSize size = StandardPaperSize(deviceMode.PaperSize);
  if ((deviceMode.Fields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) || size.Width == 0) {
    size.Width = deviceMode.PaperWidth;
    size.Height = deviceMode.PaperLength;
  }
  if (size.Width <= 0 || size.Height <= 0) size = StandardPaperSize(DMPAPER_LETTER);
  width = size.Width / 10.0;
  height = size.Height / 10.0;
  if (deviceMode.Orientation != DMORIENT_PORTRAIT) std::swap(width, height);
}

std::vector<std::pair<std::string, std::string>> TppCustomPrinter::JobOptions() {
  std::vector<std::pair<std::string, std::string>> options = {
      {"copies", IntToStr(deviceMode.Copies)},
      {"collate", deviceMode.Collate ? "true" : "false"},
      {"sides", SidesOf(deviceMode.Duplex)}};
  if (!printerInfo) return options;
  const TppPrinterCapabilities& caps = printerInfo->Capabilities();
  const bool custom = (deviceMode.Fields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) != 0;
  const std::string media = custom ? std::string() : caps.PaperKeyword(deviceMode.PaperSize);
  if (!media.empty()) {
    options.emplace_back("media", media);
  } else {
    double width = 0, height = 0;
    PageSizeMM(width, height);
    if (deviceMode.Orientation != DMORIENT_PORTRAIT) std::swap(width, height);
    options.emplace_back("media", "Custom." + FloatToStrF(width, ffGeneral, 7, 0) + "x" +
                                      FloatToStrF(height, ffGeneral, 7, 0) + "mm");
  }
  if (deviceMode.Fields & DM_DEFAULTSOURCE) {
    const std::string bin = caps.BinKeyword(deviceMode.DefaultSource);
    if (!bin.empty()) options.emplace_back("media-source", bin);
  }
  return options;
}

void TppCustomPrinter::StartDoc() {
  if (printing) return;
  if (!Valid()) throw EPrintError("The printer " + printerName + " cannot be used.");
  TPrintJobOptions options;
  options.Queue = *printerInfo->Device();
  options.Title = documentTitle;
  options.OutputFileName = outputFileName;
  options.PixelsPerInch = PixelsPerInchX();
  PageSizeMM(options.PageWidthMM, options.PageHeightMM);
  options.CupsOptions = JobOptions();
  options.Monochrome = !IsColor();
  try {
    job = std::make_unique<TPrintJob>(options);
  } catch (const EPrinterError& e) {
    throw EPrintError(e.Message);
  }
  printing = true;
  aborted = false;
  pageOpen = false;
  pageCount = 0;
  jobId = 0;
  documentCopies = std::max(1, deviceMode.Copies);
}

void TppCustomPrinter::NewPage() {
  if (!printing || pageOpen) return;
  // The first page exists with the job; its size is fixed as it begins.
  if (pageCount > 0) job->NewPage();
  else job->BeginPage();
  pageOpen = true;
  ++pageCount;
}

void TppCustomPrinter::EndPage() { pageOpen = false; }

void TppCustomPrinter::EndDoc() {
  if (!printing) return;
  EndPage();
  printing = false;
  std::unique_ptr<TPrintJob> finished = std::move(job);
  if (aborted) return;
  try {
    jobId = finished->End();
  } catch (const EPrinterError& e) {
    throw EPrintError(e.Message);
  }
}

void TppCustomPrinter::Abort() {
  if (!printing) return;
  aborted = true;
  job->Abort();
  job.reset();
  printing = false;
  pageOpen = false;
}

// ---- TppPrinter ----

TppPrinter::TppPrinter() {
  setup.OnGetPrinter = [this]() -> const TppPrinterResolution* { return this; };
  setup.OnPageDefChange = [this](TppPrinterSetup&) { WriteDevMode(); };
  setup.OnChange = [this](TppPrinterSetup&) { WriteDevMode(); };
}

void TppPrinter::SetPrinterSetup(const TppPrinterSetup& value) {
  if (&setup.PrinterInfo() == &value.PrinterInfo() && PrinterInfo() == &value.PrinterInfo() && setup.IsEqual(value))
    return;
  // While printing the printer stays (SetPrinterName ignores it), but a
  // page's own paper, orientation and bin apply to the pages that follow.
  SetPrinterName(value.PrinterName());
  setup.SetNotifications(false);
  setup.Assign(&value);
  setup.SetNotifications(true);
  WriteDevMode();
}

TPaperSize TppPrinter::GetPaperSize() const {
  TPaperSize size{setup.PageDef().mmWidth() / 100, setup.PageDef().mmHeight() / 100};
  if (setup.Orientation() == poLandscape) std::swap(size.Width, size.Height);
  return size;
}

void TppPrinter::WriteDevMode() {
  setup.SetNotifications(false);
  SetPrinterName(setup.PrinterName());
  SetDocumentTitle(setup.DocumentName());
  SetOutputFileName(setup.OutputFileName());
  TppDeviceMode mode = DevMode();
  mode.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DUPLEX;
  mode.Copies = setup.DriverCopies() && !setup.Collation() ? setup.Copies() : 1;
  mode.Collate = setup.Collation();
  mode.Duplex = setup.Duplex() + 1;
  mode.Orientation = setup.Orientation() + 1;
  mode.PaperSize = setup.GetPaperCode();
  if (setup.PaperName() == "Custom" || mode.PaperSize == DMPAPER_USER) {
    mode.Fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    const TPaperSize size = GetPaperSize();
    mode.PaperWidth = size.Width;
    mode.PaperLength = size.Height;
  }
  const TppPrinterCapabilities& caps = setup.PrinterInfo().Capabilities();
  const int bin = caps.BinNames().IndexOf(setup.BinName());
  if (bin >= 0 && bin < caps.BinCodes().Count()) {
    mode.DefaultSource = StrToIntDef(caps.BinCodes().Get(bin), DMBIN_AUTO);
    mode.Fields |= DM_DEFAULTSOURCE;
  }
  SetDevMode(mode);
  setup.SetNotifications(true);
}

void TppPrinter::ReadDevMode() {
  const TppDeviceMode& mode = DevMode();
  const TppUnitType units = setup.Units();
  setup.SetNotifications(false);
  setup.SetUnits(utInches);
  if (PrinterInfo()) setup.SetPrinterName(PrinterInfo()->PrinterName());
  if (mode.Fields & DM_DUPLEX) setup.SetDuplex(static_cast<TppDuplexType>(std::clamp(mode.Duplex - 1, 0, 2)));
  if (mode.Fields & DM_ORIENTATION)
    setup.SetOrientation(mode.Orientation - 1 == poLandscape ? poLandscape : poPortrait);
  const TppPrinterCapabilities& caps = setup.PrinterInfo().Capabilities();
  if (mode.Fields & DM_PAPERSIZE) {
    const int index = caps.PaperCodes().IndexOf(IntToStr(mode.PaperSize));
    TPaperSize size = mode.PaperSize == DMPAPER_USER || index < 0 ? TPaperSize{mode.PaperWidth, mode.PaperLength}
                                                                  : caps.PaperSize(index);
    if (setup.Orientation() == poLandscape) std::swap(size.Width, size.Height);
    setup.SetPaperName(index < 0 ? "Custom" : caps.PaperNames().Get(index));
    if (size.Width > 0 && size.Height > 0) {
      setup.SetPaperWidth(ppTenthsMMToUnits(size.Width, utInches, axHorizontal));
      setup.SetPaperHeight(ppTenthsMMToUnits(size.Height, utInches, axVertical));
    }
  }
  if (mode.Fields & DM_DEFAULTSOURCE) setup.SetBinName(caps.BinNameOfCode(mode.DefaultSource));
  setup.SetUnits(units);
  setup.SetNotifications(true);
}
