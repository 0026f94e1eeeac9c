// The monitor's side of the server link: Connect, Disconnect, automatic reconnection, the
// keep-alive ping, and the status callback through which every report and record arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "client/wire.h"
#include "monitor/connection_ports.h"

namespace kestrune {

class DataFiles;
class UiQueue;

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

  // Any thread. Records are taken in and written at once on the calling (receive) thread; their
  // window effects, and everything that touches controls, flags and timers, run on the window
  // thread in the order the reports came. Returns 1 after 8, 9, 20, 33, 34 and unknown types,
  // 0 after 7, 10, 11, 21, 22 and while not ready.
  int statusCallbackHandler(std::int32_t type, std::int32_t kind, const char* text);

  // Window thread.
  void connectToServer(bool clearViews);
  void disconnectFromServer();
  void onTimer(int id);
  void resetMonitorData();
  // Teardown: stops the reconnection, the library and the recording; reports that arrive from
  // here on are dropped. Only the first call does anything.
  void shutdown();

  // The date the files of the session are named by, and whether it may name them: empty and
  // false before a date has arrived, false after a date that was refused.
  std::string sessionDate() const;
  bool sessionDateValid() const;

  // Window-thread state, for the view and tests.
  bool sessionUp() const { return sessionUp_; }
  bool reconnectPending() const { return reconnectPending_; }
  bool userDisconnect() const { return userDisconnect_; }

 private:
  void runOnWindow(std::function<void()> part);
  void status(const std::string& text);
  void showDisconnected();
  void sessionDateArrived(const char* text);
  void linkLost();
  void refuse(const char* text);
  void takeRecord(int type, int kind, const char* body);

  SessionLibrary& library_;
  ConnectionHost& host_;
  MonitorData& data_;
  DataFiles& files_;
  UiQueue& queue_;
  RecordDecoder decoder_;
  std::function<ConnectionSettings()> settings_;
  std::function<bool()> wholeDay_;
  ConnectionTimings timings_;
  std::atomic<bool> closing_{false};

  // Window thread only.
  bool sessionUp_ = false;
  bool reconnectPending_ = false;
  bool userDisconnect_ = false;

  // Written by the receive thread (session dates), read by the recording gate.
  mutable std::mutex dateLock_;
  std::string sessionDate_;
  bool sessionDateValid_ = false;

  // Receive thread only: a lost line is reported once per recording period, not once per record.
  bool lossReported_ = false;
};

// The client library's callback: finds the connection control through currentView() and hands it
// the report; 0 while there is no view or no control yet.
int statusCallbackHandler(std::int32_t type, std::int32_t kind, const char* text);

// "MM/DD/YYYY" from an eight-digit MMDDYYYY date; empty for anything else.
std::string formatSessionDate(const std::string& date);

}  // namespace kestrune
