#include "app/quillfern_viewer_view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <cmath>
#include <cstdlib>

#include "app/form_layout.h"
#include "charts/chart_controls.h"
#include "charts/chart_widget.h"
#include "client/qvs_hft.h"
#include "monitor/live_monitor.h"
#include "monitor/server_store.h"
#include "settings/record_convert.h"
#include "settings/settings_consistency.h"

namespace kestrune {
namespace {

// A small stand-in for the product artwork: the name over a dark band with a trace of a chart.
QPixmap logoPixmap(QSize size) {
  QPixmap pm(size);
  pm.fill(QColor(16, 32, 72));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 154, 255), 1.5));
  const int w = size.width(), h = size.height();
  const QPointF trace[] = {{0.0, h * 0.80},      {w * 0.15, h * 0.65}, {w * 0.30, h * 0.75},
                           {w * 0.45, h * 0.40}, {w * 0.60, h * 0.55}, {w * 0.75, h * 0.25},
                           {w * 1.0, h * 0.35}};
  p.drawPolyline(trace, 7);
  QFont f(QStringLiteral("Arial"));
  f.setStyleHint(QFont::SansSerif);
  f.setBold(true);
  f.setPixelSize(std::max(8, h / 2));
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QStringLiteral("KESTRUNE"));
  return pm;
}

}  // namespace

CQuillfernViewerView::CQuillfernViewerView(QWidget* frame, Options options)
    : QScrollArea(frame), options_(std::move(options)), frame_(frame) {
  setObjectName(QStringLiteral("CQuillfernViewerView"));
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(false);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);

  if (options_.dpiScale > 0.0) {
    dpiScale_ = options_.dpiScale;
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    dpiScale_ = screen->logicalDotsPerInchX() / 96.0;
  }
  if (!(dpiScale_ > 0.0) || !std::isfinite(dpiScale_)) dpiScale_ = 1.0;

  // Stored font heights are in the screen's own pixels, high-resolution scaling included, so a
  // file is read and written the same as on any other screen of that resolution. A scale given
  // by the caller stands for a screen of 96 x scale dots per inch.
  const int fontDpi =
      options_.dpiScale > 0.0 ? static_cast<int>(std::lround(96.0 * dpiScale_)) : screenFontDpi();
  // Construction defaults: the record's own, with the fonts made for this screen.
  settings_.listFont = defaultLogFont(fontDpi);
  settings_.chartFont = defaultLogFont(fontDpi);
  listFont_ = toQFont(settings_.listFont, screenFontDpi());
  chartFont_ = toQFont(settings_.chartFont, screenFontDpi());
  // The charts' whole-day store, made once with the view; the window starts at its defaults.
  charts_ = std::make_unique<ExchangeCharts>(settings_);
  charts_->resetSeriesStore(true);
  chartControls_ = std::make_unique<ChartControls>(
      *charts_, [this](int id) { return control(id); },
      [this](ChartId chart) { chartPictureReady(chartIndex(chart)); });

  reconnectTimer_ = new QTimer(this);
  reconnectTimer_->setInterval(options_.reconnectPeriodMs);
  connect(reconnectTimer_, &QTimer::timeout, this, [this] {
    if (hooks_.onTimer) hooks_.onTimer(kReconnectTimerId);
  });
  pingTimer_ = new QTimer(this);
  pingTimer_->setInterval(options_.pingPeriodMs);
  connect(pingTimer_, &QTimer::timeout, this, [this] {
    if (hooks_.onTimer) hooks_.onTimer(kPingTimerId);
  });

  commands_[ID_USERS_MANUAL] = [this] {
    const QString path = manualPath();
    if (path.isEmpty()) return;  // nothing is shown when the page cannot be opened
    if (options_.openManual) {
      options_.openManual(path);
    } else {
      QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
  };
}

CQuillfernViewerView::~CQuillfernViewerView() { teardown(); }

void CQuillfernViewerView::buildForm() {
  form_ = new QWidget;
  form_->setObjectName(QStringLiteral("101"));
  form_->setFont(dialogFont(dpiScale_));
  std::vector<QWidget*> built;  // in row order, for the keyboard groups
  for (const ControlRow& row : formControls()) {
    QWidget* w = nullptr;
    if (row.kind == ControlKind::Picture && row.id == IDC_LOGO) {
      auto* logo = new QLabel(form_);
      logo->setObjectName(QStringLiteral("0"));
      logo->setGeometry(dialogRectToPixels(row.x, row.y, row.w, row.h, dpiScale_));
      logo->setFrameStyle(QFrame::Box | QFrame::Plain);
      logo->setPixmap(logoPixmap(logo->contentsRect().size()));
      built.push_back(logo);
      continue;
    }
    if (row.kind == ControlKind::List && hooks_.createList) {
      w = hooks_.createList(row.id, form_);
    } else if (row.kind == ControlKind::Picture) {
      for (int i = 0; i < 3; ++i) {
        if (row.id != kChartSurfaceIds[i]) continue;
        auto* surface = new ChartWidget(*charts_, ChartId(i), form_);
        applyPictureFrame(surface, row.flags);
        // A double-click on one chart moves the window of all three.
        connect(surface, &ChartWidget::chartWindowMoved, this, [this] {
          for (int k = 0; k < 3; ++k) chartPictureReady(k);
        });
        w = surface;
      }
    }
    if (w != nullptr) {
      w->setParent(form_);
      w->setObjectName(QString::number(row.id));
      w->setGeometry(dialogRectToPixels(row.x, row.y, row.w, row.h, dpiScale_));
    } else {
      w = buildControl(form_, row, dpiScale_);
    }
    built.push_back(w);
    if (row.id != 0) controls_[row.id] = w;
  }
  groupControls(form_, formControls(), built);
  form_->installEventFilter(this);
  setWidget(form_);
}

void CQuillfernViewerView::connectControls() {
  for (const auto& [id, w] : controls_) {
    const int cid = id;
    if (auto* b = qobject_cast<QPushButton*>(w)) {
      connect(b, &QPushButton::clicked, this, [this, cid] {
        if (hooks_.buttonClicked) hooks_.buttonClicked(cid);
      });
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      connect(c, &QCheckBox::clicked, this,
              [this, cid](bool checked) { chartControls_->switchClicked(cid, checked); });
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      connect(e, &QLineEdit::textChanged, this, [this, cid](const QString& text) {
        if (!chartControls_->editChanged(cid, text) && hooks_.editChanged) {
          hooks_.editChanged(cid, text);
        }
      });
    }
  }
}

void CQuillfernViewerView::initialUpdate() {
  if (initialUpdateDone_) return;
  // 1. The form and its controls. (2. The chart and filter locks are process-wide objects that
  // exist before any connection can start.)
  buildForm();
  connectControls();
  // 4. The way in for the status callback.
  setCurrentView(this);
  // 5. The screen scale was measured at construction: the form is built with it.
  // 6. No connection values until the store has been read.
  server_ = ServerPrefsValues{};
  // 7. The frame's size, keeping its position.
  if (frame_ != nullptr) frame_->resize(kFrameWidth, kFrameHeight);
  // 8. Column widths start from their defaults just before the file is read.
  const MonitorSettings defaults;
  settings_.rawColumnWidths = defaults.rawColumnWidths;
  settings_.seqColumnWidths = defaults.seqColumnWidths;
  settings_.algoColumnWidths = defaults.algoColumnWidths;
  // 9. The configuration file; fonts and placement take effect at once. A damaged value is
  // brought into its range first, so what the form shows is what it uses and saves.
  ScreenLimits limits;
  for (int i = 0; i < 3; ++i) {
    limits.listWidths[static_cast<std::size_t>(i)] =
        scaledPixels(listPlacements()[i].list.width(), dpiScale_);
  }
  limits.defaultFontHeight = settings_.listFont.lfHeight;  // still this screen's default
  const ConfigReadResult read = readConfigFile(settings_, chartColors(), options_.configPath);
  makeSettingsConsistent(settings_, limits);
  applyFontsFromSettings(read);
  if (read.placementRead && frame_ != nullptr) applyPlacement(*frame_, settings_.framePlacement);
  // 10. The connection values from the per-user store.
  readServerSettings(server_);
  // 11. The watched symbols.
  if (hooks_.loadSymbolFilters) hooks_.loadSymbolFilters();
  // 12-13. The chart switches that are on are ticked, then the Hard Max and Data Points edits
  // are written; their change handlers read the values back.
  chartControls_->showStoredValues();
  // 14-16. The three lists and their captions.
  for (int i = 0; i < 3; ++i) setUpList(i);
  if (hooks_.listsReady) hooks_.listsReady(*this);
  // 17. The chart surfaces.
  setUpCharts();
  // 18. (The second-of-day tables belong to the charts.) 19. List colours.
  applyListColors();
  // 20. Hard Max is editable only where smart scale is off.
  chartControls_->updateHardMaxEnables();
  // 21. Connection controls while no session is up.
  showDisconnectedControls(false);
  // The form is as large as its template, or as what was placed on it if that reaches further,
  // so nothing is clipped; a smaller frame shows scroll bars.
  const QRect tmpl(0, 0, dialogUnitsToPixelsX(kFormWidthDu, dpiScale_),
                   dialogUnitsToPixelsY(kFormHeightDu, dpiScale_));
  const QRect used = form_->childrenRect();
  form_->setFixedSize(tmpl.united(QRect(0, 0, used.right() + 1 + scaledPixels(8, dpiScale_),
                                        used.bottom() + 1 + scaledPixels(8, dpiScale_)))
                          .size());
  // 22. Charts may draw from now on.
  chartsReady_ = true;
  charts_->setChartsReady(true);
  initialUpdateDone_ = true;
}

void CQuillfernViewerView::applyFontsFromSettings(const ConfigReadResult& read) {
  if (read.listFontRead) listFont_ = toQFont(settings_.listFont, screenFontDpi());
  if (read.chartFontRead) chartFont_ = toQFont(settings_.chartFont, screenFontDpi());
}

void CQuillfernViewerView::setUpList(int index) {
  const ListPlacement& place = listPlacements()[index];
  QTableView* view = list(place.listId);
  if (view == nullptr) return;
  const std::int32_t* widths = index == 0   ? settings_.rawColumnWidths.data()
                               : index == 1 ? settings_.seqColumnWidths.data()
                                            : settings_.algoColumnWidths.data();
  const int columns =
      view->model() != nullptr ? std::min(view->model()->columnCount(), place.columns) : 0;
  for (int c = 0; c < columns; ++c) view->setColumnWidth(c, std::max(0, widths[c]));
  if (QWidget* caption = control(place.captionId)) {
    caption->move(scaledPixels(place.caption.x(), dpiScale_),
                  scaledPixels(place.caption.y(), dpiScale_));
  }
  view->setGeometry(
      scaledPixels(place.list.x(), dpiScale_), scaledPixels(place.list.y(), dpiScale_),
      scaledPixels(place.list.width(), dpiScale_), scaledPixels(place.list.height(), dpiScale_));
  view->setShowGrid(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSortingEnabled(false);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->setFont(listFont_);
}

void CQuillfernViewerView::setUpCharts() {
  // The surface control is made 480 x 210, its sunken frame included, as a control is sized;
  // the chart is drawn on what lies inside the frame.
  const QSize size(scaledPixels(kChartWidthPx, dpiScale_), scaledPixels(kChartHeightPx, dpiScale_));
  QSize picture = size;
  for (int id : kChartSurfaceIds) {
    if (QWidget* surface = control(id)) {
      surface->resize(size);
      picture = surface->contentsRect().size();
      surface->setFont(chartFont_);
      surface->setAutoFillBackground(true);
      QPalette pal = surface->palette();
      pal.setColor(QPalette::Window, toQColor(chartColors().graphAreaBk));
      surface->setPalette(pal);
    }
  }
  charts_->setUpCharts(picture.width(), picture.height());
}

void CQuillfernViewerView::applyListColors() {
  for (const ListPlacement& place : listPlacements()) {
    QTableView* view = list(place.listId);
    if (view == nullptr) continue;
    QPalette pal = view->palette();
    pal.setColor(QPalette::Base, toQColor(settings_.normalBk));
    pal.setColor(QPalette::Text, toQColor(settings_.normalFg));
    view->setPalette(pal);
  }
  if (hooks_.applyListColors) hooks_.applyListColors();
}

void CQuillfernViewerView::gatherLiveValues() {
  if (frame_ != nullptr) settings_.framePlacement = placementOf(*frame_);
  auto widthsOf = [this](int listId, std::int32_t* out, int count) {
    QTableView* view = list(listId);
    const int existing =
        view != nullptr && view->model() != nullptr ? view->model()->columnCount() : 0;
    for (int c = 0; c < count; ++c) out[c] = c < existing ? view->columnWidth(c) : 0;
  };
  widthsOf(IDC_RAW_LIST, settings_.rawColumnWidths.data(), 6);
  widthsOf(IDC_SEQ_LIST, settings_.seqColumnWidths.data(), 5);
  widthsOf(IDC_ALGO_LIST, settings_.algoColumnWidths.data(), 6);
}

void CQuillfernViewerView::teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  // 1. No reconnection from here on.
  reconnectTimer_->stop();
  // 2. The client library, before anything its callback reaches goes away.
  if (hooks_.stopClient) {
    hooks_.stopClient();
  } else {
    QvS_HFT_Stop();
  }
  pingTimer_->stop();
  // The library is stopped: nothing may find this view through the status callback any more.
  if (currentView() == this) setCurrentView(nullptr);
  // 3. The day's data files.
  if (hooks_.closeDataFiles) hooks_.closeDataFiles();
  // 4-5. Settings, then the connection values. A view whose start-up never read them writes
  // nothing, so a failed start cannot overwrite the user's settings with defaults.
  if (initialUpdateDone_) {
    gatherLiveValues();
    writeConfigFile(settings_, chartColors(), options_.configPath);
    if (hooks_.saveServerSettings) {
      hooks_.saveServerSettings(server_);
    } else {
      writeServerSettings(server_);
    }
  }
  // 6. The watched-symbol table.
  if (hooks_.releaseSymbolFilters) hooks_.releaseSymbolFilters();
  // 7-8. Fonts are values and the locks are process-wide; nothing is left to release.
  chartsReady_ = false;
  charts_->setChartsReady(false);
}

void CQuillfernViewerView::showStatus(const std::string& text) {
  auto* status = qobject_cast<QPlainTextEdit*>(control(IDC_STATUS));
  if (status == nullptr) return;
  const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  status->setPlainText(shown);
  status->moveCursor(QTextCursor::Start);
  status->ensureCursorVisible();
  // The box shows one short line; hovering it shows the whole text, as plain text whatever it
  // holds, and a tip already showing follows the text as it changes.
  const QString tip =
      QStringLiteral("<p style='white-space:pre'>%1</p>").arg(shown.toHtmlEscaped());
  const bool tipShowing = QToolTip::isVisible() && QToolTip::text() == status->toolTip();
  status->setToolTip(tip);
  if (tipShowing) QToolTip::showText(QCursor::pos(), tip, status->viewport());
  statusHistory_.add(text, StatusHistory::Clock::now());
  statusText_ = text;
}

std::string CQuillfernViewerView::statusText() const { return statusText_; }

void CQuillfernViewerView::showLatestStatus(const std::string& text, std::size_t skipped) {
  // The history keeps one line for the texts it never saw, so a flood shows as what it was.
  if (skipped > 0) statusHistory_.add(skippedStatusText(skipped), StatusHistory::Clock::now());
  showStatus(text);
}

void CQuillfernViewerView::showDisconnectedControls(bool disconnectEnabled) {
  if (QWidget* w = control(IDC_DISCONNECT)) w->setEnabled(disconnectEnabled);
  for (int id :
       {IDC_CONNECT, IDC_RETRIEVE, IDC_VIEW_DATE_LABEL, IDC_VIEW_DATE_HINT, IDC_VIEW_DATE}) {
    if (QWidget* w = control(id)) w->setEnabled(true);
  }
}

void CQuillfernViewerView::showConnectedControls() {
  if (QWidget* w = control(IDC_DISCONNECT)) w->setEnabled(true);
  for (int id :
       {IDC_CONNECT, IDC_RETRIEVE, IDC_VIEW_DATE_LABEL, IDC_VIEW_DATE_HINT, IDC_VIEW_DATE}) {
    if (QWidget* w = control(id)) w->setEnabled(false);
  }
}

void CQuillfernViewerView::showSessionDate(const std::string& text) {
  if (auto* e = qobject_cast<QLineEdit*>(control(IDC_DATE))) {
    e->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
}

QTimer* CQuillfernViewerView::timer(int id) const {
  if (id == kReconnectTimerId) return reconnectTimer_;
  if (id == kPingTimerId) return pingTimer_;
  return nullptr;
}

void CQuillfernViewerView::startTimer(int id, int periodMs) {
  if (tornDown_) return;
  if (QTimer* t = timer(id)) t->start(periodMs > 0 ? periodMs : t->interval());
}

void CQuillfernViewerView::stopTimer(int id) {
  if (QTimer* t = timer(id)) t->stop();
}

bool CQuillfernViewerView::isTimerActive(int id) const {
  const QTimer* t = timer(id);
  return t != nullptr && t->isActive();
}

int CQuillfernViewerView::timerInterval(int id) const {
  const QTimer* t = timer(id);
  return t != nullptr ? t->interval() : 0;
}

void CQuillfernViewerView::eraseLists() {
  if (hooks_.eraseLists) {
    hooks_.eraseLists();
    return;
  }
  for (const ListPlacement& place : listPlacements()) {
    if (QTableView* view = list(place.listId)) view->viewport()->update();
  }
}

void CQuillfernViewerView::onCommand(int commandId) {
  auto it = commands_.find(commandId);
  if (it != commands_.end() && it->second) it->second();
}

void CQuillfernViewerView::setCommandHandler(int commandId, std::function<void()> handler) {
  commands_[commandId] = std::move(handler);
}

QString CQuillfernViewerView::manualPath(const QString& programDir) {
  const QString here =
      QDir::cleanPath(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir);
  QString page = here + QStringLiteral("/" KES_INSTALLED_DOCS "/manual2.htm");
  if (here == QDir::cleanPath(QStringLiteral(KES_BUILD_BIN_DIR))) {
    page = QStringLiteral(KES_DOCS_DIR "/manual2.htm");
  }
  const QFileInfo info(page);
  return info.isFile() ? info.canonicalFilePath() : QString();
}

void CQuillfernViewerView::showSampleTime(const std::string& hhmmss) {
  if (auto* e = qobject_cast<QLineEdit*>(control(IDC_TIME))) {
    e->setText(QString::fromLatin1(hhmmss.data(), static_cast<qsizetype>(hhmmss.size())));
  }
}

void CQuillfernViewerView::setLiveMonitor(std::unique_ptr<LiveMonitor> live) {
  live_ = std::move(live);
}

ConnectionControl* CQuillfernViewerView::connectionControl() {
  return live_ != nullptr ? &live_->connection() : nullptr;
}

void CQuillfernViewerView::chartPictureReady(int chartIndex) {
  if (chartIndex < 0 || chartIndex >= 3) return;
  if (QWidget* surface = control(kChartSurfaceIds[chartIndex])) surface->update();
}

QWidget* CQuillfernViewerView::control(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() ? it->second : nullptr;
}

QTableView* CQuillfernViewerView::list(int id) const {
  return qobject_cast<QTableView*>(control(id));
}

// A child that is not opaque (the Time box, the status line) repaints the form under it many
// times a second while live; only a paint that spans a chart (the window shown, uncovered,
// scrolled) needs the charts drawn again. The chart surfaces themselves are opaque and cut out of
// the form's region, so the region's bounds are what tell.
bool CQuillfernViewerView::paintReachesCharts(const QRegion& region) const {
  const QRect bounds = region.boundingRect();
  for (int id : kChartSurfaceIds) {
    if (const QWidget* surface = control(id); surface && bounds.intersects(surface->geometry())) {
      return true;
    }
  }
  return false;
}

bool CQuillfernViewerView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_ && event->type() == QEvent::Paint && chartsReady_) {
    if (paintReachesCharts(static_cast<QPaintEvent*>(event)->region())) {
      charts_->redrawAllCharts();  // the chart surfaces, painted after the form, show them
    }
  }
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace kestrune
