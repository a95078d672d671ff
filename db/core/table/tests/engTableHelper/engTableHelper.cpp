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
//   setgroup <id> <group>   deleteid <id>    the row of that ID (found in
//                                     natural order) changed or deleted
// On any table, for the tests of damaged files and hostile filters:
//   check <folder> <table> [shared|exclusive] [write]
//                            opens it (the repair pass runs), walks every
//                            order both ways, reads every record and BLOB,
//                            with write inserts a row with a memo, changes
//                            one and deletes one and walks again; closes,
//                            opens and does it again; answers 0, the engine
//                            error that refused the table or a change, or
//                            "mismatch <what>" when the walks disagree
//   filter <folder> <table> <hex text>   a filter of that text, activated
//                            and walked; 0, or the engine error it raised
// It exits at the end of its input.

#include <algorithm>
#include <iostream>
#include <list>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursor.h"
#include "engDataFile.h"
#include "engDataLayout.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engRecordBuffer.h"
#include "engSession.h"
#include "engTable.h"
#include "engTableCursor.h"
#include "rtlExceptions.h"
#include "osFile.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string text;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) text += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

// The physical record numbers of one order, forward or backward, at most
// limit of them (a walk that goes on longer runs in a circle).
std::vector<uint32_t> WalkOrder(TTableCursor& cursor, bool forward, size_t limit) {
  std::vector<uint32_t> records;
  if (forward) cursor.SetToBegin();
  else cursor.SetToEnd();
  const int32_t step = forward ? 1 : -1;
  for (cursor.MoveBy(step); cursor.CurrentRecordNumber() != 0 && records.size() <= limit; cursor.MoveBy(step))
    records.push_back(GetRecordPhysicalNo(cursor.GetCurrentRecordBuffer()));
  if (!forward) std::reverse(records.begin(), records.end());
  return records;
}

// Every BLOB of the record under the cursor read whole. A BLOB whose chain
// is damaged answers with its own error (a code or an engine error), which
// is what a reader gets: the BLOB file's chains have their own repair.
void ReadBlobs(TTableCursor& cursor) {
  std::vector<uint8_t> record(cursor.GetCurrentRecordBuffer(),
                              cursor.GetCurrentRecordBuffer() + cursor.Fields().CursorRecordSize());
  for (int field = 1; field <= cursor.Fields().GetFieldCount(); ++field) {
    if (!cursor.Fields().TableFieldDefinition(field).IsBlob()) continue;
    try {
      if (cursor.Blobs().OpenBlob(field, record.data(), {}) != 0) continue;
    } catch (const EEngineError&) {
      continue;
    }
    int32_t size = 0;
    if (cursor.Blobs().GetBlobSize(field, record.data(), TFieldNumbering::Cursor, size) == 0 && size > 0) {
      std::vector<uint8_t> bytes(static_cast<size_t>(size));
      int32_t got = 0;
      cursor.Blobs().ReadBlob(field, record.data(), TFieldNumbering::Cursor, got, bytes, 0);
    }
    cursor.Blobs().FreeBlob(field, record.data(), TFieldNumbering::Cursor);
  }
}

// "" when every order holds the records of natural order, both ways alike.
std::string WalkEveryOrder(TTableCursor& cursor) {
  // Every table cursor is the engine's, which knows the slots in the file.
  const size_t limit = size_t(static_cast<TDataCursor&>(cursor).GetPhysicalRecordCount()) + 1;
  cursor.SetIndexNo(NaturalOrderIndex);
  std::vector<uint32_t> natural = WalkOrder(cursor, true, limit);
  if (WalkOrder(cursor, false, limit) != natural) return "natural order both ways";
  std::vector<uint8_t> row(cursor.Fields().CursorRecordSize());
  while (cursor.GetNextRecord(row.data()) == 0) ReadBlobs(cursor);
  std::sort(natural.begin(), natural.end());
  for (int n = 0; n <= cursor.Fields().GetSecondaryIndexCount(); ++n) {
    if (n == 0 && cursor.Fields().PrimaryIsNatural()) continue;
    cursor.SetIndexNo(uint8_t(n));
    std::vector<uint32_t> forward = WalkOrder(cursor, true, limit);
    if (WalkOrder(cursor, false, limit) != forward) return "index " + std::to_string(n) + " both ways";
    std::sort(forward.begin(), forward.end());
    if (forward != natural) return "index " + std::to_string(n) + " against natural order";
  }
  return {};
}

class THelper {
public:
  std::string Run(const std::string& line) {
    std::istringstream args(line);
    std::string command;
    args >> command;
    if (command == "check") return Check(args);
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
  std::unique_ptr<TTableCursor> cursor;

  void InsertRow(int32_t id) {
    std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
    const std::string name = "N" + std::to_string(id);
    const int32_t group = id % 100;
    cursor->Fields().WriteField(1, record.data(), id);
    cursor->Fields().WriteField(2, record.data(), name);
    cursor->Fields().WriteField(3, record.data(), group);
    cursor->InsertRecord(record.data());
  }
  std::list<OsFile> heldFiles;

  // On the damage cases' table (ID, NAME, GRP, NOTES memo, ...): a new row
  // with a memo, the first row of natural order changed, the next deleted.
  static void ChangeRows(TTableCursor& changed, int32_t id) {
    changed.SetIndexNo(NaturalOrderIndex);
    std::vector<uint8_t> record(changed.Fields().CursorRecordSize(), 0);
    const std::string name = "W" + std::to_string(id);
    const std::string notes(700, 'w');
    changed.Fields().WriteField(1, record.data(), id);
    changed.Fields().WriteField(2, record.data(), name);
    changed.Fields().WriteField(3, record.data(), id);
    if (changed.Blobs().OpenBlob(4, record.data(), {.Release = true}) == 0)
      changed.Blobs().WriteBlob(4, record.data(), TFieldNumbering::Cursor,
                                {reinterpret_cast<const uint8_t*>(notes.data()), notes.size()}, 0);
    changed.InsertRecord(record.data());
    changed.SetToBegin();
    if (changed.GetNextRecord(record.data()) != 0) return;
    const int32_t group = -id;
    changed.Fields().WriteField(3, record.data(), group);
    changed.ModifyRecord(record.data());
    changed.SetToBegin();
    changed.MoveBy(2);
    if (changed.CurrentRecordNumber() != 0) changed.DeleteRecord(changed.GetCurrentRecordBuffer());
  }

  // A table the first open refuses answers with the engine error; one it
  // opens must then walk whole, in each of two opens.
  std::string Check(std::istringstream& args) {
    std::string folder, name, mode, write;
    args >> folder >> name >> mode >> write;
    TDataDirectory* folderDirectory = GetEngineSession()->OpenDirectory("", folder);
    for (int round = 0; round < 2; ++round) {
      const std::unique_ptr<TTableCursor> checkedCursor = NewTableCursor(folderDirectory);
      TTableCursor& checked = *checkedCursor;
      checked.SetOpenOptions({.TableName = name, .Exclusive = mode == "exclusive"});
      try {
        checked.Open();
      } catch (const EEngineError& error) {
        return std::to_string(error.ErrorCode);
      }
      try {
        std::string disagreement = WalkEveryOrder(checked);
        if (!disagreement.empty()) return "mismatch " + disagreement;
        if (write == "write") {
          try {
            ChangeRows(checked, int32_t(1000000 + round));
          } catch (const EEngineError& error) {
            return std::to_string(error.ErrorCode);
          }
          disagreement = WalkEveryOrder(checked);
          if (!disagreement.empty()) return "mismatch after the writes: " + disagreement;
        }
      } catch (const Exception& error) {
        return std::string("mismatch after the open: ") + error.what();
      }
    }
    return "0";
  }

  int Filter(std::istringstream& args) {
    std::string folder, name, hex;
    args >> folder >> name >> hex;
    const std::unique_ptr<TTableCursor> filteredCursor = NewTableCursor(GetEngineSession()->OpenDirectory("", folder));
    TTableCursor& filtered = *filteredCursor;
    filtered.SetOpenOptions({.TableName = name});
    filtered.Open();
    try {
      TFilter* filter = filtered.Filters().AddFilter(FromHex(hex));
      filtered.Filters().ActivateFilter(filter);
      for (filtered.SetToBegin(), filtered.MoveBy(1); filtered.CurrentRecordNumber() != 0; filtered.MoveBy(1)) {
      }
    } catch (const EConvertError&) {
      // A value the text cannot convert: the documented refusal of a filter.
    }
    return 0;
  }

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
      const int32_t result = directory->OpenTable(name, {.Exclusive = mode == "exclusive"}, table);
      return result < 0 ? -result : 0;
    }
    if (command == "cursor") {
      args >> folder >> name >> mode;
      directory = GetEngineSession()->OpenDirectory("", folder);
      cursor = NewTableCursor(directory);
      cursor->SetOpenOptions({.TableName = name, .Exclusive = mode == "exclusive"});
      cursor->Open();
      return 0;
    }
    if (command == "rewritememo") {
      // The cursor's record in natural order place number: its first BLOB
      // field (after the ID) rewritten whole with length bytes of one value.
      int64_t fill = 0;
      args >> number >> length >> fill;
      cursor->SetIndexNo(NaturalOrderIndex);
      cursor->SetToBegin();
      std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
      for (int64_t n = 0; n < number; ++n)
        if (const int32_t error = cursor->GetNextRecord(record.data()); error != 0) return error;
      const std::vector<uint8_t> value(static_cast<size_t>(length), static_cast<uint8_t>(fill));
      if (const int32_t error = cursor->Blobs().OpenBlob(2, record.data(), {.Release = true}); error != 0) return error;
      if (const int32_t error = cursor->Blobs().WriteBlob(2, record.data(), TFieldNumbering::Cursor, value, 0);
          error != 0)
        return error;
      cursor->ModifyRecord(record.data());
      return 0;
    }
    if (command == "setgroup" || command == "deleteid") {
      args >> number >> length;
      cursor->SetIndexNo(NaturalOrderIndex);
      cursor->SetToBegin();
      std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
      for (;;) {
        if (const int32_t error = cursor->GetNextRecord(record.data()); error != 0) return error;
        int32_t id = 0;
        if (!cursor->Fields().ReadField(1, record.data(), std::span(reinterpret_cast<uint8_t*>(&id), sizeof id)) ||
            id != number)
          continue;
        if (command == "deleteid") {
          cursor->DeleteRecord(record.data());
          return 0;
        }
        cursor->Fields().WriteField(3, record.data(), int32_t(length));
        cursor->ModifyRecord(record.data());
        return 0;
      }
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
    if (command == "filter") return Filter(args);
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
