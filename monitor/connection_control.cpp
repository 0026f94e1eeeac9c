#include "monitor/connection_control.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "monitor/monitor_host.h"
#include "monitor/ui_queue.h"
#include "recording/data_files.h"
#include "recording/day_so_far.h"
#include "recording/writer_handover.h"

namespace kestrune {

namespace {

constexpr const char* kTextBadUser = "Invalid username/password!";
constexpr const char* kTextAccountInUse = "Account already in use!";
constexpr const char* kTextInvalidApp = "Invalid Server-App!";
constexpr const char* kTextServerDisconnected = "Kestrune Server Disconnected.";
constexpr const char* kTextAttemptingReconnection = "Attempting Reconnection...";
constexpr const char* kTextCouldNotConnect = "Kestrune Error, Could Not Connect!";

// Codes of the keep-alive ping after which the link is still up (socket busy, no reply yet).
constexpr int kPingBusy = 206;
constexpr int kPingTimeout = 226;

// The decoded record text: the longest record is 246 characters.
constexpr std::size_t kRecordTextSize = 256;
// A session date longer than the session date field is not kept whole.
constexpr std::size_t kSessionDateMax = 26;

// A receive thread's first report waits for the gate only while the worker starts its link, a
// matter of microseconds; the limit only guards against a thread of an older link that would
// otherwise wait for an attempt that is joining it.
constexpr auto kGateLimit = std::chrono::seconds(15);

// The connection control whose connect worker runs on this thread, and the one (with the session)
// whose link this receive thread serves.
thread_local const ConnectionControl* tlWorkerOf = nullptr;
thread_local const ConnectionControl* tlLinkOf = nullptr;
thread_local std::uint64_t tlLinkSession = 0;

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

ConnectionControl::~ConnectionControl() { shutdown(); }

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

std::uint64_t ConnectionControl::reportSession() {
  if (queue_.isWindowThread()) return session_.load();
  if (tlWorkerOf == this) return tlLinkSession;
  if (tlLinkOf != this) {
    std::unique_lock<std::mutex> gate(gateLock_);
    gateOpened_.wait_for(gate, kGateLimit, [this] { return !gateClosed_; });
    tlLinkOf = this;
    tlLinkSession = gateSession_;
  }
  return tlLinkSession;
}

bool ConnectionControl::isCurrent(std::uint64_t session) const {
  return !closing_.load() && session == session_.load();
}

// Only for the current session, and never once the window is going. On the window thread (the
// reports of Stop and Ping, made from inside those calls) the part runs at once, without running
// what the receive thread queued meanwhile: that could end the very connection the library is
// still working on. From any other thread it is queued, and dropped when its turn comes if the
// session it belongs to has ended since.
void ConnectionControl::runOnWindow(std::uint64_t session, std::function<void()> part) {
  if (!part || !isCurrent(session)) return;
  if (queue_.isWindowThread()) {
    part();
  } else {
    queue_.post([this, session, part = std::move(part)] {
      if (isCurrent(session)) part();
    });
  }
}

void ConnectionControl::status(const std::string& text) { host_.showStatus(text); }

// A server may send status texts as fast as the network carries them; the status line can only
// ever show the newest. While one waits for the window thread as the newest thing queued, a later
// one takes its place and the earlier counts as skipped. Anything queued between two texts keeps
// them apart, so what the status line ends with is what it would have ended with.
void ConnectionControl::reportedStatus(std::uint64_t session, const char* text) {
  if (!isCurrent(session)) return;
  if (queue_.isWindowThread()) {
    status(text);
    return;
  }
  std::lock_guard<std::mutex> guard(statusLock_);
  auto fresh = std::make_shared<PendingStatus>();
  fresh->session = session;
  fresh->text = text;
  const bool merged = queue_.postLatest(
      this,
      [this, fresh] {
        if (isCurrent(fresh->session)) host_.showLatestStatus(fresh->text, fresh->skipped);
      },
      [this, session, text] {
        if (!pendingStatus_ || pendingStatus_->session != session) return false;
        pendingStatus_->text = text;
        ++pendingStatus_->skipped;
        return true;
      });
  if (!merged) pendingStatus_ = std::move(fresh);
}

void ConnectionControl::showDisconnected() { host_.showDisconnectedControls(reconnectPending_); }

int ConnectionControl::statusCallbackHandler(std::int32_t type, std::int32_t kind,
                                             const char* text) {
  if (closed_.load()) return 0;
  if (!text) text = "";
  const int t = type & 0xFF;
  const int k = kind & 0xFF;
  const std::uint64_t session = reportSession();
  // A report of a session already ended here (Disconnect, a refusal, a newer attempt) changes
  // nothing. While the window goes, only the files still follow the link, so that every record
  // handed over before the library stops is written.
  const bool files = isCurrent(session) || closing_.load();
  switch (t) {
    case MSG_BAD_USER:
      refuse(session, kTextBadUser);
      return 0;
    case MSG_ACCOUNT_IN_USE:
      refuse(session, kTextAccountInUse);
      return 0;
    case MSG_INVALID_APP:
      refuse(session, kTextInvalidApp);
      return 0;
    case MSG_SESSION_START:
      if (!files) return 1;
      // The store is emptied now, in step with the records taken on this thread; the lists on
      // the window thread, in step with the rows queued before.
      queue_.post(data_.resetMonitorData());
      if (handover_) handover_->sessionStarted();
      sessionDateArrived(session, text, true);
      if (tap_) tap_->sessionStarted(text);
      return 1;
    case MSG_SESSION_DATE:
      if (!files) return 1;
      sessionDateArrived(session, text, false);
      if (tap_) tap_->sessionDateChanged(text);
      return 1;
    case MSG_DISCONNECTED:
      if (!files) return 1;
      if (tap_) tap_->sessionEnded();
      files_.closeDataFiles();
      recordingEnded();
      runOnWindow(session, [this] { linkLost(); });
      return 1;
    case MSG_STATUS:
    case MSG_SERVER_TEXT:
      if (tap_ && isCurrent(session)) tap_->serverText(t, text);
      reportedStatus(session, text);
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
void ConnectionControl::refuse(std::uint64_t session, const char* text) {
  if (tap_ && isCurrent(session)) tap_->sessionEnded();
  runOnWindow(session, [this, text] {
    disconnectFromServer();
    status(text);
  });
}

// Runs on the receive thread, so the files of the new date are open before the next record. A
// session start has just emptied the views: what the day's files hold is shown again, measured
// while none of ours writes them (after closing, before opening), so the records shown end
// exactly where this session's first record begins.
void ConnectionControl::sessionDateArrived(std::uint64_t session, const char* text,
                                           bool sessionStart) {
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
  if (handover_ && valid) handover_->dateArrived(date);
  // A date repeated while its files are open keeps them open. A session start closes them even
  // then, so that what the day holds is measured with everything of ours written.
  const bool sameDayOpen =
      !sessionStart && valid && files_.dataFilesOpen() && files_.openDate() == date;
  if (!sameDayOpen) files_.closeDataFiles();
  DaySnapshot day;
  if (sessionStart && valid) day = DaySnapshot::take(files_.baseDir(), date);
  std::string problem;
  if (!valid) {
    problem = openResultText(OpenResult::BadDate, date);
  } else if (!sameDayOpen && wholeDay_ && wholeDay_()) {
    const OpenResult opened = files_.openDataFiles(date);
    problem = openResultText(opened, date, files_.notRegularFile());
  }
  runOnWindow(session, [this, shown = formatSessionDate(date), problem] {
    host_.showSessionDate(shown);
    if (!problem.empty()) status(problem);
  });
  if (day.any()) data_.loadDaySoFar(day, [this] { return closing_.load(); });
}

void ConnectionControl::linkLost() {
  // A late report of a link that was already taken down here (a local Disconnect, a refusal)
  // must neither bring it back nor cover the text that said why it ended.
  if (!sessionUp_ && !reconnectPending_ && !userDisconnect_) return;
  status(kTextServerDisconnected);
  sessionUp_ = false;
  host_.stopTimer(PING_TIMER);
  if (userDisconnect_) {
    showDisconnected();
  } else {
    status(kTextAttemptingReconnection);
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
  // Only handed over: the files' writer says when records are lost and when they are written
  // again. A file that could not be opened was said at the open. With the folder's one-writer
  // rule the record is written only while this program holds the folder, and kept otherwise.
  const int index = (alert ? 0 : 3) + kind - 1;
  std::unique_lock<std::mutex> cut(recordCut_, std::defer_lock);
  if (tap_) cut.lock();
  if (handover_) {
    WriteResult written = WriteResult::FilesClosed;
    handover_->takeLine(index, text, written);
  } else {
    files_.writeDataLine(index, text);
  }
  if (tap_) tap_->record(index, text);
}

void ConnectionControl::holdRecords(const std::function<void()>& f) {
  std::lock_guard<std::mutex> guard(recordCut_);
  f();
}

void ConnectionControl::connectToServer(bool clearViews) {
  // One attempt at a time: Connect is disabled while one runs, and a reconnection tick waits.
  if (attemptInProgress_ || closing_.load()) return;
  library_.setStatusCallback(&kestrune::statusCallbackHandler);
  userDisconnect_ = false;
  Attempt attempt;
  attempt.clearViews = clearViews;
  attempt.settings = settings_ ? settings_() : ConnectionSettings{};
  // The new connection has no date yet. Emptied before the start, not after: the server may send
  // the session date before Start has returned.
  {
    std::lock_guard<std::mutex> guard(dateLock_);
    sessionDate_.clear();
    sessionDateValid_ = false;
  }
  attemptInProgress_ = true;
  attempt.id = session_.load() + 1;
  session_.store(attempt.id);
  host_.showConnectedControls();
  {
    std::lock_guard<std::mutex> guard(workerLock_);
    request_ = std::move(attempt);
    if (!worker_.joinable()) worker_ = std::thread(&ConnectionControl::workerLoop, this);
  }
  workerWake_.notify_one();
}

void ConnectionControl::closeGate() {
  std::lock_guard<std::mutex> gate(gateLock_);
  gateClosed_ = true;
}

void ConnectionControl::openGate(std::uint64_t session) {
  {
    std::lock_guard<std::mutex> gate(gateLock_);
    gateClosed_ = false;
    gateSession_ = session;
  }
  gateOpened_.notify_all();
}

void ConnectionControl::workerLoop() {
  tlWorkerOf = this;
  for (;;) {
    Attempt attempt;
    {
      std::unique_lock<std::mutex> guard(workerLock_);
      workerBusy_ = false;
      workerWake_.notify_all();
      workerWake_.wait(guard, [this] { return workerStop_ || request_.has_value(); });
      if (workerStop_) return;
      attempt = std::move(*request_);
      request_.reset();
      workerBusy_ = true;
    }
    tlLinkSession = attempt.id;  // the reports of this Start belong to its attempt
    const ConnectionSettings& s = attempt.settings;
    library_.setUser(s.userName.c_str(), s.userPassword.c_str(), kClientType, kAppVersion);
    // With port 0 the library keeps whatever it had.
    if (s.serverPort != 0) library_.setParms(s.serverAddress.c_str(), s.serverPort);
    library_.setTimeout(10, 1);
    closeGate();
    const int result = library_.start();
    const bool wanted = result == 0 && isCurrent(attempt.id);
    // A Connect empties the views once the link is up, before its first record is taken: the
    // store here, the lists when the outcome runs on the window thread.
    MonitorData::WindowPart reset;
    if (wanted && attempt.clearViews) reset = data_.resetMonitorData();
    queue_.post([this, id = attempt.id, result, reset = std::move(reset)] {
      if (reset) reset();
      connectFinished(id, result);
    });
    openGate(attempt.id);
    // Disconnect or teardown came while the link was being made, too late to cancel it: it is not
    // wanted, and nothing it reports reaches the window.
    if (result == 0 && !wanted) library_.stop();
  }
}

void ConnectionControl::connectFinished(std::uint64_t attempt, int result) {
  if (!isCurrent(attempt)) return;  // cancelled by Disconnect or teardown
  attemptInProgress_ = false;
  if (result != 0) {
    // A running reconnection timer keeps running and tries again.
    status(kTextCouldNotConnect);
    showDisconnected();
    return;
  }
  host_.stopTimer(RECONNECT_TIMER);
  reconnectPending_ = false;
  host_.showConnectedControls();
  sessionUp_ = true;
  host_.startTimer(PING_TIMER, timings_.pingMs);
}

void ConnectionControl::disconnectFromServer() {
  userDisconnect_ = true;
  reconnectPending_ = false;
  sessionUp_ = false;
  attemptInProgress_ = false;
  host_.stopTimer(PING_TIMER);
  host_.stopTimer(RECONNECT_TIMER);
  // What the ended link or a cancelled attempt still reports (queued before the button or on its
  // way) leaves the window as this leaves it; its records are still shown.
  session_.store(session_.load() + 1);
  // Ends the link, or cancels the attempt under way. Its reports ("Disconnected", then the link
  // loss) run here and now.
  {
    UiQueue::WindowWait waiting(queue_);  // the link's thread may be waiting for room
    library_.stop();
  }
  files_.closeDataFiles();
  recordingEnded();
  showDisconnected();
}

void ConnectionControl::recordingEnded() {
  if (handover_) handover_->sessionEnded();
}

void ConnectionControl::onTimer(int id) {
  if (id == RECONNECT_TIMER) {
    if (attemptInProgress_) return;  // the last attempt has not ended yet
    status(kTextAttemptingReconnection);
    connectToServer(false);
  } else if (id == PING_TIMER) {
    if (!sessionUp_) return;
    int result = 0;
    {
      UiQueue::WindowWait waiting(queue_);  // a failed ping ends the link and waits for its thread
      result = library_.ping(0);
    }
    // A busy socket or a slow reply leaves the link up: reconnecting then would only fail with
    // "Already Connected" every five seconds while the data keeps flowing.
    if (result == 0 || result == kPingBusy || result == kPingTimeout) return;
    status(kTextAttemptingReconnection);
    reconnectPending_ = true;
    showDisconnected();
    host_.startTimer(RECONNECT_TIMER, timings_.reconnectMs);
  }
}

void ConnectionControl::shutdown() {
  if (closing_.exchange(true)) return;
  // Waits for the link's thread and the connect worker, which may be waiting for room.
  UiQueue::WindowWait waiting(queue_);
  host_.stopTimer(RECONNECT_TIMER);
  host_.stopTimer(PING_TIMER);
  attemptInProgress_ = false;
  {
    std::lock_guard<std::mutex> guard(workerLock_);
    workerStop_ = true;
    request_.reset();
  }
  workerWake_.notify_all();
  // Cancels an attempt under way, or ends the link; the records it hands over until it returns
  // are still written.
  library_.stop();
  if (worker_.joinable()) {
    // A Start that began a moment after that Stop is not cancelled by it: stop again until the
    // worker is free (it ends a link it made itself, as it is not wanted).
    std::unique_lock<std::mutex> guard(workerLock_);
    while (!workerWake_.wait_for(guard, std::chrono::milliseconds(50),
                                 [this] { return !workerBusy_; })) {
      guard.unlock();
      library_.stop();
      guard.lock();
    }
    guard.unlock();
    worker_.join();
  }
  closed_.store(true);
  files_.closeDataFiles();
  recordingEnded();
}

}  // namespace kestrune
