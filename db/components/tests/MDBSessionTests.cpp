#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBTable.h"
#include "MDBTb.h"
#include "MDBTestSupport.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engSession.h"
#include "rtlFormat.h"

namespace {

using SessionTest = ComponentsTest;

TEST_F(SessionTest, TheDefaultSessionIsTheFirstAndFoundByAnEmptyNameOrItsNameInAnyCase) {
  EXPECT_EQ(Sessions().Items(0), &DefaultSession());
  EXPECT_EQ(DefaultSession().SessionName(), SDefaultSessionName);
  EXPECT_TRUE(DefaultSession().IsDefault());
  EXPECT_EQ(Sessions().FindSession(""), &DefaultSession());
  EXPECT_EQ(Sessions().FindSession("dEfAuLt"), &DefaultSession());
  EXPECT_EQ(Sessions().FindSession("Nowhere"), nullptr);
  ExpectMessage<EDatabaseError>([] { Sessions().GetSession("Nowhere"); }, Format(SInvalidSessionName, {"Nowhere"}));
}

TEST_F(SessionTest, ASessionMadeByCodeHasTheConstructorDefaults) {
  TObjectPtr<TMDBSession> session(new TMDBSession(nullptr));
  EXPECT_EQ(session->LockRetryCount(), 15);
  EXPECT_EQ(session->LockWaitTime(), 100);
  EXPECT_EQ(session->SortID(), 0);
  EXPECT_TRUE(session->KeepConnections());
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(session->IsDefault());
  EXPECT_EQ(session->EngineVersion(), "2.08");
}

TEST_F(SessionTest, EngineResultsBecomeEngineErrorsWithOneEntry) {
  EXPECT_NO_THROW(CheckEngineResult(0));
  try {
    CheckEngineResult(11013, "JOBS.DAT");
    FAIL() << "no exception";
  } catch (const EMDBEngineError& error) {
    ASSERT_EQ(error.ErrorCount(), 1);
    EXPECT_EQ(error.Errors(0).ErrorCode(), 11013);
    EXPECT_EQ(error.Message, std::string(SMDBEngineErrorPrefix) + "11013 " + error.Errors(0).Message());
    EXPECT_EQ(error.Errors(0).Message(), EngineErrorMessage(11013));
    EXPECT_NE(error.Errors(0).Message().find("JOBS.DAT"), std::string::npos);
  }
  // The engine's own failures come through the same class.
  DefaultSession().Open();
  EXPECT_THROW(RaiseEngineError(10022, "T.DAT"), EMDBEngineError);
}

TEST_F(SessionTest, OpeningAnotherSessionOpensTheDefaultFirstAndPassesItsSettings) {
  TObjectPtr<TMDBSession> session(new TMDBSession(nullptr));
  session->SetSessionName("Second");
  session->SetSortID(7);
  session->SetLockRetryCount(3);
  session->SetPrivateDir(folder);
  int startups = 0;
  session->OnStartup = [&](TObject* sender) {
    EXPECT_EQ(sender, session.get());
    ++startups;
  };
  session->Open();
  EXPECT_EQ(startups, 1);
  EXPECT_TRUE(DefaultSession().Active());
  TDataSession* engine = session->GetHandle();
  EXPECT_NE(engine, DefaultSession().GetHandle());
  EXPECT_EQ(engine->SortID, 7);
  EXPECT_EQ(engine->LockRetryCount, 3);
  EXPECT_EQ(engine->GetPrivateDirectory(), folder + "/");
  // A setting changed while open reaches the engine at once.
  session->SetLockWaitTime(250);
  EXPECT_EQ(session->GetHandle()->LockWaitTime, 250);
  EXPECT_EQ(Sessions().FindSession("SECOND"), session.get());
}

TEST_F(SessionTest, SessionNamesAreCheckedAndOpeningWithoutOneFails) {
  TObjectPtr<TMDBSession> session(new TMDBSession(nullptr));
  ExpectMessage<EDatabaseError>([&] { session->Open(); }, SSessionNameMissing);
  EXPECT_FALSE(session->Active());
  ExpectMessage<EDatabaseError>([&] { session->SetSessionName("default"); },
                                Format(SDuplicateSessionName, {"default"}));
  session->SetSessionName("Other");
  session->Open();
  ExpectMessage<EDatabaseError>([&] { session->SetSessionName("Renamed"); }, SSessionActive);
  ExpectMessage<EDatabaseError>([&] { session->SetAutoSessionName(true); }, SSessionActive);
}

TEST_F(SessionTest, AutomaticSessionNumbersAreReusedLowestFirst) {
  TObjectPtr<TComponent> ownerA(new TComponent(nullptr));
  TObjectPtr<TComponent> ownerB(new TComponent(nullptr));
  TObjectPtr<TComponent> ownerC(new TComponent(nullptr));
  auto* first = new TMDBSession(ownerA.get());
  first->SetName("Session1");
  auto* second = new TMDBSession(ownerB.get());
  second->SetName("Session1");
  first->SetAutoSessionName(true);
  second->SetAutoSessionName(true);
  EXPECT_EQ(first->SessionName(), "Session1_1");
  EXPECT_EQ(second->SessionName(), "Session1_2");
  ExpectMessage<EDatabaseError>([&] { first->SetSessionName("Mine"); }, SAutoSessionActive);
  // A second session beside an auto-named one is refused.
  ExpectMessage<EDatabaseError>([&] { new TMDBSession(ownerA.get()); }, SAutoSessionExists);
  first->SetAutoSessionName(false);
  auto* third = new TMDBSession(ownerC.get());
  third->SetName("Other");
  third->SetAutoSessionName(true);
  EXPECT_EQ(third->SessionName(), "Other_1");
  // Renaming the component renames the session.
  third->SetName("Renamed");
  EXPECT_EQ(third->SessionName(), "Renamed_1");
}

TEST_F(SessionTest, AnAutoSessionCannotShareItsOwnerWithAnotherSession) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* a = new TMDBSession(owner.get());
  a->SetName("A");
  auto* b = new TMDBSession(owner.get());
  b->SetName("B");
  ExpectMessage<EDatabaseError>([&] { a->SetAutoSessionName(true); }, SAutoSessionExclusive);
}

TEST_F(SessionTest, AnAutoSessionGivesItsNameToTheDatabasesOfItsOwner) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* database = new TMDBDatabase(owner.get());
  auto* session = new TMDBSession(owner.get());
  session->SetName("Worker");
  session->SetAutoSessionName(true);
  EXPECT_EQ(database->SessionName(), session->SessionName());
  EXPECT_EQ(database->Session(), session);
  // A database made afterwards takes the session itself.
  auto* later = new TMDBDatabase(owner.get());
  EXPECT_EQ(later->Session(), session);
}

TEST_F(SessionTest, PasswordsAreCutTo255Characters) {
  const std::string longPassword(300, 'p');
  DefaultSession().AddPassword(longPassword);
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_TRUE(DefaultSession().GetHandle()->PasswordExists(longPassword.substr(0, 255)));
  DefaultSession().RemovePassword(longPassword);
  EXPECT_FALSE(DefaultSession().GetHandle()->PasswordExists(longPassword.substr(0, 255)));
}

TEST_F(SessionTest, ASecondThreadWaitsForTheSessionLockHeldByTheFirst) {
  TMDBSession& session = DefaultSession();
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool entered = false;
  int seenByWorker = -1;
  int protectedValue = 0;

  session.LockSession();
  session.LockSession();  // nested: the depth belongs to this thread only
  std::thread worker([&] {
    {
      std::lock_guard<std::mutex> guard(mutex);
      started = true;
    }
    changed.notify_all();
    session.LockSession();
    {
      std::lock_guard<std::mutex> guard(mutex);
      entered = true;
      seenByWorker = protectedValue;
    }
    changed.notify_all();
    session.UnlockSession();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return started; }));
    EXPECT_FALSE(changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return entered; }));
    protectedValue = 1;
  }
  session.UnlockSession();
  session.UnlockSession();
  worker.join();
  EXPECT_TRUE(entered);
  EXPECT_EQ(seenByWorker, 1);
}

TEST_F(SessionTest, DatabaseNamesAreChecked) {
  TObjectPtr<TMDBDatabase> database(new TMDBDatabase(nullptr));
  ExpectMessage<EDatabaseError>([&] { database->Open(); }, SDatabaseNameMissing);
  ExpectMessage<EDatabaseError>([&] { database->SetDatabaseName("1Jobs"); },
                                Format(SInvalidDatabaseName, {"1Jobs"}));
  ExpectMessage<EDatabaseError>([&] { database->SetDatabaseName("a/b"); }, Format(SInvalidDatabaseName, {"a/b"}));
  database->SetDatabaseName("_Jobs");
  TObjectPtr<TMDBDatabase> twin(new TMDBDatabase(nullptr));
  ExpectMessage<EDatabaseError>([&] { twin->SetDatabaseName("_JOBS"); }, Format(SDuplicateDatabaseName, {"_JOBS"}));
  database->SetDirectory(folder);
  database->Open();
  ExpectMessage<EDatabaseError>([&] { database->SetDatabaseName("Other"); }, SDatabaseOpen);
  ExpectMessage<EDatabaseError>([&] { database->SetDirectory("/tmp"); }, SDatabaseOpen);
  ExpectMessage<EDatabaseError>([&] { database->SetSessionName("Default"); }, SDatabaseOpen);
  EXPECT_EQ(database->Handle()->Name(), "_Jobs");
  ExpectMessage<EDatabaseError>(
      [] {
        TObjectPtr<TMDBDatabase> stray(new TMDBDatabase(nullptr));
        stray->SetDatabaseName("Stray");
        stray->SetSessionName("Nowhere");
        stray->Open();
      },
      Format(SInvalidSessionName, {"Nowhere"}));
}

TEST_F(SessionTest, ATemporaryDatabaseByPathReadsThePathAndGoesWhenReleased) {
  std::vector<int> events;
  DefaultSession().OnDatabaseEvent = [&](TMDBDatabaseEvent event, TMDBDatabase*) { events.push_back(event); };
  DefaultSession().SetKeepConnections(false);
  TMDBDatabase* database = DefaultSession().OpenDatabase(folder, nullptr);
  EXPECT_TRUE(database->Temporary());
  EXPECT_EQ(database->Directory(), folder);
  EXPECT_EQ(database->Handle()->Name(), "");
  EXPECT_EQ(database->Handle()->LocalPath(), folder + "/");
  EXPECT_EQ(database->RefCount(), 1);
  EXPECT_EQ(DefaultSession().OpenDatabase(folder, nullptr), database);
  EXPECT_EQ(database->RefCount(), 2);
  EXPECT_EQ(DefaultSession().FindDatabase(folder), database);
  DefaultSession().CloseDatabase(database);
  EXPECT_EQ(DefaultSession().FindDatabase(folder), database);
  DefaultSession().CloseDatabase(database);
  EXPECT_EQ(DefaultSession().FindDatabase(folder), nullptr);
  EXPECT_EQ(events, (std::vector<int>{dbAdd, dbOpen, dbClose, dbRemove}));
  DefaultSession().SetKeepConnections(true);
}

TEST_F(SessionTest, AKeptTemporaryDatabaseStaysUntilItsSessionCloses) {
  TMDBDatabase* database = DefaultSession().OpenDatabase(folder, nullptr);
  DefaultSession().CloseDatabase(database);
  EXPECT_EQ(DefaultSession().FindDatabase(folder), database);
  EXPECT_TRUE(database->Connected());
  DefaultSession().Close();
  EXPECT_EQ(DefaultSession().DatabaseCount(), 0);
}

TEST_F(SessionTest, HandleSharedDatabasesShareOneDirectory) {
  TObjectPtr<TMDBDatabase> first(new TMDBDatabase(nullptr));
  TObjectPtr<TMDBDatabase> second(new TMDBDatabase(nullptr));
  first->SetHandleShared(true);
  second->SetHandleShared(true);
  first->SetDatabaseName("Shared");
  second->SetDatabaseName("Shared");
  first->SetDirectory(folder);
  first->Open();
  second->Open();
  EXPECT_EQ(first->Handle(), second->Handle());
  // Either may close first; the other's handle stays valid.
  first->Close();
  EXPECT_EQ(second->Handle()->LocalPath(), folder + "/");
  second->Close();
  EXPECT_EQ(DefaultSession().GetHandle()->DirectoryCount(), 0);
}

TEST_F(SessionTest, ClosingTheDefaultSessionClosesTheOthersFirst) {
  TObjectPtr<TMDBSession> session(new TMDBSession(nullptr));
  session->SetSessionName("Worker");
  TObjectPtr<TMDBDatabase> database(new TMDBDatabase(session.get()));
  database->SetDatabaseName("Work");
  database->SetDirectory(folder);
  database->Open();
  EXPECT_EQ(database->Session(), session.get());
  DefaultSession().Close();
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(database->Connected());
}

}  // namespace

namespace {

TEST_F(SessionTest, ADatasetOfAnotherSessionTakesOverADatabaseMadeInTheDefaultOne) {
  TObjectPtr<TMDBSession> session(new TMDBSession(nullptr));
  session->SetSessionName("Reports");
  TObjectPtr<TMDBDatabase> database(new TMDBDatabase(nullptr));
  database->SetDatabaseName("Data");
  database->SetDirectory(folder);
  EXPECT_EQ(database->Session(), &DefaultSession());
  TObjectPtr<TMDBTable> table(new TMDBTable(nullptr));
  table->SetSessionName("Reports");
  table->SetDatabaseName("Data");
  table->FieldDefs().Add("ID", ftInteger);
  table->SetTableName("T.DAT");
  table->CreateTable();
  EXPECT_EQ(database->Session(), session.get());
  table->Open();
  EXPECT_EQ(table->Database(), database.get());
  EXPECT_EQ(&table->DataSetSession(), session.get());
}

}  // namespace
