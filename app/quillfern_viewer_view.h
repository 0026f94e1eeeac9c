// CQuillfernViewerView: the monitor form. It owns the controls, the settings record, the
// connection fields, the fonts and the two timers; it builds the form from its control table,
// runs the start-up in its fixed order and saves everything at teardown. What the subsystems do
// reaches it through MonitorHost and the hooks below, so the behaviour stays in their folders.
#pragma once

#include <QFont>
#include <QScrollArea>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "charts/chart_controls.h"
#include "charts/exchange_charts.h"
#include "monitor/monitor_host.h"
#include "monitor/server_prefs.h"
#include "monitor/status_history.h"
#include "settings/config_file.h"
#include "settings/monitor_settings.h"

class QRegion;
class QTimer;
class QTableView;

namespace kestrune {

class CQuillfernViewerView;
class LiveMonitor;

// Timers of the view window.
inline constexpr int kReconnectTimerId = 1;
inline constexpr int kPingTimerId = 2;
inline constexpr int kReconnectTimerMs = 5000;
inline constexpr int kPingTimerMs = 60000;

// Size the frame is given at start-up, before any stored placement.
inline constexpr int kFrameWidth = 1370;
inline constexpr int kFrameHeight = 845;

// Menu commands the view handles.
enum ViewCommand : int {
  ID_SERVER_PREFS = 32771,
  ID_COLLECTION_TIMES = 32772,
  ID_COLOR_PREFS = 32773,
  ID_AUDIO_ALERTS = 32774,
  ID_SYMBOL_FILTERS = 32775,
  ID_USERS_MANUAL = 32776,
  ID_CHART_EXCHANGES = 32777,
  ID_FILE_OPEN = 0xE101,
  ID_HISTORY = 32790,
};

// Where the subsystems plug in. Every hook is optional; an empty one does nothing, except
// stopClient, which stops the client library when left empty.
struct ViewHooks {
  // Start-up, step 11: read the watched-symbol file.
  std::function<void()> loadSymbolFilters;
  // Start-up, steps 14-16: the lists are placed; the alert lists take them over.
  std::function<void(CQuillfernViewerView&)> listsReady;
  // Teardown, steps 2, 3 and 6.
  std::function<void()> stopClient;
  std::function<void()> closeDataFiles;
  std::function<void()> releaseSymbolFilters;
  // Teardown, step 5: keeps the connection values (the per-user store when left empty).
  std::function<void(const ServerPrefsValues&)> saveServerSettings;
  // A timer tick (id 1 reconnect, 2 ping).
  std::function<void(int id)> onTimer;
  // A push button of the form was clicked, an edit other than the chart controls changed.
  std::function<void(int id)> buttonClicked;
  std::function<void(int id, const QString& text)> editChanged;
  // Marks the lists for one clean repaint (after a confirmed dialog) and gives them the settings'
  // colour pairs.
  std::function<void()> eraseLists;
  std::function<void()> applyListColors;
  // The form's list controls: makes the widget for that id, placed and named by the view.
  std::function<QTableView*(int id, QWidget* parent)> createList;
};

class CQuillfernViewerView : public QScrollArea, public MonitorHost {
  Q_OBJECT

 public:
  struct Options {
    double dpiScale = 0.0;  // 0: measure the screen
    int reconnectPeriodMs = kReconnectTimerMs;
    int pingPeriodMs = kPingTimerMs;
    std::string configPath = kConfigFileName;
    // Opens the users manual; tests replace the desktop's browser.
    std::function<bool(const QString& localFile)> openManual;
  };

  // Construction sets every default; nothing is read yet. frame is the window the view sizes
  // and places (its parent window), may be null in tests.
  explicit CQuillfernViewerView(QWidget* frame, Options options);
  CQuillfernViewerView(const CQuillfernViewerView&) = delete;
  CQuillfernViewerView& operator=(const CQuillfernViewerView&) = delete;
  ~CQuillfernViewerView() override;

  ViewHooks& hooks() { return hooks_; }
  // Kestrune.cfg as this view reads and writes it.
  const std::string& configPath() const { return options_.configPath; }

  // The start-up steps in their order; once.
  void initialUpdate();
  // The teardown steps in their order; once (the destructor runs it if nobody did).
  void teardown();

  // MonitorHost / ConnectionHost.
  void showStatus(const std::string& text) override;
  std::string statusText() const override;
  void showLatestStatus(const std::string& text, std::size_t skipped) override;
  void showDisconnectedControls(bool disconnectEnabled) override;
  void showConnectedControls() override;
  void showSessionDate(const std::string& text) override;
  void startTimer(int id, int periodMs) override;
  void stopTimer(int id) override;
  double dpiScale() const override { return dpiScale_; }
  bool chartsReady() const override { return chartsReady_; }
  void eraseLists() override;
  // A chart has a new picture: its surface repaints (window thread).
  void chartPictureReady(int chartIndex) override;
  // The "Time:" box.
  void showSampleTime(const std::string& hhmmss) override;
  // The live monitor (connection control, record intake, data files); set once before the
  // initial update. The status callback finds it through connectionControl().
  void setLiveMonitor(std::unique_ptr<LiveMonitor> live);
  LiveMonitor* liveMonitor() const { return live_.get(); }
  ConnectionControl* connectionControl() override;
  void showDisconnectedControls() { showDisconnectedControls(false); }

  // Menu commands routed here by the frame; a command nobody handles yet does nothing.
  void onCommand(int commandId);
  void setCommandHandler(int commandId, std::function<void()> handler);
  // The users manual of the program in programDir (default: this program's folder): the
  // installed one beside an installed program, the source tree's docs/ when the program runs
  // from its build folder; empty when there is none.
  static QString manualPath(const QString& programDir = {});

  // The form and its controls.
  QWidget* form() const { return form_; }
  QWidget* control(int id) const;
  QTableView* list(int id) const;
  bool isTimerActive(int id) const;
  int timerInterval(int id) const;

  // Owned state.
  MonitorSettings& settings() { return settings_; }
  const MonitorSettings& settings() const { return settings_; }
  ServerPrefsValues& serverFields() { return server_; }
  const QFont& listFont() const { return listFont_; }
  const QFont& chartFont() const { return chartFont_; }
  // The three charts with their per-second data and shared window.
  ExchangeCharts& charts() { return *charts_; }
  // Every text the status line has shown, newest first.
  StatusHistory& statusHistory() { return statusHistory_; }
  bool initialUpdateDone() const { return initialUpdateDone_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildForm();
  void connectControls();
  void setUpList(int index);
  void setUpCharts();
  void applyListColors();
  void applyFontsFromSettings(const ConfigReadResult& read);
  void gatherLiveValues();
  bool paintReachesCharts(const QRegion& region) const;
  QTimer* timer(int id) const;

  Options options_;
  QWidget* frame_;
  QWidget* form_ = nullptr;
  std::map<int, QWidget*> controls_;
  ViewHooks hooks_;
  std::map<int, std::function<void()>> commands_;

  MonitorSettings settings_;
  std::unique_ptr<ExchangeCharts> charts_;
  std::unique_ptr<ChartControls> chartControls_;
  ServerPrefsValues server_;
  StatusHistory statusHistory_;
  std::string statusText_;  // what showStatus last put in the status box
  QFont listFont_;
  QFont chartFont_;
  QTimer* reconnectTimer_ = nullptr;
  QTimer* pingTimer_ = nullptr;
  double dpiScale_ = 1.0;
  bool chartsReady_ = false;
  bool initialUpdateDone_ = false;
  bool tornDown_ = false;
  // Last: it is destroyed before the charts and settings it works on.
  std::unique_ptr<LiveMonitor> live_;
};

}  // namespace kestrune
