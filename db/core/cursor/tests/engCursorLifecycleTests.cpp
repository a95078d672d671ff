// Creating, opening, sharing, closing, emptying, deleting, renaming and
// backing up tables through cursors, and header values of closed tables.

#include "engCursorTestSupport.h"
#include "engErrorCodes.h"

namespace {

const std::vector<TIndexSpec> PrimaryOnId = {{"", {1}}};

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace

TEST_F(CursorTest, NameTakesDatAndOpenModesChangeOnlyWhileClosed) {
  TDataCursor& cursor = NewCursor("people");
  EXPECT_EQ(cursor.TableName(), "people.DAT");
  cursor.SetOpenOptions({.TableName = "PEOPLE.DAT"});
  EXPECT_EQ(cursor.TableName(), "PEOPLE.DAT");
  EXPECT_EQ(cursor.OpenOptions().TableName, "PEOPLE.DAT");

  CreatePeople("PEOPLE", PrimaryOnId);
  cursor.Open();
  // While open, options that change how the table was opened are refused
  // and change nothing; the same options and the filter update mode pass.
  const std::vector<TCursorOpenOptions> refused = {
      {.TableName = "PEOPLE", .Exclusive = true},    {.TableName = "OTHER"},
      {.TableName = "PEOPLE", .ReadOnly = true},     {.TableName = "PEOPLE", .InMemory = true},
      {.TableName = "PEOPLE", .TemporaryTable = true}, {.TableName = "PEOPLE", .ComponentTable = true},
      {.TableName = "PEOPLE", .SqlSourceTable = true}};
  for (const TCursorOpenOptions& options : refused) {
    EXPECT_EQ(ErrorOf([&] { cursor.SetOpenOptions(options); }), EngErrTableInUse) << options.TableName;
    EXPECT_FALSE(cursor.OpenOptions().Exclusive || cursor.OpenOptions().ReadOnly || cursor.OpenOptions().InMemory ||
                 cursor.OpenOptions().TemporaryTable || cursor.OpenOptions().ComponentTable ||
                 cursor.OpenOptions().SqlSourceTable);
    EXPECT_EQ(cursor.TableName(), "PEOPLE.DAT");
  }
  EXPECT_EQ(ErrorOf([&] { cursor.SetOpenOptions({.TableName = "PEOPLE", .NoFilterUpdate = true}); }), 0);
  EXPECT_TRUE(cursor.OpenOptions().NoFilterUpdate);
  EXPECT_EQ(ErrorOf([&] { cursor.DeleteTable(); }), EngErrTableInUse);
  cursor.SetNoFilterUpdate(false);
  EXPECT_FALSE(cursor.OpenOptions().NoFilterUpdate);
  // No auto-increment field: the flag is not taken.
  cursor.SetNoAutoInc(true);
  EXPECT_FALSE(cursor.NoAutoInc());
  cursor.Close(TTemporaryContents::Keep);
  cursor.SetOpenOptions({.TableName = "PEOPLE", .Exclusive = true});
  EXPECT_TRUE(cursor.OpenOptions().Exclusive);
}

TEST_F(CursorTest, CreateNeedsExclusiveAndRefusesAnExistingTable) {
  TDataCursor& shared = NewCursor("PEOPLE");
  TTableDefinition definition;
  EXPECT_EQ(ErrorOf([&] { shared.CreateTable(definition, false); }), EngErrNotExclusive);

  CreatePeople("PEOPLE", PrimaryOnId);
  const auto size = std::filesystem::file_size(PathOf("PEOPLE.DAT"));
  TDataCursor& writer = OpenCursor("PEOPLE");
  Append(writer, Person(writer, 1, "Ann"));
  writer.Close(TTemporaryContents::Keep);
  EXPECT_NE(std::filesystem::file_size(PathOf("PEOPLE.DAT")), size);
  const auto filled = std::filesystem::file_size(PathOf("PEOPLE.DAT"));

  std::vector<uint8_t> fields = Descriptors({{"ID", IntType}});
  definition.Fields = FieldDefinitionsFromDescs(fields.data(), 1);
  TDataCursor& again = NewCursor("PEOPLE", true);
  EXPECT_EQ(ErrorOf([&] { again.CreateTable(definition, false); }), EngErrTableExists);
  EXPECT_EQ(std::filesystem::file_size(PathOf("PEOPLE.DAT")), filled);
  EXPECT_FALSE(again.IsOpen());

  again.CreateTable(definition, true);
  TDataCursor& reader = OpenCursor("PEOPLE");
  EXPECT_EQ(reader.GetFieldCount(), 1);
  EXPECT_EQ(reader.GetRecordCount(), 0);
}

TEST_F(CursorTest, ExclusiveOpenKeepsOthersOutUnlessOverridden) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& owner = OpenCursor("PEOPLE", true);
  TDataCursor& second = NewCursor("PEOPLE");
  EXPECT_EQ(ErrorOf([&] { second.Open(); }), EngErrAccessDenied);
  EXPECT_FALSE(second.IsOpen());
  TDataCursor& twin = NewCursor("PEOPLE", true);
  twin.SetOverrideExclusive(true);
  twin.Open();
  EXPECT_EQ(owner.Table(), twin.Table());

  // A twin's change reaches the other cursor even on an exclusive table.
  Append(twin, Person(twin, 7, "Gil"));
  owner.SetToBegin();
  owner.MoveBy(1);
  EXPECT_EQ(IdOf(owner), 7);
  twin.Close(TTemporaryContents::Keep);
  owner.Close(TTemporaryContents::Keep);
  second.Open();
  EXPECT_EQ(second.GetRecordCount(), 1);
}

TEST_F(CursorTest, EmptyTableNeedsExclusiveAndLeavesNoRecord) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& shared = OpenCursor("PEOPLE");
  for (int32_t id = 1; id <= 5; ++id) Append(shared, Person(shared, id, "x"));
  EXPECT_EQ(ErrorOf([&] { shared.EmptyTable(); }), EngErrNotExclusive);
  shared.Close(TTemporaryContents::Keep);

  TDataCursor& owner = OpenCursor("PEOPLE", true);
  EXPECT_EQ(owner.GetRecordCount(), 5);
  owner.EmptyTable();
  EXPECT_EQ(owner.GetRecordCount(), 0);
  EXPECT_TRUE(owner.AtBeginning() && owner.AtEnd());
  owner.SetIndexNo(NaturalOrderIndex);
  EXPECT_EQ(owner.GetRecordCount(), 0);
  Append(owner, Person(owner, 9, "y"));
  owner.RefreshPosition();
  EXPECT_EQ(Walk(owner), std::vector<int32_t>{9});
}

TEST_F(CursorTest, DeleteRenameAndBackupWorkOnClosedCursors) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& cursor = NewCursor("PEOPLE");
  cursor.RenameTable("STAFF");
  EXPECT_FALSE(Exists(PathOf("PEOPLE.DAT")));
  EXPECT_TRUE(Exists(PathOf("STAFF.DAT")) && Exists(PathOf("STAFF.IDX")));

  TDataCursor& staff = NewCursor("STAFF");
  staff.BackupTable();
  EXPECT_TRUE(Exists(PathOf("STAFF.DBK")) && Exists(PathOf("STAFF.IBK")));
  EXPECT_FALSE(Exists(PathOf("STAFF.DAT")));

  CreatePeople("STAFF", PrimaryOnId);
  TDataCursor& holder = OpenCursor("STAFF");
  EXPECT_EQ(ErrorOf([&] { staff.DeleteTable(); }), EngErrAccessDenied);
  holder.Close(TTemporaryContents::Keep);
  staff.DeleteTable();
  EXPECT_FALSE(Exists(PathOf("STAFF.DAT")) || Exists(PathOf("STAFF.IDX")));
  EXPECT_EQ(ErrorOf([&] { staff.Open(); }), 11010);
  EXPECT_FALSE(staff.IsOpen());
}

TEST_F(CursorTest, HeaderValuesComeFromTheFileOfAClosedTable) {
  std::vector<uint8_t> fields = Descriptors({{"ID", IntType}, {"MEMO", BlobFieldType}});
  TTableDefinition definition;
  definition.Fields = FieldDefinitionsFromDescs(fields.data(), 2);
  definition.Description = "Staff list";
  definition.LanguageId = 0x0407;
  definition.SortId = 1;
  definition.BlobBlockSize = 1024;
  definition.UserMajorVersion = 3;
  definition.UserMinorVersion = 14;
  TDataCursor& cursor = NewCursor("STAFF", true);
  cursor.CreateTable(definition, false);
  EXPECT_EQ(cursor.GetLanguageID(), 0x0407);
  EXPECT_EQ(cursor.GetSortID(), 1);
  EXPECT_EQ(cursor.GetBlobBlockSize(), 1024u);
  EXPECT_EQ(cursor.GetUserMajorVersion(), 3);
  EXPECT_EQ(cursor.GetUserMinorVersion(), 14);
  EXPECT_EQ(cursor.GetTableDescription(), "Staff list");
  EXPECT_FALSE(cursor.IsTableEncrypted());
  EXPECT_EQ(cursor.GetTablePassword(), "");
  cursor.Open();
  EXPECT_EQ(cursor.GetTableDescription(), "Staff list");
  EXPECT_EQ(cursor.GetLanguageID(), 0x0407);
}

TEST_F(CursorTest, EncryptedTableOpensOnlyWithItsPassword) {
  std::vector<uint8_t> fields = Descriptors({{"ID", IntType}});
  TTableDefinition definition;
  definition.Fields = FieldDefinitionsFromDescs(fields.data(), 1);
  definition.Encrypted = true;
  definition.Password = "secret";
  definition.Description = "hidden";
  NewCursor("VAULT", true).CreateTable(definition, false);
  EXPECT_FALSE(session->PasswordExists("secret"));

  TDataCursor& cursor = NewCursor("VAULT");
  int asked = 0;
  struct TAsk {
    int* Count;
    TDataSession* Session;
  } ask{&asked, session};
  cursor.SetPasswordHandler([state = &ask] {
    // The first request gives up, the second supplies the password.
    if (++*state->Count == 1) return false;
    state->Session->AddPassword("secret");
    return true;
  });
  EXPECT_EQ(ErrorOf([&] { cursor.Open(); }), EngErrPasswordRequired);
  EXPECT_FALSE(cursor.IsOpen());
  EXPECT_EQ(ErrorOf([&] { cursor.GetTableDescription(); }), 0);
  EXPECT_EQ(cursor.GetTableDescription(), "hidden");
  EXPECT_EQ(cursor.GetTablePassword(), "secret");
  cursor.Open();
  EXPECT_TRUE(cursor.IsTableEncrypted());
}

TEST_F(CursorTest, LostIndexFileIsRebuiltInNaturalOrder) {
  CreatePeople("PEOPLE", PrimaryOnId);
  TDataCursor& writer = OpenCursor("PEOPLE");
  uint32_t second = 0;
  for (int32_t id = 1; id <= 4; ++id) {
    const uint32_t number = Append(writer, Person(writer, 10 * id, "x"));
    if (id == 2) second = number;
  }
  Remove(writer, second);
  writer.Close(TTemporaryContents::Keep);
  std::filesystem::remove(PathOf("PEOPLE.IDX"));

  TDataCursor& reader = OpenCursor("PEOPLE");
  EXPECT_TRUE(reader.PrimaryIsNatural());
  EXPECT_TRUE(reader.IsNaturalOrder());
  EXPECT_EQ(reader.GetRecordCount(), 3);
  EXPECT_EQ(reader.Table()->IndexFile().GetRecordCount(), 3u);
  EXPECT_EQ(Walk(reader), (std::vector<int32_t>{10, 30, 40}));
}

// A table in memory is taken over as made; any other is opened again. Either
// way the cursor must stand where an open would leave it: the table
// exclusive, its records written and read back through the cursor, and a
// temporary one gone with the close (after the transaction that holds it).
TEST_F(CursorTest, CreateAndOpenLeavesTheCursorOnTheNewTableAsAnOpenWould) {
  struct TCase {
    bool InMemory, Temporary, InTransaction;
  };
  const TCase cases[] = {{true, true, false}, {true, false, false}, {true, true, true},
                         {false, true, false}, {false, false, false}};
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(n);
    const std::string name = "MADE" + std::to_string(n++);
    std::vector<uint8_t> fields = Descriptors({{"ID", IntType}, {"NAME", StrType, 20}});
    TTableDefinition definition;
    definition.Fields = FieldDefinitionsFromDescs(fields.data(), 2);
    TDataCursor& made = NewCursor(name);
    made.SetOpenOptions(
        {.TableName = name, .Exclusive = true, .InMemory = c.InMemory, .TemporaryTable = c.Temporary});
    if (c.InTransaction) directory->StartTransaction();
    made.CreateTableAndOpen(definition, false);
    ASSERT_TRUE(made.IsOpen());
    EXPECT_EQ(made.GetFieldCount(), 2);
    EXPECT_EQ(made.GetRecordCount(), 0);
    for (int32_t id : {3, 1, 2}) {
      std::vector<uint8_t> record = Person(made, id, "x");
      made.InsertRecord(record.data());
    }
    EXPECT_EQ(made.GetRecordCount(), 3);
    EXPECT_EQ(Walk(made), (std::vector<int32_t>{3, 1, 2}));
    TDataCursor& other = NewCursor(name);
    other.SetOpenOptions({.TableName = name, .InMemory = c.InMemory});
    EXPECT_EQ(ErrorOf([&] { other.Open(); }), EngErrAccessDenied);
    made.Close(TTemporaryContents::Discard);
    if (c.InTransaction) directory->Commit(true);
    EXPECT_EQ(directory->TableExists(name, c.InMemory), !c.Temporary);
    if (c.Temporary) continue;
    other.Open();
    EXPECT_EQ(Walk(other), (std::vector<int32_t>{3, 1, 2}));
    other.Close(TTemporaryContents::Keep);
  }
}
