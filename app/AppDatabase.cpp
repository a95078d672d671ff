#include "AppDatabase.h"

#include <memory>

#include "JobsDataModule.h"
#include "JobsStore.h"
#include "MDBSessionList.h"
#include "MonitorCommon.h"
#include "uiDialogs.h"

namespace {

std::unique_ptr<TDataModule1>& Module() {
  static std::unique_ptr<TDataModule1> module;
  return module;
}

}  // namespace

bool CheckJobsDatabase(const std::function<void(const std::string& text, bool loss)>& alert) {
  TDatabaseCheckOptions options;
  options.DataPath = DataPath;
  options.PrivateDir = ProgramDir;
  options.Confirm = [](const std::string& text, const std::string& caption) {
    return ShowMessageBox({text, caption, mtConfirmation, true}) == mrYes;
  };
  options.OnRestructured = [&alert](const std::string& text) { alert(text, false); };
  options.OnDataLost = [&alert](const std::string& text) { alert(text, true); };
  return OpenOrCreateDatabase(options);
}

std::string CreateDataModule() {
  FreeDataModule();
  Module() = std::make_unique<TDataModule1>(DataPath);
  SetDataModule1(Module().get());
  return Module()->OpenRefusal();
}

void FreeDataModule() {
  if (!Module()) return;
  SetDataModule1(nullptr);
  Module().reset();
  DefaultSession().Close();
}
