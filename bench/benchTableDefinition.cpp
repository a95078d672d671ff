#include "benchTableDefinition.h"

#include "engTableCursor.h"

void CreateBenchTable(TDataDirectory* directory, const std::string& name, const std::vector<TBenchField>& fields,
                      const std::vector<TBenchIndex>& indexes, uint32_t blobBlockSize,
                      const std::string& description) {
  TTableDefinition definition;
  for (size_t i = 0; i < fields.size(); ++i) {
    TFieldDefinition& field = definition.Fields.emplace_back();
    field.Number = uint16_t(i + 1);
    field.Name = fields[i].Name;
    field.Type = fields[i].Type;
    field.Subtype = fields[i].Subtype;
    field.DeclaredSize = fields[i].Size;
    field.Required = fields[i].Required;
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
  definition.SetIndexes(indexDefinitions);
  definition.Description = description;
  definition.BlobBlockSize = blobBlockSize;
  const std::unique_ptr<TTableCursor> owned = NewTableCursor(directory);
  TTableCursor& creator = *owned;
  creator.SetOpenOptions({.TableName = name, .Exclusive = true});
  creator.Admin().CreateTable(definition, true);
}
