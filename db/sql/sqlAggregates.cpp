#include "sqlAggregates.h"

#include <cstring>
#include <limits>

#include "engTableCursor.h"
#include "engExpCodes.h"
#include "rtlAssert.h"
#include "sqlErrors.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

namespace {

struct TFieldValue {
  bool Blank = true;
  uint8_t Bytes[8] = {};
};

TFieldValue Read(TTableCursor& answer, const uint8_t* record, int fieldNo) {
  TFieldValue value;
  value.Blank = !answer.Fields().ReadField(fieldNo, record, value.Bytes);
  return value;
}

template <typename T>
T As(const TFieldValue& value) {
  T result;
  std::memcpy(&result, value.Bytes, sizeof result);
  return result;
}

template <typename T>
void Put(TTableCursor& answer, uint8_t* record, int fieldNo, T value) {
  answer.Fields().WriteField(fieldNo, record, value);
}

// A stored BCD (digits and a last digit for the scale, signed) as its
// digits at scale 4, the largest: sums and comparisons stay exact.
__int128 BcdAtScale4(int64_t stored) {
  const bool negative = stored < 0;
  const __int128 magnitude = negative ? -__int128(stored) : __int128(stored);
  const int scale = int(magnitude % 10);
  __int128 digits = magnitude / 10;
  for (int s = scale; s < 4; ++s) digits *= 10;
  return negative ? -digits : digits;
}

// The stored form at the given scale; false when it does not fit or the
// sum has more decimals than the scale keeps.
bool StoredBcdFromScale4(__int128 value, int scale, int64_t& stored) {
  const bool negative = value < 0;
  __int128 digits = negative ? -value : value;
  for (int s = scale; s < 4; ++s) {
    if (digits % 10 != 0) return false;
    digits /= 10;
  }
  const __int128 magnitude = digits * 10 + scale;
  if (magnitude > INT64_MAX) return false;
  stored = negative ? -int64_t(magnitude) : int64_t(magnitude);
  return true;
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
      return order(BcdAtScale4(As<int64_t>(a)), BcdAtScale4(As<int64_t>(b)));
    default:
      return order(As<double>(a), As<double>(b));
  }
}

[[noreturn]] void RaiseSumOverflow(const TResultField& column) {
  RaiseSqlError("Result of SUM exceeds the range of column '" + column.Name + "'");
}

void AddInto(const TResultField& column, uint8_t type, TTableCursor& answer, uint8_t* group, const TFieldValue& sum,
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
      // Added digit by digit: a double keeps only about 15 of them.
      int64_t total = 0;
      if (!StoredBcdFromScale4(BcdAtScale4(As<int64_t>(sum)) + BcdAtScale4(As<int64_t>(value)), column.Scale, total))
        RaiseSumOverflow(column);
      Put(answer, group, fieldNo, total);
      return;
    }
    default:
      Put(answer, group, fieldNo, As<double>(sum) + As<double>(value));
      return;
  }
}

}  // namespace

void AccumulateRow(const TDataQuery& query, TTableCursor& answer, uint8_t* group, const uint8_t* record) {
  if (group == record) return;
  for (const auto& owned : query.Plan.ResultFields) {
    const TResultField& column = *owned;
    if (column.Aggregate == agNone) continue;
    // AVG's hidden count follows the result columns.
    ORV_ASSERT(column.Aggregate != agAvg || column.AvgCountFieldNo > query.Plan.ResultFields.size());
    const uint8_t type = answer.Fields().FieldDefinition(column.FieldNo).Type;
    const TFieldValue value = Read(answer, record, column.FieldNo);
    if (value.Blank) continue;
    const TFieldValue current = Read(answer, group, column.FieldNo);
    if (current.Blank) {
      answer.Fields().WriteField(column.FieldNo, group, value.Bytes);
    } else if (column.Aggregate == agMin || column.Aggregate == agMax) {
      const int order = Compare(type, value, current);
      if ((column.Aggregate == agMin && order < 0) || (column.Aggregate == agMax && order > 0))
        answer.Fields().WriteField(column.FieldNo, group, value.Bytes);
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

void FinishAverages(const TDataQuery& query, TTableCursor& answer, uint8_t* group) {
  for (const auto& column : query.Plan.ResultFields) {
    if (column->Aggregate != agAvg) continue;
    const TFieldValue count = Read(answer, group, column->AvgCountFieldNo);
    const TFieldValue sum = Read(answer, group, column->FieldNo);
    if (count.Blank || sum.Blank || As<int32_t>(count) <= 0) continue;
    Put(answer, group, column->FieldNo, As<double>(sum) / As<int32_t>(count));
  }
}
