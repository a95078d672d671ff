// Restructuring a table: the refusals, the choice of the way, and the
// update of descriptors in place.

#include "engRestructure.h"

#include <cstring>

#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFieldDescCodec.h"
#include "engIndexFile.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRestructureFiles.h"
#include "engScopeGuard.h"
#include "engStrings.h"
#include "engTable.h"

void TDataCursor::SetRestructureProgressHandler(TCursorProgressProc proc) {
  restructureProgressProc = std::move(proc);
}

void TDataCursor::SetDataLostHandler(TDataLostProc proc) {
  dataLostProc = std::move(proc);
}

void TDataCursor::RestructureTable(TTableDefinition& definition, bool deleteBackup) {
  TTableFileOps fileOps;
  TRestructure(*this, definition, deleteBackup).Run(fileOps);
}

TRestructure::TRestructure(TDataCursor& cursor, TTableDefinition& definition, bool deleteBackup)
    : cursor(cursor),
      definition(definition),
      deleteBackup(deleteBackup),
      settings(FormatSettingsForLanguage(definition.LanguageId)) {}

void TRestructure::Run(TTableFileOps& fileOps) {
  cursor.RequireClosed();
  if (!cursor.exclusive) cursor.Raise(EngErrNotExclusive);
  if (cursor.readOnly) cursor.Raise(EngErrAccessDenied);
  cursor.Open();
  TScopeGuard close([this] { cursor.Close(TTemporaryContents::Discard); });
  if (cursor.IsReadOnly()) cursor.Raise(EngErrAccessDenied);
  // Every way reads or replaces "Sys Deleted" whole.
  cursor.FlushDeferredKeys();
  if (definition.LimitValue == -1) definition.LimitValue = cursor.DataFile().GetAutoIncValue();
  fieldDescs = *cursor.CheckTableDefinition(definition, true);
  switch (ChooseWay()) {
    case TWay::Copy: CopyTable(fileOps); break;
    case TWay::RebuildIndexes: RebuildIndexes(); break;
    case TWay::InPlace: UpdateInPlace(); break;
  }
}

TRestructure::TWay TRestructure::ChooseWay() {
  if (RecordLayoutChanged()) return TWay::Copy;
  const bool newPrimaryHasKeys = definition.IndexDescs.Count() > 0 && NewIndexDesc(0)[IdxDescFieldCount] != 0;
  if (definition.IndexDescs.Count() != OldIndexCount() || (newPrimaryHasKeys && cursor.PrimaryIsNatural()))
    return TWay::RebuildIndexes;
  for (int n = 0; n < definition.IndexDescs.Count(); ++n)
    if (IndexChanged(n)) return TWay::RebuildIndexes;
  return TWay::InPlace;
}

bool TRestructure::RecordLayoutChanged() {
  TDataFile& data = cursor.DataFile();
  if (definition.Encrypted != data.IsEncrypted() || definition.BlobBlockSize != data.BlobBlockSize() ||
      definition.LanguageId != cursor.LanguageId() || definition.SortId != cursor.SortId() ||
      NewFieldCount() != data.FieldCount())
    return true;
  uint8_t oldDesc[FieldDescSize];
  for (int position = 1; position <= NewFieldCount(); ++position) {
    data.GetFieldDesc(position, oldDesc);
    if (TDataCursor::FieldDefChanged(oldDesc, NewFieldDesc(position)))
      return true;
  }
  return false;
}

int TRestructure::OldIndexCount() { return cursor.IndexFile().GetSecondaryCount() + 1; }

uint8_t* TRestructure::NewIndexDesc(int n) const {
  return n < definition.IndexDescs.Count() ? definition.IndexDescs.At(n) : nullptr;
}

// A natural primary index holds no keys to compare.
bool TRestructure::IndexChanged(int n) {
  if (n == 0 && cursor.PrimaryIsNatural()) return false;
  if (n >= OldIndexCount()) return true;
  uint8_t oldDesc[IndexDescSize];
  cursor.IndexFile().GetIndexDescriptor(n, oldDesc);
  return cursor.IndexDefChanged(oldDesc, NewIndexDesc(n), fieldDescs.data(), NewFieldCount());
}

// Names and texts only: the records and keys stay as they are.
void TRestructure::UpdateInPlace() {
  TIndexFile& indexes = cursor.IndexFile();
  for (int n = 0; n < definition.IndexDescs.Count(); ++n) {
    const uint8_t* desc = NewIndexDesc(n);
    uint16_t numbers[MaxKeyFields] = {};
    for (int i = 0; i < desc[IdxDescFieldCount] && i < MaxKeyFields; ++i)
      numbers[i] = GetLE16(desc + IdxDescFieldNumbers + 2 * i);
    indexes.SetIndexNameAndFields(n, GetShortString(desc + IdxDescName, IdxDescNameLimit), numbers);
  }
  TDataFile& data = cursor.DataFile();
  for (int position = 1; position <= NewFieldCount(); ++position) data.UpdateFieldDesc(position, NewFieldDesc(position));
  StoreTableInfo(cursor);
}

void TRestructure::StoreTableInfo(TDataCursor& target) {
  target.SetTableInfo(definition.Password, definition.Description, definition.UserMajorVersion,
                      definition.UserMinorVersion, definition.LimitValue);
  target.table->WriteHeaders({.ForceData = true, .ForceIndex = true});
}

void TRestructure::ReportLoss(TRestructureLoss cause, const std::string& text) {
  if (stopAsking || !cursor.dataLostProc) return;
  cursor.dataLostProc(cause, text, stopAsking, carryOn);
}

void TRestructure::ReportProgress(uint32_t record, uint32_t total) {
  if (!cursor.restructureProgressProc || total == 0) return;
  cursor.restructureProgressProc(int32_t(record),
                                 int32_t(uint64_t(record) * 100 / total));
}
