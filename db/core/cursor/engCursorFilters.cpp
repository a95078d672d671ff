// A cursor's filters: adding them from a condition text, a ready condition
// or a callback, switching them on and off, replacing a condition, and
// dropping them.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engCursor.h"
#include "engCursorFilterSet.h"
#include "engDataLayout.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpEval.h"
#include "engExpEvalCondition.h"
#include "engExpParser.h"
#include "engExpTreeQueries.h"
#include "engExpTypeCheck.h"
#include "engFieldText.h"
#include "engKeyEncoding.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"

namespace {

constexpr const char* FilterContext = "filter expression";

// Column names of a filter are the fields of the cursor's table.
class TCursorColumnResolver final : public TExpColumnResolver {
public:
  explicit TCursorColumnResolver(const TDataCursor& cursor) : cursor(cursor) {}

  bool ResolveColumn(TExpToken& node) override {
    if (!node.CorrelationName.empty()) return false;
    const int fieldNo = cursor.GetFieldNo(node.Name);
    if (fieldNo <= 0) return false;
    uint8_t desc[FieldDescSize];
    cursor.GetTableFieldDesc(fieldNo, desc);
    node.FieldNo = uint16_t(fieldNo);
    node.DataType = desc[FieldDescTypeOffset];
    node.SubType = desc[FieldDescSubtypeOffset];
    node.SetDataSize(desc[FieldDescStoredSizeOffset]);
    node.Scale = node.DataType == DecimalFieldType ? desc[FieldDescScaleCopyOffset] : 0;
    return true;
  }

private:
  const TDataCursor& cursor;
};

// A top-level comparison written constant first is turned round, so that
// the index code finds the column on the left.
void PutColumnFirst(TExpToken* root) {
  TExpToken* node = root;
  while (node && node->Kind == nkUnary && node->First) node = node->First;
  if (!node || node->Kind != nkBinary || node->Code < opEqual || node->Code > opLessEqual) return;
  if (ReferencesColumn(node->First) || !ReferencesColumn(node->Second)) return;
  std::swap(node->First, node->Second);
  node->Code = MirroredComparison(node->Code);
}

// A table with a language holds its texts in its code page; the filter's
// texts are UTF-8 until they meet the table.
void ConvertTextConstants(TExpToken* node, uint16_t languageId, const std::string& tableName) {
  for (; node; node = node->Next) {
    if (node->Kind == nkConstant && node->DataType == dtString && !node->IsNull)
      node->SetText(FieldTextFromUtf8(languageId, node->AsText(), tableName));
    ConvertTextConstants(node->First, languageId, tableName);
    ConvertTextConstants(node->Second, languageId, tableName);
    ConvertTextConstants(node->Third, languageId, tableName);
  }
}

}  // namespace

TExpToken* TCursorFilterSet::PrepareFilterText(const std::string& text, const TCursorFilterOptions& options) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos)
    RaiseEngineError(EngErrFilter, cursor.tableName, {}, {}, "filter expression is empty");
  const TDataSession* session = cursor.directory->Session();
  const TFormatSettings& settings = GetLocaleFormatSettings(session->LanguageID, session->SortID);
  parser->ErrorCode = EngErrFilter;
  parser->TableName = cursor.tableName;
  parser->ContextName = FilterContext;
  parser->FormatSettings = &settings;
  parser->SetText(text);
  TExpTreePtr parsed;
  {
    TScopeGuard clear([this] { parser->ClearText(); });
    parser->NextToken();
    parsed.reset(parser->ParseOrExpression(FilterParseFlags));
  }

  TCursorColumnResolver resolver(cursor);
  TExpCheckContext check{EngErrFilter, cursor.tableName, FilterContext, &resolver, &settings};
  TypeCheckExpression(check, true, nullptr, parsed.get());
  if (parsed->DataType != dtBoolean)
    RaiseEngineError(EngErrFilter, cursor.tableName, {}, {}, "filter expression must be a boolean expression");
  PutColumnFirst(parsed.get());
  if (cursor.LanguageId() != 0) ConvertTextConstants(parsed.get(), cursor.LanguageId(), cursor.tableName);
  const TExpEvalContext context{nullptr, cursor.LanguageId(), cursor.SortId(), &settings};
  return ConvertConditionForTable(context, std::move(parsed), options.NoPartialCompare, options.CaseInsensitive);
}

void TCursorFilterSet::RequireFilterRoom() const {
  cursor.RequireOpen();
  if (FilterCount() >= MaxCursorFilters) cursor.Raise(EngErrTooManyFilters);
}

TFilter* TCursorFilterSet::AddFilter(const std::string& text, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  TExpTreePtr prepared(PrepareFilterText(text, options));
  auto filter = std::make_unique<TFilter>(cursor, prepared.get(), true, nullptr);
  prepared.release();
  return InsertFilter(std::move(filter), options);
}

TFilter* TCursorFilterSet::AddFilter(TExpTreePtr condition, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  auto filter = std::make_unique<TFilter>(cursor, condition.get(), true, nullptr);
  condition.release();
  return InsertFilter(std::move(filter), options);
}

TFilter* TCursorFilterSet::AddSharedFilter(TExpToken* condition, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  return InsertFilter(std::make_unique<TFilter>(cursor, condition, false, nullptr), options);
}

TFilter* TCursorFilterSet::AddFilter(TFilterCallback callback, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  return InsertFilter(std::make_unique<TFilter>(cursor, nullptr, false, std::move(callback)), options);
}

TFilter* TCursorFilterSet::InsertFilter(std::unique_ptr<TFilter> filter, const TCursorFilterOptions& options) {
  filter->Dependent = options.Dependent;
  filter->CostChoice = options.CostChoice;
  filter->CaseInsensitive = options.CaseInsensitive;
  filter->NoPartialCompare = options.NoPartialCompare;
  const TDataSession* session = cursor.directory->Session();
  filter->FormatSettings = &GetLocaleFormatSettings(session->LanguageID, session->SortID);
  if (!filter->IsCallback) filter->OptimizeLevel = cursor.CanOptimizeCondition(opAnd, filter->Condition, false);
  return Insert(std::move(filter));
}

void TCursorFilterSet::DropFilter(TFilter* filter) {
  cursor.RequireOpen();
  if (filter) {
    const int32_t index = IndexOf(filter);
    const bool wasActive = filter->Active;
    const bool dependentAfter = DependentAfter(index);
    Delete(index);
    if (wasActive) cursor.AfterFilterChange(nullptr, dependentAfter);
    return;
  }
  DropAll();
  cursor.AfterFilterChange(nullptr, false);
}

// A filter that cannot be evaluated stays off, and the cursor shows what it
// showed before.
void TCursorFilterSet::ActivateFilter(TFilter* filter) {
  cursor.RequireOpen();
  std::vector<TFilter*> switched;
  if (filter) {
    IndexOf(filter);
    if (!filter->Active) switched.push_back(filter);
  } else {
    for (int32_t i = 0; i < FilterCount(); ++i)
      if (!FilterAt(i)->Active) switched.push_back(FilterAt(i));
  }
  if (switched.empty()) return;
  for (TFilter* each : switched) each->Active = true;
  TScopeGuard undo([&] {
    for (TFilter* each : switched) each->Active = false;
    cursor.AfterFilterChange(nullptr, false);
  });
  cursor.AfterFilterChange(filter, true);
  undo.Dismiss();
}

void TCursorFilterSet::DeactivateFilter(TFilter* filter) {
  cursor.RequireOpen();
  bool dependentAfter = false;
  if (filter) {
    const int32_t index = IndexOf(filter);
    if (!filter->Active) return;
    filter->Active = false;
    dependentAfter = DependentAfter(index);
  } else {
    for (int32_t i = 0; i < FilterCount(); ++i) FilterAt(i)->Active = false;
  }
  cursor.AfterFilterChange(nullptr, dependentAfter);
}

// A dependent filter's bitmap holds only what the active filters before it
// passed: one of those switched off or dropped leaves it too narrow.
bool TCursorFilterSet::DependentAfter(int32_t index) const {
  for (int32_t i = index + 1; i < FilterCount(); ++i)
    if (FilterAt(i)->Active && FilterAt(i)->Dependent) return true;
  return false;
}

// The filter owns the new condition once the handle is accepted; when the
// condition cannot be evaluated it is freed and the old one stays.
void TCursorFilterSet::UpdateFilter(TExpToken* tree, TFilter* filter) {
  cursor.RequireOpen();
  IndexOf(filter);
  if (!filter->Active || filter->IsCallback) cursor.Raise(EngErrFilterHandle);
  if (!tree) return;
  TExpTreePtr fresh(tree);
  TExpToken* const old = filter->Condition;
  const bool ownedOld = filter->OwnsTree;
  const uint8_t oldLevel = filter->OptimizeLevel;
  filter->Condition = fresh.get();
  filter->OwnsTree = true;
  TScopeGuard undo([&] {
    filter->Condition = old;
    filter->OwnsTree = ownedOld;
    filter->OptimizeLevel = oldLevel;
    cursor.AfterFilterChange(filter, true);
  });
  filter->OptimizeLevel = cursor.CanOptimizeCondition(opAnd, filter->Condition, false);
  cursor.AfterFilterChange(filter, true);
  undo.Dismiss();
  fresh.release();
  if (ownedOld) {
    TExpToken* freed = old;
    FreeTokenTree(freed);
  }
}

// The position stays on its record when that is still visible, else it
// moves to the nearest visible one. Without evaluate, the filters left
// keep their bitmaps, which are current while filtering stays on.
void TDataCursor::AfterFilterChange(TFilter* rebuilt, bool evaluate) {
  TOperationBracket bracket(*this);
  const bool wasEof = position.Place() == TCursorPlace::AfterLast;
  const bool hadRecord = OnRecord();
  uint8_t key[MaxIndexKeyLength];
  std::memcpy(key, position.Key(), sizeof key);
  const uint32_t record = position.Record();
  const bool wasFiltering = filtering.FilteringOn();
  filtering.UpdateState();
  if (!evaluate && wasFiltering && filtering.FilteringOn()) filtering.CombineVisible();
  else if (evaluate) filtering.RebuildOrCount(rebuilt);
  else filtering.Rebuild(rebuilt);
  if (IsNaturalOrder()) {
    if (!hadRecord && wasEof) SetToEnd();
    else if (!hadRecord) SetToBegin();
    else {
      GotoNaturalRecord(record);
      LoadCurrentRecord();
    }
  } else if (!hadRecord && filtering.FilteringOn() && filtering.SeesAny()) {
    // The crack's key is looked up when something reads it: a count after
    // a filter change never walks to the first visible key. Without
    // filtering the edge is one descent away.
    filtering.DeferEdge(wasEof);
    LoadCurrentRecord();
  } else if (!hadRecord && wasEof) {
    SetToEnd();
  } else if (!hadRecord) {
    SetToBegin();
  } else {
    SearchKey(key);
  }
}
