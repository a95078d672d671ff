#include "MDBSessionList.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "MDBConsts.h"
#include "MDBSession.h"
#include "MDBSessionLock.h"
#include "MDBTb.h"
#include "rtlStrUtils.h"

namespace {

std::atomic<TMDBSessionList*> instance{nullptr};
std::once_flag started;
// The thread that is starting the list: its default session's constructor
// must find the list before the start is complete.
std::atomic<std::thread::id> startingThread;

void CloseDown() {
  try {
    Sessions().CloseAll();
  } catch (const std::exception&) {
    // The process is ending; a table that cannot be closed stays as the
    // engine last wrote it.
  }
}

}  // namespace

TMDBSessionList& Sessions() {
  if (startingThread.load() == std::this_thread::get_id()) return *instance.load();
  std::call_once(started, [] {
    // Never freed: threads abandoned at exit may still reach it.
    instance = new TMDBSessionList;
    startingThread = std::this_thread::get_id();
    InstallEngineErrorRaiser();
    TMDBSession* session = new TMDBSession(nullptr);
    session->SetSessionName(SDefaultSessionName);
    std::atexit(CloseDown);
    startingThread = std::thread::id();
  });
  return *instance.load();
}

TMDBSession& DefaultSession() { return *Sessions().DefaultSession(); }

void TMDBSessionList::AddSession(TMDBSession* session) {
  TThreadListLock<TMDBSession> lock(sessions);
  if (lock.List().Count() == 0) {
    defaultSession = session;
    session->SetDefault();
  }
  lock.List().Add(session);
}

void TMDBSessionList::RemoveSession(TMDBSession* session) {
  TThreadListLock<TMDBSession> lock(sessions);
  lock.List().Remove(session);
  if (defaultSession == session) defaultSession = nullptr;
}

TMDBSession* TMDBSessionList::FindSession(const std::string& name) {
  if (name.empty()) return defaultSession;
  TThreadListLock<TMDBSession> lock(sessions);
  for (int i = 0; i < lock.List().Count(); ++i) {
    auto* session = lock.List()[i];
    if (AnsiCompareText(session->SessionName(), name) == 0) return session;
  }
  return nullptr;
}

TMDBSession& TMDBSessionList::GetSession(const std::string& name) {
  TMDBSession* session = FindSession(name);
  if (session == nullptr) throw EDatabaseError(SInvalidSessionName, {name});
  return *session;
}

void TMDBSessionList::CloseAll() {
  // Freeing a session takes the session lock, which is held around list
  // searches: the list's lock is not held meanwhile, so the two are always
  // taken session lock first.
  for (;;) {
    TMDBSession* last = nullptr;
    {
      TThreadListLock<TMDBSession> lock(sessions);
      if (lock.List().Count() == 0) return;
      last = lock.List().Last();
    }
    last->Free();
  }
}

int TMDBSessionList::Count() {
  TThreadListLock<TMDBSession> lock(sessions);
  return lock.List().Count();
}

TMDBSession* TMDBSessionList::Items(int index) {
  TThreadListLock<TMDBSession> lock(sessions);
  return lock.List()[index];
}

int TMDBSessionList::TakeAutoSessionNumber() {
  TMDBSessionLockGuard guard;
  const int number = autoSessionNumbers.OpenBit();
  autoSessionNumbers.SetBits(number, true);
  return number;
}

void TMDBSessionList::ReleaseAutoSessionNumber(int number) {
  TMDBSessionLockGuard guard;
  if (number >= 0 && number < autoSessionNumbers.Size()) autoSessionNumbers.SetBits(number, false);
}
