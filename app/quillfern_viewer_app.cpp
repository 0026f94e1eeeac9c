#include "app/quillfern_viewer_app.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include "alerts/alarm_mute_control.h"
#include "alerts/alarm_notifier.h"
#include "alerts/alert_center.h"
#include "alerts/alert_sound.h"
#include "alerts/symbol_filters_dialog.h"
#include "app/about_dlg.h"
#include "app/chart_navigation_controls.h"
#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/status_history_window.h"
#include "charts/chart_exchanges.h"
#include "charts/chart_lock.h"
#include "charts/chart_readout.h"
#include "charts/chart_widget.h"
#include "history/history_window.h"
#include "history/typical_day_control.h"
#include "monitor/credential_keeper.h"
#include "monitor/live_monitor.h"
#include "monitor/server_prefs.h"
#include "recording/data_files.h"
#include "recording/file_times.h"
#include "recording/monitor_replay.h"
#include "recording/open_day_dialog.h"
#include "settings/color_prefs.h"
#include "settings/record_convert.h"
#include "settings/view_memory.h"

namespace kestrune {

CQuillfernViewerApp::CQuillfernViewerApp() {
  QCoreApplication::setApplicationName(QStringLiteral("QuillfernViewer"));
  QCoreApplication::setOrganizationName(QStringLiteral("Brenmoor"));
  // The desktop matches the window to its menu entry by this name, and shows its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("com.brenmoor.Kestrune"));
  QGuiApplication::setWindowIcon(applicationIcon());
}

CQuillfernViewerApp::~CQuillfernViewerApp() = default;

AlertCenter* installAlerts(CQuillfernViewerView& view) {
  auto* alerts = new AlertCenter(view.settings(), &view);
  ViewHooks& hooks = view.hooks();
  hooks.createList = [alerts](int id, QWidget* parent) -> QTableView* {
    return alerts->createList(id, parent);
  };
  hooks.listsReady = [alerts](CQuillfernViewerView& v) { alerts->listsReady(v.listFont()); };
  hooks.loadSymbolFilters = [alerts] { alerts->loadSymbolFilters(); };
  hooks.releaseSymbolFilters = [alerts] { alerts->releaseSymbolFilters(); };
  hooks.eraseLists = [alerts] { alerts->lists().markEraseOnce(); };
  hooks.applyListColors = [alerts] { alerts->lists().applyListColors(); };
  hooks.buttonClicked = [alerts, next = hooks.buttonClicked](int id) {
    if (id == AlertCenter::kClearAlertsId) {
      alerts->clearAlerts();
    } else if (next) {
      next(id);
    }
  };
  view.setCommandHandler(ID_AUDIO_ALERTS, [alerts, &view] {
    if (alerts->audioAlertPrefs(&view, view.dpiScale())) view.charts().refreshAlarmSlots();
  });
  if (AlertSoundPlayer* player = AlertSoundPlayer::instance()) {
    QObject::connect(
        player, &AlertSoundPlayer::soundRefused, &view,
        [&view](const QString& message) { view.showStatus(message.toLocal8Bit().toStdString()); });
  }
  return alerts;
}

namespace {

// The live link: Connect, Disconnect, both timers, the status callback and the day's data files.
// The password may live in the desktop's keyring: Connect waits for its answer (at most its time
// limit) without holding up the window.
void installLiveMonitor(CQuillfernViewerView& view, AlertLists& lists, CredentialKeeper& keeper) {
  view.setLiveMonitor(std::make_unique<LiveMonitor>(view, view.settings(), view.serverFields(),
                                                    lists, view.charts()));
  LiveMonitor* live = view.liveMonitor();
  ViewHooks& hooks = view.hooks();
  hooks.buttonClicked = [live, &keeper, next = hooks.buttonClicked](int id) {
    if (id == IDC_CONNECT) {
      keeper.whenFetched([live] { live->onConnect(); });
    } else if (id == IDC_DISCONNECT) {
      live->onDisconnect();
    } else if (next) {
      next(id);
    }
  };
  hooks.onTimer = [live](int id) { live->onTimer(id); };
  hooks.stopClient = [live] { live->shutdown(); };
  hooks.closeDataFiles = [live] { live->dataFiles().closeDataFiles(); };
  hooks.saveServerSettings = [&keeper](const ServerPrefsValues& fields) { keeper.save(fields); };
}

// What the colour preferences change in the lists and charts when confirmed.
ColorPrefsHooks colorPrefsHooks(CQuillfernViewerView& view, AlertLists& lists) {
  ColorPrefsHooks h;
  h.eraseLists = [&lists] { lists.markEraseOnce(); };
  h.styleLists = [&view, &lists](const MonitorSettings& s) {
    const QFont font = toQFont(s.listFont, screenFontDpi(view.screen()));
    for (AlertKind kind : {AlertKind::Raw, AlertKind::Seq, AlertKind::Algo}) {
      if (CColorListCtrl* control = lists.control(kind)) control->setListFont(font);
    }
    lists.applyListColors();
  };
  h.recolorByThreshold = [&view, &lists](int list, int column) {
    const auto kind = static_cast<AlertKind>(list);
    lists.recolorByThreshold(kind, column, listThreshold(view.settings(), kind));
  };
  h.underChartLock = [](const std::function<void()>& steps) {
    std::lock_guard<std::mutex> lock(chartLock());
    steps();
  };
  h.pointChartsAtFont = [&view] { view.charts().applySettings(); };
  h.applyChartColors = [&view] { view.charts().applySettings(); };
  h.redrawAllCharts = [&view] { view.charts().redrawAllCharts(); };
  return h;
}

// The four dialogs of the Preferences menu; none writes a file of settings, that is for exit.
void installPreferenceDialogs(CQuillfernViewerView& view, AlertCenter& alerts,
                              CredentialKeeper& keeper) {
  // The dialog shows the password the keyring holds, never an empty box only because the keyring
  // has not answered yet (OK would then empty the password).
  auto opening = std::make_shared<bool>(false);
  view.setCommandHandler(ID_SERVER_PREFS, [&view, &keeper, opening] {
    if (*opening) return;
    *opening = true;
    keeper.whenFetched([&view, opening] {
      editServerPrefs(
          view.serverFields(), [&view] { view.eraseLists(); }, &view);
      *opening = false;
    });
  });
  view.setCommandHandler(ID_SYMBOL_FILTERS, [&view, &alerts] {
    editSymbolFilters(view.settings(), alerts.symbolFilters(), alerts.lists(), &view);
  });
  view.setCommandHandler(ID_CHART_EXCHANGES,
                         [&view] { chooseChartExchanges(view.settings(), view.charts(), &view); });
  view.setCommandHandler(ID_COLOR_PREFS, [&view, &alerts] {
    editColourPrefs(view.settings(), chartColors(), colorPrefsHooks(view, alerts.lists()), &view);
  });
}

// The collection window dialog, the View Date box, Retrieve and the hidden CLEAR button.
void installRecording(CQuillfernViewerView& view, AlertLists& lists) {
  view.setCommandHandler(ID_COLLECTION_TIMES, [&view] {
    if (!runFileTimes(&view, view.settings(), view.dpiScale())) return;
    view.eraseLists();
    if (LiveMonitor* live = view.liveMonitor()) live->refreshCollectionWindow();
  });
  auto viewDate = std::make_shared<ViewDate>();
  // Replay fills the view's own lists and charts.
  auto replayHost = [&view, &lists] {
    MonitorReplayHost::ViewPart part;
    part.showStatus = [&view](const std::string& text) { view.showStatus(text); };
    part.showDate = [&view](const std::string& text) { view.showSessionDate(text); };
    part.resetMonitorData = [&view] {
      if (LiveMonitor* live = view.liveMonitor()) {
        if (auto windowPart = live->resetMonitorData()) windowPart();
      }
    };
    return MonitorReplayHost(lists, view.charts(), std::move(part));
  };
  ViewHooks& hooks = view.hooks();
  hooks.editChanged = [viewDate, next = hooks.editChanged](int id, const QString& text) {
    if (id == IDC_VIEW_DATE) {
      viewDate->edited(text.toLatin1().toStdString());
    } else if (next) {
      next(id, text);
    }
  };
  hooks.buttonClicked = [viewDate, replayHost, next = hooks.buttonClicked](int id) {
    if (id == IDC_RETRIEVE) {
      MonitorReplayHost host = replayHost();
      retrieveDay(host, *viewDate);
    } else if (id == IDC_CLEAR) {
      MonitorReplayHost host = replayHost();
      replayDay(host, "10112010");
    } else if (next) {
      next(id);
    }
  };
  // File > Open...: the chosen day goes into View Date as if typed, and Retrieve does the rest, so
  // it refuses exactly when Retrieve would.
  view.setCommandHandler(ID_FILE_OPEN, [&view] {
    auto* retrieve = qobject_cast<QPushButton*>(view.control(IDC_RETRIEVE));
    auto* viewDateBox = qobject_cast<QLineEdit*>(view.control(IDC_VIEW_DATE));
    if (retrieve == nullptr || viewDateBox == nullptr || !retrieve->isEnabled()) return;
    const std::string date = chooseRecordedDay(&view, retrieve);
    if (date.empty()) return;
    viewDateBox->setText(QString::fromLatin1(date));
    retrieve->click();
  });
}

// File > "History...": one window at a time over the index beside the day files. A double-click
// there retrieves a day as Open does, only while Retrieve is usable, then centres the charts on
// the alert's second as Goto does.
void installHistory(CQuillfernViewerView& view) {
  auto retrieveAlert = [&view](const std::string& date, int second) -> QString {
    auto* retrieve = qobject_cast<QPushButton*>(view.control(IDC_RETRIEVE));
    auto* viewDateBox = qobject_cast<QLineEdit*>(view.control(IDC_VIEW_DATE));
    if (retrieve == nullptr || viewDateBox == nullptr) return QStringLiteral("No monitor view.");
    if (!retrieve->isEnabled()) return QString::fromLatin1(kRetrieveWhileConnectedText);
    viewDateBox->setText(QString::fromLatin1(date));
    retrieve->click();
    view.charts().editWindow([second](ChartWindow& w) { centreWindowOn(w, second); });
    view.charts().redrawAllCharts();
    for (int i = 0; i < 3; ++i) view.chartPictureReady(i);
    return {};
  };
  auto open = std::make_shared<QPointer<HistoryWindow>>();
  view.setCommandHandler(ID_HISTORY, [&view, open, retrieveAlert] {
    if (open->isNull()) *open = new HistoryWindow(std::string(), retrieveAlert, &view);
    (*open)->show();
    (*open)->raise();
    (*open)->activateWindow();
  });
}

// "Show Typical Day" in each chart's context menu, following the day the Date box shows.
void installTypicalDay(CQuillfernViewerView& view) {
  std::array<ChartWidget*, kChartCount> widgets{};
  for (int i = 0; i < kChartCount; ++i) {
    widgets[static_cast<std::size_t>(i)] =
        qobject_cast<ChartWidget*>(view.control(kChartSurfaceIds[i]));
  }
  TypicalDayControl::Options options;
  options.memoryPath = viewMemoryPath(view.configPath());
  options.pictureReady = [&view](ChartId chart) { view.chartPictureReady(chartIndex(chart)); };
  auto* control = new TypicalDayControl(view.charts(), widgets, std::move(options), &view);
  auto* date = qobject_cast<QLineEdit*>(view.control(IDC_DATE));
  control->showDay(date != nullptr ? date->text() : QString());
  if (date != nullptr) {
    QObject::connect(date, &QLineEdit::textChanged, control, &TypicalDayControl::showDay);
  }
}

// "Mute Alarms", after the Preferences menu's own items; the status line's context menu offers
// the same submenu (status_history_window.cpp).
void installAlarmMute(CQuillfernViewerView& view, CMainFrame& frame) {
  auto* mute =
      new AlarmMuteControl([&view](const std::string& text) { view.showStatus(text); }, &view);
  if (QMenu* prefs = frame.menu(QStringLiteral("&Preferences"))) {
    prefs->addSeparator();
    prefs->addMenu(mute->createMenu(prefs));
  }
}

// Alarms as desktop notifications while the monitor is not the active window; a click brings
// it back to the front.
void installAlarmNotifier(CQuillfernViewerView& view, CMainFrame& frame) {
  AlarmNotifier::Options options;
  options.windowActive = [&frame] { return frame.isActiveWindow(); };
  options.raiseWindow = [&frame] {
    frame.setWindowState(frame.windowState() & ~Qt::WindowMinimized);
    frame.show();
    frame.raise();
    frame.activateWindow();
  };
  auto* notifier = new AlarmNotifier(std::move(options), &view);
  notifier->follow(AlertSoundPlayer::instance());
}

}  // namespace

bool CQuillfernViewerApp::initInstance(CQuillfernViewerView::Options options) {
  frame_ = std::make_unique<CMainFrame>();
  auto* view = new CQuillfernViewerView(frame_.get(), std::move(options));
  frame_->setView(view);
  AlertCenter* alerts = installAlerts(*view);
  auto* keeper = new CredentialKeeper(systemVault(), view);
  installLiveMonitor(*view, alerts->lists(), *keeper);
  installPreferenceDialogs(*view, *alerts, *keeper);
  installRecording(*view, alerts->lists());
  installChartNavigation(*view);
  installAlarmMute(*view, *frame_);
  installAlarmNotifier(*view, *frame_);
  view->initialUpdate();
  // The store has been read: a password kept in the keyring is asked for now.
  keeper->fetchPassword(view->serverFields());
  frame_->followRetrieve(view->control(IDC_RETRIEVE));
  installStatusHistory(*view);
  installHistory(*view);
  installTypicalDay(*view);
  frame_->show();
  return true;
}

CQuillfernViewerView* CQuillfernViewerApp::view() const {
  return frame_ != nullptr ? frame_->view() : nullptr;
}

}  // namespace kestrune
