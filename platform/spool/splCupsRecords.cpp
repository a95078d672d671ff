#include "splCupsRecords.h"

#include <algorithm>
#include <limits>

#include "splConstants.h"
#include "splNames.h"

// The first attribute of a name counts: a job whose title is too long for
// a name keeps it in its first job-name, and CUPS adds "Untitled" after it.
void TIppGroup::Add(ipp_attribute_t* Attribute) { attributes_.emplace(ippGetName(Attribute), Attribute); }

ipp_attribute_t* TIppGroup::Find(const char* Name) const {
  const auto found = attributes_.find(Name);
  return found == attributes_.end() ? nullptr : found->second;
}

std::string TIppGroup::Text(const char* Name) const {
  ipp_attribute_t* a = Find(Name);
  const char* s = a ? ippGetString(a, 0, nullptr) : nullptr;
  return s ? s : "";
}

int TIppGroup::Integer(const char* Name, int Default) const {
  ipp_attribute_t* a = Find(Name);
  if (!a) return Default;
  const ipp_tag_t tag = ippGetValueTag(a);
  return tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM ? ippGetInteger(a, 0) : Default;
}

bool TIppGroup::Boolean(const char* Name, bool Default) const {
  ipp_attribute_t* a = Find(Name);
  return a && ippGetValueTag(a) == IPP_TAG_BOOLEAN ? ippGetBoolean(a, 0) != 0 : Default;
}

std::vector<std::string> TIppGroup::Keywords(const char* Name) const {
  std::vector<std::string> words;
  if (ipp_attribute_t* a = Find(Name))
    for (int i = 0; i < ippGetCount(a); ++i)
      if (const char* s = ippGetString(a, i, nullptr)) words.emplace_back(s);
  return words;
}

std::vector<TIppGroup> IppGroups(ipp_t* Message, ipp_tag_t Tag) {
  std::vector<TIppGroup> groups;
  bool open = false;
  for (ipp_attribute_t* a = ippFirstAttribute(Message); a; a = ippNextAttribute(Message)) {
    if (ippGetGroupTag(a) != Tag || !ippGetName(a)) {
      open = false;
      continue;
    }
    if (!open) groups.emplace_back();
    open = true;
    groups.back().Add(a);
  }
  return groups;
}

const char* const PrinterAttributeNames[] = {
    "printer-name",        "printer-state",          "printer-state-reasons", "printer-is-accepting-jobs",
    "printer-is-shared",   "printer-type",           "queued-job-count",      "device-uri",
    "printer-make-and-model", "printer-location",    "printer-info",          "pages-per-minute",
    "job-priority-default", "document-format-default"};
const size_t PrinterAttributeCount = std::size(PrinterAttributeNames);

const char* const JobAttributeNames[] = {
    "job-id",           "job-printer-uri",        "job-name",           "job-originating-user-name",
    "job-originating-host-name", "job-state",     "job-state-reasons",  "job-priority",
    "job-k-octets",     "job-impressions",        "job-impressions-completed", "job-media-sheets",
    "job-media-sheets-completed", "time-at-creation", "time-at-processing", "time-at-completed",
    "document-format",  "job-printer-state-message"};
const size_t JobAttributeCount = std::size(JobAttributeNames);

namespace {

// A state reason without its severity suffix.
std::string BareReason(const std::string& reason) {
  for (const char* suffix : {"-error", "-warning", "-report"}) {
    const size_t n = std::char_traits<char>::length(suffix);
    if (reason.size() > n && reason.compare(reason.size() - n, n, suffix) == 0) return reason.substr(0, reason.size() - n);
  }
  return reason;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

uint32_t ReasonStatus(const std::string& reason) {
  static const std::pair<const char*, uint32_t> table[] = {
      {"media-empty", PRINTER_STATUS_PAPER_OUT},       {"media-needed", PRINTER_STATUS_PAPER_OUT},
      {"media-jam", PRINTER_STATUS_PAPER_JAM},         {"paused", PRINTER_STATUS_PAUSED},
      {"offline", PRINTER_STATUS_OFFLINE},             {"toner-low", PRINTER_STATUS_TONER_LOW},
      {"marker-supply-low", PRINTER_STATUS_TONER_LOW}, {"toner-empty", PRINTER_STATUS_NO_TONER},
      {"marker-supply-empty", PRINTER_STATUS_NO_TONER}, {"door-open", PRINTER_STATUS_DOOR_OPEN},
      {"cover-open", PRINTER_STATUS_DOOR_OPEN},        {"interlock-open", PRINTER_STATUS_DOOR_OPEN},
      {"output-area-full", PRINTER_STATUS_OUTPUT_BIN_FULL}, {"shutdown", PRINTER_STATUS_NOT_AVAILABLE},
      {"moving-to-paused", PRINTER_STATUS_PAUSED},     {"spool-area-full", PRINTER_STATUS_OUT_OF_MEMORY},
  };
  const std::string bare = BareReason(reason);
  for (const auto& [name, status] : table)
    if (bare == name) return status;
  return EndsWith(reason, "-error") ? PRINTER_STATUS_ERROR : 0;
}

uint32_t Clamp32(long long value) {
  return static_cast<uint32_t>(std::clamp<long long>(value, 0, std::numeric_limits<uint32_t>::max()));
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == "[::1]" || host.empty() ||
         host[0] == '/';
}

}  // namespace

uint32_t PrinterStatusFromIpp(int State, const std::vector<std::string>& Reasons, bool Accepting) {
  uint32_t status = 0;
  if (State == IPP_PSTATE_PROCESSING) status |= PRINTER_STATUS_PRINTING;
  if (State == IPP_PSTATE_STOPPED) status |= PRINTER_STATUS_PAUSED;
  for (const auto& reason : Reasons) status |= ReasonStatus(reason);
  if (!Accepting) status |= PRINTER_STATUS_NOT_AVAILABLE;
  return status;
}

uint32_t JobStatusFromIpp(int State, const std::vector<std::string>& Reasons) {
  uint32_t status = 0;
  switch (State) {
    case IPP_JSTATE_HELD: status = JOB_STATUS_PAUSED; break;
    case IPP_JSTATE_PROCESSING: status = JOB_STATUS_PRINTING; break;
    case IPP_JSTATE_STOPPED: status = JOB_STATUS_PRINTING | JOB_STATUS_BLOCKED_DEVQ; break;
    case IPP_JSTATE_CANCELED: status = JOB_STATUS_DELETED; break;
    case IPP_JSTATE_ABORTED: status = JOB_STATUS_ERROR | JOB_STATUS_DELETED; break;
    case IPP_JSTATE_COMPLETED: status = JOB_STATUS_PRINTED; break;
    default: break;
  }
  if (State <= IPP_JSTATE_HELD && std::find(Reasons.begin(), Reasons.end(), "job-incoming") != Reasons.end())
    status |= JOB_STATUS_SPOOLING;
  return status;
}

PrinterInfo2 PrinterFromIpp(const TIppGroup& g, const std::string& Server) {
  PrinterInfo2 p;
  const std::string queue = g.Text("printer-name");
  const int type = g.Integer("printer-type");
  const bool shared = g.Boolean("printer-is-shared");
  p.ServerName = Server;
  p.PrinterName = PrinterFullName(Server, queue);
  p.ShareName = shared ? queue : "";
  p.PortName = g.Text("device-uri");
  p.DriverName = g.Text("printer-make-and-model");
  p.Comment = g.Text("printer-info");
  p.Location = g.Text("printer-location");
  p.Datatype = g.Text("document-format-default");
  p.Attributes = (type & CUPS_PRINTER_REMOTE ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL) |
                 (shared ? PRINTER_ATTRIBUTE_SHARED : 0) | (type & CUPS_PRINTER_DEFAULT ? PRINTER_ATTRIBUTE_DEFAULT : 0);
  p.Priority = p.DefaultPriority = Clamp32(g.Integer("job-priority-default"));
  p.Status = PrinterStatusFromIpp(g.Integer("printer-state", IPP_PSTATE_IDLE), g.Keywords("printer-state-reasons"),
                                  g.Boolean("printer-is-accepting-jobs", true));
  p.cJobs = Clamp32(g.Integer("queued-job-count"));
  p.AveragePPM = Clamp32(g.Integer("pages-per-minute"));
  return p;
}

SpoolJobState JobFromIpp(const TIppGroup& g, const PrinterInfo2& Printer) {
  SpoolJobState state;
  JobInfo2& j = state.Info;
  const int jobState = g.Integer("job-state", IPP_JSTATE_PENDING);
  const std::string host = g.Text("job-originating-host-name");
  j.JobId = Clamp32(g.Integer("job-id"));
  j.PrinterName = Printer.PrinterName;
  // A loopback origin is the print server's own host.
  j.MachineName = IsLoopback(host) ? Printer.ServerName : "\\\\" + host;
  j.UserName = g.Text("job-originating-user-name");
  j.NotifyName = j.UserName;
  j.Document = g.Text("job-name");
  j.Datatype = g.Text("document-format");
  j.DriverName = Printer.DriverName;
  j.StatusText = g.Text("job-printer-state-message");
  j.Status = JobStatusFromIpp(jobState, g.Keywords("job-state-reasons"));
  j.Priority = Clamp32(g.Integer("job-priority"));
  j.TotalPages = Clamp32(g.Integer("job-impressions", g.Integer("job-media-sheets")));
  j.PagesPrinted =
      Clamp32(std::max(g.Integer("job-impressions-completed"), g.Integer("job-media-sheets-completed")));
  j.Size = Clamp32(static_cast<long long>(g.Integer("job-k-octets")) * 1024);
  j.Submitted = SystemTimeFromUnixMs(static_cast<int64_t>(g.Integer("time-at-creation")) * 1000);
  const int started = g.Integer("time-at-processing");
  const int ended = g.Integer("time-at-completed");
  if (started > 0 && ended >= started) j.Time = Clamp32(static_cast<long long>(ended - started) * 1000);
  if (jobState == IPP_JSTATE_COMPLETED) state.BytesPrinted = j.Size;
  return state;
}

std::string QueueOfPrinterUri(const std::string& Uri) {
  const auto slash = Uri.rfind('/');
  return slash == std::string::npos ? std::string() : Uri.substr(slash + 1);
}
