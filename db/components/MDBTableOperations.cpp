#include <algorithm>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBDescriptors.h"
#include "MDBFieldTypes.h"
#include "MDBSession.h"
#include "MDBTable.h"
#include "dbConsts.h"
#include "engTableCursor.h"
#include "engDirectory.h"

namespace {

// What a table created by the component starts with.
constexpr uint16_t CreatedUserMajorVersion = 1;
constexpr uint16_t CreatedUserMinorVersion = 0;
constexpr uint32_t CreatedBlobBlockSize = 512;

bool HasDeclaredSize(TFieldType type) { return type == ftString || type == ftBytes || type == ftVarBytes; }

// The definitions' descriptors, the primary index first.
void BuildCreateDescriptors(const TFieldDefs& fieldDefs, const TIndexDefs& indexDefs, TTableDefinition& definition) {
  for (int i = 0; i < fieldDefs.Count(); ++i) {
    const TFieldDef& def = *fieldDefs.Items(i);
    const TMDBEngineType engineType = EngineTypeOf(def.DataType());
    TFieldDefinition field;
    field.Number = static_cast<uint16_t>(i + 1);
    field.Name = def.Name();
    field.Type = engineType.Type;
    field.Subtype = engineType.Subtype;
    if (HasDeclaredSize(def.DataType())) field.DeclaredSize = static_cast<uint8_t>(std::clamp(def.Size(), 0, 255));
    if (def.DataType() == ftBCD) field.Scale = static_cast<uint8_t>(std::clamp(def.Size(), 0, 255));
    field.Required = def.Required();
    AppendFieldDefinition(std::move(field), definition.Fields);
  }
  std::vector<const TIndexDef*> order;
  for (int i = 0; i < indexDefs.Count(); ++i) order.push_back(indexDefs.Items(i));
  auto primary = std::find_if(order.begin(), order.end(),
                              [](const TIndexDef* def) { return def->Options().Contains(ixPrimary); });
  if (primary != order.end()) std::rotate(order.begin(), primary, primary + 1);
  const bool hasPrimary = !order.empty() && order.front()->Options().Contains(ixPrimary);
  std::vector<TIndexDefinition> indexes;
  if (!hasPrimary) indexes.emplace_back();
  for (const TIndexDef* def : order) {
    TIndexDefinition spec;
    spec.Name = def->Name();
    spec.Descending = def->Options().Contains(ixDescending);
    spec.FieldDescending.fill(spec.Descending);
    spec.CaseInsensitive = def->Options().Contains(ixCaseInsensitive);
    spec.Unique = def->Options().Contains(ixUnique) || def->Options().Contains(ixPrimary);
    for (const std::string& name : SplitFieldNames(def->Fields())) {
      const int position = fieldDefs.IndexOf(name);
      // A key the engine would build from a shorter field list is refused.
      if (position < 0) throw EDatabaseError(SFieldNotFound, {name});
      spec.FieldNumbers.push_back(static_cast<uint16_t>(position + 1));
    }
    indexes.push_back(std::move(spec));
  }
  definition.SetIndexes(indexes);
}

}  // namespace

void TMDBTable::CreateTable() {
  CheckInactive();
  if (FieldDefs().Count() == 0) InitFieldDefsFromFields();
  TTableDefinition definition;
  BuildCreateDescriptors(FieldDefs(), indexDefs, definition);
  definition.UserMajorVersion = CreatedUserMajorVersion;
  definition.UserMinorVersion = CreatedUserMinorVersion;
  definition.BlobBlockSize = CreatedBlobBlockSize;
  TDatabaseHold hold(*this, dbfTemporary);
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> cursor = NewCursor(TCursorAccess::ExclusiveWritable);
  cursor->Admin().CreateTable(definition, false);
}

void TMDBTable::DeleteTable() {
  CheckInactive();
  TDatabaseHold hold(*this, dbfTemporary);
  TMDBSessionUse use(DataSetSession());
  NewCursor(TCursorAccess::Exclusive)->Admin().DeleteTable();
}

void TMDBTable::RenameTable(const std::string& newName) {
  CheckInactive();
  {
    TDatabaseHold hold(*this, dbfTemporary);
    TMDBSessionUse use(DataSetSession());
    NewCursor(TCursorAccess::Exclusive)->Admin().RenameTable(EngineShortString(newName));
  }
  tableName = newName;
  DataEvent(dePropertyChange, 0);
}

void TMDBTable::EmptyTable() {
  TDatabaseHold hold(*this, dbfTemporary);
  if (Active()) {
    CheckBrowseMode();
    {
      TMDBSessionUse use(DataSetSession());
      Handle()->Admin().EmptyTable();
    }
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> cursor = NewCursor(TCursorAccess::Exclusive);
  cursor->Open();
  try {
    cursor->Admin().EmptyTable();
  } catch (...) {
    cursor->Close(TTemporaryContents::Keep);
    throw;
  }
  cursor->Close(TTemporaryContents::Keep);
}

bool TMDBTable::Exists() {
  if (Active()) return true;
  if (TableName().empty()) return false;
  TDatabaseHold hold(*this, dbfTemporary);
  TMDBSessionUse use(DataSetSession());
  return Database()->Handle()->TableExists(EngineShortString(TableName()), InMemory());
}

uint32_t TMDBTable::GetBlobBlockSize() {
  if (Handle() != nullptr) {
    TMDBSessionUse use(DataSetSession());
    return Handle()->Admin().GetBlobBlockSize();
  }
  TDatabaseHold hold(*this, dbfTemporary);
  TMDBSessionUse use(DataSetSession());
  return NewCursor(TCursorAccess::Shared)->Admin().GetBlobBlockSize();
}

namespace {

void RestructureProgress(TMDBTable* table, int32_t done, int32_t percent) {
  if (table->OnRestructureProgress) table->OnRestructureProgress(table, done, static_cast<uint16_t>(percent));
}

void RestructureDataLost(TMDBTable* table, int cause, const std::string& text, bool& stopAsking, bool& carryOn) {
  if (table->OnDataLost) table->OnDataLost(table, static_cast<TDataLossCause>(cause), text, carryOn, stopAsking);
}

}  // namespace

void TMDBTable::RestructureTable(const TMDBRestructureOptions& options) {
  CheckInactive();
  TMDBRestructureDescriptors descriptors;
  BuildRestructureDescriptors(restructureFieldDefs, restructureIndexDefs, descriptors);
  TTableDefinition definition;
  definition.Fields = std::move(descriptors.Fields);
  definition.SetIndexes(descriptors.Indexes);
  definition.LanguageId = options.LanguageID;
  definition.SortId = options.SortID;
  definition.UserMajorVersion = options.UserMajorVersion;
  definition.UserMinorVersion = options.UserMinorVersion;
  definition.Encrypted = options.Encrypted;
  definition.Password = EngineShortString(options.Password);
  definition.Description = EngineShortString(options.Description);
  definition.BlobBlockSize = options.BlobBlockSize;
  definition.LimitValue = options.LastAutoIncValue;
  {
    TDatabaseHold hold(*this, dbfTemporary);
    TMDBSessionUse use(DataSetSession());
    std::unique_ptr<TTableCursor> cursor = NewCursor(TCursorAccess::ExclusiveWritable);
    cursor->Admin().SetRestructureProgressHandler(
        [this](int32_t done, int32_t percent) { RestructureProgress(this, done, percent); });
    cursor->Admin().SetDataLostHandler([this](int cause, const std::string& text, bool& stopAsking, bool& carryOn) {
      RestructureDataLost(this, cause, text, stopAsking, carryOn);
    });
    cursor->Admin().RestructureTable(definition, options.DeleteBackup);
  }
  FieldDefs().SetUpdated(false);
  DataEvent(dePropertyChange, 0);
}
