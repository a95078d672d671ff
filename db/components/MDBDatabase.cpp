#include "MDBDatabase.h"

#include <algorithm>

#include "MDBConsts.h"
#include "MDBDatabaseUser.h"
#include "MDBSessionList.h"
#include "MDBSessionLock.h"
#include "engDirectory.h"
#include "engSession.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

namespace {

// A letter, an underscore, or a byte that starts no ASCII character.
bool StartsIdentifier(const std::string& name) {
  const auto c = static_cast<unsigned char>(name[0]);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 129 && c <= 254);
}

}  // namespace

TMDBDatabase::TMDBDatabase(TComponent* owner) : TComponent(owner) {
  session = TMDBSession::FindAutoSession(owner);
  if (session == nullptr) session = dynamic_cast<TMDBSession*>(owner);
  if (session == nullptr) session = &DefaultSession();
  sessionName = session->SessionName();
  session->AddDatabase(this);
}

TMDBDatabase::~TMDBDatabase() {
  try {
    Close();
  } catch (const std::exception&) {
    // A destructor cannot report; the directory stays with the engine
    // session, which frees it when it ends.
  }
  if (session != nullptr) session->RemoveDatabase(this);
}

const std::string& TMDBDatabase::Directory() const {
  return temporary && IsDirectoryPath(databaseName) ? databaseName : directory;
}

void TMDBDatabase::SetConnected(bool value) {
  if (ComponentState().Contains(csLoading)) {
    streamedConnected = value;
    return;
  }
  if (Connected() == value) return;
  if (value)
    Connect();
  else
    Disconnect();
}

void TMDBDatabase::Connect() {
  if (BeforeConnect) BeforeConnect(this);
  if (!temporary && databaseName.empty()) throw EDatabaseError(SDatabaseNameMissing);
  TMDBSession& target = Sessions().GetSession(sessionName);
  if (&target != session) BindSession(target);
  CheckDatabaseName(databaseName);
  session->Open();
  if (TryShareHandle()) return;
  TMDBSessionUse use(*session);
  const std::string engineName = IsDirectoryPath(databaseName) ? std::string() : databaseName;
  handle = session->handle->OpenDirectory(EngineShortString(engineName), EngineShortString(Directory()));
  handleBorrowed = false;
  session->FireDatabaseEvent(dbOpen, this);
}

bool TMDBDatabase::TryShareHandle() {
  if (!handleShared) return false;
  for (TMDBDatabase* other : session->databases) {
    if (other == this || !other->Connected() || !other->handleShared) continue;
    if (AnsiCompareText(other->databaseName, databaseName) != 0) continue;
    // The engine counts the borrower as a user of the directory, so either
    // database may close first and the other keeps a valid handle.
    TMDBSessionUse use(*session);
    other->handle->AddUse();
    handle = other->handle;
    handleBorrowed = true;
    return true;
  }
  return false;
}

void TMDBDatabase::Disconnect() {
  if (session != nullptr) session->FireDatabaseEvent(dbClose, this);
  closing = true;
  try {
    while (!datasets.empty()) datasets.back()->CloseDatabaseUse();
  } catch (...) {
    closing = false;
    throw;
  }
  closing = false;
  TDataDirectory* closingHandle = handle;
  handle = nullptr;
  refCount = 0;
  handleBorrowed = false;
  if (session != nullptr && session->handle != nullptr) {
    TMDBSessionUse use(*session);
    session->handle->CloseDirectory(closingHandle);
  }
}

void TMDBDatabase::BindSession(TMDBSession& target) {
  TMDBSessionLockGuard guard;
  if (session != nullptr) {
    auto& list = session->databases;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  session = &target;
  target.databases.push_back(this);
}

void TMDBDatabase::CheckDatabaseName(const std::string& name) {
  if (session == nullptr) return;
  for (TMDBDatabase* other : session->databases) {
    if (other == this || AnsiCompareText(other->databaseName, name) != 0) continue;
    if (name.empty() && !(temporary && other->temporary)) continue;
    if (handleShared && other->handleShared) return;
    if (!other->temporary || other->refCount > 0) throw EDatabaseError(SDuplicateDatabaseName, {name});
    other->Free();
    return;
  }
}

void TMDBDatabase::SetDatabaseName(const std::string& value) {
  if (ComponentState().Contains(csLoading)) {
    databaseName = value;
    return;
  }
  if (value == databaseName) return;
  if (Connected()) throw EDatabaseError(SDatabaseOpen);
  if (!temporary && !value.empty() && (IsDirectoryPath(value) || !StartsIdentifier(value)))
    throw EDatabaseError(SInvalidDatabaseName, {value});
  CheckDatabaseName(value);
  databaseName = value;
}

void TMDBDatabase::SetDirectory(const std::string& value) {
  if (Connected()) throw EDatabaseError(SDatabaseOpen);
  directory = value;
}

void TMDBDatabase::SetKeepConnection(bool value) {
  keepConnection = value;
  if (!value && refCount == 0 && !closing) Close();
}

void TMDBDatabase::SetSessionName(const std::string& value) {
  if (Connected()) throw EDatabaseError(SDatabaseOpen);
  sessionName = value;
  if (ComponentState().Contains(csLoading)) return;
  TMDBSession* target = Sessions().FindSession(value);
  if (target != nullptr && target != session) BindSession(*target);
}

void TMDBDatabase::Loaded() {
  TComponent::Loaded();
  if (streamedConnected) {
    Open();
    return;
  }
  TMDBSession* target = Sessions().FindSession(sessionName);
  if (target != nullptr && target != session) BindSession(*target);
}

void TMDBDatabase::AddDataSet(TMDBDatabaseUser* dataset) { datasets.push_back(dataset); }

void TMDBDatabase::RemoveDataSet(TMDBDatabaseUser* dataset) {
  datasets.erase(std::remove(datasets.begin(), datasets.end(), dataset), datasets.end());
}
