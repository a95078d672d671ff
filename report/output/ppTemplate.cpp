#include "ppTemplate.h"

#include <cstring>
#include <unistd.h>

#include "osPath.h"
#include "osThreadContext.h"
#include "ppDataPipeline.h"
#include "ppForms.h"
#include "ppMessages.h"
#include "ppReport.h"
#include "rtlObjectText.h"
#include "rtlAssert.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlStrUtils.h"
#include "rtlWriter.h"

namespace {
constexpr int ppmsgRecordNotFound = 45;
constexpr int ppmsgFileNotFound = 46;
constexpr int ppmsgInvalidTemplate = 49;
constexpr int ppmsgIgnoreError = 50;
constexpr int ppmsgFileReadOnly = 51;
constexpr int ppmsgCannotStoreTemplate = 53;
constexpr char TextSignature[] = "object";
constexpr char BinarySignature[] = "TPF0";

// What the user answered to the read errors of one load.
struct TReadErrorAnswers {
  bool IgnoreAll = false;
};

// Reads the binary layout into the report: its properties, then its bands,
// groups and components. Events name methods of root, else of the report.
void ReadLayout(TMemoryStream& binary, TppCustomReport& report, TComponent* root, TReadErrorAnswers& answers) {
  binary.SetPosition(0);
  TReader reader(binary);
  reader.OnFindMethod = [root](TReader&, const std::string& name, TMethod& method, bool& error) {
    const TMethodInfo* info = root ? root->ClassType().FindMethod(name) : nullptr;
    if (!info) return;
    method = TMethod{root, info};
    error = false;
  };
  reader.OnError = [&answers](TReader&, const std::string& message, bool& handled) {
    if (answers.IgnoreAll) {
      handled = true;
      return;
    }
    TppDialogRequest request;
    request.Kind = dkTemplateError;
    request.Message = message + "\n" + ppLoadMessage(ppmsgIgnoreError);
    switch (ppRunDialog(request)) {
      case drCancel: handled = false; break;
      case drIgnoreAll:
        answers.IgnoreAll = true;
        handled = true;
        break;
      default: handled = true; break;
    }
  };
  // The report takes the layout's name unless another component of its
  // owner has it: then a name of its own.
  reader.OnSetName = [&report](TReader&, TComponent* component, std::string& name) {
    if (component != &report || !report.Owner()) return;
    const TComponent* other = report.Owner()->FindComponent(name);
    if (other && other != component) name = report.MakeUniqueName(component);
  };
  reader.ReadRootComponent(&report);
}
// The stream's top-level object is a report (of a registered class): a
// stream of anything else is no layout.
bool HoldsReport(TMemoryStream& binary) {
  binary.SetPosition(0);
  try {
    TReader reader(binary);
    reader.ReadSignature();
    TFilerFlags flags;
    int childPos = 0;
    reader.ReadPrefix(flags, childPos);
    const TClassInfo* info = GetClass(reader.ReadStr());
    return info && info->InheritsFrom(TppCustomReport::StaticClassType());
  } catch (const Exception&) {
    return false;
  }
}
// Counts a template's reading or writing while it runs.
class TOperationGuard {
public:
  explicit TOperationGuard(int& count) : count(count) {
    ORV_ASSERT(IsMainThread());  // the count is the main thread's, as all of generation
    ++count;
  }
  ~TOperationGuard() { --count; }
  TOperationGuard(const TOperationGuard&) = delete;
  TOperationGuard& operator=(const TOperationGuard&) = delete;

private:
  int& count;
};
}  // namespace

const TClassInfo& TppTemplateDBSettings::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppTemplateDBSettings>("TppTemplateDBSettings")
          .Property("DataPipelineName", &TppTemplateDBSettings::DataPipelineName,
                    &TppTemplateDBSettings::SetDataPipelineName)
          .Property("Name", &TppTemplateDBSettings::Name, &TppTemplateDBSettings::SetName)
          .Property("NameField", &TppTemplateDBSettings::NameField, &TppTemplateDBSettings::SetNameField)
          .Property("TemplateField", &TppTemplateDBSettings::TemplateField, &TppTemplateDBSettings::SetTemplateField)
          .Build();
  return info;
}

TppTemplateDBSettings::~TppTemplateDBSettings() { SetDataPipeline(nullptr); }

void TppTemplateDBSettings::SetDataPipeline(TppDataPipeline* value) {
  if (value == dataPipeline) return;
  if (dataPipeline && holder) dataPipeline->RemoveFreeNotification(holder);
  dataPipeline = value;
  if (dataPipeline && holder) dataPipeline->FreeNotification(holder);
  dataPipelineName = dataPipeline ? dataPipeline->GetUserName() : std::string();
}

std::string TppTemplateDBSettings::DataPipelineName() const {
  return dataPipeline ? dataPipeline->GetUserName() : dataPipelineName;
}

void TppTemplateDBSettings::SetDataPipelineName(const std::string& value) {
  if (dataPipeline && SameText(dataPipeline->GetUserName(), value)) return;
  SetDataPipeline(nullptr);
  dataPipelineName = value;
}

void TppTemplateDBSettings::FixUpDataPipeline(TppDataPipeline* pipeline) {
  if (pipeline && !dataPipeline && !dataPipelineName.empty() && SameText(pipeline->GetUserName(), dataPipelineName))
    SetDataPipeline(pipeline);
}

void TppTemplateDBSettings::Forget(const TComponent* component) {
  // The pipeline is being freed: its name stays for a pipeline of that name.
  if (component != dataPipeline) return;
  dataPipeline = nullptr;
}

void TppTemplateDBSettings::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TppTemplateDBSettings*>(source);
  if (!other) {
    inherited::Assign(source);
    return;
  }
  SetDataPipeline(other->dataPipeline);
  dataPipelineName = other->dataPipelineName;
  name = other->name;
  nameField = other->nameField;
  templateField = other->templateField;
}

const TClassInfo& TppCustomTemplate::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomTemplate>("TppCustomTemplate")
          .Property("DatabaseSettings", &TppCustomTemplate::DatabaseSettingsObject,
                    &TppCustomTemplate::SetDatabaseSettings)
          .Property("FileName", &TppCustomTemplate::FileName, &TppCustomTemplate::SetFileName)
          .Property("Format", &TppCustomTemplate::Format, &TppCustomTemplate::SetFormat)
          .Default(ftBinary)
          .Property("Offset", &TppCustomTemplate::Offset, &TppCustomTemplate::SetOffset)
          .Default(0)
          .Property("SaveTo", &TppCustomTemplate::SaveTo, &TppCustomTemplate::SetSaveTo)
          .Default(stFile)
          .Build();
  return info;
}

void TppCustomTemplate::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TppCustomTemplate*>(source);
  if (!other) {
    inherited::Assign(source);
    return;
  }
  databaseSettings.Assign(&other->databaseSettings);
  fileName = other->fileName;
  offset = other->offset;
  format = other->format;
  saveTo = other->saveTo;
}

RTL_DEFINE_CLASS(TppTemplate)

bool TppTemplate::ReadOnly() const { return OsPath::FileExists(fileName) && access(fileName.c_str(), W_OK) != 0; }

RTL_DEFINE_CLASS(TppReportTemplate)

TppReportTemplate::TppReportTemplate(TppCustomReport* report) : TppTemplate(report), report(report) {}

TComponent* TppReportTemplate::Root() const { return report->Owner() ? report->Owner() : report; }

bool TppReportTemplate::SignatureAt(TStream& stream, int64_t position, TppFormatType& found) {
  if (position < 0 || position >= stream.Size()) return false;
  char bytes[6] = {};
  stream.SetPosition(position);
  const int64_t read = stream.Read(bytes, sizeof bytes);
  if (read >= 6 && std::memcmp(bytes, TextSignature, 6) == 0) {
    found = ftASCII;
    return true;
  }
  if (read >= 4 && std::memcmp(bytes, BinarySignature, 4) == 0) {
    found = ftBinary;
    return true;
  }
  return false;
}

void TppReportTemplate::DetectFormat(TStream& stream) {
  const int64_t start = stream.Position();
  TppFormatType found = ftBinary;
  bool ok = SignatureAt(stream, start + offset, found);
  if (!ok && SignatureAt(stream, 0, found)) {
    offset = 0;
    ok = true;
  }
  if (!ok && stream.Size() >= 4) {
    int32_t stored = 0;
    stream.SetPosition(0);
    stream.Read(&stored, sizeof stored);
    if (stored >= 1 && SignatureAt(stream, stored, found)) {
      offset = stored;
      ok = true;
    }
  }
  stream.SetPosition(start);
  if (!ok) throw EInvalidTemplateError(ppLoadMessage(ppmsgInvalidTemplate));
  format = found;
}

void TppReportTemplate::LoadFromStream(TStream& stream) {
  if (report->Printing()) return;
  TOperationGuard guard(operations);
  DetectFormat(stream);
  stream.SetPosition(offset);
  TMemoryStream copy;
  const int64_t remaining = stream.Size() - offset;
  if (remaining > 0) copy.CopyFrom(stream, remaining);
  copy.SetPosition(0);
  TMemoryStream binary;
  if (format == ftASCII) {
    ObjectTextToBinary(copy, binary);
  } else {
    binary.CopyFrom(copy, copy.Size());
  }
  if (!HoldsReport(binary)) throw EInvalidTemplateError(ppLoadMessage(ppmsgInvalidTemplate));
  // A layout that does not read leaves the report as it was: it is read
  // into a scratch report of the same class first. The errors the user
  // let pass there are let pass again without asking.
  TReadErrorAnswers answers;
  {
    const TClassInfo::TFactory factory = report->ClassType().Factory();
    TObjectPtr<TComponent> made(factory ? factory(nullptr) : new TppReport(nullptr));
    auto* scratch = dynamic_cast<TppCustomReport*>(made.get());
    if (!scratch) throw EInvalidTemplateError(ppLoadMessage(ppmsgInvalidTemplate));
    scratch->LayoutTrial = true;
    ReadLayout(binary, *scratch, Root(), answers);
  }
  answers.IgnoreAll = true;
  // The layout carries template settings of its own; the format and offset
  // stay those of the stream just read.
  const TppFormatType readFormat = format;
  const int32_t readOffset = offset;
  report->ClearLayout();
  ReadLayout(binary, *report, Root(), answers);
  format = readFormat;
  offset = readOffset;
  report->Reset();
}

void TppReportTemplate::SaveToStream(TStream& stream) {
  TOperationGuard guard(operations);
  TMemoryStream binary;
  {
    TWriter writer(binary);
    writer.WriteRootComponent(report);
  }
  binary.SetPosition(0);
  TMemoryStream result;
  if (format == ftASCII) {
    ObjectBinaryToText(binary, result);
  } else {
    result.CopyFrom(binary, binary.Size());
  }
  if (offset > 0) stream.Seek(offset, soFromCurrent);
  result.SetPosition(0);
  stream.CopyFrom(result, result.Size());
}

void TppReportTemplate::LoadFromFile() {
  if (!OsPath::FileExists(fileName)) throw ETemplateLoadError(ppLoadMessage(ppmsgFileNotFound) + " " + fileName);
  TFileStream file(fileName, fmOpenRead);
  TMemoryStream memory;
  memory.CopyFrom(file, file.Size());
  memory.SetPosition(0);
  // The layout is saved back where it was loaded from.
  const std::string loadedFrom = fileName;
  LoadFromStream(memory);
  fileName = loadedFrom;
}

void TppReportTemplate::SaveToFile() {
  if (ReadOnly())
    throw ETemplateSaveError(ppLoadMessage(ppmsgFileReadOnly));
  TMemoryStream memory;
  SaveToStream(memory);
  TFileStream file(fileName, fmCreate);
  memory.SetPosition(0);
  file.CopyFrom(memory, memory.Size());
}

void TppReportTemplate::New() {
  if (report->Printing()) return;
  report->ClearLayout();
  report->CreateDefaultBands();
}

void TppReportTemplate::LoadFromDatabase() {
  TppTemplateDBSettings& db = databaseSettings;
  if (!db.Complete() || !db.DataPipeline()->Locate(db.NameField(), Variant(db.Name())))
    throw ETemplateLoadError(ppLoadMessage(ppmsgRecordNotFound) + " " + db.Name());
  TMemoryStream memory;
  db.DataPipeline()->WriteFieldToStream(db.TemplateField(), memory);
  memory.SetPosition(0);
  // The layout is saved back into the record it was loaded from.
  TppTemplateDBSettings loadedFrom;
  loadedFrom.Assign(&db);
  LoadFromStream(memory);
  db.Assign(&loadedFrom);
}

void TppReportTemplate::SaveToDatabase() {
  TppTemplateDBSettings& db = databaseSettings;
  if (!db.Complete()) return;
  db.DataPipeline()->Open();
  const TppDataType type = db.DataPipeline()->GetFieldDataType(db.TemplateField());
  if (type != dtBLOB && type != dtMemo) throw ETemplateSaveError(ppLoadMessage(ppmsgCannotStoreTemplate));
  TMemoryStream memory;
  SaveToStream(memory);
  memory.SetPosition(0);
  TppDataPipeline& pipeline = *db.DataPipeline();
  // A record half written is dropped, never left in edit.
  bool written = false;
  try {
    if (pipeline.Locate(db.NameField(), Variant(db.Name()))) {
      written = pipeline.Edit();
    } else {
      written = pipeline.Insert() && pipeline.SetFieldValue(db.NameField(), Variant(db.Name()));
    }
    written = written && pipeline.ReadFieldFromStream(db.TemplateField(), memory) && pipeline.Post();
  } catch (...) {
    pipeline.Cancel();
    throw;
  }
  if (!written) {
    pipeline.Cancel();
    throw ETemplateSaveError(ppLoadMessage(ppmsgCannotStoreTemplate));
  }
}

void TppReportTemplate::Load() {
  if (saveTo == stFile) LoadFromFile();
  else LoadFromDatabase();
}

void TppReportTemplate::Save() {
  if (saveTo == stFile) SaveToFile();
  else SaveToDatabase();
}
