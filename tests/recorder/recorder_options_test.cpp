// The recorder's command line and login values; the program itself is run against the simulator
// in tests/e2e.
#include "recorder/recorder_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "recorder/headless_host.h"
#include "tests/support/core_application.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

using A = RecorderOptions::Action;

TEST(RecorderOptions, OptionsAndMistakes) {
  RecorderOptions o = parseRecorderOptions({"--host", "feed.local", "--port=7405", "--user", "ann",
                                            "--password-file", "/p", "--user-workdir"});
  EXPECT_EQ(o.action, A::Run) << o.error;
  EXPECT_EQ(o.host, "feed.local");
  EXPECT_EQ(o.port, 7405);
  EXPECT_EQ(o.user, "ann");
  EXPECT_EQ(o.passwordFile, "/p");
  EXPECT_TRUE(o.workDir.user);
  EXPECT_EQ(parseRecorderOptions({}).action, A::Run);
  EXPECT_FALSE(parseRecorderOptions({}).host.has_value());
  EXPECT_EQ(parseRecorderOptions({"--version", "--help"}).action, A::Help);
  // The relay listens on loopback unless told otherwise, and only on an address, never a name.
  const RecorderOptions relay = parseRecorderOptions({"--relay", "7406"});
  EXPECT_EQ(relay.relayAddress, "127.0.0.1");
  EXPECT_EQ(relay.relayPort, 7406);
  EXPECT_EQ(parseRecorderOptions({"--relay=0.0.0.0:7406"}).relayAddress, "0.0.0.0");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--port", "0"},
                                             {"--port", "65536"},
                                             {"--port", "80x"},
                                             {"--port"},
                                             {"--relay", "desk.local:7406"},
                                             {"--relay", "127.0.0.1:"},
                                             {"--relay", "70000"},
                                             {"--host="},
                                             {"--user"},
                                             {"--help=yes"},
                                             {"--workdir"},
                                             {"--verbose"},
                                             {"host"}}) {
    const RecorderOptions r = parseRecorderOptions(bad);
    EXPECT_EQ(r.action, A::Fail) << bad[0];
    std::ostringstream out, err;
    EXPECT_EQ(answerRecorderOptions(r, out, err), 2) << bad[0];
    EXPECT_NE(err.str().find(r.error), std::string::npos);
  }
  std::ostringstream out, err;
  EXPECT_EQ(answerRecorderOptions(parseRecorderOptions({"--version"}), out, err), 0);
  EXPECT_EQ(out.str(), "kestrune-recorder " KES_VERSION "\n");
}

TEST(RecorderOptions, GivenValuesReplaceTheStoredOnesOneByOne) {
  test::TempDir dir;
  ServerPrefsValues stored;
  std::strcpy(stored.serverAddress, "10.1.1.1");
  stored.serverPort = 7405;
  std::strcpy(stored.userName, "stored");
  std::strcpy(stored.userPassword, "secret");

  ServerPrefsValues login;
  std::string error;
  ASSERT_TRUE(loginValues(parseRecorderOptions({}), stored, login, error)) << error;
  EXPECT_STREQ(login.userPassword, "secret");

  // The password file's first line, without its line end (CR LF too).
  test::writeAll(dir.file("pw"), "hunter2\r\nsecond line\n");
  ASSERT_TRUE(
      loginValues(parseRecorderOptions({"--user", "ann", "--password-file", dir.file("pw")}),
                  stored, login, error))
      << error;
  EXPECT_STREQ(login.userName, "ann");
  EXPECT_STREQ(login.userPassword, "hunter2");
  EXPECT_STREQ(login.serverAddress, "10.1.1.1");
  EXPECT_EQ(login.serverPort, 7405);

  // Too long is said, never cut: a cut password or host would log in somewhere else or fail
  // without saying why.
  EXPECT_FALSE(
      loginValues(parseRecorderOptions({"--host", std::string(64, 'h')}), stored, login, error));
  EXPECT_NE(error.find("--host"), std::string::npos);
  test::writeAll(dir.file("long"), std::string(255, 'p'));
  EXPECT_FALSE(loginValues(parseRecorderOptions({"--password-file", dir.file("long")}), stored,
                           login, error));
  EXPECT_FALSE(loginValues(parseRecorderOptions({"--password-file", dir.file("missing")}), stored,
                           login, error));
  EXPECT_NE(error.find("missing"), std::string::npos);

  // Nothing stored and nothing given: no server to ask.
  EXPECT_FALSE(loginValues(parseRecorderOptions({"--host", "127.0.0.1"}), ServerPrefsValues{},
                           login, error));
  EXPECT_TRUE(loginValues(parseRecorderOptions({"--host", "127.0.0.1", "--port", "9"}),
                          ServerPrefsValues{}, login, error));
}

// Only a small regular file is read: a FIFO would wait for a writer for ever and a device may
// never end. Each is refused at once, and a file others can read is read but warned about.
TEST(RecorderOptions, PasswordFileIsASmallRegularFile) {
  test::TempDir dir;
  std::string password, error, warning;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.file("fifo"), std::string("/dev/zero"), dir.path()}) {
    EXPECT_FALSE(readPasswordFile(path, password, error, &warning)) << path;
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  }
  test::writeAll(dir.file("big"), "pw\n" + std::string(kPasswordFileMax, '#'));
  EXPECT_FALSE(readPasswordFile(dir.file("big"), password, error, &warning));
  EXPECT_NE(error.find("larger than 256 bytes"), std::string::npos) << error;

  test::writeAll(dir.file("pw"), "hunter2\n");
  ASSERT_EQ(::chmod(dir.file("pw").c_str(), 0600), 0);
  warning.clear();
  ASSERT_TRUE(readPasswordFile(dir.file("pw"), password, error, &warning)) << error;
  EXPECT_EQ(password, "hunter2");
  EXPECT_TRUE(warning.empty()) << warning;
  ASSERT_EQ(::chmod(dir.file("pw").c_str(), 0640), 0);
  ASSERT_TRUE(readPasswordFile(dir.file("pw"), password, error, &warning)) << error;
  EXPECT_NE(warning.find("can be read by others"), std::string::npos);
}

TEST(RecorderOptions, EveryStatusIsOneJournalLine) {
  const std::string line = journalLine(0, "Market note\nforged line\x1b[2J\x7f");
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.substr(20), "Market note?forged line?[2J?");
  EXPECT_EQ(line[4], '-');
  EXPECT_EQ(line[13], ':');
}

// A server repeating itself, or flooding faster than the journal is written, costs a line now and
// then, not a line a text: the repeats and the skipped texts are counted into "... and N more",
// printed before the next different line and, while the flood lasts, every fold period.
TEST(RecorderOptions, RepeatedAndSkippedStatusLinesFoldIntoOne) {
  test::ensureCoreApplication();
  std::ostringstream out;
  HeadlessHost host(out);
  for (int i = 0; i < 5; ++i) host.showStatus("Kestrune server note");
  host.showLatestStatus("Kestrune server note", 1000);
  host.showStatus("Attempting Reconnection...");
  host.showLatestStatus("Ping: Timeout", 1233);
  host.setFoldPeriod(10);
  host.showStatus("Ping: Timeout");
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 200 && out.str().find("and 1 more") == std::string::npos)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  host.say("Stopping: Terminated");

  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(20));
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Kestrune server note", "... and 1,005 more",
                                      "Attempting Reconnection...", "... and 1,233 more",
                                      "Ping: Timeout", "... and 1 more", "Stopping: Terminated"}));
}

}  // namespace
}  // namespace kestrune
