#include "uiPrinter.h"

#include <cups/cups.h>

#include <cmath>
#include <memory>

#include "rtlStrUtils.h"
#include "uiPrinterPapers.h"

namespace {

// Papers whose sizes differ by at most this many tenths of a millimetre
// are the same paper.
constexpr int paperTolerance = 10;
constexpr int connectTimeoutMs = 10000;

struct THttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
struct TIppDelete {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using THttp = std::unique_ptr<http_t, THttpClose>;
using TIpp = std::unique_ptr<ipp_t, TIppDelete>;

THttp Connect(const std::string& server) {
  const std::string host = server.empty() ? cupsServer() : server;
  http_t* http = httpConnect2(host.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectTimeoutMs,
                              nullptr);
  if (!http) throw EPrinterError("The print server " + host + " cannot be reached");
  return THttp(http);
}

struct TBinKeyword {
  const char* Keyword;
  int Code;
  const char* Name;
};

constexpr TBinKeyword binKeywords[] = {
    {"auto", DMBIN_AUTO, "Automatically Select"}, {"manual", DMBIN_MANUAL, "Manual Feed"},
    {"envelope", DMBIN_ENVELOPE, "Envelope"},     {"top", DMBIN_UPPER, "Upper"},
    {"bottom", DMBIN_LOWER, "Lower"},             {"middle", DMBIN_MIDDLE, "Middle"},
    {"large-capacity", DMBIN_LARGECAPACITY, "Large Capacity"},
};

// "tray-1" shows as "Tray 1".
std::string KeywordCaption(const std::string& keyword) {
  std::string caption;
  bool wordStart = true;
  for (char c : keyword) {
    if (c == '-' || c == '_') {
      caption += ' ';
      wordStart = true;
      continue;
    }
    caption += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    wordStart = false;
  }
  return caption;
}

int Dpi(ipp_attribute_t* attr, int index) {
  ipp_res_t units;
  int y = 0;
  const int x = ippGetResolution(attr, index, &y, &units);
  return units == IPP_RES_PER_CM ? static_cast<int>(std::lround(x * 2.54)) : x;
}

void ReadAttribute(TPrinterQueueInfo& queue, ipp_attribute_t* attr, int& userPapers, int& userBins) {
  const std::string name = ippGetName(attr);
  const int count = ippGetCount(attr);
  if (name == "printer-name") queue.Name = ippGetString(attr, 0, nullptr);
  else if (name == "printer-info") queue.Info = ippGetString(attr, 0, nullptr);
  else if (name == "printer-location") queue.Location = ippGetString(attr, 0, nullptr);
  else if (name == "media-default") queue.DefaultMedia = ippGetString(attr, 0, nullptr);
  else if (name == "color-supported") queue.Color = ippGetBoolean(attr, 0) != 0;
  else if (name == "printer-type") queue.Remote = (ippGetInteger(attr, 0) & CUPS_PRINTER_REMOTE) != 0;
  else if (name == "copies-supported") {
    int upper = 1;
    ippGetRange(attr, 0, &upper);
    queue.MaxCopies = std::max(1, upper);
  } else if (name == "printer-resolution-default") {
    queue.DefaultResolution = Dpi(attr, 0);
  } else if (name == "printer-resolution-supported") {
    for (int i = 0; i < count; ++i) queue.Resolutions.push_back(Dpi(attr, i));
  } else if (name == "media-supported") {
    for (int i = 0; i < count; ++i) {
      TPrinterPaperInfo paper = PaperFromMediaKeyword(ippGetString(attr, i, nullptr), userPapers);
      if (paper.Code == 0) continue;
      if (paper.Code > DMPAPER_USER) ++userPapers;
      queue.Papers.push_back(std::move(paper));
    }
  } else if (name == "media-source-supported") {
    for (int i = 0; i < count; ++i) {
      TPrinterBinInfo bin = BinFromSourceKeyword(ippGetString(attr, i, nullptr), userBins);
      if (bin.Code > DMBIN_USER) ++userBins;
      queue.Bins.push_back(std::move(bin));
    }
  }
}

}  // namespace

TPrinterPaperInfo PaperFromMediaKeyword(const std::string& keyword, int userIndex) {
  TPrinterPaperInfo paper;
  paper.Keyword = keyword;
  // Self-describing names end in "_<width>x<height><unit>".
  const size_t last = keyword.rfind('_');
  if (keyword.rfind("custom_", 0) == 0 || last == std::string::npos) return paper;
  std::string dims = keyword.substr(last + 1);
  double scale = 0;
  if (dims.size() > 2 && dims.compare(dims.size() - 2, 2, "mm") == 0) scale = 10;
  else if (dims.size() > 2 && dims.compare(dims.size() - 2, 2, "in") == 0) scale = 254;
  if (scale == 0) return paper;
  dims.resize(dims.size() - 2);
  const size_t x = dims.find('x');
  if (x == std::string::npos) return paper;
  char* end = nullptr;
  const double w = std::strtod(dims.substr(0, x).c_str(), &end);
  const double h = std::strtod(dims.substr(x + 1).c_str(), &end);
  if (!(w > 0 && h > 0 && w < 10000 && h < 10000)) return paper;
  paper.Width = static_cast<int>(std::lround(w * scale));
  paper.Height = static_cast<int>(std::lround(h * scale));
  paper.Code = StandardPaperCode(TPaperSize{paper.Width, paper.Height}, paperTolerance);
  if (paper.Code != 0) {
    paper.Name = StandardPaperName(paper.Code);
  } else {
    paper.Code = DMPAPER_USER + 1 + userIndex;
    paper.Name = std::to_string(paper.Width / 10) + " x " + std::to_string(paper.Height / 10) + " mm";
  }
  return paper;
}

TPrinterBinInfo BinFromSourceKeyword(const std::string& keyword, int userIndex) {
  for (const TBinKeyword& known : binKeywords)
    if (keyword == known.Keyword) return TPrinterBinInfo{known.Name, known.Code, keyword};
  return TPrinterBinInfo{KeywordCaption(keyword), DMBIN_USER + 1 + userIndex, keyword};
}

std::vector<TPrinterQueueInfo> EnumPrinterQueues(const std::string& server) {
  static const char* const requested[] = {
      "printer-name", "printer-info", "printer-location", "media-supported", "media-default",
      "media-source-supported", "printer-resolution-supported", "printer-resolution-default",
      "copies-supported", "color-supported", "printer-type"};
  THttp http = Connect(server);
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(requested)), nullptr, requested);
  TIpp response(cupsDoRequest(http.get(), request, "/"));
  std::vector<TPrinterQueueInfo> queues;
  if (!response) {
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return queues;  // no printers at all
    throw EPrinterError(std::string("The print server does not list its printers: ") + cupsLastErrorString());
  }
  TPrinterQueueInfo queue;
  int userPapers = 0;
  int userBins = 0;
  auto flush = [&] {
    if (!queue.Name.empty()) queues.push_back(std::move(queue));
    queue = TPrinterQueueInfo{};
    userPapers = userBins = 0;
  };
  for (ipp_attribute_t* attr = ippFirstAttribute(response.get()); attr; attr = ippNextAttribute(response.get())) {
    if (!ippGetName(attr)) {
      flush();
      continue;
    }
    if (ippGetGroupTag(attr) == IPP_TAG_PRINTER) ReadAttribute(queue, attr, userPapers, userBins);
  }
  flush();
  return queues;
}

std::string DefaultPrinterQueue(const std::string& server) {
  THttp http = Connect(server);
  cups_dest_t* dest = cupsGetNamedDest(http.get(), nullptr, nullptr);
  if (!dest) return {};
  std::string name = dest->name;
  cupsFreeDests(1, dest);
  return name;
}
