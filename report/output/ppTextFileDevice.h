#pragma once
// Two devices that write pages as text. The text file device exports the
// text commands a report marked for saving, one record per band
// occurrence, as comma-separated, tab-separated, fixed-length or custom
// fields. The report text file device prints each page as a grid of
// characters, every text at the row and column its position gives.

#include <functional>

#include "ppFileDevice.h"
#include "rtlTypeInfo.h"

class TppDrawText;

enum TppFileType : uint8_t { ftComma, ftTab, ftFixedLength, ftCustom };
RTL_ENUM_TYPE(TppFileType, "ftComma", "ftTab", "ftFixedLength", "ftCustom")

class TppTextFileDevice : public TppFileDevice {
  RTL_DECLARE_CLASS(TppTextFileDevice, TppFileDevice)

  using TSaveTextEvent = std::function<void(TppTextFileDevice* sender, TComponent* component, std::string& text)>;

  explicit TppTextFileDevice(TComponent* owner);

  std::string DeviceName() const override { return "TextFile"; }
  std::string DefaultExt() const override { return "txt"; }
  std::string FileFilter() const override;
  std::string DeviceDescription() const override;

  TppFileType FileType() const { return fileType; }
  // Ignored while a job runs.
  void SetFileType(TppFileType value);
  // Sees each field's text (a comma or tab field already quoted) with the
  // component that made it, and may change it.
  TSaveTextEvent OnSaveText;

  void StartJob() override;
  void EndJob() override;
  void ReceivePage(TppPage* page) override;

  // What the save-text handler may read of the export as it goes.
  bool EndOfRecord() const { return endOfRecord; }
  bool FirstPage() const { return firstPage; }
  int FieldNo() const { return fieldNo; }
  int RecordCount() const { return recordCount; }

private:
  TppFileType fileType = ftComma;
  bool endOfRecord = false;
  bool lastLine = false;
  bool firstPage = false;
  int fieldNo = 0;
  int recordCount = 0;
  bool lastBandOnLastPage = false;
  bool firstField = false;
  bool firstRecord = false;

  void ResetExportState();
  void WritePage(TppPage& page);
};

class TppReportTextFileDevice : public TppFileDevice {
  RTL_DECLARE_CLASS(TppReportTextFileDevice, TppFileDevice)

  explicit TppReportTextFileDevice(TComponent* owner);

  std::string DeviceName() const override { return "ReportTextFile"; }
  std::string DefaultExt() const override { return "txt"; }
  std::string FileFilter() const override;
  std::string DeviceDescription() const override;

  // With it set (the default) the grid follows from the page size and the
  // character cell; otherwise the cell follows from the grid.
  bool CalculateGridFromPage = true;
  // With it set (the default) the cell's font size follows the first
  // text's font; otherwise FontSize.
  bool ChooseFontSize = true;
  int CharactersPerLine = 80;
  int LinesPerPage = 66;
  int FontSize = 12;

  void ReceivePage(TppPage* page) override;

private:
  void WritePage(TppPage& page);
};
