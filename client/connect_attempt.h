// One attempt to reach the server: name lookup and connect, each bounded by the attempt's deadline
// and ended at once by cancel() from any other thread. Internal to the session library.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace kestrune {

inline constexpr int kSockCancelled = 10004;

// Looks a host up: 0 and its first IPv4 address, or a socket error number (11001 not found ...).
// May block for as long as the system's resolver takes.
using Resolver = int (*)(const std::string& host, in_addr& out);
int systemResolver(const std::string& host, in_addr& out);

class ConnectAttempt {
 public:
  using Clock = std::chrono::steady_clock;

  ConnectAttempt(Clock::time_point deadline, Resolver resolver);
  ~ConnectAttempt();
  ConnectAttempt(const ConnectAttempt&) = delete;
  ConnectAttempt& operator=(const ConnectAttempt&) = delete;

  // Any thread: the attempt's waits end now, with 10004.
  void cancel();
  bool cancelled() const { return cancelled_.load(); }

  // Each returns 0 or a socket error number: 10004 when cancelled, 10060 when the deadline
  // passed. A host name is looked up on a helper thread of its own that nobody waits for once
  // the attempt is over, so a resolver that hangs holds up neither the attempt nor its caller.
  // At most one lookup per host name is under way in the process: a later attempt for a name
  // whose lookup still hangs waits for that one instead of starting another, so reconnecting
  // every few seconds to a host whose name server never answers costs one thread, not one each.
  int resolve(const std::string& host, in_addr& out);
  // fd is a non-blocking TCP socket.
  int connect(int fd, const sockaddr_in& addr);
  // After the connect: waits until the server's first packet header (its login request) has come,
  // leaving it unread for the receive thread. A server that accepts and then says nothing ends
  // the attempt at `deadline` with 10060, as a connect that timed out.
  int awaitFirstHeader(int fd, std::size_t headerSize, Clock::time_point deadline);

 private:
  // 0 once fd shows one of events, else 10004 or 10060 (at `deadline`).
  int waitFor(int fd, short events, Clock::time_point deadline);

  const Clock::time_point deadline_;
  const Resolver resolver_;
  int cancelFd_ = -1;
  std::atomic<bool> cancelled_{false};
};

}  // namespace kestrune
