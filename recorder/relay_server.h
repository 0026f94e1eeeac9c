// The recorder's relay: the server's side of the protocol for monitors on this machine (or a
// desk), fed by the recorder's one login upstream. Each monitor logs in with the recorder's own
// user name and password, hears the recorder's session start and then every record, status and
// date the recorder receives, in order; pings are answered here. A session that ends upstream
// ends every monitor's link, and they reconnect as they would to a server.
//
// One thread of its own with a poll loop; the receive thread only appends to a queue, so a monitor
// that reads slowly never holds the recording: it is dropped when too far behind.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/connection_ports.h"

namespace kestrune {

struct RelaySettings {
  std::string address = "127.0.0.1";
  int port = 0;  // 0: any free port (tests)
  std::string user;
  std::string password;
  std::size_t maxClients = 64;
  std::size_t maxBacklogBytes = 32u << 20;  // a monitor this far behind is dropped
};

class RelayServer : public SessionTap {
 public:
  // The moment a monitor joins: called on the relay's thread with what makes it join (it is then
  // sent every record passed on after). The recorder runs it once no record is between its files
  // and the relay and the files hold every record handed over, so that the day the monitor reads
  // from the files ends exactly where its live records begin.
  using JoinAtCut = std::function<void(const std::function<void()>& join)>;
  // say: the relay's journal lines, called on the relay's thread.
  RelayServer(RelaySettings settings, std::function<void(const std::string&)> say,
              JoinAtCut joinAtCut);
  ~RelayServer() override;
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  // Listens and starts the thread. False with a message when the address cannot be bound.
  bool start(std::string& error);
  // Every monitor hears the end of the session; the thread ends. Idempotent.
  void stop();
  int port() const { return port_; }
  // Monitors logged in now (any thread).
  std::size_t liveClients() const { return live_.load(); }

  // SessionTap: the receive thread's side.
  void sessionStarted(const std::string& date) override;
  void sessionDateChanged(const std::string& date) override;
  void serverText(int type, const std::string& text) override;
  void record(int file, const char* text) override;
  void sessionEnded() override;

  struct Client;

 private:
  struct Event {
    enum class Kind : std::uint8_t { Start, Date, Text, Record, End } kind;
    int number;  // the text's type, or the record's file
    std::string text;
  };

  void post(Event event);
  void loop();
  void takeEvents();
  void acceptClients();
  void readClient(Client& c);
  void handlePacket(Client& c, std::uint16_t type, const std::string& body);
  void handleLogin(Client& c, const std::string& text);
  void toLive(const std::vector<std::uint8_t>& packet);
  void queue(Client& c, const std::vector<std::uint8_t>& packet);
  void flush(Client& c);
  void endClient(Client& c, const std::string& reason);
  void closeClient(Client& c, const std::string& reason);
  void endSession();

  RelaySettings settings_;
  std::function<void(const std::string&)> say_;
  JoinAtCut joinAtCut_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<std::size_t> live_{0};

  std::mutex lock_;  // guards events_ and stop_
  std::vector<Event> events_;
  bool stop_ = false;
  bool overflowed_ = false;  // the relay fell so far behind that its queue was cut

  // The relay's thread only.
  bool up_ = false;  // a session is up upstream
  std::string date_;
  std::uint64_t unsent_ = 0;  // records no packet could carry
  std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace kestrune
