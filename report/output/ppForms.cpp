#include "ppForms.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "ppGraphics.h"
#include "ppPageRequest.h"
#include "ppPrinterSetup.h"
#include "ppProducer.h"
#include "rtlStrUtils.h"
#include "uiGraphicsBitmap.h"

namespace {

TppFormRunner& CurrentFormRunner() {
  static TppFormRunner runner;
  return runner;
}

TppDialogRunner& CurrentRunner() {
  static TppDialogRunner runner;
  return runner;
}

// Abstract class name to form class, in registration order.
std::vector<std::pair<std::string, TppFormClass>>& Registry() {
  static std::vector<std::pair<std::string, TppFormClass>> registry;
  return registry;
}

// The cancel dialog closes this long after the job returned.
constexpr int cancelCloseMilliseconds = 10;

}  // namespace

// ---- TppForm ----

TppForm::TppForm(QWidget* owner) : QDialog(owner) {}

TppForm::~TppForm() {
  if (OnDialogClose) OnDialogClose(this);
  if (OnDialogDestroy) OnDialogDestroy(this);
}

void TppForm::SetLanguageIndex(int value) {
  languageIndex = value;
  LanguageChanged();
}

void TppForm::SetReport(TObject* value) {
  report = value;
  ReportAssigned();
}

void TppForm::DoCancel() {
  if (OnDialogCancel) OnDialogCancel(this);
}

void TppForm::Activated() {
  if (OnDialogActivate) OnDialogActivate(this);
}

bool TppForm::event(QEvent* e) {
  const bool handled = QDialog::event(e);
  if (e->type() == QEvent::WindowActivate) Activated();
  return handled;
}

int TppForm::ShowModal() {
  setResult(ppmrNone);
  if (const TppFormRunner& runner = CurrentFormRunner()) {
    Activated();
    return runner(*this);
  }
  return exec();
}

TppFormRunner ppSetFormRunner(TppFormRunner runner) {
  TppFormRunner previous = std::move(CurrentFormRunner());
  CurrentFormRunner() = std::move(runner);
  return previous;
}

// ---- registry ----

void ppRegisterFormClass(const std::string& abstractClass, const TppFormClass& formClass) {
  ppUnRegisterFormClass(abstractClass);
  Registry().emplace_back(abstractClass, formClass);
}

void ppUnRegisterFormClass(const std::string& abstractClass) {
  auto& registry = Registry();
  auto entry = std::find_if(registry.begin(), registry.end(),
                            [&](const auto& item) { return SameText(item.first, abstractClass); });
  if (entry != registry.end()) registry.erase(entry);
}

const TppFormClass* ppGetFormClass(const std::string& abstractClass) {
  for (const auto& [name, formClass] : Registry())
    if (SameText(name, abstractClass)) return &formClass;
  return nullptr;
}

std::vector<std::string> ppRegisteredFormClasses() {
  std::vector<std::string> names;
  for (const auto& entry : Registry()) names.push_back(entry.first);
  return names;
}

// ---- TppCustomCancelDialog ----

TppCustomCancelDialog::TppCustomCancelDialog(QWidget* owner)
    : TppForm(owner), closeTimer(std::make_unique<QTimer>()) {
  closeTimer->setInterval(cancelCloseMilliseconds);
  closeTimer->setSingleShot(true);
  QObject::connect(closeTimer.get(), &QTimer::timeout, this, [this] { SetModalResult(ppmrOK); });
}

TppCustomCancelDialog::~TppCustomCancelDialog() { RestoreSavedForm(); }

void TppCustomCancelDialog::SetPrintProgress(const std::string& value) {
  printProgress = value;
  PrintProgressChanged();
}

void TppCustomCancelDialog::EnableTimer() { closeTimer->start(); }

int TppCustomCancelDialog::ShowModalDialog() {
  modal = true;
  return ShowModal();
}

void TppCustomCancelDialog::showEvent(QShowEvent* e) {
  if (!modal) {
    QWidget* active = QApplication::activeWindow();
    if (active && active != this) {
      savedForm = active;
      active->setEnabled(false);
    }
  }
  TppForm::showEvent(e);
}

void TppCustomCancelDialog::hideEvent(QHideEvent* e) {
  RestoreSavedForm();
  TppForm::hideEvent(e);
}

void TppCustomCancelDialog::RestoreSavedForm() {
  if (modal || !savedForm) return;
  QWidget* form = savedForm;
  savedForm = nullptr;
  if (!form->isEnabled()) form->setEnabled(true);
  if (QApplication::activeWindow() == this) form->activateWindow();
}

// ---- answering a request ----

void ppGiveReportIcon(TppForm& form) {
  const auto* producer = dynamic_cast<const TppProducer*>(form.Report());
  const TBitmap* icon = producer && producer->Icon() ? producer->Icon()->Bitmap() : nullptr;
  if (icon && !icon->Image().isNull()) form.setWindowIcon(QIcon(QPixmap::fromImage(icon->Image())));
}

TppDialogRunner ppSetDialogRunner(TppDialogRunner runner) {
  TppDialogRunner previous = std::move(CurrentRunner());
  CurrentRunner() = std::move(runner);
  return previous;
}

namespace {

TppDialogResult DefaultAnswer(const TppDialogRequest& request) {
  return request.Kind == dkTemplateError ? drCancel : drOK;
}

template <class Abstract>
std::unique_ptr<Abstract> CreateFor(const TppDialogRequest& request) {
  std::unique_ptr<Abstract> form = ppCreateForm<Abstract>();
  if (!form) return nullptr;
  form->SetReport(request.Producer);
  form->SetLanguageIndex(request.LanguageIndex);
  ppGiveReportIcon(*form);
  return form;
}

TppDialogResult RunPrintDialog(TppDialogRequest& request) {
  auto form = CreateFor<TppCustomPrintDialog>(request);
  if (!form) return DefaultAnswer(request);
  form->AllowPrintToArchive = request.AllowPrintToArchive;
  form->AllowPrintToFile = request.AllowPrintToFile;
  form->ArchiveFileName = request.ArchiveFileName;
  form->TextFileName = request.TextFileName;
  form->DeviceType = request.DeviceType;
  form->CurrentPage = request.CurrentPage;
  form->Printer = request.PrinterSetup;
  if (request.PageRequest) form->SetPageRequest(request.PageRequest);
  if (form->ShowModal() != ppmrOK) return drCancel;
  request.PrintToFile = form->PrintToFile;
  request.PrintToArchive = form->PrintToArchive;
  request.ArchiveFileName = form->ArchiveFileName;
  request.TextFileName = form->TextFileName;
  if (form->PrintToFile || form->PrintToArchive) request.DeviceType = form->DeviceType;
  if (request.PrinterSetup) request.Copies = request.PrinterSetup->Copies();
  if (request.PageRequest && form->PageRequest() && form->PageRequest() != request.PageRequest)
    request.PageRequest->Assign(form->PageRequest());
  return drOK;
}

// Modal: the job runs from the dialog's first activation only (a message
// box shown meanwhile activates it again), and the close timer starts
// however the job ends. Modeless: the dialog shows and the producer runs
// the job, then calls Close.
TppDialogResult RunCancelDialog(TppDialogRequest& request) {
  auto form = CreateFor<TppCustomCancelDialog>(request);
  if (!form) return DefaultAnswer(request);
  form->SetAllowCancel(request.AllowCancel);
  form->OnDialogCancel = [cancel = request.Cancel](TppForm*) {
    if (cancel) cancel();
  };
  if (!request.Modal) {
    std::shared_ptr<TppCustomCancelDialog> shown(form.release());
    shown->show();
    request.Close = [shown] { shown->close(); };
    request.Progress = [shown](const std::string& text) { shown->SetPrintProgress(text); };
    return drOK;
  }
  // The form lives until the modal loop ends, after the job.
  request.Progress = [dialog = form.get()](const std::string& text) { dialog->SetPrintProgress(text); };
  bool started = false;
  std::exception_ptr failure;
  form->OnDialogActivate = [&](TppForm* sender) {
    if (started) return;
    started = true;
    auto* dialog = static_cast<TppCustomCancelDialog*>(sender);
    try {
      if (request.Activate) request.Activate();
    } catch (...) {
      failure = std::current_exception();
    }
    dialog->EnableTimer();
  };
  form->ShowModalDialog();
  request.Progress = nullptr;
  form.reset();
  if (failure) std::rethrow_exception(failure);
  return drOK;
}

TppDialogResult RunTemplateErrorDialog(TppDialogRequest& request) {
  auto form = CreateFor<TppCustomTemplateErrorDialog>(request);
  if (!form) return DefaultAnswer(request);
  form->SetErrorMessage(request.Message);
  switch (form->ShowModal()) {
    case ppmrIgnore: return drIgnore;
    case ppmrIgnoreAll: return drIgnoreAll;
    default: return drCancel;
  }
}

}  // namespace

TppDialogResult ppRunDialog(TppDialogRequest& request) {
  if (const TppDialogRunner& runner = CurrentRunner()) return runner(request);
  switch (request.Kind) {
    case dkPrint: return RunPrintDialog(request);
    case dkCancel: return RunCancelDialog(request);
    case dkNoData:
      if (auto form = CreateFor<TppCustomNoDataDialog>(request)) form->ShowModal();
      return drOK;
    case dkTemplateError: return RunTemplateErrorDialog(request);
    case dkNotice: break;
  }
  return DefaultAnswer(request);
}
