// The published properties and events of the components, in the order
// streams write them. A default is the value the constructor sets.

#include "MDBDBDataSet.h"
#include "MDBDataSet.h"
#include "MDBPublished.h"
#include "MDBDatabase.h"
#include "MDBQuery.h"
#include "MDBSession.h"
#include "MDBTable.h"
#include "rtlTypeInfo.h"

const TClassInfo& TMDBSession::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBSession>("TMDBSession")
          .Property("EngineVersion", &TMDBSession::EngineVersion, &TMDBSession::SetEngineVersion)
          .Property("Active", &TMDBSession::Active, &TMDBSession::SetActive)
          .Default(0)
          .Property("AutoSessionName", &TMDBSession::AutoSessionName, &TMDBSession::SetAutoSessionName)
          .Default(0)
          .Property("ForceBufferFlush", &TMDBSession::ForceBufferFlush, &TMDBSession::SetForceBufferFlush)
          .Default(0)
          .Property("KeepConnections", &TMDBSession::KeepConnections, &TMDBSession::SetKeepConnections)
          .Default(1)
          .Property("LockRetryCount", &TMDBSession::LockRetryCount, &TMDBSession::SetLockRetryCount)
          .Default(TMDBSession::DefaultLockRetryCount)
          .Property("LockWaitTime", &TMDBSession::LockWaitTime, &TMDBSession::SetLockWaitTime)
          .Default(TMDBSession::DefaultLockWaitTime)
          .Property("PrivateDir", &TMDBSession::PrivateDir, &TMDBSession::SetPrivateDir)
          .Property("SessionName", &TMDBSession::SessionName, &TMDBSession::SetSessionName)
          .Stored(&TMDBSession::SessionNameStored)
          .Property("StrictChangeDetection", &TMDBSession::StrictChangeDetection,
                    &TMDBSession::SetStrictChangeDetection)
          .Default(0)
          .Property("LanguageID", &TMDBSession::LanguageID, &TMDBSession::SetLanguageID)
          .Property("SortID", &TMDBSession::SortID, &TMDBSession::SetSortID)
          .Default(0)
          .Event("OnPassword", &TMDBSession::OnPassword)
          .Event("OnStartup", &TMDBSession::OnStartup)
          .Build();
  return info;
}

const TClassInfo& TMDBDatabase::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBDatabase>("TMDBDatabase")
          .Property("EngineVersion", &TMDBDatabase::EngineVersion, &TMDBDatabase::SetEngineVersion)
          .Property("Connected", &TMDBDatabase::Connected, &TMDBDatabase::SetConnected)
          .Default(0)
          .Property("DatabaseName", &TMDBDatabase::DatabaseName, &TMDBDatabase::SetDatabaseName)
          .Property("Directory", &TMDBDatabase::Directory, &TMDBDatabase::SetDirectory)
          .Property("HandleShared", &TMDBDatabase::HandleShared, &TMDBDatabase::SetHandleShared)
          .Default(0)
          .Property("KeepConnection", &TMDBDatabase::KeepConnection, &TMDBDatabase::SetKeepConnection)
          .Default(1)
          .Property("SessionName", &TMDBDatabase::SessionName, &TMDBDatabase::SetSessionName)
          .Event("BeforeConnect", &TMDBDatabase::BeforeConnect)
          .Build();
  return info;
}

const TClassInfo& TMDBDataSet::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBDataSet>("TMDBDataSet")
          .Property("AutoDisplayLabels", &TMDBDataSet::AutoDisplayLabels, &TMDBDataSet::SetAutoDisplayLabels)
          .Default(0)
          .Property("CopyOnAppend", &TMDBDataSet::CopyOnAppend, &TMDBDataSet::SetCopyOnAppend)
          .Default(0)
          .Build();
  return info;
}

const TClassInfo& TMDBDBDataSet::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBDBDataSet>("TMDBDBDataSet")
          .Property("DatabaseName", &TMDBDBDataSet::DatabaseName, &TMDBDBDataSet::SetDatabaseName)
          .Property("SessionName", &TMDBDBDataSet::SessionName, &TMDBDBDataSet::SetSessionName)
          .Build();
  return info;
}

const TClassInfo& TMDBTable::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBTable>("TMDBTable")
          .Property("EngineVersion", &TMDBTable::EngineVersion, &TMDBTable::SetEngineVersion)
          .Property("Exclusive", &TMDBTable::Exclusive, &TMDBTable::SetExclusive)
          .Default(0)
          .Property("FieldDefs", [](const TMDBTable& table) { return const_cast<TFieldDefs*>(&table.FieldDefs()); })
          .Stored(&TMDBTable::IsFieldDefsStored)
          .Property("IndexDefs", [](const TMDBTable& table) { return const_cast<TIndexDefs*>(&table.indexDefs); })
          .Stored(&TMDBTable::IsIndexDefsStored)
          .Property("IndexFieldNames", &TMDBTable::IndexFieldNames, &TMDBTable::SetIndexFieldNames)
          .Property("IndexName", &TMDBTable::IndexName, &TMDBTable::SetIndexName)
          .Property("InMemory", &TMDBTable::InMemory, &TMDBTable::SetInMemory)
          .Default(0)
          .Event("OnRepairProgress", &TMDBTable::OnRepairProgress)
          .Event("OnRepairLog", &TMDBTable::OnRepairLog)
          .Event("OnUpgradeProgress", &TMDBTable::OnUpgradeProgress)
          .Event("OnUpgradeLog", &TMDBTable::OnUpgradeLog)
          .Event("OnIndexProgress", &TMDBTable::OnIndexProgress)
          .Event("OnCopyProgress", &TMDBTable::OnCopyProgress)
          .Event("OnOptimizeProgress", &TMDBTable::OnOptimizeProgress)
          .Event("OnRestructureProgress", &TMDBTable::OnRestructureProgress)
          .Event("OnDataLost", &TMDBTable::OnDataLost)
          .Property("MasterFields", &TMDBTable::MasterFields, &TMDBTable::SetMasterFields)
          .Property("MasterSource", &TMDBTable::MasterSource, &TMDBTable::SetMasterSource)
          .Property("ReadOnly", &TMDBTable::ReadOnly, &TMDBTable::SetReadOnly)
          .Default(0)
          .Property("TableName", &TMDBTable::TableName, &TMDBTable::SetTableName)
          .Property("StoreDefs", &TMDBTable::StoreDefs, &TMDBTable::SetStoreDefs)
          .Default(0)
          .Build();
  return info;
}

void RegisterMDBClasses() {
  for (const TClassInfo* info : {&TMDBSession::StaticClassType(), &TMDBDatabase::StaticClassType(),
                                 &TMDBTable::StaticClassType(), &TMDBQuery::StaticClassType()})
    RegisterClass(*info);
}
