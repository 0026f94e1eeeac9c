#include "client/link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "client/socket_errors.h"

namespace kestrune {
namespace {

// Large enough to take a whole socket buffer (32000 bytes) in one call.
constexpr std::size_t kReadAhead = 64 * 1024;
constexpr int kSendRetries = 100;
constexpr int kWritablePolls = 100;

int lastSocketError() { return socketErrorFromErrno(errno); }

}  // namespace

Link::Link() : buffer_(kReadAhead) { wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

Link::~Link() {
  closeLink();
  reap();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool Link::adopt(int fd) {
  fd_.store(fd);
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    lastError = lastSocketError();
    return false;
  }
  return true;
}

Link::SendResult Link::sendAll(const std::uint8_t* bytes, std::size_t n) {
  std::lock_guard<std::mutex> lock(sendLock_);
  const int fd = fd_.load();
  if (fd < 0) {
    lastError = -1;
    return SendResult::kFailed;
  }
  std::size_t sent = 0;
  int wouldBlocks = 0;
  while (sent < n) {
    if (wouldBlocks >= kSendRetries) return SendResult::kBusy;  // lastError stays 10035
    pollfd pfd{fd, POLLOUT, 0};
    const timespec step{0, 10'000};  // 10 us per readiness poll
    for (int i = 0; i < kWritablePolls; ++i) {
      if (::ppoll(&pfd, 1, &step, nullptr) != 0) break;
    }
    const ssize_t r = ::send(fd, bytes + sent, n - sent, MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR) continue;
      lastError = lastSocketError();
      if (isRetryableSocketError(lastError)) {
        ++wouldBlocks;
        continue;
      }
      return SendResult::kFailed;
    }
    sent += static_cast<std::size_t>(r);
  }
  return SendResult::kSent;
}

bool Link::fillLocked() {
  const int fd = fd_.load();
  if (fd < 0) {
    lastError = -1;
    return false;
  }
  if (begin_ == end_) begin_ = end_ = 0;
  if (end_ == buffer_.size()) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  lastFillClosed_ = false;
  for (;;) {
    const ssize_t r = ::recv(fd, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (r > 0) {
      end_ += static_cast<std::size_t>(r);
      return true;
    }
    if (r == 0) {
      lastFillClosed_ = true;
      lastError = kSockConnAborted;
      return false;
    }
    if (errno == EINTR) continue;
    lastError = lastSocketError();
    return false;
  }
}

Link::Peek Link::peekLocked() {
  if (begin_ != end_) return Peek::kData;
  if (fillLocked()) return Peek::kData;
  if (lastFillClosed_) return Peek::kClosed;
  return isRetryableSocketError(lastError) ? Peek::kNothing : Peek::kError;
}

bool Link::waitReadable(Clock::time_point deadline) {
  for (;;) {
    if (!connected.load()) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd pfds[2] = {{fd_.load(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int timeout = static_cast<int>(std::min<long long>(left.count() + 1, 10'000));
    const int r = ::poll(pfds, 2, timeout);
    if (r < 0 && errno != EINTR) return false;
    if (pfds[0].revents != 0) return true;
  }
}

Link::ReadResult Link::readPacketLocked(std::uint8_t* packet, PacketHeader& header,
                                        Clock::time_point deadline) {
  auto readExact = [&](std::uint8_t* out, std::size_t n) {
    while (n > 0) {
      if (begin_ == end_) {
        if (fillLocked()) continue;
        if (lastFillClosed_ || !isRetryableSocketError(lastError)) return false;
        // The rest of this packet is on its way: wait for it rather than lose step.
        if (!waitReadable(deadline)) {
          lastError = connected.load() ? kSockTimedOut : kSockWouldBlock;
          return false;
        }
        continue;
      }
      const std::size_t take = std::min(n, end_ - begin_);
      std::memcpy(out, buffer_.data() + begin_, take);
      begin_ += take;
      out += take;
      n -= take;
    }
    return true;
  };
  if (!readExact(packet, kHeaderSize)) return ReadResult::kFailed;
  header = PacketHeader::parse(packet);
  if (header.tooLong()) return ReadResult::kTooLong;
  const std::size_t body = header.bodyLength();
  if (body > 0 && !readExact(packet + kHeaderSize, body)) return ReadResult::kFailed;
  packet[kHeaderSize + body] = 0;
  return ReadResult::kPacket;
}

void Link::waitForData(int timeoutMs) {
  if (!connected.load()) return;
  pollfd pfds[2] = {{fd_.load(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  ::poll(pfds, 2, timeoutMs);
}

void Link::wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

bool Link::closeLink() {
  std::lock_guard<std::mutex> sendLock(sendLock_);
  std::lock_guard<std::timed_mutex> recvLock(recvLock_);
  const int fd = fd_.exchange(-1);
  if (fd < 0) {
    lastError = -1;
    return false;
  }
  ::shutdown(fd, SHUT_RDWR);
  begin_ = end_ = 0;
  if (::close(fd) != 0) {
    lastError = lastSocketError();
    return false;
  }
  return true;
}

void Link::startThread(std::thread thread) {
  std::lock_guard<std::mutex> lock(threadMutex_);
  thread_ = std::move(thread);
}

void Link::reap() {
  std::lock_guard<std::mutex> lock(threadMutex_);
  if (!thread_.joinable()) return;
  // A thread never joins itself: from inside, let it run out on its own.
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace kestrune
