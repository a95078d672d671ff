#pragma once
// The engine's dialogs. Engine code never names a dialog form: it asks the
// registry for the form class registered for an abstract dialog class
// ("TppCustomPrintDialog"), creates it, hands it the report and its
// language, fills the dialog's fields and shows it. A later registration
// for the same abstract class replaces the earlier one, so a program may
// put its own form in place of any engine dialog.
//
// Two seams let tests and unattended runs answer without a window:
// - the form runner answers a created, filled form in place of its modal
//   loop (it may work the form's controls first);
// - the dialog runner answers a whole request before any form is made.
// With neither set and no form registered every dialog takes its
// affirmative answer, but for a template's read error: nobody was asked
// to let a property of the layout go, so the load stops (and the report
// stays as it was).

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

class TObject;
class TppPageRequest;
class TppPrinterSetup;
class TppProducer;
class TppViewer;
class TppDataPipeline;
class TppAutoSearchField;
class TStringList;
class TStream;

// The class library's modal results as the dialogs use them.
enum : int {
  ppmrNone = 0, ppmrOK = 1, ppmrCancel = 2, ppmrIgnore = 5, ppmrYes = 6, ppmrNo = 7, ppmrIgnoreAll = 8
};

class TppForm : public QDialog {
public:
  using TNotifyEvent = std::function<void(TppForm* sender)>;

  explicit TppForm(QWidget* owner = nullptr);
  // Fires OnDialogClose, then OnDialogDestroy.
  ~TppForm() override;

  int LanguageIndex() const { return languageIndex; }
  // Stores the index, then LanguageChanged.
  void SetLanguageIndex(int value);
  // The report, producer or component the dialog serves; not owned.
  TObject* Report() const { return report; }
  void SetReport(TObject* value);

  // Fires OnDialogCancel.
  virtual void DoCancel();
  // Shows the form modally (through the form runner when one is set) and
  // answers the modal result.
  int ShowModal();
  int ModalResult() const { return result(); }
  // Ends a modal loop (or a runner's answer) with the result.
  void SetModalResult(int value) { done(value); }

  TNotifyEvent OnDialogActivate, OnDialogCancel, OnDialogClose, OnDialogDestroy;

  // The activation step: fires OnDialogActivate. The window's activation
  // runs it, and ShowModal before a form runner answers.
  virtual void Activated();

protected:
  // Sets every caption from the engine's messages.
  virtual void LanguageChanged() {}
  virtual void ReportAssigned() {}
  bool event(QEvent* e) override;

private:
  int languageIndex = 0;
  TObject* report = nullptr;
};

// Answers a form in place of its modal loop with a modal result.
using TppFormRunner = std::function<int(TppForm& form)>;
// Replaces the runner; returns the one it replaced.
TppFormRunner ppSetFormRunner(TppFormRunner runner);

// ---- the form class registry ----

struct TppFormClass {
  std::string Name;
  std::function<TppForm*(QWidget* owner)> Create;
};

// Replaces any registration for the abstract class, then adds this one
// at the end.
void ppRegisterFormClass(const std::string& abstractClass, const TppFormClass& formClass);
// Nothing when the abstract class has no registration.
void ppUnRegisterFormClass(const std::string& abstractClass);
// nullptr when nobody registered a class for it (names ignore case).
const TppFormClass* ppGetFormClass(const std::string& abstractClass);
// The registered abstract class names in registration order.
std::vector<std::string> ppRegisteredFormClasses();

template <class Abstract, class Form>
void ppRegisterFormClass() {
  ppRegisterFormClass(Abstract::AbstractName, TppFormClass{Form::FormName, [](QWidget* owner) -> TppForm* {
                                                              return new Form(owner);
                                                            }});
}

// A report with an icon of its own gives it to the dialogs it shows; the
// forms keep theirs otherwise.
void ppGiveReportIcon(TppForm& form);

// A new form of the class registered for Abstract; nullptr when none is
// (or when the registered class is not one).
template <class Abstract>
std::unique_ptr<Abstract> ppCreateForm(QWidget* owner = nullptr) {
  const TppFormClass* formClass = ppGetFormClass(Abstract::AbstractName);
  if (!formClass || !formClass->Create) return nullptr;
  std::unique_ptr<TppForm> form(formClass->Create(owner));
  if (auto* typed = dynamic_cast<Abstract*>(form.get())) {
    form.release();
    return std::unique_ptr<Abstract>(typed);
  }
  return nullptr;
}

// ---- the abstract dialog classes ----

#define PP_ABSTRACT_FORM(name) \
  static constexpr const char* AbstractName = #name; \
  using TppForm::TppForm;

class TppCustomPreviewer : public TppForm {
public:
  static constexpr const char* AbstractName = "TppCustomPreviewer";
  using TppForm::TppForm;
  // The form's document-name flag: the caption becomes the report's
  // document name.
  bool DisplayDocumentName = false;
  virtual TppViewer* Viewer() const = 0;
  // Readies the form for its report before it shows.
  virtual void Init() {}
};

class TppCustomRTFEditor : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomRTFEditor)
  // Whether the text's "<name>" references are merged when it prints.
  bool MailMerge = false;
  // The text as RTF: read when the form is given it, written back on OK.
  // Not owned.
  TStream* EditorStream = nullptr;
  // Reads EditorStream from its position into the editing control.
  virtual void LoadFromEditorStream() = 0;
};

class TppCustomAutoSearchDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomAutoSearchDialog)
  // The fields to edit; not owned.
  std::vector<TppAutoSearchField*> AutoSearchFields;
  // Builds the dialog's panels for the fields.
  virtual void Init() = 0;
};

class TppCustomPageSettingDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomPageSettingDialog)
  bool Flag = false;
  std::vector<std::string> Items;
  std::string Text;
};

class TppCustomPrintDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomPrintDialog)
  bool AllowPrintToArchive = false;
  bool AllowPrintToFile = false;
  std::string ArchiveFileName;
  std::string DeviceType;
  std::string TextFileName;
  // The report's page on view (the current page choice).
  int CurrentPage = 1;
  // Receives printer name, copies and collation; not owned.
  TppPrinterSetup* Printer = nullptr;
  bool PrinterChanged = false;
  bool PrintToArchive = false;
  bool PrintToFile = false;

  TppPageRequest* PageRequest() const { return pageRequest; }
  virtual void SetPageRequest(TppPageRequest* value) { pageRequest = value; }

private:
  TppPageRequest* pageRequest = nullptr;
};

class TppCustomCancelDialog : public TppForm {
public:
  static constexpr const char* AbstractName = "TppCustomCancelDialog";
  explicit TppCustomCancelDialog(QWidget* owner = nullptr);
  // Hides first, so that a form it disabled is enabled again.
  ~TppCustomCancelDialog() override;

  bool AllowCancel() const { return allowCancel; }
  void SetAllowCancel(bool value) { allowCancel = value; }
  bool Modal() const { return modal; }
  const std::string& PrintProgress() const { return printProgress; }
  void SetPrintProgress(const std::string& value);
  // Closes the modal dialog with OK a moment after the job returned.
  void EnableTimer();
  // Shows modally; the activation step starts the job.
  int ShowModalDialog();

protected:
  virtual void PrintProgressChanged() {}
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  // The window active when a modeless dialog showed: disabled meanwhile.
  // Guarded: it may close while the job runs.
  QPointer<QWidget> savedForm;
  bool allowCancel = false;
  bool modal = false;
  std::string printProgress;
  std::unique_ptr<class QTimer> closeTimer;

  void RestoreSavedForm();
};

class TppCustomNoDataDialog : public TppCustomCancelDialog {
public:
  static constexpr const char* AbstractName = "TppCustomNoDataDialog";
  using TppCustomCancelDialog::TppCustomCancelDialog;
};

class TppCustomFormatDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomFormatDialog)
};

class TppCustomPositionDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomPositionDialog)
  double Left = 0, Top = 0, Width = 0, Height = 0;
  int Units = 0;
  bool ParentWidth = false, ParentHeight = false;
};

class TppCustomBandPositionDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomBandPositionDialog)
  double PrintPosition = 0;
};

class TppCustomMemoDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomMemoDialog)
};

class TppCustomDBTextDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomDBTextDialog)
};

class TppCustomDBCalcDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomDBCalcDialog)
};

class TppCustomCalcTimingDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomCalcTimingDialog)
  int CalcIndex = -1, CalcCount = 0;
  std::vector<std::string> CalcList, ResetList;
  int ResetIndex = -1, ResetCount = 0;
};

class TppCustomCalcDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomCalcDialog)
};

class TppCustomShiftDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomShiftDialog)
};

class TppCustomDrillDownDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomDrillDownDialog)
};

class TppCustomTemplateDialog : public TppForm {
public:
  static constexpr const char* AbstractName = "TppCustomTemplateDialog";
  using TppForm::TppForm;
  enum TMode { tmOpen, tmSave };
  TMode Mode = tmOpen;
  // The pipeline field that holds template names.
  std::string NameField;
  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  virtual void SetDataPipeline(TppDataPipeline* value) { dataPipeline = value; }
  virtual std::string GetTemplateName() const = 0;
  virtual std::vector<std::string> GetTemplateNames() const = 0;
  virtual void SetTemplateName(const std::string& value) = 0;
  virtual void SetTemplateNames(const std::vector<std::string>& value) = 0;

private:
  TppDataPipeline* dataPipeline = nullptr;
};

class TppCustomTemplateErrorDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomTemplateErrorDialog)
  virtual std::string GetErrorMessage() const = 0;
  virtual void SetErrorMessage(const std::string& value) = 0;
};

class TppCustomBarCodeDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomBarCodeDialog)
  // The settings the dialog shows and, on OK, gives back (the bar width in
  // thousandths of a millimetre).
  int BarCodeType = 0;
  std::string Data;
  bool CalcCheckDigit = true;
  int Orientation = 0;
  int BarWidth = 254;
  double WideBarRatio = 3.0;
  std::string AddOnCode;
  bool BearerBars = false;
  bool AutoEncode = false;
};

class TppCustomCalcOrderDialog : public TppForm {
public:
  PP_ABSTRACT_FORM(TppCustomCalcOrderDialog)
};

#undef PP_ABSTRACT_FORM

// ---- what engine code asks ----

enum TppDialogKind : uint8_t { dkPrint, dkCancel, dkNoData, dkNotice, dkTemplateError };

// The template error dialog answers drIgnore (this error), drIgnoreAll
// (every further one of the load) or drCancel (the error stops the load).
enum TppDialogResult : uint8_t { drOK, drCancel, drIgnore, drIgnoreAll };

struct TppDialogRequest {
  TppDialogKind Kind = dkPrint;
  TppProducer* Producer = nullptr;
  int LanguageIndex = 0;
  // The print dialog may change them.
  std::string DeviceType;
  int Copies = 1;
  // The print dialog works on them when given (not owned): the pages
  // wanted, and the printer setup that receives printer, copies and
  // collation.
  TppPageRequest* PageRequest = nullptr;
  TppPrinterSetup* PrinterSetup = nullptr;
  int CurrentPage = 1;
  bool AllowPrintToFile = false;
  bool AllowPrintToArchive = false;
  std::string TextFileName;
  std::string ArchiveFileName;
  // Answers of the print dialog: a file device type was chosen.
  bool PrintToFile = false;
  bool PrintToArchive = false;
  // The no-data dialog: whether it is to show at all.
  bool ShowDialog = true;
  // A template's read error: Message is the reader's, a line break and the
  // question whether to ignore it.
  // A notice: the runner shows Message for ShowMilliseconds, letting window
  // messages be processed meanwhile, and returns when the time is up.
  std::string Message;
  int ShowMilliseconds = 0;
  // The cancel dialog. Modal: the runner runs Activate (the print job)
  // while it shows and closes when it returns; a runner that does not (no
  // display, or a dialog that is not modal) leaves the job to the producer,
  // which then calls Close, when the runner set it, as the job ends. The
  // dialog's cancel button calls Cancel; the job sees it at its next
  // processing of messages.
  bool Modal = true;
  bool AllowCancel = true;
  std::function<void()> Activate;
  std::function<void()> Cancel;
  std::function<void()> Close;
  // Set by the runner that shows the dialog: the printing device's
  // progress, one text per page, while the job runs.
  std::function<void(const std::string& text)> Progress;
};

using TppDialogRunner = std::function<TppDialogResult(TppDialogRequest& request)>;

// Replaces the runner; returns the one it replaced.
TppDialogRunner ppSetDialogRunner(TppDialogRunner runner);
// The dialog runner when set; else the form registered for the request's
// kind, filled from the request and read back into it; else the default
// answer.
TppDialogResult ppRunDialog(TppDialogRequest& request);
