#include "Alerter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "BaseThread.h"
#include "MonitorCommon.h"
#include "osDispatcher.h"
#include "osProgram.h"
#include "osSingleInstance.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "rtlStreams.h"

const char* const AlertSeverityWords[5] = {"Information", "Warning", "General Error", "Serious Error",
                                           "Critical Error"};

namespace {

const char kPrimaryThread[] = "Primary Thread";
const std::string kOpenLine = std::string(33, '-') + " OPEN LOG " + std::string(37, '-') + "\r\n";
const std::string kCloseLine = std::string(33, '-') + " CLOSE LOG " + std::string(36, '-') + "\r\n";

// The log is a file format: its times do not follow the user's separators.
const TFormatSettings& AlertTimeSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings s = NeutralFormatSettings();
    s.DateSeparator = '/';
    s.TimeSeparator = ':';
    return s;
  }();
  return settings;
}

std::string AlertTimeText(TDateTime time) {
  return FormatDateTime("yyyy/mm/dd hh:nn:ss", time, AlertTimeSettings());
}

uint8_t SeverityOf(const std::exception& e) {
  if (dynamic_cast<const EAlertInfo*>(&e)) return 0;
  if (dynamic_cast<const EAlertWarning*>(&e)) return 1;
  if (dynamic_cast<const EAlertSerious*>(&e)) return 3;
  if (dynamic_cast<const EAlertCritical*>(&e)) return 4;
  return 2;
}

const char* FixedHelpText(const std::exception& e) {
  if (dynamic_cast<const ENoDiskSpace*>(&e)) return "Free up some disk space and restart the program.";
  if (dynamic_cast<const ECantDoExclusive*>(&e))
    return "Can not pack database as long as other users are logged in";
  if (dynamic_cast<const ENoDatabase*>(&e)) return "Database not found.";
  return nullptr;
}

std::string ThreadNameOf(TBaseThread* thread) { return thread ? thread->GetDisplayName() : kPrimaryThread; }

std::mutex gAlerterMutex;
TAlerter* gAlerter = nullptr;

std::unique_ptr<TSingleInstance> gInstance;

}  // namespace

TAlertRow AlertRow(const TAlert& alert) {
  std::string quoted = "\"" + alert.Message + "\"";
  std::string text = alert.Severity > 0 ? Format("%s exception: ", {alert.ThreadName}) + quoted
                                        : alert.ThreadName + ": " + quoted;
  return TAlertRow{AlertTimeText(alert.Time), {AlertSeverityWords[alert.Severity], text, alert.HelpText}};
}

std::string AlertLogLine(const TAlert& alert) {
  return Format("%s %s [%s] %s\r\n",
                {AlertTimeText(alert.Time), AlertSeverityWords[alert.Severity], alert.ThreadName, alert.Message});
}

TAlerter::TAlerter(std::string fileName) : TSafeCollection(50, 10, 0), logFileName(std::move(fileName)) {}

TAlerter::~TAlerter() {
  if (Count() == 0) return;
  try {
    FlushToLog(true);
  } catch (const std::exception& e) {
    // The last chance for these alerts: say where they were to go.
    std::fprintf(stderr, "%d alerts not written to %s: %s\n", Count(), logFileName.c_str(), e.what());
  }
}

void TAlerter::Add(std::unique_ptr<Exception> e) {
  if (e) AddAlert(*e, kPrimaryThread, "No hint");
}

void TAlerter::Add(std::exception_ptr e) { AddAlert(e, kPrimaryThread, "No hint"); }

void TAlerter::AddFromThread(std::unique_ptr<Exception> e, TBaseThread* thread, const std::string& helpText) {
  if (e) AddAlert(*e, ThreadNameOf(thread), helpText);
}

void TAlerter::AddFromThread(std::exception_ptr e, TBaseThread* thread, const std::string& helpText) {
  AddAlert(e, ThreadNameOf(thread), helpText);
}

void TAlerter::AddAlert(const std::exception_ptr& e, const std::string& threadName, const std::string& helpText) {
  if (!e) return;
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& caught) {
    AddAlert(caught, threadName, helpText);
  } catch (...) {
    AddAlert(Exception("Unknown exception"), threadName, helpText);
  }
}

void TAlerter::AddAlert(const std::exception& e, const std::string& threadName, const std::string& helpText) {
  auto alert = std::make_unique<TAlert>();
  alert->Time = Now();
  const auto* exception = dynamic_cast<const Exception*>(&e);
  alert->Message = exception ? exception->Message : e.what();
  alert->HelpContext = exception ? exception->HelpContext : 0;
  const char* fixedHelp = FixedHelpText(e);
  alert->HelpText = fixedHelp ? fixedHelp : helpText;
  alert->Severity = SeverityOf(e);
  alert->ThreadName = threadName;

  TLocked locked(*this);
  if (Count() >= kMaxKeptAlerts) AtFree(0);  // only while the log cannot be written
  const TAlert& added = *alert;
  Insert(std::move(alert));
  ShowAlert(added);
}

void TAlerter::ShowAlert(const TAlert& alert) {
  TLocked locked(*this);
  // Taken first: a flush frees the alert.
  TAlertRow row = AlertRow(alert);
  if (Count() >= flushThreshold) {
    try {
      FlushToLog(false);
      flushThreshold = kBatchSize;
      if (listView) listView->ClearRows();
    } catch (const std::exception&) {
      // Kept for the next batch; the list keeps showing them meanwhile.
      flushThreshold = std::min(Count() + kBatchSize, kMaxKeptAlerts);
    }
  }
  if (listView) listView->AddRow(row);
}

void TAlerter::BindListView(TAlertView* view) {
  ORV_ASSERT(IsMainThread());  // the view is a window's
  TLocked locked(*this);
  if (view == listView) return;
  listView = view;
  if (!listView) return;
  listView->BeginUpdate();
  for (int32_t i = 0; i < Count(); ++i) listView->AddRow(AlertRow(*At(i)));
  listView->EndUpdate();
}

void TAlerter::FlushToLog(bool closing) {
  TLocked locked(*this);
  std::string batch = logOpened ? "" : kOpenLine;
  for (int32_t i = 0; i < Count(); ++i) batch += AlertLogLine(*At(i));
  if (closing) batch += kCloseLine;

  std::unique_ptr<TFileStream> log = OpenAppendStream(logFileName, false);
  const int64_t sizeBefore = log->Position();
  try {
    log->WriteBuffer(batch.data(), static_cast<int64_t>(batch.size()));
  } catch (...) {
    // No half batch stays behind to be written twice.
    try {
      log->SetSize(sizeBefore);
    } catch (...) {
    }
    throw;
  }
  logOpened = true;
  FreeAll();
}

TAlerter* GetAlerter() {
  std::lock_guard<std::mutex> guard(gAlerterMutex);
  if (!gAlerter) gAlerter = new TAlerter(Format("%s/ALERTS.LOG", {ProgramFolder()}));
  return gAlerter;
}

void FreeAlerter() {
  std::lock_guard<std::mutex> guard(gAlerterMutex);
  delete gAlerter;
  gAlerter = nullptr;
}

bool CheckSingleInstance(TErrorBoxProc showError) {
  const std::string folder = ProgramFolder();
  ForceFolders(folder, 0777);
  if (chdir(folder.c_str()) != 0) RaiseLastOSError(errno);
  gInstance = std::make_unique<TSingleInstance>("Orvelle_MUTEX");
  switch (gInstance->Claim()) {
    case TInstanceClaim::First: return true;
    case TInstanceClaim::ShownOther: break;
    case TInstanceClaim::OtherNotFound:
      if (showError) showError("Cannot find QV, even though mutex ALREADY_EXISTS!", "Error");
      break;
  }
  gInstance.reset();
  return false;
}

void SetShowInstanceHandler(std::function<void()> handler) {
  if (!gInstance) return;
  if (!handler) {
    gInstance->SetShowHandler(nullptr);
    return;
  }
  gInstance->SetShowHandler([handler] { MainDispatcher().Post(handler); });
}

void FinalizeAlerter() {
  gInstance.reset();
  FreeAlerter();
}
