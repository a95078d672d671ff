// Cursor twins: a cursor put on another cursor's record, and a new cursor
// made to stand where an existing one stands.

#include <cstring>
#include <memory>

#include "engCursor.h"
#include "engErrorCodes.h"
#include "engExpToken.h"
#include "engCursorRecords.h"
#include "engDataFile.h"
#include "engDirectory.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"

int32_t TDataCursor::SyncWith(TDataCursor& other) {
  RequireOpen();
  other.RequireOpen();
  TOperationBracket bracket(*this);
  // A cursor at a crack has no record to find: the twin takes the crack.
  if (!other.OnRecord()) {
    if (other.AtEnd() && !other.AtBeginning()) SetToEnd();
    else SetToBegin();
    return 0;
  }
  bool found = false;
  if (IsNaturalOrder()) {
    GotoNaturalRecord(other.position.Record());
    LoadCurrentRecord();
    found = OnRecord() && position.Record() == other.position.Record();
  } else {
    uint8_t key[MaxIndexKeyLength] = {};
    BuildKey(other.GetCurrentRecordBuffer(), key);
    found = SearchKey(key);
  }
  return found ? 0 : EngErrRecordNotFound;
}

void TDataCursor::CopyRangeTo(TDataCursor& twin) const {
  if (!range.Active() || IsNaturalOrder()) return;
  TOperationBracket bracket(twin);
  twin.range.CopyFrom(range);
  twin.RebuildWindowAndBitmaps();
}

// In order, with their options; those active here are active there.
void TDataCursor::CopyFiltersTo(TDataCursor& twin) const {
  for (int32_t i = 0; i < filtering.FilterCount(); ++i) {
    const TFilter& filter = *filtering.FilterAt(i);
    const TCursorFilterOptions options{.CaseInsensitive = filter.CaseInsensitive,
                                 .NoPartialCompare = filter.NoPartialCompare,
                                 .CostChoice = filter.CostChoice,
                                 .Dependent = filter.Dependent};
    TFilter* copy = filter.IsCallback
                        ? twin.filtering.AddFilter(filter.Callback, options)
                        : twin.filtering.AddFilter(TExpTreePtr(CloneTokenTree(filter.Condition)), options);
    if (filter.Active) twin.filtering.ActivateFilter(copy);
  }
}

TDataCursor* TDataCursor::Clone() {
  RequireOpen();
  TOperationBracket bracket(*this);
  TDataSession* session = directory->Session();
  // An encrypted table opens only with its password known to the session.
  const std::string password = GetTablePassword();
  const bool addedPassword = !password.empty() && !session->PasswordExists(password);
  if (addedPassword) session->AddPassword(password);
  std::unique_ptr<TDataCursor> twin(new TDataCursor(directory));
  TScopeGuard removePassword([&] {
    if (addedPassword) session->RemovePassword(password);
  });
  // Computed fields of the field map stay computed only with the filter
  // update mode.
  twin->SetOpenOptions({.TableName = tableName,
                        .Exclusive = exclusive,
                        .ReadOnly = readOnly,
                        .InMemory = inMemory,
                        .NoFilterUpdate = noFilterUpdate});
  // Lets the twin share a table this cursor holds exclusively.
  twin->SetOverrideExclusive(exclusive);
  twin->Open();
  if (HasFieldMap()) {
    // A field map keeps its computed fields computed only while filters
    // are not updated; an SQL result's cursor is told so only for the map.
    twin->SetNoFilterUpdate(true);
    twin->SetFieldMap(FieldDefinitions(), false);
    twin->SetNoFilterUpdate(noFilterUpdate);
  }
  if (indexNo == NaturalOrderIndex) twin->SetIndexNo(NaturalOrderIndex);
  else twin->SetIndexName(indexState.Name);
  CopyRangeTo(*twin);
  CopyFiltersTo(*twin);
  twin->SyncWith(*this);
  return twin.release();
}
