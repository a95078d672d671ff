#include "sqlDefinition.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engTableCursor.h"
#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engDirectory.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engPaths.h"
#include "engSession.h"
#include "engStrings.h"
#include "rtlStrUtils.h"
#include "rtlStrUtils.h"
#include "sqlErrors.h"
#include "sqlPaths.h"
#include "sqlQuery.h"

namespace {

constexpr const char* PrimaryName = "PRIMARY";

std::string FieldNameOf(const uint8_t* desc) { return GetShortString(desc + FieldDescNameOffset, FieldNameLimit); }

// The target's directory, opened for the statement when it is not the
// statement's own, and closed with it.
class TTargetDirectory {
public:
  explicit TTargetDirectory(TDataQuery& query) : session(*query.StatementDirectory()->Session()) {
    if (query.Parsed.InMemoryTarget) {
      directory = session.OpenDirectory("Memory", "");
      owned = true;
      name = FilePart(query.Parsed.TargetName);
    } else if (HasFolderPart(query.Parsed.TargetName)) {
      const std::string folder = FolderPart(query.Parsed.TargetName);
      directory = session.OpenDirectory(folder, folder);
      owned = true;
      name = FilePart(query.Parsed.TargetName);
    } else {
      directory = query.StatementDirectory();
      name = query.Parsed.TargetName;
    }
  }
  ~TTargetDirectory() {
    if (owned) session.CloseDirectory(directory);
  }
  TTargetDirectory(const TTargetDirectory&) = delete;
  TTargetDirectory& operator=(const TTargetDirectory&) = delete;

  std::unique_ptr<TTableCursor> Cursor(const TDataQuery& query) const {
    auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = name, .Exclusive = true, .InMemory = query.Parsed.InMemoryTarget});
    cursor->SetPasswordHandler(query.Run.PasswordProc);
    return cursor;
  }

private:
  TDataSession& session;
  TDataDirectory* directory = nullptr;
  bool owned = false;
  std::string name;
};

void FillFieldDesc(const TCreateField& field, uint8_t* desc) {
  PutShortString(desc + FieldDescNameOffset, field.Name.substr(0, FieldNameLimit), FieldNameLimit, false);
  PutShortString(desc + FieldDescDescriptionOffset, field.Description.substr(0, FieldTextLimit), FieldTextLimit, false);
  desc[FieldDescTypeOffset] = field.DataType;
  desc[FieldDescSubtypeOffset] = field.SubType;
  desc[FieldDescDeclaredSizeOffset] = field.DataType == dtString || field.DataType == dtBytes
                                          ? uint8_t(std::clamp(field.Size, 0, 255))
                                          : field.DataType == dtBlob ? 1 : 0;
  desc[FieldDescScaleOffset] = field.DataType == dtBcd ? field.Scale : 0;
  desc[FieldDescRequiredOffset] = field.Required;
  desc[FieldDescCaseOffset] = field.CharCase;
  PutShortString(desc + FieldDescMinOffset, field.Minimum.substr(0, FieldTextLimit), FieldTextLimit, false);
  PutShortString(desc + FieldDescMaxOffset, field.Maximum.substr(0, FieldTextLimit), FieldTextLimit, false);
  PutShortString(desc + FieldDescDefaultOffset, field.Default.substr(0, FieldTextLimit), FieldTextLimit, false);
}

// The field numbers of the index's columns among descs (any case); an
// unknown column is the engine's index field error.
TIndexDefinition IndexDefinition(const TCreateIndex& index, const uint8_t* descs, int count) {
  TIndexDefinition definition;
  definition.Name = index.Name;
  definition.Descending = index.Descending;
  definition.CaseInsensitive = index.CaseInsensitive;
  definition.Unique = index.Unique;
  definition.Compression = index.Compression;
  const size_t columns = std::min(index.Columns.size(), size_t(MaxKeyFields));
  for (size_t i = 0; i < columns; ++i) {
    int number = 0;
    for (int f = 0; f < count && number == 0; ++f)
      if (SameText(FieldNameOf(descs + size_t(f) * FieldDescSize), index.Columns[i]))
        number = FieldDescNumber(descs + size_t(f) * FieldDescSize);
    if (number == 0) RaiseSqlError("Column " + index.Columns[i] + " not found");
    definition.FieldNumbers.push_back(uint16_t(number));
  }
  return definition;
}

void CreateTable(TDataQuery& query) {
  std::vector<uint8_t> descs(query.Parsed.CreateFields.size() * FieldDescSize, 0);
  for (size_t i = 0; i < query.Parsed.CreateFields.size(); ++i) {
    uint8_t* desc = descs.data() + i * FieldDescSize;
    PutLE16(desc + FieldDescNumberOffset, uint16_t(i + 1));
    FillFieldDesc(*query.Parsed.CreateFields[i], desc);
  }
  const int count = int(query.Parsed.CreateFields.size());
  TIndexDefinition primary;
  if (!query.Parsed.CreateIndexes.empty())
    primary = IndexDefinition(*query.Parsed.CreateIndexes.front(), descs.data(), count);
  TTableDefinition definition = query.Parsed.NewTableDefinition(descs);
  definition.SetIndexes({primary});
  TTargetDirectory target(query);
  target.Cursor(query)->Admin().CreateTable(definition, false);
}

void CreateIndex(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  std::vector<uint8_t> descs(size_t(cursor->Fields().GetFieldCount()) * FieldDescSize, 0);
  for (int i = 1; i <= cursor->Fields().GetFieldCount(); ++i)
    cursor->Fields().GetTableFieldDesc(i, descs.data() + size_t(i - 1) * FieldDescSize);
  cursor->Admin().AddIndex(
      IndexDefinition(*query.Parsed.CreateIndexes.front(), descs.data(), cursor->Fields().GetFieldCount()));
  cursor->Close(TTemporaryContents::Keep);
}

int FindByName(const std::vector<std::vector<uint8_t>>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameText(FieldNameOf(fields[i].data()), name)) return int(i);
  return -1;
}

void AlterTable(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  const int oldCount = cursor->Fields().GetFieldCount();
  std::vector<std::vector<uint8_t>> fields;
  uint16_t highest = 0;
  for (int i = 1; i <= oldCount; ++i) {
    std::vector<uint8_t> desc(FieldDescSize, 0);
    cursor->Fields().GetTableFieldDesc(i, desc.data());
    highest = std::max(highest, FieldDescNumber(desc.data()));
    fields.push_back(std::move(desc));
  }
  std::vector<TIndexDefinition> indexes;
  const int secondaries = cursor->Fields().GetSecondaryIndexCount();
  for (int n = 0; n <= secondaries; ++n)
    indexes.push_back(n > 0 || !cursor->Fields().PrimaryIsNatural() ? cursor->Fields().GetIndexDefinition(n)
                                                                    : TIndexDefinition{});
  TTableDefinition definition;
  definition.LanguageId = query.Parsed.HasLanguage ? query.Parsed.LanguageId : cursor->Admin().GetLanguageID();
  definition.SortId = query.Parsed.HasSort       ? query.Parsed.SortId
                      : query.Parsed.HasLanguage ? uint16_t(0)
                                                 : cursor->Admin().GetSortID();
  definition.Description =
      query.Parsed.HasDescription ? query.Parsed.Description : cursor->Admin().GetTableDescription();
  definition.BlobBlockSize =
      query.Parsed.HasBlobBlockSize ? query.Parsed.BlobBlockSize : cursor->Admin().GetBlobBlockSize();
  definition.UserMajorVersion =
      query.Parsed.HasMajorVersion ? query.Parsed.UserMajorVersion : cursor->Admin().GetUserMajorVersion();
  definition.UserMinorVersion =
      query.Parsed.HasMinorVersion ? query.Parsed.UserMinorVersion : cursor->Admin().GetUserMinorVersion();
  definition.Encrypted = query.Parsed.HasEncryption ? query.Parsed.Encrypted : cursor->Admin().IsTableEncrypted();
  definition.Password = query.Parsed.HasEncryption ? query.Parsed.Password : cursor->Admin().GetTablePassword();
  definition.LimitValue = query.Parsed.LastAutoInc;
  cursor->Close(TTemporaryContents::Keep);

  for (const auto& change : query.Parsed.CreateFields) {
    if (change->HasAt && (change->At < 1 || change->At > oldCount))
      RaiseSqlError("AT column position must be between 1 and " + std::to_string(oldCount));
    if (change->Drop) {
      const int at = FindByName(fields, change->OldName);
      if (at < 0) RaiseSqlError("Column " + change->OldName + " not found");
      fields.erase(fields.begin() + at);
      continue;
    }
    std::vector<uint8_t> desc(FieldDescSize, 0);
    int at = int(fields.size());
    if (change->Redefine) {
      at = FindByName(fields, change->OldName);
      if (at < 0) RaiseSqlError("Column " + change->OldName + " not found");
      desc = fields[size_t(at)];
      fields.erase(fields.begin() + at);
      if (change->HasType) {
        PutShortString(desc.data() + FieldDescNameOffset, change->Name.substr(0, FieldNameLimit), FieldNameLimit, false);
        desc[FieldDescTypeOffset] = change->DataType;
        desc[FieldDescSubtypeOffset] = change->SubType;
        desc[FieldDescDeclaredSizeOffset] =
            change->DataType == dtString ? uint8_t(std::clamp(change->Size, 0, 255)) : change->DataType == dtBlob ? 1 : 0;
        desc[FieldDescScaleOffset] = change->DataType == dtBcd ? change->Scale : 0;
      }
    } else {
      if (FindByName(fields, change->Name) >= 0) RaiseSqlError("Column " + change->Name + " already exists");
      PutLE16(desc.data() + FieldDescNumberOffset, ++highest);
      FillFieldDesc(*change, desc.data());
    }
    if (change->HasDescription)
      PutShortString(desc.data() + FieldDescDescriptionOffset, change->Description.substr(0, FieldTextLimit),
                     FieldTextLimit, false);
    if (change->HasRequired) desc[FieldDescRequiredOffset] = change->Required;
    if (change->HasCharCase) desc[FieldDescCaseOffset] = change->CharCase;
    if (change->HasMinimum)
      PutShortString(desc.data() + FieldDescMinOffset, change->Minimum.substr(0, FieldTextLimit), FieldTextLimit, false);
    if (change->HasMaximum)
      PutShortString(desc.data() + FieldDescMaxOffset, change->Maximum.substr(0, FieldTextLimit), FieldTextLimit, false);
    if (change->HasDefault)
      PutShortString(desc.data() + FieldDescDefaultOffset, change->Default.substr(0, FieldTextLimit), FieldTextLimit,
                     false);
    if (change->HasAt) at = std::min(change->At - 1, int(fields.size()));
    fields.insert(fields.begin() + at, std::move(desc));
  }
  std::vector<uint8_t> descs;
  for (const auto& desc : fields) descs.insert(descs.end(), desc.begin(), desc.end());

  for (const auto& change : query.Parsed.CreateIndexes) {
    const bool hasPrimary = !indexes.front().IsNatural();
    if (change->Drop) {
      indexes.front() = {};
      continue;
    }
    if (change->Add && hasPrimary) RaiseSqlError("Cannot REDEFINE the primary key using the ADD keyword");
    indexes.front() = IndexDefinition(*change, descs.data(), int(fields.size()));
  }
  definition.FieldDescs = descs.data();
  definition.FieldCount = int32_t(fields.size());
  definition.SetIndexes(indexes);
  cursor->Admin().RestructureTable(definition, query.Parsed.NoBackup);
}

void DropTable(TDataQuery& query) {
  TTargetDirectory target(query);
  target.Cursor(query)->Admin().DeleteTable();
}

void DropIndex(TDataQuery& query) {
  TTargetDirectory target(query);
  auto cursor = target.Cursor(query);
  cursor->Open();
  cursor->Admin().DeleteIndex(SameText(query.Parsed.IndexName, PrimaryName) ? std::string() : query.Parsed.IndexName);
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
