// CMainFrame: the top-level window around the monitor view, with the menu bar File, Help,
// Preferences. CQuillfernViewerDoc: the document, which holds nothing but its title.
#pragma once

#include <QMainWindow>
#include <QString>
#include <span>

namespace kestrune {

class CQuillfernViewerView;

inline constexpr const char* kDocumentTitle = "Kestrune";
inline constexpr const char* kWindowTitle = "Whole Market HFT/Algo Monitor - V1.0.5";

class CQuillfernViewerDoc {
 public:
  // A new document is always titled "Kestrune".
  void onNewDocument() { title_ = QString::fromLatin1(kDocumentTitle); }
  const QString& title() const { return title_; }

 private:
  QString title_ = QString::fromLatin1(kDocumentTitle);
};

// The frame's caption: the document title first, then the window title.
QString frameCaption(const CQuillfernViewerDoc& doc);

// One menu item in table order; a null caption is a separator.
struct MenuItemRow {
  const char* menu;      // "&File", "&Help", "&Preferences"
  const char* caption;   // as shown, with its mnemonic; nullptr for a separator
  const char* shortcut;  // accelerator, or nullptr
  int command;           // command id (0 for the framework's own commands)
};

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The one view; the frame routes the Preferences and Help commands to it.
  void setView(CQuillfernViewerView* view);
  CQuillfernViewerView* view() const { return view_; }
  CQuillfernViewerDoc& document() { return doc_; }

  // Shows the About box (modal).
  void showAbout();
  // File > Open... is usable exactly while the form's Retrieve button is: not while connected or
  // connecting. Called once the view's form is built.
  void followRetrieve(QWidget* retrieve);
  // The menu bar's menu of that title ("&Preferences"), or null.
  QMenu* menu(const QString& title) const;

 protected:
  // Closing the frame tears the view down first, while the frame still has its placement.
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildEditAccelerators();

  CQuillfernViewerDoc doc_;
  CQuillfernViewerView* view_ = nullptr;
  QAction* open_ = nullptr;
};

}  // namespace kestrune
