// Evaluating a filter into its record bitmap: index-served parts of the
// condition walk keys, the rest reads the records still in question and
// tests them. Every node narrows the bitmap it is given, so a part that
// reads records reads only those the parts before it let through.

#include "engCursorFilterSet.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engCursorFilterSet.h"

#include "engBlobBuffer.h"
#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engDataFile.h"
#include "engDataLayout.h"
#include "engDataRecord.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpEval.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"

namespace {

// The fields of one record buffer; a BLOB is read whole.
class TRecordColumnValues final : public TExpColumnValues {
public:
  TRecordColumnValues(TDataCursor& cursor, const uint8_t* record) : cursor(cursor), record(record) {}

  void GetColumnValue(TExpToken& node) override {
    uint8_t desc[FieldDescSize];
    cursor.GetTableFieldDesc(node.FieldNo, desc);
    const int width = FieldValueWidth(desc);
    if (node.ValueCapacity < width + 1) {
      const int32_t size = node.DataSize;
      node.SetDataSize(width + 1);
      node.DataSize = size;
    }
    bool blank = true;
    cursor.GetFieldValue(desc, record, blank, node.Value);
    node.IsNull = blank;
    if (!blank && desc[FieldDescTypeOffset] == BlobFieldType) ReadBlob(node);
  }

private:
  TDataCursor& cursor;
  const uint8_t* record;

  void Check(int32_t result) const {
    if (result != 0) RaiseEngineError(uint16_t(result), cursor.TableName());
  }

  void ReadOpenBlob(TExpToken& node, const uint8_t* buffer) {
    int32_t size = 0;
    Check(cursor.GetBlobSize(node.FieldNo, buffer, true, size));
    node.SetDataSize(size + 1);
    int32_t read = 0;
    Check(cursor.ReadBlob(node.FieldNo, buffer, true, read, size, node.Value, 0));
    node.Value[size] = 0;
  }

  // A BLOB the record holds open (a negative reference) is the caller's
  // and stays open; any other is opened for the read and closed again.
  void ReadBlob(TExpToken& node) {
    if (int32_t(GetLE32(node.Value)) < 0) {
      ReadOpenBlob(node, record);
      return;
    }
    std::vector<uint8_t> copy(record, record + cursor.CursorRecordSize());
    Check(cursor.OpenBlob(node.FieldNo, copy.data(), false, true, BlobOpenRead));
    TScopeGuard close([&] { Check(cursor.FreeBlob(node.FieldNo, copy.data(), true)); });
    ReadOpenBlob(node, copy.data());
  }
};

// Every column null.
class TNullColumnValues final : public TExpColumnValues {
public:
  void GetColumnValue(TExpToken& node) override { node.SetNull(); }
};

bool IsTrue(const TExpEvalContext& context, const TExpToken& node) {
  TExpToken* result = EvaluateExpression(context, node);
  const bool value = !result->IsNull && result->AsBoolean();
  ReleaseToken(result);
  return value;
}

}  // namespace

bool TCursorFilterSet::RecordPasses(TFilter& filter, const TExpToken* node, const uint8_t* record,
                                    uint32_t number) {
  if (filter.IsCallback) return filter.Callback && filter.Callback(filter.CallbackContext, record, number);
  TRecordColumnValues values(cursor, record);
  return IsTrue(TExpEvalContext{&values, cursor.LanguageId(), cursor.SortId(), &filter.FormatSettings}, *node);
}

bool TDataCursor::NullSatisfies(const TExpToken& node) {
  TNullColumnValues values;
  return IsTrue(TExpEvalContext{&values, LanguageId(), SortId()}, node);
}

void TCursorFilterSet::ScanRecords(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits) {
  // Reads ahead through the records in question.
  scanBits = &bits;
  TScopeGuard scanEnd([this] { scanBits = nullptr; });
  TDataFile& data = cursor.DataFile();
  int32_t number = 0;
  int32_t counter = 0;
  while (bits.FindNext(number, 1, counter)) {
    TRecord* record = nullptr;
    RequireUnchanged(data.GetRecord(&cursor, uint32_t(number), 1, true, true, record));
    TScopeGuard release([&data, record] { data.ReleaseRecord(record); });
    if (record->IsDeleted() || !RecordPasses(filter, node, record->Buffer(), uint32_t(number))) bits.ClearBit(number);
  }
}

void TCursorFilterSet::EvaluateNode(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits) {
  if (filter.IsCallback || !node || node->OptimizeLevel == olNone) {
    ScanRecords(filter, node, bits);
    return;
  }
  if (IsIndexLeaf(*node)) {
    // A leaf whose index is gone is read per record.
    if (cursor.FindConditionIndex(*node) < 0) {
      ScanRecords(filter, node, bits);
      return;
    }
    TPooledBitmap selected;
    selected->SetRecordCount(bits.RecordCount());
    cursor.FillBitmapFromCondition(*node, filter.CostChoice, *selected);
    bits.AndWith(*selected);
    return;
  }
  switch (node->Code) {
    case opNot: {
      TPooledBitmap accepted;
      accepted->SetRecordCount(bits.RecordCount());
      accepted->Assign(bits);
      EvaluateNode(filter, node->First, *accepted);
      accepted->Invert();
      bits.AndWith(*accepted);
      break;
    }
    case opAnd: {
      const TExpToken& first = *node->First;
      const TExpToken& second = *node->Second;
      if (IsIndexLeaf(first) && IsIndexLeaf(second) && first.OptimizeLevel != olNone &&
          second.OptimizeLevel != olNone) {
        TPooledBitmap selected;
        selected->SetRecordCount(bits.RecordCount());
        if (cursor.FillBitmapFromBoth(first, second, *selected)) {
          bits.AndWith(*selected);
          break;
        }
      }
      EvaluateNode(filter, node->First, bits);
      EvaluateNode(filter, node->Second, bits);
      break;
    }
    case opOr: {
      TPooledBitmap right;
      right->SetRecordCount(bits.RecordCount());
      right->Assign(bits);
      EvaluateNode(filter, node->First, bits);
      EvaluateNode(filter, node->Second, *right);
      bits.OrWith(*right);
      break;
    }
    default:  // a sign over a condition
      EvaluateNode(filter, node->First, bits);
      break;
  }
}
