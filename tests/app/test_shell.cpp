#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_view.h"
#include "tests/app/app_test_support.h"

namespace kestrune {
namespace {

struct Shell {
  Shell() {
    CQuillfernViewerView::Options o;
    o.dpiScale = 1.0;
    o.configPath = profile.configPath();
    o.openManual = [this](const QString& path) {
      opened.push_back(path);
      return true;
    };
    view = new CQuillfernViewerView(&frame, o);
    view->hooks().stopClient = [] {};
    frame.setView(view);
    view->initialUpdate();
  }
  QAction* action(int command) { return frame.findChild<QAction*>(QString::number(command)); }
  testing::ScratchProfile profile;
  CMainFrame frame;
  CQuillfernViewerView* view;
  std::vector<QString> opened;
};

TEST(Shell, CaptionPutsTheDocumentTitleFirst) {
  Shell s;
  EXPECT_EQ(s.frame.windowTitle(), "Kestrune - Whole Market HFT/Algo Monitor - V1.0.5");
}

TEST(Shell, MenuBarHasEveryItemInOrder) {
  Shell s;
  const QList<QAction*> menus = s.frame.menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), "&File");
  EXPECT_EQ(menus[1]->text(), "&Help");
  EXPECT_EQ(menus[2]->text(), "&Preferences");

  struct Item {
    const char* text;
    const char* keys;
  };
  const std::vector<std::vector<Item>> expected = {
      {{"&New", "Ctrl+N"},
       {"&Open...", "Ctrl+O"},
       {"&Save", "Ctrl+S"},
       {"Save &As...", ""},
       {"", ""},
       {"E&xit", ""}},
      {{"&Users Manual", ""}, {"&About Kestrune", ""}},
      {{"&Server Prefs", ""},
       {"Data Collection &Times", ""},
       {"Chart && List &Colors / Font / Thresholds", ""},
       {"Chart &Exchanges", ""},
       {"&Audio Alerts", ""},
       {"S&ymbol Filters", ""}},
  };
  for (int m = 0; m < 3; ++m) {
    const QList<QAction*> items = menus[m]->menu()->actions();
    ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].size())) << m;
    for (std::size_t i = 0; i < expected[m].size(); ++i) {
      EXPECT_EQ(items[i]->text(), expected[m][i].text);
      EXPECT_EQ(items[i]->isSeparator(), expected[m][i].text[0] == '\0');
      EXPECT_EQ(items[i]->shortcut(), QKeySequence(QString(expected[m][i].keys)));
    }
  }
  const int prefs[] = {32771, 32772, 32773, 32777, 32774, 32775};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(menus[2]->menu()->actions()[i]->data().toInt(), prefs[i]);
}

TEST(Shell, DocumentCommandsNeverTouchTheMonitor) {
  Shell s;
  for (QAction* a : s.frame.menuBar()->actions()[0]->menu()->actions()) {
    if (a->isSeparator() || a->text() == "E&xit") continue;
    EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    a->trigger();
  }
  EXPECT_TRUE(s.view->chartsReady());
  EXPECT_TRUE(s.frame.isEnabled());
}

TEST(Shell, PreferencesAndManualRouteToTheView) {
  Shell s;
  std::vector<int> ran;
  s.view->setCommandHandler(ID_AUDIO_ALERTS, [&] { ran.push_back(ID_AUDIO_ALERTS); });
  s.action(ID_AUDIO_ALERTS)->trigger();
  s.action(ID_SERVER_PREFS)->trigger();  // nobody handles it yet: nothing happens
  EXPECT_EQ(ran, std::vector<int>{ID_AUDIO_ALERTS});

  s.action(ID_USERS_MANUAL)->trigger();
  ASSERT_EQ(s.opened.size(), 1u);
  EXPECT_TRUE(s.opened[0].endsWith("docs/manual2.htm")) << s.opened[0].toStdString();
}

TEST(Shell, ExitClosesTheFrameAndSavesTheSettings) {
  Shell s;
  s.frame.show();
  s.action(0xE141)->trigger();
  EXPECT_FALSE(s.frame.isVisible());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(s.profile.configPath())));
}

TEST(Shell, AboutBoxTextsAndLayout) {
  testing::application();
  CAboutDlg dlg(1.0);
  EXPECT_EQ(dlg.windowTitle(), "About Kestrune");
  EXPECT_EQ(dlg.size(), QSize(dialogUnitsToPixelsX(235, 1.0), dialogUnitsToPixelsY(55, 1.0)));
  auto* version = dlg.findChild<QLabel*>(QString::number(IDC_ABOUT_VERSION));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), "Kestrune Version 1.0.4");
  EXPECT_EQ(version->pos(), dialogRectToPixels(40, 10, 132, 8, 1.0).topLeft());
  for (int id : {IDC_ABOUT_LINE2, IDC_ABOUT_LINE3}) {
    auto* line = dlg.findChild<QLabel*>(QString::number(id));
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->text().isEmpty());
    EXPECT_GT(line->y(), version->y());
  }
  auto* ok = dlg.findChild<QPushButton*>(QString::number(IDOK_BUTTON));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), dialogRectToPixels(178, 7, 50, 16, 1.0));
  ok->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kestrune
