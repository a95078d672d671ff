#include "GenericWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "BaseThread.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "thrEnumRemote.h"

namespace {

TGenericWaitForm* gWaitForm = nullptr;
// The window that was active when the form appeared.
QPointer<QWidget> gReactivate;

void SetLabelText(QLabel& label, const std::string& text) {
  const QString newText = QString::fromStdString(text);
  if (label.text() == newText) return;
  label.setText(newText);
  label.repaint();
}

}  // namespace

void TGenericWaitForm::MessageStep(const std::string& message, int32_t maximum) {
  ++useCount;
  SetLabelText(*Label2, message);
  ProgressBar1->setRange(0, maximum);
  ProgressBar1->setValue(0);
}

TGenericWaitForm::TGenericWaitForm(QWidget* formOwner) : owner(formOwner) {
  // No close button: the user cannot end the wait.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle("Please wait...");
  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  QFont bold = Label2->font();
  bold.setBold(true);
  Label2->setFont(bold);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setWordWrap(true);
  pnl1 = new QWidget(this);
  btnAbort = new QPushButton("&Abort", pnl1);
  btnAbort->setObjectName("btnAbort");
  btnAbort->setVisible(false);
  ProgressBar1 = new QProgressBar(pnl1);
  ProgressBar1->setObjectName("ProgressBar1");
  auto* panelLayout = new QVBoxLayout(pnl1);
  panelLayout->addWidget(btnAbort, 0, Qt::AlignHCenter);
  panelLayout->addStretch();
  panelLayout->addWidget(ProgressBar1);
  auto* formLayout = new QVBoxLayout(this);
  formLayout->addWidget(Label2, 1);
  formLayout->addWidget(pnl1);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });
  Timer1->start();
}

void TGenericWaitForm::Timer1Timer() {
  if (!shown) {
    shown = true;
    Timer1->setInterval(3000);
    show();
    gReactivate = QApplication::activeWindow();
    if (owner) owner->setEnabled(false);
    repaint();
    return;
  }
  btnAbort->setVisible(watchedThread && watchedThread->IsStalled());
}

void TGenericWaitForm::btnAbortClick() {
  if (watchedThread) watchedThread->Abandon();
  watchedThread = nullptr;
  btnAbort->setVisible(false);
}

void TGenericWaitForm::closeEvent(QCloseEvent* event) { event->ignore(); }

void TGenericWaitForm::reject() {}

TGenericWaitForm* WaitForm() { return gWaitForm; }

void ShowWaitForm(QWidget* owner, const std::string& message, int32_t maximum, TBaseThread* thread) {
  // A window: workers reach it through synchronous calls only.
  ORV_ASSERT(IsMainThread());
  if (!gWaitForm) {
    gWaitForm = new TGenericWaitForm(owner);
    gWaitForm->watchedThread = thread;
  }
  gWaitForm->MessageStep(message, maximum);
}

void StepWaitForm(int32_t position) {
  ORV_ASSERT(IsMainThread());
  if (gWaitForm) {
    QProgressBar& bar = *gWaitForm->ProgressBar1;
    if (bar.maximum() == 0 && position != 0) {
      bar.setMaximum(position);
    } else if (position != bar.value()) {
      bar.setValue(position);
      bar.repaint();
    }
  }
  QCoreApplication::processEvents();
}

void UpdateWaitText(const std::string& text) {
  ORV_ASSERT(IsMainThread());
  if (gWaitForm) SetLabelText(*gWaitForm->Label2, text);
  QCoreApplication::processEvents();
}

void CloseWaitForm() {
  ORV_ASSERT(IsMainThread());
  if (!gWaitForm) return;
  ORV_ASSERT(gWaitForm->useCount >= 1);  // each show is closed once
  if (--gWaitForm->useCount > 0) return;
  if (gWaitForm->owner) gWaitForm->owner->setEnabled(true);
  if (gReactivate) gReactivate->activateWindow();
  gWaitForm->Timer1->stop();
  gWaitForm->hide();
  gWaitForm->deleteLater();
  gWaitForm = nullptr;
  gReactivate = nullptr;
}

void CloseWaitFormFor(TBaseThread* thread) {
  if (gWaitForm && gWaitForm->watchedThread == thread) {
    gWaitForm->watchedThread = nullptr;
    gWaitForm->btnAbort->setVisible(false);
  }
  CloseWaitForm();
}

void UseWaitFormForScan(QWidget* owner) {
  const QPointer<QWidget> guardedOwner(owner);
  SetScanWaitForm({[guardedOwner](const std::string& message, int32_t maximum, TBaseThread* thread) {
                     ShowWaitForm(guardedOwner, message, maximum, thread);
                   },
                   StepWaitForm, UpdateWaitText, CloseWaitFormFor});
}
