#include "benchTableDefinition.h"

#include "engDataHeader.h"
#include "engDataLayout.h"
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
  std::vector<TIndexDefinition> indexDefinitions;
  for (const TBenchIndex& index : indexes) {
    TIndexDefinition& definition = indexDefinitions.emplace_back();
    definition.Name = index.Name;
    definition.Unique = index.Unique;
    definition.CaseInsensitive = index.CaseInsensitive;
    definition.Compression = index.Compression;
    definition.FieldNumbers.assign(index.Fields.begin(), index.Fields.end());
  }
  TTableDefinition definition;
  definition.FieldDescs = fieldDescs.data();
  definition.FieldCount = int32_t(fields.size());
  definition.SetIndexes(indexDefinitions);
  definition.Description = description;
  definition.BlobBlockSize = blobBlockSize;
  const std::unique_ptr<TTableCursor> owned = NewTableCursor(directory);
  TTableCursor& creator = *owned;
  creator.SetOpenOptions({.TableName = name, .Exclusive = true});
  creator.Admin().CreateTable(definition, true);
}
