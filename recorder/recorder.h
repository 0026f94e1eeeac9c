// kestrune-recorder: the monitor's connection control, collection window and data files behind a
// headless host. No lists and no charts: only the six files of the day.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <cstdint>
#include <memory>
#include <ostream>
#include <thread>

#include "monitor/connection_control.h"
#include "monitor/connection_ports.h"
#include "monitor/server_prefs.h"
#include "monitor/ui_queue.h"
#include "recorder/headless_host.h"
#include "recorder/recorder_options.h"
#include "recorder/relay_server.h"
#include "recording/collection_gate.h"
#include "recording/data_files.h"
#include "recording/writer_handover.h"

namespace kestrune {

class Recorder : public QObject, private MonitorData, private RecordingNotices {
  Q_OBJECT

 public:
  // Records into the Data folder of the working directory. The thread that creates it is the
  // main thread, whose event loop must run. library: the real client library when null.
  Recorder(const ServerPrefsValues& login, const CollectionWindow& window, std::ostream& out,
           std::unique_ptr<SessionLibrary> library = nullptr);
  ~Recorder() override;

  // Serves monitors this recorder's session (before start()). False with a message when the
  // address cannot be listened on.
  bool startRelay(RelaySettings settings, std::string& error);
  RelayServer* relay() { return relay_.get(); }
  // Connects; a connection that fails is tried again every 5 seconds, as after a lost link.
  void start();
  // Disconnects and closes the files; the event loop then ends with exit code 0.
  void stop(const std::string& why);

  std::uint64_t recordsReceived() const { return received_.load(); }
  std::uint64_t linesLost() const { return files_.lostLines(); }
  WriterHandover& handover() { return handover_; }

 private:
  // MonitorData: nothing to show, only the Listing samples' time drives the collection window.
  WindowPart takeAlert(int kind, const char* text) override;
  WindowPart takeSample(int kind, const char* text) override;
  WindowPart resetMonitorData() override { return {}; }
  // RecordingNotices: the files' loss and recovery lines, printed on the main thread.
  void recordingNotice(const std::string& text) override;

  // The link ended and nothing will bring it back (a refused login): kRecorderRefused.
  void checkGivenUp();
  // The collection window has closed the day's files: the history index beside them is brought
  // up to date on a thread of its own, so that the link is never held. One at a time.
  void indexHistory();

  ServerPrefsValues login_;
  CollectionWindow window_;
  HeadlessHost host_;
  DataFiles files_;
  WriterHandover handover_;  // outlives the control, which uses it
  std::unique_ptr<SessionLibrary> library_;
  UiQueue queue_;
  ConnectionControl control_;
  LiveCollectionGate gate_;  // receive thread only
  std::unique_ptr<RelayServer> relay_;
  std::atomic<std::uint64_t> received_{0};
  bool stopping_ = false;
  std::atomic<bool> indexing_{false};
  std::thread indexer_;
};

// SIGTERM and SIGINT, turned into a Qt signal on the main thread: the handler only writes the
// signal's number into a pipe, which a socket notifier reads.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void stopRequested(int signalNumber);

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

// Everything between the command line and the exit code: the work folder,
// the stored settings, the recorder and its event loop. Needs a QCoreApplication.
int runRecorder(const RecorderOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestrune
