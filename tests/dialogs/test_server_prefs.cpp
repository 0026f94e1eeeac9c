// "Server Preferences": the edit rules, the cuts made at OK, and Cancel keeping all four values.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <string>

#include "forms/dialog_layout.h"
#include "monitor/server_prefs.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

constexpr int kAddress = 1004;
constexpr int kPort = 1005;
constexpr int kUser = 1012;
constexpr int kPassword = 1013;

ServerPrefsValues viewFields() {
  ServerPrefsValues v;
  v.serverPort = 7001;
  std::strcpy(v.serverAddress, "10.1.2.3");
  std::strcpy(v.userName, "trader");
  std::strcpy(v.userPassword, "secret");
  return v;
}

QLineEdit* edit(const QWidget* dialog, int id) { return findControlAs<QLineEdit>(dialog, id); }

// Types into a box as a person would, key by key.
void typeInto(QLineEdit* e, const QString& text) { QTest::keyClicks(e, text); }

void backspaces(QLineEdit* e, int n) {
  e->setFocus();
  e->end(false);
  for (int i = 0; i < n; ++i) QTest::keyClick(e, Qt::Key_Backspace);
}

// Runs the menu command, letting `drive` work the dialog and close it.
bool runDialog(ServerPrefsValues& fields, int& erased, const std::function<void(QWidget*)>& drive) {
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    drive(dialog);
  });
  return editServerPrefs(
      fields, [&] { ++erased; }, nullptr);
}

void press(QWidget* dialog, int id) { findControlAs<QPushButton>(dialog, id)->click(); }

TEST(ServerPrefsDialog, ShowsTheViewFieldsWithAMaskedPasswordAndDigitOnlyPort) {
  ServerPrefs dialog(viewFields());
  EXPECT_EQ(dialog.windowTitle(), "Server Preferences");
  EXPECT_EQ(edit(&dialog, kAddress)->text(), "10.1.2.3");
  EXPECT_EQ(edit(&dialog, kPort)->text(), "7001");
  EXPECT_EQ(edit(&dialog, kUser)->text(), "trader");
  EXPECT_EQ(edit(&dialog, kPassword)->text(), "secret");
  EXPECT_EQ(edit(&dialog, kPassword)->echoMode(), QLineEdit::Password);
  edit(&dialog, kPort)->clear();
  typeInto(edit(&dialog, kPort), "80x1");
  EXPECT_EQ(edit(&dialog, kPort)->text(), "801");
  EXPECT_EQ(dialog.values().serverPort, 801);
}

TEST(ServerPrefsDialog, OkCutsUserNamePasswordAndAddress) {
  ServerPrefsValues fields = viewFields();
  int erased = 0;
  const std::string user60(60, 'u');
  EXPECT_TRUE(runDialog(fields, erased, [&](QWidget* d) {
    edit(d, kUser)->selectAll();
    typeInto(edit(d, kUser), QString::fromStdString(user60));
    edit(d, kPassword)->selectAll();
    typeInto(edit(d, kPassword), "0123456789abcdefXYZ");
    edit(d, kAddress)->selectAll();
    typeInto(edit(d, kAddress), "abcdefghijklmnopq");  // 17 characters
    press(d, 1);
  }));
  EXPECT_EQ(erased, 1);
  EXPECT_EQ(std::string(fields.userName), std::string(50, 'u'));
  EXPECT_EQ(std::string(fields.userPassword), "0123456789abcde");
  EXPECT_EQ(std::string(fields.serverAddress), "abcdefghijklmnop");
  EXPECT_EQ(fields.serverPort, 7001);
}

TEST(ServerPrefsDialog, SixteenCharacterAddressIsKeptWhole) {
  ServerPrefsValues fields = viewFields();
  int erased = 0;
  runDialog(fields, erased, [&](QWidget* d) {
    edit(d, kAddress)->selectAll();
    typeInto(edit(d, kAddress), "192.168.100.200.");
    press(d, 1);
  });
  EXPECT_STREQ(fields.serverAddress, "192.168.100.200.");
}

TEST(ServerPrefsDialog, EmptiedAddressOrPortKeepsTheOldValueEmptiedPasswordEmpties) {
  {
    // Select all and delete in one step: the box was never non-empty on the way down.
    ServerPrefsValues fields = viewFields();
    int erased = 0;
    runDialog(fields, erased, [&](QWidget* d) {
      edit(d, kAddress)->selectAll();
      QTest::keyClick(edit(d, kAddress), Qt::Key_Delete);
      edit(d, kPort)->selectAll();
      QTest::keyClick(edit(d, kPort), Qt::Key_Delete);
      edit(d, kPassword)->selectAll();
      QTest::keyClick(edit(d, kPassword), Qt::Key_Delete);
      press(d, 1);
    });
    EXPECT_STREQ(fields.serverAddress, "10.1.2.3");
    EXPECT_EQ(fields.serverPort, 7001);
    EXPECT_STREQ(fields.userPassword, "");
    EXPECT_STREQ(fields.userName, "trader");
  }
  {
    // Character by character, the last non-empty text was the first character.
    ServerPrefsValues fields = viewFields();
    int erased = 0;
    runDialog(fields, erased, [&](QWidget* d) {
      backspaces(edit(d, kAddress), 8);
      backspaces(edit(d, kUser), 6);
      press(d, 1);
    });
    EXPECT_STREQ(fields.serverAddress, "1");
    EXPECT_STREQ(fields.userName, "");
  }
}

TEST(ServerPrefsDialog, CancelAfterEditsLeavesAllFourFields) {
  ServerPrefsValues fields = viewFields();
  int erased = 0;
  EXPECT_FALSE(runDialog(fields, erased, [&](QWidget* d) {
    typeInto(edit(d, kAddress), "9");
    typeInto(edit(d, kPort), "9");
    edit(d, kUser)->clear();
    typeInto(edit(d, kPassword), "x");
    press(d, 2);
  }));
  EXPECT_EQ(erased, 0);
  const ServerPrefsValues before = viewFields();
  EXPECT_STREQ(fields.serverAddress, before.serverAddress);
  EXPECT_EQ(fields.serverPort, before.serverPort);
  EXPECT_STREQ(fields.userName, before.userName);
  EXPECT_STREQ(fields.userPassword, before.userPassword);
}

TEST(ServerPrefsEditor, TextsNeverOutgrowTheirFields) {
  ServerPrefsValues start;
  std::memset(start.userName, 'n', sizeof start.userName);  // a value without its NUL
  ServerPrefsEditor editor(start);
  EXPECT_EQ(std::strlen(editor.values().userName), sizeof start.userName - 1);
  editor.addressEdited(std::string(500, 'a'));
  editor.userNameEdited(std::string(500, 'b'));
  editor.passwordEdited(std::string(500, 'c'));
  EXPECT_EQ(std::strlen(editor.values().serverAddress), 63u);
  EXPECT_EQ(std::strlen(editor.values().userName), 254u);
  EXPECT_EQ(std::strlen(editor.values().userPassword), 254u);
  ServerPrefsValues view;
  confirmServerPrefs(editor.values(), view);
  EXPECT_EQ(std::strlen(view.serverAddress), kAddressCut);
  EXPECT_EQ(std::strlen(view.userName), kUserNameCut);
  EXPECT_EQ(std::strlen(view.userPassword), kPasswordCut);
}

TEST(ServerPrefsEditor, PortTakesLeadingDigitsWithoutOverflow) {
  EXPECT_EQ(leadingDecimal("8080"), 8080);
  EXPECT_EQ(leadingDecimal("12ab"), 12);
  EXPECT_EQ(leadingDecimal("abc"), 0);
  EXPECT_EQ(leadingDecimal("99999999999999999999"), INT32_MAX);
}

}  // namespace
}  // namespace kestrune
