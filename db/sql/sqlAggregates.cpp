#include "sqlAggregates.h"

#include <cassert>
#include <cstring>
#include <limits>

#include "engBcd.h"
#include "engCursor.h"
#include "engDataLayout.h"
#include "engKeyEncoding.h"
#include "engExpCodes.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

namespace {

struct TFieldValue {
  bool Blank = true;
  uint8_t Bytes[8] = {};
};

TFieldValue Read(TDataCursor& answer, const uint8_t* record, int fieldNo) {
  TFieldValue value;
  answer.GetField(fieldNo, record, value.Blank, value.Bytes);
  return value;
}

template <typename T>
T As(const TFieldValue& value) {
  T result;
  std::memcpy(&result, value.Bytes, sizeof result);
  return result;
}

template <typename T>
void Put(TDataCursor& answer, uint8_t* record, int fieldNo, T value) {
  uint8_t bytes[8] = {};
  std::memcpy(bytes, &value, sizeof value);
  answer.PutField(fieldNo, record, false, bytes);
}

// -1, 0 or 1 by the field type's order.
int Compare(uint8_t type, const TFieldValue& a, const TFieldValue& b) {
  auto order = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (type) {
    case dtSmallInt:
      return order(As<int16_t>(a), As<int16_t>(b));
    case dtWord:
    case dtBoolean:
      return order(As<uint16_t>(a), As<uint16_t>(b));
    case dtInteger:
    case dtDate:
    case dtTime:
      return order(As<int32_t>(a), As<int32_t>(b));
    case dtBcd:
      return order(StoredBcdToFloat(As<int64_t>(a)), StoredBcdToFloat(As<int64_t>(b)));
    default:
      return order(As<double>(a), As<double>(b));
  }
}

[[noreturn]] void RaiseSumOverflow(const TResultField& column) {
  RaiseSqlError("Result of SUM exceeds the range of column '" + column.Name + "'");
}

void AddInto(const TResultField& column, uint8_t type, TDataCursor& answer, uint8_t* group, const TFieldValue& sum,
             const TFieldValue& value) {
  const int fieldNo = column.FieldNo;
  switch (type) {
    case dtSmallInt:
    case dtInteger:
    case dtWord: {
      auto whole = [type](const TFieldValue& v) -> int64_t {
        return type == dtSmallInt ? As<int16_t>(v) : type == dtWord ? As<uint16_t>(v) : As<int32_t>(v);
      };
      const int64_t total = whole(sum) + whole(value);
      const int64_t low = type == dtSmallInt ? INT16_MIN : type == dtWord ? 0 : INT32_MIN;
      const int64_t high = type == dtSmallInt ? INT16_MAX : type == dtWord ? UINT16_MAX : INT32_MAX;
      if (total < low || total > high) RaiseSumOverflow(column);
      if (type == dtSmallInt)
        Put(answer, group, fieldNo, int16_t(total));
      else if (type == dtWord)
        Put(answer, group, fieldNo, uint16_t(total));
      else
        Put(answer, group, fieldNo, int32_t(total));
      return;
    }
    case dtBcd: {
      const double total = StoredBcdToFloat(As<int64_t>(sum)) + StoredBcdToFloat(As<int64_t>(value));
      Put(answer, group, fieldNo, FloatToStoredBcd(total, column.Scale));
      return;
    }
    default:
      Put(answer, group, fieldNo, As<double>(sum) + As<double>(value));
      return;
  }
}

}  // namespace

void AccumulateRow(const TDataQuery& query, TDataCursor& answer, uint8_t* group, const uint8_t* record) {
  if (group == record) return;
  for (const auto& owned : query.ResultFields) {
    const TResultField& column = *owned;
    if (column.Aggregate == agNone) continue;
    // AVG's hidden count follows the result columns.
    assert(column.Aggregate != agAvg || column.AvgCountFieldNo > query.ResultFields.size());
    uint8_t copy[FieldDescSize];
    const uint8_t type = CursorFieldDesc(answer, column.FieldNo, copy)[FieldDescTypeOffset];
    const TFieldValue value = Read(answer, record, column.FieldNo);
    if (value.Blank) continue;
    const TFieldValue current = Read(answer, group, column.FieldNo);
    if (current.Blank) {
      answer.PutField(column.FieldNo, group, false, value.Bytes);
    } else if (column.Aggregate == agMin || column.Aggregate == agMax) {
      const int order = Compare(type, value, current);
      if ((column.Aggregate == agMin && order < 0) || (column.Aggregate == agMax && order > 0))
        answer.PutField(column.FieldNo, group, false, value.Bytes);
    } else {
      // COUNT holds 1 or 0 per row, so it adds like SUM.
      AddInto(column, type, answer, group, current, value);
    }
    if (column.Aggregate == agAvg) {
      const TFieldValue count = Read(answer, record, column.AvgCountFieldNo);
      const TFieldValue total = Read(answer, group, column.AvgCountFieldNo);
      Put(answer, group, column.AvgCountFieldNo,
          int32_t((total.Blank ? 0 : As<int32_t>(total)) + (count.Blank ? 0 : As<int32_t>(count))));
    }
  }
}

void FinishAverages(const TDataQuery& query, TDataCursor& answer, uint8_t* group) {
  for (const auto& column : query.ResultFields) {
    if (column->Aggregate != agAvg) continue;
    const TFieldValue count = Read(answer, group, column->AvgCountFieldNo);
    const TFieldValue sum = Read(answer, group, column->FieldNo);
    if (count.Blank || sum.Blank || As<int32_t>(count) <= 0) continue;
    Put(answer, group, column->FieldNo, As<double>(sum) / As<int32_t>(count));
  }
}
