#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <sstream>

#include "app/about_dlg.h"
#include "app/command_line.h"
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
       {"&History...", ""},
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
    if (a->isSeparator() || a->text() == "E&xit" || a->text() == "&History...") continue;
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

TEST(Shell, ManualIsTheInstalledOneOrTheSourceTreesFromTheBuildFolder) {
  testing::application();
  // An installed program finds the manual installed beside it.
  QTemporaryDir prefix;
  QDir(prefix.path()).mkpath("bin");
  QDir(prefix.path()).mkpath("share/kestrune/docs");
  QFile page(prefix.filePath("share/kestrune/docs/manual2.htm"));
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.close();
  EXPECT_EQ(CQuillfernViewerView::manualPath(prefix.filePath("bin")),
            QFileInfo(page.fileName()).canonicalFilePath());
  // Without one nothing is opened, not some other copy.
  QTemporaryDir bare;
  EXPECT_TRUE(CQuillfernViewerView::manualPath(bare.path()).isEmpty());
  // From the build folder: docs/ of the source tree.
  EXPECT_EQ(CQuillfernViewerView::manualPath(QCoreApplication::applicationDirPath()),
            QFileInfo(KES_SOURCE_DIR "/docs/manual2.htm").canonicalFilePath());
}

TEST(Shell, CommandLineOptionsAndMistakes) {
  using A = MonitorCommandLine::Action;
  struct Case {
    std::vector<std::string> args;
    A action;
    std::string dir;
    bool user;
  };
  const std::vector<Case> cases = {
      {{}, A::Run, "", false},
      {{"--help"}, A::Help, "", false},
      {{"-h", "--version"}, A::Help, "", false},
      {{"--version"}, A::Version, "", false},
      {{"--workdir", "/srv/day"}, A::Run, "/srv/day", false},
      {{"--workdir=/srv/day"}, A::Run, "/srv/day", false},
      {{"--workdir", "/a", "--user-workdir"}, A::Run, "", true},
      {{"--user-workdir", "--workdir=/b"}, A::Run, "/b", false},
      {{"--workdir"}, A::Fail, "", false},
      {{"--workdir="}, A::Fail, "", false},
      {{"--user-workdir=/x"}, A::Fail, "", true},
      {{"--version=2"}, A::Fail, "", false},
      {{"-platform", "offscreen"}, A::Fail, "", false},
      {{"Kestrune.cfg"}, A::Fail, "", false},
  };
  for (const Case& c : cases) {
    const MonitorCommandLine cl = parseMonitorCommandLine(c.args);
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(cl.action, c.action) << shown;
    EXPECT_EQ(cl.action == A::Fail, !cl.error.empty()) << shown;
    if (cl.action == A::Fail) continue;
    EXPECT_EQ(cl.workDir.dir, c.dir) << shown;
    EXPECT_EQ(cl.workDir.user, c.user) << shown;
  }
}

TEST(Shell, VersionIsTheWindowTitlesAndThePackagesOwn) {
  std::ostringstream out, err;
  EXPECT_EQ(prepareMonitor({"--version"}, out, err), 0);
  EXPECT_EQ(out.str(), "kestrune 1.0.5\n");
  EXPECT_EQ(versionFromTitle(kWindowTitle), KES_VERSION);
  EXPECT_EQ(versionFromTitle("Whole Market HFT/Algo Monitor"), "");
  EXPECT_EQ(prepareMonitor({"--frobnicate"}, out, err), 2);
  EXPECT_NE(err.str().find("--frobnicate"), std::string::npos);
  out.str("");
  EXPECT_EQ(prepareMonitor({"--help"}, out, err), 0);
  EXPECT_EQ(out.str().rfind("Usage: kestrune [OPTION]...\n", 0), 0u);
}

// The desktop menu starts the monitor with --user-workdir: its own folder, made on first start.
TEST(Shell, WorkFolderIsEnteredAndThePerUserOneCreatedOwnerOnly) {
  namespace fs = std::filesystem;
  const fs::path before = fs::current_path();
  QTemporaryDir scratch;
  const std::string root = scratch.path().toStdString();
  std::ostringstream out, err;

  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ASSERT_EQ(prepareMonitor({"--user-workdir"}, out, err), -1) << err.str();
  EXPECT_EQ(fs::current_path(), fs::path(root + "/data/kestrune"));
  struct stat st {};
  ASSERT_EQ(::stat((root + "/data/kestrune").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A relative XDG_DATA_HOME does not count: the home folder's default is used.
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  ::setenv("HOME", (root + "/home").c_str(), 1);
  EXPECT_EQ(userWorkDir(), root + "/home/.local/share/kestrune");
  ::unsetenv("HOME");
  EXPECT_EQ(userWorkDir(), "");
  EXPECT_EQ(prepareMonitor({"--user-workdir"}, out, err), 1);

  // --workdir takes a folder that exists; a missing one is said, not made.
  EXPECT_EQ(prepareMonitor({"--workdir", root + "/missing"}, out, err), 1);
  EXPECT_NE(err.str().find(root + "/missing"), std::string::npos);
  EXPECT_FALSE(fs::exists(root + "/missing"));
  ASSERT_EQ(prepareMonitor({"--workdir=" + root}, out, err), -1);
  EXPECT_EQ(fs::current_path(), fs::path(root));
  fs::current_path(before);
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
  // The program's own icon, not a stock one, at (11, 13).
  auto* icon = dlg.findChild<QLabel*>(QStringLiteral("0"));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->pos(), dialogRectToPixels(11, 13, 21, 20, 1.0).topLeft());
  const QImage shown = icon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(shown,
            applicationIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32));
  EXPECT_FALSE(shown.isNull());
  // Every size the desktop asks for was rendered into the program.
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    EXPECT_EQ(applicationIcon().pixmap(size, size).size(), QSize(size, size)) << size;
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
