// The monitor as a person runs it in the demo: a profile of its own (working directory and
// per-user store seeded with the simulator's address, port and demo account), the real window,
// a click on Connect, and the market filling the lists, the status line and the Data/ files.
// Registered to run under a virtual X server; it also runs offscreen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "monitor/server_store.h"
#include "tests/support/feedsim_process.h"
#include "tests/support/qt_application.h"
#include "tests/support/silent_listener.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

using test::waitFor;

TEST(RealWindow, TheDemoProfileConnectsToTheSimulatorAndTheMarketFillsTheWindow) {
  QTemporaryDir profile;
  ASSERT_TRUE(profile.isValid());
  const fs::path work = fs::path(profile.path().toStdString()) / "work";
  fs::create_directories(work);
  // The per-user store and the working directory are the profile's, never the user's.
  ::setenv("XDG_CONFIG_HOME", (profile.path() + "/config").toLocal8Bit().constData(), 1);
  const fs::path before = fs::current_path();
  fs::current_path(work);

  FeedsimProcess sim(
      {"--speed", "50", "--start", "09:30:00", "--date", "12062026", "--status-every", "5"});
  ASSERT_TRUE(sim.ok()) << sim.error();

  static int argc = 1;
  static char name[] = "real_window_test";
  static char* argv[] = {name, nullptr};
  QApplication qapp(argc, argv);
  ASSERT_TRUE(writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", "demo")));

  {
    CQuillfernViewerApp app;
    ASSERT_TRUE(app.initInstance());
    CQuillfernViewerView* view = app.view();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.frame()));

    auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
    auto* disconnect = qobject_cast<QPushButton*>(view->control(IDC_DISCONNECT));
    auto* status = qobject_cast<QPlainTextEdit*>(view->control(IDC_STATUS));
    auto* date = qobject_cast<QLineEdit*>(view->control(IDC_DATE));
    QTableView* raw = view->list(IDC_RAW_LIST);
    ASSERT_TRUE(connect && disconnect && status && date && raw);
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_FALSE(disconnect->isEnabled());

    QTest::mouseClick(connect, Qt::LeftButton);
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(disconnect->isEnabled());
    ASSERT_TRUE(waitFor([&] { return date->text() == "12/06/2026"; }, 10000));
    ASSERT_TRUE(waitFor([&] { return raw->model()->rowCount() >= 3; }, 20000));
    ASSERT_TRUE(waitFor([&] { return status->toPlainText().startsWith("Server time"); }, 20000));
    for (int n = 1; n <= 6; ++n) {
      EXPECT_TRUE(fs::exists(work / "Data" / ("12062026_hft" + std::to_string(n) + ".txt")));
    }
    if (const char* shot = std::getenv("KES_SHOT")) {
      app.frame()->grab().save(QString::fromLocal8Bit(shot));
    }

    QTest::mouseClick(disconnect, Qt::LeftButton);
    EXPECT_EQ(status->toPlainText(), "Kestrune Server Disconnected.");
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_FALSE(disconnect->isEnabled());

    // A server that does not answer: while the attempt waits the window goes on serving its
    // events, Disconnect cancels it, and closing the window during one ends the program at once.
    test::SilentListener silent;
    ASSERT_GT(silent.port(), 0);
    view->serverFields().serverPort = silent.port();
    QTest::mouseClick(connect, Qt::LeftButton);
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_TRUE(disconnect->isEnabled());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    EXPECT_TRUE(waitFor([&] { return ticks >= 30; }, 5000));
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(disconnect, Qt::LeftButton);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(status->toPlainText(), "Kestrune Server Disconnected.");
    EXPECT_TRUE(connect->isEnabled());
    QTest::mouseClick(connect, Qt::LeftButton);
    waitFor([] { return false; }, 200);
    clock.restart();
    app.frame()->close();
    EXPECT_LT(clock.elapsed(), 2000);
  }
  // Closing the window saved the profile's settings where it runs.
  EXPECT_TRUE(fs::exists(work / "Kestrune.cfg"));
  fs::current_path(before);
}

}  // namespace
}  // namespace kestrune
