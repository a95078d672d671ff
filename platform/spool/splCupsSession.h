#pragma once
// One connection to one CUPS server, used by one thread at a time. Every
// connect and request is bounded by the session's timeout, and the library
// is never allowed to ask for a password.

#include <cups/cups.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "splConstants.h"

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

class TCupsSession {
 public:
  // Host: a host name or a local socket path. Cancel, when given, cuts a
  // connect or request short within a fraction of a second once it is set
  // (the request then fails with ERROR_TIMEOUT); it must outlive the session.
  TCupsSession(std::string Host, int Port, int TimeoutMs, const std::atomic<bool>* Cancel = nullptr);
  ~TCupsSession();
  TCupsSession(const TCupsSession&) = delete;
  TCupsSession& operator=(const TCupsSession&) = delete;

  // A request for Op with the charset, the language, the printer-uri of
  // Path on this server (none when Path is empty) and the requesting user.
  IppPtr NewRequest(ipp_op_t Op, const std::string& Path) const;
  // Sends Request to Resource ("/", "/printers/q", ...). ERROR_SUCCESS with
  // the response when IPP reports success; otherwise the Windows error of
  // the failure and, for a refusal by the server, LastStatus() tells which.
  // A lost or refused connection gives RPC_S_SERVER_UNAVAILABLE, a timeout
  // ERROR_TIMEOUT.
  OsError Do(IppPtr Request, const char* Resource, IppPtr& Response);
  ipp_status_t LastStatus() const { return status_; }
  // The client library's words for the last failure ("Connection refused",
  // ...); empty after a success.
  const std::string& LastErrorText() const { return errorText_; }
  // The words of the last failure of any session this thread ended: a
  // spooler call's session is gone by the time its caller words the error.
  static const std::string& ThreadLastErrorText();
  // Hands words of another thread's session to this thread's.
  static void SetThreadLastErrorText(std::string Text);
  // The open connection for the library's own calls; null when none can be made.
  http_t* Connection();

  // "ipp://host:port/..." of a path on this server.
  std::string Uri(const std::string& Path) const;

 private:
  OsError Connect();
  void Disconnect();
  // One request and its whole response; null with status_ and errorText_
  // set when no IPP answer came.
  IppPtr Exchange(ipp_t* Request, const char* Resource);
  bool Cancelled() const { return cancel_ && cancel_->load(); }
  // The library's timeout callback, called every slice while a request
  // waits: 0 ends the wait.
  static int KeepWaiting(http_t* http, void* session);

  const std::string host_;
  const int port_;
  const int timeoutMs_;
  const std::atomic<bool>* const cancel_;
  http_t* http_ = nullptr;
  std::chrono::steady_clock::time_point deadline_;
  bool timedOut_ = false;
  ipp_status_t status_ = IPP_STATUS_OK;
  std::string errorText_;
};
