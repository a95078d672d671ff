#include "MDBSession.h"

#include <algorithm>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBDatabaseUser.h"
#include "MDBPw.h"
#include "MDBSessionList.h"
#include "MDBSessionLock.h"
#include "engEngine.h"
#include "engSession.h"
#include "osLocale.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"
#include "rtlUtf8.h"

namespace {

constexpr int EngineShortStringLimit = 255;

}  // namespace

std::string EngineShortString(const std::string& text) {
  if (static_cast<int>(text.size()) <= EngineShortStringLimit) return text;
  std::string cut = Utf8Truncated(text, EngineShortStringLimit);
  while (static_cast<int>(cut.size()) > EngineShortStringLimit)
    cut = Utf8Truncated(cut, static_cast<int>(Utf8Length(cut)) - 1);
  return cut;
}

bool IsDirectoryPath(const std::string& text) {
  // UTF-8 never hides these bytes inside a longer character.
  return text.empty() || text.find_first_of(":\\/") != std::string::npos;
}

TMDBSession* TMDBSession::FindAutoSession(const TComponent* owner) {
  if (owner == nullptr) return nullptr;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* session = dynamic_cast<TMDBSession*>(owner->Components(i));
    if (session != nullptr && session->autoSessionName) return session;
  }
  return nullptr;
}

TMDBSession::TMDBSession(TComponent* owner) : TComponent(owner) {
  if (owner != nullptr) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      auto* other = dynamic_cast<TMDBSession*>(owner->Components(i));
      if (other != nullptr && other != this && other->autoSessionName)
        throw EDatabaseError(SAutoSessionExists);
    }
  }
  languageID = SystemUsesDoubleByteChars() ? 0 : GetUserDefaultLangID();
  Sessions().AddSession(this);
}

TMDBSession::~TMDBSession() {
  try {
    SetActive(false);
  } catch (const std::exception&) {
    // A destructor cannot report; the engine session goes regardless.
  }
  if (autoSessionNumber >= 0) Sessions().ReleaseAutoSessionNumber(autoSessionNumber);
  Sessions().RemoveSession(this);
  // Databases that outlive their session (owned elsewhere) let go of it.
  for (TMDBDatabase* database : databases) database->session = nullptr;
  databases.clear();
}

const std::string& EngineVersionText() {
  static const std::string version = SMDBEngineVersion;
  return version;
}

void TMDBSession::SetActive(bool value) {
  if (ComponentState().Contains(csLoading)) {
    streamedActive = value;
    return;
  }
  if (Active() == value) return;
  TMDBSessionLockGuard guard;
  if (value)
    StartSession();
  else
    StopSession();
}

void TMDBSession::StartSession() {
  if (OnStartup) OnStartup(this);
  if (sessionName.empty()) throw EDatabaseError(SSessionNameMissing);
  if (!isDefault) DefaultSession().Open();
  TDataSession* started = nullptr;
  if (isDefault) {
    StartEngine();
    started = GetEngineSession();
  } else {
    CreateEngineSession(started);
  }
  handle = started;
  try {
    ApplySettings();
  } catch (...) {
    StopSession();
    throw;
  }
}

void TMDBSession::ApplySettings() {
  handle->SetPrivateDirectory(EngineShortString(privateDir));
  handle->StrictChangeDetection = strictChangeDetection;
  handle->ForceBufferFlush = forceBufferFlush;
  handle->LockRetryCount = lockRetryCount;
  handle->LockWaitTime = lockWaitTime;
  handle->LanguageID = languageID;
  handle->SortID = sortID;
}

void TMDBSession::StopSession() {
  // Every other session stands on the engine that the default one started,
  // so they close before it stops the engine.
  if (isDefault) {
    for (int i = Sessions().Count() - 1; i >= 0; --i) {
      TMDBSession* other = Sessions().Items(i);
      if (other != this) other->Close();
    }
  }
  MakeCurrent();
  for (size_t i = databases.size(); i > 0; --i) {
    if (i > databases.size()) continue;
    TMDBDatabase* database = databases[i - 1];
    if (database->temporary)
      database->Free();
    else
      database->Close();
  }
  TDataSession* stopping = handle;
  handle = nullptr;
  if (isDefault) {
    StopEngine();
  } else {
    FreeEngineSession(stopping);
    TMDBSession* defaultSession = Sessions().DefaultSession();
    if (defaultSession != nullptr && defaultSession->handle != nullptr) SetEngineSession(defaultSession->handle);
  }
}

void TMDBSession::MakeCurrent() {
  if (handle != nullptr) SetEngineSession(handle);
}

void TMDBSession::LockSession() {
  TMDBSessionLock& lock = TMDBSessionLock::Instance();
  lock.Enter();
  int depth = 0;
  try {
    depth = lock.IncrementDepth(this);
  } catch (...) {
    lock.Leave();
    throw;
  }
  if (depth > 1) return;
  try {
    if (!Active()) Open();
    MakeCurrent();
  } catch (...) {
    lock.DecrementDepth(this);
    lock.Leave();
    throw;
  }
}

void TMDBSession::UnlockSession() {
  TMDBSessionLock& lock = TMDBSessionLock::Instance();
  lock.DecrementDepth(this);
  lock.Leave();
}

TDataSession* TMDBSession::GetHandle() {
  TMDBSessionUse use(*this);
  return handle;
}

void TMDBSession::AddPassword(const std::string& password) {
  TMDBSessionUse use(*this);
  const std::string cut = EngineShortString(password);
  if (cut.empty() || handle->PasswordExists(cut)) return;
  handle->AddPassword(cut);
  ++passwordsAdded;
}

void TMDBSession::RemovePassword(const std::string& password) {
  TMDBSessionUse use(*this);
  handle->RemovePassword(EngineShortString(password));
}

void TMDBSession::RemoveAllPasswords() {
  TMDBSessionUse use(*this);
  handle->RemoveAllPasswords();
}

template <typename T>
void TMDBSession::ChangeSetting(T& field, T value) {
  if (!Active()) {
    field = value;
    return;
  }
  TMDBSessionLockGuard guard;
  const bool changed = field != value;
  field = value;
  if (changed && handle != nullptr) ApplySettings();
}

void TMDBSession::SetForceBufferFlush(bool value) { ChangeSetting(forceBufferFlush, value); }
void TMDBSession::SetStrictChangeDetection(bool value) { ChangeSetting(strictChangeDetection, value); }
void TMDBSession::SetLockRetryCount(uint8_t value) { ChangeSetting(lockRetryCount, value); }
void TMDBSession::SetLockWaitTime(uint16_t value) { ChangeSetting(lockWaitTime, value); }
void TMDBSession::SetLanguageID(uint16_t value) { ChangeSetting(languageID, value); }
void TMDBSession::SetSortID(uint16_t value) { ChangeSetting(sortID, value); }
void TMDBSession::SetPrivateDir(const std::string& value) { ChangeSetting(privateDir, value); }

void TMDBSession::SetSessionName(const std::string& value) {
  if (autoSessionName && !updatingAutoName) throw EDatabaseError(SAutoSessionActive);
  if (Active()) throw EDatabaseError(SSessionActive);
  if (!value.empty()) {
    TMDBSession* other = Sessions().FindSession(value);
    if (other != nullptr && other != this) throw EDatabaseError(SDuplicateSessionName, {value});
  }
  sessionName = value;
}

void TMDBSession::SetAutoSessionName(bool value) {
  if (value == autoSessionName) return;
  if (ComponentState().Contains(csLoading)) {
    autoSessionName = value;
    return;
  }
  if (value) {
    if (Active()) throw EDatabaseError(SSessionActive);
    if (Owner() != nullptr) {
      for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* other = dynamic_cast<TMDBSession*>(Owner()->Components(i));
        if (other != nullptr && other != this) throw EDatabaseError(SAutoSessionExclusive);
      }
    }
    autoSessionNumber = Sessions().TakeAutoSessionNumber();
    autoSessionName = true;
    ApplyAutoName();
  } else {
    Sessions().ReleaseAutoSessionNumber(autoSessionNumber);
    autoSessionNumber = -1;
    autoSessionName = false;
  }
}

void TMDBSession::ApplyAutoName() {
  if (autoSessionNumber < 0) autoSessionNumber = Sessions().TakeAutoSessionNumber();
  updatingAutoName = true;
  try {
    SetSessionName(Format(SAutoSessionNameFormat, {Name(), autoSessionNumber + 1}));
  } catch (...) {
    updatingAutoName = false;
    throw;
  }
  updatingAutoName = false;
  UpdateOwnerUsers();
}

void TMDBSession::UpdateOwnerUsers() {
  if (Owner() == nullptr) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    TComponent* component = Owner()->Components(i);
    if (auto* user = dynamic_cast<TMDBDatabaseUser*>(component)) {
      if (user->SessionName() != sessionName) user->SetSessionName(sessionName);
    } else if (auto* database = dynamic_cast<TMDBDatabase*>(component)) {
      if (database->SessionName() != sessionName) database->SetSessionName(sessionName);
    }
  }
}

void TMDBSession::SetName(const std::string& newName) {
  TComponent::SetName(newName);
  if (autoSessionName && !ComponentState().Contains(csLoading)) ApplyAutoName();
}

void TMDBSession::Loaded() {
  TComponent::Loaded();
  if (autoSessionName) ApplyAutoName();
  if (streamedActive) Open();
}

TMDBDatabase* TMDBSession::FindDatabase(const std::string& name) const {
  for (TMDBDatabase* database : databases) {
    if (name.empty()) {
      if (database->temporary && database->DatabaseName().empty()) return database;
    } else if (AnsiCompareText(database->DatabaseName(), name) == 0) {
      return database;
    }
  }
  return nullptr;
}

TMDBDatabase* TMDBSession::OpenDatabase(const std::string& name, TComponent* owner) {
  TMDBSessionLockGuard guard;
  TMDBDatabase* database = nullptr;
  for (TMDBDatabase* candidate : databases) {
    if (candidate->Owner() == owner && candidate->HandleShared() &&
        AnsiCompareText(candidate->DatabaseName(), name) == 0) {
      database = candidate;
      break;
    }
  }
  if (database == nullptr) database = FindDatabase(name);
  bool created = false;
  if (database == nullptr) {
    database = new TMDBDatabase(this);
    created = true;
    database->temporary = true;
    try {
      database->SetDatabaseName(name);
    } catch (...) {
      database->Free();
      throw;
    }
    database->SetKeepConnection(keepConnections);
  }
  try {
    database->Open();
  } catch (...) {
    // A temporary database that never opened would only stand in the way.
    if (created) database->Free();
    throw;
  }
  ++database->refCount;
  return database;
}

void TMDBSession::CloseDatabase(TMDBDatabase* database) {
  TMDBSessionLockGuard guard;
  if (database->refCount > 0) --database->refCount;
  if (database->refCount > 0 || database->KeepConnection() || database->closing) return;
  if (!database->temporary)
    database->Close();
  else if (!database->ComponentState().Contains(csDestroying))
    database->Free();
}

bool TMDBSession::PasswordRequest() {
  const uint64_t addedBefore = passwordsAdded;
  bool continueOpen = false;
  if (OnPassword)
    OnPassword(this, continueOpen);
  else
    continueOpen = ShowPasswordDialog(*this);
  // Trying again with the passwords that failed already would ask forever.
  return continueOpen && passwordsAdded != addedBefore;
}


void TMDBSession::AddDatabase(TMDBDatabase* database) {
  TMDBSessionLockGuard guard;
  databases.push_back(database);
  FireDatabaseEvent(dbAdd, database);
}

void TMDBSession::RemoveDatabase(TMDBDatabase* database) {
  TMDBSessionLockGuard guard;
  auto found = std::find(databases.begin(), databases.end(), database);
  if (found == databases.end()) return;
  databases.erase(found);
  FireDatabaseEvent(dbRemove, database);
}

void TMDBSession::FireDatabaseEvent(TMDBDatabaseEvent event, TMDBDatabase* database) {
  if (OnDatabaseEvent) OnDatabaseEvent(event, database);
}
