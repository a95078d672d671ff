#include "MDBDBDataSet.h"

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBSessionList.h"
#include "MDBSessionLock.h"
#include "rtlTypeInfo.h"

TMDBDBDataSet::TMDBDBDataSet(TComponent* owner) : TMDBDataSet(owner) {
  if (TMDBSession* session = TMDBSession::FindAutoSession(owner)) sessionName = session->SessionName();
}

TMDBDBDataSet::~TMDBDBDataSet() {
  // The database must not keep a pointer to a dataset that is gone.
  if (database != nullptr) {
    database->RemoveDataSet(this);
    if (database->Session() != nullptr) database->Session()->CloseDatabase(database);
    database = nullptr;
  }
}

TMDBSession& TMDBDBDataSet::DataSetSession() {
  if (database != nullptr && database->Session() != nullptr) return *database->Session();
  return Sessions().GetSession(sessionName);
}

void TMDBDBDataSet::SetDBFlag(TDBFlag flag, bool value) {
  // Sessions keep their database lists under the session lock.
  TMDBSessionLockGuard guard;
  if (value) {
    if (dbFlags.none()) {
      TMDBSession& session = Sessions().GetSession(sessionName);
      if (session.FindDatabase(databaseName) == nullptr && &session != &DefaultSession()) {
        // A database the program made in the default session joins the
        // session this dataset names.
        TMDBDatabase* moved = DefaultSession().FindDatabase(databaseName);
        if (moved != nullptr && !moved->Connected()) moved->SetSessionName(sessionName);
      }
      database = session.OpenDatabase(databaseName, Owner());
      database->AddDataSet(this);
    }
    dbFlags.set(flag);
  } else {
    if (!dbFlags.test(flag)) return;
    dbFlags.reset(flag);
    if (dbFlags.none() && database != nullptr) {
      TMDBDatabase* releasing = database;
      database = nullptr;
      releasing->RemoveDataSet(this);
      if (releasing->Session() != nullptr) releasing->Session()->CloseDatabase(releasing);
    }
  }
}

TMDBDBDataSet::TDatabaseHold::TDatabaseHold(TMDBDBDataSet& dataSet, TDBFlag flag) : dataSet(dataSet), flag(flag) {
  dataSet.SetDBFlag(flag, true);
}

TMDBDBDataSet::TDatabaseHold::~TDatabaseHold() {
  try {
    dataSet.SetDBFlag(flag, false);
  } catch (const std::exception&) {
    // Giving the database back cannot fail but for a closing engine.
  }
}

void TMDBDBDataSet::InternalOpen() {
  SetDBFlag(dbfOpened, true);
  try {
    TMDBDataSet::InternalOpen();
  } catch (...) {
    SetDBFlag(dbfOpened, false);
    throw;
  }
}

void TMDBDBDataSet::InternalClose() {
  TMDBDataSet::InternalClose();
  SetDBFlag(dbfOpened, false);
}

void TMDBDBDataSet::SetDatabaseName(const std::string& value) {
  Close();
  if (database != nullptr) throw EDatabaseError(SDatabaseOpen);
  databaseName = value;
  DataEvent(dePropertyChange, 0);
}

void TMDBDBDataSet::SetSessionName(const std::string& value) {
  Close();
  sessionName = value;
  DataEvent(dePropertyChange, 0);
}
