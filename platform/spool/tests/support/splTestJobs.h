#pragma once
// A job as the spooler shows it while it spools, submitted at one fixed
// moment, so that the rows, texts and dates the layers above make of it
// compare exactly. Tests set only what their checks look at.

#include <cstdint>
#include <string>

#include "splConstants.h"
#include "splTypes.h"

struct TSpoolingJobShape {
  std::string UserName = "anna";
  std::string MachineName;
  std::string StatusText;
  uint32_t TotalPages = 2;
  uint32_t Size = 1024;
};

inline JobInfo2 SpoolingJob(const std::string& document, const TSpoolingJobShape& shape = {}) {
  JobInfo2 job;
  job.Document = document;
  job.UserName = shape.UserName;
  job.MachineName = shape.MachineName;
  job.StatusText = shape.StatusText;
  job.Status = JOB_STATUS_SPOOLING;
  job.TotalPages = shape.TotalPages;
  job.Size = shape.Size;
  job.Submitted = {2024, 2, 6, 3, 14, 5, 9, 250};
  return job;
}
