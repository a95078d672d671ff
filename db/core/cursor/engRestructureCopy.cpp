// Restructuring by copying every record into a new table in the work
// directory, which then takes the old table's place.

#include <cstring>
#include <memory>
#include <vector>

#include "engCursorWrite.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpEvalConvert.h"
#include "engKeyCompare.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engPaths.h"
#include "engRecordBuffer.h"
#include "engRestructure.h"
#include "engRestructureFiles.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"

namespace {

// The widest value of a field: a string of 255 bytes and its zero.
constexpr int32_t MaxValueBytes = 256;

// The work directory and the password of the new table, held while the
// copy needs them.
class TCopySetting {
public:
  TCopySetting(TDataSession* session, bool inMemory, const TTableDefinition& definition) : session(session) {
    directory = inMemory ? session->OpenDirectory("MEMORY", {}) : session->OpenDirectory({}, session->GetPrivateDirectory());
    if (definition.Encrypted && !session->PasswordExists(definition.Password)) {
      session->AddPassword(definition.Password);
      addedPassword = definition.Password;
    }
  }
  ~TCopySetting() {
    if (!addedPassword.empty()) session->RemovePassword(addedPassword);
    session->CloseDirectory(directory);
  }
  TCopySetting(const TCopySetting&) = delete;
  TCopySetting& operator=(const TCopySetting&) = delete;
  TDataDirectory* Directory() const { return directory; }

private:
  TDataSession* session;
  TDataDirectory* directory;
  std::string addedPassword;
};

std::string TablePath(const TDataDirectory& directory, const std::string& tableName, bool inMemory) {
  return HasPathChars(tableName) || inMemory ? tableName : directory.LocalPath() + tableName;
}

std::string FieldNameOf(const uint8_t* fieldDesc) {
  return GetShortString(fieldDesc + FieldDescNameOffset, FieldNameLimit);
}

// The new definition's position of the field of that stored number, 0
// when it has none.
int NewPosition(const TTableDefinition& definition, uint16_t number) {
  for (size_t i = 0; i < definition.Fields.size(); ++i)
    if (definition.Fields[i].Number == number) return int(i + 1);
  return 0;
}

// The work table is created with its fields numbered by position (as a
// table file must hold them) and its index keys following them.
struct TWorkDefinition {
  TTableDefinition Definition;

  explicit TWorkDefinition(const TTableDefinition& source) : Definition(source) {
    for (int32_t n = 0; n < Definition.IndexDescs.Count(); ++n) {
      uint8_t* desc = Definition.IndexDescs.At(n);
      for (int i = 0; i < desc[IdxDescFieldCount] && i < MaxKeyFields; ++i) {
        uint8_t* number = desc + IdxDescFieldNumbers + 2 * i;
        PutLE16(number, uint16_t(NewPosition(source, GetLE16(number))));
      }
    }
    for (size_t i = 0; i < Definition.Fields.size(); ++i) Definition.Fields[i].Number = uint16_t(i + 1);
  }
};

}  // namespace

void TRestructure::CopyTable(TTableFileOps& fileOps) {
  const bool inMemory = cursor.inMemory;
  TCopySetting setting(cursor.directory->Session(), inMemory, definition);
  std::unique_ptr<TDataCursor> work(new TDataCursor(setting.Directory()));
  work->SetOpenOptions(
      {.TableName = setting.Directory()->GetTempTableName(inMemory), .Exclusive = true, .InMemory = inMemory});
  TWorkDefinition workDefinition(definition);
  work->CreateTable(workDefinition.Definition, true);  // over the name just claimed
  const std::string workPath = TablePath(*setting.Directory(), work->tableName, inMemory);
  TScopeGuard discardWork([&] {
    ReleaseQuietly([&] { work->Close(TTemporaryContents::Discard); });
    DeleteTableFiles(workPath, inMemory, fileOps);
  });
  work->Open();
  work->noAutoInc = true;
  CopyRecords(*work);
  StoreTableInfo(*work);
  work->Close(TTemporaryContents::Discard);
  if (carryOn) {
    cursor.Close(TTemporaryContents::Discard);
    ExchangeTableFiles(TablePath(*cursor.directory, cursor.tableName, inMemory), workPath, inMemory,
                       deleteBackup || inMemory ? TBackupFiles::Delete : TBackupFiles::Keep, fileOps);
  }
  discardWork.Dismiss();
  if (!carryOn) DeleteTableFiles(workPath, inMemory, fileOps);
}

void TRestructure::CopyRecords(TDataCursor& work) {
  TDataFile& data = cursor.DataFile();
  const uint32_t total = data.PhysicalRecordCount();
  std::vector<uint8_t> newRecord(work.CursorRecordSize());
  for (uint32_t r = 1; r <= total && carryOn; ++r) {
    {
      THeldRecord old(data);
      old.Read(r, TRecordRead::WithFollowing);
      if (!old->IsDeleted()) {
        work.Checks().ApplyDefaults(newRecord.data());
        bool autoIncGiven = false;
        CopyFields(work, r, old->Buffer(), newRecord.data(), autoIncGiven);
        if (carryOn) {
          if (!autoIncGiven) SetRecordAutoInc(newRecord.data(), GetRecordAutoInc(old->Buffer()));
          InsertCopy(work, newRecord.data());
        }
        FreeCarriedBlobs(work);
      }
    }
    ReportProgress(r, total);
  }
}

void TRestructure::CopyFields(TDataCursor& work, uint32_t oldRecordNo, const uint8_t* oldRecord, uint8_t* newRecord, bool& autoIncGiven) {
  TDataFile& data = cursor.DataFile();
  uint8_t oldDesc[FieldDescSize];
  uint8_t newDesc[FieldDescSize];
  for (int position = 1; position <= data.FieldCount() && carryOn; ++position) {
    data.GetFieldDesc(position, oldDesc);
    const int newPosition = NewPosition(definition, FieldDescNumber(oldDesc));
    if (newPosition == 0 || !work.DataFile().GetFieldDesc(newPosition, newDesc)) {
      ReportLoss(rlFieldDropped, FieldNameOf(oldDesc));
      continue;
    }
    if (!FieldHasValue(oldDesc, oldRecord)) continue;
    const uint8_t oldType = oldDesc[FieldDescTypeOffset];
    const uint8_t newType = newDesc[FieldDescTypeOffset];
    if (oldType == BlobFieldType || newType == BlobFieldType) {
      if (oldType != newType) {
        ReportLoss(rlValueNotConverted, FieldNameOf(oldDesc));
        continue;
      }
      CarryBlob(work, oldRecordNo, oldDesc, oldRecord, newDesc, newRecord);
      continue;
    }
    uint8_t value[MaxValueBytes] = {};
    if (!ConvertValue(oldDesc, FieldValueBytes(oldDesc, oldRecord), newDesc, value)) {
      ReportLoss(rlValueNotConverted, FieldNameOf(oldDesc));
      continue;
    }
    work.PutFieldValue(newDesc, newRecord, true, value);
    if (newDesc[FieldDescSubtypeOffset] == stAutoInc) autoIncGiven = true;
  }
}

// The conversion shortens texts to the new size; a text that would lose
// characters does not fit.
bool TRestructure::ConvertValue(const uint8_t* oldDesc, const uint8_t* oldValue, const uint8_t* newDesc,
                                uint8_t* value) {
  auto convert = [&](std::span<uint8_t> target) {
    return ConvertFieldValue(oldDesc[FieldDescTypeOffset], {oldValue, size_t(FieldValueWidth(oldDesc))},
                             newDesc[FieldDescTypeOffset], target, newDesc[FieldDescScaleOffset], settings,
                             definition.LanguageId);
  };
  if (!convert({value, size_t(FieldValueWidth(newDesc))})) return false;
  if (newDesc[FieldDescTypeOffset] != StringFieldType) return true;
  uint8_t whole[MaxValueBytes] = {};
  return convert(whole) && std::strcmp(reinterpret_cast<char*>(whole), reinterpret_cast<char*>(value)) == 0;
}

void TRestructure::InsertCopy(TDataCursor& work, uint8_t* newRecord) {
  try {
    work.InsertRecord(newRecord);
    // The inserted record owns its chains now.
    carriedBlobs.clear();
  } catch (const Exception&) {
    const uint16_t code = GetErrorCode();
    if (code == EngErrDuplicateKey)
      ReportLoss(rlDuplicateKey, GetErrorContextName(ecIndexName));
    else if (code == EngErrBelowMinimum || code == EngErrAboveMaximum || code == EngErrValueRequired)
      ReportLoss(rlConstraint, GetErrorContextName(ecFieldName));
    else
      ReportLoss(rlInsertFailed, {});
  }
}
