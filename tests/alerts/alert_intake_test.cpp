// Record splitting, the row store and the intake decisions (colour codes and sounds).
#include "alerts/alert_intake.h"

#include <gtest/gtest.h>

#include <string>

#include "alerts/alert_list.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

std::vector<std::string> cellsOf(const AlertCells& c, AlertKind kind) {
  std::vector<std::string> out;
  for (int i = 0; i < alertColumnCount(kind); ++i) out.emplace_back(c.cell(i));
  return out;
}

using Cells = std::vector<std::string>;

TEST(AlertRecordTest, SplitsEachKindIntoItsColumns) {
  AlertCells c;
  splitAlertRecord(AlertKind::Raw, "IBM|7|093015|3200|X|45", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Raw), (Cells{"09:30:15", "IBM", "3200", "45", "X"}));
  splitAlertRecord(AlertKind::Seq, "MSFT|NYSE|101500|612|B|extra|more", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Seq), (Cells{"10:15:00", "MSFT", "NYSE", "612", "B"}));
  splitAlertRecord(AlertKind::Algo, "AAPL|BATS|ping|150102|300|A|hidden", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Algo), (Cells{"15:01:02", "AAPL", "BATS", "300", "A", "ping"}));
}

TEST(AlertRecordTest, ShortAndMissingFieldsStayShortOrEmpty) {
  AlertCells c;
  splitAlertRecord(AlertKind::Raw, "IBM|7|0930", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Raw), (Cells{"09:30:", "IBM", "", "", ""}));
  splitAlertRecord(AlertKind::Raw, "", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Raw), (Cells{"", "", "", "", ""}));
  // A line feed ends a field like "|".
  splitAlertRecord(AlertKind::Seq, "A|B|120000|5\nZ", c);
  EXPECT_EQ(cellsOf(c, AlertKind::Seq), (Cells{"12:00:00", "A", "B", "5", "Z"}));
}

TEST(AlertRecordTest, OverlongFieldsAndRecordsAreCut) {
  std::string longSym(40, 'S');
  AlertCells c;
  splitAlertRecord(AlertKind::Raw, longSym + "|7|093015|12|X|9", c);
  EXPECT_EQ(c.cell(1), std::string(27, 'S'));
  EXPECT_EQ(c.cell(2), "12");  // the rest of the long field does not spill into the next
  EXPECT_EQ(c.cell(4), "X");
  // Only the first 255 characters of a record are read.
  std::string record = "IBM|" + std::string(300, 'x') + "|093015";
  splitAlertRecord(AlertKind::Raw, record, c);
  EXPECT_EQ(c.cell(0), "");
  std::string padded = "IBM|7|093015|12|X|" + std::string(250, '9');
  splitAlertRecord(AlertKind::Raw, padded, c);
  EXPECT_EQ(c.cell(3).size(), 27u);
}

TEST(AlertRecordTest, CountParsing) {
  EXPECT_EQ(parseAlertCount("3200"), 3200);
  EXPECT_EQ(parseAlertCount("  +42abc"), 42);
  EXPECT_EQ(parseAlertCount("-7"), -7);
  EXPECT_EQ(parseAlertCount("abc"), 0);
  EXPECT_EQ(parseAlertCount(""), 0);
  EXPECT_EQ(parseAlertCount("99999999999999999999"), 2147483647);
  EXPECT_EQ(parseAlertCount("-99999999999999999999"), -2147483647 - 1);
}

TEST(AlertListTest, NewestRowIsOnTopAndCodesChange) {
  AlertList list(AlertKind::Raw);
  AlertCells c;
  for (int i = 0; i < 40000; ++i) {
    splitAlertRecord(AlertKind::Raw, "S" + std::to_string(i) + "|7|093015|" + std::to_string(i), c);
    list.append(c, static_cast<RowColor>(i % 4));
  }
  ASSERT_EQ(list.size(), 40000u);
  EXPECT_EQ(list.cell(0, 1), "S39999");
  EXPECT_EQ(list.cell(39999, 1), "S0");
  EXPECT_EQ(list.cell(1, 2), "39998");
  EXPECT_EQ(list.code(0), RowColor(39999 % 4));
  list.setCode(0, Normal);
  EXPECT_EQ(list.code(0), Normal);
  EXPECT_EQ(list.cell(0, 1), "S39999");  // the code lives beside the texts, not over them
  EXPECT_EQ(list.cell(40000, 0), "");
  EXPECT_EQ(list.cell(0, 5), "");
  EXPECT_EQ(list.code(40000), Normal);
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.cell(0, 0), "");
}

class IntakeTest : public ::testing::Test {
 protected:
  IntakeTest() : table_(dir_.file("SymbolFilter.txt")), intake_(table_) {
    rules_.threshold = 3000;
    intake_.setRules(AlertKind::Raw, rules_);
  }

  void watch(std::vector<std::string> symbols) {
    std::vector<SymbolEntry> e;
    for (auto& s : symbols) e.push_back(makeSymbolEntry(s));
    char alarm[255] = {};
    table_.replaceSymbolFilters(e, "", alarm);
  }
  void set() { intake_.setRules(AlertKind::Raw, rules_); }

  test::TempDir dir_;
  SymbolFilterTable table_;
  AlertIntake intake_;
  AlertRules rules_;
};

TEST_F(IntakeTest, ThresholdHighlightsAtOrOverAndZeroSwitchesItOff) {
  AlertDecision d = intake_.takeRawAlert("IBM|7|093015|3200|X|45");
  EXPECT_TRUE(d.addRow);
  EXPECT_EQ(d.code, Highlight);
  EXPECT_EQ(cellsOf(d.cells, AlertKind::Raw), (Cells{"09:30:15", "IBM", "3200", "45", "X"}));
  EXPECT_FALSE(d.sound.play);
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|3000").code, Highlight);
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|2999").code, Normal);
  rules_.threshold = 0;
  set();
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|3200|X|45").code, Normal);
  // Recolouring with threshold 0 marks every row with a count of 0 or more.
  EXPECT_EQ(recolorForThreshold(Normal, 0, 0), Highlight);
  EXPECT_EQ(recolorForThreshold(SymFilter, 5, 0), HighSymf);
  EXPECT_EQ(recolorForThreshold(HighSymf, -1, 0), SymFilter);
  EXPECT_EQ(recolorForThreshold(Highlight, 10, 11), Normal);
}

TEST_F(IntakeTest, SymbolColoursAndEliminate) {
  rules_.useSymbolFilters = true;
  set();
  // Filters on but no table: nothing eliminated, nothing coloured by symbol.
  rules_.listEliminate = true;
  set();
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|10").code, Normal);
  EXPECT_TRUE(intake_.takeRawAlert("IBM|7|093015|10").addRow);

  watch({"IBM"});
  rules_.listEliminate = false;
  set();
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|10").code, SymFilter);
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|3200").code, HighSymf);
  EXPECT_EQ(intake_.takeRawAlert("ibm|7|093015|3200").code, Highlight);  // case-sensitive

  rules_.listEliminate = true;
  rules_.slot = {"slot.wav", true, false, 200};
  set();
  AlertDecision dropped = intake_.takeRawAlert("MSFT|7|093015|250");
  EXPECT_FALSE(dropped.addRow);
  EXPECT_TRUE(dropped.sound.play);  // the list's slot still sounds for a dropped record
  EXPECT_EQ(dropped.sound.fileName, "slot.wav");
  AlertDecision kept = intake_.takeRawAlert("IBM|7|093015|3200");
  EXPECT_TRUE(kept.addRow);
  EXPECT_EQ(kept.code, Highlight);  // eliminate mode never gives the symbol colours
  EXPECT_EQ(intake_.takeRawAlert("IBM|7|093015|1").code, Normal);
  EXPECT_TRUE(intake_.filterActive(AlertKind::Raw));
}

TEST_F(IntakeTest, SoundChoice) {
  rules_.slot = {"", true, true, 200};
  set();
  EXPECT_FALSE(intake_.takeRawAlert("IBM|7|093015|199").sound.play);
  AlertDecision at = intake_.takeRawAlert("IBM|7|093015|200");
  EXPECT_TRUE(at.sound.play);
  EXPECT_TRUE(at.sound.loop);
  EXPECT_EQ(at.sound.fileName, "");  // an empty name is handed over; the player beeps

  // A matched symbol with its alarm set plays that alarm and skips the slot.
  watch({"IBM"});
  rules_.useSymbolFilters = true;
  rules_.playAlarm = true;
  rules_.loopAlarm = false;
  rules_.symbolAlarmFile = "sym.wav";
  set();
  AlertDecision sym = intake_.takeRawAlert("IBM|7|093015|5000");
  EXPECT_EQ(sym.sound.fileName, "sym.wav");
  EXPECT_FALSE(sym.sound.loop);
  // No alarm file: the symbol alarm is not due and the slot takes its turn.
  rules_.symbolAlarmFile.clear();
  set();
  EXPECT_TRUE(intake_.takeRawAlert("IBM|7|093015|5000").sound.loop);

  // Replay never sounds, and drops a trailing carriage return.
  AlertDecision replayed = intake_.replay(AlertKind::Raw, "IBM|7|093015|3200|X|45\r");
  EXPECT_FALSE(replayed.sound.play);
  EXPECT_EQ(replayed.cells.cell(3), "45");
  EXPECT_EQ(replayed.code, HighSymf);
}

TEST_F(IntakeTest, RulesPerListAreIndependent) {
  AlertRules seq;
  seq.threshold = 500;
  intake_.setRules(AlertKind::Seq, seq);
  EXPECT_EQ(intake_.takeSeqAlert("A|NYSE|093015|500").code, Highlight);
  EXPECT_EQ(intake_.takeAlgoAlert("A|NYSE|d|093015|500").code, Normal);  // Algo threshold 0
  EXPECT_EQ(intake_.takeRawAlert("A|7|093015|500").code, Normal);
}

}  // namespace
}  // namespace kestrune
