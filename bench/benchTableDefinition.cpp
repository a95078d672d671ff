#include "benchTableDefinition.h"

#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engIndexFile.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engTableCursor.h"

void CreateBenchTable(TDataDirectory* directory, const std::string& name, const std::vector<TBenchField>& fields,
                      const std::vector<TBenchIndex>& indexes, uint32_t blobBlockSize,
                      const std::string& description) {
  std::vector<uint8_t> fieldDescs(fields.size() * FieldDescSize, 0);
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* desc = fieldDescs.data() + i * FieldDescSize;
    PutLE16(desc + FieldDescNumberOffset, uint16_t(i + 1));
    PutShortString(desc + FieldDescNameOffset, fields[i].Name, FieldNameLimit, false);
    desc[FieldDescTypeOffset] = fields[i].Type;
    desc[FieldDescSubtypeOffset] = fields[i].Subtype;
    desc[FieldDescDeclaredSizeOffset] = fields[i].Size;
    desc[FieldDescRequiredOffset] = fields[i].Required;
  }
  std::vector<uint8_t> indexDescs(indexes.size() * IndexDescSize, 0);
  for (size_t i = 0; i < indexes.size(); ++i) {
    uint8_t* desc = indexDescs.data() + i * IndexDescSize;
    PutShortString(desc + IdxDescName, indexes[i].Name, FieldNameLimit, false);
    desc[IdxDescUnique] = indexes[i].Unique;
    desc[IdxDescCaseInsensitive] = indexes[i].CaseInsensitive;
    desc[IdxDescCompression] = indexes[i].Compression;
    desc[IdxDescFieldCount] = uint8_t(indexes[i].Fields.size());
    for (size_t f = 0; f < indexes[i].Fields.size(); ++f)
      PutLE16(desc + IdxDescFieldNumbers + 2 * f, indexes[i].Fields[f]);
  }
  TTableDefinition definition;
  definition.FieldDescs = fieldDescs.data();
  definition.FieldCount = int32_t(fields.size());
  definition.IndexDescs = indexDescs.data();
  definition.IndexCount = int32_t(indexes.size());
  definition.Description = description;
  definition.BlobBlockSize = blobBlockSize;
  const std::unique_ptr<TTableCursor> owned = NewTableCursor(directory);
  TTableCursor& creator = *owned;
  creator.SetTableName(name);
  creator.SetExclusive(true);
  creator.CreateTable(definition, true);
}
