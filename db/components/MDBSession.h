#pragma once
// The session component: one engine session behind a component, with its
// settings, private directory, passwords and databases. Every engine call
// made on a session's behalf runs inside LockSession/UnlockSession.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlClasses.h"
#include "rtlTypeInfo.h"

class TDataSession;
class TMDBDatabase;

// "2.08": what every component's EngineVersion reads.
const std::string& EngineVersionText();

// A handler that supplies a password calls AddPassword and sets
// continueOpen.
using TMDBPasswordEvent = TEvent<void(TObject* sender, bool& continueOpen)>;

enum TMDBDatabaseEvent { dbOpen = 0, dbClose = 1, dbAdd = 2, dbRemove = 3 };
using TMDBDatabaseEventHandler = std::function<void(TMDBDatabaseEvent event, TMDBDatabase* database)>;

class TMDBSession : public TComponent {
  RTL_DECLARE_CLASS(TMDBSession, TComponent)

  static constexpr uint8_t DefaultLockRetryCount = 15;
  static constexpr uint16_t DefaultLockWaitTime = 100;

  explicit TMDBSession(TComponent* owner);
  ~TMDBSession() override;

  bool Active() const { return handle != nullptr; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // Each opens the session when it is closed. Passwords are cut to 255
  // characters.
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();

  // The engine session, opened when closed and made the current one.
  TDataSession* GetHandle();

  // An open database of that name, a temporary one when the session has
  // none; its reference count is raised. CloseDatabase lowers it.
  TMDBDatabase* OpenDatabase(const std::string& name, TComponent* owner);
  void CloseDatabase(TMDBDatabase* database);
  TMDBDatabase* FindDatabase(const std::string& name) const;
  int DatabaseCount() const { return static_cast<int>(databases.size()); }

  // Asked by the engine when an encrypted table's password is unknown:
  // whether to try the open again. Only a password new to the session is
  // worth another try, so a handler that supplies none ends the asking.
  bool PasswordRequest();

  // The outermost call of a thread takes the process-wide session lock and
  // makes the engine session open and current; nested calls only count.
  void LockSession();
  void UnlockSession();

  // Published properties.
  const std::string& EngineVersion() const { return EngineVersionText(); }
  void SetEngineVersion(const std::string&) {}
  bool AutoSessionName() const { return autoSessionName; }
  void SetAutoSessionName(bool value);
  bool ForceBufferFlush() const { return forceBufferFlush; }
  void SetForceBufferFlush(bool value);
  bool KeepConnections() const { return keepConnections; }
  void SetKeepConnections(bool value) { keepConnections = value; }
  uint8_t LockRetryCount() const { return lockRetryCount; }
  void SetLockRetryCount(uint8_t value);
  uint16_t LockWaitTime() const { return lockWaitTime; }
  void SetLockWaitTime(uint16_t value);
  const std::string& PrivateDir() const { return privateDir; }
  void SetPrivateDir(const std::string& value);
  const std::string& SessionName() const { return sessionName; }
  void SetSessionName(const std::string& value);
  bool StrictChangeDetection() const { return strictChangeDetection; }
  void SetStrictChangeDetection(bool value);
  uint16_t LanguageID() const { return languageID; }
  void SetLanguageID(uint16_t value);
  uint16_t SortID() const { return sortID; }
  void SetSortID(uint16_t value);

  TMDBPasswordEvent OnPassword;
  TNotifyEvent OnStartup;
  TMDBDatabaseEventHandler OnDatabaseEvent;

  bool IsDefault() const { return isDefault; }
  // The auto-named session among owner's components, nullptr when none.
  static TMDBSession* FindAutoSession(const TComponent* owner);

  // Not streamed while the name is automatic.
  bool SessionNameStored() const { return !autoSessionName; }

  void SetName(const std::string& newName) override;
  void Loaded() override;

private:
  friend class TMDBSessionList;
  friend class TMDBDatabase;

  TDataSession* handle = nullptr;
  std::vector<TMDBDatabase*> databases;
  bool streamedActive = false;
  bool keepConnections = true;
  bool isDefault = false;
  bool autoSessionName = false;
  bool updatingAutoName = false;
  std::string sessionName;
  int autoSessionNumber = -1;
  std::string privateDir;
  bool forceBufferFlush = false;
  bool strictChangeDetection = false;
  uint8_t lockRetryCount = DefaultLockRetryCount;
  uint16_t lockWaitTime = DefaultLockWaitTime;
  uint16_t languageID = 0;
  uint16_t sortID = 0;
  // Passwords that AddPassword added to the engine session's list.
  uint64_t passwordsAdded = 0;

  void SetDefault() { isDefault = true; }
  void StartSession();
  void StopSession();
  void ApplySettings();
  void MakeCurrent();
  // Stores a setting and, while open, hands a changed value to the engine.
  template <typename T>
  void ChangeSetting(T& field, T value);
  void ApplyAutoName();
  void UpdateOwnerUsers();
  void AddDatabase(TMDBDatabase* database);
  void RemoveDatabase(TMDBDatabase* database);
  void FireDatabaseEvent(TMDBDatabaseEvent event, TMDBDatabase* database);
};

// Holds a session's lock for a scope.
class TMDBSessionUse {
public:
  explicit TMDBSessionUse(TMDBSession& session) : session(session) { session.LockSession(); }
  ~TMDBSessionUse() { session.UnlockSession(); }
  TMDBSessionUse(const TMDBSessionUse&) = delete;
  TMDBSessionUse& operator=(const TMDBSessionUse&) = delete;

private:
  TMDBSession& session;
};

// Engine names and paths are short strings.
std::string EngineShortString(const std::string& text);
// True for an empty text and for one holding ':', '\' or '/'.
bool IsDirectoryPath(const std::string& text);
