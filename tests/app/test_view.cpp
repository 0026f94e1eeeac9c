#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "alerts/alert_center.h"
#include "alerts/alert_sound.h"
#include "alerts/color_list_ctrl.h"
#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "app/quillfern_viewer_view.h"
#include "app/status_history_window.h"
#include "monitor/server_store.h"
#include "settings/record_convert.h"
#include "tests/alerts/sound_settled.h"
#include "tests/app/app_test_support.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

double f64At(const Bytes& b, std::size_t off) {
  double d;
  std::memcpy(&d, &b.at(off), 8);  // little-endian host
  return d;
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override { chartColors() = ChartColorTable{}; }

  // A frame with its view and the real alert lists, built but not started.
  CQuillfernViewerView& make(double scale = 1.0) {
    frame_ = std::make_unique<CMainFrame>();
    CQuillfernViewerView::Options o;
    o.dpiScale = scale;
    o.configPath = profile_.configPath();
    o.openManual = [this](const QString& path) {
      opened_.push_back(path);
      return true;
    };
    view_ = new CQuillfernViewerView(frame_.get(), o);
    frame_->setView(view_);
    installAlerts(*view_);
    view_->hooks().stopClient = [this] { log_.push_back("stopClient"); };
    return *view_;
  }
  CQuillfernViewerView& start(double scale = 1.0) {
    make(scale).initialUpdate();
    return *view_;
  }
  void storeConfig(const MonitorSettings& s) {
    MonitorSettings copy = s;
    ASSERT_TRUE(writeConfigFile(copy, ChartColorTable{}, profile_.configPath()));
  }
  template <typename T>
  T* ctl(int id) {
    return qobject_cast<T*>(view_->control(id));
  }
  void TearDown() override {
    frame_.reset();
    chartColors() = ChartColorTable{};
  }

  testing::ScratchProfile profile_;
  std::unique_ptr<CMainFrame> frame_;
  CQuillfernViewerView* view_ = nullptr;
  std::vector<std::string> log_;
  std::vector<QString> opened_;
};

class ViewGeometryTest : public ViewTest, public ::testing::WithParamInterface<double> {};

TEST_P(ViewGeometryTest, EveryControlStandsAtItsPlace) {
  const double s = GetParam();
  CQuillfernViewerView& v = start(s);
  for (const ControlRow& row : formControls()) {
    if (row.id == 0) continue;
    QWidget* w = v.control(row.id);
    ASSERT_NE(w, nullptr) << row.id;
    EXPECT_EQ(w->objectName(), QString::number(row.id));
    EXPECT_EQ(w->parentWidget(), v.form());
    const QRect want = dialogRectToPixels(row.x, row.y, row.w, row.h, s);
    const bool moved =
        row.id == IDC_RAW_CAPTION || row.id == IDC_SEQ_CAPTION || row.id == IDC_ALGO_CAPTION;
    const bool resized = row.kind == ControlKind::List || row.id == IDC_REPORTING_CHART ||
                         row.id == IDC_LISTING_CHART || row.id == IDC_ALGO_CHART;
    if (moved || row.kind == ControlKind::Label) {
      EXPECT_EQ(w->height(), want.height()) << row.id;
      EXPECT_GE(w->width(), want.width()) << row.id;  // captions may grow to show their text
      if (!moved && !(row.flags & (kAlignRight | kAlignCenter))) {
        EXPECT_EQ(w->pos(), want.topLeft()) << row.id;
      }
    } else if (row.id == IDC_REPORTING_CHART || row.id == IDC_LISTING_CHART ||
               row.id == IDC_ALGO_CHART) {
      EXPECT_EQ(w->pos(), want.topLeft()) << row.id;  // position kept, size set
      EXPECT_EQ(w->size(), QSize(int(480 * s), int(210 * s))) << row.id;
    } else if (!resized) {
      EXPECT_EQ(w->geometry(), want) << row.id;
    }
  }
  // Every caption of the form keeps its text whole, so no two controls hide each other's.
  for (QLabel* label : v.form()->findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
        << label->text().toStdString();
  }
  // The frame is sized in plain pixels whatever the scale.
  EXPECT_EQ(frame_->size(), QSize(1370, 845));
  EXPECT_EQ(v.dpiScale(), s);
}

// Worked out by hand rather than from the code's tables, so a slip in a table shows here. Form
// controls: a dialog unit is 1.5 px across and 1.625 px down at scale 1, times the scale, each
// edge rounded to the nearest pixel. Lists and chart sizes: the start-up's pixel values times the
// scale, truncated; chart surfaces keep their form position. Captions are moved, not resized.
TEST_P(ViewGeometryTest, ControlsStandAtTheirWorkedOutRectangles) {
  const bool large = GetParam() == 1.25;
  CQuillfernViewerView& v = start(GetParam());
  struct Expected {
    int id;
    QRect at100, at125;
  };
  const Expected rects[] = {
      {1032, {176, 11, 75, 23}, {219, 14, 94, 29}},         // Connect
      {1003, {300, 11, 233, 20}, {375, 14, 291, 25}},       // status line
      {1052, {866, 28, 45, 19}, {1082, 35, 56, 24}},        // Data Points
      {1051, {1047, 28, 51, 16}, {1309, 35, 64, 20}},       // Goto
      {1017, {1244, 65, 73, 20}, {1554, 81, 92, 25}},       // Clear Alerts
      {1043, {924, 304, 39, 19}, {1155, 380, 49, 24}},      // Listing Hard Max
      {1029, {15, 90, 265, 685}, {18, 112, 331, 856}},      // Raw list
      {1030, {285, 90, 265, 685}, {356, 112, 331, 856}},    // Seq list
      {1031, {555, 90, 301, 685}, {693, 112, 376, 856}},    // Algo list
      {1074, {867, 89, 480, 210}, {1084, 112, 600, 262}},   // Algo chart
      {1073, {867, 327, 480, 210}, {1084, 408, 600, 262}},  // Listing chart
      {1072, {867, 564, 480, 210}, {1084, 705, 600, 262}},  // Reporting chart
  };
  for (const Expected& e : rects) {
    ASSERT_NE(v.control(e.id), nullptr) << e.id;
    EXPECT_EQ(v.control(e.id)->geometry(), large ? e.at125 : e.at100) << e.id;
  }
  const std::pair<int, QPoint> captions[] = {
      {1006, large ? QPoint(100, 87) : QPoint(80, 70)},
      {1007, large ? QPoint(418, 87) : QPoint(335, 70)},
      {1008, large ? QPoint(768, 87) : QPoint(615, 70)},
  };
  for (const auto& [id, at] : captions) EXPECT_EQ(v.control(id)->pos(), at) << id;
}

// A sunken picture control is sized with its frame: the 1-pixel half-sunken edge lies inside the
// 480 x 210 (600 x 262) surface, and the chart is drawn on the 478 x 208 (598 x 260) within it.
TEST_P(ViewGeometryTest, ChartSurfacesAreSunkenFramesRoundTheirPictures) {
  const bool large = GetParam() == 1.25;
  CQuillfernViewerView& v = start(GetParam());
  const QSize picture = large ? QSize(598, 260) : QSize(478, 208);
  for (ChartId chart : {ChartId::Reporting, ChartId::Listing, ChartId::Algo}) {
    EXPECT_EQ(v.charts().finishedPicture(chart).size(), picture);
  }
  QWidget* surface = v.control(IDC_ALGO_CHART);
  const QImage shown = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), large ? QSize(600, 262) : QSize(480, 210));
  const QRgb dark = surface->palette().color(QPalette::Dark).rgb();
  const QRgb light = surface->palette().color(QPalette::Light).rgb();
  const int right = shown.width() - 1, bottom = shown.height() - 1;
  for (int x = 1; x < right; ++x) {
    ASSERT_EQ(shown.pixel(x, 0), dark) << x;
    ASSERT_EQ(shown.pixel(x, bottom), light) << x;
  }
  for (int y = 1; y < bottom; ++y) {
    ASSERT_EQ(shown.pixel(0, y), dark) << y;
    ASSERT_EQ(shown.pixel(right, y), light) << y;
  }
  EXPECT_EQ(shown.copy(QRect(QPoint(1, 1), picture)),
            v.charts().finishedPicture(ChartId::Algo).convertToFormat(QImage::Format_RGB32));
}

// The chart switches are flat check boxes, and "Goto" starts the form's second keyboard group:
// the arrow keys on it stay among the controls from Goto on, wrapping round to the last switch.
TEST_F(ViewTest, GotoStartsAKeyboardGroup) {
  CQuillfernViewerView& v = start();
  frame_->show();
  frame_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
  QWidget* gotoButton = v.control(IDC_GOTO);
  gotoButton->setFocus();
  QTest::keyClick(gotoButton, Qt::Key_Right);
  EXPECT_EQ(QApplication::focusWidget(), v.control(IDC_HOUR_BACK));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
  EXPECT_EQ(QApplication::focusWidget(), gotoButton);
  QTest::keyClick(gotoButton, Qt::Key_Left);  // not back to the Goto second box
  EXPECT_EQ(QApplication::focusWidget(), v.control(IDC_TOTAL_ONLY_REPORTING));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), gotoButton);
  // The first group wraps round by itself too: Connect goes back to the Goto second box.
  v.control(IDC_CONNECT)->setFocus();
  QTest::keyClick(v.control(IDC_CONNECT), Qt::Key_Up);
  EXPECT_EQ(QApplication::focusWidget(), v.control(IDC_GOTO_SECOND));
}

INSTANTIATE_TEST_SUITE_P(Scales, ViewGeometryTest, ::testing::Values(1.0, 1.25));

TEST_F(ViewTest, ListsHaveTheirColumnsWidthsFontAndColours) {
  MonitorSettings stored;
  stored.seqColumnWidths = {70, 71, 72, 73, 74};
  stored.normalBk = rgbColor(1, 2, 3);
  stored.listFont.lfHeight = -15;
  storeConfig(stored);
  CQuillfernViewerView& v = start();
  QTableView* raw = v.list(IDC_RAW_LIST);
  QTableView* seq = v.list(IDC_SEQ_LIST);
  QTableView* algo = v.list(IDC_ALGO_LIST);
  EXPECT_NE(qobject_cast<CColorListCtrl*>(raw), nullptr);
  ASSERT_EQ(raw->model()->columnCount(), 5);
  ASSERT_EQ(seq->model()->columnCount(), 5);
  ASSERT_EQ(algo->model()->columnCount(), 6);
  const char* algoCaptions[] = {"Time", "Symbol", "Exg", "Count", "BBO", "Desc"};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(algo->model()->headerData(c, Qt::Horizontal).toString(), algoCaptions[c]);
  }
  EXPECT_EQ(raw->model()->headerData(3, Qt::Horizontal).toString(), "Trades");
  EXPECT_EQ(raw->columnWidth(1), 60);
  EXPECT_EQ(seq->columnWidth(4), 74);
  EXPECT_EQ(algo->columnWidth(5), 40);
  const auto align = [](QTableView* t, int c) {
    return t->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
           Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(align(raw, 0), Qt::AlignLeft);
  EXPECT_EQ(align(raw, 2), Qt::AlignRight);
  EXPECT_TRUE(raw->showGrid());
  EXPECT_EQ(raw->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_FALSE(raw->isSortingEnabled());
  EXPECT_EQ(QFontInfo(seq->font()).pixelSize(), 15);
  EXPECT_EQ(seq->palette().color(QPalette::Base), QColor(1, 2, 3));
}

TEST_F(ViewTest, DefaultControlStates) {
  CQuillfernViewerView& v = start();
  for (int id : {IDC_HARDMAX_ALGO_CAPTION, IDC_HARDMAX_ALGO, IDC_HARDMAX_LISTING_CAPTION,
                 IDC_HARDMAX_LISTING, IDC_HARDMAX_REPORTING_CAPTION, IDC_HARDMAX_REPORTING}) {
    EXPECT_FALSE(v.control(id)->isEnabled()) << id;
  }
  EXPECT_FALSE(v.control(IDC_DISCONNECT)->isEnabled());
  for (int id :
       {IDC_CONNECT, IDC_RETRIEVE, IDC_VIEW_DATE, IDC_VIEW_DATE_LABEL, IDC_VIEW_DATE_HINT}) {
    EXPECT_TRUE(v.control(id)->isEnabled()) << id;
  }
  EXPECT_FALSE(v.control(IDC_CLEAR)->isEnabled());
  EXPECT_TRUE(v.control(IDC_CLEAR)->isHidden());
  EXPECT_TRUE(ctl<QCheckBox>(IDC_SMART_SCALE_LISTING)->isChecked());
  EXPECT_TRUE(ctl<QCheckBox>(IDC_LEGEND_ALGO)->isChecked());
  EXPECT_FALSE(ctl<QCheckBox>(IDC_TOTAL_ONLY_REPORTING)->isChecked());
  EXPECT_EQ(ctl<QLineEdit>(IDC_HARDMAX_ALGO)->text(), "100");
  EXPECT_EQ(ctl<QLineEdit>(IDC_DATA_POINTS)->text(), "300");
  EXPECT_TRUE(ctl<QPlainTextEdit>(IDC_STATUS)->isReadOnly());
  EXPECT_TRUE(ctl<QLineEdit>(IDC_DATE)->isReadOnly());
  EXPECT_TRUE(v.chartsReady());
  EXPECT_EQ(currentView(), static_cast<MonitorHost*>(&v));
}

TEST_F(ViewTest, StoredSwitchesDecideTicksAndHardMax) {
  MonitorSettings stored;
  stored.smartScaleListing = 0;
  stored.totalOnlyAlgo = 1;
  stored.colorLegendReporting = 0;
  storeConfig(stored);
  CQuillfernViewerView& v = start();
  EXPECT_TRUE(v.control(IDC_HARDMAX_LISTING)->isEnabled());
  EXPECT_TRUE(v.control(IDC_HARDMAX_LISTING_CAPTION)->isEnabled());
  EXPECT_FALSE(v.control(IDC_HARDMAX_ALGO)->isEnabled());
  EXPECT_FALSE(ctl<QCheckBox>(IDC_SMART_SCALE_LISTING)->isChecked());
  EXPECT_TRUE(ctl<QCheckBox>(IDC_TOTAL_ONLY_ALGO)->isChecked());
  EXPECT_FALSE(ctl<QCheckBox>(IDC_LEGEND_REPORTING)->isChecked());
  EXPECT_TRUE(ctl<QCheckBox>(IDC_LEGEND_LISTING)->isChecked());

  // The user switches smart scale back on: the pair is disabled and the record follows.
  ctl<QCheckBox>(IDC_SMART_SCALE_LISTING)->click();
  EXPECT_EQ(v.settings().smartScaleListing, 1);
  EXPECT_FALSE(v.control(IDC_HARDMAX_LISTING)->isEnabled());
}

TEST_F(ViewTest, FractionalHardMaxIsShownRoundedAndSavedRounded) {
  MonitorSettings stored;
  stored.hardMaxListing = 123.7;
  stored.smartScaleListing = 0;
  storeConfig(stored);
  CQuillfernViewerView& v = start();
  EXPECT_EQ(ctl<QLineEdit>(IDC_HARDMAX_LISTING)->text(), "124");
  EXPECT_EQ(v.settings().hardMaxListing, 124.0);
  // An emptied box keeps the value.
  ctl<QLineEdit>(IDC_HARDMAX_LISTING)->clear();
  EXPECT_EQ(v.settings().hardMaxListing, 124.0);
  frame_->close();
  const Bytes b = readFile(profile_.configPath());
  ASSERT_EQ(b.size(), kConfigFileSize);
  EXPECT_EQ(f64At(b, 638), 124.0);
}

TEST_F(ViewTest, FirstRunWritesAFullDefaultFile) {
  start();
  frame_->close();
  const Bytes b = readFile(profile_.configPath());
  ASSERT_EQ(b.size(), 2928u);
  EXPECT_EQ(f64At(b, 0), 2.5);
  MonitorSettings back;
  ChartColorTable colors;
  const ConfigReadResult r = parseConfig(b, back, colors);
  EXPECT_TRUE(r.placementRead);
  EXPECT_EQ(back.dataPoints, 300);
  EXPECT_EQ(back.listFont.lfHeight, -11);  // 8 points at 96 dots per inch
  EXPECT_EQ(back.rawColumnWidths, (std::array<std::int32_t, 6>{50, 60, 50, 50, 40, 0}));
  EXPECT_EQ(back.framePlacement.rcNormalPosition.right - back.framePlacement.rcNormalPosition.left,
            1370);
}

TEST_F(ViewTest, StoredPlacementAndWidthsComeBackAndTwoRunsSaveTheSame) {
  MonitorSettings stored;
  stored.framePlacement.rcNormalPosition = {30, 40, 1030, 740};
  stored.rawColumnWidths = {51, 61, 52, 53, 41, 0};
  storeConfig(stored);
  start();
  EXPECT_EQ(frame_->geometry(), QRect(30, 40, 1000, 700));
  EXPECT_EQ(view_->list(IDC_RAW_LIST)->columnWidth(4), 41);
  frame_->close();
  const Bytes first = readFile(profile_.configPath());
  frame_.reset();

  start();
  frame_->close();
  EXPECT_EQ(readFile(profile_.configPath()), first);
}

TEST_F(ViewTest, MinimisedFrameComesBackMinimisedAndIsSavedSo) {
  MonitorSettings stored;
  stored.framePlacement.rcNormalPosition = {30, 40, 1030, 740};
  stored.framePlacement.showCmd = kShowMinimized;
  storeConfig(stored);
  start();
  EXPECT_TRUE(frame_->isMinimized());
  frame_->close();
  MonitorSettings back;
  ChartColorTable colors;
  ASSERT_TRUE(parseConfig(readFile(profile_.configPath()), back, colors).placementRead);
  EXPECT_EQ(back.framePlacement.showCmd, 2u);
  EXPECT_EQ(back.framePlacement.rcNormalPosition.left, 30);
  EXPECT_EQ(back.framePlacement.rcNormalPosition.bottom, 740);
}

// On a screen of 120 dots per inch the default fonts are stored 13 pixels high (8 points), as
// any program stores them there, and the lists show them 13 pixels high on the scaled form.
TEST_F(ViewTest, DefaultFontsAreStoredInTheScreensOwnPixels) {
  CQuillfernViewerView& v = start(1.25);
  EXPECT_EQ(QFontInfo(v.list(IDC_RAW_LIST)->font()).pixelSize(), 13);
  frame_->close();
  MonitorSettings back;
  ChartColorTable colors;
  parseConfig(readFile(profile_.configPath()), back, colors);
  EXPECT_EQ(back.listFont.lfHeight, -13);
  EXPECT_EQ(back.chartFont.lfHeight, -13);
}

TEST_F(ViewTest, StartUpReadsFileThenStoreAndTeardownWritesInOrder) {
  // The file's legacy port never survives: the store decides.
  Bytes legacy(kConfigFileSize, 0);
  {
    MonitorSettings s;
    legacy = serializeConfig(s, ChartColorTable{});
    legacy[52] = 0xB3;  // legacy port 5555
    legacy[53] = 0x15;
    std::ofstream(profile_.configPath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(legacy.data()), legacy.size());
  }
  ServerPrefsValues stored;
  stored.serverPort = 7000;
  copyFixedText(stored.userName, sizeof stored.userName, "ann");
  ASSERT_TRUE(writeServerSettings(stored));

  CQuillfernViewerView& v = make();
  v.hooks().stopClient = [&] {
    log_.push_back("stopClient");
    // Records the library hands over until it has stopped still find the view.
    EXPECT_EQ(currentView(), static_cast<MonitorHost*>(&v));
  };
  v.hooks().loadSymbolFilters = [&] {
    log_.push_back("loadSymbolFilters");
    EXPECT_EQ(v.serverFields().serverPort, 7000);  // the store was read before
  };
  v.hooks().closeDataFiles = [&] {
    log_.push_back("closeDataFiles");
    EXPECT_FALSE(v.isTimerActive(kReconnectTimerId));
    // The library is stopped: the status callback finds no view any more.
    EXPECT_EQ(currentView(), nullptr);
    // Not yet written: the settings file still holds the legacy port.
    EXPECT_EQ(readFile(profile_.configPath())[52], 0xB3);
  };
  v.hooks().releaseSymbolFilters = [&] {
    log_.push_back("releaseSymbolFilters");
    EXPECT_EQ(readFile(profile_.configPath())[52], 0);  // written, legacy slot zeroed
    ServerPrefsValues now;
    readServerSettings(now);
    EXPECT_EQ(now.serverPort, 7001);  // the store was written too
  };
  v.initialUpdate();
  EXPECT_EQ(v.serverFields().serverPort, 7000);
  EXPECT_STREQ(v.serverFields().userName, "ann");
  v.serverFields().serverPort = 7001;
  v.startTimer(kReconnectTimerId, 0);
  ASSERT_TRUE(v.isTimerActive(kReconnectTimerId));
  frame_->close();
  EXPECT_EQ(log_, (std::vector<std::string>{"loadSymbolFilters", "stopClient", "closeDataFiles",
                                            "releaseSymbolFilters"}));
  // A second teardown (the destructor) does nothing more.
  frame_.reset();
  EXPECT_EQ(log_.size(), 4u);
}

// A damaged value is shown as the value the window uses and saves; a value in range, however
// small, is kept exactly.
TEST_F(ViewTest, DamagedStoredValuesShowWhatTheyUse) {
  MonitorSettings stored;
  stored.dataPoints = -5;
  stored.rawColumnWidths = {5, 12, -4, 100000, 40, 0};
  stored.smartScaleListing = 2;
  stored.lineWidth = 9;
  stored.hardMaxAlgo = std::numeric_limits<double>::quiet_NaN();
  stored.hardMaxListing = 1e300;
  stored.listFont.lfHeight = INT32_MIN;
  storeConfig(stored);
  CQuillfernViewerView& v = start();
  EXPECT_EQ(ctl<QLineEdit>(IDC_DATA_POINTS)->text(), "300");
  EXPECT_EQ(v.charts().window().dataPoints, 300);
  QTableView* raw = v.list(IDC_RAW_LIST);
  EXPECT_EQ(raw->columnWidth(0), 5);
  EXPECT_EQ(raw->columnWidth(1), 12);
  EXPECT_EQ(raw->columnWidth(2), 50);  // the column's default
  EXPECT_EQ(raw->columnWidth(3), 50);
  EXPECT_EQ(v.settings().lineWidth, 5);
  EXPECT_EQ(ctl<QLineEdit>(IDC_HARDMAX_ALGO)->text(), "0");
  EXPECT_EQ(ctl<QLineEdit>(IDC_HARDMAX_LISTING)->text(), "1000000000");
  EXPECT_EQ(QFontInfo(raw->font()).pixelSize(), 11);  // 8 points at 96 dpi
  // A stored 2 is on; one click turns it off, in the box and in the chart.
  EXPECT_TRUE(ctl<QCheckBox>(IDC_SMART_SCALE_LISTING)->isChecked());
  ctl<QCheckBox>(IDC_SMART_SCALE_LISTING)->click();
  EXPECT_EQ(v.settings().smartScaleListing, 0);
  frame_->close();

  MonitorSettings saved;
  ChartColorTable colors;
  parseConfig(readFile(profile_.configPath()), saved, colors);
  EXPECT_EQ(saved.dataPoints, 300);
  EXPECT_EQ(saved.rawColumnWidths, (std::array<std::int32_t, 6>{5, 12, 50, 50, 40, 0}));
  EXPECT_EQ(saved.smartScaleListing, 0);
  EXPECT_EQ(saved.lineWidth, 5);
  EXPECT_EQ(saved.hardMaxAlgo, 0.0);
  EXPECT_EQ(saved.hardMaxListing, 1e9);
  EXPECT_EQ(saved.listFont.lfHeight, -11);
  frame_.reset();

  // Wider than the day, the charts show the whole day.
  stored.dataPoints = 100000;
  storeConfig(stored);
  start();
  EXPECT_EQ(ctl<QLineEdit>(IDC_DATA_POINTS)->text(), "86400");
  EXPECT_EQ(view_->charts().window().dataPoints, 86400);
}

// A FIFO as the settings file, the symbol file or the alarm sound never holds the window: it
// starts with its defaults, and an alarm beeps. An alarm file too large to read says so in the
// status line.
TEST_F(ViewTest, HostileFilesNeverHoldTheWindow) {
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(profile_.path(".")));
  ASSERT_EQ(::mkfifo(profile_.configPath().c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo("SymbolFilter.txt", 0644), 0);
  ASSERT_EQ(::mkfifo("alarm.wav", 0644), 0);
  CQuillfernViewerView& v = start();
  EXPECT_EQ(ctl<QLineEdit>(IDC_DATA_POINTS)->text(), "300");
  AlertCenter* alerts = AlertCenter::of(&v);
  ASSERT_NE(alerts, nullptr);
  EXPECT_FALSE(alerts->symbolFilters().hasSymbolFilters());
  playAlertSound("alarm.wav", false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(AlertSoundPlayer::instance()->currentIsBeep());

  {
    QFile huge(profile_.path("huge.wav"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(65 * 1024 * 1024));
  }
  playAlertSound(profile_.path("huge.wav").toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(
      ctl<QPlainTextEdit>(IDC_STATUS)->toPlainText(),
      "Alarm sound " + profile_.path("huge.wav") + " is larger than 64 MB: a beep plays instead");
  stopAlertSound();
  frame_->close();
  EXPECT_TRUE(std::filesystem::is_fifo(profile_.configPath()));
  QDir::setCurrent(before);
}

TEST_F(ViewTest, ViewThatNeverStartedDoesNotOverwriteSettings) {
  MonitorSettings stored;
  stored.dataPoints = 1234;
  storeConfig(stored);
  const Bytes before = readFile(profile_.configPath());
  make();
  frame_.reset();  // destroyed without its start-up
  EXPECT_EQ(readFile(profile_.configPath()), before);
}

TEST_F(ViewTest, StatusLineAndConnectionControls) {
  CQuillfernViewerView& v = start();
  v.showStatus("first line that is long");
  v.showStatus("Connected");
  EXPECT_EQ(ctl<QPlainTextEdit>(IDC_STATUS)->toPlainText(), "Connected");
  v.showConnectedControls();
  EXPECT_TRUE(v.control(IDC_DISCONNECT)->isEnabled());
  EXPECT_FALSE(v.control(IDC_CONNECT)->isEnabled());
  EXPECT_FALSE(v.control(IDC_VIEW_DATE)->isEnabled());
  v.showDisconnectedControls(true);  // a reconnection is pending
  EXPECT_TRUE(v.control(IDC_DISCONNECT)->isEnabled());
  EXPECT_TRUE(v.control(IDC_RETRIEVE)->isEnabled());
  v.showDisconnectedControls();
  EXPECT_FALSE(v.control(IDC_DISCONNECT)->isEnabled());
  v.showSessionDate("12/07/2026");
  EXPECT_EQ(ctl<QLineEdit>(IDC_DATE)->text(), "12/07/2026");

  // A text longer than the box stays in the box as laid out; hovering the box shows all of it,
  // as typed, and a tip that is showing follows the next text.
  frame_->show();
  auto* status = ctl<QPlainTextEdit>(IDC_STATUS);
  const std::string longText =
      "NOT RECORDING: invalid session date \"<b>1206</b>2026\" from far away";
  v.showStatus(longText);
  EXPECT_GT(status->fontMetrics().horizontalAdvance(QString::fromStdString(longText)),
            status->viewport()->width());
  const QPoint at(4, 4);
  QHelpEvent hover(QEvent::ToolTip, at, status->viewport()->mapToGlobal(at));
  QApplication::sendEvent(status->viewport(), &hover);
  ASSERT_TRUE(QToolTip::isVisible());
  const auto tipText = [] {
    return QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText();
  };
  EXPECT_EQ(tipText(), QString::fromStdString(longText));
  v.showStatus("Kestrune Server Disconnected.");
  EXPECT_EQ(tipText(), "Kestrune Server Disconnected.");
  QToolTip::hideText();
}

// Every status text is kept with the moment it appeared. The context menu and a double-click open
// the history newest first; it follows new texts while open, keeps the last 1,000 and copies the
// selected rows as time and text.
TEST_F(ViewTest, StatusHistoryKeepsEveryTextWithItsTimeNewestFirst) {
  CQuillfernViewerView& v = start();
  installStatusHistory(v);
  auto* status = ctl<QPlainTextEdit>(IDC_STATUS);
  const QDateTime before = QDateTime::currentDateTime();
  v.showStatus("Kestrune Server Disconnected.");
  v.showStatus("Attempting Reconnection...");
  v.showStatus("note\r\nfrom\tthe server");
  const QDateTime after = QDateTime::currentDateTime();

  QTimer::singleShot(0, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    auto* item = menu->findChild<QAction*>("StatusHistoryAction");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "Status History...");
    item->trigger();
    menu->close();
  });
  const QPoint at(5, 5);
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, status->viewport()->mapToGlobal(at));
  QApplication::sendEvent(status->viewport(), &menuEvent);
  auto* window = v.findChild<StatusHistoryWindow*>();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Status History");
  QAbstractItemModel* rows = window->table()->model();
  QAbstractItemModelTester tester(rows, QAbstractItemModelTester::FailureReportingMode::Fatal);
  const auto cell = [rows](int row, int column) {
    return rows->data(rows->index(row, column)).toString();
  };
  ASSERT_EQ(rows->rowCount(), 3);
  EXPECT_EQ(cell(0, 1), "note  from the server");
  EXPECT_EQ(cell(1, 1), "Attempting Reconnection...");
  EXPECT_EQ(cell(2, 1), "Kestrune Server Disconnected.");
  QDateTime newer = after;
  for (int row = 0; row < 3; ++row) {
    const QDateTime shown = QDateTime::fromString(cell(row, 0), "yyyy-MM-dd HH:mm:ss.zzz");
    ASSERT_TRUE(shown.isValid()) << cell(row, 0).toStdString();
    EXPECT_LE(shown, newer);
    EXPECT_GE(shown, before);
    newer = shown;
  }

  window->close();
  QTest::mouseDClick(status->viewport(), Qt::LeftButton);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(v.findChildren<StatusHistoryWindow*>().size(), 1);
  for (int i = 0; i < 1000; ++i) v.showStatus("text " + std::to_string(i));
  ASSERT_EQ(rows->rowCount(), 1000);
  EXPECT_EQ(window->table()->verticalHeader()->count(), 1000);  // the table followed row by row
  EXPECT_EQ(cell(0, 1), "text 999");
  EXPECT_EQ(cell(999, 1), "text 0");
  EXPECT_EQ(status->toPlainText(), "text 999");

  window->table()->selectRow(0);
  window->table()->selectionModel()->select(
      rows->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  auto* copy = window->table()->findChild<QAction*>("StatusHistoryCopy");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->shortcut(), QKeySequence(QKeySequence::Copy));
  copy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(),
            cell(0, 0) + "\ttext 999\n" + cell(2, 0) + "\ttext 997\n");
}

TEST_F(ViewTest, TimersRouteTheirTicksById) {
  CQuillfernViewerView& v = make();
  std::vector<int> ticks;
  v.hooks().onTimer = [&](int id) {
    ticks.push_back(id);
    v.stopTimer(id);
  };
  v.initialUpdate();
  EXPECT_EQ(v.timerInterval(kReconnectTimerId), 5000);
  EXPECT_EQ(v.timerInterval(kPingTimerId), 60000);
  EXPECT_FALSE(v.isTimerActive(kReconnectTimerId));
  EXPECT_FALSE(v.isTimerActive(kPingTimerId));
  v.startTimer(kPingTimerId, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ticks.empty(); }, 5000));
  EXPECT_EQ(ticks, std::vector<int>{kPingTimerId});
}

TEST_F(ViewTest, SmallFrameScrollsTheForm) {
  CQuillfernViewerView& v = start(1.25);
  frame_->show();
  QApplication::processEvents();
  EXPECT_GT(v.form()->width(), v.viewport()->width());
  EXPECT_GT(v.horizontalScrollBar()->maximum(), 0);
  EXPECT_GT(v.verticalScrollBar()->maximum(), 0);
  // Everything placed on the form lies inside it.
  EXPECT_TRUE(QRect(QPoint(0, 0), v.form()->size()).contains(v.form()->childrenRect()));
}

// The Time box changes many times a second while live. Repainting it must not draw the three
// charts again; a paint of the whole form (the window shown or uncovered) must.
TEST_F(ViewTest, OnlyAFormPaintThatSpansTheChartsRedrawsThem) {
  struct CountingHost : ChartHost {
    void showSampleTime(const char*) override {}
    void driveCollectionWindow(std::int32_t) override {}
    void playChartAlarm(int) override {}
    void chartPictureReady(ChartId) override { ++pictures; }
    int pictures = 0;
  } host;
  CQuillfernViewerView& v = start();
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  QCoreApplication::processEvents();
  v.charts().setHost(&host);

  for (int second = 1; second <= 5; ++second) {
    v.showSampleTime("09300" + std::to_string(second));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(ctl<QLineEdit>(IDC_TIME)->text(), "093005");
  EXPECT_EQ(host.pictures, 0);

  v.form()->repaint();
  EXPECT_EQ(host.pictures, 3);
  v.charts().setHost(nullptr);
}

}  // namespace
}  // namespace kestrune
