// Evaluating a filter into its record bitmap: index-served parts of the
// condition walk keys, the rest reads the records still in question and
// tests them. Every node narrows the bitmap it is given, so a part that
// reads records reads only those the parts before it let through.

#include "engCursorFilterSet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engDataRecord.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpEval.h"
#include "engExpTreeQueries.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"
#include "engTable.h"

namespace {

// The fields of the record being tested; a BLOB is read whole. The
// descriptors of the columns met are kept for the records that follow.
class TRecordColumnValues final : public TExpColumnValues {
public:
  explicit TRecordColumnValues(TDataCursor& cursor) : cursor(cursor) {}

  void SetRecord(const uint8_t* buffer) { record = buffer; }

  void GetColumnValue(TExpToken& node) override {
    const uint8_t* desc = Descriptor(node.FieldNo);
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
  struct TKnownField {
    uint16_t FieldNo = 0;
    std::array<uint8_t, FieldDescSize> Desc{};
  };

  TDataCursor& cursor;
  const uint8_t* record = nullptr;
  std::vector<TKnownField> known;

  const uint8_t* Descriptor(uint16_t fieldNo) {
    for (const TKnownField& field : known)
      if (field.FieldNo == fieldNo) return field.Desc.data();
    TKnownField field;
    field.FieldNo = fieldNo;
    cursor.GetTableFieldDesc(fieldNo, field.Desc.data());
    known.push_back(field);
    return known.back().Desc.data();
  }

  void Check(int32_t result) const {
    if (result != 0) RaiseEngineError(uint16_t(result), cursor.TableName());
  }

  void ReadOpenBlob(TExpToken& node, const uint8_t* buffer) {
    int32_t size = 0;
    Check(cursor.Blobs().GetBlobSize(node.FieldNo, buffer, TFieldNumbering::Table, size));
    node.SetDataSize(size + 1);
    int32_t read = 0;
    Check(cursor.Blobs().ReadBlob(node.FieldNo, buffer, TFieldNumbering::Table, read, {node.Value, size_t(size)}, 0));
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
    Check(cursor.Blobs().OpenBlob(node.FieldNo, copy.data(),
                                  {.Numbering = TFieldNumbering::Table}));
    TScopeGuard close([&] { Check(cursor.Blobs().FreeBlob(node.FieldNo, copy.data(), TFieldNumbering::Table)); });
    ReadOpenBlob(node, copy.data());
  }
};

// Every column null.
class TNullColumnValues final : public TExpColumnValues {
public:
  void GetColumnValue(TExpToken& node) override { node.SetNull(); }
};

// Whether the condition under node reads no column but fieldNo (set by
// the first column met) and nothing else a record or the moment could
// change: constants, operators and functions of their operands alone.
bool ReadsOneColumnOnly(const TExpToken& node, uint16_t& fieldNo) {
  for (const TExpToken* part = &node; part; part = part->Next) {
    switch (part->Kind) {
      case nkColumn:
        if (part->FieldNo == 0 || (fieldNo != 0 && part->FieldNo != fieldNo)) return false;
        fieldNo = part->FieldNo;
        break;
      case nkConstant:
        break;
      case nkUnary:
      case nkBinary:
      case nkStringCompare:
      case nkPredicate:
      case nkFunction:
        if (part->NestedQuery || part->Code == opInSelect || part->Code == opNotInSelect ||
            (part->Code >= fnSum && part->Code <= fnAvg))
          return false;
        break;
      default:
        return false;
    }
    for (const TExpToken* operand : {part->First, part->Second, part->Third})
      if (operand && !ReadsOneColumnOnly(*operand, fieldNo)) return false;
  }
  return true;
}

// The results of a condition that reads one column of at most 64 bytes, by
// that column's value (null or not, and its bytes): a Boolean, a status, a
// date or a name takes a few values over many records (the records of one
// owner picked out by a case-ignoring index and tested for the exact case),
// and each is evaluated once per scan. Results are only remembered, so a
// condition that fails on a value fails on every record holding it, as
// before; bytes a value leaves unused only make the same value miss.
class TResultsByValue {
public:
  static constexpr int MostValueBytes = 64;

  // Nothing remembered when the condition is no such function.
  TResultsByValue(TDataCursor& cursor, const TExpToken& node) {
    uint16_t fieldNo = 0;
    if (!ReadsOneColumnOnly(node, fieldNo) || fieldNo == 0) return;
    cursor.GetTableFieldDesc(fieldNo, desc.data());
    width = FieldValueWidth(desc.data());
    if (desc[FieldDescTypeOffset] == BlobFieldType || width > MostValueBytes) return;
    active = true;
    if (IsAutoIncField(desc.data())) return;
    nullByte = FieldRecordOffset(desc.data());
    // A value of a word or less (a Boolean, a status, a date): read where
    // it lies, as one word. A scan tests every record of the table, and
    // the value's copy into cleared room took most of the test.
    asWord = width <= int(sizeof(uint64_t));
  }

  bool Active() const { return active; }

  // The result remembered for record's value of a word or less: 1 or 0,
  // -1 when none is (a value read the long way is never found here). No
  // call on the way: a scan asks it for every record.
  int KeptWordResult(const uint8_t* record) {
    if (!asWord) return -1;
    const TWordValue value = ReadWord(record);
    const TSlot& slot = WordSlot(value);
    return Holds(slot, value) ? int(slot.Passes) : -1;
  }

  // The result for record's value: remembered, or evaluated and kept.
  template <typename Evaluate>
  bool Result(const TDataCursor& fields, const uint8_t* record, Evaluate evaluate) {
    if (asWord) return WordResult(record, evaluate);
    // The last value found, compared where the record holds its own: the
    // records of an index's stretch (one owner's) mostly hold one value,
    // and its copy and hash were most of their test.
    if (nullByte != 0 && lastSlot >= 0) {
      const TSlot& last = slots[size_t(lastSlot)];
      const uint8_t* stored = record + nullByte;
      if (last.Blank == (*stored == 0) && std::memcmp(last.Bytes.data(), stored + 1, size_t(width)) == 0)
        return last.Passes;
    }
    TValueBytes bytes{};
    bool blank = true;
    fields.GetFieldValue(desc.data(), record, blank, bytes.data());
    uint64_t hash = blank ? 1 : 0;
    for (int i = 0; i < width; i += 8) {
      uint64_t chunk;
      std::memcpy(&chunk, bytes.data() + i, sizeof chunk);
      hash = (hash ^ chunk) * HashFactor;
    }
    lastSlot = int(hash >> (64 - SlotBits));
    TSlot& slot = slots[size_t(lastSlot)];
    if (slot.Used && slot.Blank == blank && std::memcmp(slot.Bytes.data(), bytes.data(), size_t(width)) == 0)
      return slot.Passes;
    const bool passes = evaluate();
    slot = TSlot{bytes, blank, true, passes};
    return passes;
  }

private:
  static constexpr int SlotBits = 6;
  static constexpr uint64_t HashFactor = 0x9E3779B97F4A7C15ull;

  template <typename Evaluate>
  bool WordResult(const uint8_t* record, Evaluate evaluate) {
    const TWordValue value = ReadWord(record);
    TSlot& slot = WordSlot(value);
    if (Holds(slot, value)) return slot.Passes;
    const bool passes = evaluate();
    slot = TSlot{{}, value.Blank, true, passes};
    std::memcpy(slot.Bytes.data(), &value.Word, sizeof value.Word);
    return passes;
  }

  // Whole 8-byte chunks past the widest value, read by the hash.
  using TValueBytes = std::array<uint8_t, MostValueBytes + 8>;
  struct TSlot {
    TValueBytes Bytes{};
    bool Blank = false;
    bool Used = false;
    bool Passes = false;
  };

  // As GetFieldValue reads the value: the null byte, then width bytes,
  // here gathered into the word's low bytes (the rest zero), which the
  // slot keeps where the longer values keep their first bytes.
  struct TWordValue {
    uint64_t Word = 0;
    bool Blank = true;
  };
  TWordValue ReadWord(const uint8_t* record) const {
    const uint8_t* stored = record + nullByte;
    TWordValue value;
    value.Blank = *stored == 0;
    for (int i = width; i > 0; --i) value.Word = value.Word << 8 | stored[i];
    return value;
  }
  TSlot& WordSlot(const TWordValue& value) {
    return slots[((value.Blank ? 1 : 0) ^ value.Word) * HashFactor >> (64 - SlotBits)];
  }
  static bool Holds(const TSlot& slot, const TWordValue& value) {
    uint64_t kept;
    std::memcpy(&kept, slot.Bytes.data(), sizeof kept);
    return slot.Used && slot.Blank == value.Blank && kept == value.Word;
  }

  std::array<uint8_t, FieldDescSize> desc{};
  int width = 0;
  // The field's null byte in the record, its value's bytes after it; 0 for
  // a value the record does not hold so (no field's null byte lies in the
  // record's header), read the long way.
  uint16_t nullByte = 0;
  bool asWord = false;
  // The slot of the value found last (which a slot, once used, always
  // holds with its result); -1 before the first.
  int lastSlot = -1;
  std::array<TSlot, size_t(1) << SlotBits> slots{};
  bool active = false;
};

// Tests records against a filter, one after the other: the evaluation's
// nodes and the columns' descriptors serve every record.
class TRecordTest final : public TFilterRecordTest {
public:
  TRecordTest(TDataCursor& cursor, TFilter& filter, const TExpToken* node)
      : cursor(cursor),
        filter(filter),
        node(node),
        values(cursor),
        context{&values, cursor.LanguageId(), cursor.SortId(), filter.FormatSettings, &scratch} {}

  // For a scan: the results of a condition of one short column are
  // remembered by its value.
  void RememberResults() {
    if (!filter.IsCallback && node) results = std::make_unique<TResultsByValue>(cursor, *node);
  }

  bool Passes(const uint8_t* record, uint32_t number) override {
    if (filter.IsCallback) return filter.Callback && filter.Callback(record, number);
    values.SetRecord(record);
    if (results && results->Active()) {
      const int kept = results->KeptWordResult(record);
      return kept >= 0 ? kept != 0 : RememberedResult(record);
    }
    return EvaluateCondition(context, *node);
  }

private:
  // Out of line: the remembered result found above costs no call.
  [[gnu::noinline]] bool RememberedResult(const uint8_t* record) {
    return results->Result(cursor, record, [this] { return EvaluateCondition(context, *node); });
  }

  TDataCursor& cursor;
  TFilter& filter;
  const TExpToken* node;
  TRecordColumnValues values;
  TExpScratch scratch;
  TExpEvalContext context;
  std::unique_ptr<TResultsByValue> results;
};

// Tests records against the conditions an AND joins, each in turn with a
// test of its own, as a filter's scans test them: a condition of one short
// column then remembers its results by value, which the AND, reading two
// columns, would not (an owner's exact case and whether the job printed).
class TConjunctsTest final : public TFilterRecordTest {
public:
  TConjunctsTest(TDataCursor& cursor, TFilter& filter, const std::vector<const TExpToken*>& parts) {
    for (const TExpToken* part : parts) {
      tests.push_back(std::make_unique<TRecordTest>(cursor, filter, part));
      tests.back()->RememberResults();
    }
  }

  bool Passes(const uint8_t* record, uint32_t number) override {
    for (const auto& test : tests)
      if (!test->Passes(record, number)) return false;
    return true;
  }

private:
  std::vector<std::unique_ptr<TRecordTest>> tests;
};

}  // namespace

std::unique_ptr<TFilterRecordTest> TFilter::NewRecordTest(TTestedConjuncts tested) {
  std::vector<const TExpToken*> parts;
  if (!IsCallback && Condition) CollectConjuncts(*Condition, parts);
  if (tested == TTestedConjuncts::Unserved)
    std::erase_if(parts, [](const TExpToken* part) { return part->OptimizeLevel != olNone; });
  if (parts.size() > 1) return std::make_unique<TConjunctsTest>(Owner, *this, parts);
  auto test = std::make_unique<TRecordTest>(Owner, *this, parts.empty() ? Condition : parts.front());
  test->RememberResults();
  return test;
}

bool TCursorFilterSet::RecordPasses(TFilter& filter, const TExpToken* node, const uint8_t* record,
                                    uint32_t number) {
  return TRecordTest(cursor, filter, node).Passes(record, number);
}

bool TDataCursor::NullSatisfies(const TExpToken& node) {
  TNullColumnValues values;
  return EvaluateCondition(TExpEvalContext{&values, LanguageId(), SortId()}, node);
}

// The records in question are read in runs beside the data file's cache:
// a scan visits each once, and placing every one in the cache would push
// out what the cursor's reads keep there. A record the cache holds is
// tested where it lies: records a condition's keys picked out lie far
// apart, and the last statement over them kept them there.
void TCursorFilterSet::ScanRecords(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits) {
  TDataFile& data = cursor.DataFile();
  TRecordTest test(cursor, filter, node);
  test.RememberResults();
  TRecordRun run;
  // A cursor with computed fields tests records of its own size, as it
  // shows them.
  const size_t stored = data.RecordSize();
  std::vector<uint8_t> widened(cursor.CursorRecordSize() > stored ? cursor.CursorRecordSize() : 0);
  int32_t number = 0;
  int32_t counter = 0;
  // A cached record is held while it is tested, and given back before the
  // next one is looked for; one guard serves the whole scan (a guard a
  // record asked twice whether an exception was on its way: 3% of a count
  // of one owner at a million rows). A callback may read the table itself
  // and push records out of the cache, so it gets a copy.
  TRecord* held = nullptr;
  TScopeGuard release([&data, &held] { data.ReleaseRecord(held); });
  while (bits.FindNext(number, 1, counter)) {
    const uint32_t record = uint32_t(number);
    data.ReleaseRecord(held);
    held = nullptr;
    const uint8_t* image = nullptr;
    if (run.Holds(record)) {
      image = run.Record(record);
    } else if (data.HoldsRecord(record) && !filter.IsCallback) {
      // Other users' changes are looked for first, as a read from the file
      // would.
      RequireUnchanged(!cursor.Table()->CheckChangesBeforeRead(&cursor));
      RequireUnchanged(data.GetRecord(&cursor, record, {}, held));
      image = held->Buffer();
    } else {
      RequireUnchanged(data.ReadRecordRun(
          &cursor, record,
          data.HoldsRecord(record) ? 1 : bits.SetRunLength(number, data.ReadAheadRecords(), TDataFile::MaxReadGap),
          run));
      image = run.Record(record);
    }
    if (image[RecordDeletedOffset] != 0) {
      bits.ClearBit(number);
      continue;
    }
    if (!widened.empty()) {
      std::memcpy(widened.data(), image, stored);
      std::memset(widened.data() + stored, 0, widened.size() - stored);
      cursor.ComputeFields(widened.data());
      image = widened.data();
    }
    if (!test.Passes(image, record)) bits.ClearBit(number);
  }
}

namespace {

bool IsServedLeaf(const TExpToken& node) { return IsIndexLeaf(node) && node.OptimizeLevel != olNone; }

}  // namespace

// An "=" on one column and a BETWEEN on another that one index holds in
// that order (an owner and a month of dates) meet in one short stretch of
// its keys, where each alone walks its own long one; the other conditions
// then narrow what the stretch let through.
bool TCursorFilterSet::EvaluatePair(TFilter& filter, const TExpToken& node, TRecordsBitmap& bits) {
  std::vector<const TExpToken*> parts;
  CollectConjuncts(node, parts);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!IsServedLeaf(*parts[i]) || parts[i]->Code != opEqual) continue;
    for (size_t j = 0; j < parts.size(); ++j) {
      if (j == i || !IsServedLeaf(*parts[j]) || parts[j]->Code != opBetween) continue;
      TPooledBitmap selected;
      selected->SetRecordCount(bits.RecordCount());
      if (!cursor.FillBitmapFromPair(*parts[i], *parts[j], *selected)) continue;
      bits.AndWith(*selected);
      for (size_t k = 0; k < parts.size(); ++k)
        if (k != i && k != j) EvaluateNode(filter, parts[k], bits);
      return true;
    }
  }
  return false;
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
      if (EvaluatePair(filter, *node, bits)) break;
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
