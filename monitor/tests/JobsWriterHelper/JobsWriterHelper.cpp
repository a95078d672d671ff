// A second process for the jobs tests: it writes job rows into a jobs
// table through the data module, so that a test can hold the table from
// outside or kill a writer in the middle of an append. One command per
// line, one answer line each ("ok" or "error <message>"):
//   open <folder>        the data module over the folder's jobs table
//   write <first> <n>    n rows, job ids first, first + 1, ...
//   loop <first>         "started" after ten rows, then rows without end
//   close

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "DM.h"
#include "MDBSessionList.h"
#include "MDBSession.h"
#include "Queue.h"
#include "rtlExceptions.h"
#include "splConstants.h"

namespace {

void WriteRow(TDataModule1& module, uint32_t id) {
  QueueJob job;
  job.JobId = id;
  job.Document = "helper document " + std::to_string(id);
  job.UserName = "helper";
  job.Status = JOB_STATUS_PRINTED;
  job.PagesPrinted = job.TotalPages = 1;
  job.Submitted = 45000.5;
  module.WriteJobRecord(job, "\\\\HELPER\\queue");
}

std::string Run(std::unique_ptr<TDataModule1>& module, const std::string& line) {
  std::istringstream args(line);
  std::string command;
  args >> command;
  if (command == "open") {
    std::string folder;
    args >> folder;
    module = std::make_unique<TDataModule1>(folder);
    return "ok";
  }
  if (command == "close") {
    module.reset();
    return "ok";
  }
  if (!module) return "error not open";
  uint32_t first = 0, count = 0;
  args >> first >> count;
  if (command == "write") {
    for (uint32_t i = 0; i < count; ++i) WriteRow(*module, first + i);
    return "ok";
  }
  if (command == "loop") {
    for (uint32_t id = first;; ++id) {
      WriteRow(*module, id);
      if (id == first + 9) std::cout << "started" << std::endl;
    }
  }
  return "error unknown command " + command;
}

}  // namespace

int main() {
  std::unique_ptr<TDataModule1> module;
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::string answer;
    try {
      answer = Run(module, line);
    } catch (const Exception& error) {
      answer = "error " + error.Message;
    }
    std::cout << answer << std::endl;
  }
  module.reset();
  DefaultSession().Close();
  return 0;
}
