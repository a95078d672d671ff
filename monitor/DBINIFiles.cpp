#include "DBINIFiles.h"

#include <array>

#include "MDBTable.h"
#include "MonitorCommon.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

namespace {

// In the order of the field type numbers.
constexpr std::array<const char*, 36> FieldTypeNames = {
    "ftUnknown",   "ftString",     "ftSmallint", "ftInteger",     "ftWord",     "ftBoolean",  "ftFloat",
    "ftCurrency",  "ftBCD",        "ftDate",     "ftTime",        "ftDateTime", "ftBytes",    "ftVarBytes",
    "ftAutoInc",   "ftBlob",       "ftMemo",     "ftGraphic",     "ftFmtMemo",  "ftParadoxOle", "ftDBaseOle",
    "ftTypedBinary", "ftCursor",   "ftFixedChar", "ftWideString", "ftLargeint", "ftADT",      "ftArray",
    "ftReference", "ftDataSet",    "ftOraBlob",  "ftOraClob",     "ftVariant",  "ftInterface", "ftIDispatch",
    "ftGuid"};

int IntField(const std::string& line, int n) { return StrToIntDef(GetCSVField(line, n), 0); }

}  // namespace

std::string DefinitionSection(const std::string& tableName) { return tableName.substr(0, tableName.find('.')); }

TFieldType FieldTypeFromName(const std::string& text) {
  for (size_t i = 0; i < FieldTypeNames.size(); ++i) {
    if (SameText(text, FieldTypeNames[i])) return static_cast<TFieldType>(i);
  }
  return ftUnknown;
}

std::unique_ptr<TMDBTable> TDBIniFile::ReadMDBTable(const std::string& databaseName, const std::string& tableName) {
  auto table = std::make_unique<TMDBTable>(nullptr);
  table->SetDatabaseName(databaseName);
  table->SetTableName(tableName);
  table->FieldDefs().Clear();
  table->IndexDefs().Clear();
  const std::string section = DefinitionSection(tableName);
  for (int n = 0;; ++n) {
    const std::string line = ReadString(section, "FD" + std::to_string(n), "");
    if (line.empty()) break;
    table->FieldDefs().Add(GetCSVField(line, 1), FieldTypeFromName(GetCSVField(line, 3)), IntField(line, 4),
                           IntField(line, 5) == 1);
  }
  for (int n = 0;; ++n) {
    const std::string line = ReadString(section, "IX" + std::to_string(n), "");
    if (line.empty()) break;
    TIndexOptions options;
    if (n == 0) options.Include(ixPrimary);
    if (IntField(line, 4) == 1) options.Include(ixUnique);
    if (GetCSVField(line, 5) == "0") options.Include(ixDescending);
    if (GetCSVField(line, 6) == "0") options.Include(ixCaseInsensitive);
    table->IndexDefs().Add(GetCSVField(line, 1), GetCSVField(line, 3), options);
  }
  return table;
}

std::string TDBIniFile::GetIndexValue(const std::string& section, const std::string& indexName, std::string& found) {
  found.clear();
  for (int n = 0;; ++n) {
    const std::string line = ReadString(section, "IX" + std::to_string(n), "");
    if (line.empty()) break;
    if (GetCSVField(line, 1) == indexName) {
      found = line;
      break;
    }
  }
  return found;
}
