#pragma once
// The base of every report that prints: it owns the printer setup and the
// publisher, runs the print dialog, chooses the device and lets the devices
// ask for pages, which the engine of the report generates.

#include <functional>
#include <memory>
#include <string>

#include <QPointer>

#include "ppForms.h"
#include "ppGraphics.h"
#include "ppRelatv.h"
#include "ppTextFileDevice.h"
#include "ppTypes.h"
#include "rtlTypeInfo.h"

class TppCustomPreviewer;
class TppDevice;
class TppPageRequest;
class TppPrinterDevice;
class TppPrinterSetup;
class TppPublisher;

// A run of the report starts (before its engine is reset) and ends (after
// its job is ended or cancelled): the report's scripts start and finish.
constexpr int ppevReportStart = 70;
constexpr int ppevReportEnd = 71;
// Sent after the handler of the same name (OnCancel, OnCancelDialogCreate,
// ...), without parameters.
constexpr int ppevCancel = 2;
constexpr int ppevCancelDialogCreate = 3;
constexpr int ppevCancelDialogClose = 4;
constexpr int ppevPreviewFormCreate = 5;
constexpr int ppevPreviewFormClose = 6;
constexpr int ppevPrintDialogCreate = 7;
constexpr int ppevPrintDialogClose = 8;
// Sent after OnSaveText, with the text (by reference) as the parameter.
constexpr int ppevSaveText = 9;

class TppProducer : public TppRelative {
  RTL_DECLARE_CLASS(TppProducer, TppRelative)

  explicit TppProducer(TComponent* owner);
  ~TppProducer() override;

  TppPrinterSetup* PrinterSetup() const { return printerSetup.get(); }
  // Ignored while printing.
  void SetPrinterSetup(TppPrinterSetup* value);
  TppPublisher* Publisher() const { return publisher.get(); }

  const std::string& DeviceType() const { return deviceType; }
  void SetDeviceType(const std::string& value);
  bool ShowPrintDialog() const { return showPrintDialog; }
  void SetShowPrintDialog(bool value);
  bool ShowCancelDialog() const { return showCancelDialog; }
  void SetShowCancelDialog(bool value);
  bool ModalCancelDialog() const { return modalCancelDialog; }
  void SetModalCancelDialog(bool value);
  bool EnableProcessMessages() const { return enableProcessMessages; }
  void SetEnableProcessMessages(bool value) { enableProcessMessages = value; }
  bool Printing() const { return printing; }
  // Print runs: from its dialog to the job's end.
  bool Producing() const { return producing; }
  // The device Print made for its job, while the job runs; nullptr else.
  TppFileDevice* FileDevice() const { return fileDevice; }
  TppPrinterDevice* PrinterDevice() const { return printerDevice; }
  // A text saved to a text file by the job's text file device: OnSaveText
  // and then the listeners of event 9 may change it.
  void SaveText(std::string& text);
  // The page on view; the print dialog offers it as the current page.
  int CurrentPage() const { return currentPage; }
  void SetCurrentPage(int value) { currentPage = value; }
  // The preview form shows modally (it starts the job when it first
  // activates) or modelessly (the job starts at once). Ignored while
  // printing.
  bool ModalPreview() const { return modalPreview; }
  void SetModalPreview(bool value);
  // The print dialog offers printing to a file of the registered file
  // (archive) device types; the names are the files' and are kept as the
  // dialog gave them back. Ignored while printing.
  bool AllowPrintToFile() const { return allowPrintToFile; }
  void SetAllowPrintToFile(bool value) {
    if (!printing) allowPrintToFile = value;
  }
  bool AllowPrintToArchive() const { return allowPrintToArchive; }
  void SetAllowPrintToArchive(bool value) {
    if (!printing) allowPrintToArchive = value;
  }
  const std::string& TextFileName() const { return textFileName; }
  void SetTextFileName(const std::string& value) {
    if (!printing) textFileName = value;
  }
  const std::string& ArchiveFileName() const { return archiveFileName; }
  void SetArchiveFileName(const std::string& value) {
    if (!printing) archiveFileName = value;
  }
  // The text file devices' format; ignored while printing.
  TppFileType TextFileType() const { return textFileType; }
  void SetTextFileType(TppFileType value);
  // Keeps the printer setup chosen in the print dialog after the job.
  bool SavePrinterSetup() const { return savePrinterSetup; }
  void SetSavePrinterSetup(bool value) { savePrinterSetup = value; }
  // The language of the engine's messages: a language whose messages
  // cannot be loaded is refused (while a layout loads it becomes lgDefault).
  TppLanguageType Language() const { return language; }
  void SetLanguage(TppLanguageType value);
  int LanguageIndex() const { return 0; }
  // Shown by the dialogs and the preview when not empty.
  TppPicture* Icon() const { return icon.get(); }
  void SetIcon(TppPicture* value);

  TEvent<void(TObject* sender)> BeforePrint, AfterPrint, OnCancelDialogCreate, OnCancelDialogClose,
      OnPreviewFormCreate, OnPreviewFormClose, OnPrintDialogCreate, OnPrintDialogClose;
  TEvent<void(TObject* sender, TObject* pageRequest)> OnPageRequest;
  TEvent<void(TObject* sender, std::string& text)> OnSaveText;

  // The preview form while it shows.
  TppCustomPreviewer* PreviewForm() const { return previewForm; }

  // The engine version a layout was stored by ("5.56" is this one's); a
  // layout of an older version is converted when it is loaded.
  static constexpr const char* CurrentVersion = "5.56";
  const std::string& Version() const { return version; }
  int VersionNo() const { return versionNo; }
  // The text's leading digits and points, the first point dropped, padded
  // with zeros to four digits: "5.56" 5560, "1.0" 1000.
  static int VersionToNumber(const std::string& text);
  // The layout was converted from an older version when loaded.
  bool Converted() const { return converted; }
  bool ConvertedFromPre40() const { return convertedFromPre40; }
  // Before the first print of a layout converted from a version below 4.0
  // the user is told, for this long, through the dialog runner.
  static constexpr const char* ConversionNotice = "This report will be converted to 4.0 format before printing.";
  static constexpr int ConversionNoticeMilliseconds = 1000;
  void DefineProperties(TFiler& filer) override;
  void Loaded() override;
  bool CachePages() const;
  void SetCachePages(bool value);

  // The print dialog (when set), then the chosen device gets every page
  // while the cancel dialog (when set) shows. False when the dialog was
  // cancelled, the job was cancelled or no device of the type exists.
  bool Print();
  // Lets the devices already attached to the publisher ask for pages. A
  // cancelled job is cancelled on the devices, not ended.
  void PrintToDevices();
  // Stops the job at generation's next test (the cancel dialog's button).
  void Cancel();
  bool Cancelled() const { return cancelled; }
  // Lets waiting window messages (a cancel button's click) be handled
  // between bands and pages, when enabled.
  void ProcessMessages();

  TEvent<void(TObject* sender)> OnPrintingComplete, OnCancel;

protected:
  // The engine's entry: generate what the publisher could not serve.
  virtual void ServePageRequest(TppPageRequest& request) = 0;
  // The run starts afresh (layout or data changed).
  virtual void ResetEngine() = 0;
  virtual void StopGeneration() = 0;
  // Converts a layout stored by the given (older) version number.
  virtual void ConvertFromVersion(int versionNo) {}

private:
  // Calls the handler, then tells the listeners of the event.
  void Fire(TEvent<void(TObject*)>& handler, int eventId);
  void ShowConversionNotice();
  // The registered preview form over the report; false when none is.
  bool Preview();

  std::unique_ptr<TppPrinterSetup> printerSetup;
  std::unique_ptr<TppPublisher> publisher;
  std::string deviceType = "Screen";
  bool showPrintDialog = true;
  bool showCancelDialog = true;
  bool modalCancelDialog = true;
  bool modalPreview = true;
  int currentPage = 1;
  bool allowPrintToFile = false;
  bool allowPrintToArchive = false;
  std::string textFileName, archiveFileName;
  QPointer<TppCustomPreviewer> previewForm;
  bool enableProcessMessages = true;
  bool printing = false;
  bool producing = false;
  TppFileDevice* fileDevice = nullptr;
  TppPrinterDevice* printerDevice = nullptr;
  bool cancelled = false;
  std::string version = "1.0";
  int versionNo = 1000;
  bool converted = false;
  bool convertedFromPre40 = false;
  TppFileType textFileType = ftComma;
  bool savePrinterSetup = false;
  TppLanguageType language = lgDefault;
  std::unique_ptr<TppPicture> icon;
};

RTL_ENUM_TYPE(TppLanguageType, "lgDefault", "lgDanish", "lgDutch", "lgEnglish", "lgFrench", "lgGerman", "lgItalian",
              "lgPortugueseBrazil", "lgPortuguese", "lgSpanish", "lgSpanishMexico", "lgSwedish", "lgNorwegian",
              "lgCustom")
