#pragma once
// One connection to one CUPS server, used by one thread at a time. Every
// connect and request is bounded by the session's timeout, and the library
// is never allowed to ask for a password.

#include <cups/cups.h>

#include <memory>
#include <string>

#include "splConstants.h"

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

class TCupsSession {
 public:
  // Host: a host name or a local socket path.
  TCupsSession(std::string Host, int Port, int TimeoutMs);
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
  // The open connection for the library's own calls; null when none can be made.
  http_t* Connection();

  // "ipp://host:port/..." of a path on this server.
  std::string Uri(const std::string& Path) const;

 private:
  OsError Connect();
  void Disconnect();
  static int GiveUp(http_t* http, void* session);

  const std::string host_;
  const int port_;
  const int timeoutMs_;
  http_t* http_ = nullptr;
  bool timedOut_ = false;
  ipp_status_t status_ = IPP_STATUS_OK;
};
