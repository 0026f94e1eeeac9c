// The library-wide state behind the exported QvS_HFT_* functions: login values, the status
// callback, packet protection, and the one current link with its receive thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "client/connect_attempt.h"
#include "client/link.h"
#include "client/qvs_hft.h"

namespace kestrune {

class Session {
 public:
  static Session& instance();

  std::uint8_t setStatusCallback(StatusCallback callback);
  std::uint8_t setParms(const char* host, std::int32_t port);
  std::uint8_t setUser(const char* user, const char* password, std::uint8_t clientType,
                       const char* appVersion);
  std::uint8_t setTimeout(std::uint16_t pollMs, std::uint16_t check);
  std::uint8_t start();
  std::uint8_t stop();
  std::uint8_t enableCrc(std::uint8_t mode);
  std::uint8_t ping(std::uint8_t waitReply, std::uint8_t* result);

  // How long one Start may take to reach the server (lookup and connect), and how host names are
  // looked up. Tests shorten the one and replace the other; the program keeps the defaults.
  void setConnectTimeout(std::chrono::milliseconds timeout);
  void setResolver(Resolver resolver);
  // How long after the connect the server may take to ask for the login, and how long the rest of
  // a packet may take once it has begun. Tests shorten them; the program keeps the defaults.
  void setLoginTimeout(std::chrono::milliseconds timeout);
  void setPacketTimeout(std::chrono::milliseconds timeout);

 private:
  Session() = default;

  void report(int type, int kind, const char* text);
  std::shared_ptr<Link> current();
  std::uint8_t stopLink(const std::shared_ptr<Link>& link);
  void receiveThread(std::shared_ptr<Link> link);
  void dispatch(Link& link, const PacketHeader& header, const char* body);
  bool sendLogin(Link& link);
  // Header-only packet (or a ping with its one body byte), protected per the current setting.
  Link::SendResult sendCommand(Link& link, std::uint16_t type, const std::uint8_t* body,
                               std::size_t bodyLength);
  // 0 or the socket error number; fd stays -1 when none was made.
  int connectSocket(ConnectAttempt& attempt, int& fd);

  std::mutex paramsMutex_;
  std::string host_;
  std::int32_t port_ = 0;
  std::string user_;
  std::string password_;
  std::uint8_t clientType_ = 0;
  std::string appVersion_;

  std::atomic<StatusCallback> callback_{nullptr};
  std::atomic<bool> callbackSet_{false};
  std::atomic<bool> crcEnabled_{true};
  std::atomic<std::uint16_t> pollIntervalMs_{10};

  std::atomic<std::chrono::milliseconds> connectTimeout_{std::chrono::seconds(10)};
  std::atomic<Resolver> resolver_{&systemResolver};
  std::atomic<std::chrono::milliseconds> loginTimeout_{std::chrono::seconds(10)};
  std::atomic<std::chrono::milliseconds> packetTimeout_{std::chrono::seconds(30)};

  std::mutex linkMutex_;  // guards link_ (the pointer, not the link) and attempt_
  std::shared_ptr<Link> link_;
  std::shared_ptr<ConnectAttempt> attempt_;  // the Start under way, which Stop cancels
  std::mutex startLock_;  // one Start at a time between the check and the new link
  std::mutex commandLock_;
  std::mutex replyLock_;
};

}  // namespace kestrune
