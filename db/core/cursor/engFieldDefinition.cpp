#include "engFieldDefinition.h"

#include <cstring>

#include "engDataHeader.h"
#include "engExpToken.h"
#include "engFieldDescCodec.h"
#include "engLittleEndian.h"

// The inline tests of the definition use the engine's type codes.
static_assert(BlobFieldType == EngineFieldTypes::ftBlob && AutoIncFieldType == EngineFieldTypes::ftInteger);

bool TFieldDefinition::SameStored(const TFieldDefinition& other) const {
  return Number == other.Number && Name == other.Name && Description == other.Description && Type == other.Type &&
         Subtype == other.Subtype && DeclaredSize == other.DeclaredSize && Scale == other.Scale &&
         Required == other.Required && CharCase == other.CharCase && Minimum == other.Minimum &&
         Maximum == other.Maximum && Default == other.Default && StoredSize == other.StoredSize &&
         StoredScale == other.StoredScale && RecordOffset == other.RecordOffset && NotStored == other.NotStored;
}

std::shared_ptr<const TExpToken> ShareExpression(const TExpToken* tree) {
  if (!tree) return nullptr;
  return std::shared_ptr<const TExpToken>(CloneTokenTree(tree), [](const TExpToken* root) {
    TExpToken* owned = const_cast<TExpToken*>(root);
    FreeTokenTree(owned);
  });
}

namespace {

// Fills a field made by default from its descriptor.
void DecodeFieldDefinition(const uint8_t* desc, TFieldDefinition& field) {
  field.Number = GetLE16(desc + FieldDescNumberOffset);
  field.Name = GetShortString(desc + FieldDescNameOffset, FieldNameLimit);
  field.Description = GetShortString(desc + FieldDescDescriptionOffset, FieldTextLimit);
  field.Type = desc[FieldDescTypeOffset];
  field.Subtype = desc[FieldDescSubtypeOffset];
  field.DeclaredSize = desc[FieldDescDeclaredSizeOffset];
  field.Scale = desc[FieldDescScaleOffset];
  field.Required = desc[FieldDescRequiredOffset] != 0;
  field.CharCase = desc[FieldDescCaseOffset];
  field.Minimum = GetShortString(desc + FieldDescMinOffset, FieldTextLimit);
  field.Maximum = GetShortString(desc + FieldDescMaxOffset, FieldTextLimit);
  field.Default = GetShortString(desc + FieldDescDefaultOffset, FieldTextLimit);
  field.StoredSize = desc[FieldDescStoredSizeOffset];
  field.StoredScale = desc[FieldDescScaleCopyOffset];
  field.RecordOffset = GetLE16(desc + FieldDescRecordOffset);
  field.NotStored = desc[FieldDescNotStoredOffset] != 0;
}

}  // namespace

TFieldDefinition FieldDefinitionFromDesc(const uint8_t* desc) {
  TFieldDefinition field;
  DecodeFieldDefinition(desc, field);
  return field;
}

void FieldDescFromDefinition(const TFieldDefinition& field, uint8_t* desc) {
  std::memset(desc, 0, FieldDescSize);
  PutLE16(desc + FieldDescNumberOffset, field.Number);
  PutShortString(desc + FieldDescNameOffset, field.Name, FieldNameLimit, false);
  PutShortString(desc + FieldDescDescriptionOffset, field.Description, FieldTextLimit, false);
  desc[FieldDescTypeOffset] = field.Type;
  desc[FieldDescSubtypeOffset] = field.Subtype;
  desc[FieldDescDeclaredSizeOffset] = field.DeclaredSize;
  desc[FieldDescScaleOffset] = field.Scale;
  desc[FieldDescRequiredOffset] = field.Required ? 1 : 0;
  desc[FieldDescCaseOffset] = field.CharCase;
  PutShortString(desc + FieldDescMinOffset, field.Minimum, FieldTextLimit, false);
  PutShortString(desc + FieldDescMaxOffset, field.Maximum, FieldTextLimit, false);
  PutShortString(desc + FieldDescDefaultOffset, field.Default, FieldTextLimit, false);
  desc[FieldDescStoredSizeOffset] = field.StoredSize;
  desc[FieldDescScaleCopyOffset] = field.StoredScale;
  PutLE16(desc + FieldDescRecordOffset, field.RecordOffset);
  desc[FieldDescNotStoredOffset] = field.NotStored ? 1 : 0;
}

std::vector<uint8_t> FieldDescsFromDefinitions(const std::vector<TFieldDefinition>& fields) {
  std::vector<uint8_t> descs(fields.size() * FieldDescSize);
  for (size_t i = 0; i < fields.size(); ++i) FieldDescFromDefinition(fields[i], descs.data() + i * FieldDescSize);
  return descs;
}

// Decoded where they are kept: a field moved into the list cost as much as
// its decode.
std::vector<TFieldDefinition> FieldDefinitionsFromDescs(const uint8_t* descs, int count) {
  std::vector<TFieldDefinition> fields(size_t(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) DecodeFieldDefinition(descs + size_t(i) * FieldDescSize, fields[size_t(i)]);
  return fields;
}
