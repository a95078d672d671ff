// Restructuring by copying every record into a new table in the work
// directory, which then takes the old table's place.

#include <cstring>
#include <memory>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursorWrite.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDirectory.h"
#include "engErrors.h"
#include "engExpEvalConvert.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engPaths.h"
#include "engRecordBuffer.h"
#include "engRestructure.h"
#include "engRestructureFiles.h"
#include "engSession.h"
#include "engTable.h"

namespace {

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

}  // namespace

void TRestructure::CopyTable(TTableFileOps& fileOps) {
  const bool inMemory = cursor.inMemory;
  TCopySetting setting(cursor.directory->Session(), inMemory, definition);
  std::unique_ptr<TDataCursor> work(new TDataCursor(setting.Directory()));
  work->SetTableName(setting.Directory()->GetTempTableName(inMemory));
  work->SetExclusive(true);
  work->SetInMemory(inMemory);
  work->CreateTable(definition, false);
  try {
    work->Open();
    work->noAutoInc = true;
    CopyRecords(*work);
    work->RenumberFields();
    StoreTableInfo(*work);
    work->Close(true);
    if (carryOn) {
      cursor.Close(true);
      ExchangeTableFiles(TablePath(*cursor.directory, cursor.tableName, inMemory),
                         TablePath(*setting.Directory(), work->tableName, inMemory), inMemory,
                         deleteBackup || inMemory, fileOps);
    }
  } catch (...) {
    ReleaseQuietly([&] { work->Close(true); });
    ReleaseQuietly([&] { work->DeleteTable(); });
    throw;
  }
  if (!carryOn) work->DeleteTable();
}

void TRestructure::CopyRecords(TDataCursor& work) {
  TDataFile& data = cursor.DataFile();
  const uint32_t total = data.PhysicalRecordCount();
  std::vector<uint8_t> newRecord(work.CursorRecordSize());
  for (uint32_t r = 1; r <= total && carryOn; ++r) {
    {
      TRestructureRecord old(data, r);
      if (!old->IsDeleted()) {
        work.ApplyDefaults(newRecord.data());
        bool autoIncGiven = false;
        CopyFields(work, old->Buffer(), newRecord.data(), autoIncGiven);
        if (carryOn) {
          if (!autoIncGiven) SetRecordAutoInc(newRecord.data(), GetRecordAutoInc(old->Buffer()));
          InsertCopy(work, newRecord.data());
        }
      }
    }
    ReportProgress(r, total);
  }
}

void TRestructure::CopyFields(TDataCursor& work, const uint8_t* oldRecord, uint8_t* newRecord, bool& autoIncGiven) {
  TDataFile& data = cursor.DataFile();
  uint8_t oldDesc[FieldDescSize];
  uint8_t newDesc[FieldDescSize];
  for (int position = 1; position <= data.FieldCount() && carryOn; ++position) {
    data.GetFieldDesc(position, oldDesc);
    if (!work.DataFile().FindFieldDescByNo(FieldDescNumber(oldDesc), newDesc)) {
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
      // BLOB chains cannot be carried into another table yet: refused
      // before anything changes rather than lost.
      RaiseEngineError(BlbErrInvalidField, cursor.tableName, FieldNameOf(oldDesc));
    }
    uint8_t value[256] = {};
    if (!ConvertFieldValue(oldType, FieldValueWidth(oldDesc), FieldValueBytes(oldDesc, oldRecord), newType,
                           FieldValueWidth(newDesc), newDesc[FieldDescScaleOffset], value, settings,
                           definition.LanguageId)) {
      ReportLoss(rlValueNotConverted, FieldNameOf(oldDesc));
      continue;
    }
    work.PutFieldValue(newDesc, newRecord, true, value);
    if (newDesc[FieldDescSubtypeOffset] == AutoIncSubtype) autoIncGiven = true;
  }
}

void TRestructure::InsertCopy(TDataCursor& work, uint8_t* newRecord) {
  try {
    work.InsertRecord(newRecord, false);
  } catch (const Exception&) {
    const uint16_t code = GetErrorCode();
    if (code == CurErrDuplicateKey)
      ReportLoss(rlDuplicateKey, GetErrorContextName(ecIndexName));
    else if (code == CurErrBelowMinimum || code == CurErrAboveMaximum || code == CurErrValueRequired)
      ReportLoss(rlConstraint, GetErrorContextName(ecFieldName));
    else
      ReportLoss(rlInsertFailed, {});
  }
}
