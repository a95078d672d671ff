#include "DMTestDatabase.h"

#include <stdexcept>

#include "DMDataFolder.h"
#include "dbField.h"
#include "rtlFormat.h"

struct TTestJobsDatabase::TState {
  TDataFolder data;
  std::unique_ptr<TDataModule1> module;
};

TTestJobsDatabase::TTestJobsDatabase() : state(std::make_unique<TState>()) {
  if (!state->data.CheckDatabase()) throw std::runtime_error("jobs table not created");
  ReopenModule();
}

TTestJobsDatabase::~TTestJobsDatabase() {
  SetDataModule1(nullptr);
  state->module.reset();
  SetLockSettings(TMDBSession::DefaultLockRetryCount, TMDBSession::DefaultLockWaitTime);
}

void TTestJobsDatabase::SetLockSettings(uint8_t retryCount, uint16_t waitTimeMs) {
  DefaultSession().SetLockRetryCount(retryCount);
  DefaultSession().SetLockWaitTime(waitTimeMs);
}

const std::string& TTestJobsDatabase::Folder() const { return state->data.folder; }

void TTestJobsDatabase::ReopenModule() {
  SetDataModule1(nullptr);
  state->module.reset();
  state->module = std::make_unique<TDataModule1>(state->data.folder);
  SetDataModule1(state->module.get());
}

int TTestJobsDatabase::RowCount() { return state->module->Table1().RecordCount(); }

std::vector<std::string> TTestJobsDatabase::Rows(const std::vector<std::string>& fields) {
  TMDBTable& table = state->module->Table1();
  const std::string index = table.IndexName();
  table.SetIndexName("");
  std::vector<std::string> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    std::string row;
    for (const std::string& name : fields) {
      TField* field = table.FieldByName(name);
      // Dates and times as numbers: no format settings come into it.
      const bool dateTime = field->DataType() == ftDate || field->DataType() == ftTime;
      row += (row.empty() ? "" : "|") + (dateTime ? Format("%.8f", {field->AsDateTime()}) : field->AsString());
    }
    rows.push_back(row);
  }
  table.SetIndexName(index);
  return rows;
}
