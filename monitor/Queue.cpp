#include "Queue.h"

#include <limits>

#include "JobsTable.h"
#include "gTools.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "splSpooler.h"

void QueueJob::FillFromJobInfo(const JobInfo2& Info) {
  *this = QueueJob{};
  JobId = Info.JobId;
  Document = Info.Document;
  UserName = Info.UserName;
  StatusText = Info.StatusText;
  Status = Info.Status;
  PagesPrinted = Info.PagesPrinted;
  TotalPages = Info.TotalPages;
  Size = Info.Size;
  Submitted = SystemTimeToLocalDateTime(Info.Submitted);
}

std::string PrinterQueue::GetColumnText(const QueueJob& Job, int Column, const TFormatSettings& Settings) {
  switch (Column) {
    case 0:
      return Job.Document;
    case 1:
      return Job.StatusText.empty() ? JobStatusText(Job.Status, true) : Job.StatusText;
    case 2:
      return Job.UserName;
    case 3:
      return Format("%s/%s", {InsertThousandSeparators(static_cast<int32_t>(Job.PagesPrinted)),
                              InsertThousandSeparators(static_cast<int32_t>(Job.TotalPages))});
    case 4:
      return Format("%s/%s", {FormatByteSize(Job.BytesPrinted, true), FormatByteSize(Job.Size, true)});
    case 5:
      return FormatDateTime("hh:nn:ss d/mm/yyyy", Job.Submitted, Settings);
    default:
      return "";
  }
}

bool PrinterQueue::FindJob(uint32_t JobId, int32_t& Index) const {
  for (int32_t i = 0; i < Count(); ++i) {
    if (Jobs[i].JobId == JobId) {
      Index = i;
      return true;
    }
  }
  return false;
}

void PrinterQueue::AppendJob(const JobInfo2& Info) { Jobs.emplace_back().FillFromJobInfo(Info); }

void PrinterQueue::ClearJobs() { Jobs.clear(); }

void PrinterQueue::Clear() { *this = PrinterQueue{}; }

void PrinterQueue::FillFromPrinterInfo(const PrinterInfo2& Info) {
  ServerName = Info.ServerName;
  ShareName = Info.ShareName;
  PortName = Info.PortName;
  DriverName = Info.DriverName;
  Location = Info.Location;
  Comment = Info.Comment;
  JobCount = Info.cJobs;
  Status = Info.Status;
}

bool PrinterQueue::Refresh() {
  const std::shared_ptr<TSpooler> spooler = CurrentSpooler();
  PrinterInfo2 printer;
  if (spooler->GetPrinter(PrinterHandle, printer) != ERROR_SUCCESS) return false;
  // Every job, not just the count read a moment ago: one queued in between
  // would otherwise be missing until its next change.
  std::vector<JobInfo2> jobs;
  if (spooler->EnumJobs(PrinterHandle, 0, std::numeric_limits<uint32_t>::max(), jobs) != ERROR_SUCCESS)
    return false;
  printer.cJobs = static_cast<uint32_t>(jobs.size());
  FillFromPrinterInfo(printer);
  ClearJobs();
  for (const JobInfo2& job : jobs) AppendJob(job);
  return true;
}

bool ApplyNotifyInfo(PrinterQueue& Queue, const PrinterNotifyInfo& NotifyInfo) {
  TJobListLock locked;
  for (const PrinterNotifyInfoData& data : NotifyInfo.Data) {
    if (!ApplyJobNotify(Queue, data)) ApplyPrinterNotify(Queue, data);
  }
  return true;
}

namespace {

// Stores a value into the model's record and the same value into the
// job's pending entry.
class TJobFieldStore {
public:
  TJobFieldStore(QueueJob& Job, TPendingJob& Entry) : job(Job), entry(Entry) {}

  template <class TValue>
  void Store(TValue QueueJob::*Field, const TValue& Value) {
    job.*Field = Value;
    entry.*Field = job.*Field;
  }

private:
  QueueJob& job;
  TPendingJob& entry;
};

}  // namespace

bool ApplyJobNotify(PrinterQueue& Queue, const PrinterNotifyInfoData& Data) {
  if (Data.Type != JOB_NOTIFY_TYPE) return false;
  int32_t index;
  if (!Queue.FindJob(Data.Id, index)) {
    JobInfo2 firstSeen;
    firstSeen.JobId = Data.Id;
    Queue.AppendJob(firstSeen);
    index = Queue.Count() - 1;
  }
  QueueJob& job = Queue.Jobs[index];
  TJobListLock locked;
  TJobFieldStore fields(job, FindOrAddPendingJob(job, Queue.PrinterName));
  switch (Data.Field) {
    case JOB_NOTIFY_FIELD_MACHINE_NAME:
      fields.Store(&QueueJob::MachineName, Data.Text);
      break;
    case JOB_NOTIFY_FIELD_USER_NAME:
      fields.Store(&QueueJob::UserName, Data.Text);
      break;
    case JOB_NOTIFY_FIELD_STATUS:
      fields.Store(&QueueJob::Status, Data.Number);
      break;
    case JOB_NOTIFY_FIELD_STATUS_STRING:
      fields.Store(&QueueJob::StatusText, Data.Text);
      break;
    case JOB_NOTIFY_FIELD_DOCUMENT:
      fields.Store(&QueueJob::Document, Data.Text);
      break;
    case JOB_NOTIFY_FIELD_SUBMITTED:
      fields.Store(&QueueJob::Submitted, SystemTimeToLocalDateTime(Data.Time));
      break;
    case JOB_NOTIFY_FIELD_TOTAL_PAGES:
      fields.Store(&QueueJob::TotalPages, Data.Number);
      break;
    case JOB_NOTIFY_FIELD_PAGES_PRINTED:
      fields.Store(&QueueJob::PagesPrinted, Data.Number);
      break;
    case JOB_NOTIFY_FIELD_TOTAL_BYTES:
      fields.Store(&QueueJob::Size, Data.Number);
      break;
    case JOB_NOTIFY_FIELD_BYTES_PRINTED:
      fields.Store(&QueueJob::BytesPrinted, Data.Number);
      break;
    default:
      break;
  }
  return true;
}

bool ApplyPrinterNotify(PrinterQueue& Queue, const PrinterNotifyInfoData& Data) {
  if (Data.Type != PRINTER_NOTIFY_TYPE) return false;
  switch (Data.Field) {
    case PRINTER_NOTIFY_FIELD_SERVER_NAME:
      Queue.ServerName = Data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_PRINTER_NAME:
      Queue.PrinterName = Data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_SHARE_NAME:
      Queue.ShareName = Data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_PORT_NAME:
      Queue.PortName = Data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_STATUS:
      Queue.Status = Data.Number;
      break;
    case PRINTER_NOTIFY_FIELD_CJOBS:
      Queue.JobCount = Data.Number;
      break;
    default:
      break;
  }
  return true;
}
