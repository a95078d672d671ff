#include <algorithm>
#include <unordered_map>

#include "splConstants.h"
#include "splNames.h"
#include "splState.h"

namespace {

PrinterNotifyInfoData TextData(uint16_t type, uint16_t field, uint32_t id, const std::string& text) {
  PrinterNotifyInfoData d;
  d.Type = type;
  d.Field = field;
  d.Id = id;
  d.Kind = NotifyDataKind::Text;
  d.Text = text;
  return d;
}

PrinterNotifyInfoData NumberData(uint16_t type, uint16_t field, uint32_t id, uint32_t number) {
  PrinterNotifyInfoData d;
  d.Type = type;
  d.Field = field;
  d.Id = id;
  d.Kind = NotifyDataKind::Number;
  d.Number = number;
  return d;
}

PrinterNotifyInfoData TimeData(uint16_t type, uint16_t field, uint32_t id, const SystemTime& time) {
  PrinterNotifyInfoData d;
  d.Type = type;
  d.Field = field;
  d.Id = id;
  d.Kind = NotifyDataKind::Time;
  d.Time = time;
  return d;
}

std::vector<PrinterNotifyInfoData> PrinterData(const PrinterInfo2& p) {
  std::vector<PrinterNotifyInfoData> d;
  AppendPrinterData(p, d);
  return d;
}

std::vector<PrinterNotifyInfoData> JobData(const SpoolJobState& j) {
  std::vector<PrinterNotifyInfoData> d;
  AppendJobData(j, d);
  return d;
}

// Both lists come from the same field table, so equal positions hold equal fields.
void AppendChanged(const std::vector<PrinterNotifyInfoData>& before, const std::vector<PrinterNotifyInfoData>& after,
                   std::vector<PrinterNotifyInfoData>& out) {
  for (size_t i = 0; i < after.size(); ++i)
    if (!(before[i] == after[i])) out.push_back(after[i]);
}

PrinterNotifyInfoData DeletedStatus(const SpoolJobState& j) {
  return NumberData(JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS, j.Info.JobId, j.Info.Status | JOB_STATUS_DELETED);
}

bool SameJobs(const std::vector<SpoolJobState>& a, const std::vector<SpoolJobState>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SpoolJobState& x, const SpoolJobState& y) {
    return x.BytesPrinted == y.BytesPrinted && x.Info == y.Info;
  });
}

SpoolEvent DiffPrinter(const SpoolPrinterState* before, const SpoolPrinterState& after) {
  SpoolEvent ev{after.Info.PrinterName, 0, {}};
  // Most printers of a server are as they were: compared whole, without
  // building their fields.
  if (before && SameJobs(before->Jobs, after.Jobs) && before->Info == after.Info) return ev;
  if (!before) {
    ev.Change |= PRINTER_CHANGE_ADD_PRINTER;
    AppendPrinterData(after.Info, ev.Data);
  } else if (!(before->Info == after.Info)) {
    const size_t mark = ev.Data.size();
    AppendChanged(PrinterData(before->Info), PrinterData(after.Info), ev.Data);
    if (ev.Data.size() != mark) ev.Change |= PRINTER_CHANGE_SET_PRINTER;
  }
  std::unordered_map<uint32_t, const SpoolJobState*> beforeJobs;
  if (before)
    for (const auto& j : before->Jobs) beforeJobs.emplace(j.Info.JobId, &j);
  for (const auto& j : after.Jobs) {
    const auto found = beforeJobs.find(j.Info.JobId);
    if (found == beforeJobs.end()) {
      ev.Change |= PRINTER_CHANGE_ADD_JOB;
      AppendJobData(j, ev.Data);
      continue;
    }
    if (found->second->BytesPrinted != j.BytesPrinted || !(found->second->Info == j.Info)) {
      const size_t mark = ev.Data.size();
      AppendChanged(JobData(*found->second), JobData(j), ev.Data);
      if (ev.Data.size() != mark) ev.Change |= PRINTER_CHANGE_SET_JOB;
    }
    beforeJobs.erase(found);
  }
  if (before)
    for (const auto& j : before->Jobs)
      if (beforeJobs.count(j.Info.JobId)) {
        ev.Change |= PRINTER_CHANGE_DELETE_JOB;
        ev.Data.push_back(DeletedStatus(j));
      }
  return ev;
}

}  // namespace

void AppendPrinterData(const PrinterInfo2& p, std::vector<PrinterNotifyInfoData>& d) {
  const uint16_t t = PRINTER_NOTIFY_TYPE;
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_SERVER_NAME, 0, p.ServerName));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_PRINTER_NAME, 0, p.PrinterName));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_SHARE_NAME, 0, p.ShareName));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_PORT_NAME, 0, p.PortName));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_DRIVER_NAME, 0, p.DriverName));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_COMMENT, 0, p.Comment));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_LOCATION, 0, p.Location));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_SEPFILE, 0, p.SepFile));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_PRINT_PROCESSOR, 0, p.PrintProcessor));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_PARAMETERS, 0, p.Parameters));
  d.push_back(TextData(t, PRINTER_NOTIFY_FIELD_DATATYPE, 0, p.Datatype));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_ATTRIBUTES, 0, p.Attributes));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_PRIORITY, 0, p.Priority));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_DEFAULT_PRIORITY, 0, p.DefaultPriority));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_START_TIME, 0, p.StartTime));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_UNTIL_TIME, 0, p.UntilTime));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_STATUS, 0, p.Status));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_CJOBS, 0, p.cJobs));
  d.push_back(NumberData(t, PRINTER_NOTIFY_FIELD_AVERAGE_PPM, 0, p.AveragePPM));
}

void AppendJobData(const SpoolJobState& job, std::vector<PrinterNotifyInfoData>& d) {
  const JobInfo2& j = job.Info;
  const uint16_t t = JOB_NOTIFY_TYPE;
  const uint32_t id = j.JobId;
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_PRINTER_NAME, id, j.PrinterName));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_MACHINE_NAME, id, j.MachineName));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_USER_NAME, id, j.UserName));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_NOTIFY_NAME, id, j.NotifyName));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_DATATYPE, id, j.Datatype));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_PRINT_PROCESSOR, id, j.PrintProcessor));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_PARAMETERS, id, j.Parameters));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_DRIVER_NAME, id, j.DriverName));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_STATUS, id, j.Status));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_STATUS_STRING, id, j.StatusText));
  d.push_back(TextData(t, JOB_NOTIFY_FIELD_DOCUMENT, id, j.Document));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_PRIORITY, id, j.Priority));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_POSITION, id, j.Position));
  d.push_back(TimeData(t, JOB_NOTIFY_FIELD_SUBMITTED, id, j.Submitted));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_START_TIME, id, j.StartTime));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_UNTIL_TIME, id, j.UntilTime));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_TIME, id, j.Time));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_TOTAL_PAGES, id, j.TotalPages));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_PAGES_PRINTED, id, j.PagesPrinted));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_TOTAL_BYTES, id, j.Size));
  d.push_back(NumberData(t, JOB_NOTIFY_FIELD_BYTES_PRINTED, id, job.BytesPrinted));
}

SpoolEvent DiffPrinterStates(const SpoolPrinterState* Before, const SpoolPrinterState& After) {
  return DiffPrinter(Before, After);
}

namespace {

// Printers keep their order from one state to the next: each is looked for
// at its own position first, then by name, so a diff costs one pass
// whatever the number of printers.
class TPrinterLookup {
 public:
  explicit TPrinterLookup(const SpoolServerState& State) : state_(State) {}
  const SpoolPrinterState* Find(const std::string& Name, size_t Hint) {
    const auto& printers = state_.Printers;
    if (Hint < printers.size() && SameSpoolName(printers[Hint].Info.PrinterName, Name)) return &printers[Hint];
    if (index_.empty())
      for (size_t i = 0; i < printers.size(); ++i) index_.emplace(LowerSpoolName(printers[i].Info.PrinterName), i);
    const auto found = index_.find(LowerSpoolName(Name));
    return found == index_.end() ? nullptr : &printers[found->second];
  }

 private:
  const SpoolServerState& state_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace

std::vector<SpoolEvent> DiffServerStates(const SpoolServerState& Before, const SpoolServerState& After) {
  std::vector<SpoolEvent> events;
  TPrinterLookup before(Before), after(After);
  for (size_t i = 0; i < After.Printers.size(); ++i) {
    const auto& p = After.Printers[i];
    SpoolEvent ev = DiffPrinter(before.Find(p.Info.PrinterName, i), p);
    if (ev.Change) events.push_back(std::move(ev));
  }
  for (size_t i = 0; i < Before.Printers.size(); ++i) {
    const auto& p = Before.Printers[i];
    if (after.Find(p.Info.PrinterName, i)) continue;
    SpoolEvent ev{p.Info.PrinterName, PRINTER_CHANGE_DELETE_PRINTER, {}};
    if (!p.Jobs.empty()) ev.Change |= PRINTER_CHANGE_DELETE_JOB;
    for (const auto& j : p.Jobs) ev.Data.push_back(DeletedStatus(j));
    events.push_back(std::move(ev));
  }
  return events;
}
