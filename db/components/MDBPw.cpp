#include "MDBPw.h"

#include <mutex>

#include "MDBSession.h"
#include "osThreadContext.h"

TMDBPasswordDialog::TMDBPasswordDialog(TMDBSession& session) : session(session) {}

void TMDBPasswordDialog::SetEditText(const std::string& text) { editText = text; }

void TMDBPasswordDialog::FocusEdit() {
  if (onFocusEdit) onFocusEdit();
}

void TMDBPasswordDialog::Add() {
  if (!AddEnabled()) return;
  session.AddPassword(editText);
  passwordsAdded = true;
  editText.clear();
  FocusEdit();
}

void TMDBPasswordDialog::Remove() {
  if (!RemoveEnabled()) return;
  session.RemovePassword(editText);
  editText.clear();
  FocusEdit();
}

void TMDBPasswordDialog::RemoveAll() {
  session.RemoveAllPasswords();
  FocusEdit();
}

void TMDBPasswordDialog::OK() {
  if (!OKEnabled()) return;
  if (!editText.empty()) session.AddPassword(editText);
  result = TResult::OK;
}

void TMDBPasswordDialog::Cancel() { result = TResult::Cancel; }

namespace {

std::mutex runnerMutex;
TMDBPasswordDialogRunner installedRunner;

}  // namespace

void SetPasswordDialogRunner(TMDBPasswordDialogRunner runner) {
  std::lock_guard<std::mutex> guard(runnerMutex);
  installedRunner = std::move(runner);
}

bool ShowPasswordDialog(TMDBSession& session) {
  // A window may only come from the main thread; elsewhere nobody could
  // answer it, so the open fails as if the dialog had been cancelled.
  if (!IsMainThread()) return false;
  TMDBPasswordDialogRunner runner;
  {
    std::lock_guard<std::mutex> guard(runnerMutex);
    runner = installedRunner;
  }
  return runner ? runner(session) : false;
}
