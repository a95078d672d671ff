// A second process for the table tests. It opens tables through an engine
// session of its own and holds raw byte-range locks. One command per input
// line, each answered by one line: 0, or the engine error code (table
// commands) or Windows error number (raw commands) of the failure.
//   retry <count> <waitMs>                    the session's record-lock retries
//   open <folder> <table> shared|exclusive    close
//   delete <folder> <table>
//   lockrecord <n>    unlockrecord <n>    lockwrite    unlockwrite
//   hold <path> <offset> <length>             a raw lock kept until the end
//   probe <path> <offset> <length>            a raw lock, released at once
// Through a cursor, on a table of ID integer, NAME string, GRP integer:
//   cursor <folder> <table> shared|exclusive   closecursor
//   insert <firstId> <count>     rows ID, "N<ID>", ID % 100, one insert each
//   insertendless <firstId> <count>   answers after count rows, then goes on
//                                     inserting until the process is killed
// It exits at the end of its input.

#include <iostream>
#include <list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engCursor.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engSession.h"
#include "engTable.h"
#include "osFile.h"

namespace {

class THelper {
public:
  std::string Run(const std::string& line) {
    std::istringstream args(line);
    std::string command;
    args >> command;
    try {
      return std::to_string(Dispatch(command, args));
    } catch (const EEngineError& error) {
      return std::to_string(error.ErrorCode);
    }
  }

  void CloseTable() {
    cursor.reset();
    if (table) directory->CloseTable(table, true);
    table = nullptr;
  }

private:
  TDataDirectory* directory = nullptr;
  TDataTable* table = nullptr;
  std::unique_ptr<TDataCursor> cursor;

  void InsertRow(int32_t id) {
    std::vector<uint8_t> record(cursor->CursorRecordSize(), 0);
    const std::string name = "N" + std::to_string(id);
    const int32_t group = id % 100;
    cursor->PutTableField(1, record.data(), &id);
    cursor->PutTableField(2, record.data(), name.c_str());
    cursor->PutTableField(3, record.data(), &group);
    cursor->InsertRecord(record.data(), false);
  }
  std::list<OsFile> heldFiles;

  int Dispatch(const std::string& command, std::istringstream& args) {
    std::string folder, name, mode, path;
    int64_t number = 0, length = 0;
    if (command == "retry") {
      args >> number >> length;
      GetEngineSession()->LockRetryCount = uint8_t(number);
      GetEngineSession()->LockWaitTime = uint16_t(length);
      return 0;
    }
    if (command == "open") {
      args >> folder >> name >> mode;
      directory = GetEngineSession()->OpenDirectory("", folder);
      const int32_t result =
          directory->OpenTable(name, table, mode == "exclusive", false, false, false, false, false, false);
      return result < 0 ? -result : 0;
    }
    if (command == "cursor") {
      args >> folder >> name >> mode;
      directory = GetEngineSession()->OpenDirectory("", folder);
      cursor = std::make_unique<TDataCursor>(directory);
      cursor->SetTableName(name);
      cursor->SetExclusive(mode == "exclusive");
      cursor->Open();
      return 0;
    }
    if (command == "closecursor") {
      cursor.reset();
      return 0;
    }
    if (command == "insert" || command == "insertendless") {
      args >> number >> length;
      for (int64_t n = 0; n < length; ++n) InsertRow(int32_t(number + n));
      if (command == "insert") return 0;
      std::cout << 0 << std::endl;
      for (int64_t id = number + length;; ++id) InsertRow(int32_t(id));
    }
    if (command == "close") {
      CloseTable();
      return 0;
    }
    if (command == "delete") {
      args >> folder >> name;
      const int32_t result = GetEngineSession()->OpenDirectory("", folder)->DeleteTable(name, false);
      return result < 0 ? -result : 0;
    }
    if (command == "lockrecord" || command == "unlockrecord") {
      args >> number;
      if (command == "lockrecord") {
        table->LockRecord(uint32_t(number));
        table->UnlockChangeCheck();  // as a cursor's operation ends
      } else {
        table->UnlockRecord(uint32_t(number));
      }
      return 0;
    }
    if (command == "lockwrite") {
      table->LockWrite();
      return 0;
    }
    if (command == "unlockwrite") {
      table->UnlockWrite();
      return 0;
    }
    if (command == "hold" || command == "probe") {
      args >> path >> number >> length;
      OsFile& file = heldFiles.emplace_back();
      OsError error = file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared);
      if (!error) error = file.LockRange(number, length);
      if (command == "probe" && !error) error = file.UnlockRange(number, length);
      if (command == "probe" || error) heldFiles.pop_back();
      return int(error);
    }
    return -1;
  }
};

}  // namespace

int main() {
  StartEngine();
  {
    THelper helper;
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) std::cout << helper.Run(line) << std::endl;
    helper.CloseTable();
  }
  StopEngine();
  return 0;
}
