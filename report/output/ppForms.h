#pragma once
// The engine's dialogs are asked for through one replaceable runner: the
// dialog forms register it when they exist, tests answer it directly.
// Without a runner (no display) every dialog takes its affirmative answer.

#include <functional>
#include <string>

class TppProducer;

enum TppDialogKind : uint8_t { dkPrint, dkCancel, dkNoData };

enum TppDialogResult : uint8_t { drOK, drCancel };

struct TppDialogRequest {
  TppDialogKind Kind = dkPrint;
  TppProducer* Producer = nullptr;
  // The print dialog may change them.
  std::string DeviceType;
  int Copies = 1;
  // The no-data dialog: whether it is to show at all.
  bool ShowDialog = true;
};

using TppDialogRunner = std::function<TppDialogResult(TppDialogRequest& request)>;

// Replaces the runner; returns the one it replaced.
TppDialogRunner ppSetDialogRunner(TppDialogRunner runner);
TppDialogResult ppRunDialog(TppDialogRequest& request);
