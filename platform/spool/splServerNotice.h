#pragma once
// What a back end tells its owner about a print server it watches, beside
// the change notifications: the server stopped answering, answers again, or
// stayed away so long that its notifications were failed. A watched server
// that stops answering keeps its notifications open and quiet; when it
// answers again its queues are read in full and the jobs that ended
// meanwhile are reported as if they had been seen.

#include <chrono>
#include <functional>
#include <string>

#include "splConstants.h"

enum class SpoolServerCondition : uint8_t {
  Unreachable,  // once per outage, with the server's own error text
  Reachable,    // the outage is over
  GivenUp,      // past the outage limit: the server's notifications fail
};

struct SpoolServerNotice {
  std::string Server;
  SpoolServerCondition Condition = SpoolServerCondition::Unreachable;
  OsError Error = ERROR_SUCCESS;
  // Unreachable and GivenUp: what the server's client library said.
  std::string Text;
  // Reachable and GivenUp: how long the server was away.
  std::chrono::milliseconds Outage{0};
};

// Called on a back end's own thread, with no lock of the spooler held.
using SpoolServerNoticeHandler = std::function<void(const SpoolServerNotice&)>;

// The waits between the looks at a server that does not answer: from First
// doubling up to Max, and the time after which the watch gives up. Time is
// passed in, so the schedule is the same under any clock.
class TSpoolOutage {
 public:
  using Clock = std::chrono::steady_clock;

  TSpoolOutage(std::chrono::milliseconds First, std::chrono::milliseconds Max, std::chrono::milliseconds Limit);

  // A look failed at Now: true when that began an outage (report it).
  bool Failed(Clock::time_point Now);
  bool InOutage() const { return inOutage_; }
  // In an outage that has lasted the limit or longer.
  bool Expired(Clock::time_point Now) const;
  // Ends the outage (the server answered, or the watch gave up) and
  // returns how long it lasted. Only in an outage.
  std::chrono::milliseconds End(Clock::time_point Now);
  // The wait before the next look: First outside an outage, else the
  // doubled wait of the outage so far, at most Max.
  std::chrono::milliseconds NextWait() const { return inOutage_ ? wait_ : first_; }

 private:
  const std::chrono::milliseconds first_;
  const std::chrono::milliseconds max_;
  const std::chrono::milliseconds limit_;
  bool inOutage_ = false;
  Clock::time_point since_;
  std::chrono::milliseconds wait_;
};
