#include "osSingleInstance.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "osProgram.h"
#include "rtlExceptions.h"

namespace {

constexpr char kShowRequest[] = "SHOW\n";
constexpr char kShownReply[] = "SHOWN\n";
constexpr char kNotShownReply[] = "NONE\n";
// A peer that sends or answers nothing within this time is given up.
constexpr int kExchangeTimeoutMs = 5000;
// The holder takes the lock a moment before its socket listens.
constexpr auto kConnectPatience = std::chrono::seconds(2);

[[noreturn]] void RaiseError(const char* action, const std::string& path, int error) {
  throw EOSError(Format("Cannot %s \"%s\": %s", {action, path, SysErrorMessage(error)}),
                 static_cast<uint32_t>(error));
}

void CheckPrivateFolder(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) RaiseError("open", path, errno);
  if (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 077) != 0)
    RaiseError("use", path, EPERM);
}

sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) RaiseError("use", path, ENAMETOOLONG);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

int NewSocket() {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseError("open", "local socket", errno);
  return fd;
}

bool WaitReady(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  int result;
  do {
    result = poll(&entry, 1, timeoutMs);
  } while (result < 0 && errno == EINTR);
  return result > 0;
}

// Reads one short line ending in '\n'; empty when the peer is slow or gone.
std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (line.size() < 16 && WaitReady(fd, POLLIN, kExchangeTimeoutMs)) {
    ssize_t count = read(fd, &c, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return {};
    line += c;
    if (c == '\n') return line;
  }
  return {};
}

bool WriteText(int fd, const char* text) {
  size_t length = std::strlen(text);
  return send(fd, text, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

TInstanceClaim AskHolderToShow(const std::string& socketPath) {
  sockaddr_un address = SocketAddress(socketPath);
  auto deadline = std::chrono::steady_clock::now() + kConnectPatience;
  for (;;) {
    int fd = NewSocket();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      bool shown = WriteText(fd, kShowRequest) && ReadLine(fd) == kShownReply;
      close(fd);
      return shown ? TInstanceClaim::ShownOther : TInstanceClaim::OtherNotFound;
    }
    int error = errno;
    close(fd);
    if ((error != ENOENT && error != ECONNREFUSED) || std::chrono::steady_clock::now() > deadline)
      return TInstanceClaim::OtherNotFound;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return runtime;
  std::string folder = Format("/tmp/orvelle-%u", {static_cast<unsigned>(getuid())});
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) RaiseError("create", folder, errno);
  CheckPrivateFolder(folder);
  return folder;
}

// Serves show requests on its own thread until destroyed.
class TSingleInstance::TListener {
public:
  explicit TListener(const std::string& path) : socketPath(path) {
    sockaddr_un address = SocketAddress(path);
    listenFd = NewSocket();
    unlink(path.c_str());  // left by a holder that died; we hold the lock now
    if (bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd, 8) != 0) {
      int error = errno;
      close(listenFd);
      RaiseError("listen on", path, error);
    }
    stopFd = eventfd(0, EFD_CLOEXEC);
    if (stopFd < 0) {
      int error = errno;
      close(listenFd);
      unlink(path.c_str());
      RaiseError("listen on", path, error);
    }
    thread = std::thread([this] { Serve(); });
  }

  ~TListener() {
    uint64_t one = 1;
    (void)!write(stopFd, &one, sizeof one);
    thread.join();
    close(listenFd);
    close(stopFd);
    unlink(socketPath.c_str());
  }

  void SetHandler(std::function<void()> newHandler) {
    std::lock_guard<std::mutex> guard(handlerMutex);
    handler = std::move(newHandler);
  }

private:
  std::string socketPath;
  int listenFd = -1;
  int stopFd = -1;
  std::thread thread;
  std::mutex handlerMutex;
  std::function<void()> handler;

  void Serve() {
    for (;;) {
      pollfd entries[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
      if (poll(entries, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (entries[1].revents) return;
      int peer = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0) continue;
      if (ReadLine(peer) == kShowRequest) WriteText(peer, Show() ? kShownReply : kNotShownReply);
      close(peer);
    }
  }

  bool Show() {
    std::function<void()> current;
    {
      std::lock_guard<std::mutex> guard(handlerMutex);
      current = handler;
    }
    if (!current) return false;
    current();
    return true;
  }
};

TSingleInstance::TSingleInstance(const std::string& mutexName) {
  std::string base = RuntimeFolder() + "/" + mutexName;
  std::string lockPath = base + ".lock";
  lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) RaiseError("open", lockPath, errno);
  int locked;
  do {
    locked = flock(lockFd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    int error = errno;
    close(lockFd);
    lockFd = -1;
    if (error != EWOULDBLOCK) RaiseError("lock", lockPath, error);
    claim = AskHolderToShow(base + ".sock");
    return;
  }
  try {
    listener = std::make_unique<TListener>(base + ".sock");
  } catch (...) {
    close(lockFd);
    throw;
  }
  claim = TInstanceClaim::First;
}

TSingleInstance::~TSingleInstance() {
  listener.reset();  // before the lock goes, so no later holder's socket is removed
  if (lockFd >= 0) close(lockFd);
}

void TSingleInstance::SetShowHandler(std::function<void()> handler) {
  if (listener) listener->SetHandler(std::move(handler));
}
