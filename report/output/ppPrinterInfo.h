#pragma once
// The installed printers as the report sees them: a list keyed by printer
// name (first entry "Default"), each with its driver's capabilities made
// consistent: aligned paper lists ending in "Custom", bins starting with
// "Default".

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlStringList.h"
#include "uiPrinterPapers.h"

// What a driver answers when asked for its capabilities, in its own order.
struct TppDriverCapabilities {
  std::vector<std::string> PaperNames;
  std::vector<int> PaperCodes;
  std::vector<TPaperSize> PaperSizes;  // tenths of a millimetre
  std::vector<std::string> BinNames;
  std::vector<int> BinCodes;
  int MaxCopies = 1;
  // What the print server calls a paper or bin, by code (may be empty).
  std::map<int, std::string> PaperKeywords;
  std::map<int, std::string> BinKeywords;
};

// Where printers come from: CUPS in the program, scripted in tests.
class TppPrinterSource {
public:
  virtual ~TppPrinterSource() = default;
  virtual std::vector<std::string> PrinterNames() = 0;
  // Empty when the user has none.
  virtual std::string DefaultPrinterName() = 0;
  virtual TppDriverCapabilities Capabilities(const std::string& device) = 0;
  // Dots per inch the printer renders at; 0 when it cannot be used.
  virtual int Resolution(const std::string& device) = 0;
  virtual bool IsColor(const std::string& device) = 0;
  // A printer reached over the network rather than attached to this host.
  virtual bool IsNetwork(const std::string& device) = 0;
};

// The printers of the configured CUPS server (none when it cannot be
// reached).
std::unique_ptr<TppPrinterSource> ppCupsPrinterSource();

class TppPrinterCapabilities : public TObject {
public:
  TppPrinterCapabilities(const std::string& printerName, const TppDriverCapabilities& driver);

  const TStringList& BinCodes() const { return binCodes; }
  const TStringList& BinNames() const { return binNames; }
  const TStringList& PaperNames() const { return paperNames; }
  const TStringList& PaperCodes() const { return paperCodes; }
  const TStringList& PaperWidths() const { return paperWidths; }
  const std::string& PrinterName() const { return printerName; }
  bool DriverCopies() const { return driverCopies; }
  // The most copies one job may ask for (at least 1).
  int MaxCopies() const { return maxCopies; }

  // The paper of a code, "Custom" when the list lacks it; the bin of a
  // code, "Default" when the list lacks it.
  std::string PaperNameOfCode(int code) const;
  std::string BinNameOfCode(int code) const;
  // -1 when absent.
  int PaperIndex(const std::string& name) const { return paperNames.IndexOf(name); }
  // The print server's name of a paper or bin code; empty when unknown.
  std::string PaperKeyword(int code) const;
  std::string BinKeyword(int code) const;
  TPaperSize PaperSize(int index) const;

private:
  TStringList binCodes, binNames, paperHeights, paperNames, paperCodes, paperWidths;
  std::string printerName;
  bool driverCopies = false;
  int maxCopies = 1;
  std::map<int, std::string> paperKeywords;
  std::map<int, std::string> binKeywords;

  void MakePapersConsistent();
  void MakeBinsConsistent();
  void DeletePaper(int index);
};

class TppPrinterInfo : public TObject {
public:
  TppPrinterInfo(std::string printerName, std::optional<std::string> device, std::optional<std::string> driver,
                 std::optional<std::string> port, TppPrinterSource* source);

  const std::string& PrinterName() const { return printerName; }
  const std::optional<std::string>& Device() const { return device; }
  const std::optional<std::string>& Driver() const { return driver; }
  const std::optional<std::string>& Port() const { return port; }
  // "device on port"; empty when either is missing.
  std::string Description() const;
  bool Valid() const { return valid; }
  void SetValid(bool value) { valid = value; }
  // Asked of the driver on first use.
  const TppPrinterCapabilities& Capabilities();
  TppPrinterSource* Source() const { return source; }
  // Reached over the network rather than attached to this host.
  bool IsNetwork() const { return source && device && source->IsNetwork(*device); }

private:
  std::string printerName;
  std::optional<std::string> device, driver, port;
  TppPrinterSource* source;
  bool valid = true;
  std::unique_ptr<TppPrinterCapabilities> capabilities;
};

constexpr const char* ppDefaultPrinterName = "Default";
constexpr const char* ppNoPrinterName = "No Printer Installed";

class TppPrinterList : public TObject {
public:
  explicit TppPrinterList(std::unique_ptr<TppPrinterSource> source);

  int Count() const { return static_cast<int>(infos.size()); }
  TppPrinterInfo* Info(int index) const { return infos[static_cast<size_t>(index)].get(); }
  const std::string& GetDefaultPrinterName() const { return defaultPrinterName; }
  // "Default" is the default printer; "device on port" and bare device
  // names are tried; failing all, the default printer's entry; nullptr
  // only when nothing matches.
  TppPrinterInfo* FindPrinterInfo(const std::string& name) const;
  void PrinterNames(TStrings& list) const;
  TppPrinterSource* Source() const { return source.get(); }

private:
  std::unique_ptr<TppPrinterSource> source;
  std::vector<std::unique_ptr<TppPrinterInfo>> infos;
  std::string defaultPrinterName;

  TppPrinterInfo* Find(const std::string& name) const;
};

class TppPrinter;
// The shared list, made on first use.
TppPrinterList& ppPrinters();
// The shared printer; nullptr when no printer is installed.
TppPrinter* ppPrinter();
// Replaces where printers come from and rebuilds the list (the shared
// printer goes with it).
void ppSetPrinterSource(std::unique_ptr<TppPrinterSource> source);
// The information used when no printer is installed.
TppPrinterInfo& ppNoPrinterInfo();
