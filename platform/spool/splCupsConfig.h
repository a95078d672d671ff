#pragma once
// Where the CUPS back end finds its servers and how long it waits.

#include <cstdint>
#include <functional>
#include <string>

struct CupsConfig {
  // The local print server's Windows-style name, "\\" + the host name.
  std::string LocalServer;
  // The CUPS server behind LocalServer: a host name or a local socket path.
  std::string LocalHost;
  int LocalPort = 631;
  // Remote servers "\\HOST" are reached at ipp://HOST:RemotePort.
  int RemotePort = 631;
  // Bound of every connect and request.
  int RequestTimeoutMs = 10000;
  // Between two looks for changes of a watched server. A finished job
  // waits for the next look: 200 ms keeps its row within about a quarter
  // of a second (median) and the idle watch near 0.1% of one core.
  int PollIntervalMs = 200;
  // While a watched server does not answer, the looks come from
  // PollIntervalMs doubling up to RetryMaxMs apart. After OutageLimitMs
  // the watch gives up: the server's notifications fail. A restart takes
  // seconds, so the limit is hours.
  int RetryMaxMs = 15000;
  int64_t OutageLimitMs = 4 * 3600 * 1000;
  // Lease of the change subscriptions, renewed at half time.
  int LeaseSeconds = 600;
  // For tests: runs on a server watch's look between its two reads of the
  // job lists, where a job may begin and end unseen by the first.
  std::function<void()> AfterFirstJobRead;
};

// LocalServer from the host name; LocalHost and LocalPort from CUPS_SERVER
// ("host", "host:port" or "/socket") when set, else from the CUPS client
// configuration.
CupsConfig CupsConfigFromEnvironment();
