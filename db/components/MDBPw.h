#pragma once
// The password dialog that a session shows when an encrypted table needs a
// password and no OnPassword handler is assigned. This is its behaviour;
// its window lives in the components' window library, which installs
// itself as the runner. Without a runner, or off the main thread, no
// window is shown and the answer is "no password".

#include <functional>
#include <string>

class TMDBSession;

class TMDBPasswordDialog {
public:
  enum class TResult { None, OK, Cancel };

  explicit TMDBPasswordDialog(TMDBSession& session);

  const std::string& EditText() const { return editText; }
  void SetEditText(const std::string& text);

  bool AddEnabled() const { return !editText.empty(); }
  bool RemoveEnabled() const { return !editText.empty(); }
  bool OKEnabled() const { return !editText.empty() || passwordsAdded; }

  // Each button; Add, Remove and RemoveAll hand the focus back to the edit.
  void Add();
  void Remove();
  void RemoveAll();
  void OK();
  void Cancel();

  TResult Result() const { return result; }
  // Told whenever the edit is to take the focus (its text may have changed).
  void SetOnFocusEdit(std::function<void()> handler) { onFocusEdit = std::move(handler); }

private:
  TMDBSession& session;
  std::string editText;
  bool passwordsAdded = false;
  TResult result = TResult::None;
  std::function<void()> onFocusEdit;

  void FocusEdit();
};

// Shows the dialog modally for the session; true when closed with OK.
using TMDBPasswordDialogRunner = std::function<bool(TMDBSession& session)>;
void SetPasswordDialogRunner(TMDBPasswordDialogRunner runner);
bool ShowPasswordDialog(TMDBSession& session);
