#include "engIndexDefinition.h"

#include <algorithm>

#include "engDataHeader.h"
#include "engIndexFile.h"
#include "engLittleEndian.h"
#include "rtlAssert.h"
#include "engTableCursor.h"

TIndexDefinition IndexDefinitionFromDesc(const uint8_t* desc) {
  TIndexDefinition def;
  def.Name = GetShortString(desc + IdxDescName, IdxDescNameLimit);
  def.Descending = desc[IdxDescDescending] != 0;
  def.CaseInsensitive = desc[IdxDescCaseInsensitive] != 0;
  def.Unique = desc[IdxDescUnique] != 0;
  def.Compression = desc[IdxDescCompression];
  const int count = std::min<int>(desc[IdxDescFieldCount], MaxKeyFields);
  def.FieldNumbers.resize(size_t(count));
  for (int i = 0; i < count; ++i) def.FieldNumbers[size_t(i)] = GetLE16(desc + IdxDescFieldNumbers + 2 * i);
  for (int i = 0; i < MaxKeyFields; ++i) def.FieldDescending[size_t(i)] = desc[IdxDescFieldDescending + i] != 0;
  def.KeyLength = GetLE16(desc + IdxDescKeyLength);
  return def;
}

void IndexDescFromDefinition(const TIndexDefinition& def, uint8_t* desc) {
  std::fill(desc, desc + IndexDescSize, uint8_t(0));
  // Names are cut at a character's end, never inside one.
  PutShortString(desc + IdxDescName, def.Name, IdxDescNameLimit, true);
  desc[IdxDescDescending] = def.Descending;
  desc[IdxDescCaseInsensitive] = def.CaseInsensitive;
  desc[IdxDescUnique] = def.Unique;
  desc[IdxDescCompression] = def.Compression;
  const size_t count = std::min(def.FieldNumbers.size(), size_t(MaxKeyFields));
  desc[IdxDescFieldCount] = uint8_t(count);
  for (size_t i = 0; i < size_t(MaxKeyFields); ++i) desc[IdxDescFieldDescending + i] = def.FieldDescending[i];
  for (size_t i = 0; i < count; ++i) PutLE16(desc + IdxDescFieldNumbers + 2 * i, def.FieldNumbers[i]);
}

std::vector<uint8_t> IndexDescsFromDefinitions(const std::vector<TIndexDefinition>& defs) {
  std::vector<uint8_t> descs(defs.size() * IndexDescSize, 0);
  for (size_t n = 0; n < defs.size(); ++n) IndexDescFromDefinition(defs[n], descs.data() + n * IndexDescSize);
  return descs;
}

TIndexDescList::TIndexDescList(std::vector<uint8_t> descs) : bytes(std::move(descs)) {
  ORV_ASSERT(bytes.size() % IndexDescSize == 0);
}

int32_t TIndexDescList::Count() const { return int32_t(bytes.size() / IndexDescSize); }

uint8_t* TIndexDescList::At(int32_t n) {
  ORV_ASSERT(n >= 0 && n < Count());
  return bytes.data() + size_t(n) * IndexDescSize;
}

void TTableDefinition::SetIndexes(const std::vector<TIndexDefinition>& indexes) {
  IndexDescs = TIndexDescList(IndexDescsFromDefinitions(indexes));
}
