#include "ppForms.h"

namespace {
TppDialogRunner& CurrentRunner() {
  static TppDialogRunner runner;
  return runner;
}
}  // namespace

TppDialogRunner ppSetDialogRunner(TppDialogRunner runner) {
  TppDialogRunner previous = std::move(CurrentRunner());
  CurrentRunner() = std::move(runner);
  return previous;
}

TppDialogResult ppRunDialog(TppDialogRequest& request) {
  const TppDialogRunner& runner = CurrentRunner();
  if (runner) return runner(request);
  return request.Kind == dkTemplateError ? drCancel : drOK;
}
