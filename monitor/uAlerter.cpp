#include "uAlerter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "BaseThread.h"
#include "gTools.h"
#include "osDispatcher.h"
#include "osProgram.h"
#include "osSingleInstance.h"
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

std::string AlertTimeText(TDateTime Time) {
  return FormatDateTime("yyyy/mm/dd hh:nn:ss", Time, AlertTimeSettings());
}

uint8_t SeverityOf(const std::exception& E) {
  if (dynamic_cast<const EAlertInfo*>(&E)) return 0;
  if (dynamic_cast<const EAlertWarning*>(&E)) return 1;
  if (dynamic_cast<const EAlertSerious*>(&E)) return 3;
  if (dynamic_cast<const EAlertCritical*>(&E)) return 4;
  return 2;
}

const char* FixedHelpText(const std::exception& E) {
  if (dynamic_cast<const ENoDiskSpace*>(&E)) return "Free up some disk space and restart the program.";
  if (dynamic_cast<const ECantDoExclusive*>(&E))
    return "Can not pack database as long as other users are logged in";
  if (dynamic_cast<const ENoDatabase*>(&E)) return "Database not found.";
  return nullptr;
}

std::string ThreadNameOf(TBaseThread* Thread) { return Thread ? Thread->GetDisplayName() : kPrimaryThread; }

std::mutex gAlerterMutex;
TAlerter* gAlerter = nullptr;

std::unique_ptr<TSingleInstance> gInstance;

}  // namespace

TAlertRow AlertRow(const TAlert& Alert) {
  std::string quoted = "\"" + Alert.Message + "\"";
  std::string text = Alert.Severity > 0 ? Format("%s exception: ", {Alert.ThreadName}) + quoted
                                        : Alert.ThreadName + ": " + quoted;
  return TAlertRow{AlertTimeText(Alert.Time), {AlertSeverityWords[Alert.Severity], text, Alert.HelpText}};
}

std::string AlertLogLine(const TAlert& Alert) {
  return Format("%s %s [%s] %s\r\n",
                {AlertTimeText(Alert.Time), AlertSeverityWords[Alert.Severity], Alert.ThreadName, Alert.Message});
}

TAlerter::TAlerter(std::string LogFileName) : TSafeCollection(50, 10, 0), logFileName(std::move(LogFileName)) {}

TAlerter::~TAlerter() {
  if (Count() == 0) return;
  try {
    FlushToLog(true);
  } catch (const std::exception& e) {
    // The last chance for these alerts: say where they were to go.
    std::fprintf(stderr, "%d alerts not written to %s: %s\n", Count(), logFileName.c_str(), e.what());
  }
}

void TAlerter::Add(std::unique_ptr<Exception> E) {
  if (E) AddAlert(*E, kPrimaryThread, "No hint");
}

void TAlerter::Add(std::exception_ptr E) { AddAlert(E, kPrimaryThread, "No hint"); }

void TAlerter::AddFromThread(std::unique_ptr<Exception> E, TBaseThread* Thread, const std::string& HelpText) {
  if (E) AddAlert(*E, ThreadNameOf(Thread), HelpText);
}

void TAlerter::AddFromThread(std::exception_ptr E, TBaseThread* Thread, const std::string& HelpText) {
  AddAlert(E, ThreadNameOf(Thread), HelpText);
}

void TAlerter::AddAlert(const std::exception_ptr& E, const std::string& ThreadName, const std::string& HelpText) {
  if (!E) return;
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    AddAlert(e, ThreadName, HelpText);
  } catch (...) {
    AddAlert(Exception("Unknown exception"), ThreadName, HelpText);
  }
}

void TAlerter::AddAlert(const std::exception& E, const std::string& ThreadName, const std::string& HelpText) {
  auto alert = std::make_unique<TAlert>();
  alert->Time = Now();
  const auto* exception = dynamic_cast<const Exception*>(&E);
  alert->Message = exception ? exception->Message : E.what();
  alert->HelpContext = exception ? exception->HelpContext : 0;
  const char* fixedHelp = FixedHelpText(E);
  alert->HelpText = fixedHelp ? fixedHelp : HelpText;
  alert->Severity = SeverityOf(E);
  alert->ThreadName = ThreadName;

  TLocked locked(*this);
  if (Count() >= kMaxKeptAlerts) AtFree(0);  // only while the log cannot be written
  TAlert* added = alert.release();
  Insert(added);
  ShowAlert(*added);
}

void TAlerter::ShowAlert(const TAlert& Alert) {
  TLocked locked(*this);
  // Taken first: a flush frees the alert.
  TAlertRow row = AlertRow(Alert);
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

void TAlerter::BindListView(TAlertView* View) {
  TLocked locked(*this);
  if (View == listView) return;
  listView = View;
  if (!listView) return;
  listView->BeginUpdate();
  for (int32_t i = 0; i < Count(); ++i) listView->AddRow(AlertRow(*At(i)));
  listView->EndUpdate();
}

void TAlerter::FlushToLog(bool Closing) {
  TLocked locked(*this);
  std::string batch = logOpened ? "" : kOpenLine;
  for (int32_t i = 0; i < Count(); ++i) batch += AlertLogLine(*At(i));
  if (Closing) batch += kCloseLine;

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

bool CheckSingleInstance(TErrorBoxProc ShowError) {
  const std::string folder = ProgramFolder();
  ForceFolders(folder, 0777);
  if (chdir(folder.c_str()) != 0) RaiseLastOSError(errno);
  gInstance = std::make_unique<TSingleInstance>("Orvelle_MUTEX");
  switch (gInstance->Claim()) {
    case TInstanceClaim::First: return true;
    case TInstanceClaim::ShownOther: break;
    case TInstanceClaim::OtherNotFound:
      if (ShowError) ShowError("Cannot find QV, even though mutex ALREADY_EXISTS!", "Error");
      break;
  }
  gInstance.reset();
  return false;
}

void SetShowInstanceHandler(std::function<void()> Handler) {
  if (!gInstance) return;
  if (!Handler) {
    gInstance->SetShowHandler(nullptr);
    return;
  }
  gInstance->SetShowHandler([Handler] { MainDispatcher().Post(Handler); });
}

void FinalizeAlerter() {
  gInstance.reset();
  FreeAlerter();
}
