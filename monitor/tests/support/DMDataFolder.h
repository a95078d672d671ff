#pragma once
// A data folder of the test's own and the start-up check over it, with
// the questions asked and the alerts raised recorded, and the rows of a
// table read back. Free of the test framework, so benchmarks share it.

#include <filesystem>
#include <string>
#include <vector>

#include "JobsDataModule.h"
#include "JobsStore.h"
#include "MDBSession.h"
#include "MDBSessionList.h"
#include "rtlTestFolder.h"

struct TDataFolder {
  TTestFolder scratch;
  std::string folder = scratch.File("DATA");
  std::vector<std::string> questions;
  std::vector<std::string> alerts;
  bool answer = true;

  TDataFolder() = default;
  ~TDataFolder() {
    SetDataModule1(nullptr);
    DefaultSession().Close();
  }
  TDataFolder(const TDataFolder&) = delete;
  TDataFolder& operator=(const TDataFolder&) = delete;

  TDatabaseCheckOptions Options() {
    TDatabaseCheckOptions options;
    options.DataPath = folder;
    options.PrivateDir = std::filesystem::path(folder).parent_path().string();
    options.Confirm = [this](const std::string& text, const std::string& caption) {
      questions.push_back(caption + ": " + text);
      return answer;
    };
    options.OnRestructured = [this](const std::string& text) { alerts.push_back(text); };
    options.OnDataLost = [this](const std::string& text) { alerts.push_back(text); };
    return options;
  }

  bool CheckDatabase() { return OpenOrCreateDatabase(Options()); }

  // Every row of the table's current order as "value|value|..." of fields.
  static std::vector<std::string> Rows(TDataSet& table, const std::vector<std::string>& fields) {
    std::vector<std::string> rows;
    table.First();
    while (!table.Eof()) {
      std::string row;
      for (const std::string& field : fields) row += (row.empty() ? "" : "|") + table.FieldByName(field)->AsString();
      rows.push_back(row);
      table.Next();
    }
    return rows;
  }
};
