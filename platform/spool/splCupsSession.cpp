#include "splCupsSession.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "splConstants.h"

namespace {

// How often a waiting connect or request looks at the cancel flag.
constexpr int WaitSliceMs = 200;
// The first room for a response's body whose length is not told.
constexpr size_t ReadSliceBytes = 4096;
// The largest told length taken as the body's size at once.
constexpr off_t MaxToldBodyBytes = 16 << 20;

const char* NoPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

OsError RefusalError(ipp_status_t status) {
  switch (status) {
    case IPP_STATUS_ERROR_NOT_FOUND: return ERROR_INVALID_PRINTER_NAME;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED: return ERROR_ACCESS_DENIED;
    case IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED:
    case IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES: return ERROR_NOT_SUPPORTED;
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
    case IPP_STATUS_ERROR_CUPS_PKI:
    case IPP_STATUS_ERROR_INTERNAL: return RPC_S_SERVER_UNAVAILABLE;
    default: return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace

TCupsSession::TCupsSession(std::string Host, int Port, int TimeoutMs, const std::atomic<bool>* Cancel)
    : host_(std::move(Host)), port_(Port), timeoutMs_(TimeoutMs), cancel_(Cancel) {
  // The library's password prompt reads the terminal; a monitor must never wait there.
  cupsSetPasswordCB2(NoPassword, nullptr);
}

namespace {
thread_local std::string threadLastErrorText;
}  // namespace

TCupsSession::~TCupsSession() {
  if (!errorText_.empty()) threadLastErrorText = errorText_;
  Disconnect();
}

const std::string& TCupsSession::ThreadLastErrorText() { return threadLastErrorText; }

void TCupsSession::SetThreadLastErrorText(std::string Text) { threadLastErrorText = std::move(Text); }

void TCupsSession::Disconnect() {
  if (http_) httpClose(http_);
  http_ = nullptr;
}

int TCupsSession::KeepWaiting(http_t*, void* session) {
  auto* self = static_cast<TCupsSession*>(session);
  if (!self->Cancelled() && std::chrono::steady_clock::now() < self->deadline_) return 1;
  self->timedOut_ = true;
  return 0;
}

OsError TCupsSession::Connect() {
  if (http_) return ERROR_SUCCESS;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
  // In slices, so that a cancel is seen while a host does not answer.
  for (;;) {
    if (Cancelled()) {
      errorText_ = "cancelled";
      return ERROR_TIMEOUT;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const int slice = static_cast<int>(std::clamp<int64_t>(left.count(), 1, WaitSliceMs));
    errno = 0;
    http_ = httpConnect2(host_.c_str(), port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, slice, nullptr);
    if (http_) break;
    // The library's own words: errno no longer holds the connect's error
    // once the library has closed its socket.
    errorText_ = cupsLastErrorString();
    // A refused or missing endpoint answers at once; only a silent one,
    // which used up its slice, is tried again.
    const auto waited = std::chrono::steady_clock::now() - now;
    if (waited < std::chrono::milliseconds(slice / 2)) return RPC_S_SERVER_UNAVAILABLE;
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_TIMEOUT;
  }
  httpSetTimeout(http_, std::min(timeoutMs_, WaitSliceMs) / 1000.0, KeepWaiting, this);
  return ERROR_SUCCESS;
}

IppPtr TCupsSession::NewRequest(ipp_op_t Op, const std::string& Path) const {
  IppPtr request(ippNewRequest(Op));
  if (!Path.empty())
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, Uri(Path).c_str());
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

OsError TCupsSession::Do(IppPtr Request, const char* Resource, IppPtr& Response) {
  Response.reset();
  status_ = IPP_STATUS_OK;
  errorText_.clear();
  if (const OsError e = Connect()) {
    status_ = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    return e;
  }
  timedOut_ = false;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
  Response = Exchange(Request.get(), Resource);
  if (Response) {
    status_ = ippGetStatusCode(Response.get());
    if (status_ <= IPP_STATUS_OK_EVENTS_COMPLETE) return ERROR_SUCCESS;
    ipp_attribute_t* message = ippFindAttribute(Response.get(), "status-message", IPP_TAG_TEXT);
    const char* text = message ? ippGetString(message, 0, nullptr) : nullptr;
    errorText_ = text ? text : ippErrorString(status_);
    Response.reset();
    return RefusalError(status_);
  }
  // No IPP answer: either the HTTP layer refused, or the connection is in
  // an unknown state and the next request reconnects.
  const OsError refusal = RefusalError(status_);
  if (!timedOut_ && (refusal == ERROR_ACCESS_DENIED || refusal == ERROR_INVALID_PRINTER_NAME)) return refusal;
  Disconnect();
  if (timedOut_) return ERROR_TIMEOUT;
  if (status_ < IPP_STATUS_ERROR_BAD_REQUEST) status_ = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  return RPC_S_SERVER_UNAVAILABLE;
}

namespace {

// What an HTTP refusal means in IPP terms.
ipp_status_t HttpRefusal(http_status_t status) {
  switch (status) {
    case HTTP_STATUS_NOT_FOUND: return IPP_STATUS_ERROR_NOT_FOUND;
    case HTTP_STATUS_UNAUTHORIZED: return IPP_STATUS_ERROR_NOT_AUTHORIZED;
    case HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED: return IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED;
    case HTTP_STATUS_FORBIDDEN: return IPP_STATUS_ERROR_FORBIDDEN;
    case HTTP_STATUS_BAD_REQUEST: return IPP_STATUS_ERROR_BAD_REQUEST;
    case HTTP_STATUS_REQUEST_TOO_LARGE: return IPP_STATUS_ERROR_REQUEST_VALUE;
    case HTTP_STATUS_NOT_IMPLEMENTED: return IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED;
    case HTTP_STATUS_NOT_SUPPORTED: return IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED;
    case HTTP_STATUS_UPGRADE_REQUIRED: return IPP_STATUS_ERROR_CUPS_UPGRADE_REQUIRED;
    case HTTP_STATUS_CUPS_PKI_ERROR: return IPP_STATUS_ERROR_CUPS_PKI;
    default: return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  }
}

struct TMemoryReader {
  const std::string& Body;
  size_t Offset = 0;
};

ssize_t ReadFromMemory(void* context, ipp_uchar_t* buffer, size_t bytes) {
  auto& reader = *static_cast<TMemoryReader*>(context);
  const size_t n = std::min(bytes, reader.Body.size() - reader.Offset);
  std::memcpy(buffer, reader.Body.data() + reader.Offset, n);
  reader.Offset += n;
  return static_cast<ssize_t>(n);
}

}  // namespace

// The library's own reading of a response asks the socket for each few
// bytes of each attribute, two polls and a receive apiece: the body is
// taken whole in large reads instead and parsed from memory.
IppPtr TCupsSession::Exchange(ipp_t* Request, const char* Resource) {
  // One more round after the library has found the credentials asked for.
  for (int round = 0; round < 3; ++round) {
    http_status_t status = cupsSendRequest(http_, Request, Resource, ippLength(Request));
    if (status == HTTP_STATUS_CONTINUE || status == HTTP_STATUS_OK) {
      do status = httpUpdate(http_);
      while (status == HTTP_STATUS_CONTINUE);
    }
    if (status == HTTP_STATUS_OK) {
      // Into the body itself, sized by the answer's length where it has one:
      // a large buffer on the stack or the heap would be touched, and kept,
      // by every printer thread that asks the server once.
      const off_t length = httpGetLength2(http_);
      // A body read until the connection closes tells a huge length.
      const bool told = length > 0 && length <= MaxToldBodyBytes;
      std::string body(told ? static_cast<size_t>(length) + 1 : ReadSliceBytes, '\0');
      size_t used = 0;
      ssize_t n;
      do {
        if (used == body.size()) body.resize(2 * body.size());
        n = httpRead2(http_, body.data() + used, body.size() - used);
        if (n > 0) used += static_cast<size_t>(n);
      } while (n > 0);
      body.resize(used);
      IppPtr response(ippNew());
      TMemoryReader reader{body};
      ipp_state_t state;
      while ((state = ippReadIO(&reader, ReadFromMemory, 1, nullptr, response.get())) != IPP_STATE_DATA)
        if (state == IPP_STATE_ERROR) break;
      if (n == 0 && state == IPP_STATE_DATA) return response;
      status_ = IPP_STATUS_ERROR_INTERNAL;
      errorText_ = n < 0 ? std::strerror(httpError(http_)) : "The print server's answer could not be read.";
      return nullptr;
    }
    if (status == HTTP_STATUS_ERROR) {
      status_ = IPP_STATUS_ERROR_INTERNAL;
      const int error = httpError(http_);
      errorText_ = error ? std::strerror(error) : httpStatus(status);
      return nullptr;
    }
    httpFlush(http_);
    status_ = HttpRefusal(status);
    errorText_ = httpStatus(status);
    if (status != HTTP_STATUS_UNAUTHORIZED || cupsDoAuthentication(http_, "POST", Resource) != 0) return nullptr;
    if (httpGetState(http_) != HTTP_STATE_WAITING && httpReconnect2(http_, timeoutMs_, nullptr) != 0) return nullptr;
  }
  return nullptr;
}

http_t* TCupsSession::Connection() { return Connect() == ERROR_SUCCESS ? http_ : nullptr; }

std::string TCupsSession::Uri(const std::string& Path) const {
  char uri[1024];
  const bool socket = !host_.empty() && host_[0] == '/';
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, socket ? "localhost" : host_.c_str(), port_,
                  Path.c_str());
  return uri;
}
