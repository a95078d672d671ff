// Index keys of a cursor: the current index's values, building a key from
// a record buffer, comparing keys, and the bounds of partial keys.

#include <algorithm>
#include <cstring>

#include "engCursor.h"
#include "rtlAssert.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"

namespace {

// Without a field map or a list of its own the cursor's table numbering is
// the data file's positions, so key fields' descriptors are read where the
// file keeps them: a record change switches through every index, and
// copying each key field's descriptor at every switch cost an eighth of an
// append. The other two ways find descriptors otherwise and keep copies.
bool CopiesKeyFieldDescs(const TDataCursor& fields) { return fields.HasFieldMap() || fields.HasOwnFieldList(); }

uint8_t* KeyFieldSlot(const TEngineBuffer& slots, int i) { return slots.Get() + size_t(i) * FieldDescSize; }

}  // namespace

bool TDataCursor::ValidIndexNo(int n) const {
  return n == NaturalOrderIndex || n == DeletedIndexNo || (n >= 0 && n <= IndexFile().GetSecondaryCount());
}

bool TDataCursor::IsNaturalOrder() const {
  return indexNo == NaturalOrderIndex || (indexNo == 0 && open && PrimaryIsNatural());
}

void TDataCursor::ClearIndexState() {
  indexNo = NaturalOrderIndex;
  indexState = TIndexState();
  indexState.Comparer.IndexNo = NaturalOrderIndex;
}

// Takes the descriptor's values; a key length that its fields do not
// explain is a damaged header, and no key is built over it.
void TDataCursor::LoadIndexState(uint8_t n) {
  // The descriptor is read once, before the state is cleared, and only from
  // a slot the file has: a damaged count naming one past the last raises
  // below, with the state cleared as before.
  const bool keyed = n != NaturalOrderIndex && !(n == 0 && PrimaryIsNatural());
  const bool valid = keyed && ValidIndexNo(n);
  uint8_t desc[IndexDescSize];
  if (valid) {
    IndexFile().GetIndexDescriptor(n, desc);
    if (TakeKnownIndexState(n, desc)) return;
  }
  ClearIndexState();
  indexNo = n;
  if (!keyed) return;
  if (!valid) Raise(EngErrIndexName, {}, std::to_string(n));
  TIndexState& state = indexState;
  state.Name = IndexFile().GetIndexName(n);
  state.KeyLength = GetLE16(desc + IdxDescKeyLength);
  state.Descending = desc[IdxDescDescending] != 0;
  state.CaseInsensitive = desc[IdxDescCaseInsensitive] != 0;
  state.Unique = desc[IdxDescUnique] != 0;
  state.KeyFieldCount = desc[IdxDescFieldCount];

  state.Comparer.IndexNo = n;
  state.Comparer.LanguageId = LanguageId();
  state.Comparer.SortId = SortId();
  state.Comparer.Descending = state.Descending;
  if (n == DeletedIndexNo) {
    state.KeyFieldCount = 0;
    if (state.KeyLength != DeletedKeyLength) Raise(EngErrHeaderCorrupt);
    KeepIndexState(desc);
    return;
  }
  if (state.KeyFieldCount > MaxKeyFields) Raise(EngErrHeaderCorrupt);
  int expected = state.Unique ? 0 : 4;
  for (int i = 0; i < state.KeyFieldCount; ++i)
    state.KeyFieldNumbers[i] = GetLE16(desc + IdxDescFieldNumbers + 2 * i);
  RefreshKeyFieldDescs();
  for (int i = 0; i < state.KeyFieldCount; ++i) {
    const uint8_t* fieldDesc = KeyFieldDesc(i);
    TKeyField& field = state.Comparer.Fields[i];
    field.FieldType = fieldDesc[FieldDescTypeOffset];
    field.StoredSize = fieldDesc[FieldDescStoredSizeOffset];
    field.Descending = desc[IdxDescFieldDescending + i] != 0;
    expected += field.StoredSize + 1;
  }
  state.Comparer.FieldCount = state.KeyFieldCount;
  if (expected != state.KeyLength || state.KeyLength > MaxIndexKeyLength) Raise(EngErrHeaderCorrupt);
  KeepIndexState(desc);
}

// The state depends on nothing else: the descriptor's bytes before its
// tree's root, the key fields' descriptors in the data file, the language.
// Copied key field descriptors are taken anew at every load, and with them
// the state.
bool TDataCursor::TakeKnownIndexState(uint8_t n, const uint8_t* desc) {
  ORV_ASSERT(n < std::size(takenIndexStates));
  const TTakenIndexState* taken = takenIndexStates[n].get();
  if (!taken || CopiesKeyFieldDescs(*this) || std::memcmp(taken->Definition, desc, IdxDescRoot) != 0)
    return false;
  const TIndexState& known = taken->State;
  if (known.Comparer.LanguageId != LanguageId() || known.Comparer.SortId != SortId()) return false;
  const TDataFile& data = DataFile();
  for (int i = 0; i < known.KeyFieldCount; ++i) {
    const uint8_t* fieldDesc = data.FieldDescAt(known.KeyFieldNumbers[i]);
    if (!fieldDesc || fieldDesc[FieldDescTypeOffset] != known.Comparer.Fields[i].FieldType ||
        fieldDesc[FieldDescStoredSizeOffset] != known.Comparer.Fields[i].StoredSize)
      return false;
  }
  indexNo = n;
  indexState = known;
  return true;
}

void TDataCursor::KeepIndexState(const uint8_t* desc) {
  if (CopiesKeyFieldDescs(*this)) return;
  ORV_ASSERT(indexNo < std::size(takenIndexStates));
  std::unique_ptr<TTakenIndexState>& known = takenIndexStates[indexNo];
  if (!known) known = std::make_unique<TTakenIndexState>();
  std::memcpy(known->Definition, desc, IdxDescRoot);
  known->State = indexState;
}

// Any marker but 0 deletes the record (TRecord::IsDeleted), so a damaged
// marker still gives the key status that every other index agrees with.
void TDataCursor::BuildDeletedKey(const uint8_t* record, uint8_t* key) {
  key[0] = record[RecordDeletedOffset] != 0 ? 1 : 0;
  EncodeInt32Key(GetRecordAutoInc(record), key + 1);
}

const uint8_t* TDataCursor::KeyFieldDesc(int i) const {
  ORV_ASSERT(i >= 0 && i < indexState.KeyFieldCount);
  if (CopiesKeyFieldDescs(*this)) return KeyFieldSlot(keyFieldDescs, i);
  const uint8_t* fieldDesc = DataFile().FieldDescAt(indexState.KeyFieldNumbers[i]);
  // A field the file does not have raises as taking its copy would.
  if (!fieldDesc) RaiseEngineError(EngErrFieldNumber, FieldsTableName(), std::to_string(indexState.KeyFieldNumbers[i]));
  return fieldDesc;
}

void TDataCursor::RefreshKeyFieldDescs() {
  if (!CopiesKeyFieldDescs(*this)) return;
  if (!keyFieldDescs) keyFieldDescs = TEngineBuffer(size_t(MaxKeyFields) * FieldDescSize);
  for (int i = 0; i < indexState.KeyFieldCount; ++i)
    GetTableFieldDesc(indexState.KeyFieldNumbers[i], KeyFieldSlot(keyFieldDescs, i));
}

bool TDataCursor::KeyFieldDescsCurrent() const {
  uint8_t fieldDesc[FieldDescSize];
  for (int i = 0; i < indexState.KeyFieldCount; ++i) {
    GetTableFieldDesc(indexState.KeyFieldNumbers[i], fieldDesc);
    if (std::memcmp(fieldDesc, KeyFieldDesc(i), FieldDescSize) != 0) return false;
  }
  return true;
}

void TDataCursor::BuildKey(const uint8_t* record, uint8_t* key) {
  if (indexNo == DeletedIndexNo) {
    BuildDeletedKey(record, key);
    return;
  }
  ORV_ASSERT(KeyFieldDescsCurrent());
  std::memset(key, 0, indexState.KeyLength);
  uint8_t value[256];
  int offset = 0;
  // Descriptors read in place all come from the one data file, looked up
  // once for the key; KeyFieldDesc gives the copies, and raises for a
  // field the file does not have.
  const TDataFile* inPlace = CopiesKeyFieldDescs(*this) ? nullptr : &DataFile();
  for (int i = 0; i < indexState.KeyFieldCount; ++i) {
    const uint8_t* fieldDesc = inPlace ? inPlace->FieldDescAt(indexState.KeyFieldNumbers[i]) : nullptr;
    if (!fieldDesc) fieldDesc = KeyFieldDesc(i);
    // Read in place, a descriptor is the file's current one: it must still
    // fit the key layout the index state was taken with.
    if (fieldDesc[FieldDescStoredSizeOffset] != indexState.Comparer.Fields[i].StoredSize) Raise(EngErrHeaderCorrupt);
    bool blank = true;
    // Read where the record holds it (a copy of the stored size was a
    // quarter of building the key), but for the values GetFieldValue makes.
    const uint8_t* bytes = StoredFieldBytes(fieldDesc, record, blank);
    if (!bytes) {
      GetFieldValue(fieldDesc, record, blank, value);
      bytes = value;
    }
    key[offset] = blank ? 0 : 1;
    // A descending index reverses the whole key in the comparison instead.
    const bool fieldDescending = !indexState.Descending && indexState.Comparer.Fields[i].Descending;
    BuildKeySegment(fieldDesc, blank ? nullptr : bytes, key + offset, indexState.CaseInsensitive, fieldDescending,
                    LanguageId(), SortId());
    offset += indexState.Comparer.Fields[i].StoredSize + 1;
  }
  if (!indexState.Unique) EncodeInt32Key(GetRecordAutoInc(record), key + offset);
}

int TDataCursor::CompareKeys(const uint8_t* a, const uint8_t* b, int length) const {
  return indexState.Comparer.CompareKeys(a, b, length);
}

namespace {

// Fills key bytes from `from` to the end: value bytes of string fields with
// the locale's lowest or highest character, every other byte with plain.
void FillKeyTail(uint8_t* key, int from, int keyLength, const TKeyComparer& comparer, bool localeAware,
                 uint8_t plain, uint8_t stringChar) {
  if (from >= keyLength) return;
  if (!localeAware) {
    std::memset(key + from, plain, size_t(keyLength - from));
    return;
  }
  int offset = 0;
  for (int i = 0; i < comparer.FieldCount && offset < keyLength; ++i) {
    const TKeyField& field = comparer.Fields[i];
    const int end = std::min(offset + field.StoredSize + 1, keyLength);
    for (int b = std::max(offset, from); b < end; ++b)
      key[b] = field.FieldType == StringFieldType && b > offset ? stringChar : plain;
    offset = end;
  }
  if (offset < keyLength) std::memset(key + std::max(offset, from), plain, size_t(keyLength - std::max(offset, from)));
}

}  // namespace

void TDataCursor::FillKeyLow(uint8_t* key, int from) const {
  const bool localeAware = LanguageId() != 0 && indexNo != DeletedIndexNo;
  FillKeyTail(key, from, indexState.KeyLength, indexState.Comparer, localeAware, 0x00, charMap[0]);
}

void TDataCursor::FillKeyHigh(uint8_t* key, int from) const {
  const bool localeAware = LanguageId() != 0 && indexNo != DeletedIndexNo;
  FillKeyTail(key, from, indexState.KeyLength, indexState.Comparer, localeAware, 0xFF, charMap[255]);
}

void TDataCursor::IncrementKey(uint8_t* key, int length) {
  int i = length - 1;
  while (i >= 0 && key[i] == 0xFF) --i;
  if (i < 0) return;  // already the highest
  ++key[i];
  std::memset(key + i + 1, 0, size_t(length - i - 1));
}

void TDataCursor::DecrementKey(uint8_t* key, int length) {
  int i = length - 1;
  while (i >= 0 && key[i] == 0) --i;
  if (i < 0) return;  // already the lowest
  --key[i];
  std::memset(key + i + 1, 0xFF, size_t(length - i - 1));
}

int TDataCursor::PartialKeyLength(int fieldCount, int partialLength) const {
  int fields = fieldCount;
  if (fields <= 0 && partialLength <= 0) fields = indexState.KeyFieldCount;
  fields = std::clamp(fields, 0, int(indexState.KeyFieldCount));
  int length = 0;
  for (int i = 0; i < fields; ++i) length += indexState.Comparer.Fields[i].StoredSize + 1;
  if (partialLength > 0 && fields < indexState.KeyFieldCount)
    length += 1 + std::min(partialLength, int(indexState.Comparer.Fields[fields].StoredSize));
  return std::min(length, int(indexState.KeyLength));
}
