#pragma once
// A report's layout as an object stream: binary ("TPF0") or text
// ("object"), optionally at an offset, in a file (".rtm"), in a record of a
// table reached through a data pipeline, or any stream (the program's
// layouts are resources). Loading replaces the report's
// bands, groups and components; a stream that does not read leaves the
// report as it was. A property the reader refuses is put to the user
// through the dialog runner (ignore it, ignore all, or stop the load).

#include <string>

#include "rtlClasses.h"
#include "rtlTypeInfo.h"
#include "rtlExceptions.h"

class TppCustomReport;
class TppDataPipeline;
class TStream;

enum TppFormatType : uint8_t { ftBinary, ftASCII };
enum TppSaveToType : uint8_t { stDatabase, stFile };
RTL_ENUM_TYPE(TppFormatType, "ftBinary", "ftASCII")
RTL_ENUM_TYPE(TppSaveToType, "stDatabase", "stFile")

RTL_EXCEPTION_CLASS(EInvalidTemplateError, Exception);
RTL_EXCEPTION_CLASS(ETemplateLoadError, Exception);
RTL_EXCEPTION_CLASS(ETemplateSaveError, Exception);

// Where a template lives in a table: the record whose NameField holds Name,
// its layout in TemplateField (a BLOB or memo field). Streamed with the
// report; the pipeline, which lives outside the layout, by its user name,
// bound again by the report's FixUpDataPipeline.
class TppTemplateDBSettings : public TPersistent {
  RTL_DECLARE_CLASS(TppTemplateDBSettings, TPersistent)

public:
  // holder hears of the pipeline's freeing (its Notification calls
  // Forget).
  explicit TppTemplateDBSettings(TComponent* holder = nullptr) : holder(holder) {}
  ~TppTemplateDBSettings() override;

  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  void SetDataPipeline(TppDataPipeline* value);
  // The bound pipeline's user name, else the one read.
  std::string DataPipelineName() const;
  // A name other than the bound pipeline's lets it go.
  void SetDataPipelineName(const std::string& value);
  const std::string& Name() const { return name; }
  void SetName(const std::string& value) { name = value; }
  const std::string& NameField() const { return nameField; }
  void SetNameField(const std::string& value) { nameField = value; }
  const std::string& TemplateField() const { return templateField; }
  void SetTemplateField(const std::string& value) { templateField = value; }
  // A pipeline, a name field and a template field.
  bool Complete() const { return dataPipeline && !nameField.empty() && !templateField.empty(); }
  // Binds the pipeline when the name read is its user name.
  void FixUpDataPipeline(TppDataPipeline* pipeline);
  void Forget(const TComponent* component);
  void Assign(const TPersistent* source) override;

private:
  TComponent* holder;
  TppDataPipeline* dataPipeline = nullptr;
  std::string dataPipelineName;
  std::string name, nameField, templateField;
};

// What every template keeps: where its layout lives (a file or a record)
// and in which form.
class TppCustomTemplate : public TPersistent {
  RTL_DECLARE_CLASS(TppCustomTemplate, TPersistent)

public:
  // owner made the template; it also hears of the settings' pipeline being
  // freed.
  explicit TppCustomTemplate(TComponent* owner) : databaseSettings(owner), owner(owner) {}

  TComponent* Owner() const { return owner; }
  const std::string& FileName() const { return fileName; }
  void SetFileName(const std::string& value) { fileName = value; }
  TppFormatType Format() const { return format; }
  void SetFormat(TppFormatType value) { format = value; }
  int32_t Offset() const { return offset; }
  void SetOffset(int32_t value) { offset = value; }
  TppSaveToType SaveTo() const { return saveTo; }
  void SetSaveTo(TppSaveToType value) { saveTo = value; }
  TppTemplateDBSettings& DatabaseSettings() { return databaseSettings; }
  TppTemplateDBSettings* DatabaseSettingsObject() const { return &databaseSettings; }
  void SetDatabaseSettings(TppTemplateDBSettings* value) { databaseSettings.Assign(value); }
  // What the template holds, in the user's words.
  const std::string& Description() const { return description; }
  void SetDescription(const std::string& value) { description = value; }
  // FileName when saved to files, else the database settings' Name.
  std::string Name() const { return saveTo == stFile ? fileName : databaseSettings.Name(); }
  // Settings, file name, offset, format and target.
  void Assign(const TPersistent* source) override;

protected:
  std::string fileName;
  TppFormatType format = ftBinary;
  int32_t offset = 0;
  TppSaveToType saveTo = stFile;
  mutable TppTemplateDBSettings databaseSettings;

private:
  TComponent* owner;
  std::string description;
};

// A template that reads its layout into what it serves and writes it out.
class TppTemplate : public TppCustomTemplate {
  RTL_DECLARE_CLASS(TppTemplate, TppCustomTemplate)

public:
  using TppCustomTemplate::TppCustomTemplate;

  // The component that owns what is read.
  virtual TComponent* Root() const = 0;
  virtual std::string FileExtension() const = 0;
  virtual std::string FileFilter() const = 0;
  // FileName names a file that exists and may not be written.
  bool ReadOnly() const;

  virtual void LoadFromFile() = 0;
  virtual void SaveToFile() = 0;
  virtual void LoadFromDatabase() = 0;
  virtual void SaveToDatabase() = 0;
  // Starts a layout afresh.
  virtual void New() = 0;
};

// The template of one report; its settings are streamed with the report.
class TppReportTemplate : public TppTemplate {
  RTL_DECLARE_CLASS(TppReportTemplate, TppTemplate)

public:
  explicit TppReportTemplate(TppCustomReport* report);

  TppCustomReport* Report() const { return report; }
  // What the layout's events name methods of: the report's owner (the
  // report itself when it has none). A method the root lacks is looked for
  // among the report's own.
  TComponent* Root() const override;
  static constexpr const char* ReportFileExtension = "rtm";
  static constexpr const char* ReportFileFilter = "Report file (*.rtm)|*.rtm";
  std::string FileExtension() const override { return ReportFileExtension; }
  std::string FileFilter() const override { return ReportFileFilter; }

  // Finds the layout (at Offset, at 0, or at the offset its first four
  // bytes hold), sets Format and Offset; EInvalidTemplateError without one.
  void DetectFormat(TStream& stream);
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  void LoadFromFile() override;
  void SaveToFile() override;
  // ETemplateLoadError when the settings are incomplete or no record has
  // the name.
  void LoadFromDatabase() override;
  // Nothing when the settings are incomplete; ETemplateSaveError when the
  // template field cannot hold a layout. A new name gets a new record.
  void SaveToDatabase() override;
  // The report's bands, groups and components go; it gets its default
  // bands. Refused while the report prints.
  void New() override;
  // By SaveTo.
  void Load();
  void Save();
  // A template of any report is reading or writing a layout now.
  static bool Operating() { return operations > 0; }

private:
  TppCustomReport* report;
  // Main thread only, as all of generation.
  static inline int operations = 0;

  bool SignatureAt(TStream& stream, int64_t position, TppFormatType& found);
};
