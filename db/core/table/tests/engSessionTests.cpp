// Engine start, sessions, directories and their table registries.

#include <algorithm>
#include <thread>

#include "engTableTestSupport.h"
#include "osThreadContext.h"

namespace {

TEST(EngineTest, TheDefaultSessionExistsOnlyWhileTheEngineRuns) {
  StopEngine();
  EXPECT_EQ(RaisedCode([] { GetEngineSession(); }), 10758);
  StartEngine();
  TDataSession* first = GetEngineSession();
  ASSERT_NE(first, nullptr);
  StartEngine();
  EXPECT_EQ(GetEngineSession(), first);
  TDataSession* own = nullptr;
  EXPECT_EQ(CreateEngineSession(own), own);
  SetEngineSession(own);
  EXPECT_EQ(GetEngineSession(), own);
  SetEngineSession(first);
  FreeEngineSession(own);
  StopEngine();
  EXPECT_EQ(RaisedCode([] { GetEngineSession(); }), 10758);
}

class SessionTest : public TableTest {};

TEST_F(SessionTest, PrivateDirectoryAndPasswords) {
  EXPECT_EQ(session->GetPrivateDirectory(), session->DefaultDirectory());
  EXPECT_EQ(session->DefaultDirectory().back(), '/');
  session->SetPrivateDirectory(" " + folder + " ");
  EXPECT_EQ(session->GetPrivateDirectory(), folder + "/");
  session->SetPrivateDirectory("");
  EXPECT_EQ(session->GetPrivateDirectory(), folder + "/");

  session->AddPassword("Secret");
  session->AddPassword("Secret");
  session->AddPassword("");
  session->RemovePassword("SECRET");
  EXPECT_TRUE(session->PasswordExists("Secret"));
  session->RemovePassword("Secret");
  EXPECT_FALSE(session->PasswordExists("Secret"));
  session->AddPassword("one");
  session->AddPassword("two");
  session->RemoveAllPasswords();
  EXPECT_FALSE(session->PasswordExists("one") || session->PasswordExists("two"));
}

TEST_F(SessionTest, DirectoriesAreSharedByPathAndFreedAtTheirLastClose) {
  TDataDirectory* memory = session->OpenDirectory("memory", "");
  EXPECT_EQ(session->OpenDirectory("MEMORY", "/elsewhere"), memory);
  EXPECT_TRUE(memory->LocalPath().empty());
  EXPECT_EQ(session->OpenDirectory("DATA", folder), directory);  // the fixture's, with "/" added
  EXPECT_EQ(directory->LocalPath(), folder + "/");
  EXPECT_EQ(directory->UseCount(), 2u);
  const int32_t before = session->DirectoryCount();

  EXPECT_EQ(session->CloseDirectory(memory), 0);
  EXPECT_EQ(session->CloseDirectory(memory), 0);
  EXPECT_EQ(session->DirectoryCount(), before - 1);
  EXPECT_EQ(session->CloseDirectory(memory), -11013);
  TDataDirectory* current = session->OpenDirectory("", "");
  EXPECT_EQ(current->LocalPath(), session->DefaultDirectory());
}

TEST_F(SessionTest, ExclusiveTablesAreSharedInTheDirectoryOnlyWithTheOverride) {
  CreateTable("ORDERS");
  TDataTable* table = OpenTable("orders.dat", true);
  TDataTable* second = nullptr;
  EXPECT_EQ(directory->OpenTable("ORDERS", {}, second), -11013);
  EXPECT_EQ(directory->OpenTable("ORDERS", {.OverrideExclusive = true}, second), 0);
  EXPECT_EQ(second, table);
  EXPECT_EQ(table->UseCount(), 2);
  EXPECT_TRUE(directory->TableExists("Orders", false));
  EXPECT_FALSE(directory->TableExists("Orders", true));

  EXPECT_EQ(directory->RenameTable("ORDERS", "SALES", false, false), -11013);
  EXPECT_EQ(directory->DeleteTable("ORDERS", false), -11013);
  EXPECT_EQ(directory->CloseTable(table, false), 0);
  EXPECT_EQ(directory->TableCount(), 1);
  EXPECT_EQ(directory->CloseTable(table, false), 0);
  EXPECT_EQ(directory->TableCount(), 0);
  EXPECT_EQ(directory->CloseTable(table, false), -11010);

  table = OpenTable("ORDERS");
  EXPECT_EQ(directory->OpenTable("ORDERS", {.Exclusive = true}, second), -11013);
  EXPECT_EQ(directory->CloseTable(table, false), 0);
}

TEST_F(SessionTest, ATableLeftDuringATransactionIsClosedWhenTheTransactionEnds) {
  CreateTable("ORDERS");
  CreateTable("ITEMS");
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  TDataDirectory* otherDirectory = other->OpenDirectory("", folder);

  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    TDataTable* kept = OpenTable("ITEMS");
    directory->StartTransaction();
    TDataTable* table = OpenTable("ORDERS", true);
    EXPECT_TRUE(table->InTransaction());
    AppendRecord(table, 1);
    ASSERT_EQ(directory->CloseTable(table, false), 0);
    EXPECT_EQ(directory->FindTable("ORDERS", false), table);
    if (commit) directory->Commit(true);
    else directory->Rollback();
    EXPECT_FALSE(directory->InTransaction());
    EXPECT_EQ(directory->FindTable("ORDERS", false), nullptr);
    EXPECT_EQ(directory->FindTable("ITEMS", false), kept);

    // No handle or lock is left behind: another user gets it exclusively.
    TDataTable* theirs = OpenTable(otherDirectory, "ORDERS", {.Exclusive = true});
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(theirs->DataFile().PhysicalRecordCount(), 1u);  // the committed record
    EXPECT_EQ(otherDirectory->CloseTable(theirs, false), 0);
    EXPECT_EQ(directory->CloseTable(kept, false), 0);
  }
  FreeEngineSession(other);
}

TEST_F(SessionTest, TheMemoryDirectoryKeepsItsTablesApartFromTheDisk) {
  TDataDirectory* memory = session->OpenDirectory("MEMORY", "");
  CreateTable(memory, "WORK", false, {.InMemory = true});
  EXPECT_TRUE(memory->TableExists("WORK", true));
  EXPECT_FALSE(memory->TableExists("WORK", false));
  EXPECT_FALSE(std::filesystem::exists("WORK.DAT"));

  TDataTable* table = OpenTable(memory, "WORK", {.InMemory = true});
  ASSERT_NE(table, nullptr);
  AppendRecord(table, 7);
  ASSERT_EQ(memory->CloseTable(table, false), 0);
  table = OpenTable(memory, "work.dat", {.InMemory = true});
  ASSERT_NE(table, nullptr);
  TRecord* record = nullptr;
  ASSERT_TRUE(table->DataFile().GetRecord(nullptr, 1, {}, record));
  EXPECT_EQ(GetId(record->Buffer()), 7);
  table->DataFile().ReleaseRecord(record);
  ASSERT_EQ(memory->CloseTable(table, false), 0);
  EXPECT_EQ(memory->DeleteTable("WORK", true), 0);
  EXPECT_FALSE(memory->TableExists("WORK", true));
}

namespace {

// The bytes of the table's open files, the data header's write time left out.
std::vector<std::vector<uint8_t>> FileBytes(TDataTable& table) {
  std::vector<std::vector<uint8_t>> files;
  for (TFileHandler* file : {static_cast<TFileHandler*>(&table.DataFile()), static_cast<TFileHandler*>(&table.IndexFile()),
                             static_cast<TFileHandler*>(&table.BlobFile())}) {
    std::vector<uint8_t>& bytes = files.emplace_back(size_t(file->IsOpen() ? file->FileSize() : 0));
    if (!bytes.empty()) file->ReadAt(0, bytes.data(), int32_t(bytes.size()), false);
  }
  std::fill_n(files[0].begin() + DatHdrWriteTime, sizeof(double), uint8_t(0));
  return files;
}

}  // namespace

// A temporary table in memory is set aside at its last close, and a later
// temporary creation of the same record layout takes it: its files are
// then, byte for byte, those of a table made anew, under the new name, and
// its old names are free. A table whose creation the files cannot repeat
// (one with an index), a close that keeps the table, and a creation of
// another layout go the ordinary way; a temporary table's files go with
// its last close either way.
TEST_F(SessionTest, ATableSetAsideIsMadeAgainAsANewTable) {
  TDataDirectory* memory = session->OpenDirectory("MEMORY", "");
  const TTableCreateOptions temporary{.InMemory = true, .Temporary = true};
  const std::vector<uint8_t> withBlob = Fields(true), withoutBlob = Fields(false), index = PrimaryOnId();
  const std::vector<uint8_t> none;
  struct TCase {
    const char* Name;
    const std::vector<uint8_t>* Fields;
    const std::vector<uint8_t>* Indexes;
    bool Discard;  // the close
    const std::vector<uint8_t>* NextFields;
    bool Taken;
  };
  const TCase cases[] = {
      {"with a BLOB field", &withBlob, &none, true, &withBlob, true},
      {"without one", &withoutBlob, &none, true, &withoutBlob, true},
      {"another layout next", &withBlob, &none, true, &withoutBlob, false},
      {"indexed", &withoutBlob, &index, true, &withoutBlob, false},
      {"closed keeping it", &withoutBlob, &none, false, &withoutBlob, false},
  };
  int serial = 0;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string first = "FIRST" + std::to_string(++serial), next = "NEXT" + std::to_string(serial);
    TDataTable* table = nullptr;
    ASSERT_EQ(memory->CreateTable(first, temporary, FilesOf(*test.Fields, *test.Indexes), table), 0);
    const std::vector<std::vector<uint8_t>> made = FileBytes(*table);
    for (int32_t id = 1; id <= 40; ++id) AppendRecord(table, id);
    // Bytes past what each file's header names, as records, pages and
    // blocks written out leave them.
    const std::vector<uint8_t> junk(3000, 0x5A);
    for (TFileHandler* file : {static_cast<TFileHandler*>(&table->DataFile()),
                               static_cast<TFileHandler*>(&table->IndexFile()),
                               static_cast<TFileHandler*>(&table->BlobFile())})
      if (file->IsOpen()) file->WriteAt(file->FileSize(), junk.data(), int32_t(junk.size()));
    const int32_t spares = session->SpareTableCount();
    ASSERT_EQ(memory->CloseTable(table, test.Discard), 0);
    const int32_t setAside = test.Discard && test.Indexes->empty() ? 1 : 0;
    EXPECT_EQ(session->SpareTableCount(), spares + setAside);
    EXPECT_FALSE(memory->TableExists(first, true));

    TDataTable* again = nullptr;
    ASSERT_EQ(memory->CreateTable(next, temporary, FilesOf(*test.NextFields, none), again), 0);
    EXPECT_EQ(session->SpareTableCount(), spares + setAside - (test.Taken ? 1 : 0));
    EXPECT_TRUE(memory->TableExists(next, true));
    EXPECT_FALSE(memory->TableExists(first, true));
    if (test.Taken) {
      EXPECT_EQ(FileBytes(*again), made);
    }
    EXPECT_EQ(again->DataFile().PhysicalRecordCount(), 0u);
    AppendRecord(again, 7);
    TRecord* record = nullptr;
    ASSERT_TRUE(again->DataFile().GetRecord(nullptr, 1, {}, record));
    EXPECT_EQ(GetId(record->Buffer()), 7);
    again->DataFile().ReleaseRecord(record);
    ASSERT_EQ(memory->CloseTable(again, false), 0);
    EXPECT_FALSE(memory->TableExists(next, true));
    // Whatever is still set aside goes with the session.
  }
}

// Past SpareTableLimit the table set aside longest ago goes: a layout the
// session turns to after others filled the places is still taken again,
// and one taken and set aside again counts as new. (Keeping the first ones
// for good left every later layout made anew at each execution.)
TEST_F(SessionTest, TheTableSetAsideLongestAgoMakesRoomForTheNext) {
  TDataDirectory* memory = session->OpenDirectory("MEMORY", "");
  const TTableCreateOptions temporary{.InMemory = true, .Temporary = true};
  // Layouts told apart by the width of their name.
  std::vector<std::vector<uint8_t>> layouts;
  for (uint8_t width = 10; width <= 10 + TDataSession::SpareTableLimit; ++width)
    layouts.push_back(Descriptors({{"ID", IntegerFieldType}, {"NAME", StringFieldType, width}}));
  const std::vector<uint8_t> none;
  int serial = 0;
  // Whether the creation took a table set aside; the close sets it aside.
  auto createAndClose = [&](size_t layout) {
    const int32_t spares = session->SpareTableCount();
    TDataTable* table = nullptr;
    EXPECT_EQ(memory->CreateTable("T" + std::to_string(++serial), temporary, FilesOf(layouts[layout], none), table),
              0);
    const bool taken = session->SpareTableCount() < spares;
    AppendRecord(table, int32_t(layout));
    EXPECT_EQ(memory->CloseTable(table, true), 0);
    EXPECT_EQ(session->SpareTableCount(), std::min(spares + (taken ? 0 : 1), TDataSession::SpareTableLimit));
    return taken;
  };
  for (size_t layout = 0; layout < layouts.size(); ++layout) EXPECT_FALSE(createAndClose(layout));
  const size_t last = layouts.size() - 1;
  // In turn, from the places 1, 2, 3 and the last (the first went).
  struct TCase {
    size_t Layout;
    bool Taken;
  };
  const TCase cases[] = {
      {1, true},      // to the end: 2, 3, last, 1
      {0, false},     // gone; set aside, 2 goes: 3, last, 1, 0
      {2, false},     // 3 goes: last, 1, 0, 2
      {1, true},      // last, 0, 2, 1
      {last, true},   // 0, 2, 1, last
      {0, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE("layout " + std::to_string(test.Layout));
    EXPECT_EQ(createAndClose(test.Layout), test.Taken);
  }
}

// A table in memory lies in no folder: a blank name is refused, any other
// is taken as given, also while the process's current folder is gone.
TEST_F(SessionTest, MemoryTableNamesAreCheckedWithoutTheCurrentFolder) {
  TDataDirectory* memory = session->OpenDirectory("MEMORY", "");
  const std::vector<uint8_t> fields = Fields(false);
  const std::vector<uint8_t> index = PrimaryOnId();
  const std::string home = std::filesystem::current_path().string();
  const std::string gone = folder + "/gone";
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);
  for (const std::string name : {"", "   ", ".DAT", "..", "a b", "x"}) {
    TDataTable* table = nullptr;
    const int32_t result = memory->CreateTable(name, {.InMemory = true}, FilesOf(fields, index), table);
    const bool blank = name.find_first_not_of(' ') == std::string::npos;
    EXPECT_EQ(result, blank ? -11010 : 0) << '"' << name << '"';
    if (result == 0) {
      EXPECT_EQ(memory->CloseTable(table, true), 0);
      EXPECT_TRUE(memory->TableExists(name, true)) << name;
      EXPECT_EQ(memory->DeleteTable(name, true), 0);
    }
  }
  std::filesystem::current_path(home);
}

TEST_F(SessionTest, TemporaryNamesAreFreeNames) {
  const std::string prefix = std::to_string(GetCurrentThreadId()).substr(0, 5);
  EXPECT_EQ(directory->GetTempTableName(false), prefix + "0.DAT");
  CreateTable(prefix + "0");
  EXPECT_EQ(directory->GetTempTableName(false), prefix + "1.DAT");
  EXPECT_EQ(directory->GetTempTableName(true), prefix + "0.DAT");
}

#if defined(ORV_ASSERTIONS)
TEST_F(SessionTest, ASecondThreadInsideASessionStopsTheRun) {
  TDataSession* session = GetEngineSession();
  session->EnterUse();
  session->EnterUse();  // nested operations of the same thread
  session->LeaveUse();
  session->LeaveUse();
  EXPECT_DEATH(
      {
        std::thread other([&] { session->EnterUse(); });
        other.join();
        session->EnterUse();
      },
      "invariant broken");
}
#endif

}  // namespace
