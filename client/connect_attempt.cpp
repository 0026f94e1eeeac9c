#include "client/connect_attempt.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "client/socket_errors.h"

namespace kestrune {
namespace {

void signal(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t r = ::write(fd, &one, sizeof one);
}

// The result of one lookup, shared by the attempts waiting for it and the helper thread doing it:
// whichever lets go last frees it, so an attempt that gave up never waits for the helper. The
// event stays signalled once done, so any number of attempts can wait on it.
struct Lookup {
  Lookup() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Lookup() {
    if (doneFd >= 0) ::close(doneFd);
  }
  const int doneFd;
  std::mutex lock;
  int error = 0;
  in_addr addr{};
};

// The lookups under way, by host name: one at a time per name.
std::mutex g_lookupsLock;
std::map<std::string, std::shared_ptr<Lookup>>& lookupsUnderWay() {
  static auto* lookups = new std::map<std::string, std::shared_ptr<Lookup>>;
  return *lookups;
}

}  // namespace

int systemResolver(const std::string& host, in_addr& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int gai = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  const int err = errno;
  if (gai != 0 || found == nullptr) {
    if (found != nullptr) ::freeaddrinfo(found);
    return gai != 0 ? socketErrorFromResolver(gai, err) : 11004;
  }
  sockaddr_in addr{};
  std::memcpy(&addr, found->ai_addr, sizeof addr);
  ::freeaddrinfo(found);
  out = addr.sin_addr;
  return 0;
}

ConnectAttempt::ConnectAttempt(Clock::time_point deadline, Resolver resolver)
    : deadline_(deadline),
      resolver_(resolver ? resolver : &systemResolver),
      cancelFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ConnectAttempt::~ConnectAttempt() {
  if (cancelFd_ >= 0) ::close(cancelFd_);
}

void ConnectAttempt::cancel() {
  cancelled_.store(true);
  if (cancelFd_ >= 0) signal(cancelFd_);
}

int ConnectAttempt::waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    if (cancelled()) return kSockCancelled;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return kSockTimedOut;
    pollfd pfds[2] = {{fd, events, 0}, {cancelFd_, POLLIN, 0}};
    const int r = ::poll(pfds, 2, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (r < 0 && errno != EINTR) return socketErrorFromErrno(errno);
    if (r > 0 && pfds[0].revents != 0 && !cancelled()) return 0;
  }
}

int ConnectAttempt::resolve(const std::string& host, in_addr& out) {
  // A dotted address needs no lookup.
  if (::inet_aton(host.c_str(), &out) != 0) return 0;
  if (cancelled()) return kSockCancelled;
  std::shared_ptr<Lookup> lookup;
  {
    std::lock_guard<std::mutex> guard(g_lookupsLock);
    auto& underWay = lookupsUnderWay();
    if (auto it = underWay.find(host); it != underWay.end()) {
      lookup = it->second;  // still under way: wait for that one
    } else {
      lookup = std::make_shared<Lookup>();
      if (lookup->doneFd < 0) return socketErrorFromErrno(errno);
      try {
        std::thread([lookup, host, resolver = resolver_] {
          in_addr addr{};
          const int error = resolver(host, addr);
          {
            std::lock_guard<std::mutex> result(lookup->lock);
            lookup->error = error;
            lookup->addr = addr;
          }
          {
            std::lock_guard<std::mutex> done(g_lookupsLock);
            auto& all = lookupsUnderWay();
            if (auto it = all.find(host); it != all.end() && it->second == lookup) all.erase(it);
          }
          signal(lookup->doneFd);
        }).detach();
      } catch (const std::system_error&) {
        return socketErrorFromErrno(ENOBUFS);  // no thread to be had
      }
      underWay.emplace(host, lookup);
    }
  }
  const int waited = waitFor(lookup->doneFd, POLLIN, deadline_);
  if (waited != 0) return waited;
  std::lock_guard<std::mutex> guard(lookup->lock);
  out = lookup->addr;
  return lookup->error;
}

int ConnectAttempt::connect(int fd, const sockaddr_in& addr) {
  if (cancelled()) return kSockCancelled;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
  // Interrupted or not, a non-blocking connect goes on by itself: wait for its outcome.
  if (errno != EINPROGRESS && errno != EINTR) return socketErrorFromErrno(errno);
  const int waited = waitFor(fd, POLLOUT, deadline_);
  if (waited != 0) return waited;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return socketErrorFromErrno(errno);
  }
  return error == 0 ? 0 : socketErrorFromErrno(error);
}

int ConnectAttempt::awaitFirstHeader(int fd, std::size_t headerSize, Clock::time_point deadline) {
  std::uint8_t header[64];
  headerSize = std::min(headerSize, sizeof header);
  for (;;) {
    if (cancelled()) return kSockCancelled;
    const ssize_t r = ::recv(fd, header, headerSize, MSG_PEEK);
    if (r >= static_cast<ssize_t>(headerSize)) return 0;
    if (r == 0) return kSockConnAborted;  // the server closed before it asked for the login
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return socketErrorFromErrno(errno);
      const int waited = waitFor(fd, POLLIN, deadline);
      if (waited != 0) return waited;
      continue;
    }
    // Part of the header is there: the socket stays readable, so look again a little later.
    if (Clock::now() >= deadline) return kSockTimedOut;
    pollfd cancel{cancelFd_, POLLIN, 0};
    ::poll(&cancel, 1, 10);
  }
}

}  // namespace kestrune
