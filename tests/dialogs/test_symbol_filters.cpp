// "Symbol Filter Settings": adding (upper-casing, duplicates, refusals), the remembered-row
// delete, and what OK and Cancel apply to the settings, the table and its file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "alerts/symbol_filters_dialog.h"
#include "forms/dialog_layout.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

constexpr int kUseFilters = 1001;
constexpr int kListEliminate = 1002;
constexpr int kPlayAlarm = 1003;
constexpr int kList = 1004;
constexpr int kSymbolEdit = 1005;
constexpr int kAdd = 1006;
constexpr int kDelete = 1007;
constexpr int kAlarmEdit = 1008;
constexpr int kBrowse = 1009;
constexpr int kLoop = 1010;

struct Messages {
  QStringList titles, texts;
};

class SymbolFiltersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("SymbolFilter.txt").toStdString();
    table_ = std::make_unique<SymbolFilterTable>(path_);
  }

  // A dialog whose message boxes are recorded instead of shown.
  std::unique_ptr<SymbolFilters> open(const std::vector<std::string>& symbols = {}) {
    std::vector<SymbolEntry> entries;
    for (const auto& s : symbols) entries.push_back(makeSymbolEntry(s));
    auto dialog =
        std::make_unique<SymbolFilters>(symbolFilterSwitchesOf(settings_), entries, nullptr);
    dialog->showMessage = [this](const QString& title, const QString& text) {
      messages_.titles << title;
      messages_.texts << text;
    };
    return dialog;
  }

  void add(SymbolFilters& d, const QString& typed) {
    QLineEdit* e = findControlAs<QLineEdit>(&d, kSymbolEdit);
    e->clear();
    QTest::keyClicks(e, typed);
    findControlAs<QPushButton>(&d, kAdd)->click();
  }

  static QStringList rows(const SymbolFilters& d) {
    auto* list = findControlAs<QTableWidget>(&d, kList);
    QStringList out;
    for (int i = 0; i < list->rowCount(); ++i) out << list->item(i, 0)->text();
    return out;
  }

  // Clicks the list at the middle of the given row (or below the last row for -1).
  static void clickRow(SymbolFilters& d, int row) {
    auto* list = findControlAs<QTableWidget>(&d, kList);
    QPoint at = row >= 0 ? list->visualRect(list->model()->index(row, 0)).center()
                         : QPoint(5, list->viewport()->height() - 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  }

  std::string fileText() const {
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  QTemporaryDir dir_;
  std::string path_;
  std::unique_ptr<SymbolFilterTable> table_;
  MonitorSettings settings_;
  Messages messages_;
  int erased_ = 0;
  int recoloured_ = 0;
  SymbolFilterHooks hooks_{[this] { ++erased_; }, [this] { ++recoloured_; }};
};

TEST_F(SymbolFiltersTest, AddUpperCasesAndRefusesADuplicate) {
  auto d = open({"MSFT"});
  EXPECT_EQ(d->windowTitle(), "Symbol Filter Settings");
  add(*d, "ibm");
  EXPECT_EQ(rows(*d), (QStringList{"IBM", "MSFT"}));
  EXPECT_TRUE(findControlAs<QLineEdit>(d.get(), kSymbolEdit)->text().isEmpty());
  EXPECT_TRUE(messages_.texts.isEmpty());

  add(*d, "IbM");
  EXPECT_EQ(rows(*d), (QStringList{"IBM", "MSFT"}));
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_EQ(messages_.titles[0], "Error Message");
  EXPECT_EQ(messages_.texts[0], "The Symbol Already Exists In List!");
  EXPECT_TRUE(findControlAs<QLineEdit>(d.get(), kSymbolEdit)->text().isEmpty());

  findControlAs<QPushButton>(d.get(), kAdd)->click();  // empty box: nothing happens
  EXPECT_EQ(rows(*d).size(), 2);
  EXPECT_EQ(messages_.texts.size(), 1);
}

TEST_F(SymbolFiltersTest, OverlongOrMalformedSymbolsNeverReachTheTable) {
  auto d = open();
  // The box holds at most 24 characters, so a longer symbol cannot be typed at all.
  add(*d, QString(30, 'A'));
  EXPECT_EQ(rows(*d), QStringList{QString(24, 'A')});
  add(*d, "BRK A");
  add(*d, QString::fromUtf8("ÉTÉ"));
  EXPECT_EQ(rows(*d).size(), 1);
  ASSERT_EQ(messages_.texts.size(), 2);
  EXPECT_EQ(messages_.texts[0], "A Symbol Can Hold Only Letters, Digits And Punctuation!");
  // A refused symbol stays in the box to be corrected.
  EXPECT_FALSE(findControlAs<QLineEdit>(d.get(), kSymbolEdit)->text().isEmpty());

  // The rules refuse what is too long even when it does not come from the box.
  SymbolFilterEditor editor({}, {});
  EXPECT_EQ(editor.addSymbol(std::string(25, 'X')), AddSymbolResult::TooLong);
  EXPECT_EQ(editor.addSymbol(std::string(24, 'x')), AddSymbolResult::Added);
  EXPECT_EQ(editor.rows().front(), std::string(24, 'X'));
  EXPECT_EQ(editor.addSymbol("A\tB"), AddSymbolResult::BadCharacter);
}

TEST_F(SymbolFiltersTest, SecondDeleteRemovesTheRowThatMovedUp) {
  auto d = open({"AA", "BB", "CC", "DD"});
  clickRow(*d, 1);
  auto* del = findControlAs<QPushButton>(d.get(), kDelete);
  del->click();
  EXPECT_EQ(rows(*d), (QStringList{"AA", "CC", "DD"}));
  del->click();
  EXPECT_EQ(rows(*d), (QStringList{"AA", "DD"}));
  clickRow(*d, -1);  // below the rows: nothing remembered
  del->click();
  EXPECT_EQ(rows(*d), (QStringList{"AA", "DD"}));
  clickRow(*d, 1);
  del->click();
  del->click();  // the remembered row no longer exists
  EXPECT_EQ(rows(*d), QStringList{"AA"});
}

TEST_F(SymbolFiltersTest, OkAppliesSwitchesTableAndSortedFile) {
  auto d = open();
  add(*d, "zvzzt");
  add(*d, "aapl");
  add(*d, "ab");
  add(*d, "b");
  findControlAs<QCheckBox>(d.get(), kUseFilters)->click();
  findControlAs<QCheckBox>(d.get(), kPlayAlarm)->click();
  findControlAs<QCheckBox>(d.get(), kLoop)->click();
  QTest::keyClicks(findControlAs<QLineEdit>(d.get(), kAlarmEdit), "ding.wav");
  findControlAs<QPushButton>(d.get(), 1)->click();
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_TRUE(applySymbolFilters(*d, true, settings_, *table_, hooks_));

  EXPECT_EQ(settings_.useSymbolFilters, 1);
  EXPECT_EQ(settings_.listEliminate, 0);
  EXPECT_EQ(settings_.playAlarm, 1);
  EXPECT_EQ(settings_.loopAlarm, 1);
  EXPECT_STREQ(settings_.symbolAlarmFile, "ding.wav");
  EXPECT_EQ(erased_, 1);
  EXPECT_EQ(recoloured_, 1);
  EXPECT_GE(table_->findSymbol("AAPL"), 0);
  EXPECT_EQ(table_->findSymbol("aapl"), -1);
  std::string text = fileText();
  std::erase(text, '\r');
  EXPECT_EQ(text, "AAPL\nAB\nB\nZVZZT\n");
}

TEST_F(SymbolFiltersTest, EmptiedListOrCancelAppliesNothing) {
  ASSERT_TRUE(table_->replaceSymbolFilters(std::vector{makeSymbolEntry("IBM")}, "old.wav",
                                           std::span<char>(settings_.symbolAlarmFile)));
  const std::string before = fileText();
  {
    auto d = open({"IBM"});
    clickRow(*d, 0);
    findControlAs<QPushButton>(d.get(), kDelete)->click();
    findControlAs<QCheckBox>(d.get(), kUseFilters)->click();
    findControlAs<QCheckBox>(d.get(), kListEliminate)->click();
    findControlAs<QLineEdit>(d.get(), kAlarmEdit)->setText("new.wav");
    findControlAs<QPushButton>(d.get(), 1)->click();
    EXPECT_TRUE(d->newEntries().empty());
    EXPECT_FALSE(applySymbolFilters(*d, true, settings_, *table_, hooks_));
  }
  {
    auto d = open({"IBM"});
    add(*d, "MSFT");
    findControlAs<QCheckBox>(d.get(), kUseFilters)->click();
    findControlAs<QPushButton>(d.get(), 2)->click();
    EXPECT_FALSE(applySymbolFilters(*d, false, settings_, *table_, hooks_));
  }
  EXPECT_EQ(settings_.useSymbolFilters, 0);
  EXPECT_EQ(settings_.listEliminate, 0);
  EXPECT_STREQ(settings_.symbolAlarmFile, "old.wav");
  EXPECT_EQ(table_->findSymbol("IBM"), 0);
  EXPECT_EQ(table_->findSymbol("MSFT"), -1);
  EXPECT_EQ(fileText(), before);
  EXPECT_EQ(erased_, 0);
  EXPECT_EQ(recoloured_, 0);
}

TEST_F(SymbolFiltersTest, MenuCommandShowsTheCurrentStateAndBrowseFillsTheAlarmFile) {
  settings_.listEliminate = 1;
  ASSERT_TRUE(
      table_->replaceSymbolFilters(std::vector{makeSymbolEntry("QQQ"), makeSymbolEntry("IBM")},
                                   "a.wav", std::span<char>(settings_.symbolAlarmFile)));
  QTimer::singleShot(0, [this] {
    auto* d = qobject_cast<SymbolFilters*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(rows(*d), (QStringList{"IBM", "QQQ"}));
    EXPECT_TRUE(findControlAs<QCheckBox>(d, kListEliminate)->isChecked());
    EXPECT_FALSE(findControlAs<QCheckBox>(d, kUseFilters)->isChecked());
    EXPECT_EQ(findControlAs<QLineEdit>(d, kAlarmEdit)->text(), "a.wav");
    d->waveChooser = [](QWidget*) { return QStringLiteral("/sounds/a.wav.chosen.wav"); };
    findControlAs<QPushButton>(d, kBrowse)->click();
    findControlAs<QPushButton>(d, 1)->click();
  });
  EXPECT_TRUE(editSymbolFilters(settings_, *table_, hooks_, nullptr));
  EXPECT_STREQ(settings_.symbolAlarmFile, "/sounds/a.wav.chosen.wav");
  EXPECT_EQ(settings_.listEliminate, 1);
}

}  // namespace
}  // namespace kestrune
