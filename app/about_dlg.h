// CAboutDlg: the About box (dialog 100).
#pragma once

#include <QDialog>
#include <QIcon>
#include <span>

#include "forms/dialog_layout.h"

namespace kestrune {

inline constexpr int kAboutDialogId = 100;
inline constexpr int IDC_ABOUT_ICON = 0;
inline constexpr int IDOK_BUTTON = 1;
inline constexpr int IDC_ABOUT_VERSION = 1101;
inline constexpr int IDC_ABOUT_LINE2 = 1102;
inline constexpr int IDC_ABOUT_LINE3 = 1103;

// The application's own icon in every size the program carries (16 to 256 pixels): the window's,
// the About box's and the desktop's.
QIcon applicationIcon();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(double dpiScale, QWidget* parent = nullptr);
};

}  // namespace kestrune
