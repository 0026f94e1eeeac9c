#include "monitor/connection_control.h"

#include <cstring>
#include <utility>

#include "monitor/monitor_host.h"
#include "monitor/ui_queue.h"
#include "recording/data_files.h"

namespace kestrune {

namespace {

constexpr const char* kTextBadUser = "Invalid username/password!";
constexpr const char* kTextAccountInUse = "Account already in use!";
constexpr const char* kTextInvalidApp = "Invalid Server-App!";
constexpr const char* kTextServerDisconnected = "Kestrune Server Disconnected.";
constexpr const char* kTextAttemptingReconnection = "Attempting Reconnection...";
constexpr const char* kTextCouldNotConnect = "Kestrune Error, Could Not Connect!";
constexpr const char* kTextLinesLost = "RECORDS LOST: a data file could not be written";

// Codes of the keep-alive ping after which the link is still up (socket busy, no reply yet).
constexpr int kPingBusy = 206;
constexpr int kPingTimeout = 226;

// The decoded record text: the longest record is 246 characters.
constexpr std::size_t kRecordTextSize = 256;
// A session date longer than the session date field is not kept whole.
constexpr std::size_t kSessionDateMax = 26;

}  // namespace

int statusCallbackHandler(std::int32_t type, std::int32_t kind, const char* text) {
  MonitorHost* view = currentView();
  ConnectionControl* control = view ? view->connectionControl() : nullptr;
  if (!control) return 0;
  return control->statusCallbackHandler(type, kind, text);
}

std::string formatSessionDate(const std::string& date) {
  if (!isValidDataDate(date)) return {};
  std::string out;
  out.reserve(10);
  out.append(date, 0, 2).append("/").append(date, 2, 2).append("/").append(date, 4, 4);
  return out;
}

ConnectionControl::ConnectionControl(SessionLibrary& library, ConnectionHost& host,
                                     MonitorData& data, DataFiles& files, UiQueue& queue,
                                     RecordDecoder decoder)
    : library_(library),
      host_(host),
      data_(data),
      files_(files),
      queue_(queue),
      decoder_(std::move(decoder)),
      wholeDay_([] { return true; }) {}

ConnectionControl::~ConnectionControl() = default;

void ConnectionControl::setSettingsSource(std::function<ConnectionSettings()> source) {
  settings_ = std::move(source);
}

void ConnectionControl::setWholeDayTest(std::function<bool()> wholeDay) {
  wholeDay_ = std::move(wholeDay);
}

void ConnectionControl::setTimings(ConnectionTimings timings) { timings_ = timings; }

std::string ConnectionControl::sessionDate() const {
  std::lock_guard<std::mutex> guard(dateLock_);
  return sessionDate_;
}

bool ConnectionControl::sessionDateValid() const {
  std::lock_guard<std::mutex> guard(dateLock_);
  return sessionDateValid_;
}

// On the window thread (the reports of Start, Stop and Ping, made from inside those calls) the
// part runs at once, without running what the receive thread queued meanwhile: that could end
// the very connection the library is still setting up. On the receive thread it is queued.
void ConnectionControl::runOnWindow(std::function<void()> part) {
  if (!part) return;
  if (queue_.isWindowThread()) {
    part();
  } else {
    queue_.post(std::move(part));
  }
}

void ConnectionControl::status(const std::string& text) { host_.showStatus(text); }

void ConnectionControl::showDisconnected() { host_.showDisconnectedControls(reconnectPending_); }

int ConnectionControl::statusCallbackHandler(std::int32_t type, std::int32_t kind,
                                             const char* text) {
  if (closing_.load()) return 0;
  if (!text) text = "";
  const int t = type & 0xFF;
  const int k = kind & 0xFF;
  switch (t) {
    case MSG_BAD_USER:
      refuse(kTextBadUser);
      return 0;
    case MSG_ACCOUNT_IN_USE:
      refuse(kTextAccountInUse);
      return 0;
    case MSG_INVALID_APP:
      refuse(kTextInvalidApp);
      return 0;
    case MSG_SESSION_START:
      runOnWindow(data_.resetMonitorData());
      sessionDateArrived(text);
      return 1;
    case MSG_SESSION_DATE:
      sessionDateArrived(text);
      return 1;
    case MSG_DISCONNECTED:
      files_.closeDataFiles();
      runOnWindow([this] { linkLost(); });
      return 1;
    case MSG_STATUS:
    case MSG_SERVER_TEXT:
      runOnWindow([this, shown = std::string(text)] { host_.showStatus(shown); });
      return 0;
    case MSG_ALERT_RECORD:
    case MSG_CHART_SAMPLE:
      takeRecord(t, k, text);
      return 1;
    default:
      return 1;
  }
}

// A refusal ends the session: disconnect first (the server hears MSG_DISCONNECT), then the
// refusal text, so the status line ends with it and nothing reconnects.
void ConnectionControl::refuse(const char* text) {
  runOnWindow([this, text] {
    disconnectFromServer();
    host_.showStatus(text);
  });
}

// Runs on the receive thread, so the files of the new date are open before the next record.
void ConnectionControl::sessionDateArrived(const char* text) {
  // Only a date of exactly eight digits may name files; anything else (too long, too short, a
  // path) keeps recording closed until a valid date arrives.
  const std::size_t length = ::strnlen(text, kSessionDateMax + 1);
  const std::string date(text, length);
  const bool valid = isValidDataDate(date);
  {
    std::lock_guard<std::mutex> guard(dateLock_);
    sessionDate_ = valid ? date : std::string();
    sessionDateValid_ = valid;
  }
  files_.closeDataFiles();
  lossReported_ = false;
  std::string problem;
  if (!valid) {
    problem = openResultText(OpenResult::BadDate, date);
  } else if (wholeDay_ && wholeDay_()) {
    const OpenResult opened = files_.openDataFiles(date);
    problem = openResultText(opened, date);
  }
  runOnWindow([this, shown = formatSessionDate(date), problem] {
    host_.showSessionDate(shown);
    if (!problem.empty()) host_.showStatus(problem);
  });
}

void ConnectionControl::linkLost() {
  // A late report of a link that was already taken down here (a local Disconnect, a refusal)
  // must neither bring it back nor cover the text that said why it ended.
  if (!sessionUp_ && !reconnectPending_ && !userDisconnect_) return;
  host_.showStatus(kTextServerDisconnected);
  sessionUp_ = false;
  host_.stopTimer(PING_TIMER);
  if (userDisconnect_) {
    showDisconnected();
  } else {
    host_.showStatus(kTextAttemptingReconnection);
    reconnectPending_ = true;
    showDisconnected();
    host_.startTimer(RECONNECT_TIMER, timings_.reconnectMs);
  }
  userDisconnect_ = false;
}

void ConnectionControl::takeRecord(int type, int kind, const char* body) {
  if (kind < 1 || kind > 3) return;
  char text[kRecordTextSize];
  text[0] = '\0';
  if (!decoder_ || !decoder_(type, body, text, sizeof text)) return;
  text[sizeof text - 1] = '\0';
  const bool alert = type == MSG_ALERT_RECORD;
  // Intake first, then the line: the receive thread stores the record, the window thread shows it.
  MonitorData::WindowPart part = alert ? data_.takeAlert(kind, text) : data_.takeSample(kind, text);
  if (part) queue_.post(std::move(part));
  const int index = (alert ? 0 : 3) + kind - 1;
  const WriteResult written = files_.writeDataLine(index, text);
  if (written == WriteResult::NoFile || written == WriteResult::WriteFailed) {
    if (!lossReported_) {
      lossReported_ = true;
      queue_.post([this] { host_.showStatus(kTextLinesLost); });
    }
  }
}

void ConnectionControl::connectToServer(bool clearViews) {
  library_.setStatusCallback(&kestrune::statusCallbackHandler);
  userDisconnect_ = false;
  const ConnectionSettings settings = settings_ ? settings_() : ConnectionSettings{};
  library_.setUser(settings.userName.c_str(), settings.userPassword.c_str(), kClientType,
                   kAppVersion);
  // With port 0 the library keeps whatever it had.
  if (settings.serverPort != 0) {
    library_.setParms(settings.serverAddress.c_str(), settings.serverPort);
  }
  library_.setTimeout(10, 1);
  // The new connection has no date yet. Emptied before the start, not after: the server may send
  // the session date before Start has returned.
  {
    std::lock_guard<std::mutex> guard(dateLock_);
    sessionDate_.clear();
    sessionDateValid_ = false;
  }
  if (library_.start() != 0) {
    // A running reconnection timer keeps running and tries again.
    status(kTextCouldNotConnect);
    showDisconnected();
    return;
  }
  host_.stopTimer(RECONNECT_TIMER);
  reconnectPending_ = false;
  host_.showConnectedControls();
  if (clearViews) resetMonitorData();
  sessionUp_ = true;
  host_.startTimer(PING_TIMER, timings_.pingMs);
}

void ConnectionControl::disconnectFromServer() {
  // What the receive thread reported before the button was pressed happens first (a lost link
  // already queued must not be taken for this local disconnection).
  queue_.drainNow();
  userDisconnect_ = true;
  reconnectPending_ = false;
  sessionUp_ = false;
  host_.stopTimer(PING_TIMER);
  host_.stopTimer(RECONNECT_TIMER);
  // Its reports ("Disconnected", then the link loss) run here and now.
  library_.stop();
  files_.closeDataFiles();
  showDisconnected();
}

void ConnectionControl::onTimer(int id) {
  if (id == RECONNECT_TIMER) {
    status(kTextAttemptingReconnection);
    connectToServer(false);
  } else if (id == PING_TIMER) {
    if (!sessionUp_) return;
    const int result = library_.ping(0);
    // A busy socket or a slow reply leaves the link up: reconnecting then would only fail with
    // "Already Connected" every five seconds while the data keeps flowing.
    if (result == 0 || result == kPingBusy || result == kPingTimeout) return;
    status(kTextAttemptingReconnection);
    reconnectPending_ = true;
    showDisconnected();
    host_.startTimer(RECONNECT_TIMER, timings_.reconnectMs);
  }
}

void ConnectionControl::resetMonitorData() { runOnWindow(data_.resetMonitorData()); }

void ConnectionControl::shutdown() {
  if (closing_.exchange(true)) return;
  host_.stopTimer(RECONNECT_TIMER);
  host_.stopTimer(PING_TIMER);
  library_.stop();
  files_.closeDataFiles();
}

}  // namespace kestrune
