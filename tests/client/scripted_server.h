// A one-client TCP peer on 127.0.0.1 for the session tests: every byte it sends and reads is
// chosen by the test, so framing faults can be produced exactly.
#pragma once

#include <cstdint>
#include <string_view>
#include <thread>
#include <vector>

namespace kestrune {

class ScriptedServer {
 public:
  ScriptedServer();  // listens on an ephemeral port
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  bool accept(int timeoutMs = 5000);
  // The client's Start waits for the server to ask for the login: accepts the next client on a
  // thread of its own and sends it the login request at once. accept() then waits for that.
  void greetNextClient();
  bool send(const std::vector<std::uint8_t>& bytes);
  bool send(std::string_view bytes);
  // Reads one whole packet the client sent (header first); false on timeout or end of stream.
  bool readPacket(std::vector<std::uint8_t>& packet, int timeoutMs = 5000);
  // True once the client closed its side (end of stream seen within the timeout).
  bool waitClosed(int timeoutMs = 5000);
  void closeClient();  // orderly close
  void resetClient();  // close with a reset
  void closeListener();

 private:
  bool acceptNow(int timeoutMs);
  bool readExact(std::uint8_t* out, std::size_t n, int timeoutMs);

  std::thread greeter_;
  bool greeted_ = false;
  int listenFd_ = -1;
  int clientFd_ = -1;
  int port_ = 0;
};

}  // namespace kestrune
