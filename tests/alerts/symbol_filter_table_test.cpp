// The watched-symbol table: loading, lookups, replacement and the file it keeps.
#include "alerts/symbol_filter_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

class SymbolFilterTableTest : public ::testing::Test {
 protected:
  std::string file() const { return dir_.file("SymbolFilter.txt"); }
  void write(const std::string& bytes) { test::writeAll(file(), bytes); }
  std::string read() const { return test::readAll(file()); }
  test::TempDir dir_;
};

TEST_F(SymbolFilterTableTest, LoadsWhitespaceSeparatedSymbolsAndSortsThem) {
  write("MSFT IBM\r\n\n  AAPL\tB\r\nAB\n");
  SymbolFilterTable t(file());
  ASSERT_TRUE(t.loadSymbolFilters());
  std::vector<std::string> got;
  for (auto& e : t.entries()) got.emplace_back(symbolText(e));
  EXPECT_EQ(got, (std::vector<std::string>{"AAPL", "AB", "B", "IBM", "MSFT"}));
  EXPECT_GE(t.findSymbol("MSFT"), 0);
  EXPECT_GE(t.findSymbol("AAPL"), 0);
  EXPECT_EQ(t.findSymbol("ibm"), -1);
  EXPECT_EQ(t.findSymbol("A"), -1);
  EXPECT_EQ(t.findSymbol("ZZZ"), -1);
}

TEST_F(SymbolFilterTableTest, NoTableFromMissingOrBlankFile) {
  SymbolFilterTable t(file());
  EXPECT_FALSE(t.loadSymbolFilters());
  EXPECT_FALSE(t.hasSymbolFilters());
  EXPECT_EQ(t.findSymbol("IBM"), -1);
  write("\r\n\n   \t\n");
  EXPECT_FALSE(t.loadSymbolFilters());
  EXPECT_FALSE(t.hasSymbolFilters());

  // A FIFO of the file's name would hold the open until a writer came, and later the save
  // until a reader came, with the table locked: it counts as a file that cannot be read or
  // written, and the new table is in force all the same.
  std::filesystem::remove(file());
  ASSERT_EQ(::mkfifo(file().c_str(), 0644), 0);
  EXPECT_FALSE(t.loadSymbolFilters());
  const SymbolEntry ibm = makeSymbolEntry("IBM");
  char alarm[8] = {};
  EXPECT_FALSE(t.replaceSymbolFilters({&ibm, 1}, "", alarm));
  EXPECT_GE(t.findSymbol("IBM"), 0);
  EXPECT_TRUE(std::filesystem::is_fifo(file()));
}

TEST_F(SymbolFilterTableTest, OneEntryTable) {
  write("IBM\n");
  SymbolFilterTable t(file());
  ASSERT_TRUE(t.loadSymbolFilters());
  EXPECT_EQ(t.findSymbol("IBM"), 0);
  EXPECT_EQ(t.findSymbol("IBMX"), -1);
  EXPECT_EQ(t.findSymbol("IB"), -1);
  EXPECT_EQ(t.findSymbol("ZZ"), -1);
  EXPECT_EQ(t.findSymbol(""), -1);
}

TEST_F(SymbolFilterTableTest, LongWordsAndBinaryJunkLoadWithoutHarm) {
  std::string junk = std::string(5000, 'Q') + " OK ";
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) junk.push_back(static_cast<char>(rng()));
  write(junk);
  SymbolFilterTable t(file());
  ASSERT_TRUE(t.loadSymbolFilters());
  for (auto& e : t.entries()) {
    EXPECT_EQ(e[24], '\0');
    EXPECT_LE(symbolText(e).size(), kSymbolMax);
  }
  EXPECT_GE(t.findSymbol(std::string(24, 'Q')), 0);
  EXPECT_GE(t.findSymbol("OK"), 0);
}

TEST_F(SymbolFilterTableTest, ReplaceSortsWritesFileAndCopiesAlarm) {
  SymbolFilterTable t(file());
  std::vector<SymbolEntry> e = {makeSymbolEntry("MSFT"), makeSymbolEntry("AAPL"),
                                makeSymbolEntry("IBM"),
                                makeSymbolEntry("AVERYLONGSYMBOLNAMEOVER24CHARS")};
  char alarm[255];
  std::memset(alarm, 'x', sizeof alarm);
  EXPECT_TRUE(t.replaceSymbolFilters(e, "alarm.wav", alarm));
  EXPECT_STREQ(alarm, "alarm.wav");
  EXPECT_EQ(read(), "AAPL\nAVERYLONGSYMBOLNAMEOVER2\nIBM\nMSFT\n");
  EXPECT_GE(t.findSymbol("IBM"), 0);

  // A too-long alarm name is cut to fit and stays terminated.
  t.replaceSymbolFilters(e, std::string(400, 'a'), alarm);
  EXPECT_EQ(std::strlen(alarm), 254u);

  // An empty table is installed but the file is never written empty.
  EXPECT_FALSE(t.replaceSymbolFilters({}, "", alarm));
  EXPECT_FALSE(t.hasSymbolFilters());
  EXPECT_NE(read(), "");

  SymbolFilterTable again(file());
  EXPECT_TRUE(again.loadSymbolFilters());
  EXPECT_EQ(again.entries().size(), 4u);
  again.releaseSymbolFilters();
  EXPECT_FALSE(again.hasSymbolFilters());
}

TEST_F(SymbolFilterTableTest, LookupsDuringReplacementSeeWholeTables) {
  SymbolFilterTable t(file());
  std::vector<SymbolEntry> a, b;
  for (int i = 0; i < 200; ++i) a.push_back(makeSymbolEntry("A" + std::to_string(i)));
  for (int i = 0; i < 300; ++i) b.push_back(makeSymbolEntry("A" + std::to_string(i)));
  char alarm[255] = {};
  t.replaceSymbolFilters(a, "", alarm);
  std::atomic<bool> stop{false};
  std::atomic<int> misses{0};
  std::thread reader([&] {
    while (!stop) misses += t.findSymbol("A150") == -1;
  });
  for (int i = 0; i < 50; ++i) t.replaceSymbolFilters(i % 2 ? a : b, "", alarm);
  stop = true;
  reader.join();
  EXPECT_EQ(misses, 0);
}

}  // namespace
}  // namespace kestrune
