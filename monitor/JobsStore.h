#pragma once
// What the pending list and the start-up need of the jobs table, without
// the database components: the writer of one row, which the data module
// installs, and the start-up check's options. The monitoring core's thread
// units and the database components declare types of the same names
// (events), so no unit includes both; they meet here.

#include <functional>
#include <string>

#include "rtlExceptions.h"

struct QueueJob;

enum class TJobWriteResult {
  Written,
  // The table holds this job's row already (written at an earlier shutdown).
  AlreadyRecorded,
  // The table held this job's row unfinished (written at an earlier
  // shutdown while the job waited): that row now holds the job's end.
  Completed,
};

// Raised by a writer when another user held the table for longer than the
// session's lock settings wait: every other row would wait as long in vain.
RTL_EXCEPTION_CLASS(EJobsTableBusy, Exception);

// Writes one row for job on printerName; raises when it could not, having
// stored no part of it.
using TJobWriter = std::function<TJobWriteResult(const QueueJob& job, const std::string& printerName)>;
void SetJobWriter(TJobWriter writer);
// Empty while no data module exists.
TJobWriter GetJobWriter();

// The start-up check's answers and reports.
struct TDatabaseCheckOptions {
  // The data folder (DataPath).
  std::string DataPath;
  // The private folder of the default session (answer tables go there).
  std::string PrivateDir;
  // Asked before a missing table is created: true creates it. Without one
  // (no windows) the table is created.
  std::function<bool(const std::string& text, const std::string& caption)> Confirm;
  // Alerts: the table was restructured; the restructure lost data.
  std::function<void(const std::string& text)> OnRestructured;
  std::function<void(const std::string& text)> OnDataLost;
};

// Makes sure the jobs table exists with the definition's structure. False
// when the user declined to create the missing table: the program ends
// then, having created nothing. Run it after the single-instance test, so
// a second start never touches the table under the first.
bool OpenOrCreateDatabase(const TDatabaseCheckOptions& options);
