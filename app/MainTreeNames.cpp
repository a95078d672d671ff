// The names and images that the tree and the list show for a printer.

#include "Main.h"

#include "splConstants.h"
#include "rtlStrUtils.h"

namespace {

// "name on server" when Text begins with Server and "\": the server part
// cut off, the server's leading "\\" dropped.
bool CutServerPrefix(const std::string& Text, const std::string& Server, std::string& Name) {
  if (Server.empty() || Text.size() <= Server.size() + 1) return false;
  if (!SameText(Text.substr(0, Server.size()), Server) || Text[Server.size()] != '\\') return false;
  const std::string host = Server.rfind("\\\\", 0) == 0 ? Server.substr(2) : Server;
  Name = Text.substr(Server.size() + 1) + " on " + host;
  return true;
}

}  // namespace

std::string TreePrinterName(const PrinterInfo2& Printer, const std::string& ServerName) {
  if (!(Printer.Attributes & PRINTER_ATTRIBUTE_LOCAL)) return Printer.PrinterName;
  std::string name;
  return CutServerPrefix(Printer.DriverName, ServerName, name) ? name : Printer.DriverName;
}

std::string ListPrinterName(const PrinterInfo2& Printer, const std::string& ServerName) {
  if (Printer.Attributes & PRINTER_ATTRIBUTE_LOCAL) return Printer.DriverName;
  std::string name;
  if (CutServerPrefix(Printer.PrinterName, ServerName, name)) return name;
  // \\host\name becomes "name on host".
  const std::string& text = Printer.PrinterName;
  if (text.rfind("\\\\", 0) == 0) {
    const size_t slash = text.find('\\', 2);
    if (slash != std::string::npos) return text.substr(slash + 1) + " on " + text.substr(2, slash - 2);
  }
  return text;
}

int PrinterImageIndex(const TPrinterRecord& Record, bool Busy, int AnimationFrame) {
  int still, animated;
  if (!Record.IsLocal) {
    still = Record.IsDefault ? 4 : 2;
    animated = Record.IsDefault ? 31 : 26;
  } else if (Record.IsDefault) {
    still = Record.IsShared ? 5 : 10;
    animated = Record.IsShared ? 16 : 6;
  } else {
    still = Record.IsShared ? 3 : 1;
    animated = Record.IsShared ? 21 : 11;
  }
  return Busy ? animated + AnimationFrame : still;
}
