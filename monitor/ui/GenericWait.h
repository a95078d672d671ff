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
  // formOwner (may be null) is disabled while the form shows.
  explicit TGenericWaitForm(QWidget* formOwner);

  // The first tick shows the form; every later one decides whether Abort
  // is offered.
  void Timer1Timer();
  void btnAbortClick();

  // Watched for stalls; may be null.
  TBaseThread* WatchedThread() const { return watchedThread; }

protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

private:
  // The widgets carry their names as object names (Label2, ProgressBar1,
  // btnAbort, Timer1), which is how tests find them.
  QLabel* Label2;
  QWidget* pnl1;
  QProgressBar* ProgressBar1;
  QPushButton* btnAbort;
  QTimer* Timer1;
  int32_t useCount = 0;
  TBaseThread* watchedThread = nullptr;
  QPointer<QWidget> owner;
  bool shown = false;

  // Counts a use and shows the message with a fresh bar.
  void MessageStep(const std::string& message, int32_t maximum);

  friend void ShowWaitForm(QWidget* owner, const std::string& message, int32_t maximum, TBaseThread* thread);
  friend void StepWaitForm(int32_t position);
  friend void UpdateWaitText(const std::string& text);
  friend void CloseWaitForm();
  friend void CloseWaitFormFor(TBaseThread* thread);
};

// The form while one exists, else null.
TGenericWaitForm* WaitForm();

// Makes the form when none exists (then thread is the one watched) and
// counts one more use; shows message with a bar of maximum steps at 0.
void ShowWaitForm(QWidget* owner, const std::string& message, int32_t maximum, TBaseThread* thread);
// A bar without steps takes position as its maximum; otherwise position
// becomes the bar's position.
void StepWaitForm(int32_t position);
void UpdateWaitText(const std::string& text);
// Ends one use; the last one releases the form and gives the owner back.
void CloseWaitForm();
// As CloseWaitForm for a thread that is ending: the form forgets it first.
void CloseWaitFormFor(TBaseThread* thread);

// Gives the network scan these routines, with owner as the form's owner.
void UseWaitFormForScan(QWidget* owner);
