// What the connection control works through. Each port is small so that the whole of the
// connection logic can be driven in tests with fakes of the window and the timers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrune {

class DaySnapshot;

// The client library's reports and records reach the monitor through this signature.
using StatusCallbackFn = int (*)(std::int32_t type, std::int32_t kind, const char* text);

// The session client library as the monitor uses it. The real one calls the QvS_HFT_ functions;
// every call returns the library's 8-bit code (0 = success).
class SessionLibrary {
 public:
  virtual ~SessionLibrary() = default;
  virtual int setStatusCallback(StatusCallbackFn callback) = 0;
  virtual int setUser(const char* user, const char* password, std::uint8_t clientType,
                      const char* appVersion) = 0;
  virtual int setParms(const char* host, std::int32_t port) = 0;
  virtual int setTimeout(std::uint16_t pollMs, std::uint16_t check) = 0;
  virtual int start() = 0;
  virtual int stop() = 0;
  virtual int ping(std::uint8_t waitReply) = 0;
};

// The window as the connection control sees it. Called on the window thread only.
class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  // The status line then holds exactly text.
  virtual void showStatus(const std::string& text) = 0;
  // The same, for the newest of several status texts that came faster than the window could show
  // them; the `skipped` before it were never shown.
  virtual void showLatestStatus(const std::string& text, std::size_t skipped) {
    (void)skipped;
    showStatus(text);
  }
  // No session up: Connect, Retrieve, the View Date box and its labels enabled; Disconnect only
  // when disconnectEnabled (a reconnection is pending and may be cancelled).
  virtual void showDisconnectedControls(bool disconnectEnabled) = 0;
  // Linked: Disconnect enabled, Connect, Retrieve and the View Date box with its labels disabled.
  virtual void showConnectedControls() = 0;
  // The Date box ("MM/DD/YYYY", or empty).
  virtual void showSessionDate(const std::string& text) = 0;
  virtual void startTimer(int id, int periodMs) = 0;
  virtual void stopTimer(int id) = 0;
};

// The lists and charts. Record intake is split: the receive-thread part parses and stores and
// returns what is left to do on the window thread (empty when nothing is), which the connection
// control queues in order.
class MonitorData {
 public:
  using WindowPart = std::function<void()>;
  virtual ~MonitorData() = default;
  // kind 1 Raw, 2 Seq, 3 Algo list; text is the decoded record.
  virtual WindowPart takeAlert(int kind, const char* text) = 0;
  // kind 1 Listing, 2 Reporting, 3 Algo chart.
  virtual WindowPart takeSample(int kind, const char* text) = 0;
  // Empties the three lists and the three charts: the stores now, the widgets in the part.
  virtual WindowPart resetMonitorData() = 0;
  // A session started on a day whose files already hold records: shows them, after the reset
  // and before the session's first record. Runs on the receive thread and returns once all of it
  // is stored and queued, so live records can only come after it; stops early when cancelled
  // says so (the window is going).
  virtual void loadDaySoFar(DaySnapshot& day, const std::function<bool()>& cancelled) {
    (void)day;
    (void)cancelled;
  }
};

// Whoever passes a session on as it comes (the recorder's relay to its monitors). Called on the
// receive thread, in the order the server sent it, for the current session: each record once it
// has been handed to the files, the session start once the day's files are open.
class SessionTap {
 public:
  virtual ~SessionTap() = default;
  // A session start (type 8) with its date text as sent.
  virtual void sessionStarted(const std::string& date) = 0;
  // A new date within the session (type 9).
  virtual void sessionDateChanged(const std::string& date) = 0;
  // A status or server text (type 21 or 22).
  virtual void serverText(int type, const std::string& text) = 0;
  // A record as its data file 0-5 holds it.
  virtual void record(int file, const char* text) = 0;
  // The session is over: the link was lost or the login refused.
  virtual void sessionEnded() = 0;
};

// Decodes a record body (type 33 alert or 34 chart sample) into its text; false when the body is
// not a record of that type.
using RecordDecoder =
    std::function<bool(int type, const char* body, char* out, std::size_t outSize)>;

}  // namespace kestrune
