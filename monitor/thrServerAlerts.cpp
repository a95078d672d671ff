#include "thrServerAlerts.h"

#include <chrono>

#include "rtlFormat.h"
#include "thrServer.h"
#include "uAlerter.h"

namespace {

void Raise(const SpoolServerNotice& Notice, Exception&& Alert) {
  // The server's thread, when there is one, stays listed while held.
  THeldList held(ServerList());
  RouteToApplication(ServerList().FindByName(Notice.Server), Alert);
}

}  // namespace

void AlertServerNotice(const SpoolServerNotice& Notice) {
  using std::chrono::duration_cast;
  switch (Notice.Condition) {
    case SpoolServerCondition::Unreachable:
      Raise(Notice, EAlertWarning(Format(SServerUnreachable, {Notice.Server, Notice.Text})));
      break;
    case SpoolServerCondition::Reachable:
      Raise(Notice, EAlertInfo(Format(SServerReachable,
                                      {Notice.Server, int32_t(duration_cast<std::chrono::seconds>(Notice.Outage).count())})));
      break;
    case SpoolServerCondition::GivenUp:
      Raise(Notice, EAlertSerious(Format(SServerGivenUp, {Notice.Server,
                                                          int32_t(duration_cast<std::chrono::minutes>(Notice.Outage).count()),
                                                          Notice.Text})));
      break;
  }
}
