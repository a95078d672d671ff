// Index keys of a cursor: the current index's values, building a key from
// a record buffer, comparing keys, and the bounds of partial keys.

#include <algorithm>
#include <cstring>

#include "engCursor.h"
#include "engAssert.h"
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
bool CopiesKeyFieldDescs(const TCursorFields& fields) { return fields.HasFieldMap() || fields.HasOwnFieldList(); }

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
  indexName.clear();
  keyLength = 0;
  keyFieldCount = 0;
  indexDescending = indexCaseInsensitive = indexUnique = false;
  indexCompression = 0;
  std::memset(keyFieldNumbers, 0, sizeof keyFieldNumbers);
  comparer = TKeyComparer();
  comparer.IndexNo = NaturalOrderIndex;
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
  indexName = IndexFile().GetIndexName(n);
  keyLength = GetLE16(desc + IdxDescKeyLength);
  indexDescending = desc[IdxDescDescending] != 0;
  indexCaseInsensitive = desc[IdxDescCaseInsensitive] != 0;
  indexUnique = desc[IdxDescUnique] != 0;
  indexCompression = desc[IdxDescCompression];
  keyFieldCount = desc[IdxDescFieldCount];

  comparer.IndexNo = n;
  comparer.LanguageId = LanguageId();
  comparer.SortId = SortId();
  comparer.Descending = indexDescending;
  if (n == DeletedIndexNo) {
    keyFieldCount = 0;
    if (keyLength != DeletedKeyLength) Raise(EngErrHeaderCorrupt);
    KeepIndexState(desc);
    return;
  }
  if (keyFieldCount > MaxKeyFields) Raise(EngErrHeaderCorrupt);
  int expected = indexUnique ? 0 : 4;
  for (int i = 0; i < keyFieldCount; ++i) keyFieldNumbers[i] = GetLE16(desc + IdxDescFieldNumbers + 2 * i);
  RefreshKeyFieldDescs();
  for (int i = 0; i < keyFieldCount; ++i) {
    const uint8_t* fieldDesc = KeyFieldDesc(i);
    TKeyField& field = comparer.Fields[i];
    field.FieldType = fieldDesc[FieldDescTypeOffset];
    field.StoredSize = fieldDesc[FieldDescStoredSizeOffset];
    field.Descending = desc[IdxDescFieldDescending + i] != 0;
    expected += field.StoredSize + 1;
  }
  comparer.FieldCount = keyFieldCount;
  if (expected != keyLength || keyLength > MaxIndexKeyLength) Raise(EngErrHeaderCorrupt);
  KeepIndexState(desc);
}

// The state depends on nothing else: the descriptor's bytes before its
// tree's root, the key fields' descriptors in the data file, the language.
// Copied key field descriptors are taken anew at every load, and with them
// the state.
bool TDataCursor::TakeKnownIndexState(uint8_t n, const uint8_t* desc) {
  ENG_ASSERT(n < std::size(takenIndexStates));
  const TTakenIndexState* known = takenIndexStates[n].get();
  if (!known || CopiesKeyFieldDescs(*this) || std::memcmp(known->Definition, desc, IdxDescRoot) != 0 ||
      known->Comparer.LanguageId != LanguageId() || known->Comparer.SortId != SortId())
    return false;
  const TDataFile& data = DataFile();
  for (int i = 0; i < known->KeyFieldCount; ++i) {
    const uint8_t* fieldDesc = data.FieldDescAt(known->KeyFieldNumbers[i]);
    if (!fieldDesc || fieldDesc[FieldDescTypeOffset] != known->Comparer.Fields[i].FieldType ||
        fieldDesc[FieldDescStoredSizeOffset] != known->Comparer.Fields[i].StoredSize)
      return false;
  }
  indexNo = n;
  indexName = known->Name;
  keyLength = known->KeyLength;
  keyFieldCount = known->KeyFieldCount;
  indexDescending = known->Descending;
  indexCaseInsensitive = known->CaseInsensitive;
  indexUnique = known->Unique;
  indexCompression = known->Compression;
  std::memcpy(keyFieldNumbers, known->KeyFieldNumbers, sizeof keyFieldNumbers);
  comparer = known->Comparer;
  return true;
}

void TDataCursor::KeepIndexState(const uint8_t* desc) {
  if (CopiesKeyFieldDescs(*this)) return;
  ENG_ASSERT(indexNo < std::size(takenIndexStates));
  std::unique_ptr<TTakenIndexState>& known = takenIndexStates[indexNo];
  if (!known) known = std::make_unique<TTakenIndexState>();
  std::memcpy(known->Definition, desc, IdxDescRoot);
  known->Name = indexName;
  known->KeyLength = keyLength;
  known->KeyFieldCount = keyFieldCount;
  known->Descending = indexDescending;
  known->CaseInsensitive = indexCaseInsensitive;
  known->Unique = indexUnique;
  known->Compression = indexCompression;
  std::memcpy(known->KeyFieldNumbers, keyFieldNumbers, sizeof keyFieldNumbers);
  known->Comparer = comparer;
}

// Any marker but 0 deletes the record (TRecord::IsDeleted), so a damaged
// marker still gives the key status that every other index agrees with.
void TDataCursor::BuildDeletedKey(const uint8_t* record, uint8_t* key) {
  key[0] = record[RecordDeletedOffset] != 0 ? 1 : 0;
  EncodeInt32Key(GetRecordAutoInc(record), key + 1);
}

const uint8_t* TDataCursor::KeyFieldDesc(int i) const {
  ENG_ASSERT(i >= 0 && i < keyFieldCount);
  if (CopiesKeyFieldDescs(*this)) return KeyFieldSlot(keyFieldDescs, i);
  const uint8_t* fieldDesc = DataFile().FieldDescAt(keyFieldNumbers[i]);
  // A field the file does not have raises as taking its copy would.
  if (!fieldDesc) RaiseEngineError(EngErrFieldNumber, FieldsTableName(), std::to_string(keyFieldNumbers[i]));
  return fieldDesc;
}

void TDataCursor::RefreshKeyFieldDescs() {
  if (!CopiesKeyFieldDescs(*this)) return;
  if (!keyFieldDescs) keyFieldDescs = TEngineBuffer(size_t(MaxKeyFields) * FieldDescSize);
  for (int i = 0; i < keyFieldCount; ++i) GetTableFieldDesc(keyFieldNumbers[i], KeyFieldSlot(keyFieldDescs, i));
}

bool TDataCursor::KeyFieldDescsCurrent() const {
  uint8_t fieldDesc[FieldDescSize];
  for (int i = 0; i < keyFieldCount; ++i) {
    GetTableFieldDesc(keyFieldNumbers[i], fieldDesc);
    if (std::memcmp(fieldDesc, KeyFieldDesc(i), FieldDescSize) != 0) return false;
  }
  return true;
}

void TDataCursor::BuildKey(const uint8_t* record, uint8_t* key) {
  if (indexNo == DeletedIndexNo) {
    BuildDeletedKey(record, key);
    return;
  }
  ENG_ASSERT(KeyFieldDescsCurrent());
  std::memset(key, 0, keyLength);
  uint8_t value[256];
  int offset = 0;
  // Descriptors read in place all come from the one data file, looked up
  // once for the key; KeyFieldDesc gives the copies, and raises for a
  // field the file does not have.
  const TDataFile* inPlace = CopiesKeyFieldDescs(*this) ? nullptr : &DataFile();
  for (int i = 0; i < keyFieldCount; ++i) {
    const uint8_t* fieldDesc = inPlace ? inPlace->FieldDescAt(keyFieldNumbers[i]) : nullptr;
    if (!fieldDesc) fieldDesc = KeyFieldDesc(i);
    // Read in place, a descriptor is the file's current one: it must still
    // fit the key layout the index state was taken with.
    if (fieldDesc[FieldDescStoredSizeOffset] != comparer.Fields[i].StoredSize) Raise(EngErrHeaderCorrupt);
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
    const bool fieldDescending = !indexDescending && comparer.Fields[i].Descending;
    BuildKeySegment(fieldDesc, blank ? nullptr : bytes, key + offset, indexCaseInsensitive, fieldDescending,
                    LanguageId(), SortId());
    offset += comparer.Fields[i].StoredSize + 1;
  }
  if (!indexUnique) EncodeInt32Key(GetRecordAutoInc(record), key + offset);
}

int TDataCursor::CompareKeys(const uint8_t* a, const uint8_t* b, int length) const {
  return comparer.CompareKeys(a, b, length);
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
  FillKeyTail(key, from, keyLength, comparer, localeAware, 0x00, charMap[0]);
}

void TDataCursor::FillKeyHigh(uint8_t* key, int from) const {
  const bool localeAware = LanguageId() != 0 && indexNo != DeletedIndexNo;
  FillKeyTail(key, from, keyLength, comparer, localeAware, 0xFF, charMap[255]);
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
  if (fields <= 0 && partialLength <= 0) fields = keyFieldCount;
  fields = std::clamp(fields, 0, int(keyFieldCount));
  int length = 0;
  for (int i = 0; i < fields; ++i) length += comparer.Fields[i].StoredSize + 1;
  if (partialLength > 0 && fields < keyFieldCount)
    length += 1 + std::min(partialLength, int(comparer.Fields[fields].StoredSize));
  return std::min(length, int(keyLength));
}
