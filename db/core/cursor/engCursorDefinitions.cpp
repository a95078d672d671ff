// Checks of a table definition before a table is created or restructured,
// and the comparison of old and new definitions that restructuring uses.

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
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

// The last definition this process checked whole and what the check made
// of it. An SQL statement makes its answer table with the same definition
// at every execution; a check depends on nothing but the definition and
// the two flags it is asked with (the language's rules are the process's),
// so an equal one is completed alike. An encrypted definition is never
// kept: its password is checked each time.
class TLastCheckedDefinition {
public:
  // True, with definition completed and descs set, when it equals the last.
  bool Complete(TTableDefinition& definition, bool assignOffsets, bool noFilterUpdate,
                std::shared_ptr<const std::vector<uint8_t>>& descs) {
    if (definition.Encrypted) return false;
    std::lock_guard<std::mutex> hold(lock);
    if (!valid || !Equal(definition, assignOffsets, noFilterUpdate)) return false;
    for (size_t i = 0; i < completed.size(); ++i) AssignStored(definition.Fields[i], completed[i]);
    definition.IndexDescs = completedIndexes;
    descs = fieldDescs;
    return true;
  }

  void Keep(const TTableDefinition& given, bool assignOffsets, bool noFilterUpdate,
            const TTableDefinition& checked, std::shared_ptr<const std::vector<uint8_t>> descs) {
    if (given.Encrypted) return;
    std::lock_guard<std::mutex> hold(lock);
    valid = false;
    this->given = given;
    for (TFieldDefinition& field : this->given.Fields) {
      field.Origin.clear();
      field.Expression.reset();
    }
    this->assignOffsets = assignOffsets;
    this->noFilterUpdate = noFilterUpdate;
    completed = checked.Fields;
    for (TFieldDefinition& field : completed) {
      field.Origin.clear();
      field.Expression.reset();
    }
    completedIndexes = checked.IndexDescs;
    fieldDescs = std::move(descs);
    valid = true;
  }

private:
  std::mutex lock;
  bool valid = false;
  TTableDefinition given;
  bool assignOffsets = false;
  bool noFilterUpdate = false;
  std::vector<TFieldDefinition> completed;
  TIndexDescList completedIndexes;
  std::shared_ptr<const std::vector<uint8_t>> fieldDescs;

  // Everything a check reads of a definition.
  bool Equal(const TTableDefinition& other, bool otherAssignOffsets, bool otherNoFilterUpdate) const {
    if (otherAssignOffsets != assignOffsets || otherNoFilterUpdate != noFilterUpdate ||
        other.LanguageId != given.LanguageId || other.SortId != given.SortId ||
        other.BlobBlockSize != given.BlobBlockSize || other.LimitValue != given.LimitValue ||
        other.AllowNaturalPrimary != given.AllowNaturalPrimary || other.Fields.size() != given.Fields.size() ||
        other.IndexDescs.Count() != given.IndexDescs.Count())
      return false;
    for (size_t i = 0; i < given.Fields.size(); ++i)
      if (!other.Fields[i].SameStored(given.Fields[i])) return false;
    const size_t indexBytes = size_t(given.IndexDescs.Count()) * IndexDescSize;
    return indexBytes == 0 || std::memcmp(other.IndexDescs.Data(), given.IndexDescs.Data(), indexBytes) == 0;
  }

  // The stored part of checked into field, which equals what the check
  // was given; what a field map adds stays. Texts are assigned only where
  // the check changed them (a name trimmed, a text cut at its limit).
  static void AssignStored(TFieldDefinition& field, const TFieldDefinition& checked) {
    for (auto text : {&TFieldDefinition::Name, &TFieldDefinition::Description, &TFieldDefinition::Minimum,
                      &TFieldDefinition::Maximum, &TFieldDefinition::Default})
      if (field.*text != checked.*text) field.*text = checked.*text;
    field.Number = checked.Number;
    field.Type = checked.Type;
    field.Subtype = checked.Subtype;
    field.DeclaredSize = checked.DeclaredSize;
    field.Scale = checked.Scale;
    field.Required = checked.Required;
    field.CharCase = checked.CharCase;
    field.StoredSize = checked.StoredSize;
    field.StoredScale = checked.StoredScale;
    field.RecordOffset = checked.RecordOffset;
    field.NotStored = checked.NotStored;
  }
};

// Never freed: a thread left running at the process's end may still make
// an answer table.
TLastCheckedDefinition& LastChecked() {
  static auto* const last = new TLastCheckedDefinition;
  return *last;
}

}  // namespace

std::shared_ptr<const std::vector<uint8_t>> TDataCursor::CheckTableDefinition(TTableDefinition& definition,
                                                                           bool assignOffsets) {
  std::shared_ptr<const std::vector<uint8_t>> fieldDescs;
  if (LastChecked().Complete(definition, assignOffsets, noFilterUpdate, fieldDescs)) return fieldDescs;
  const TTableDefinition given = definition.Encrypted ? TTableDefinition{} : definition;
  fieldDescs = std::make_shared<const std::vector<uint8_t>>(CheckWholeDefinition(definition, assignOffsets));
  LastChecked().Keep(given, assignOffsets, noFilterUpdate, definition, fieldDescs);
  return fieldDescs;
}

std::vector<uint8_t> TDataCursor::CheckWholeDefinition(TTableDefinition& definition, bool assignOffsets) {
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
