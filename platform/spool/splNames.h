#pragma once
// Windows-style spooler names: a server "\\HOST", a printer "\\HOST\queue".

#include <optional>
#include <string>

// Equal without regard to ASCII case, as the spooler compares names.
bool SameSpoolName(const std::string& a, const std::string& b);
// The name with ASCII letters lowered: a key that SameSpoolName names share.
std::string LowerSpoolName(std::string Name);

struct SpoolName {
  std::string Server;  // "\\HOST"
  std::string Queue;   // empty for a server name
};

// nullopt unless Name is "\\HOST" or "\\HOST\queue" with non-empty parts.
std::optional<SpoolName> ParseSpoolName(const std::string& Name);

// "\\HOST" + "\" + queue.
std::string PrinterFullName(const std::string& Server, const std::string& Queue);

// The HOST of "\\HOST".
std::string ServerHost(const std::string& Server);
