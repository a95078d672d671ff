#include "MonitorCommon.h"

#include <ctime>

#include "Alerter.h"
#include "SettingsKeys.h"
#include "SystemErrors.h"
#include "osPath.h"
#include "osProgram.h"
#include "rtlDateTimeText.h"
#include "rtlExceptions.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "rtlStreams.h"
#include "splConstants.h"
#include "splErrors.h"
#include "splSpooler.h"

std::string ProgramPath;
std::string ProgramDir;
std::string DataPath;
std::string DataPassword;
const std::string JobsFileName = "jobs.dat";

void InitializeTools() {
  ProgramDir = ProgramFolder();
  ProgramPath = ProgramDir + "/";
  DataPath = Format("%sDATA", {ProgramPath});
  DataPassword.clear();
  TMorvaneRegistry registry;
  if (registry.OpenKeyReadOnly(GetSettingsKey())) {
    DataPath = registry.ReadStringDef("DataPath", DataPath);
    DataPassword = registry.ReadStringDef("DataPswd", DataPassword);
  }
}

std::string GetComputerUNCName() { return "\\\\" + ComputerName(); }

std::string FormatDateTimeStyle(int style, TDateTime dateTime, const TFormatSettings& settings) {
  if (dateTime <= 0) return {};
  switch (style) {
    case 0: return FormatDateTime("yyyy/mm/dd HH:nn:ss.zzz", dateTime, settings);
    case 1: return FormatDateTime("yyyy/mm/dd hh:nn:ss", dateTime, settings);
    case 2: return FormatDateTime(settings.ShortDateFormat + " hh:mm:ss", dateTime, settings);
    case 3: return FormatDateTime("nn:ss", dateTime, settings);
    case 4: return FormatDateTime("yyyy/mm/dd hh:nn", dateTime, settings);
    default: return {};
  }
}

std::string FormatNowStyle(int style, const TFormatSettings& settings) {
  return FormatDateTimeStyle(style, Now(), settings);
}

std::string FormatByteSize(uint64_t bytes, bool allowMb) {
  if (bytes < 1024) return Format("%d b", {static_cast<unsigned long long>(bytes)});
  if (bytes >= 1024000 && allowMb) {
    double megabytes = static_cast<double>(bytes) / 1024 / 1024;
    return Format(bytes >= 10240000 ? "%.1f MB" : "%.2f MB", {megabytes});
  }
  return Format("%.2f KB", {static_cast<double>(bytes) / 1024});
}

std::string InsertThousandSeparators(int32_t n) {
  std::string text = Format("%d", {n});
  const size_t length = text.size();
  // Rightmost first, so that each position still counts from the plain digits.
  if (n >= 1000) text.insert(length - 3, ",");
  if (n >= 1000000) text.insert(length - 6, ",");
  if (n >= 1000000000) text.insert(length - 9, ",");
  return text;
}

std::string PrinterAttributeText(uint32_t attributes) {
  return (attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) ? "Use Printer Offline" : "";
}

namespace {

struct TStatusText {
  uint32_t Bit;
  const char* Text;
};

constexpr TStatusText kPrinterStatusTexts[] = {
    {0x1, "Paused"},           {0x2, "Error"},
    {0x4, "Deleting"},         {0x8, "Paper Jam"},
    {0x10, "Out Of Paper"},    {0x20, "Manual Feed"},
    {0x40, "Paper Problem"},   {0x80, "Offline"},
    {0x100, "IO Active"},      {0x200, "Busy"},
    {0x400, "Printing"},       {0x800, "Output Bin Full"},
    {0x1000, "Not Available"}, {0x2000, "Waiting"},
    {0x4000, "Processing"},    {0x8000, "Initializing"},
    {0x10000, "Warming Up"},   {0x20000, "Low Toner"},
    {0x40000, "No Toner"},     {0x80000, "Page Punt"},
    {0x100000, "User Intervention Required"},
    {0x200000, "Out of Memory"},
    {0x400000, "Door Open"},   {0x800000, "Unknown Server"},
    {0x1000000, "Power Save"},
};

// In the order the texts are listed.
constexpr TStatusText kJobStatusTexts[] = {
    {0x8, "Spooling"},        {0x10, "Printing"},  {0x4, "Deleting"},          {0x1, "Paused"},
    {0x80, "Printed"},        {0x100, "Deleted"},  {0x2, "Error"},             {0x20, "Offline"},
    {0x40, "Paper Out"},      {0x200, "Blocked Device"},
    {0x400, "Intervention Required"},
    {0x800, "Restarting"},
};

std::string PrinterStatusValueText(uint32_t status) {
  if (status == 0) return {};
  for (const TStatusText& entry : kPrinterStatusTexts)
    if (entry.Bit == status) return entry.Text;
  return "Unkown Status";
}

}  // namespace

std::string PrinterStatusText(uint32_t attributes, uint32_t status) {
  std::string text = JoinTexts(PrinterStatusValueText(status), " - ", PrinterAttributeText(attributes));
  return text.empty() ? "Ready" : text;
}

std::string JobStatusText(uint32_t status, bool allFlags) {
  if (!allFlags && (status & JOB_STATUS_PRINTED)) return "Printed";
  std::string text;
  uint32_t known = 0;
  for (const TStatusText& entry : kJobStatusTexts) {
    known |= entry.Bit;
    if (status & entry.Bit) text = JoinTexts(text, " - ", entry.Text);
  }
  if (status & ~known) text = JoinTexts(text, " - ", "Unkown");
  return text;
}

std::string JoinTexts(const std::string& a, const std::string& separator, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + separator + b;
}

std::string GetCSVField(std::string_view line, int n) {
  enum { Outside, Quoted, AfterQuote } state = Outside;
  const int target = n - 1;
  int field = 0;
  bool quoted = false;
  std::string text;
  for (char c : line) {
    if (field > target || text.size() >= 255) break;
    switch (state) {
      case Outside:
        if (c == '"')
          state = Quoted;
        else if (c == ',')
          ++field;
        else if (field == target)
          text += c;
        break;
      case Quoted:
        if (field == target) quoted = true;
        if (c == '"')
          state = AfterQuote;
        else if (field == target)
          text += c;
        break;
      case AfterQuote:
        if (c == ',') {
          ++field;
          state = Outside;
        }
        break;
    }
  }
  if (field < target) return {};
  if (!quoted) text = Trim(text);
  auto isQuote = [](char c) { return c == '"' || c == '\''; };
  while (!text.empty() && (isQuote(text.front()) || isQuote(text.back()))) {
    if (isQuote(text.front())) text.erase(0, 1);
    if (!text.empty() && isQuote(text.back())) text.pop_back();
  }
  return text;
}

std::string NextCSVToken(std::string_view& p) {
  while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
  size_t comma = p.find(',');
  std::string token(p.substr(0, comma));
  p.remove_prefix(comma == std::string_view::npos ? p.size() : comma + 1);
  return token;
}

TDateTime SystemTimeToLocalDateTime(const SystemTime& time) {
  std::tm utc{};
  utc.tm_year = time.Year - 1900;
  utc.tm_mon = time.Month - 1;
  utc.tm_mday = time.Day;
  utc.tm_hour = time.Hour;
  utc.tm_min = time.Minute;
  utc.tm_sec = time.Second;
  TDateTime checked;
  if (!TryEncodeDateTime(time.Year, time.Month, time.Day, time.Hour, time.Minute, time.Second,
                         time.Milliseconds, checked))
    return 0;
  std::time_t seconds = timegm(&utc);
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return 0;
  TDateTime result;
  if (!TryEncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec, time.Milliseconds, result))
    return 0;
  return result;
}

std::unique_ptr<TFileStream> OpenAppendStream(const std::string& fileName, bool create) {
  const bool fresh = create || !OsPath::FileExists(fileName);
  auto stream = std::make_unique<TFileStream>(fileName, fresh ? fmCreate : fmOpenReadWrite);
  stream->Seek(0, soFromEnd);
  return stream;
}

void ForceDataDirectory() { ForceFolders(DataPath, 0777); }

namespace {

template <class TInfo>
void EnumPrintersChecked(uint32_t flags, const std::string& name, std::vector<TInfo>& printers) {
  const std::shared_ptr<TSpooler> spooler = CurrentSpooler();
  const OsError error = spooler->EnumPrinters(flags, name, printers);
  if (error == ERROR_SUCCESS) return;
  if ((error == RPC_S_SERVER_UNAVAILABLE || error == ERROR_TIMEOUT) && !name.empty())
    throw ESysError(Format("Print server \"%s\" cannot be reached: %s", {name, spooler->ErrorText(error)}));
  throw ESysError(spooler->ErrorText(error));
}

}  // namespace

void EnumPrintersBuffer(uint32_t flags, const std::string& name, std::vector<PrinterInfo1>& printers) {
  EnumPrintersChecked(flags, name, printers);
}

void EnumPrintersBuffer(uint32_t flags, const std::string& name, std::vector<PrinterInfo2>& printers) {
  EnumPrintersChecked(flags, name, printers);
}

bool OpenPrinterChecked(const std::string& name, PrinterHandle& handle) {
  std::shared_ptr<TSpooler> spooler = CurrentSpooler();
  OsError error = spooler->OpenPrinter(name, PRINTER_ALL_ACCESS, handle);
  if (error != ERROR_SUCCESS) error = spooler->OpenPrinter(name, PRINTER_ACCESS_USE, handle);
  if (error != ERROR_SUCCESS)
    throw Exception(Format("OpenPrinter failed:\n%s",
                           {error == ERROR_ACCESS_DENIED ? std::string("Access denied!") : OsErrorMessage(error)}));
  return true;
}

std::string GetDefaultPrinter() {
  std::string entry;
  if (CurrentSpooler()->GetDefaultPrinter(entry) == ERROR_SUCCESS) {
    std::string_view rest(entry);
    std::string name = NextCSVToken(rest);
    if (!name.empty()) return name;
  }
  // CUPS systems often have printers and no default: that is no fault. Only
  // a system without any printer deserves the alert.
  std::vector<PrinterInfo2> printers;
  try {
    EnumPrintersBuffer(PRINTER_ENUM_LOCAL, "", printers);
  } catch (const Exception&) {
    printers.clear();
  }
  if (printers.empty())
    GetAlerter()->AddFromThread(std::make_unique<Exception>("No default printer in system"), nullptr,
                              "You need to install a printer");
  return "No default printer";
}
