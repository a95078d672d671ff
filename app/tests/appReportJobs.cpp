#include "appReportJobs.h"

#include "JobsDataModule.h"
#include "Queue.h"
#include "splConstants.h"

void WriteKnownJobs(const std::vector<TKnownJob>& jobs) {
  uint32_t id = 1;
  for (const TKnownJob& known : jobs) {
    QueueJob job;
    job.JobId = id++;
    job.UserName = known.Owner;
    job.Document = known.Document.empty() ? "doc" + std::to_string(job.JobId) : known.Document;
    job.Status = known.Printed ? JOB_STATUS_PRINTED : JOB_STATUS_ERROR;
    job.PagesPrinted = known.Pages;
    job.TotalPages = known.Pages;
    job.BytesPrinted = known.Bytes;
    job.Size = known.Bytes;
    job.Submitted = EncodeDateTime(known.Year, known.Month, known.Day, 9, 30, 0, 0);
    DataModule1()->WriteJobRecord(job, known.Printer);
  }
}
