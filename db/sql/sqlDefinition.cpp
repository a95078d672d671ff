#include "sqlDefinition.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engPaths.h"
#include "engSession.h"
#include "engStrings.h"
#include "rtlStrUtils.h"
#include "sqlErrors.h"
#include "sqlPaths.h"
#include "sqlQuery.h"

namespace {

constexpr const char* PrimaryName = "PRIMARY";

// The target's directory, opened for the statement when it is not the
// statement's own, and closed with it.
class TTargetDirectory {
public:
  explicit TTargetDirectory(TDataQuery& query) : session(*query.StatementDirectory()->Session()) {
    if (query.Parsed.Target.InMemory) {
      directory = session.OpenDirectory("Memory", "");
      owned = true;
      name = FilePart(query.Parsed.Target.Name);
    } else if (HasFolderPart(query.Parsed.Target.Name)) {
      const std::string folder = FolderPart(query.Parsed.Target.Name);
      directory = session.OpenDirectory(folder, folder);
      owned = true;
      name = FilePart(query.Parsed.Target.Name);
    } else {
      directory = query.StatementDirectory();
      name = query.Parsed.Target.Name;
    }
  }
  ~TTargetDirectory() {
    if (owned) session.CloseDirectory(directory);
  }
  TTargetDirectory(const TTargetDirectory&) = delete;
  TTargetDirectory& operator=(const TTargetDirectory&) = delete;

  std::unique_ptr<TTableCursor> Cursor(const TDataQuery& query) const {
    auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = name, .Exclusive = true, .InMemory = query.Parsed.Target.InMemory});
    cursor->SetPasswordHandler(query.Run.PasswordProc);
    return cursor;
  }

private:
  TDataSession& session;
  TDataDirectory* directory = nullptr;
  bool owned = false;
  std::string name;
};

// Names and texts longer than a table keeps are cut.
void FillField(const TCreateField& field, TFieldDefinition& target) {
  target.Name = field.Name.substr(0, FieldNameLimit);
  target.Description = field.Description.substr(0, FieldTextLimit);
  target.Type = field.DataType;
  target.Subtype = field.SubType;
  target.DeclaredSize = field.DataType == dtString || field.DataType == dtBytes ? uint8_t(std::clamp(field.Size, 0, 255))
                        : field.DataType == dtBlob                             ? 1
                                                                               : 0;
  target.Scale = field.DataType == dtBcd ? field.Scale : 0;
  target.Required = field.Required;
  target.CharCase = field.CharCase;
  target.Minimum = field.Minimum.substr(0, FieldTextLimit);
  target.Maximum = field.Maximum.substr(0, FieldTextLimit);
  target.Default = field.Default.substr(0, FieldTextLimit);
}

// The field numbers of the index's columns among fields (any case); an
// unknown column is the engine's index field error.
TIndexDefinition IndexDefinition(const TCreateIndex& index, const std::vector<TFieldDefinition>& fields) {
  TIndexDefinition definition;
  definition.Name = index.Name;
  definition.Descending = index.Descending;
  definition.CaseInsensitive = index.CaseInsensitive;
  definition.Unique = index.Unique;
  definition.Compression = index.Compression;
  const size_t columns = std::min(index.Columns.size(), size_t(MaxKeyFields));
  for (size_t i = 0; i < columns; ++i) {
    int number = 0;
    for (size_t f = 0; f < fields.size() && number == 0; ++f)
      if (SameText(fields[f].Name, index.Columns[i])) number = fields[f].Number;
    if (number == 0) RaiseSqlError("Column " + index.Columns[i] + " not found");
    definition.FieldNumbers.push_back(uint16_t(number));
  }
  return definition;
}

void CreateTable(TDataQuery& query) {
  std::vector<TFieldDefinition> fields(query.Parsed.Definition.Fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    fields[i].Number = uint16_t(i + 1);
    FillField(*query.Parsed.Definition.Fields[i], fields[i]);
  }
  TIndexDefinition primary;
  const auto& indexes = query.Parsed.Definition.Indexes;
  if (!indexes.empty()) primary = IndexDefinition(*indexes.front(), fields);
  TTableDefinition definition = query.Parsed.Options.NewTableDefinition(std::move(fields));
  definition.SetIndexes({primary});
  TTargetDirectory target(query);
  target.Cursor(query)->Admin().CreateTable(definition, false);
}

void CreateIndex(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  std::vector<TFieldDefinition> fields;
  for (int i = 1; i <= cursor->Fields().GetFieldCount(); ++i) fields.push_back(cursor->Fields().TableFieldDefinition(i));
  cursor->Admin().AddIndex(IndexDefinition(*query.Parsed.Definition.Indexes.front(), fields));
  cursor->Close(TTemporaryContents::Keep);
}

int FindByName(const std::vector<TFieldDefinition>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameText(fields[i].Name, name)) return int(i);
  return -1;
}

void AlterTable(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  const int oldCount = cursor->Fields().GetFieldCount();
  std::vector<TFieldDefinition> fields;
  uint16_t highest = 0;
  for (int i = 1; i <= oldCount; ++i) {
    fields.push_back(cursor->Fields().TableFieldDefinition(i));
    highest = std::max(highest, fields.back().Number);
  }
  std::vector<TIndexDefinition> indexes;
  const int secondaries = cursor->Fields().GetSecondaryIndexCount();
  for (int n = 0; n <= secondaries; ++n)
    indexes.push_back(n > 0 || !cursor->Fields().PrimaryIsNatural() ? cursor->Fields().GetIndexDefinition(n)
                                                                    : TIndexDefinition{});
  const TParsedOptions& options = query.Parsed.Options;
  TTableDefinition definition;
  definition.LanguageId = options.HasLanguage ? options.LanguageId : cursor->Admin().GetLanguageID();
  definition.SortId = options.HasSort       ? options.SortId
                      : options.HasLanguage ? uint16_t(0)
                                            : cursor->Admin().GetSortID();
  definition.Description =
      options.HasDescription ? options.Description : cursor->Admin().GetTableDescription();
  definition.BlobBlockSize =
      options.HasBlobBlockSize ? options.BlobBlockSize : cursor->Admin().GetBlobBlockSize();
  definition.UserMajorVersion =
      options.HasMajorVersion ? options.UserMajorVersion : cursor->Admin().GetUserMajorVersion();
  definition.UserMinorVersion =
      options.HasMinorVersion ? options.UserMinorVersion : cursor->Admin().GetUserMinorVersion();
  definition.Encrypted = options.HasEncryption ? options.Encrypted : cursor->Admin().IsTableEncrypted();
  definition.Password = options.HasEncryption ? options.Password : cursor->Admin().GetTablePassword();
  definition.LimitValue = options.LastAutoInc;
  cursor->Close(TTemporaryContents::Keep);

  for (const auto& change : query.Parsed.Definition.Fields) {
    if (change->HasAt && (change->At < 1 || change->At > oldCount))
      RaiseSqlError("AT column position must be between 1 and " + std::to_string(oldCount));
    if (change->Drop) {
      const int at = FindByName(fields, change->OldName);
      if (at < 0) RaiseSqlError("Column " + change->OldName + " not found");
      fields.erase(fields.begin() + at);
      continue;
    }
    TFieldDefinition field;
    int at = int(fields.size());
    if (change->Redefine) {
      at = FindByName(fields, change->OldName);
      if (at < 0) RaiseSqlError("Column " + change->OldName + " not found");
      field = fields[size_t(at)];
      fields.erase(fields.begin() + at);
      if (change->HasType) {
        field.Name = change->Name.substr(0, FieldNameLimit);
        field.Type = change->DataType;
        field.Subtype = change->SubType;
        field.DeclaredSize =
            change->DataType == dtString ? uint8_t(std::clamp(change->Size, 0, 255)) : change->DataType == dtBlob ? 1 : 0;
        field.Scale = change->DataType == dtBcd ? change->Scale : 0;
      }
    } else {
      if (FindByName(fields, change->Name) >= 0) RaiseSqlError("Column " + change->Name + " already exists");
      field.Number = ++highest;
      FillField(*change, field);
    }
    if (change->HasDescription) field.Description = change->Description.substr(0, FieldTextLimit);
    if (change->HasRequired) field.Required = change->Required;
    if (change->HasCharCase) field.CharCase = change->CharCase;
    if (change->HasMinimum) field.Minimum = change->Minimum.substr(0, FieldTextLimit);
    if (change->HasMaximum) field.Maximum = change->Maximum.substr(0, FieldTextLimit);
    if (change->HasDefault) field.Default = change->Default.substr(0, FieldTextLimit);
    if (change->HasAt) at = std::min(change->At - 1, int(fields.size()));
    fields.insert(fields.begin() + at, std::move(field));
  }

  for (const auto& change : query.Parsed.Definition.Indexes) {
    const bool hasPrimary = !indexes.front().IsNatural();
    if (change->Drop) {
      indexes.front() = {};
      continue;
    }
    if (change->Add && hasPrimary) RaiseSqlError("Cannot REDEFINE the primary key using the ADD keyword");
    indexes.front() = IndexDefinition(*change, fields);
  }
  definition.Fields = std::move(fields);
  definition.SetIndexes(indexes);
  cursor->Admin().RestructureTable(definition, query.Parsed.Options.NoBackup);
}

void DropTable(TDataQuery& query) {
  TTargetDirectory target(query);
  target.Cursor(query)->Admin().DeleteTable();
}

void DropIndex(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  const std::string& index = query.Parsed.Target.IndexName;
  cursor->Admin().DeleteIndex(SameText(index, PrimaryName) ? std::string() : index);
  cursor->Close(TTemporaryContents::Keep);
}

}  // namespace

void ExecuteDefinition(TDataQuery& query) {
  switch (query.Parsed.Kind) {
    case qkCreateTable:
      CreateTable(query);
      break;
    case qkCreateIndex:
      CreateIndex(query);
      break;
    case qkAlterTable:
      AlterTable(query);
      break;
    case qkDropTable:
      DropTable(query);
      break;
    case qkDropIndex:
      DropIndex(query);
      break;
    default:
      break;
  }
  query.Run.Executed = true;
}
