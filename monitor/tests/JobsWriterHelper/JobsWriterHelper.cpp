// A second process for the jobs tests: it writes job rows into a jobs
// table through the data module, so that a test can hold the table from
// outside or kill a writer in the middle of an append. One command per
// line, one answer line each ("ok" or "error <message>"):
//   open <folder>        the data module over the folder's jobs table
//   write <first> <n>    n rows, job ids first, first + 1, ...
//   loop <first>         "started" after ten rows, then rows without end
//   hold <folder> [ms]   the jobs table's write lock, taken through the
//                        engine as another user's append takes it; with ms
//                        "held", then after ms "released"
//   own <folder>         the jobs table opened exclusively, as another
//                        program's restructure or emptying opens it
//   release              gives the held lock or table up
//   close

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <chrono>
#include <thread>

#include "JobsDataModule.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engSession.h"
#include "engTable.h"
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

// The jobs table opened through the engine with its write lock held.
class THeldTable {
public:
  THeldTable(const std::string& folder, bool exclusive) {
    StartEngine();
    directory = GetEngineSession()->OpenDirectory("", folder);
    TTableOpenOptions options;
    options.Exclusive = exclusive;
    if (directory->OpenTable("JOBS", options, table) != 0 || !table) throw Exception("cannot open JOBS in " + folder);
    table->LockWrite();
  }
  ~THeldTable() {
    table->UnlockWrite();
    directory->CloseTable(table, false);
    GetEngineSession()->CloseDirectory(directory);
  }
  THeldTable(const THeldTable&) = delete;
  THeldTable& operator=(const THeldTable&) = delete;

private:
  TDataDirectory* directory = nullptr;
  TDataTable* table = nullptr;
};

std::unique_ptr<THeldTable> held;

std::string Run(std::unique_ptr<TDataModule1>& module, const std::string& line) {
  std::istringstream args(line);
  std::string command;
  args >> command;
  if (command == "hold") {
    std::string folder;
    int ms = 0;
    args >> folder >> ms;
    held = std::make_unique<THeldTable>(folder, false);
    if (ms <= 0) return "ok";
    std::cout << "held" << std::endl;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    held.reset();
    return "released";
  }
  if (command == "own") {
    std::string folder;
    args >> folder;
    held = std::make_unique<THeldTable>(folder, true);
    return "ok";
  }
  if (command == "release") {
    held.reset();
    return "ok";
  }
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
  held.reset();
  module.reset();
  DefaultSession().Close();
  return 0;
}
