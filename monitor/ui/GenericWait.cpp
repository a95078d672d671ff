#include "GenericWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "BaseThread.h"
#include "thrEnumRemote.h"

namespace {

TGenericWaitForm* gWaitForm = nullptr;
// The window that was active when the form appeared.
QPointer<QWidget> gReactivate;

void SetLabelText(QLabel& Label, const std::string& Text) {
  const QString text = QString::fromStdString(Text);
  if (Label.text() == text) return;
  Label.setText(text);
  Label.repaint();
}

}  // namespace

void TGenericWaitForm::MessageStep(const std::string& Message, int32_t Maximum) {
  ++UseCount;
  SetLabelText(*Label2, Message);
  ProgressBar1->setRange(0, Maximum);
  ProgressBar1->setValue(0);
}

TGenericWaitForm::TGenericWaitForm(QWidget* Owner) : Owner(Owner) {
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
    if (Owner) Owner->setEnabled(false);
    repaint();
    return;
  }
  btnAbort->setVisible(Thread && Thread->IsStalled());
}

void TGenericWaitForm::btnAbortClick() {
  if (Thread) Thread->Abandon();
  Thread = nullptr;
  btnAbort->setVisible(false);
}

void TGenericWaitForm::closeEvent(QCloseEvent* Event) { Event->ignore(); }

void TGenericWaitForm::reject() {}

TGenericWaitForm* WaitForm() { return gWaitForm; }

void ShowWaitForm(QWidget* Owner, const std::string& Message, int32_t Maximum, TBaseThread* Thread) {
  if (!gWaitForm) {
    gWaitForm = new TGenericWaitForm(Owner);
    gWaitForm->Thread = Thread;
  }
  gWaitForm->MessageStep(Message, Maximum);
}

void StepWaitForm(int32_t Position) {
  if (gWaitForm) {
    QProgressBar& bar = *gWaitForm->ProgressBar1;
    if (bar.maximum() == 0 && Position != 0) {
      bar.setMaximum(Position);
    } else if (Position != bar.value()) {
      bar.setValue(Position);
      bar.repaint();
    }
  }
  QCoreApplication::processEvents();
}

void UpdateWaitText(const std::string& Text) {
  if (gWaitForm) SetLabelText(*gWaitForm->Label2, Text);
  QCoreApplication::processEvents();
}

void CloseWaitForm() {
  if (!gWaitForm) return;
  if (--gWaitForm->UseCount > 0) return;
  if (gWaitForm->Owner) gWaitForm->Owner->setEnabled(true);
  if (gReactivate) gReactivate->activateWindow();
  gWaitForm->Timer1->stop();
  gWaitForm->hide();
  gWaitForm->deleteLater();
  gWaitForm = nullptr;
  gReactivate = nullptr;
}

void CloseWaitFormFor(TBaseThread* Thread) {
  if (gWaitForm && gWaitForm->Thread == Thread) {
    gWaitForm->Thread = nullptr;
    gWaitForm->btnAbort->setVisible(false);
  }
  CloseWaitForm();
}

void UseWaitFormForScan(QWidget* Owner) {
  const QPointer<QWidget> owner(Owner);
  SetScanWaitForm({[owner](const std::string& message, int32_t maximum, TBaseThread* thread) {
                     ShowWaitForm(owner, message, maximum, thread);
                   },
                   StepWaitForm, UpdateWaitText, CloseWaitFormFor});
}
