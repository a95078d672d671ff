#pragma once
// The table definition text: a table's section holds numbered field lines
// "FDn=" (name, description, type name, size, required) and index lines
// "IXn=" (name, description, fields, unique, ascending, case sensitive,
// compression), each list numbered from 0 and ended by the first missing
// number. IX0 is the primary index.

#include <memory>
#include <string>

#include "MemIniF.h"
#include "dbTypes.h"

class TMDBTable;

class TDBIniFile : public TMemoryIniFile {
public:
  using TMemoryIniFile::TMemoryIniFile;

  // A new, closed table component on databaseName and tableName with the
  // definitions of tableName's section (its file name up to the first ".").
  std::unique_ptr<TMDBTable> ReadMDBTable(const std::string& databaseName, const std::string& tableName);
  // The first IX line whose index name is indexName (with case); empty
  // when none. found receives it too.
  std::string GetIndexValue(const std::string& section, const std::string& indexName, std::string& found);
};

// The section of a table: its file name up to the first ".".
std::string DefinitionSection(const std::string& tableName);
// The field type named text (without regard to case); ftUnknown when none.
TFieldType FieldTypeFromName(const std::string& text);
