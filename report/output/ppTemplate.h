#pragma once
// A report's layout as an object stream: binary ("TPF0") or text
// ("object"), optionally at an offset, in a file (".rtm"), in a record of a
// table reached through a data pipeline, or any stream (the program's
// layouts are resources). Loading replaces the report's
// bands, groups and components; a stream that does not read leaves the
// report as it was.

#include <string>

#include "rtlClasses.h"
#include "rtlExceptions.h"

class TppCustomReport;
class TppDataPipeline;
class TStream;

enum TppFormatType : uint8_t { ftBinary, ftASCII };
enum TppSaveToType : uint8_t { stDatabase, stFile };

RTL_EXCEPTION_CLASS(EInvalidTemplateError, Exception);
RTL_EXCEPTION_CLASS(ETemplateLoadError, Exception);
RTL_EXCEPTION_CLASS(ETemplateSaveError, Exception);

// Where a template lives in a table: the record whose NameField holds Name,
// its layout in TemplateField (a BLOB or memo field).
struct TppTemplateDBSettings {
  TppDataPipeline* DataPipeline = nullptr;
  std::string Name;
  std::string NameField;
  std::string TemplateField;
  // A pipeline, a name field and a template field.
  bool Complete() const { return DataPipeline && !NameField.empty() && !TemplateField.empty(); }
};

class TppReportTemplate {
public:
  explicit TppReportTemplate(TppCustomReport* report) : report(report) {}

  TppCustomReport* Report() const { return report; }
  const std::string& FileName() const { return fileName; }
  void SetFileName(const std::string& value) { fileName = value; }
  TppFormatType Format() const { return format; }
  void SetFormat(TppFormatType value) { format = value; }
  int32_t Offset() const { return offset; }
  void SetOffset(int32_t value) { offset = value; }
  TppSaveToType SaveTo() const { return saveTo; }
  void SetSaveTo(TppSaveToType value) { saveTo = value; }
  TppTemplateDBSettings& DatabaseSettings() { return databaseSettings; }
  // FileName when saved to files, else the database settings' Name.
  std::string Name() const { return saveTo == stFile ? fileName : databaseSettings.Name; }
  static constexpr const char* FileExtension = "rtm";
  static constexpr const char* FileFilter = "Report file (*.rtm)|*.rtm";

  // Finds the layout (at Offset, at 0, or at the offset its first four
  // bytes hold), sets Format and Offset; EInvalidTemplateError without one.
  void DetectFormat(TStream& stream);
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  void LoadFromFile();
  void SaveToFile();
  // ETemplateLoadError when the settings are incomplete or no record has
  // the name.
  void LoadFromDatabase();
  // Nothing when the settings are incomplete; ETemplateSaveError when the
  // template field cannot hold a layout. A new name gets a new record.
  void SaveToDatabase();
  // By SaveTo.
  void Load();
  void Save();

private:
  TppCustomReport* report;
  std::string fileName;
  TppFormatType format = ftBinary;
  int32_t offset = 0;
  TppSaveToType saveTo = stFile;
  TppTemplateDBSettings databaseSettings;

  bool SignatureAt(TStream& stream, int64_t position, TppFormatType& found);
};
