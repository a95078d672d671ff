// The names and images that the tree and the list show for a printer.

#include "Main.h"

#include "splConstants.h"
#include "rtlStrUtils.h"

namespace {

// "name on server" when text begins with server and "\": the server part
// cut off, the server's leading "\\" dropped.
bool CutServerPrefix(const std::string& text, const std::string& server, std::string& name) {
  if (server.empty() || text.size() <= server.size() + 1) return false;
  if (!SameText(text.substr(0, server.size()), server) || text[server.size()] != '\\') return false;
  const std::string host = server.rfind("\\\\", 0) == 0 ? server.substr(2) : server;
  name = text.substr(server.size() + 1) + " on " + host;
  return true;
}

// What CUPS users know a queue by (what "lp -d" takes): the printer's name
// without its server.
std::string QueueName(const std::string& printerName) {
  const size_t slash = printerName.rfind('\\');
  return slash == std::string::npos ? printerName : printerName.substr(slash + 1);
}

}  // namespace

// A local printer shows its queue name, never the make and model that the
// driver-name field holds here: two queues of one model look alike there.
std::string TreePrinterName(const PrinterInfo2& printer, const std::string& serverName) {
  if (printer.Attributes & PRINTER_ATTRIBUTE_LOCAL) return QueueName(printer.PrinterName);
  return printer.PrinterName;
}

std::string ListPrinterName(const PrinterInfo2& printer, const std::string& serverName) {
  if (printer.Attributes & PRINTER_ATTRIBUTE_LOCAL) return QueueName(printer.PrinterName);
  std::string name;
  if (CutServerPrefix(printer.PrinterName, serverName, name)) return name;
  // \\host\name becomes "name on host".
  const std::string& text = printer.PrinterName;
  if (text.rfind("\\\\", 0) == 0) {
    const size_t slash = text.find('\\', 2);
    if (slash != std::string::npos) return text.substr(slash + 1) + " on " + text.substr(2, slash - 2);
  }
  return text;
}

int PrinterImageIndex(const TPrinterRecord& record, bool busy, int animationFrame) {
  int still, animated;
  if (!record.IsLocal) {
    still = record.IsDefault ? 4 : 2;
    animated = record.IsDefault ? 31 : 26;
  } else if (record.IsDefault) {
    still = record.IsShared ? 5 : 10;
    animated = record.IsShared ? 16 : 6;
  } else {
    still = record.IsShared ? 3 : 1;
    animated = record.IsShared ? 21 : 11;
  }
  return busy ? animated + animationFrame : still;
}
