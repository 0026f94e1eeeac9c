// "Chart and List Colors / Font / Threshold Preferences": the samples, the element list, the
// schemes, the reset, the digit edits, fonts that change at once, and the steps of OK.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "forms/dialog_layout.h"
#include "settings/color_prefs.h"
#include "settings/record_convert.h"

namespace kestrune {
namespace {

constexpr int kLineWidth = 1053;
constexpr int kRawThresh = 1019;
constexpr int kSeqThresh = 1020;
constexpr int kAlgoThresh = 1021;
constexpr int kElements = 1127;
constexpr int kElementSample = 1128;
constexpr int kChoose = 1033;
constexpr int kReset = 1044;

QColor rgb(ColorRef c) { return QColor(colorRed(c), colorGreen(c), colorBlue(c)); }

// The colour most of a sample is painted in: its background, whatever its text covers.
QColor backgroundOf(QWidget* sample) {
  const QImage image = sample->grab().toImage();
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  }
  const auto most = std::max_element(counts.begin(), counts.end(),
                                     [](auto& a, auto& b) { return a.second < b.second; });
  return most == counts.end() ? QColor() : QColor(most->first);
}

class ColorPrefsTest : public ::testing::Test {
 protected:
  std::unique_ptr<CColorPrefs> open() {
    auto d =
        std::make_unique<CColorPrefs>(settings_, colors_, settings_.listFont, settings_.chartFont);
    d->askYesNo = [this](const QString& title, const QString& text) {
      questions_ << title + "|" + text;
      return answerYes_;
    };
    d->chooseColor = [this](ColorRef) { return nextColor_; };
    return d;
  }
  void type(CColorPrefs& d, int id, const QString& text) {
    QLineEdit* e = findControlAs<QLineEdit>(&d, id);
    e->selectAll();
    QTest::keyClicks(e, text);
  }
  void press(CColorPrefs& d, int id) { findControlAs<QPushButton>(&d, id)->click(); }

  // Applies with hooks that record what was done, in order.
  void confirm(const CColorPrefs& d) {
    ColorPrefsHooks hooks;
    hooks.eraseLists = [this] { steps_.push_back("erase"); };
    hooks.styleLists = [this](const MonitorSettings&) { steps_.push_back("style"); };
    hooks.recolorByThreshold = [this](int list, int column) {
      steps_.push_back("recolor " + std::to_string(list) + " " + std::to_string(column));
    };
    hooks.underChartLock = [this](const std::function<void()>& f) {
      steps_.push_back("lock");
      f();
      steps_.push_back("unlock");
    };
    hooks.pointChartsAtFont = [this] { steps_.push_back("font"); };
    hooks.applyChartColors = [this] { steps_.push_back("colors"); };
    hooks.redrawAllCharts = [this] { steps_.push_back("redraw"); };
    applyColorPrefs(d.values(), true, settings_, colors_, hooks);
  }

  MonitorSettings settings_;
  ChartColorTable colors_;
  QStringList questions_;
  bool answerYes_ = true;
  std::optional<ColorRef> nextColor_;
  std::vector<std::string> steps_;
};

TEST_F(ColorPrefsTest, OpensWithItsControlsElementListAndSamplesInTheirColours) {
  colors_.graphAreaBk = rgbColor(10, 20, 30);
  settings_.highlightBk = rgbColor(200, 0, 50);
  auto d = open();
  EXPECT_EQ(d->windowTitle(), "Chart and List Colors / Font / Threshold Preferences");
  auto* elements = findControlAs<QTableWidget>(d.get(), kElements);
  ASSERT_NE(elements, nullptr);
  ASSERT_EQ(elements->rowCount(), 19);
  EXPECT_EQ(elements->horizontalHeaderItem(0)->text(), "Element Colors");
  EXPECT_EQ(elements->item(0, 0)->text(), "Total - Algo Seq/Per Reporting");
  EXPECT_EQ(elements->item(2, 0)->text(), "Total - HFT Quotes/Per Reporting");
  EXPECT_EQ(elements->item(18, 0)->text(), "NSMLLColor");
  EXPECT_TRUE(elements->selectedItems().isEmpty());
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), 1070)->text(), "CHART FONT");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), 1069)->text(), "LIST FONT");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kRawThresh)->text(), "3000");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kSeqThresh)->text(), "500");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kAlgoThresh)->text(), "250");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kLineWidth)->text(), "1");
  for (int hidden : {1038, 1039, 1040, 1133, 1134, 1135}) {
    ASSERT_NE(findControl(d.get(), hidden), nullptr);
    EXPECT_TRUE(findControl(d.get(), hidden)->isHidden());
    EXPECT_FALSE(findControl(d.get(), hidden)->isEnabled());
  }
  // One "Color:" caption over the element sample, and four more hidden and disabled.
  int shownColor = 0, hiddenColor = 0;
  for (QLabel* label : d->findChildren<QLabel*>()) {
    if (label->text() != "Color:") continue;
    ++(label->isHidden() ? hiddenColor : shownColor);
    EXPECT_EQ(label->isEnabled(), !label->isHidden());
  }
  EXPECT_EQ(shownColor, 1);
  EXPECT_EQ(hiddenColor, 4);
  // Samples in their colours; OUTLINE and GRIDLINE sit on the graph area background.
  EXPECT_EQ(backgroundOf(findControl(d.get(), 1129)), rgb(colors_.graphAreaBk));
  EXPECT_EQ(backgroundOf(findControl(d.get(), 1131)), rgb(colors_.graphAreaBk));
  EXPECT_EQ(backgroundOf(findControl(d.get(), 1137)), QColor(200, 0, 50));
  EXPECT_EQ(backgroundOf(findControl(d.get(), kElementSample)), rgb(colors_.NQEXColor));
}

TEST_F(ColorPrefsTest, ChooseActsOnTheSelectedElementAndACancelledChooserChangesNothing) {
  auto d = open();
  auto* elements = findControlAs<QTableWidget>(d.get(), kElements);
  elements->setCurrentCell(1, 0);  // Total - HFT Quotes/Per Listed
  EXPECT_EQ(backgroundOf(findControl(d.get(), kElementSample)), rgb(colors_.totalColorListing));
  nextColor_ = rgbColor(1, 2, 3);
  press(*d, kChoose);
  EXPECT_EQ(d->values().colors.totalColorListing, rgbColor(1, 2, 3));
  EXPECT_EQ(backgroundOf(findControl(d.get(), kElementSample)), QColor(1, 2, 3));
  elements->setCurrentCell(17, 0);  // NQNMColor, exchange 14
  nextColor_.reset();
  press(*d, kChoose);
  EXPECT_EQ(d->values().colors.NQNMColor, colors_.NQNMColor);
  nextColor_ = rgbColor(9, 9, 9);
  press(*d, 1034);  // graph area Bk also moves the OUTLINE and GRIDLINE samples
  EXPECT_EQ(backgroundOf(findControl(d.get(), 1132)), QColor(9, 9, 9));
  EXPECT_EQ(d->values().colors.graphAreaBk, rgbColor(9, 9, 9));
  EXPECT_EQ(colors_.graphAreaBk, ChartColorTable{}.graphAreaBk);  // nothing before OK
}

TEST_F(ColorPrefsTest, LineWidthIsKeptWithinOneToFiveWhileTheEditShowsWhatWasTyped) {
  auto d = open();
  type(*d, kLineWidth, "9");
  EXPECT_EQ(d->values().lineWidth, 5);
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kLineWidth)->text(), "9");
  type(*d, kLineWidth, "0");
  EXPECT_EQ(d->values().lineWidth, 1);
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kLineWidth)->text(), "0");
  type(*d, kLineWidth, "3");
  findControlAs<QLineEdit>(d.get(), kLineWidth)->clear();  // emptied: last value stays
  EXPECT_EQ(d->values().lineWidth, 3);
  type(*d, kRawThresh, "-12x7");  // only digits get in
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kRawThresh)->text(), "127");
  EXPECT_EQ(d->values().quoteCountRawThresh, 127);
  type(*d, kSeqThresh, "9999999999");
  EXPECT_EQ(d->values().quoteCountSeqThresh, INT32_MAX);
}

TEST_F(ColorPrefsTest, AnsweringNoToTheResetQuestionChangesNothing) {
  settings_.quoteCountRawThresh = 42;
  copyFixedText(settings_.chartFont.lfFaceName, 32, "Courier");
  auto d = open();
  answerYes_ = false;
  nextColor_ = rgbColor(1, 1, 1);
  press(*d, 1045);  // NORMAL Bk
  const ColorPrefsValues before = d->values();
  press(*d, kReset);
  EXPECT_EQ(questions_, QStringList{"Message|Really Reset to Default?"});
  EXPECT_EQ(std::memcmp(&before, &d->values(), sizeof before), 0);
  EXPECT_STREQ(settings_.chartFont.lfFaceName, "Courier");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kRawThresh)->text(), "42");
}

TEST_F(ColorPrefsTest, ResetThenOkGivesEveryDefault) {
  settings_.quoteCountRawThresh = 1;
  settings_.quoteCountSeqThresh = 2;
  settings_.highAlgoCountsThresh = 3;
  settings_.lineWidth = 4;
  settings_.symFilterFg = rgbColor(1, 2, 3);
  settings_.listFont.lfHeight = -30;
  copyFixedText(settings_.chartFont.lfFaceName, 32, "Courier");
  colors_.NSMLLColor = 0;
  colors_.reservedColor[4] = 0;
  colors_.totalColorAlgo = 0;
  colors_.gridlineFg = 0;
  colors_.chartDotLineColor = rgbColor(7, 7, 7);  // not the dialog's: left alone
  auto d = open();
  int chartFontChanges = 0;
  d->chartFontReplaced = [&] { ++chartFontChanges; };
  press(*d, kReset);
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kRawThresh)->text(), "3000");
  EXPECT_EQ(findControlAs<QLineEdit>(d.get(), kLineWidth)->text(), "1");
  EXPECT_EQ(chartFontChanges, 1);
  press(*d, 1);
  confirm(*d);

  const MonitorSettings fresh;
  ChartColorTable expected;
  expected.chartDotLineColor = rgbColor(7, 7, 7);
  EXPECT_EQ(std::memcmp(&colors_, &expected, sizeof expected), 0);
  EXPECT_EQ(listColorsOf(settings_).symFilterFg, fresh.symFilterFg);
  EXPECT_EQ(std::memcmp(&settings_.normalBk, &fresh.normalBk, 8 * sizeof(ColorRef)), 0);
  EXPECT_EQ(settings_.quoteCountRawThresh, 3000);
  EXPECT_EQ(settings_.quoteCountSeqThresh, 500);
  EXPECT_EQ(settings_.highAlgoCountsThresh, 250);
  EXPECT_EQ(settings_.lineWidth, 1);
  const LogFontRecord arial8 = defaultLogFont(screenFontDpi());
  EXPECT_EQ(std::memcmp(&settings_.listFont, &arial8, sizeof arial8), 0);
  EXPECT_EQ(std::memcmp(&settings_.chartFont, &arial8, sizeof arial8), 0);
  EXPECT_STREQ(settings_.chartFont.lfFaceName, "Arial");
}

TEST_F(ColorPrefsTest, AChosenChartFontSurvivesCancel) {
  auto d = open();
  LogFontRecord courier = settings_.chartFont;
  copyFixedText(courier.lfFaceName, 32, "Courier");
  courier.lfHeight = -20;
  d->chooseFont = [&](const LogFontRecord& current) -> std::optional<LogFontRecord> {
    EXPECT_STREQ(current.lfFaceName, "Arial");
    return courier;
  };
  int chartFontChanges = 0;
  d->chartFontReplaced = [&] { ++chartFontChanges; };
  press(*d, 1085);  // Charts "Select"
  EXPECT_EQ(chartFontChanges, 1);
  EXPECT_EQ(QFontInfo(findControl(d.get(), 1070)->font()).pixelSize(), 20);
  d->chooseFont = [](const LogFontRecord&) { return std::optional<LogFontRecord>(); };
  press(*d, 1084);  // Lists "Select", chooser cancelled
  press(*d, 2);
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_FALSE(applyColorPrefs(d->values(), false, settings_, colors_, {}));
  EXPECT_STREQ(settings_.chartFont.lfFaceName, "Courier");
  EXPECT_EQ(settings_.chartFont.lfHeight, -20);
  EXPECT_STREQ(settings_.listFont.lfFaceName, "Arial");
}

TEST_F(ColorPrefsTest, OkRecoloursOnlyTheListWhoseThresholdChangedInTheStepOrder) {
  auto d = open();
  type(*d, kSeqThresh, "777");
  type(*d, kRawThresh, "3000");  // retyped, unchanged
  press(*d, 1);
  confirm(*d);
  EXPECT_EQ(settings_.quoteCountSeqThresh, 777);
  const std::vector<std::string> expected = {"erase",       "style", "lock",   "font",   "unlock",
                                             "recolor 1 3", "lock",  "colors", "unlock", "redraw"};
  EXPECT_EQ(steps_, expected);
}

TEST_F(ColorPrefsTest, WhiteSchemeThenOkGivesAWhiteChart) {
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<CColorPrefs*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    findControlAs<QPushButton>(d, 1041)->click();
    EXPECT_EQ(backgroundOf(findControl(d, 1130)), QColor(200, 200, 200));
    findControlAs<QPushButton>(d, 1)->click();
  });
  int redraws = 0;
  ColorPrefsHooks hooks;
  hooks.redrawAllCharts = [&] { ++redraws; };
  const ChartColorTable before = colors_;
  EXPECT_TRUE(editColourPrefs(settings_, colors_, hooks, nullptr));
  EXPECT_EQ(redraws, 1);
  EXPECT_EQ(colors_.graphAreaBk, rgbColor(255, 255, 255));
  EXPECT_EQ(colors_.insetsBk, rgbColor(200, 200, 200));
  EXPECT_EQ(colors_.graphAreaFg, rgbColor(0, 0, 0));
  EXPECT_EQ(colors_.insetsFg, rgbColor(0, 0, 0));
  EXPECT_EQ(colors_.gridlineFg, rgbColor(0, 0, 0));
  EXPECT_EQ(colors_.outlineFg, rgbColor(50, 50, 50));
  EXPECT_EQ(colors_.NQEXColor, before.NQEXColor);  // schemes leave the series alone
  EXPECT_EQ(colors_.totalColorListing, before.totalColorListing);

  // The black scheme is the built-in chart look.
  ColorPrefsEditor editor(settings_, colors_);
  editor.blackScheme();
  const ChartColorTable defaults;
  EXPECT_EQ(editor.values().colors.graphAreaBk, defaults.graphAreaBk);
  EXPECT_EQ(editor.values().colors.insetsBk, defaults.insetsBk);
  EXPECT_EQ(editor.values().colors.outlineFg, defaults.outlineFg);
  EXPECT_EQ(editor.values().colors.gridlineFg, defaults.gridlineFg);
  EXPECT_EQ(editor.values().colors.insetsFg, defaults.insetsFg);
  EXPECT_EQ(editor.values().gridlinePreviewBk, defaults.graphAreaBk);
}

}  // namespace
}  // namespace kestrune
