#pragma once
// What report tests ask of a private cupsd (platform/spool's test kit):
// libcups pointed at it for a test's time, a job's attributes as the
// scheduler keeps them, and the wait for a job to complete.

#include <cups/cups.h>

#include <chrono>
#include <string>

#include "ppPrinterInfo.h"
#include "splPrivateCupsd.h"

// Points libcups at the private server for the test's time.
class TCupsServerScope {
public:
  explicit TCupsServerScope(const std::string& socket) { cupsSetServer(socket.c_str()); }
  ~TCupsServerScope() {
    cupsSetServer(nullptr);
    ppSetPrinterSource(nullptr);
  }
  TCupsServerScope(const TCupsServerScope&) = delete;
  TCupsServerScope& operator=(const TCupsServerScope&) = delete;
};

// A job's attribute as text (integers in decimal); "absent" when the job
// has none.
inline std::string JobAttribute(const std::string& socket, int jobId, const char* name) {
  http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
  if (http == nullptr) return "no connection";
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ipp_t* response = cupsDoRequest(http, request, "/jobs/");
  std::string value = "absent";
  if (ipp_attribute_t* attr = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr) {
    const ipp_tag_t tag = ippGetValueTag(attr);
    if (tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM) value = std::to_string(ippGetInteger(attr, 0));
    else value = ippGetString(attr, 0, nullptr) ? ippGetString(attr, 0, nullptr) : "";
  }
  ippDelete(response);
  httpClose(http);
  return value;
}

// The jobs of the queue that lpstat lists as completed.
inline std::string CompletedJobs(TPrivateCupsd& cupsd, const std::string& queue) {
  std::string completed;
  cupsd.Run({"lpstat", "-h", cupsd.Socket(), "-W", "completed", "-o", queue}, &completed);
  return completed;
}

// True once lpstat lists the job as completed; false after 30 seconds.
inline bool WaitUntilCompleted(TPrivateCupsd& cupsd, const std::string& queue, int jobId) {
  const std::string job = queue + "-" + std::to_string(jobId) + " ";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline)
    if (CompletedJobs(cupsd, queue).find(job) != std::string::npos) return true;
  return false;
}
