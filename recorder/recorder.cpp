#include "recorder/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "charts/chart_sample.h"
#include "history/history_index.h"
#include "monitor/credential_keeper.h"
#include "monitor/server_store.h"
#include "monitor/session_library.h"
#include "settings/config_file.h"

namespace kestrune {

namespace {

// The write end is used inside the signal handler, so it lives in a plain global.
int g_stopPipe[2] = {-1, -1};

void onStopSignal(int signalNumber) {
  const int saved = errno;
  const char b = static_cast<char>(signalNumber);
  [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &b, 1);
  errno = saved;
}

}  // namespace

Recorder::Recorder(const ServerPrefsValues& login, const CollectionWindow& window,
                   std::ostream& out, std::unique_ptr<SessionLibrary> library)
    : login_(login),
      window_(window),
      host_(out),
      handover_(files_, std::string(), "kestrune-recorder"),
      library_(library ? std::move(library) : std::make_unique<QvsHftLibrary>()),
      control_(*library_, host_, *this, files_, queue_, &decodeRecord),
      gate_(
          files_, [this] { return window_; }, [this] { return control_.sessionDate(); }) {
  control_.setSettingsSource([this] {
    ConnectionSettings s;
    s.serverAddress = login_.serverAddress;
    s.serverPort = login_.serverPort;
    s.userName = login_.userName;
    s.userPassword = login_.userPassword;
    return s;
  });
  control_.setWholeDayTest([this] { return isWholeDayCollection(window_); });
  // Another monitor or recorder may write the folder: this one then stands by and says so.
  handover_.setNotice(
      [this](const std::string& text) { queue_.post([this, text] { host_.showStatus(text); }); });
  control_.setWriterHandover(&handover_);
  host_.setConnectionControl(&control_);
  host_.setUnlinkedHandler([this] {
    // Decided once the control has finished the step that unlinked it (it may yet start the
    // reconnection timer).
    QTimer::singleShot(0, this, [this] { checkGivenUp(); });
  });
  setCurrentView(&host_);
  files_.setNotices(this);
}

Recorder::~Recorder() {
  control_.shutdown();
  if (relay_) relay_->stop();
  // An index update under way is one transaction: it ends, or is rolled back, with its thread.
  if (indexer_.joinable()) indexer_.join();
  files_.setNotices(nullptr);
  setCurrentView(nullptr);
}

void Recorder::recordingNotice(const std::string& text) {
  queue_.post([this, text] { host_.say(text); });
}

bool Recorder::startRelay(RelaySettings settings, std::string& error) {
  const std::string where = settings.address;
  relay_ = std::make_unique<RelayServer>(
      std::move(settings), [this](const std::string& text) { recordingNotice(text); },
      // The day a monitor reads from the files at its session start then ends where the records
      // it hears begin: what it is sent from the cut on reaches the files only after it has
      // read them (a monitor reads them as soon as it hears the session start). A disk that
      // stalls holds the link for at most the wait.
      [this](const std::function<void()>& join) {
        control_.holdRecords([this, &join] {
          files_.waitWritten(std::chrono::milliseconds(200), std::chrono::seconds(1));
          join();
        });
      });
  if (!relay_->start(error)) {
    relay_.reset();
    return false;
  }
  control_.setSessionTap(relay_.get());
  host_.say("Relay for monitors listening on " + where + ":" + std::to_string(relay_->port()));
  return true;
}

void Recorder::start() {
  host_.say("Kestrune recorder recording into " +
            (std::filesystem::current_path() / "Data").string());
  control_.connectToServer(true);
  // The monitor leaves a failed first Connect to its user; nobody is there to press it again, so
  // the reconnection timer runs from the start. Connect only hands the attempt over: a tick while
  // it is under way starts nothing, and its success stops the timer.
  host_.startTimer(RECONNECT_TIMER, kReconnectPeriodMs);
}

void Recorder::stop(const std::string& why) {
  if (stopping_) return;
  stopping_ = true;
  host_.say("Stopping: " + why);
  control_.disconnectFromServer();
  control_.shutdown();
  if (relay_) relay_->stop();
  queue_.drainNow();
  host_.say("Stopped: " + std::to_string(recordsReceived()) + " records received, " +
            std::to_string(linesLost()) + " could not be written");
  QCoreApplication::exit(kRecorderStopped);
}

void Recorder::checkGivenUp() {
  if (stopping_ || control_.sessionUp() || host_.timerRunning(RECONNECT_TIMER)) return;
  stopping_ = true;
  control_.shutdown();
  host_.say("Stopped: the server refused the login");
  QCoreApplication::exit(kRecorderRefused);
}

MonitorData::WindowPart Recorder::takeAlert(int, const char*) {
  received_.fetch_add(1, std::memory_order_relaxed);
  return {};
}

MonitorData::WindowPart Recorder::takeSample(int kind, const char* text) {
  received_.fetch_add(1, std::memory_order_relaxed);
  // The monitor's chart intake drives the window with every Listing sample it can read.
  ChartSample sample;
  if (kind != 1 || parseChartSample(text, sample) != SampleParse::Ok) return {};
  const bool wasOpen = files_.dataFilesOpen();
  std::string problem = gate_.listingSampleAt(sample.hour * 60 + sample.minute);
  if (wasOpen && !files_.dataFilesOpen()) indexHistory();
  if (problem.empty()) return {};
  return [this, problem = std::move(problem)] { host_.showStatus(problem); };
}

void Recorder::indexHistory() {
  if (indexing_.exchange(true)) return;
  if (indexer_.joinable()) indexer_.join();  // the last one has ended
  indexer_ = std::thread([this] {
    HistoryIndex index;
    HistoryUpdateReport report;
    std::string error;
    std::string text;
    if (index.open(std::string(), error) && index.update(report, error)) {
      text = "History index: " + std::to_string(report.days) +
             (report.days == 1 ? " day, " : " days, ") + std::to_string(report.linesRead) +
             " lines read, " + std::to_string(report.linesSkipped) + " skipped";
    } else {
      text = "History index not updated: " + error;
    }
    queue_.post([this, text] { host_.say(text); });
    indexing_.store(false);
  });
}

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (g_stopPipe[0] < 0 && ::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    char b = 0;
    if (::read(g_stopPipe[0], &b, 1) == 1) emit stopRequested(b);
  });
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
}

StopSignals::~StopSignals() {
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
}

int runRecorder(const RecorderOptions& options, std::ostream& out, std::ostream& err) {
  // A journal that went away must not end the recording.
  std::signal(SIGPIPE, SIG_IGN);
  std::string error;
  if (!enterWorkDir(options.workDir, error)) {
    err << "kestrune-recorder: " << error << "\n";
    return kRecorderFailed;
  }
  ServerPrefsValues stored;
  readServerSettings(stored);
  ServerPrefsValues login;
  std::string warning;
  if (!loginValues(options, stored, login, error, &warning)) {
    err << "kestrune-recorder: " << error << "\n";
    return kRecorderFailed;
  }
  if (!warning.empty()) err << "kestrune-recorder: warning: " << warning << "\n";
  // The collection window the monitor keeps in this folder; a missing file records the whole day.
  MonitorSettings settings;
  ChartColorTable colors;
  readConfigFile(settings, colors);
  const CollectionWindow window{settings.collectStartMinuteOfDay, settings.collectStopMinuteOfDay};

  StopSignals stopSignals;
  // A password given in a file wins; otherwise one the monitor keeps in the keyring is asked for
  // there, and the recording starts once it has answered or its time limit has passed.
  CredentialKeeper keeper(options.passwordFile ? nullptr : systemVault());
  keeper.fetchPassword(login);
  std::unique_ptr<Recorder> recorder;
  bool stopped = false;
  QObject::connect(&stopSignals, &StopSignals::stopRequested, &keeper,
                   [&recorder, &stopped](int signalNumber) {
                     if (recorder) {
                       recorder->stop(::strsignal(signalNumber));
                     } else if (!stopped) {
                       stopped = true;  // stopped before it started: nothing to close
                       QCoreApplication::exit(kRecorderStopped);
                     }
                   });
  keeper.whenFetched([&] {
    if (stopped) return;
    recorder = std::make_unique<Recorder>(login, window, out);
    if (options.relayAddress) {
      RelaySettings relay;
      relay.address = *options.relayAddress;
      relay.port = options.relayPort;
      relay.user = login.userName;
      relay.password = login.userPassword;
      std::string relayError;
      if (!recorder->startRelay(std::move(relay), relayError)) {
        err << "kestrune-recorder: --relay: " << relayError << "\n";
        stopped = true;
        recorder.reset();
        // This may run before the event loop does, where an exit would be lost.
        QTimer::singleShot(0, [] { QCoreApplication::exit(kRecorderFailed); });
        return;
      }
    }
    recorder->start();
  });
  const int status = QCoreApplication::exec();
  recorder.reset();
  return status;
}

}  // namespace kestrune
