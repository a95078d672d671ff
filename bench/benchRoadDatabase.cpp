#include "benchRoadDatabase.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "DM.h"
#include "JobsStore.h"
#include "MDBSession.h"
#include "MDBSessionList.h"

struct TBenchJobsDatabase::TState {
  std::string root;
  std::unique_ptr<TDataModule1> module;
};

TBenchJobsDatabase::TBenchJobsDatabase() : state(std::make_unique<TState>()) {
  char pattern[] = "/tmp/orvelleRoadXXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("no scratch folder");
  state->root = pattern;
  TDatabaseCheckOptions options;
  options.DataPath = state->root + "/DATA";
  options.PrivateDir = state->root;
  options.Confirm = [](const std::string&, const std::string&) { return true; };
  if (!OpenOrCreateDatabase(options)) throw std::runtime_error("jobs table not created");
  state->module = std::make_unique<TDataModule1>(options.DataPath);
  SetDataModule1(state->module.get());
}

TBenchJobsDatabase::~TBenchJobsDatabase() {
  SetDataModule1(nullptr);
  state->module.reset();
  DefaultSession().Close();
  std::error_code ignored;
  std::filesystem::remove_all(state->root, ignored);
}

int TBenchJobsDatabase::RowCount() { return state->module->Table1().RecordCount(); }
