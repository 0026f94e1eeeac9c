// The four preference dialogs opened from their menu items in the real monitor window, and
// what their OK does to the view's state, the watched-symbol file and the chart pictures.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "charts/exchange_charts.h"
#include "forms/dialog_layout.h"

namespace kestrune {
namespace {

class MenuDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());  // the watched-symbol file is opened relative to it
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath("config"));
    CQuillfernViewerView::Options o;
    o.dpiScale = 1.0;
    o.configPath = dir_.filePath("Kestrune.cfg").toStdString();
    o.openManual = [](const QString&) { return true; };
    ASSERT_TRUE(app_.initInstance(o));
    view_ = app_.view();
  }
  void TearDown() override {
    if (app_.frame() != nullptr) app_.frame()->close();
    chartColors() = ChartColorTable{};
    QDir::setCurrent(previousDir_);
  }

  // Picks the menu item and works the modal dialog it opens with drive.
  void runMenu(int command, const std::function<void(QWidget*)>& drive) {
    QAction* action = app_.frame()->findChild<QAction*>(QString::number(command));
    ASSERT_NE(action, nullptr) << command;
    bool driven = false;
    // A timer of this call's own, so it cannot fire into a later test if no dialog opened.
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      driven = true;
      drive(dialog);
    });
    timer.start(0);
    action->trigger();
    EXPECT_TRUE(driven) << "no dialog opened for command " << command;
  }

  static void press(QWidget* dialog, int id) { findControlAs<QPushButton>(dialog, id)->click(); }
  static void type(QWidget* dialog, int id, const QString& text) {
    QLineEdit* e = findControlAs<QLineEdit>(dialog, id);
    e->selectAll();
    QTest::keyClicks(e, text);
  }

  QTemporaryDir dir_;
  QString previousDir_;
  CQuillfernViewerApp app_;
  CQuillfernViewerView* view_ = nullptr;
};

TEST_F(MenuDialogsTest, ServerPrefsFromTheMenuSetsTheNextConnection) {
  runMenu(ID_SERVER_PREFS, [](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Server Preferences");
    type(d, 1004, "127.0.0.1");
    type(d, 1005, "7010");
    type(d, 1012, "demo");
    press(d, 1);
  });
  EXPECT_STREQ(view_->serverFields().serverAddress, "127.0.0.1");
  EXPECT_EQ(view_->serverFields().serverPort, 7010);
  EXPECT_STREQ(view_->serverFields().userName, "demo");
}

TEST_F(MenuDialogsTest, SymbolFiltersFromTheMenuRewritesTheWatchedSymbolFile) {
  runMenu(ID_SYMBOL_FILTERS, [](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Symbol Filter Settings");
    type(d, 1005, "msft");
    press(d, 1006);
    type(d, 1005, "ibm");
    press(d, 1006);
    findControlAs<QCheckBox>(d, 1001)->click();
    press(d, 1);
  });
  EXPECT_EQ(view_->settings().useSymbolFilters, 1);
  QFile file(dir_.filePath("SymbolFilter.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromLatin1(file.readAll()).remove('\r'), "IBM\nMSFT\n");
}

TEST_F(MenuDialogsTest, ChartExchangesFromTheMenuSwitchesTheListingChart) {
  runMenu(ID_CHART_EXCHANGES, [](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Charting Exchanges");
    findControlAs<QCheckBox>(d, 1054)->click();
    press(d, 1);
  });
  EXPECT_EQ(view_->settings().listingExchangeOn[0], 0);
  EXPECT_EQ(view_->settings().reportingExchangeOn[0], 1);
}

TEST_F(MenuDialogsTest, WhiteSchemeFromTheMenuRepaintsTheChartsWhite) {
  runMenu(ID_COLOR_PREFS, [](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Chart and List Colors / Font / Threshold Preferences");
    press(d, 1041);
    type(d, 1053, "3");
    press(d, 1);
  });
  EXPECT_EQ(chartColors().graphAreaBk, rgbColor(255, 255, 255));
  EXPECT_EQ(view_->settings().lineWidth, 3);
  // Most of the plot area of the redrawn Listing chart is now white.
  const QImage picture = view_->charts().finishedPicture(ChartId::Listing);
  ASSERT_FALSE(picture.isNull());
  const ChartArea& plot = view_->charts().chart(ChartId::Listing).plotArea();
  int white = 0, all = 0;
  for (int y = plot.y; y < plot.y + plot.h && y < picture.height(); ++y) {
    for (int x = plot.x; x < plot.x + plot.w && x < picture.width(); ++x) {
      ++all;
      if (picture.pixelColor(x, y) == QColor(255, 255, 255)) ++white;
    }
  }
  ASSERT_GT(all, 0);
  EXPECT_GT(white, all / 2);
}

}  // namespace
}  // namespace kestrune
