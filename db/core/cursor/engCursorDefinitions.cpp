// Checks of a table definition before a table is created or restructured,
// and the comparison of old and new definitions that restructuring uses.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engBlobLayout.h"
#include "engCursor.h"
#include "engDataDefaultText.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engFieldDescCodec.h"
#include "engIndexFile.h"
#include "engLanguages.h"
#include "engLittleEndian.h"
#include "engStrings.h"
#include "osLocale.h"
#include "rtlStrUtils.h"

namespace {

constexpr uint8_t LengthTakingTypes[] = {1, 9, 15};  // string, bytes and the one more sized kind
constexpr uint8_t MaxDeclaredLength = 250;

bool TakesLength(uint8_t type) {
  for (uint8_t t : LengthTakingTypes)
    if (t == type) return true;
  return false;
}

std::string FieldName(const uint8_t* desc) { return GetShortString(desc + FieldDescNameOffset, FieldNameLimit); }

std::string IndexName(const uint8_t* desc) { return GetShortString(desc + IdxDescName, IdxDescNameLimit); }

uint16_t IndexFieldNo(const uint8_t* desc, int i) { return GetLE16(desc + IdxDescFieldNumbers + 2 * i); }

const uint8_t* FindFieldByNumber(const uint8_t* fieldDescs, int32_t count, uint16_t number) {
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* desc = fieldDescs + size_t(i) * FieldDescSize;
    if (FieldDescNumber(desc) == number) return desc;
  }
  return nullptr;
}

}  // namespace

std::vector<uint8_t> TDataCursor::CheckTableDefinition(TTableDefinition& definition, bool assignOffsets) {
  if (definition.Encrypted) {
    const size_t length = Trim(definition.Password).size();
    if (length < 1 || length > size_t(PasswordLimit)) Raise(EngErrPassword);
  }
  if (definition.LanguageId != 0 && !IsValidLocale(MakeLCID(definition.LanguageId, definition.SortId)))
    Raise(EngErrNoLanguageDriver);
  if (definition.Fields.size() > size_t(MaxDataFields) || definition.LimitValue < -1) Raise(EngErrFieldLimits);
  if (definition.IndexDescs.Count() > MaxIndexDefinitions) Raise(EngErrIndexLimits);
  if (definition.BlobBlockSize < MinBlobBlockSize) Raise(EngErrBlobLimits);
  const int32_t fieldCount = int32_t(definition.Fields.size());
  CheckFieldNameLengths(definition.Fields);
  std::vector<uint8_t> fieldDescs = FieldDescsFromDefinitions(definition.Fields);
  CheckFieldDefs(fieldDescs.data(), fieldCount, definition.LanguageId, definition.SortId, assignOffsets);
  CheckIndexDefs(definition.IndexDescs.Data(), definition.IndexDescs.Count(), fieldDescs.data(), fieldCount,
                 definition.AllowNaturalPrimary);
  // The checked and completed stored part; what a field map adds stays.
  for (int32_t i = 0; i < fieldCount; ++i) {
    TFieldDefinition& field = definition.Fields[size_t(i)];
    TFieldDefinition checked = FieldDefinitionFromDesc(fieldDescs.data() + size_t(i) * FieldDescSize);
    checked.Origin = std::move(field.Origin);
    checked.Expression = std::move(field.Expression);
    field = std::move(checked);
  }
  return fieldDescs;
}

// The descriptor keeps no more than a name may have: a longer one would
// be cut there, and is refused instead.
void TDataCursor::CheckFieldNameLengths(const std::vector<TFieldDefinition>& fields) {
  for (const TFieldDefinition& field : fields)
    if (field.Name.size() > size_t(MaxFieldNameLength)) Raise(EngErrFieldName, Trim(field.Name));
}

void TDataCursor::CheckFieldDefs(uint8_t* fieldDescs, int32_t count, uint16_t languageId, uint16_t,
                                 bool assignOffsets) {
  const TFormatSettings& settings = SharedFormatSettingsForLanguage(languageId);
  int32_t offset = RecordFirstFieldOffset;
  // The names as stored, read once: each field is compared with all before it.
  std::vector<std::string> storedNames;
  storedNames.reserve(size_t(std::max(count, 0)));
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* desc = fieldDescs + size_t(i) * FieldDescSize;
    const bool nameTooLong = desc[FieldDescNameOffset] > MaxFieldNameLength;
    const std::string name = Trim(FieldName(desc));
    PutShortString(desc + FieldDescNameOffset, name, FieldNameLimit, languageId == 0);
    if (name.empty() || nameTooLong || !IsIdentStartChar(name[0])) Raise(EngErrFieldName, name);
    for (int32_t j = 0; j < i; ++j) {
      const uint8_t* other = fieldDescs + size_t(j) * FieldDescSize;
      if (SameText(storedNames[size_t(j)], name)) Raise(EngErrFieldName, name);
      if (FieldDescNumber(other) == FieldDescNumber(desc)) Raise(EngErrFieldDefinition, name);
    }
    storedNames.push_back(FieldName(desc));
    const uint8_t type = desc[FieldDescTypeOffset];
    if (type == 0) Raise(EngErrFieldDefinition, name);
    if (!TakesLength(type)) desc[FieldDescDeclaredSizeOffset] = 0;
    else if (desc[FieldDescDeclaredSizeOffset] > MaxDeclaredLength) Raise(EngErrFieldDefinition, name);
    for (int textOffset : {FieldDescDefaultOffset, FieldDescMinOffset, FieldDescMaxOffset})
      if (!IsValidDefaultText(GetShortString(desc + textOffset, FieldTextLimit), type, settings))
        Raise(EngErrFieldCheckText, name);
    if (type != DecimalFieldType) desc[FieldDescScaleOffset] = 0;
    SetStoredSize(desc);
    CopyScaleByte(desc);
    if (!noFilterUpdate) desc[FieldDescNotStoredOffset] = 0;
    if (!assignOffsets) continue;
    if (IsAutoIncField(desc)) {
      PutLE16(desc + FieldDescRecordOffset, RecordAutoIncOffset);
    } else if (!IsNotStoredField(desc)) {
      // Offsets are 16-bit: a record that outgrows them cannot be laid out.
      if (offset + 1 + desc[FieldDescStoredSizeOffset] > MaxRecordSize) Raise(EngErrRecordTooBig);
      PutLE16(desc + FieldDescRecordOffset, uint16_t(offset));
      offset += desc[FieldDescStoredSizeOffset] + 1;
    }
  }
}

void TDataCursor::CheckIndexDefs(uint8_t* indexDescs, int32_t count, const uint8_t* fieldDescs, int32_t fieldCount,
                                 bool allowNaturalPrimary) {
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* desc = indexDescs + size_t(i) * IndexDescSize;
    const bool primary = i == 0;
    std::string name;
    if (primary) {
      memset(desc + IdxDescName, 0, IdxDescNameLimit + 1);
      desc[IdxDescUnique] = 1;
    } else {
      name = Trim(IndexName(desc));
      if (name.empty() || !IsIdentStartChar(name[0])) Raise(EngErrIndexName, {}, name);
      for (int32_t j = 1; j < count; ++j)
        if (j != i && SameText(Trim(IndexName(indexDescs + size_t(j) * IndexDescSize)), name))
          Raise(EngErrIndexExists, {}, name);
      PutShortString(desc + IdxDescName, name, IdxDescNameLimit, false);
    }
    const std::string messageName = primary ? "Primary" : name;

    int fields = 0;
    int keyBytes = 0;
    for (; fields < MaxKeyFields; ++fields) {
      const uint16_t number = IndexFieldNo(desc, fields);
      if (number == 0) break;
      const uint8_t* field = FindFieldByNumber(fieldDescs, fieldCount, number);
      if (!field) {
        if (primary && allowNaturalPrimary) break;
        Raise(EngErrIndexField, std::to_string(number), messageName);
      }
      if (field[FieldDescTypeOffset] == BlobFieldType) Raise(EngErrIndexFieldType, {}, messageName);
      keyBytes += field[FieldDescStoredSizeOffset] + 1;
    }
    for (int unused = fields; unused < MaxKeyFields; ++unused) PutLE16(desc + IdxDescFieldNumbers + 2 * unused, 0);
    if (keyBytes > MaxKeyFieldBytes || (keyBytes == 0 && !(primary && allowNaturalPrimary)))
      Raise(EngErrKeySize, {}, messageName);
    if (!desc[IdxDescUnique] && keyBytes > 0) keyBytes += 4;
    desc[IdxDescFieldCount] = uint8_t(fields);
    PutLE16(desc + IdxDescKeyLength, uint16_t(keyBytes));
    PutLE32(desc + IdxDescRoot, 0);
    PutLE32(desc + IdxDescFirstFree, 0);
  }
}

bool TDataCursor::FieldDefChanged(const uint8_t* oldDesc, const uint8_t* newDesc) {
  auto sameText = [&](int offset) {
    return SameText(GetShortString(oldDesc + offset, FieldTextLimit), GetShortString(newDesc + offset, FieldTextLimit));
  };
  return FieldDescNumber(oldDesc) != FieldDescNumber(newDesc) ||
         oldDesc[FieldDescTypeOffset] != newDesc[FieldDescTypeOffset] ||
         oldDesc[FieldDescSubtypeOffset] != newDesc[FieldDescSubtypeOffset] ||
         oldDesc[FieldDescStoredSizeOffset] != newDesc[FieldDescStoredSizeOffset] ||
         oldDesc[FieldDescRequiredOffset] != newDesc[FieldDescRequiredOffset] ||
         oldDesc[FieldDescCaseOffset] != newDesc[FieldDescCaseOffset] || !sameText(FieldDescDefaultOffset) ||
         !sameText(FieldDescMinOffset) || !sameText(FieldDescMaxOffset);
}

// An index changes with its key length, flags, field count, the fields it
// names, the order of each field, and any change of those fields.
bool TDataCursor::IndexDefChanged(const uint8_t* oldDesc, const uint8_t* newDesc, const uint8_t* newFieldDescs,
                                  int32_t newFieldCount) {
  RequireOpen();
  if (memcmp(oldDesc + IdxDescKeyLength, newDesc + IdxDescKeyLength, IdxDescFieldDescending - IdxDescKeyLength) != 0)
    return true;
  const int fields = oldDesc[IdxDescFieldCount];
  if (fields > MaxKeyFields) return true;
  if (memcmp(oldDesc + IdxDescFieldDescending, newDesc + IdxDescFieldDescending, size_t(fields)) != 0) return true;
  bool changed = memcmp(oldDesc + IdxDescFieldNumbers, newDesc + IdxDescFieldNumbers, size_t(2 * fields)) != 0;
  for (int i = 0; i < fields; ++i) {
    const uint16_t number = IndexFieldNo(oldDesc, i);
    const uint8_t* newField = FindFieldByNumber(newFieldDescs, newFieldCount, number);
    if (!newField) Raise(EngErrFieldNumber, std::to_string(number));
    uint8_t oldField[FieldDescSize];
    GetTableFieldDesc(number, oldField);
    if (FieldDefChanged(oldField, newField)) changed = true;
  }
  return changed;
}

void TDataCursor::RenumberFields() {
  RequireExclusiveWritable();
  const int count = DataFile().FieldCount();
  uint16_t oldNumbers[MaxDataFields + 1] = {};
  uint8_t desc[FieldDescSize];
  for (int position = 1; position <= count; ++position) {
    DataFile().GetFieldDesc(position, desc);
    oldNumbers[position] = FieldDescNumber(desc);
  }
  auto newNumber = [&](uint16_t old) -> uint16_t {
    for (int position = 1; position <= count; ++position)
      if (oldNumbers[position] == old) return uint16_t(position);
    return 0;
  };
  for (int slot = 0; slot <= IndexFile().GetSecondaryCount(); ++slot) {
    uint16_t numbers[MaxKeyFields];
    IndexFile().GetIndexFields(slot, numbers);
    for (uint16_t& number : numbers)
      if (number != 0) number = newNumber(number);
    IndexFile().SetIndexNameAndFields(slot, IndexFile().GetIndexName(slot), numbers);
  }
  for (int position = 1; position <= count; ++position) {
    DataFile().GetFieldDesc(position, desc);
    PutLE16(desc + FieldDescNumberOffset, uint16_t(position));
    DataFile().UpdateFieldDesc(position, desc);
  }
  AttachFields(DataFile(), IndexFile());
  LoadIndexState(indexNo);
}
