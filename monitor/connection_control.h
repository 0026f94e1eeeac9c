// The monitor's side of the server link: Connect, Disconnect, automatic reconnection, the
// keep-alive ping, and the status callback through which every report and record arrives.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "client/wire.h"
#include "monitor/connection_ports.h"

namespace kestrune {

class DataFiles;
class UiQueue;
class WriterHandover;

inline constexpr int RECONNECT_TIMER = 1;
inline constexpr int PING_TIMER = 2;
inline constexpr int kReconnectPeriodMs = 5000;
inline constexpr int kPingPeriodMs = 60000;
inline constexpr std::uint8_t kClientType = 2;
inline constexpr const char* kAppVersion = "1.0.4";

struct ConnectionSettings {
  std::string serverAddress;
  std::int32_t serverPort = 0;
  std::string userName;
  std::string userPassword;
};

struct ConnectionTimings {
  int reconnectMs = kReconnectPeriodMs;
  int pingMs = kPingPeriodMs;
};

class ConnectionControl {
 public:
  ConnectionControl(SessionLibrary& library, ConnectionHost& host, MonitorData& data,
                    DataFiles& files, UiQueue& queue, RecordDecoder decoder);
  ~ConnectionControl();
  ConnectionControl(const ConnectionControl&) = delete;
  ConnectionControl& operator=(const ConnectionControl&) = delete;

  // Where the connection fields come from at each connection (the server preferences may change
  // them between connections).
  void setSettingsSource(std::function<ConnectionSettings()> source);
  // True when the data collection window is the whole day (both minute-of-day values 0): the
  // files then open with each session date.
  void setWholeDayTest(std::function<bool()> wholeDay);
  // Tests run the timers faster; the program keeps the defaults.
  void setTimings(ConnectionTimings timings);
  // The Data folder's one-writer rule: with it, records are written only while this program holds
  // the folder's claim, and kept for a takeover while another program does. Set before the first
  // Connect; it outlives this object.
  void setWriterHandover(WriterHandover* handover) { handover_ = handover; }
  // Set before the first Connect; null passes nothing on.
  void setSessionTap(SessionTap* tap) { tap_ = tap; }
  // Runs f while no record is between the files and the tap: every record is then either handed
  // to both or to neither. Any thread but the receive thread.
  void holdRecords(const std::function<void()>& f);

  // Any thread. Records are taken in and written at once on the calling (receive) thread; their
  // window effects, and everything that touches controls, flags and timers, run on the window
  // thread in the order the reports came. Returns 1 after 8, 9, 20, 33, 34 and unknown types,
  // 0 after 7, 10, 11, 21, 22 and while not ready.
  int statusCallbackHandler(std::int32_t type, std::int32_t kind, const char* text);

  // Window thread. Connect hands the attempt to the connect worker and returns at once; its
  // outcome comes back through the queue. While it is under way the linked controls show (Connect
  // cannot start a second one, Disconnect cancels it).
  void connectToServer(bool clearViews);
  void disconnectFromServer();
  void onTimer(int id);
  // Teardown: stops the reconnection, cancels an attempt under way, stops the library and the
  // recording. Records the library hands over until it has stopped are still written; nothing
  // else reaches the window from here on. Only the first call does anything.
  void shutdown();

  // The date the files of the session are named by, and whether it may name them: empty and
  // false before a date has arrived, false after a date that was refused.
  std::string sessionDate() const;
  bool sessionDateValid() const;

  // Window-thread state, for the view and tests.
  bool sessionUp() const { return sessionUp_; }
  bool reconnectPending() const { return reconnectPending_; }
  bool userDisconnect() const { return userDisconnect_; }
  bool connecting() const { return attemptInProgress_; }

 private:
  struct Attempt {
    std::uint64_t id = 0;
    bool clearViews = false;
    ConnectionSettings settings;
  };

  // Which connection a report belongs to: the window thread's are always the current one's, the
  // connect worker's those of the attempt it runs, a receive thread's those of the link it serves
  // (learnt at its first report, which first waits for the gate).
  std::uint64_t reportSession();
  bool isCurrent(std::uint64_t session) const;
  // Runs part now on the window thread; from any other thread queues it, to run only if the
  // session is still the current one when its turn comes.
  void runOnWindow(std::uint64_t session, std::function<void()> part);
  void workerLoop();
  void closeGate();
  void openGate(std::uint64_t session);
  void connectFinished(std::uint64_t attempt, int result);
  void status(const std::string& text);
  // A status text reported from another thread: only the newest of a run still waiting is shown.
  void reportedStatus(std::uint64_t session, const char* text);
  void showDisconnected();
  void sessionDateArrived(std::uint64_t session, const char* text, bool sessionStart);
  void linkLost();
  void refuse(std::uint64_t session, const char* text);
  void takeRecord(int type, int kind, const char* body);
  // The files are closed for good at the end of a link: the folder's claim goes back.
  void recordingEnded();

  SessionLibrary& library_;
  ConnectionHost& host_;
  MonitorData& data_;
  DataFiles& files_;
  UiQueue& queue_;
  RecordDecoder decoder_;
  WriterHandover* handover_ = nullptr;
  SessionTap* tap_ = nullptr;
  std::mutex recordCut_;  // held from a record's hand-over to the files until the tap has it
  std::function<ConnectionSettings()> settings_;
  std::function<bool()> wholeDay_;
  ConnectionTimings timings_;
  // Set when teardown begins: from then on only records and the files they go to are handled.
  std::atomic<bool> closing_{false};
  // Set once the library has stopped at teardown: nothing is handled any more.
  std::atomic<bool> closed_{false};

  // The current session: a new one with each attempt, and on Disconnect or a refusal, so that
  // whatever an ended link or a cancelled attempt reports later leaves the window as it is.
  // Written on the window thread only.
  std::atomic<std::uint64_t> session_{0};

  // Window thread only.
  bool sessionUp_ = false;
  bool reconnectPending_ = false;
  bool userDisconnect_ = false;
  bool attemptInProgress_ = false;

  // The connect worker: runs the library's Start, which may wait for the network, off the window
  // thread. One attempt at a time; a request made while one runs waits for it.
  std::thread worker_;
  std::mutex workerLock_;
  std::condition_variable workerWake_;
  std::optional<Attempt> request_;  // guarded by workerLock_
  bool workerStop_ = false;         // guarded by workerLock_
  bool workerBusy_ = false;         // guarded by workerLock_: a request taken and not yet done

  // The gate: closed while the worker starts a link and queues its outcome, so that the new
  // link's first report (and everything after it) comes after the outcome: the views are cleared
  // and the session is up before its first record shows.
  std::mutex gateLock_;
  std::condition_variable gateOpened_;
  bool gateClosed_ = false;        // guarded by gateLock_
  std::uint64_t gateSession_ = 0;  // guarded by gateLock_: the session the next link belongs to

  // Written by the receive thread (session dates), read by the recording gate.
  mutable std::mutex dateLock_;
  std::string sessionDate_;
  bool sessionDateValid_ = false;

  // The status text waiting in the queue for the window thread, which newer ones replace while it
  // waits. Guarded by statusLock_ (and, once queued, by the queue's lock).
  struct PendingStatus {
    std::uint64_t session = 0;
    std::string text;
    std::size_t skipped = 0;
  };
  std::mutex statusLock_;
  std::shared_ptr<PendingStatus> pendingStatus_;
};

// The client library's callback: finds the connection control through currentView() and hands it
// the report; 0 while there is no view or no control yet.
int statusCallbackHandler(std::int32_t type, std::int32_t kind, const char* text);

// "MM/DD/YYYY" from an eight-digit MMDDYYYY date; empty for anything else.
std::string formatSessionDate(const std::string& date);

}  // namespace kestrune
