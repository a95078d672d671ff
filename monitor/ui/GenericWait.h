#pragma once
// The shared wait form: shows the progress of the network scan and of the
// program's shutdown. It appears only 250 ms after it was made, so short
// waits show nothing, and it cannot be closed by the user. When the worker
// thread it watches stops testing for its end, an Abort button appears;
// Abort abandons that thread (it is asked to stop and no longer counted),
// it never kills it.
//
// One form exists at a time; every routine runs on the main thread.

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;
class TBaseThread;

class TGenericWaitForm : public QDialog {
public:
  // Owner (may be null) is disabled while the form shows.
  explicit TGenericWaitForm(QWidget* Owner);

  // The first tick shows the form; every later one decides whether Abort
  // is offered.
  void Timer1Timer();
  void btnAbortClick();

  // Watched for stalls; may be null.
  TBaseThread* WatchedThread() const { return Thread; }

protected:
  void closeEvent(QCloseEvent* Event) override;
  void reject() override;

private:
  // The widgets carry their names as object names (Label2, ProgressBar1,
  // btnAbort, Timer1), which is how tests find them.
  QLabel* Label2;
  QWidget* pnl1;
  QProgressBar* ProgressBar1;
  QPushButton* btnAbort;
  QTimer* Timer1;
  int32_t UseCount = 0;
  TBaseThread* Thread = nullptr;
  QPointer<QWidget> Owner;
  bool shown = false;

  // Counts a use and shows the message with a fresh bar.
  void MessageStep(const std::string& Message, int32_t Maximum);

  friend void ShowWaitForm(QWidget* Owner, const std::string& Message, int32_t Maximum, TBaseThread* Thread);
  friend void StepWaitForm(int32_t Position);
  friend void UpdateWaitText(const std::string& Text);
  friend void CloseWaitForm();
  friend void CloseWaitFormFor(TBaseThread* Thread);
};

// The form while one exists, else null.
TGenericWaitForm* WaitForm();

// Makes the form when none exists (then Thread is the one watched) and
// counts one more use; shows Message with a bar of Maximum steps at 0.
void ShowWaitForm(QWidget* Owner, const std::string& Message, int32_t Maximum, TBaseThread* Thread);
// A bar without steps takes Position as its maximum; otherwise Position
// becomes the bar's position.
void StepWaitForm(int32_t Position);
void UpdateWaitText(const std::string& Text);
// Ends one use; the last one releases the form and gives the owner back.
void CloseWaitForm();
// As CloseWaitForm for a thread that is ending: the form forgets it first.
void CloseWaitFormFor(TBaseThread* Thread);

// Gives the network scan these routines, with Owner as the form's owner.
void UseWaitFormForScan(QWidget* Owner);
