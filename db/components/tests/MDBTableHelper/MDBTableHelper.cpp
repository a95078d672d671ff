// A second process for the components' tests: it opens a table through a
// table component and edits it on command. One command per line, one
// answer line each ("ok", a value, or "error <message>"):
//   open <folder> <table> [exclusive]   close
//   edit <id> <name>     (locate, edit, post)
//   hold <id>            (locate and edit: the record stays locked)
//   post <name>          cancel
//   append <id> <name>   names (the NAME column in the current order)

#include <iostream>
#include <sstream>
#include <string>

#include "MDBSession.h"
#include "MDBSessionList.h"
#include "MDBTable.h"
#include "rtlExceptions.h"

namespace {

std::string Names(TMDBTable& table) {
  std::string names;
  table.Refresh();
  table.First();
  while (!table.Eof()) {
    if (!names.empty()) names += ',';
    names += table.FieldByName("NAME")->AsString();
    table.Next();
  }
  return names.empty() ? "-" : names;
}

std::string Run(TMDBTable& table, const std::string& line) {
  std::istringstream args(line);
  std::string command, text;
  int id = 0;
  args >> command;
  if (command == "open") {
    std::string folder, name, mode;
    args >> folder >> name >> mode;
    table.SetDatabaseName(folder);
    table.SetTableName(name);
    table.SetExclusive(mode == "exclusive");
    table.Open();
    return "ok";
  }
  if (command == "close") {
    table.Close();
    return "ok";
  }
  if (command == "edit" || command == "hold") {
    args >> id >> text;
    table.Refresh();
    if (!table.Locate("ID", Variant(id), TLocateOptions())) return "error not found";
    table.Edit();
    if (command == "hold") return "ok";
    table.FieldByName("NAME")->SetAsString(text);
    table.Post();
    return "ok";
  }
  if (command == "post") {
    args >> text;
    table.FieldByName("NAME")->SetAsString(text);
    table.Post();
    return "ok";
  }
  if (command == "cancel") {
    table.Cancel();
    return "ok";
  }
  if (command == "append") {
    args >> id >> text;
    table.Append();
    table.FieldByName("ID")->SetAsInteger(id);
    table.FieldByName("NAME")->SetAsString(text);
    table.Post();
    return "ok";
  }
  if (command == "names") return Names(table);
  return "error unknown command " + command;
}

}  // namespace

int main() {
  DefaultSession().SetLockRetryCount(1);
  DefaultSession().SetLockWaitTime(10);
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::string answer;
    try {
      answer = Run(*table, line);
    } catch (const Exception& error) {
      answer = "error " + error.Message;
    }
    std::cout << answer << std::endl;
  }
  table.reset();
  return 0;
}
