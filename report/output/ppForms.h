#pragma once
// The engine's dialogs are asked for through one replaceable runner: the
// dialog forms register it when they exist, tests answer it directly.
// Without a runner (no display) every dialog takes its affirmative answer,
// but for a template's read error: nobody was asked to let a property of the
// layout go, so the load stops (and the report stays as it was).

#include <functional>
#include <string>

class TppProducer;

enum TppDialogKind : uint8_t { dkPrint, dkCancel, dkNoData, dkNotice, dkTemplateError };

// The template error dialog answers drIgnore (this error), drIgnoreAll
// (every further one of the load) or drCancel (the error stops the load).
enum TppDialogResult : uint8_t { drOK, drCancel, drIgnore, drIgnoreAll };

struct TppDialogRequest {
  TppDialogKind Kind = dkPrint;
  TppProducer* Producer = nullptr;
  // The print dialog may change them.
  std::string DeviceType;
  int Copies = 1;
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
  std::function<void()> Activate;
  std::function<void()> Cancel;
  std::function<void()> Close;
};

using TppDialogRunner = std::function<TppDialogResult(TppDialogRequest& request)>;

// Replaces the runner; returns the one it replaced.
TppDialogRunner ppSetDialogRunner(TppDialogRunner runner);
TppDialogResult ppRunDialog(TppDialogRequest& request);
