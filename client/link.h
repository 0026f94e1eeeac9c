// One TCP connection to the server: the socket, its wake-up event, the send and receive locks
// and a read-ahead buffer that the receive thread and a waiting ping share. Internal to the
// session library.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "client/wire.h"

namespace kestrune {

class Link {
 public:
  using Clock = std::chrono::steady_clock;

  enum class SendResult { kSent, kBusy, kFailed };
  enum class Peek { kData, kNothing, kClosed, kError };
  enum class ReadResult { kPacket, kTooLong, kFailed };

  Link();
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Takes ownership of a connected socket and makes it non-blocking. False (with lastError)
  // when the switch fails.
  bool adopt(int fd);
  bool hasSocket() const { return fd_.load() >= 0; }

  // Sends all n bytes under sendLock: up to 100 "would block" results, each after a short
  // readiness poll, make kBusy; any other error kFailed. No socket is a failure, not a success.
  SendResult sendAll(const std::uint8_t* bytes, std::size_t n);

  // The receive side; every *Locked call needs recvLock held by the caller.
  std::timed_mutex& recvLock() { return recvLock_; }
  // Is at least one byte waiting? Fills the read-ahead buffer from the socket when it is empty.
  Peek peekLocked();
  // Reads one whole packet into `packet` (header, body, NUL: kMaxPacketLength + 1 bytes).
  // Once a packet has begun, "would block" waits for the rest of it (until `deadline`, or
  // until the link is stopped) so that the stream never falls out of step. A length above
  // 135 gives kTooLong without reading further.
  ReadResult readPacketLocked(std::uint8_t* packet, PacketHeader& header,
                              Clock::time_point deadline);

  // Idle wait of the receive thread: until data may have arrived, the link is stopped, or
  // `timeoutMs` passed.
  void waitForData(int timeoutMs);
  // Signals the wake-up event; it stays signalled, as it is only used once `connected` is clear.
  void wake();

  // Shuts the socket down both ways and closes it. False when there was none.
  bool closeLink();

  std::atomic<bool> connected{false};
  std::atomic<int> lastError{0};

  // The receive thread of this link; joined (or, from inside itself, detached) by reap().
  void startThread(std::thread thread);
  void reap();

 private:
  bool fillLocked();  // false on error/closed with lastError set; true when bytes were added
  bool waitReadable(Clock::time_point deadline);  // false when stopped or timed out

  std::atomic<int> fd_{-1};
  int wakeFd_ = -1;
  std::mutex sendLock_;
  std::timed_mutex recvLock_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool lastFillClosed_ = false;

  mutable std::mutex threadMutex_;
  std::thread thread_;
};

}  // namespace kestrune
