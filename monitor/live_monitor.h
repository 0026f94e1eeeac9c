// The live monitor: the connection control wired to the real client library, the alert lists,
// the charts and the data files, with every window effect of the receive thread carried to the
// window thread through one ordered queue. The view owns one and routes its Connect and
// Disconnect buttons and its two timers here.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "charts/exchange_charts.h"
#include "monitor/connection_control.h"
#include "monitor/connection_ports.h"
#include "monitor/ui_queue.h"
#include "recording/collection_gate.h"
#include "recording/data_files.h"
#include "recording/data_reader.h"
#include "recording/writer_handover.h"

namespace kestrune {

class AlertLists;
class MonitorHost;
struct MonitorSettings;
struct ServerPrefsValues;

class LiveMonitor : public MonitorData, private ChartHost, private RecordingNotices {
 public:
  // Everything passed in outlives this object. The thread that creates it is the window thread.
  // server holds the connection fields, read at each connection. Without files the monitor keeps
  // its own under the working directory; without a library the real client library is used.
  // Makes itself the charts' host.
  LiveMonitor(MonitorHost& host, MonitorSettings& settings, const ServerPrefsValues& server,
              AlertLists& lists, ExchangeCharts& charts, DataFiles* files = nullptr,
              std::unique_ptr<SessionLibrary> library = nullptr);
  ~LiveMonitor() override;
  LiveMonitor(const LiveMonitor&) = delete;
  LiveMonitor& operator=(const LiveMonitor&) = delete;

  ConnectionControl& connection() { return *control_; }
  UiQueue& queue() { return queue_; }

  // Buttons and timers of the view (window thread).
  void onConnect() { control_->connectToServer(true); }
  void onDisconnect() { control_->disconnectFromServer(); }
  void onTimer(int id) { control_->onTimer(id); }
  // The view's teardown: stops the reconnection, the library and the recording.
  void shutdown();
  // Takes the data collection window from the settings again (window thread, after the Data
  // Collection Times dialog). Each connection takes it too. The receive thread reads this copy,
  // never the settings the dialog writes.
  void refreshCollectionWindow();
  DataFiles& dataFiles() { return files_; }
  // The Data folder's one-writer rule: whether this monitor writes or stands by.
  WriterHandover& handover() { return *handover_; }

  // MonitorData: the receive-thread halves of the intakes.
  WindowPart takeAlert(int kind, const char* text) override;
  WindowPart takeSample(int kind, const char* text) override;
  WindowPart resetMonitorData() override;
  // Receive thread: the lists are built here and handed to the window whole, one list a command;
  // the samples are stored here, under the chart lock a batch at a time; the charts are drawn
  // once at the end.
  void loadDaySoFar(DaySnapshot& day, const std::function<bool()>& cancelled) override;

 private:
  // The three charts' part of the day so far: store, then one drawing each.
  DataReadStats loadChartsSoFar(DaySnapshot& day, const std::function<bool()>& cancelled);

  // ChartHost: called on the receive thread by the live intakes (and on the window thread by
  // the chart controls); all of it is queued.
  void showSampleTime(const char* hhmmss) override;
  void driveCollectionWindow(std::int32_t minuteOfDay) override;
  void playChartAlarm(int slot) override;
  void chartPictureReady(ChartId chart) override;
  // RecordingNotices: the files' loss and recovery lines, on the status line.
  void recordingNotice(const std::string& text) override;

  MonitorHost& host_;
  MonitorSettings& settings_;
  const ServerPrefsValues& server_;
  AlertLists& lists_;
  ExchangeCharts& charts_;
  std::unique_ptr<DataFiles> ownFiles_;
  DataFiles& files_;
  std::unique_ptr<SessionLibrary> library_;
  UiQueue queue_;
  std::unique_ptr<WriterHandover> handover_;  // outlives the control, which uses it
  std::unique_ptr<ConnectionControl> control_;
  CollectionWindow collectionWindow() const;

  mutable std::mutex collectionLock_;
  CollectionWindow collection_;  // guarded by collectionLock_
  // Receive thread only.
  LiveCollectionGate gate_;
  // The newest sample time not yet in the Time box, and whether an update is queued for it.
  std::mutex timeLock_;
  std::string pendingTime_;
  bool timePosted_ = false;
  // A picture notice of each chart is on its way to the window thread.
  std::array<std::atomic<bool>, kChartCount> picturePosted_{};
};

}  // namespace kestrune
