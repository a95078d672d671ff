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

int32_t TDataCursor::FilterCount() const { return filtering.Count(); }

TFilter* TDataCursor::FilterAt(int32_t index) const { return filtering.At(index); }

TExpToken* TDataCursor::PrepareFilterText(const std::string& text, const TCursorFilterOptions& options) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos)
    RaiseEngineError(EngErrFilter, tableName, {}, {}, "filter expression is empty");
  const TDataSession* session = directory->Session();
  const TFormatSettings settings = GetLocaleFormatSettings(session->LanguageID, session->SortID);
  parser->ErrorCode = EngErrFilter;
  parser->TableName = tableName;
  parser->ContextName = FilterContext;
  parser->FormatSettings = settings;
  parser->SetText(text);
  TExpTreePtr parsed;
  {
    TScopeGuard clear([this] { parser->ClearText(); });
    parser->NextToken();
    parsed.reset(parser->ParseOrExpression(FilterParseFlags));
  }

  TCursorColumnResolver resolver(*this);
  TExpCheckContext check{EngErrFilter, tableName, FilterContext, &resolver, settings};
  TypeCheckExpression(check, true, nullptr, parsed.get());
  if (parsed->DataType != dtBoolean)
    RaiseEngineError(EngErrFilter, tableName, {}, {}, "filter expression must be a boolean expression");
  PutColumnFirst(parsed.get());
  if (LanguageId() != 0) ConvertTextConstants(parsed.get(), LanguageId(), tableName);
  const TExpEvalContext context{nullptr, LanguageId(), SortId(), &settings};
  return CopyConditionForTable(context, *parsed, options.NoPartialCompare, options.CaseInsensitive);
}

void TDataCursor::RequireFilterRoom() const {
  RequireOpen();
  if (filtering.Count() >= MaxCursorFilters) Raise(EngErrTooManyFilters);
}

TFilter* TDataCursor::AddFilter(const std::string& text, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  TExpTreePtr prepared(PrepareFilterText(text, options));
  auto filter = std::make_unique<TFilter>(*this, prepared.get(), true, nullptr);
  prepared.release();
  return InsertFilter(std::move(filter), options);
}

TFilter* TDataCursor::AddFilter(TExpTreePtr condition, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  auto filter = std::make_unique<TFilter>(*this, condition.get(), true, nullptr);
  condition.release();
  return InsertFilter(std::move(filter), options);
}

TFilter* TDataCursor::AddSharedFilter(TExpToken* condition, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  return InsertFilter(std::make_unique<TFilter>(*this, condition, false, nullptr), options);
}

TFilter* TDataCursor::AddFilter(TFilterCallback callback, const TCursorFilterOptions& options) {
  RequireFilterRoom();
  return InsertFilter(std::make_unique<TFilter>(*this, nullptr, false, std::move(callback)), options);
}

TFilter* TDataCursor::InsertFilter(std::unique_ptr<TFilter> filter, const TCursorFilterOptions& options) {
  filter->Dependent = options.Dependent;
  filter->CostChoice = options.CostChoice;
  filter->CaseInsensitive = options.CaseInsensitive;
  filter->NoPartialCompare = options.NoPartialCompare;
  const TDataSession* session = directory->Session();
  filter->FormatSettings = GetLocaleFormatSettings(session->LanguageID, session->SortID);
  if (!filter->IsCallback) filter->OptimizeLevel = CanOptimizeCondition(opAnd, filter->Condition, false);
  return filtering.Insert(std::move(filter));
}

void TDataCursor::DropFilter(TFilter* filter) {
  RequireOpen();
  if (filter) {
    const int32_t index = filtering.IndexOf(filter);
    const bool wasActive = filter->Active;
    filtering.Delete(index);
    if (wasActive) AfterFilterChange(nullptr, false);
    return;
  }
  filtering.DropAll();
  AfterFilterChange(nullptr, false);
}

// A filter that cannot be evaluated stays off, and the cursor shows what it
// showed before.
void TDataCursor::ActivateFilter(TFilter* filter) {
  RequireOpen();
  std::vector<TFilter*> switched;
  if (filter) {
    filtering.IndexOf(filter);
    if (!filter->Active) switched.push_back(filter);
  } else {
    for (int32_t i = 0; i < filtering.Count(); ++i)
      if (!filtering.At(i)->Active) switched.push_back(filtering.At(i));
  }
  if (switched.empty()) return;
  for (TFilter* each : switched) each->Active = true;
  TScopeGuard undo([&] {
    for (TFilter* each : switched) each->Active = false;
    AfterFilterChange(nullptr, false);
  });
  AfterFilterChange(filter, true);
  undo.Dismiss();
}

void TDataCursor::DeactivateFilter(TFilter* filter) {
  RequireOpen();
  if (filter) {
    filtering.IndexOf(filter);
    if (!filter->Active) return;
    filter->Active = false;
  } else {
    for (int32_t i = 0; i < filtering.Count(); ++i) filtering.At(i)->Active = false;
  }
  AfterFilterChange(nullptr, false);
}

// The filter owns the new condition once the handle is accepted; when the
// condition cannot be evaluated it is freed and the old one stays.
void TDataCursor::UpdateFilter(TExpToken* tree, TFilter* filter) {
  RequireOpen();
  filtering.IndexOf(filter);
  if (!filter->Active || filter->IsCallback) Raise(EngErrFilterHandle);
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
    AfterFilterChange(filter, true);
  });
  filter->OptimizeLevel = CanOptimizeCondition(opAnd, filter->Condition, false);
  AfterFilterChange(filter, true);
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
  const bool wasEof = afterLast && !beforeFirst;
  const bool hadRecord = OnRecord();
  uint8_t key[MaxIndexKeyLength];
  std::memcpy(key, currentKey, sizeof key);
  const uint32_t record = recordNumber;
  const bool wasFiltering = filtering.On();
  filtering.UpdateState();
  if (!evaluate && wasFiltering && filtering.On()) filtering.CombineVisible();
  else if (evaluate) filtering.RebuildOrCount(rebuilt);
  else filtering.Rebuild(rebuilt);
  if (IsNaturalOrder()) {
    if (!hadRecord && wasEof) SetToEnd();
    else if (!hadRecord) SetToBegin();
    else {
      GotoNaturalRecord(record);
      LoadCurrentRecord();
    }
  } else if (!hadRecord && filtering.On() && filtering.SeesAny()) {
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
    SearchKey(key, true, false);
  }
}
