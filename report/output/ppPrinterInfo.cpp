#include "ppPrinterInfo.h"

#include <algorithm>

#include "ppPrinter.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"
#include "uiPrinter.h"

namespace {

// A driver whose copy limit is above this makes copies itself.
constexpr int driverCopiesThreshold = 2;

class TCupsPrinterSource : public TppPrinterSource {
public:
  TCupsPrinterSource() {
    try {
      queues = EnumPrinterQueues();
      defaultName = DefaultPrinterQueue();
    } catch (const EPrinterError&) {
      queues.clear();  // no server: no printers
    }
  }
  std::vector<std::string> PrinterNames() override {
    std::vector<std::string> names;
    for (const TPrinterQueueInfo& q : queues) names.push_back(q.Name);
    return names;
  }
  std::string DefaultPrinterName() override { return defaultName; }
  TppDriverCapabilities Capabilities(const std::string& device) override {
    TppDriverCapabilities caps;
    const TPrinterQueueInfo* q = Find(device);
    if (!q) return caps;
    for (const TPrinterPaperInfo& p : q->Papers) {
      caps.PaperNames.push_back(p.Name);
      caps.PaperCodes.push_back(p.Code);
      caps.PaperSizes.push_back(TPaperSize{p.Width, p.Height});
      caps.PaperKeywords[p.Code] = p.Keyword;
    }
    for (const TPrinterBinInfo& b : q->Bins) {
      caps.BinNames.push_back(b.Name);
      caps.BinCodes.push_back(b.Code);
      caps.BinKeywords[b.Code] = b.Keyword;
    }
    caps.MaxCopies = q->MaxCopies;
    return caps;
  }
  int Resolution(const std::string& device) override {
    const TPrinterQueueInfo* q = Find(device);
    if (!q) return 0;
    if (q->DefaultResolution > 0) return q->DefaultResolution;
    return q->Resolutions.empty() ? ppFallbackResolution : q->Resolutions.front();
  }
  bool IsColor(const std::string& device) override {
    const TPrinterQueueInfo* q = Find(device);
    return !q || q->Color;
  }
  bool IsNetwork(const std::string& device) override {
    const TPrinterQueueInfo* q = Find(device);
    return q && q->Remote;
  }

private:
  std::vector<TPrinterQueueInfo> queues;
  std::string defaultName;

  const TPrinterQueueInfo* Find(const std::string& name) const {
    for (const TPrinterQueueInfo& q : queues)
      if (q.Name == name) return &q;
    return nullptr;
  }
};

struct TSharedPrinters {
  std::unique_ptr<TppPrinterList> List;
  std::unique_ptr<TppPrinter> Printer;
  std::unique_ptr<TppPrinterInfo> NoPrinter;
};

TSharedPrinters& Shared() {
  static TSharedPrinters shared;
  return shared;
}

}  // namespace

std::unique_ptr<TppPrinterSource> ppCupsPrinterSource() { return std::make_unique<TCupsPrinterSource>(); }

// ---- TppPrinterCapabilities ----

TppPrinterCapabilities::TppPrinterCapabilities(const std::string& printerName, const TppDriverCapabilities& driver)
    : printerName(printerName), driverCopies(driver.MaxCopies > driverCopiesThreshold),
      maxCopies(std::max(1, driver.MaxCopies)),
      paperKeywords(driver.PaperKeywords), binKeywords(driver.BinKeywords) {
  for (const std::string& name : driver.PaperNames) paperNames.Add(name);
  for (int code : driver.PaperCodes) paperCodes.Add(IntToStr(code));
  for (const TPaperSize& size : driver.PaperSizes) {
    paperWidths.Add(IntToStr(size.Width));
    paperHeights.Add(IntToStr(size.Height));
  }
  for (const std::string& name : driver.BinNames) binNames.Add(name);
  for (int code : driver.BinCodes) binCodes.Add(IntToStr(code));
  MakePapersConsistent();
  MakeBinsConsistent();
}

void TppPrinterCapabilities::DeletePaper(int index) {
  for (TStringList* list : {&paperNames, &paperCodes, &paperWidths, &paperHeights})
    if (index < list->Count()) list->Delete(index);
}

void TppPrinterCapabilities::MakePapersConsistent() {
  // 1. One name per code.
  if (paperNames.Count() < paperCodes.Count()) {
    paperNames.Clear();
    for (int i = 0; i < paperCodes.Count(); ++i) {
      const int code = StrToIntDef(paperCodes.Get(i), 0);
      std::string name = StandardPaperName(code);
      if (name == "Unknown") {
        const bool sized = i < paperWidths.Count() && i < paperHeights.Count();
        name = sized ? IntToStr(StrToIntDef(paperWidths.Get(i), 0) / 10) + " x " +
                           IntToStr(StrToIntDef(paperHeights.Get(i), 0) / 10) + " mm"
                     : "Unknown: " + paperCodes.Get(i);
      }
      paperNames.Add(name);
    }
  }
  while (paperNames.Count() > paperCodes.Count()) paperNames.Delete(paperNames.Count() - 1);
  while (paperWidths.Count() > paperCodes.Count()) paperWidths.Delete(paperWidths.Count() - 1);
  while (paperHeights.Count() > paperCodes.Count()) paperHeights.Delete(paperHeights.Count() - 1);

  // 2. The custom paper.
  const std::string userCode = IntToStr(DMPAPER_USER);
  int custom = paperCodes.IndexOf(userCode);
  if (custom < 0) {
    for (int i = 0; i < paperNames.Count(); ++i) {
      const std::string upper = UpperCase(paperNames.Get(i));
      if (upper.find("CUSTOM") != std::string::npos || upper.find("USER") != std::string::npos) {
        custom = i;
        break;
      }
    }
  }
  if (custom >= 0) {
    paperNames.Put(custom, "Custom");
    if (custom >= paperCodes.Count()) paperCodes.Add(userCode);
  } else {
    paperNames.Add("Custom");
    paperCodes.Add(userCode);
  }

  // 3. Missing sizes from the standard table.
  for (int i = 0; i < paperCodes.Count(); ++i) {
    const TPaperSize standard = StandardPaperSize(StrToIntDef(paperCodes.Get(i), 0));
    if (i >= paperWidths.Count()) paperWidths.Add(IntToStr(standard.Width));
    else if (paperWidths.Get(i).empty()) paperWidths.Put(i, IntToStr(standard.Width));
    if (i >= paperHeights.Count()) paperHeights.Add(IntToStr(standard.Height));
    else if (paperHeights.Get(i).empty()) paperHeights.Put(i, IntToStr(standard.Height));
  }

  // 4. Papers without a size, but "Custom".
  for (int i = paperCodes.Count() - 1; i >= 0; --i)
    if (paperNames.Get(i) != "Custom" && (paperWidths.Get(i) == "0" || paperHeights.Get(i) == "0")) DeletePaper(i);

  // 5. "Custom" last.
  const int at = paperNames.IndexOf("Custom");
  if (at >= 0 && at != paperNames.Count() - 1) {
    for (TStringList* list : {&paperNames, &paperCodes, &paperWidths, &paperHeights}) {
      const std::string moved = list->Get(at);
      list->Delete(at);
      list->Add(moved);
    }
  }
}

void TppPrinterCapabilities::MakeBinsConsistent() {
  while (binNames.Count() > binCodes.Count()) binNames.Delete(binNames.Count() - 1);
  while (binCodes.Count() > binNames.Count()) binCodes.Delete(binCodes.Count() - 1);
  if (binNames.IndexOf("Default") < 0) {
    binNames.Insert(0, "Default");
    binCodes.Insert(0, IntToStr(DMBIN_AUTO));
  }
}

std::string TppPrinterCapabilities::PaperNameOfCode(int code) const {
  const int index = paperCodes.IndexOf(IntToStr(code));
  return index < 0 ? "Custom" : paperNames.Get(index);
}

std::string TppPrinterCapabilities::BinNameOfCode(int code) const {
  const int index = binCodes.IndexOf(IntToStr(code));
  return index < 0 ? "Default" : binNames.Get(index);
}

std::string TppPrinterCapabilities::PaperKeyword(int code) const {
  const auto it = paperKeywords.find(code);
  return it == paperKeywords.end() ? std::string() : it->second;
}

std::string TppPrinterCapabilities::BinKeyword(int code) const {
  const auto it = binKeywords.find(code);
  return it == binKeywords.end() ? std::string() : it->second;
}

TPaperSize TppPrinterCapabilities::PaperSize(int index) const {
  if (index < 0 || index >= paperNames.Count()) return {};
  return TPaperSize{StrToIntDef(paperWidths.Get(index), 0), StrToIntDef(paperHeights.Get(index), 0)};
}

// ---- TppPrinterInfo ----

TppPrinterInfo::TppPrinterInfo(std::string printerName, std::optional<std::string> device,
                               std::optional<std::string> driver, std::optional<std::string> port,
                               TppPrinterSource* source)
    : printerName(std::move(printerName)), device(std::move(device)), driver(std::move(driver)),
      port(std::move(port)), source(source) {}

std::string TppPrinterInfo::Description() const {
  if (!device || !port) return {};
  return *device + " on " + *port;
}

const TppPrinterCapabilities& TppPrinterInfo::Capabilities() {
  if (!capabilities) {
    TppDriverCapabilities driverCaps;
    if (source && device) driverCaps = source->Capabilities(*device);
    capabilities = std::make_unique<TppPrinterCapabilities>(printerName, driverCaps);
  }
  return *capabilities;
}

// ---- TppPrinterList ----

TppPrinterList::TppPrinterList(std::unique_ptr<TppPrinterSource> printerSource) : source(std::move(printerSource)) {
  infos.push_back(std::make_unique<TppPrinterInfo>(ppDefaultPrinterName, std::nullopt, std::nullopt, std::nullopt,
                                                   source.get()));
  if (!source) return;
  for (const std::string& name : source->PrinterNames())
    infos.push_back(std::make_unique<TppPrinterInfo>(name, name, std::nullopt, std::nullopt, source.get()));
  const std::string device = source->DefaultPrinterName();
  for (const auto& info : infos)
    if (info->Device() && *info->Device() == device) defaultPrinterName = info->PrinterName();
  // A user without a default printer still prints: the first one serves.
  if (defaultPrinterName.empty() && infos.size() > 1) defaultPrinterName = infos[1]->PrinterName();
}

TppPrinterInfo* TppPrinterList::Find(const std::string& name) const {
  for (const auto& info : infos)
    if (info->PrinterName() == name) return info.get();
  return nullptr;
}

TppPrinterInfo* TppPrinterList::FindPrinterInfo(const std::string& name) const {
  const std::string wanted = name == ppDefaultPrinterName ? defaultPrinterName : name;
  if (TppPrinterInfo* info = Find(wanted)) return info;
  const size_t on = wanted.find(" on ");
  if (on != std::string::npos) {
    const std::string device = wanted.substr(0, on);
    for (const auto& info : infos)
      if (info->Device() && *info->Device() == device) return info.get();
  }
  for (size_t i = 1; i < infos.size(); ++i)
    if (!infos[i]->Description().empty() && infos[i]->Description() == wanted) return infos[i].get();
  return Find(defaultPrinterName);
}

void TppPrinterList::PrinterNames(TStrings& list) const {
  list.Clear();
  for (const auto& info : infos) list.Add(info->PrinterName());
}

// ---- shared printers ----

TppPrinterList& ppPrinters() {
  TSharedPrinters& shared = Shared();
  if (!shared.List) shared.List = std::make_unique<TppPrinterList>(ppCupsPrinterSource());
  return *shared.List;
}

TppPrinter* ppPrinter() {
  TSharedPrinters& shared = Shared();
  if (!shared.Printer && ppPrinters().Count() > 1) shared.Printer = std::make_unique<TppPrinter>();
  return shared.Printer.get();
}

void ppSetPrinterSource(std::unique_ptr<TppPrinterSource> source) {
  TSharedPrinters& shared = Shared();
  shared.Printer.reset();
  shared.List = std::make_unique<TppPrinterList>(std::move(source));
}

TppPrinterInfo& ppNoPrinterInfo() {
  TSharedPrinters& shared = Shared();
  if (!shared.NoPrinter)
    shared.NoPrinter = std::make_unique<TppPrinterInfo>(ppNoPrinterName, "None", "None", std::nullopt, nullptr);
  return *shared.NoPrinter;
}
