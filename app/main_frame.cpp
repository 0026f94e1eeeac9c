#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>

#include "app/about_dlg.h"
#include "app/quillfern_viewer_view.h"
#include "forms/dialog_layout.h"

namespace kestrune {
namespace {

enum FrameCommand : int {
  ID_FILE_NEW = 0xE100,
  ID_FILE_SAVE = 0xE103,
  ID_FILE_SAVE_AS = 0xE104,
  ID_APP_EXIT = 0xE141,
  ID_APP_ABOUT = 0xE140,
};

constexpr MenuItemRow kMenu[] = {
    {"&File", "&New", "Ctrl+N", ID_FILE_NEW},
    {"&File", "&Open...", "Ctrl+O", ID_FILE_OPEN},
    {"&File", "&History...", nullptr, ID_HISTORY},
    {"&File", "&Save", "Ctrl+S", ID_FILE_SAVE},
    {"&File", "Save &As...", nullptr, ID_FILE_SAVE_AS},
    {"&File", nullptr, nullptr, 0},
    {"&File", "E&xit", nullptr, ID_APP_EXIT},
    {"&Help", "&Users Manual", nullptr, ID_USERS_MANUAL},
    {"&Help", "&About Kestrune", nullptr, ID_APP_ABOUT},
    {"&Preferences", "&Server Prefs", nullptr, ID_SERVER_PREFS},
    {"&Preferences", "Data Collection &Times", nullptr, ID_COLLECTION_TIMES},
    {"&Preferences", "Chart && List &Colors / Font / Thresholds", nullptr, ID_COLOR_PREFS},
    {"&Preferences", "Chart &Exchanges", nullptr, ID_CHART_EXCHANGES},
    {"&Preferences", "&Audio Alerts", nullptr, ID_AUDIO_ALERTS},
    {"&Preferences", "S&ymbol Filters", nullptr, ID_SYMBOL_FILTERS},
};

}  // namespace

QString frameCaption(const CQuillfernViewerDoc& doc) {
  return doc.title() + QStringLiteral(" - ") + QString::fromLatin1(kWindowTitle);
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("CMainFrame"));
  doc_.onNewDocument();
  setWindowTitle(frameCaption(doc_));
  buildMenus();
  buildEditAccelerators();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::setView(CQuillfernViewerView* view) {
  view_ = view;
  setCentralWidget(view);
}

void CMainFrame::buildMenus() {
  QMenu* current = nullptr;
  QString currentTitle;
  for (const MenuItemRow& row : kMenu) {
    const QString title = QString::fromLatin1(row.menu);
    if (current == nullptr || title != currentTitle) {
      current = menuBar()->addMenu(title);
      currentTitle = title;
    }
    if (row.caption == nullptr) {
      current->addSeparator();
      continue;
    }
    QAction* action = current->addAction(QString::fromLatin1(row.caption));
    action->setObjectName(QString::number(row.command));
    action->setData(row.command);
    if (row.shortcut != nullptr)
      action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
    const int command = row.command;
    switch (command) {
      case ID_FILE_NEW:
      case ID_FILE_SAVE:
      case ID_FILE_SAVE_AS:
        // The document holds nothing: there is nothing to create or save, and the monitor must
        // not be disturbed, so these stay listed but unavailable.
        action->setEnabled(false);
        break;
      case ID_FILE_OPEN:
        // Opens a recorded day; usable only while Retrieve is (followRetrieve).
        action->setEnabled(false);
        open_ = action;
        connect(action, &QAction::triggered, this, [this] {
          if (view_ != nullptr) view_->onCommand(ID_FILE_OPEN);
        });
        break;
      case ID_APP_EXIT:
        connect(action, &QAction::triggered, this, &QWidget::close);
        break;
      case ID_APP_ABOUT:
        connect(action, &QAction::triggered, this, &CMainFrame::showAbout);
        break;
      default:
        connect(action, &QAction::triggered, this, [this, command] {
          if (view_ != nullptr) view_->onCommand(command);
        });
        break;
    }
  }
}

void CMainFrame::followRetrieve(QWidget* retrieve) {
  followEnabled(retrieve, open_, [open = open_](bool enabled) { open->setEnabled(enabled); });
}

QMenu* CMainFrame::menu(const QString& title) const {
  for (QAction* action : menuBar()->actions()) {
    if (action->menu() != nullptr && action->text() == title) return action->menu();
  }
  return nullptr;
}

void CMainFrame::buildEditAccelerators() {
  // Ctrl+Z, Ctrl+X/C/V, Shift+Delete, Ctrl+Insert and Shift+Insert are the edit boxes' own keys;
  // Alt+Backspace undoes too. There are no panes for F6 and Shift+F6 to move between.
  auto* undo = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Backspace), this);
  connect(undo, &QShortcut::activated, this, [] {
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
      line->undo();
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(focus)) {
      text->undo();
    }
  });
  new QShortcut(QKeySequence(Qt::Key_F6), this);
  new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
}

void CMainFrame::showAbout() {
  CAboutDlg dlg(view_ != nullptr ? view_->dpiScale() : 1.0, this);
  dlg.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (view_ != nullptr) view_->teardown();
  event->accept();
}

}  // namespace kestrune
