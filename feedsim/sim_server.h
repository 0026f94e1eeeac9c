// The simulator's server: one thread, one poll loop over the listening socket, the clients,
// stdin (scripted commands) and a wake-up pipe for SIGINT/SIGTERM.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "feedsim/sim_options.h"
#include "feedsim/sim_packets.h"
#include "recording/data_folder_claim.h"
#include "recording/recorded_day.h"

namespace kestrune::feedsim {

class SimServer {
 public:
  explicit SimServer(SimOptions options);
  ~SimServer();

  // Binds, prints the listening line and serves until stopped. Returns the exit code.
  int run();

  // Async-signal-safe: asks the running server to stop.
  static void requestStop();

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Client;
  struct PendingAck {
    std::string text;
    std::vector<std::pair<int, uint64_t>> marks;  // client id, bytes that must be written
  };
  struct Event {
    int64_t simMs;
    Packet packet;  // unprotected; protected per client when queued
  };

  bool listenOn(std::string& error);
  int pollTimeoutMs(TimePoint now) const;
  void acceptClients();
  void readStdin();
  void readClient(Client& c);
  void handlePacket(Client& c, uint16_t type, const std::string& body);
  void handleLogin(Client& c, const std::string& text);
  void handleCommand(const std::string& line);
  bool sendCommand(const SimCommand& cmd, const std::vector<Client*>& targets, std::string& error);
  void queue(Client& c, const Packet& packet);
  void flush(Client& c, TimePoint now);
  void closeClient(Client& c, const std::string& reason);
  void advanceStream();
  // --replay-day: reads the recorded day and sets the clock to wait for the first login.
  bool loadRecordedDay(std::string& error);
  // --replay-day: takes the served day's replay claim in its folder, so that no monitor or
  // recorder there appends the day served again to the day itself (other days are recorded as
  // ever). Tried again until it holds.
  void claimReplayFolder();
  // The events of one second of the day: simulated, or the recorded day's records.
  void generateSecond(int second);
  void checkAcks();
  void reap();
  std::vector<Client*> liveClients();

  // Server clock in simulated milliseconds since midnight.
  int64_t simNowMs() const;
  void setClock(int64_t simMs);

  SimOptions o_;
  int listenFd_ = -1;
  int port_ = 0;
  bool stdinOpen_ = true;
  std::string stdinBuf_;
  bool stopping_ = false;
  int nextClientId_ = 1;
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<PendingAck> acks_;
  std::vector<SimCommand> deferred_;  // waiting for the next login

  // Clock: simulated time = base + (now - baseWall) * speed, frozen while paused.
  int64_t clockBaseMs_ = 0;
  TimePoint clockBaseWall_;
  bool paused_ = false;
  bool holdUntilLogin_ = false;  // a replayed day starts with the first login

  int nextSecond_ = 0;  // first second of the day whose events are not generated yet
  std::deque<Event> events_;
  bool dayOverLogged_ = false;
  bool replaying_ = false;
  RecordedDay recorded_;
  DataFolderClaim claim_;
  std::string claimHolderSaid_;
  TimePoint claimTriedAt_{};
  int lastSecond_ = kSecondsPerDay - 1;  // "day over" once it has gone out
  uint64_t burstCounter_ = 0;
};

}  // namespace kestrune::feedsim
