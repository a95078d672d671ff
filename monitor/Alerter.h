#pragma once
// Alerts: every failure, and a few notable events, kept with its time,
// severity and thread, shown in a bound view and appended to ALERTS.LOG in
// the program's folder in batches of 500 and at the end of the run.
//
// A log that cannot be written keeps its alerts in memory (at most
// kMaxKeptAlerts; beyond that the oldest are dropped) and retries when the
// next 500 have gathered and at the end.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Objects.h"
#include "rtlDateTime.h"
#include "rtlExceptions.h"

class TBaseThread;

// The severity of an alert comes from the class of its exception.
RTL_EXCEPTION_CLASS(EAlertException, Exception);
RTL_EXCEPTION_CLASS(EAlertInfo, EAlertException);        // 0
RTL_EXCEPTION_CLASS(ENoDatabase, EAlertInfo);            // 0
RTL_EXCEPTION_CLASS(EShootReport, EAlertInfo);           // 0
RTL_EXCEPTION_CLASS(ERestructure, EAlertInfo);           // 0
RTL_EXCEPTION_CLASS(EAlertWarning, EAlertException);     // 1
RTL_EXCEPTION_CLASS(ENoDiskSpace, EAlertWarning);        // 1
RTL_EXCEPTION_CLASS(ECantDoExclusive, EAlertWarning);    // 1
RTL_EXCEPTION_CLASS(EAlertFailure, EAlertException);     // 2, as any other class
RTL_EXCEPTION_CLASS(EAlertSerious, EAlertException);     // 3
RTL_EXCEPTION_CLASS(EAlertCritical, EAlertException);    // 4

extern const char* const AlertSeverityWords[5];

struct TAlert {
  TDateTime Time = 0;
  std::string Message;
  int32_t HelpContext = 0;
  std::string HelpText;
  uint8_t Severity = 0;
  std::string ThreadName;
};

// One row of the alerts list: the time, then the severity word, the text
// and the help text.
struct TAlertRow {
  std::string Caption;
  std::vector<std::string> SubItems;
};

// The alerts list of a window. Called from the adding thread while the
// alerter's lock is held: an implementation hands the rows to the main
// thread and never calls back into the alerter.
class TAlertView {
public:
  virtual ~TAlertView() = default;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void ClearRows() = 0;
  virtual void AddRow(const TAlertRow& row) = 0;
};

class TAlerter : public TSafeCollection<TAlert> {
public:
  static constexpr int kBatchSize = 500;
  static constexpr int kMaxKeptAlerts = 5000;

  explicit TAlerter(std::string fileName);
  // Writes the alerts still held, then the closing line.
  ~TAlerter() override;

  // Take ownership of the exception; the thread is "Primary Thread".
  void Add(std::unique_ptr<Exception> e);
  void Add(std::exception_ptr e);
  // thread may be null (then "Primary Thread").
  void AddFromThread(std::unique_ptr<Exception> e, TBaseThread* thread, const std::string& helpText);
  void AddFromThread(std::exception_ptr e, TBaseThread* thread, const std::string& helpText);

  // Binds a view (not owned) and shows every stored alert in it; null unbinds.
  void BindListView(TAlertView* view);

  // Appends the stored alerts to the log, after the opening line when this
  // run has written none, and with the closing line when closing. Raises
  // when the log cannot be written; then it keeps every alert and the log
  // as it was.
  void FlushToLog(bool closing);


private:
  std::string logFileName;
  TAlertView* listView = nullptr;
  bool logOpened = false;
  int flushThreshold = kBatchSize;

  void AddAlert(const std::exception& e, const std::string& threadName, const std::string& helpText);
  void AddAlert(const std::exception_ptr& e, const std::string& threadName, const std::string& helpText);
  void ShowAlert(const TAlert& alert);
};

// The process-wide alerter over ALERTS.LOG in the program's folder, made on
// first use; FreeAlerter writes what it holds and frees it.
TAlerter* GetAlerter();
void FreeAlerter();

// The row that the alerts list shows for an alert.
TAlertRow AlertRow(const TAlert& alert);
// The log line of an alert, CR LF ended.
std::string AlertLogLine(const TAlert& alert);

// Start-up: makes the program's folder the current one (creating it) and
// claims the one instance "Orvelle_MUTEX". False when another instance
// runs: it was asked to show its window, and the program ends now. When
// that instance shows nothing, showError gets the message and caption first.
using TErrorBoxProc = void (*)(const std::string& text, const std::string& caption);
bool CheckSingleInstance(TErrorBoxProc showError);
// The first instance's answer to a later start, run on the main thread
// through the dispatcher. Until one is set a later start is told that no
// window was found.
void SetShowInstanceHandler(std::function<void()> handler);
// Finalisation: releases the instance and frees the alerter.
void FinalizeAlerter();
