#include "uiPrinterProperties.h"

#include <algorithm>

#include "uiPrinterPropertiesDialog.h"

namespace {

int IndexOf(const std::vector<TPrinterChoice>& choices, int code) {
  for (size_t i = 0; i < choices.size(); ++i)
    if (choices[i].Code == code) return static_cast<int>(i);
  return -1;
}

TPrinterPropertiesRunner& Runner() {
  static TPrinterPropertiesRunner runner = RunPrinterPropertiesDialog;
  return runner;
}

}  // namespace

TPrinterProperties::TPrinterProperties(std::string printerName, std::vector<TPrinterChoice> papers,
                                       std::vector<TPrinterChoice> bins, int maxCopies)
    : printerName(std::move(printerName)),
      papers(std::move(papers)),
      bins(std::move(bins)),
      maxCopies(std::max(1, maxCopies)) {
  if (!this->papers.empty()) paper = this->papers.front().Code;
  if (!this->bins.empty()) bin = this->bins.front().Code;
}

bool TPrinterProperties::SetPaper(int code) {
  if (IndexOf(papers, code) < 0) return false;
  paper = code;
  return true;
}

bool TPrinterProperties::SetBin(int code) {
  if (IndexOf(bins, code) < 0) return false;
  bin = code;
  return true;
}

void TPrinterProperties::SetCopies(int value) { copies = std::clamp(value, 1, maxCopies); }

int TPrinterProperties::PaperIndex() const { return IndexOf(papers, paper); }

int TPrinterProperties::BinIndex() const { return IndexOf(bins, bin); }

void SetPrinterPropertiesRunner(TPrinterPropertiesRunner runner) {
  Runner() = runner ? std::move(runner) : TPrinterPropertiesRunner(RunPrinterPropertiesDialog);
}

bool ShowPrinterProperties(TPrinterProperties& properties) { return Runner()(properties); }
