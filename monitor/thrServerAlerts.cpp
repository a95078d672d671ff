#include "thrServerAlerts.h"

#include <chrono>

#include "Alerter.h"
#include "rtlFormat.h"
#include "thrServer.h"

namespace {

void Raise(const SpoolServerNotice& notice, Exception&& alert) {
  // The server's thread, when there is one, stays listed while held.
  THeldList held(ServerList());
  RouteToApplication(ServerList().FindByName(notice.Server), alert);
}

}  // namespace

void AlertServerNotice(const SpoolServerNotice& notice) {
  using std::chrono::duration_cast;
  switch (notice.Condition) {
    case SpoolServerCondition::Unreachable:
      Raise(notice, EAlertWarning(Format(SServerUnreachable, {notice.Server, notice.Text})));
      break;
    case SpoolServerCondition::Reachable:
      Raise(notice, EAlertInfo(Format(SServerReachable,
                                      {notice.Server, int32_t(duration_cast<std::chrono::seconds>(notice.Outage).count())})));
      break;
    case SpoolServerCondition::GivenUp:
      Raise(notice, EAlertSerious(Format(SServerGivenUp, {notice.Server,
                                                          int32_t(duration_cast<std::chrono::minutes>(notice.Outage).count()),
                                                          notice.Text})));
      break;
  }
}
