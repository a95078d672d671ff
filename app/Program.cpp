#include "Program.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "Alerter.h"
#include "AppDatabase.h"
#include "AppImages.h"
#include "Main.h"
#include "MonitorCommon.h"
#include "osDispatcher.h"
#include "splCupsConfig.h"
#include "splCupsSpooler.h"
#include "splSpooler.h"
#include "uiDialogs.h"

namespace {

// The signals reach the event loop through a pipe: a handler may only write.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

// Qt's offscreen platform says, for every window given a size limit, that it
// cannot pass the limit on: it has no window manager to pass it to. That is
// no news to a headless run; every other message goes where it went.
QtMessageHandler qtMessages = nullptr;

void QuietOffscreenSizeHints(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
  if (qtMessages) qtMessages(type, context, message);
}

void ShowStartError(const std::string& text, const std::string& caption) {
  ShowMessageBox({text, caption, mtError, false});
}

}  // namespace

void ServeDispatcherFromEventLoop() {
  auto* notifier = new QSocketNotifier(MainDispatcher().EventFd(), QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] { MainDispatcher().ProcessPending(); });
  SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
}

void AnswerQuestionsUnattended() {
  SetMessageBoxRunner([](const TMessageBoxRequest& request) {
    GetAlerter()->Add(std::make_unique<EAlertInfo>(request.Caption + ": " + request.Text +
                                                   (request.YesNo ? " - answered Yes" : "")));
    return request.YesNo ? mrYes : mrOk;
  });
  SetInputQueryRunner([](const TInputQueryRequest& request, std::string& value) {
    GetAlerter()->Add(std::make_unique<EAlertInfo>(request.Caption + ": " + request.Prompt + " - answered " + value));
    return true;
  });
}

int RunProgram(int argc, char** argv, const TProgramOptions& options) {
  InitializeTools();
  QApplication application(argc, argv);
  if (QGuiApplication::platformName() == QLatin1String("offscreen"))
    qtMessages = qInstallMessageHandler(QuietOffscreenSizeHints);
  QApplication::setApplicationName("Orvelle");
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setQuitOnLastWindowClosed(false);
  if (options.Unattended) AnswerQuestionsUnattended();
  if (!CheckSingleInstance(ShowStartError)) return 0;
  ServeDispatcherFromEventLoop();
  if (!CheckJobsDatabase(AlertJobsDatabase)) {
    FinalizeAlerter();
    return 0;
  }
  if (const std::string refusal = CreateDataModule(); !refusal.empty())
    GetAlerter()->Add(std::make_unique<EAlertInfo>(refusal));
  SetCurrentSpooler(std::make_shared<TCupsSpooler>(CupsConfigFromEnvironment()));

  int exitCode = 0;
  {
    TOrvelle_MainForm form;
    SetShowInstanceHandler([&form] { form.Restore1Click(); });
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
      auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &form);
      QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] { form.Close1Click(); });
      std::signal(SIGINT, OnSignal);
      std::signal(SIGTERM, OnSignal);
    }
    // The end of the desktop session.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &form, [&form] { form.ShutdownMonitoring(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &form, [&form] { form.ShutdownMonitoring(); });
    form.show();
    exitCode = QApplication::exec();
    SetShowInstanceHandler(nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
  }
  FreeDataModule();
  FinalizeAlerter();
  return exitCode;
}
