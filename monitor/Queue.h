#pragma once
// The live model of one watched printer: its descriptive fields and status
// and one record per job in its spooler queue. Built by a full read and kept
// current from change notifications; every job field applied also reaches
// the job's pending entry (JobsTable.h).
//
// A model is touched only under its printer thread's model lock.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rtlDateTime.h"
#include "rtlFormatSettings.h"
#include "splTypes.h"

// One spooler job.
struct QueueJob {
  uint32_t JobId = 0;
  std::string MachineName;  // only a notification fills it
  std::string Document;
  std::string StatusText;  // the spooler's status string, often empty
  std::string UserName;
  uint32_t Status = 0;  // JOB_STATUS_
  uint32_t PagesPrinted = 0;
  uint32_t TotalPages = 0;
  uint32_t Size = 0;
  uint32_t BytesPrinted = 0;
  TDateTime Submitted = 0;  // local time

  // Everything but the machine name, which level 2 does not carry to us.
  void FillFromJobInfo(const JobInfo2& info);
};

// Column titles of the windows' job and printer lists.
inline constexpr std::array<const char*, 6> JobColumnTitles = {"Document Name", "Status", "Owner",
                                                              "Pages",         "Size",   "Submitted"};
inline constexpr std::array<const char*, 7> PrinterColumnTitles = {"Name",     "Documents", "Status", "Model",
                                                                  "Location", "Comment",   "Port"};

struct PrinterQueue {
  std::string PrinterName;
  std::string ServerName;
  std::string ShareName;
  std::string PortName;
  std::string DriverName;
  std::string Location;
  std::string Comment;
  uint32_t Status = 0;    // PRINTER_STATUS_
  uint32_t JobCount = 0;  // the spooler's count of jobs
  // The printer thread's handle; the thread owns and closes it.
  ::PrinterHandle PrinterHandle = 0;
  std::vector<QueueJob> Jobs;  // in the spooler's order

  int32_t Count() const { return static_cast<int32_t>(Jobs.size()); }

  // Columns: 0 document, 1 status, 2 owner, 3 pages, 4 size, 5 submitted;
  // any other gives "".
  static std::string GetColumnText(const QueueJob& job, int column, const TFormatSettings& settings);

  // Linear search by id.
  bool FindJob(uint32_t jobId, int32_t& index) const;
  void AppendJob(const JobInfo2& info);
  void ClearJobs();
  // Every field, the handle included.
  void Clear();
  // Every descriptive field and the status, PrinterName aside.
  void FillFromPrinterInfo(const PrinterInfo2& info);
  // The full read through PrinterHandle. False on a spooler failure, with the model
  // left as it was.
  bool Refresh();
};

// Applies each data item in order, job items to the jobs and their pending
// entries, printer items to the printer. The pending-job list stays locked
// for the whole notification, so a flush never sees half of one.
bool ApplyNotifyInfo(PrinterQueue& queue, const PrinterNotifyInfo& notifyInfo);
// Each returns whether the item was of its type.
bool ApplyJobNotify(PrinterQueue& queue, const PrinterNotifyInfoData& data);
bool ApplyPrinterNotify(PrinterQueue& queue, const PrinterNotifyInfoData& data);
