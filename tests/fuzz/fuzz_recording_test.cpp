// Fuzzing the day-file reader: the same bytes give the same lines however they arrive, and no
// line handed on is longer than a record of ours can be.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "recording/data_files.h"
#include "recording/data_reader.h"
#include "recording/recorded_day.h"
#include "recording/replay.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune {
namespace {

using fuzz::Rng;

struct Split {
  std::vector<std::string> lines;
  std::uint64_t longSkipped = 0;
  bool operator==(const Split&) const = default;
};

// The plain reading: split at line feeds, drop NUL bytes, skip empty lines and lines too long.
Split referenceSplit(const std::string& bytes) {
  Split out;
  std::string line;
  auto end = [&] {
    if (line.size() > kMaxDataLine)
      ++out.longSkipped;
    else if (!line.empty())
      out.lines.push_back(line);
    line.clear();
  };
  for (char c : bytes) {
    if (c == '\n')
      end();
    else if (c != '\0')
      line.push_back(c);
  }
  end();
  return out;
}

// Sink that checks every line it is given against the reader's promises.
DataLineSink checkingSink(Split& into) {
  return [&into](const char* text, std::size_t length) {
    EXPECT_GE(length, 1u);
    EXPECT_LE(length, kMaxDataLine);
    EXPECT_EQ(text[length], '\0');
    EXPECT_EQ(std::strlen(text), length);  // no NUL inside
    EXPECT_EQ(std::memchr(text, '\n', length), nullptr);
    into.lines.emplace_back(text, length);
  };
}

std::string randomDay(Rng& rng) {
  if (rng.chance(3)) return fuzz::randomText(rng, rng.chance(10) ? 6000 : 800);
  // Lines of our own length and around the limit, with the odd damage.
  std::string bytes;
  const int lines = static_cast<int>(rng.below(30));
  for (int l = 0; l < lines; ++l) {
    const std::size_t len = rng.chance(3) ? kMaxDataLine - 2 + rng.below(5) : rng.below(250);
    for (std::size_t k = 0; k < len; ++k)
      bytes.push_back(rng.chance(40) ? '\0' : static_cast<char>('0' + rng.below(10)));
    if (rng.chance(4)) bytes.push_back('\r');
    bytes.push_back('\n');
    if (rng.chance(8)) bytes.push_back('\n');
  }
  std::vector<char> v(bytes.begin(), bytes.end());
  if (rng.chance(2)) fuzz::mutate(rng, v);
  return std::string(v.begin(), v.end());
}

TEST(FuzzDataReader, AnyChunkingGivesTheReferenceLines) {
  Rng rng(0xDA7A0001);
  const int n = fuzz::iterations(1200);
  for (int it = 0; it < n; ++it) {
    const std::string bytes = randomDay(rng);
    const Split want = referenceSplit(bytes);

    Split whole;
    DataLineSplitter one(checkingSink(whole));
    one.feed(bytes.data(), bytes.size());
    one.finish();
    whole.longSkipped = one.stats().longSkipped;
    ASSERT_EQ(whole, want) << "iteration " << it;
    ASSERT_EQ(one.stats().lines, want.lines.size());

    // The same bytes in random pieces, some empty, each an exact-size heap copy.
    Split pieces;
    DataLineSplitter many(checkingSink(pieces));
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t len = std::min(bytes.size() - at, rng.below(rng.chance(4) ? 600 : 9));
      std::vector<char> piece(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + len));
      many.feed(piece.data(), piece.size());
      at += len;
    }
    many.finish();
    pieces.longSkipped = many.stats().longSkipped;
    ASSERT_EQ(pieces, want) << "iteration " << it;
  }
}

TEST(FuzzDataReader, FilesReadLikeTheSplitter) {
  Rng rng(0xDA7A0002);
  char pattern[] = "/tmp/kes_fuzz_day_XXXXXX";
  const int tmp = ::mkstemp(pattern);
  ASSERT_GE(tmp, 0);
  ::close(tmp);
  const int n = fuzz::iterations(80);
  for (int it = 0; it < n; ++it) {
    std::string bytes = randomDay(rng);
    // Now and then a file larger than one read, so lines straddle the reads.
    if (rng.chance(20)) bytes = std::string(70000 + rng.below(1000), 'x') + "\n" + bytes;
    std::FILE* f = std::fopen(pattern, "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    Split got;
    const int fd = openDataFileForReading(pattern);
    ASSERT_GE(fd, 0);
    const DataReadStats stats = readDataFile(fd, checkingSink(got));
    got.longSkipped = stats.longSkipped;
    ASSERT_FALSE(stats.readError);
    ASSERT_EQ(got, referenceSplit(bytes)) << "iteration " << it;
  }
  std::remove(pattern);
}

// Only eight plain digits that name a day of the calendar name a day's files; nothing else can
// reach a file path.
TEST(FuzzDataFiles, DateCheckAcceptsOnlyEightDigitsOfACalendarDay) {
  Rng rng(0xDA7A0003);
  const int n = fuzz::iterations(50000);
  int valid = 0;
  for (int it = 0; it < n; ++it) {
    std::string date = fuzz::randomText(rng, 12);
    if (rng.chance(2)) {
      date = std::to_string(rng.range(0, 99999999));
      date.insert(0, 8 - std::min<std::size_t>(8, date.size()), '0');
      std::vector<char> v(date.begin(), date.end());
      if (rng.chance(2)) fuzz::mutate(rng, v, 12);
      date.assign(v.begin(), v.end());
    }
    bool digits = date.size() == 8;
    for (char c : date) digits = digits && c >= '0' && c <= '9';
    if (!digits) {
      ASSERT_FALSE(isValidDataDate(date)) << "'" << date << "'";
      continue;
    }
    const int month = std::stoi(date.substr(0, 2));
    const int day = std::stoi(date.substr(2, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) {
      ASSERT_FALSE(isValidDataDate(date)) << "'" << date << "'";
      continue;
    }
    if (!isValidDataDate(date)) continue;  // the 29th to the 31st of a shorter month
    ++valid;
    const std::string path = dataFilePath("base", date, static_cast<int>(rng.below(6)));
    ASSERT_EQ(path.rfind("base/Data/" + date + "_hft", 0), 0u) << path;
    ASSERT_EQ(path.find(".."), std::string::npos);
  }
  EXPECT_GT(valid, n / 200);
}

// A host that checks what replay hands it.
class CheckingHost : public ReplayHost {
 public:
  void showStatus(const std::string& text) override { statuses.push_back(text); }
  void resetMonitorData() override { ++resets; }
  void showDate(const std::string& text) override { date = text; }
  void replayLine(int file, const char* text) override {
    EXPECT_GE(file, 1);
    EXPECT_LE(file, 6);
    const std::size_t len = std::strlen(text);
    EXPECT_GE(len, 1u);
    EXPECT_LE(len, kMaxDataLine);
    EXPECT_EQ(std::strchr(text, '\n'), nullptr);
    lines.emplace_back(text);
  }
  void resetSeriesStore() override {}
  int dataPoints() const override { return points; }
  void setChartWindow(int start, int end, int latest) override {
    EXPECT_GE(start, 0);
    EXPECT_LE(start, end);
    EXPECT_EQ(latest, kReplayLatestSecond);
  }
  void drawChart(int file) override {
    EXPECT_GE(file, 4);
    EXPECT_LE(file, 6);
  }
  int points = 300;
  int resets = 0;
  std::string date;
  std::vector<std::string> statuses;
  std::vector<std::string> lines;
};

// A whole day of damaged files, asked for by good and bad dates: a bad date touches nothing,
// a good one delivers exactly the lines the reader finds, every status line free of control
// characters.
TEST(FuzzReplay, DamagedDaysAndTypedDates) {
  Rng rng(0xDA7A0004);
  char pattern[] = "/tmp/kes_fuzz_replay_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string base = pattern;
  ::mkdir((base + "/Data").c_str(), 0755);
  const int n = fuzz::iterations(60);
  for (int it = 0; it < n; ++it) {
    const std::string day = "1207202" + std::to_string(rng.below(10));
    std::size_t want = 0;
    std::vector<std::string> paths;
    std::vector<std::string> fileLines[6];
    for (int file = 0; file < 6; ++file) {
      const std::string path = dataFilePath(base, day, file);
      paths.push_back(path);
      if (file > 0 && rng.chance(6)) continue;  // a missing later file is no failure
      const std::string bytes = randomDay(rng);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      fileLines[file] = referenceSplit(bytes).lines;
      want += fileLines[file].size();
    }
    // The same day as one stream to serve: every line once without its line end, the seconds
    // never going back, and each file's own order kept whatever its lines' times say.
    RecordedDay stream;
    ASSERT_TRUE(stream.load(base + "/Data", day));
    std::vector<std::string> served[6];
    for (std::size_t i = 0; i < stream.size(); ++i) {
      const DayRecord record = stream.record(i);
      if (i > 0) {
        ASSERT_GE(record.second, stream.record(i - 1).second);
      }
      served[record.file].emplace_back(record.text);
    }
    for (int file = 0; file < 6; ++file) {
      for (std::string& line : fileLines[file])
        if (line.back() == '\r') line.pop_back();
      ASSERT_EQ(served[file], fileLines[file]) << "iteration " << it << " file " << file;
    }
    std::string typed = day;
    if (rng.chance(3)) {
      std::vector<char> v(typed.begin(), typed.end());
      fuzz::mutate(rng, v, 300);
      typed.assign(v.begin(), v.end());
      if (rng.chance(3)) typed = "../" + typed;
    }
    CheckingHost host;
    host.points = static_cast<int>(rng.range(1, 86400));
    const ReplayReport report = replayDay(host, typed, base);
    for (const std::string& status : host.statuses)
      for (char c : status) ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f);
    if (!isValidDataDate(typed)) {
      ASSERT_EQ(report.outcome, ReplayOutcome::InvalidDate);
      ASSERT_EQ(host.resets, 0);
      ASSERT_TRUE(host.lines.empty());
    } else if (typed == day) {
      ASSERT_EQ(report.outcome, ReplayOutcome::Viewing);
      ASSERT_EQ(host.lines.size(), want) << "iteration " << it;
      ASSERT_EQ(report.lines, want);
      ASSERT_EQ(host.date, day.substr(0, 2) + "/" + day.substr(2, 2) + "/" + day.substr(4));
    }
    for (const std::string& path : paths) std::remove(path.c_str());
  }
  ::rmdir((base + "/Data").c_str());
  ::rmdir(base.c_str());
}

}  // namespace
}  // namespace kestrune
