#include "app/about_dlg.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace kestrune {
namespace {

using K = ControlKind;

constexpr ControlRow kAbout[] = {
    {IDC_ABOUT_ICON, K::Picture, "", 11, 13, 21, 20, kNoFlags},
    {IDC_ABOUT_VERSION, K::Label, "Kestrune Version 1.0.4", 40, 10, 132, 8, kNoFlags},
    {IDC_ABOUT_LINE2, K::Label, "Whole Market HFT/Algo Monitor", 40, 19, 119, 8, kNoFlags},
    {IDC_ABOUT_LINE3, K::Label, "Brenmoor", 40, 28, 93, 8, kNoFlags},
    {IDOK_BUTTON, K::Button, "OK", 178, 7, 50, 16, kDefault | kGroupStart},
};

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

QIcon applicationIcon() {
  QIcon icon;
  for (int size : kIconSizes) {
    icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/kestrune.png").arg(size),
                 QSize(size, size));
  }
  return icon;
}

CAboutDlg::CAboutDlg(double dpiScale, QWidget* parent) : QDialog(parent) {
  setObjectName(QString::number(kAboutDialogId));
  setWindowTitle(QStringLiteral("About Kestrune"));
  setModal(true);
  setFont(dialogFont(dpiScale));
  setFixedSize(dialogUnitsToPixelsX(235, dpiScale), dialogUnitsToPixelsY(55, dpiScale));
  for (const ControlRow& row : kAbout) {
    if (row.kind == K::Picture) {
      // The application icon, 32 x 32 at 96 dpi.
      auto* icon = new QLabel(this);
      icon->setObjectName(QStringLiteral("0"));
      const int side = static_cast<int>(32 * dpiScale);
      icon->setGeometry(dialogUnitsToPixelsX(row.x, dpiScale),
                        dialogUnitsToPixelsY(row.y, dpiScale), side, side);
      icon->setPixmap(applicationIcon().pixmap(side, side));
      continue;
    }
    QWidget* w = buildControl(this, row, dpiScale);
    if (auto* ok = qobject_cast<QPushButton*>(w)) {
      ok->setAutoDefault(true);
      connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
  }
}

}  // namespace kestrune
