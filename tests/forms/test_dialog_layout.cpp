#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QValidator>
#include <memory>

#include "forms/dialog_layout.h"
#include "tests/support/qt_application.h"

namespace kestrune {
namespace {

void app() { test::ensureApplication(); }

TEST(DialogUnits, ScaleAcrossAndDown) {
  EXPECT_EQ(dialogUnitsToPixelsX(100, 1.0), 150);
  EXPECT_EQ(dialogUnitsToPixelsY(80, 1.0), 130);
  EXPECT_EQ(dialogUnitsToPixelsX(100, 1.25), 188);  // 187.5 rounds up
  EXPECT_EQ(dialogRectToPixels(117, 7, 50, 14, 1.0), QRect(176, 11, 75, 23));
  // Neighbours that touch in dialog units still touch in pixels.
  const QRect a = dialogRectToPixels(7, 7, 33, 9, 1.25);
  const QRect b = dialogRectToPixels(40, 16, 10, 9, 1.25);
  EXPECT_EQ(a.left() + a.width(), b.left());
  EXPECT_EQ(a.top() + a.height(), b.top());
}

TEST(DialogBuilder, BuildsEachKindNamedByItsId) {
  app();
  const ControlRow rows[] = {
      {0, ControlKind::Label, "Status:", 173, 8, 24, 8, kNoFlags},
      {1003, ControlKind::Edit, "", 200, 7, 155, 12, kReadOnly | kMultiLine | kBorder},
      {1052, ControlKind::Edit, "", 577, 17, 30, 12, kDigits | kAlignRight},
      {1000, ControlKind::Button, "CLEAR", 494, 33, 50, 14, kHidden | kDisabled},
      {1102, ControlKind::CheckBox, "Smart Scale: ", 646, 43, 51, 8, kTextLeft | kFlat},
      {1029, ControlKind::List, "", 7, 55, 60, 50, kBorder},
      {1013, ControlKind::Edit, "", 7, 64, 68, 14, kPassword},
  };
  auto parent = std::make_unique<QWidget>();
  const auto byId = buildControls(parent.get(), rows, 1.0);
  EXPECT_EQ(byId.size(), 6u);
  EXPECT_EQ(parent->findChildren<QWidget*>(QString("0"), Qt::FindDirectChildrenOnly).size(), 1);

  auto* status = findControlAs<QPlainTextEdit>(parent.get(), 1003);
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->isReadOnly());
  EXPECT_EQ(status->geometry(), dialogRectToPixels(200, 7, 155, 12, 1.0));

  auto* points = findControlAs<QLineEdit>(parent.get(), 1052);
  ASSERT_NE(points, nullptr);
  EXPECT_TRUE(points->alignment() & Qt::AlignRight);
  ASSERT_NE(points->validator(), nullptr);
  QString typed = "12a3";
  int pos = 0;
  EXPECT_EQ(points->validator()->validate(typed, pos), QValidator::Invalid) << "digits only";
  typed = "123";
  EXPECT_EQ(points->validator()->validate(typed, pos), QValidator::Acceptable);

  auto* clear = findControlAs<QPushButton>(parent.get(), 1000);
  ASSERT_NE(clear, nullptr);
  EXPECT_FALSE(clear->isEnabled());
  EXPECT_TRUE(clear->isHidden());

  auto* smart = findControlAs<QCheckBox>(parent.get(), 1102);
  ASSERT_NE(smart, nullptr);
  EXPECT_EQ(smart->text(), "Smart Scale: ");
  EXPECT_EQ(smart->layoutDirection(), Qt::LeftToRight);  // only the box moves
  // Flat: the box (13 x 13, as tall as the 77 x 13 control, at its right edge) is one line round
  // the edit colour, without bevel or shade; a tick in the text colour shows once it is ticked.
  const auto box = [smart] {
    return smart->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(64, 0, 13, 13);
  };
  const QRgb line = smart->palette().color(QPalette::WindowText).rgb();
  const QRgb base = smart->palette().color(QPalette::Base).rgb();
  const QRgb text = smart->palette().color(QPalette::Text).rgb();
  // Pixels of the box as expected: the 48 of its edge in the line colour, and inside it the edit
  // colour when clear, some of the text colour once ticked.
  const auto matching = [&box, line](QRgb inner) {
    const QImage shown = box();
    int n = 0;
    for (int y = 0; y < 13; ++y) {
      for (int x = 0; x < 13; ++x) {
        n += shown.pixel(x, y) == (x % 12 == 0 || y % 12 == 0 ? line : inner) ? 1 : 0;
      }
    }
    return n;
  };
  EXPECT_EQ(matching(base), 48 + 121);
  smart->click();
  EXPECT_TRUE(smart->isChecked());
  EXPECT_GT(matching(text), 48 + 8);

  EXPECT_NE(findControlAs<QTableView>(parent.get(), 1029), nullptr);
  EXPECT_EQ(findControlAs<QLineEdit>(parent.get(), 1013)->echoMode(), QLineEdit::Password);
  EXPECT_EQ(findControl(parent.get(), 4242), nullptr);
  EXPECT_EQ(findControl(parent.get(), 0), nullptr);
}

// A dialog whose OK does work of its own before closing, as the symbol filter dialog's does.
class CountingDialog : public QDialog {
 public:
  int accepted = 0;
  void accept() override {
    ++accepted;
    QDialog::accept();
  }
};

TEST(DialogBuilder, PreferenceDialogSetUpAndOkCancel) {
  app();
  constexpr ControlRow rows[] = {
      {0, ControlKind::Label, "Port Number:", 7, 6, 44, 8, kNoFlags},
      {1, ControlKind::Button, "OK", 60, 7, 50, 14, kDefault},
      {2, ControlKind::Button, "Cancel", 60, 24, 50, 14, kNoFlags},
  };
  CountingDialog d;
  const double scale = setUpDialog(&d, 120, 45, rows);
  EXPECT_EQ(d.font().pointSize(), 8);
  EXPECT_EQ(d.size(), QSize(dialogUnitsToPixelsX(120, scale), dialogUnitsToPixelsY(45, scale)));
  EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "fixed size";
  ASSERT_NE(findControlAs<QPushButton>(&d, 1), nullptr);

  connectOkCancel(&d);
  findControlAs<QPushButton>(&d, 1)->click();
  EXPECT_EQ(d.accepted, 1) << "the dialog's own accept runs";
  EXPECT_EQ(d.result(), QDialog::Accepted);
  findControlAs<QPushButton>(&d, 2)->click();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(d.accepted, 1);

  // A table without the buttons is wired without complaint.
  QDialog bare;
  connectOkCancel(&bare, 7, 8);
  EXPECT_EQ(bare.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace kestrune
