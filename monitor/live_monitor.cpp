#include "monitor/live_monitor.h"

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "alerts/alert_lists.h"
#include "alerts/alert_sound.h"
#include "monitor/monitor_host.h"
#include "monitor/server_prefs.h"
#include "monitor/session_library.h"
#include "recording/data_files.h"
#include "recording/day_so_far.h"
#include "recording/file_times.h"
#include "settings/monitor_settings.h"

namespace kestrune {

LiveMonitor::LiveMonitor(MonitorHost& host, MonitorSettings& settings,
                         const ServerPrefsValues& server, AlertLists& lists, ExchangeCharts& charts,
                         DataFiles* files, std::unique_ptr<SessionLibrary> library)
    : host_(host),
      settings_(settings),
      server_(server),
      lists_(lists),
      charts_(charts),
      ownFiles_(files ? nullptr : std::make_unique<DataFiles>()),
      files_(files ? *files : *ownFiles_),
      library_(library ? std::move(library) : std::make_unique<QvsHftLibrary>()),
      handover_(std::make_unique<WriterHandover>(files_, files_.baseDir(), "kestrune")),
      control_(std::make_unique<ConnectionControl>(*library_, host_, *this, files_, queue_,
                                                   &decodeRecord)),
      gate_(
          files_, [this] { return collectionWindow(); },
          [this] { return control_->sessionDate(); }) {
  control_->setSettingsSource([this] {
    refreshCollectionWindow();  // a connection records by the collection window as it is now
    ConnectionSettings s;
    // The fields are fixed-size texts; a missing terminator is cut at the field's end.
    s.serverAddress.assign(server_.serverAddress,
                           ::strnlen(server_.serverAddress, sizeof server_.serverAddress));
    s.serverPort = server_.serverPort;
    s.userName.assign(server_.userName, ::strnlen(server_.userName, sizeof server_.userName));
    s.userPassword.assign(server_.userPassword,
                          ::strnlen(server_.userPassword, sizeof server_.userPassword));
    return s;
  });
  refreshCollectionWindow();
  // A standby says who writes, and a takeover that it writes now, on the status line.
  handover_->setNotice(
      [this](const std::string& text) { queue_.post([this, text] { host_.showStatus(text); }); });
  control_->setWriterHandover(handover_.get());
  control_->setWholeDayTest([this] { return isWholeDayCollection(collectionWindow()); });
  // Rows staged by a batch go into their lists in one insertion each, and of the sounds it set
  // off only the last, the one that would be heard, is started.
  queue_.setBatchEndHandler([this] {
    lists_.commitPending();
    startDeferredAlertSound();
  });
  charts_.setHost(this);
  files_.setNotices(this);
}

LiveMonitor::~LiveMonitor() {
  shutdown();
  files_.setNotices(nullptr);
  charts_.setHost(nullptr);
}

void LiveMonitor::recordingNotice(const std::string& text) {
  queue_.post([this, text] { host_.showStatus(text); });
}

void LiveMonitor::shutdown() { control_->shutdown(); }

void LiveMonitor::refreshCollectionWindow() {
  const CollectionWindow fresh = collectionWindowOf(settings_);
  std::lock_guard<std::mutex> guard(collectionLock_);
  collection_ = fresh;
}

CollectionWindow LiveMonitor::collectionWindow() const {
  std::lock_guard<std::mutex> guard(collectionLock_);
  return collection_;
}

MonitorData::WindowPart LiveMonitor::takeAlert(int kind, const char* text) {
  if (kind < 1 || kind > kAlertKindCount) return {};
  const AlertKind list = static_cast<AlertKind>(kind - 1);
  AlertDecision decision = lists_.takeAlert(list, text);
  if (!decision.addRow && !decision.sound.play) return {};
  return [this, decision = std::move(decision)]() mutable {
    if (decision.sound.play) {
      deferAlertSound(decision.sound.fileName, decision.sound.loop, listAlarmNotice(decision));
      decision.sound.play = false;
    }
    lists_.apply(decision);
  };
}

MonitorData::WindowPart LiveMonitor::takeSample(int kind, const char* text) {
  // The charts store and draw on this thread; their window effects come back through the host.
  switch (kind) {
    case 1:
      charts_.takeListingSample(text);
      break;
    case 2:
      charts_.takeReportingSample(text);
      break;
    case 3:
      charts_.takeAlgoSample(text);
      break;
    default:
      break;
  }
  return {};
}

MonitorData::WindowPart LiveMonitor::resetMonitorData() {
  // The store is emptied on the calling thread, in step with the samples taken there; the lists
  // are emptied on the window thread, in step with the rows queued before.
  charts_.resetSeriesStore(false);
  charts_.clearPictures();
  charts_.redrawAllCharts();
  return [this] {
    lists_.commitPending();
    lists_.clearAll();
    lists_.markEraseOnce();
  };
}

DataReadStats LiveMonitor::loadChartsSoFar(DaySnapshot& day,
                                           const std::function<bool()>& cancelled) {
  static constexpr ChartId kChartOfFile[3] = {ChartId::Listing, ChartId::Reporting, ChartId::Algo};
  // The chart lock is held for one batch at a time, never long enough to hold up a drawing.
  constexpr std::size_t kBatch = 2048;
  DataReadStats read;
  std::vector<ChartSample> batch;
  batch.reserve(kBatch);
  std::string newestTime;
  for (int f = 0; f < 3; ++f) {
    const int index = 3 + f;
    if (!day.has(index)) continue;
    const ChartId chart = kChartOfFile[f];
    ChartSample sample;
    const DataReadStats s = day.read(
        index,
        [&](const char* text, std::size_t) {
          if (!parseReplaySample(chart, text, sample)) return;
          if (chart == ChartId::Listing) newestTime = sample.timeText;
          batch.push_back(sample);
          if (batch.size() == kBatch) {
            charts_.storeLoadedSamples(chart, batch);
            batch.clear();
          }
        },
        cancelled);
    read.lines += s.lines;
    read.longSkipped += s.longSkipped;
    read.readError = read.readError || s.readError;
    charts_.storeLoadedSamples(chart, batch);
    batch.clear();
  }
  if (!newestTime.empty()) showSampleTime(newestTime.c_str());
  charts_.redrawAllCharts();
  return read;
}

// While the day so far loads, the status line says so; afterwards it goes back to what it said
// before (the connection's own news), or tells what could not be read. A status shown meanwhile
// by anything else is real news and stays.
void LiveMonitor::loadDaySoFar(DaySnapshot& day, const std::function<bool()>& cancelled) {
  const std::string loading = "Loading the day so far (" + formatSessionDate(day.date()) + ")...";
  auto before = std::make_shared<std::string>();
  queue_.post([this, loading, before] {
    *before = host_.statusText();
    host_.showStatus(loading);
  });
  DataReadStats read;
  auto addStats = [&read](const DataReadStats& s) {
    read.lines += s.lines;
    read.longSkipped += s.longSkipped;
    read.readError = read.readError || s.readError;
  };

  // The charts on a loader of their own while this thread builds the lists: the two share
  // nothing, and both are done before this returns, so live records still come after all of it.
  DataReadStats chartRead;
  std::thread chartLoader(
      [this, &day, &cancelled, &chartRead] { chartRead = loadChartsSoFar(day, cancelled); });

  const AlertIntake& intake = lists_.intake();
  for (int k = 0; k < kAlertKindCount; ++k) {
    if (!day.has(k)) continue;
    const AlertKind kind = static_cast<AlertKind>(k);
    // Held by a shared pointer: a queued command must be copyable.
    auto rows = std::make_shared<AlertList>(kind);
    const AlertRules rules = intake.rules(kind);  // colour codes by the settings as they are now
    AlertDecision decision;
    addStats(day.read(
        k,
        [&](const char* text, std::size_t length) {
          std::string_view line(text, length);
          if (line.back() == '\r') line.remove_suffix(1);
          decideAlert(kind, line, rules, intake.table(), false, decision);
          if (decision.addRow) rows->append(decision.cells, decision.code);
        },
        cancelled));
    queue_.post([this, kind, rows] {
      lists_.commitPending();
      lists_.model(kind)->appendOlderRows(std::move(*rows));
    });
  }
  chartLoader.join();
  addStats(chartRead);

  std::string problems;
  if (read.readError) problems = "read error";
  if (read.longSkipped > 0) {
    if (!problems.empty()) problems += ", ";
    problems += std::to_string(read.longSkipped) + " over-long lines skipped";
  }
  queue_.post([this, loading, before, problems] {
    if (host_.statusText() != loading) return;
    host_.showStatus(problems.empty() ? *before : "DAY SO FAR INCOMPLETE (" + problems + ")");
  });
}

void LiveMonitor::showSampleTime(const char* hhmmss) {
  // The Time box only ever shows the newest time, and nothing else writes it: one queued update
  // carries whatever time is newest when it runs. A replay hands over 86,400 times at once and a
  // fast day a hundred a second; setting the box for each of them cost more than the lists.
  {
    std::lock_guard<std::mutex> guard(timeLock_);
    pendingTime_.assign(hhmmss ? hhmmss : "");
    if (timePosted_) return;
    timePosted_ = true;
  }
  queue_.post([this] {
    std::string shown;
    {
      std::lock_guard<std::mutex> guard(timeLock_);
      shown.swap(pendingTime_);
      timePosted_ = false;
    }
    host_.showSampleTime(shown);
  });
}

void LiveMonitor::driveCollectionWindow(std::int32_t minuteOfDay) {
  std::string problem = gate_.listingSampleAt(minuteOfDay);
  if (!problem.empty()) queue_.post([this, problem] { host_.showStatus(problem); });
}

void LiveMonitor::playChartAlarm(int slot) {
  if (slot < 0 || slot >= kChartCount) return;
  const ChartAlarmSlot s = (*charts_.alarmSlots())[static_cast<std::size_t>(slot)];
  queue_.post([file = s.fileName, loop = s.loop, slot] {
    deferAlertSound(file, loop, chartAlarmNotice(slot, localClockTime()));
  });
}

void LiveMonitor::chartPictureReady(ChartId chart) {
  // Told under the chart lock, which the window thread takes to paint: this post must never wait
  // for room. One notice per chart waiting at a time keeps it bounded; the widget copies whatever
  // picture is newest when it runs.
  const int index = chartIndex(chart);
  if (index < 0 || index >= kChartCount) return;
  if (picturePosted_[static_cast<std::size_t>(index)].exchange(true)) return;
  queue_.post(
      [this, index] {
        picturePosted_[static_cast<std::size_t>(index)].store(false);
        host_.chartPictureReady(index);
      },
      UiQueue::Wait::Never);
}

}  // namespace kestrune
