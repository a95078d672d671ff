#include "appJobsTable.h"

#include "JobsDataModule.h"
#include "MDBSessionList.h"
#include "dbField.h"

int JobsRowCount() {
  TDataModule1* module = DataModule1();
  return module ? module->Table1().RecordCount() : -1;
}

std::vector<std::string> JobsColumn(const std::string& field) {
  std::vector<std::string> values;
  TDataModule1* module = DataModule1();
  if (!module) return values;
  TMDBTable& table = module->Table1();
  const std::string index = table.IndexName();
  table.SetIndexName("");
  for (table.First(); !table.Eof(); table.Next()) values.push_back(table.FieldByName(field)->AsString());
  table.SetIndexName(index);
  return values;
}

std::vector<std::string> JobsColumnIn(const std::string& folder, const std::string& field) {
  std::vector<std::string> values;
  {
    TDataModule1 module(folder);
    SetDataModule1(&module);
    values = JobsColumn(field);
    SetDataModule1(nullptr);
  }
  DefaultSession().Close();
  return values;
}

int JobsRowCountIn(const std::string& folder) {
  int count = -1;
  try {
    TMDBTable table(nullptr);
    table.SetDatabaseName(folder);
    table.SetTableName(JobsTableName);
    table.Open();
    count = table.RecordCount();
    table.Close();
  } catch (const Exception&) {
    count = -1;
  }
  DefaultSession().Close();
  return count;
}
