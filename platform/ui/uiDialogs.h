#pragma once
// Message boxes and the one-line input question, through replaceable
// runners: the program shows Qt dialogs, tests and unattended runs answer
// without a window. Main thread only.

#include <functional>
#include <string>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// The answers, numbered as the class library numbers its modal results.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct TMessageBoxRequest {
  std::string Text;
  std::string Caption;
  TMsgDlgType Type = mtInformation;
  // Yes and No buttons instead of OK.
  bool YesNo = false;
};

struct TInputQueryRequest {
  std::string Caption;
  std::string Prompt;
};

using TMessageBoxRunner = std::function<TModalResult(const TMessageBoxRequest& request)>;
// True with value set when the user confirmed; value arrives as the
// initial text.
using TInputQueryRunner = std::function<bool(const TInputQueryRequest& request, std::string& value)>;

// An empty runner restores the Qt dialogs.
void SetMessageBoxRunner(TMessageBoxRunner runner);
void SetInputQueryRunner(TInputQueryRunner runner);

TModalResult ShowMessageBox(const TMessageBoxRequest& request);
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
