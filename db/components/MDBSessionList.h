#pragma once
// The process-wide list of session components, its numbering of automatic
// session names, and the default session. The list and the default session
// ("Default") come into being on first use; at process exit every session
// still listed is freed, last first, which closes it and stops the engine.

#include <string>

#include "rtlBits.h"
#include "rtlThreadList.h"

class TMDBSession;

class TMDBSessionList {
public:
  TMDBSessionList(const TMDBSessionList&) = delete;
  TMDBSessionList& operator=(const TMDBSessionList&) = delete;

  // Called by every session's constructor and destructor. The first
  // session added becomes the default session.
  void AddSession(TMDBSession* session);
  void RemoveSession(TMDBSession* session);

  // An empty name is the default session; otherwise the first session of
  // that name in any letter case, nullptr when none.
  TMDBSession* FindSession(const std::string& name);
  // "Session name %s is not valid." when FindSession finds none.
  TMDBSession& GetSession(const std::string& name);
  // Frees every session, last first.
  void CloseAll();
  int Count();
  TMDBSession* Items(int index);

  TMDBSession* DefaultSession() const { return defaultSession; }

  // The automatic session numbers: the lowest free one, taken; and given
  // back. Both run under the session lock.
  int TakeAutoSessionNumber();
  void ReleaseAutoSessionNumber(int number);

private:
  friend TMDBSessionList& Sessions();
  TMDBSessionList() = default;

  TThreadList<TMDBSession> sessions;
  TBits autoSessionNumbers;
  TMDBSession* defaultSession = nullptr;
};

// The one list of the process, started on first use.
TMDBSessionList& Sessions();
TMDBSession& DefaultSession();
