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

  // A new, closed table component on DatabaseName and TableName with the
  // definitions of TableName's section (its file name up to the first ".").
  std::unique_ptr<TMDBTable> ReadMDBTable(const std::string& DatabaseName, const std::string& TableName);
  // The first IX line whose index name is IndexName (with case); empty
  // when none. Line receives it too.
  std::string GetIndexValue(const std::string& Section, const std::string& IndexName, std::string& Line);
};

// The section of a table: its file name up to the first ".".
std::string DefinitionSection(const std::string& TableName);
// The field type named Text (without regard to case); ftUnknown when none.
TFieldType FieldTypeFromName(const std::string& Text);
