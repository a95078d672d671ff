#pragma once
// The database component: one engine directory behind a name that datasets
// reach by DatabaseName. A session makes temporary ones on demand for names
// no database component has; they go when no dataset holds them.

#include <cstdint>
#include <string>
#include <vector>

#include "MDBSession.h"

class TDataDirectory;
class TMDBDatabaseUser;

class TMDBDatabase : public TComponent {
  RTL_DECLARE_CLASS(TMDBDatabase, TComponent)

  explicit TMDBDatabase(TComponent* owner);
  ~TMDBDatabase() override;

  bool Connected() const { return handle != nullptr; }
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  TDataDirectory* Handle() const { return handle; }
  // nullptr once its session was freed.
  TMDBSession* Session() const { return session; }
  bool Temporary() const { return temporary; }
  int RefCount() const { return refCount; }

  // The datasets that use the database, in the order they joined.
  void AddDataSet(TMDBDatabaseUser* dataset);
  void RemoveDataSet(TMDBDatabaseUser* dataset);

  // Published properties.
  const std::string& EngineVersion() const { return EngineVersionText(); }
  void SetEngineVersion(const std::string&) {}
  const std::string& DatabaseName() const { return databaseName; }
  void SetDatabaseName(const std::string& value);
  // A temporary database named by a path reads that path.
  const std::string& Directory() const;
  void SetDirectory(const std::string& value);
  bool HandleShared() const { return handleShared; }
  void SetHandleShared(bool value) { handleShared = value; }
  bool KeepConnection() const { return keepConnection; }
  void SetKeepConnection(bool value);
  const std::string& SessionName() const { return sessionName; }
  void SetSessionName(const std::string& value);

  TNotifyEvent BeforeConnect;

  void Loaded() override;

private:
  friend class TMDBSession;

  std::vector<TMDBDatabaseUser*> datasets;
  bool keepConnection = true;
  bool temporary = false;
  bool streamedConnected = false;
  bool handleBorrowed = false;
  bool handleShared = false;
  // Set while the database closes its datasets, whose release must not
  // free or close it underneath.
  bool closing = false;
  int refCount = 0;
  TDataDirectory* handle = nullptr;
  TMDBSession* session = nullptr;
  std::string sessionName;
  std::string databaseName;
  std::string directory;

  void Connect();
  void Disconnect();
  // Moves the database into the session of sessionName.
  void BindSession(TMDBSession& target);
  // Refuses (or clears away) another database of the session with name.
  void CheckDatabaseName(const std::string& name);
  bool TryShareHandle();
};
