#pragma once
// Printers scripted by tests: a name, its driver's answers, a resolution.

#include <map>
#include <memory>

#include "ppPrinterInfo.h"

class TppScriptedPrinters : public TppPrinterSource {
public:
  struct TPrinter {
    TppDriverCapabilities Caps;
    int Resolution = 600;
    bool Color = true;
  };
  std::map<std::string, TPrinter> Printers;
  std::string Default;

  std::vector<std::string> PrinterNames() override {
    std::vector<std::string> names;
    for (const auto& [name, printer] : Printers) names.push_back(name);
    return names;
  }
  std::string DefaultPrinterName() override { return Default; }
  TppDriverCapabilities Capabilities(const std::string& device) override {
    auto it = Printers.find(device);
    return it == Printers.end() ? TppDriverCapabilities{} : it->second.Caps;
  }
  int Resolution(const std::string& device) override {
    auto it = Printers.find(device);
    return it == Printers.end() ? 0 : it->second.Resolution;
  }
  bool IsColor(const std::string& device) override { return true; }
  bool IsNetwork(const std::string& device) override { return false; }
};

// A driver with Letter, A4, an envelope and its own custom entry; three bins.
inline TppDriverCapabilities OfficeDriver() {
  TppDriverCapabilities caps;
  caps.PaperNames = {"Letter", "A4", "Envelope DL", "User size"};
  caps.PaperCodes = {1, 9, 27, 300};
  caps.PaperSizes = {{2159, 2794}, {2100, 2970}, {1100, 2200}, {0, 0}};
  caps.BinNames = {"Upper", "Manual Feed", "Tray 3"};
  caps.BinCodes = {1, 4, 259};
  caps.MaxCopies = 99;
  caps.PaperKeywords = {{1, "na_letter_8.5x11in"}, {9, "iso_a4_210x297mm"}, {27, "iso_dl_110x220mm"}};
  caps.BinKeywords = {{4, "manual"}, {259, "tray-3"}};
  return caps;
}

// Installs the scripted printers as the shared list for one test.
class TppScopedPrinters {
public:
  explicit TppScopedPrinters(std::unique_ptr<TppScriptedPrinters> printers) {
    ppSetPrinterSource(std::move(printers));
  }
  ~TppScopedPrinters() { ppSetPrinterSource(nullptr); }
};
