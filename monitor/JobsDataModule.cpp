#include "JobsDataModule.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>

#include "ProgramInfo.h"
#include "DBINIFiles.h"
#include "MDBSession.h"
#include "MDBSessionList.h"
#include "dbFieldClasses.h"
#include "MonitorCommon.h"
#include "osPath.h"
#include "osProgram.h"
#include "rtlDateTime.h"
#include "rtlFormat.h"
#include "MDBTb.h"
#include "Queue.h"
#include "engErrorCodes.h"
#include "rtlConvert.h"
#include "splConstants.h"
#include <filesystem>

namespace {

std::atomic<TDataModule1*> gDataModule{nullptr};

// Holds a critical section for a scope.
class THeld {
public:
  explicit THeld(TOsCriticalSection& criticalSection) : section(criticalSection) { section.Enter(); }
  ~THeld() { section.Leave(); }
  THeld(const THeld&) = delete;
  THeld& operator=(const THeld&) = delete;

private:
  TOsCriticalSection& section;
};

// ASCII letters only: other letters keep their case, as stored names always have.
std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

TDateTime DatePart(TDateTime value) { return std::trunc(value); }
TDateTime TimePart(TDateTime value) { return std::fabs(value - std::trunc(value)); }

template <class TFieldClass>
TFieldClass* AddField(TMDBTable& table, const std::string& name) {
  auto* field = new TFieldClass(&table);
  field->SetFieldName(name);
  field->SetDataSet(&table);
  return field;
}

}  // namespace

TDataModule1* DataModule1() { return gDataModule; }
void SetDataModule1(TDataModule1* dataModule) {
  gDataModule = dataModule;
  if (dataModule == nullptr) {
    SetJobWriter(nullptr);
    return;
  }
  SetJobWriter([dataModule](const QueueJob& job, const std::string& printerName) {
    return dataModule->WriteJobRecord(job, printerName);
  });
}

// ---- the module ----------------------------------------------------------------

TDataModule1::TDataModule1(const std::string& dataPath) : owner(std::make_unique<TComponent>(nullptr)) {
  table1 = new TMDBTable(owner.get());
  table1->SetDatabaseName(dataPath);
  table1->SetTableName(JobsTableName);
  table1->SetIndexName(JobsDefaultIndex);
  table1->OnCalcFields = [this](TDataSet* dataSet) { MDBTable1CalcFields(dataSet); };
  CreatePersistentFields();
  users = new TMDBQuery(owner.get());
  users->SetDatabaseName(dataPath);
  users->SQL().SetText("select distinct jobowner from jobs");
  printers = new TMDBQuery(owner.get());
  printers->SetDatabaseName(dataPath);
  printers->SQL().SetText("select distinct printername from jobs");
  dataSource1 = new TDataSource(owner.get());
  dataSource1->SetDataSet(table1);
  dsUsersSource = new TDataSource(owner.get());
  dsUsersSource->SetDataSet(users);
  dsPrintersSource = new TDataSource(owner.get());
  dsPrintersSource->SetDataSet(printers);
  OpenAtStart();
}

TDataModule1::~TDataModule1() {
  THeld held(lock);
  table1->Close();
  users->Close();
  printers->Close();
}

void TDataModule1::CreatePersistentFields() {
  TMDBTable& t = *table1;
  Table1JobDate = AddField<TDateField>(t, "JobDate");
  Table1JobDate->SetRequired(true);
  Table1JobDate->SetDisplayFormat("mmm dd, yyyy");
  Table1JobTime = AddField<TTimeField>(t, "JobTime");
  Table1JobTime->SetRequired(true);
  Table1JobTime->SetDisplayFormat("hh:nn");
  Table1JobID = AddField<TIntegerField>(t, "JobID");
  Table1JobID->SetRequired(true);
  Table1MachineName = AddField<TStringField>(t, "MachineName");
  Table1MachineName->SetSize(40);
  Table1PrinterName = AddField<TStringField>(t, "PrinterName");
  Table1PrinterName->SetSize(250);
  Table1JobOwner = AddField<TStringField>(t, "JobOwner");
  Table1JobOwner->SetSize(40);
  Table1PagesPrinted = AddField<TIntegerField>(t, "PagesPrinted");
  Table1PagesPrinted->SetDisplayFormat("###,###,###");
  Table1TotalPages = AddField<TIntegerField>(t, "TotalPages");
  Table1TotalPages->SetDisplayFormat("###,###,###");
  Table1BytesPrinted = AddField<TIntegerField>(t, "BytesPrinted");
  Table1JobSize = AddField<TIntegerField>(t, "JobSize");
  Table1Document = AddField<TMemoField>(t, "Document");
  Table1Doc = AddField<TStringField>(t, "Doc");
  Table1Doc->SetSize(240);
  Table1Doc->SetCalculated(true);
  Table1JobStatus = AddField<TIntegerField>(t, "JobStatus");
  Table1strStatus = AddField<TStringField>(t, "strStatus");
  Table1strStatus->SetSize(250);
  Table1strStatus->SetCalculated(true);
  Table1JobPrinted = AddField<TBooleanField>(t, "JobPrinted");
}

void TDataModule1::MDBTable1CalcFields(TDataSet*) {
  Table1Doc->SetAsString(Table1Document->AsString().substr(0, 240));
  Table1strStatus->SetAsString(JobStatusText(static_cast<uint32_t>(Table1JobStatus->AsInteger()), false));
}

namespace {

// Another program holds the table: a second copy on a shared folder, a
// report reading it, a restarted copy's predecessor not quite gone.
bool HeldElsewhere(const EMDBEngineError& e) {
  if (e.ErrorCount() == 0) return false;
  const int32_t code = e.Errors(0).ErrorCode();
  return code == EngErrAccessDenied || code == EngErrLockFailure;
}

}  // namespace

void TDataModule1::OpenAtStart() {
  // Exclusive first, then shared. Neither refusal may end the start: the
  // exclusive open only finds out that nobody else has the table open, and
  // while another program holds it exclusively the data thread keeps the
  // jobs and each flush opens the table again.
  try {
    ReopenJobsTable(true);
  } catch (const EMDBEngineError& e) {
    if (!HeldElsewhere(e)) throw;
  }

  try {
    ReopenJobsTable(false);
  } catch (const EMDBEngineError& e) {
    if (!HeldElsewhere(e)) throw;
    openRefusal = e.Message;
  }
}

void TDataModule1::ReopenJobsTable(bool exclusive) {
  THeld held(lock);
  table1->Close();
  table1->SetExclusive(exclusive);
  table1->Open();
}

void TDataModule1::EmptyJobsTable() {
  THeld held(lock);
  table1->Close();
  try {
    table1->EmptyTable();
  } catch (...) {
    // Refused (another program has the table open): the rows stay, and so
    // must the program's view of them.
    table1->Open();
    throw;
  }
  table1->Open();
}

namespace {

// The fields of the unique index that tells one job from another: a job id
// that the server used again later has another submission time.
constexpr const char* JobKeyFields = "PrinterName;JobDate;JobTime;JobID;JobOwner";

bool JobEnded(uint32_t status) { return (status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED)) != 0; }

}  // namespace

TJobWriteResult TDataModule1::WriteJobRecord(const QueueJob& job, const std::string& printerName) {
  THeld held(lock);
  if (!table1->Active()) {
    // Held by another program when the module opened it.
    try {
      table1->Open();
      openRefusal.clear();
    } catch (const EMDBEngineError& e) {
      if (HeldElsewhere(e)) throw EJobsTableBusy(e.Message);
      throw;
    }
  }
  table1->DisableControls();
  const std::string indexName = table1->IndexName();
  TJobWriteResult result = TJobWriteResult::Written;
  // The last values of a job: a row written earlier takes them when it
  // was written before the job ended.
  const auto setEnd = [&] {
    Table1PagesPrinted->SetAsInteger(static_cast<int32_t>(job.PagesPrinted));
    Table1TotalPages->SetAsInteger(static_cast<int32_t>(job.TotalPages));
    Table1BytesPrinted->SetAsInteger(static_cast<int32_t>(job.BytesPrinted));
    Table1JobSize->SetAsInteger(static_cast<int32_t>(job.Size));
    Table1JobStatus->SetAsInteger(static_cast<int32_t>(job.Status));
    Table1JobPrinted->SetAsBoolean((job.Status & JOB_STATUS_PRINTED) != 0);
  };
  try {
    const Variant key = VarArrayOf({Variant(printerName), Variant::FromDate(DatePart(job.Submitted)),
                                    Variant::FromDate(TimePart(job.Submitted)),
                                    Variant(static_cast<int32_t>(job.JobId)), Variant(UpperAscii(job.UserName))});
    // As the index compares (without regard to case), so that the index
    // serves the search; the new row's append moves the cursor as much.
    TLocateOptions byKey;
    byKey.Include(loCaseInsensitive);
    if (table1->Locate(JobKeyFields, key, byKey)) {
      result = TJobWriteResult::AlreadyRecorded;
      if (!JobEnded(static_cast<uint32_t>(Table1JobStatus->AsInteger())) && JobEnded(job.Status)) {
        table1->Edit();
        try {
          setEnd();
          table1->Post();
        } catch (...) {
          table1->Cancel();
          throw;
        }
        result = TJobWriteResult::Completed;
      }
    } else {
      // Appended in natural order; the windows' order comes back below.
      table1->SetIndexName("");
      table1->Append();
      try {
        Table1JobDate->SetAsDateTime(DatePart(job.Submitted));
        Table1JobTime->SetAsDateTime(TimePart(job.Submitted));
        Table1JobID->SetAsInteger(static_cast<int32_t>(job.JobId));
        Table1MachineName->SetAsString(job.MachineName);
        Table1PrinterName->SetAsString(printerName);
        Table1JobOwner->SetAsString(UpperAscii(job.UserName));
        Table1Document->SetAsString(job.Document);
        setEnd();
        table1->Post();
      } catch (...) {
        // The row is not kept; the caller learns why and keeps the job.
        table1->Cancel();
        throw;
      }
    }
  } catch (const EMDBEngineError& e) {
    table1->SetIndexName(indexName);
    table1->EnableControls();
    // The unique indexes hold this job's row: an earlier shutdown wrote it.
    if (e.ErrorCount() > 0 && e.Errors(0).ErrorCode() == EngErrDuplicateKey) return TJobWriteResult::AlreadyRecorded;
    if (e.ErrorCount() > 0 && e.Errors(0).ErrorCode() == EngErrLockFailure) throw EJobsTableBusy(e.Message);
    throw;
  } catch (...) {
    table1->SetIndexName(indexName);
    table1->EnableControls();
    throw;
  }
  table1->SetIndexName(indexName);
  table1->EnableControls();
  return result;
}

void TDataModule1::GetIndexNames(std::vector<std::string>& list) {
  table1->IndexDefs().Update();
  for (int i = 0; i < table1->IndexDefs().Count(); ++i) {
    const TIndexDef* index = table1->IndexDefs()[i];
    if (!index->Options().Contains(ixPrimary)) list.push_back(index->Name());
  }
}

// ---- start-up ----------------------------------------------------------------------

namespace {

// Against the restructure lists, which carry what the table's descriptors
// hold (the required flags too, which the dataset's definitions leave out).
bool SameFieldDefs(TFieldDefs& wanted, const TRestructureFieldDefs& current) {
  if (wanted.Count() != current.Count()) return false;
  for (int i = 0; i < wanted.Count(); ++i) {
    const TFieldDef& a = *wanted[i];
    const TRestructureFieldDef& b = *current.Items(i);
    // The engine fills an auto-increment field itself and keeps no required
    // flag for it.
    const bool requiredDiffers = a.DataType() != ftAutoInc && a.Required() != b.Required();
    if (a.Name() != b.Name() || a.DataType() != b.DataType() || a.Size() != b.Size() || requiredDiffers) {
      return false;
    }
  }
  return true;
}

bool SameIndexDefs(TIndexDefs& wanted, const TRestructureIndexDefs& current) {
  if (wanted.Count() != current.Count()) return false;
  for (int i = 0; i < wanted.Count(); ++i) {
    const TIndexDef& a = *wanted[i];
    const TRestructureIndexDef& b = *current.Items(i);
    if (a.Name() != b.Name() || a.Fields() != b.Fields() || a.Options() != b.Options()) {
      return false;
    }
  }
  return true;
}

const char* LossCauseName(TDataLossCause cause) {
  switch (cause) {
    case dlcInsertFailed: return "rows not copied";
    case dlcDuplicateKey: return "duplicate keys";
    case dlcConstraint: return "values against a constraint";
    case dlcFieldDropped: return "fields dropped";
    case dlcValueNotConverted: return "values that no longer fit";
  }
  return "other";
}

// Counts what a restructure could not carry over, letting it go on, so
// that the losses are reported rather than silently accepted.
class TLossCounter {
public:
  explicit TLossCounter(TMDBTable& restructured) : table(restructured) {
    table.OnDataLost = [this](TObject*, TDataLossCause cause, const std::string&, bool& continueRestructure,
                              bool& stopAsking) {
      ++counts[cause];
      continueRestructure = true;
      stopAsking = false;
    };
  }
  ~TLossCounter() { table.OnDataLost = nullptr; }
  TLossCounter(const TLossCounter&) = delete;
  TLossCounter& operator=(const TLossCounter&) = delete;

  // Empty when nothing was lost.
  std::string Report() const {
    int total = 0;
    std::string causes;
    for (const auto& [cause, count] : counts) {
      total += count;
      causes += (causes.empty() ? "" : ", ") + std::to_string(count) + " " + LossCauseName(cause);
    }
    return total == 0 ? std::string() : Format(SRestructureLosses, {total, causes});
  }

private:
  TMDBTable& table;
  std::map<TDataLossCause, int> counts;
};

void RestructureJobsTable(TMDBTable& definition, bool encrypted, const std::string& password,
                          const std::string& description, const TDatabaseCheckOptions& options) {
  TMDBTable current(nullptr);
  current.SetDatabaseName(definition.DatabaseName());
  current.SetTableName(definition.TableName());
  TRestructureFieldDefs& fields = current.RestructureFieldDefs();
  TRestructureIndexDefs& indexes = current.RestructureIndexDefs();
  fields.Update();
  indexes.Update();
  const uint32_t blobBlockSize = current.GetBlobBlockSize();
  // The definition is never opened under the table's own name.
  definition.SetTableName("temp.dat");
  if (SameFieldDefs(definition.FieldDefs(), fields) && SameIndexDefs(definition.IndexDefs(), indexes)) {
    return;
  }
  for (int i = indexes.Count() - 1; i >= 0; --i) {
    if (definition.IndexDefs().IndexOf(indexes.Items(i)->Name()) < 0) indexes.Delete(i);
  }
  for (int i = fields.Count() - 1; i >= 0; --i) {
    if (definition.FieldDefs().IndexOf(fields.Items(i)->Name()) < 0) fields.Delete(i);
  }
  for (int i = 0; i < definition.FieldDefs().Count(); ++i) {
    const TFieldDef& wanted = *definition.FieldDefs()[i];
    if (const int at = fields.IndexOf(wanted.Name()); at >= 0) {
      const TRestructureFieldDef& have = *fields.Items(at);
      if (have.Size() != wanted.Size()) {
        // A new size is a new definition carrying the old field's values;
        // kept as it was, the table would be restructured at every start.
        const std::string name = have.Name(), fieldDescription = have.Description(), maxValue = have.MaxValue(),
                          minValue = have.MinValue(), defaultValue = have.DefaultValue();
        const int32_t fieldNo = have.FieldNo();
        const uint8_t charCase = have.CharCase();
        fields.Delete(at);
        fields.Add(at, name, fieldNo, charCase, fieldDescription, maxValue, minValue, defaultValue, wanted.Required(),
                   static_cast<uint16_t>(wanted.Size()), wanted.DataType());
      } else {
        fields.Items(at)->SetDataType(wanted.DataType());
        fields.Items(at)->SetRequired(wanted.Required());
      }
    } else {
      fields.Add(std::min(i, fields.Count()), wanted.Name(), 0, 0, "", "", "", "", wanted.Required(),
                 static_cast<uint16_t>(wanted.Size()), wanted.DataType());
    }
  }
  for (int i = 0; i < definition.IndexDefs().Count(); ++i) {
    const TIndexDef& wanted = *definition.IndexDefs()[i];
    if (const int at = indexes.IndexOf(wanted.Name()); at >= 0) {
      indexes.Items(at)->SetFields(wanted.Fields());
      indexes.Items(at)->SetOptions(wanted.Options());
    } else {
      indexes.Add(wanted.Name(), wanted.Fields(), 0, wanted.Options());
    }
  }
  current.Close();
  TMDBRestructureOptions restructure;
  restructure.Description = description;
  restructure.Password = password;
  restructure.Encrypted = encrypted;
  restructure.BlobBlockSize = static_cast<uint16_t>(blobBlockSize);
  std::string losses;
  {
    TLossCounter counter(current);
    current.RestructureTable(restructure);
    losses = counter.Report();
  }
  if (options.OnRestructured) options.OnRestructured(SDatabaseRestructured);
  if (!losses.empty() && options.OnDataLost) options.OnDataLost(losses);
}

void CreateJobsTable(TMDBTable& definition, TDBIniFile& reader, const std::string& section, bool encrypted,
                     const std::string& password, const std::string& description) {
  definition.CreateTable();
  definition.Close();
  TRestructureFieldDefs& fields = definition.RestructureFieldDefs();
  TRestructureIndexDefs& indexes = definition.RestructureIndexDefs();
  fields.Update();
  indexes.Update();
  for (int i = 0; i < indexes.Count(); ++i) {
    std::string line;
    reader.GetIndexValue(section, indexes.Items(i)->Name(), line);
    indexes.Items(i)->SetCompression(static_cast<uint8_t>(StrToIntDef(GetCSVField(line, 7), 0)));
  }
  TMDBRestructureOptions restructure;
  restructure.Description = description;
  restructure.Password = password;
  restructure.Encrypted = encrypted;
  restructure.BlobBlockSize = static_cast<uint16_t>(reader.ReadInteger(section, "BLOB_SIZE", 512));
  definition.RestructureTable(restructure);
}

}  // namespace

bool OpenOrCreateDatabase(const TDatabaseCheckOptions& options) {
  TMDBSession& session = DefaultSession();
  // The engine leaves no lock files behind, so there are none to remove.
  if (!options.PrivateDir.empty()) session.SetPrivateDir(options.PrivateDir);
  session.Open();
  if (!DataPassword.empty()) session.AddPassword(DataPassword);

  TDBIniFile reader(JobsDefinitionResource);
  const std::string section = DefinitionSection(JobsDefinitionName);
  std::unique_ptr<TMDBTable> definition = reader.ReadMDBTable(options.DataPath, JobsDefinitionName);
  if (definition->FieldDefs().Count() == 0) throw Exception(Format(SNoTableDefinition, {std::string(JobsDefinitionResource)}));
  const bool encrypted = reader.ReadBool(section, "ENCRYPTED", false);
  std::string password = reader.ReadString(section, "PASSWORD", "");
  const std::string description = reader.ReadString(section, "DESCRIPTION", "");
  if (!encrypted) password.clear();
  if (password != DataPassword) {
    if (!DataPassword.empty()) session.RemovePassword(DataPassword);
    DataPassword = password;
    if (!password.empty()) session.AddPassword(password);
  }
  // A missing folder holds no table; it is made only once creating is agreed.
  if (std::filesystem::is_directory(options.DataPath) && definition->Exists()) {
    RestructureJobsTable(*definition, encrypted, password, description, options);
    return true;
  }
  if (options.Confirm && !options.Confirm(SDatabaseNotFound, SPleaseConfirm)) return false;
  ForceFolders(options.DataPath, 0777);
  // The files take the program's spelling of the name, whatever the text's.
  definition->SetTableName(JobsTableName);
  CreateJobsTable(*definition, reader, section, encrypted, password, description);
  return true;
}
