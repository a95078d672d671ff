#include "splCupsConfig.h"

#include <cups/cups.h>
#include <unistd.h>

#include <cstdlib>

CupsConfig CupsConfigFromEnvironment() {
  CupsConfig config;
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  config.LocalServer = std::string("\\\\") + host;
  const char* server = std::getenv("CUPS_SERVER");
  std::string endpoint = server && *server ? server : cupsServer();
  config.LocalPort = ippPort();
  const auto colon = endpoint.rfind(':');
  if (!endpoint.empty() && endpoint[0] != '/' && colon != std::string::npos &&
      endpoint.find(']', colon) == std::string::npos) {
    const int port = std::atoi(endpoint.c_str() + colon + 1);
    if (port > 0) config.LocalPort = port;
    endpoint.resize(colon);
  }
  config.LocalHost = endpoint;
  return config;
}
