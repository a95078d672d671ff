#include "Queue.h"

#include <limits>

#include "JobsTable.h"
#include "MonitorCommon.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "splSpooler.h"

void QueueJob::FillFromJobInfo(const JobInfo2& info) {
  *this = QueueJob{};
  JobId = info.JobId;
  Document = info.Document;
  UserName = info.UserName;
  StatusText = info.StatusText;
  Status = info.Status;
  PagesPrinted = info.PagesPrinted;
  TotalPages = info.TotalPages;
  Size = info.Size;
  Submitted = SystemTimeToLocalDateTime(info.Submitted);
}

std::string PrinterQueue::GetColumnText(const QueueJob& job, int column, const TFormatSettings& settings) {
  switch (column) {
    case 0:
      return job.Document;
    case 1:
      return job.StatusText.empty() ? JobStatusText(job.Status, true) : job.StatusText;
    case 2:
      return job.UserName;
    case 3:
      return Format("%s/%s", {InsertThousandSeparators(static_cast<int32_t>(job.PagesPrinted)),
                              InsertThousandSeparators(static_cast<int32_t>(job.TotalPages))});
    case 4:
      return Format("%s/%s", {FormatByteSize(job.BytesPrinted, true), FormatByteSize(job.Size, true)});
    case 5:
      return FormatDateTime("hh:nn:ss d/mm/yyyy", job.Submitted, settings);
    default:
      return "";
  }
}

bool PrinterQueue::FindJob(uint32_t jobId, int32_t& index) const {
  for (int32_t i = 0; i < Count(); ++i) {
    if (Jobs[i].JobId == jobId) {
      index = i;
      return true;
    }
  }
  return false;
}

void PrinterQueue::AppendJob(const JobInfo2& info) { Jobs.emplace_back().FillFromJobInfo(info); }

void PrinterQueue::ClearJobs() { Jobs.clear(); }

void PrinterQueue::Clear() { *this = PrinterQueue{}; }

void PrinterQueue::FillFromPrinterInfo(const PrinterInfo2& info) {
  ServerName = info.ServerName;
  ShareName = info.ShareName;
  PortName = info.PortName;
  DriverName = info.DriverName;
  Location = info.Location;
  Comment = info.Comment;
  JobCount = info.cJobs;
  Status = info.Status;
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

bool ApplyNotifyInfo(PrinterQueue& queue, const PrinterNotifyInfo& notifyInfo) {
  TJobListLock locked;
  for (const PrinterNotifyInfoData& data : notifyInfo.Data) {
    if (!ApplyJobNotify(queue, data)) ApplyPrinterNotify(queue, data);
  }
  return true;
}

namespace {

// Stores a value into the model's record and the same value into the
// job's pending entry.
class TJobFieldStore {
public:
  TJobFieldStore(QueueJob& model, TPendingJob& pending) : job(model), entry(pending) {}

  template <class TValue>
  void Store(TValue QueueJob::*field, const TValue& value) {
    job.*field = value;
    entry.*field = job.*field;
  }

private:
  QueueJob& job;
  TPendingJob& entry;
};

}  // namespace

bool ApplyJobNotify(PrinterQueue& queue, const PrinterNotifyInfoData& data) {
  if (data.Type != JOB_NOTIFY_TYPE) return false;
  int32_t index;
  if (!queue.FindJob(data.Id, index)) {
    JobInfo2 firstSeen;
    firstSeen.JobId = data.Id;
    queue.AppendJob(firstSeen);
    index = queue.Count() - 1;
  }
  QueueJob& job = queue.Jobs[index];
  TJobListLock locked;
  TJobFieldStore fields(job, FindOrAddPendingJob(job, queue.PrinterName));
  switch (data.Field) {
    case JOB_NOTIFY_FIELD_MACHINE_NAME:
      fields.Store(&QueueJob::MachineName, data.Text);
      break;
    case JOB_NOTIFY_FIELD_USER_NAME:
      fields.Store(&QueueJob::UserName, data.Text);
      break;
    case JOB_NOTIFY_FIELD_STATUS:
      fields.Store(&QueueJob::Status, data.Number);
      break;
    case JOB_NOTIFY_FIELD_STATUS_STRING:
      fields.Store(&QueueJob::StatusText, data.Text);
      break;
    case JOB_NOTIFY_FIELD_DOCUMENT:
      fields.Store(&QueueJob::Document, data.Text);
      break;
    case JOB_NOTIFY_FIELD_SUBMITTED:
      fields.Store(&QueueJob::Submitted, SystemTimeToLocalDateTime(data.Time));
      break;
    case JOB_NOTIFY_FIELD_TOTAL_PAGES:
      fields.Store(&QueueJob::TotalPages, data.Number);
      break;
    case JOB_NOTIFY_FIELD_PAGES_PRINTED:
      fields.Store(&QueueJob::PagesPrinted, data.Number);
      break;
    case JOB_NOTIFY_FIELD_TOTAL_BYTES:
      fields.Store(&QueueJob::Size, data.Number);
      break;
    case JOB_NOTIFY_FIELD_BYTES_PRINTED:
      fields.Store(&QueueJob::BytesPrinted, data.Number);
      break;
    default:
      break;
  }
  return true;
}

bool ApplyPrinterNotify(PrinterQueue& queue, const PrinterNotifyInfoData& data) {
  if (data.Type != PRINTER_NOTIFY_TYPE) return false;
  switch (data.Field) {
    case PRINTER_NOTIFY_FIELD_SERVER_NAME:
      queue.ServerName = data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_PRINTER_NAME:
      queue.PrinterName = data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_SHARE_NAME:
      queue.ShareName = data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_PORT_NAME:
      queue.PortName = data.Text;
      break;
    case PRINTER_NOTIFY_FIELD_STATUS:
      queue.Status = data.Number;
      break;
    case PRINTER_NOTIFY_FIELD_CJOBS:
      queue.JobCount = data.Number;
      break;
    default:
      break;
  }
  return true;
}
