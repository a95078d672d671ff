#include "splSocketRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

int Connect(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// Passes what one end has to the other; false when either end is gone.
bool Pass(int from, int to) {
  char buffer[65536];
  const ssize_t got = ::read(from, buffer, sizeof buffer);
  if (got <= 0) return false;
  for (ssize_t sent = 0; sent < got;) {
    const ssize_t n = ::send(to, buffer + sent, size_t(got - sent), MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

struct TCarried {
  int Client;
  int Daemon;
  int Number;
};

}  // namespace

TSocketRelay::TSocketRelay(std::string Target, std::string Path) : target_(std::move(Target)), path_(std::move(Path)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path || ::pipe2(wake_, O_CLOEXEC) != 0) return;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  ::unlink(path_.c_str());
  listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ >= 0 && (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                         ::listen(listener_, 64) != 0)) {
    ::close(listener_);
    listener_ = -1;
  }
  if (listener_ >= 0) thread_ = std::thread([this] { Run(); });
}

TSocketRelay::~TSocketRelay() {
  if (thread_.joinable()) {
    const char stop = 0;
    (void)::write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (const int fd : {listener_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
  ::unlink(path_.c_str());
}

void TSocketRelay::DropNextRequest() { dropBefore_ = accepted_.load(); }

void TSocketRelay::Run() {
  std::vector<TCarried> carried;
  auto close = [&](size_t i) {
    ::close(carried[i].Client);
    ::close(carried[i].Daemon);
    carried.erase(carried.begin() + std::ptrdiff_t(i));
  };
  for (;;) {
    std::vector<pollfd> watched = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const TCarried& c : carried) {
      watched.push_back({c.Client, POLLIN, 0});
      watched.push_back({c.Daemon, POLLIN, 0});
    }
    if (::poll(watched.data(), watched.size(), -1) < 0) continue;
    if (watched[0].revents) break;
    // From the back, so that closing one keeps the indexes of the rest.
    for (size_t i = carried.size(); i-- > 0;) {
      const short fromClient = watched[2 + 2 * i].revents;
      const short fromDaemon = watched[3 + 2 * i].revents;
      if (fromClient && carried[i].Number <= dropBefore_) {
        dropBefore_ = 0;
        ++dropped_;
        close(i);
      } else if ((fromClient && !Pass(carried[i].Client, carried[i].Daemon)) ||
                 (fromDaemon && !Pass(carried[i].Daemon, carried[i].Client))) {
        close(i);
      }
    }
    if (watched[1].revents) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const int daemon = Connect(target_);
      if (daemon < 0) {
        ::close(client);
        continue;
      }
      carried.push_back({client, daemon, ++accepted_});
    }
  }
  while (!carried.empty()) close(carried.size() - 1);
}
