#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <cstring>

#include "monitor/server_store.h"
#include "settings/monitor_settings.h"
#include "tests/app/app_test_support.h"

namespace kestrune {
namespace {

QSettings rawStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, kStoreOrganization,
                   kStoreApplication);
}

ServerPrefsValues sample() {
  ServerPrefsValues v;
  v.serverPort = 9001;
  copyFixedText(v.serverAddress, sizeof v.serverAddress, "10.0.0.7");
  copyFixedText(v.userName, sizeof v.userName, "trader");
  copyFixedText(v.userPassword, sizeof v.userPassword, "pw");
  return v;
}

TEST(ServerStore, WritesTheByteFormsAndReadsThemBack) {
  testing::ScratchProfile profile;
  ASSERT_TRUE(writeServerSettings(sample()));
  {
    const QSettings store = rawStore();
    EXPECT_EQ(store.value("T1").toByteArray(), QByteArray("trader", 7));  // NUL included
    EXPECT_EQ(store.value("T2").toByteArray(), QByteArray("pw", 3));
    EXPECT_EQ(store.value("T3").toByteArray(), QByteArray("10.0.0.7", 9));
    EXPECT_EQ(store.value("T4").toByteArray(), QByteArray("\x29\x23\x00\x00", 4));
  }
  ServerPrefsValues back;
  readServerSettings(back);
  EXPECT_EQ(back.serverPort, 9001);
  EXPECT_STREQ(back.serverAddress, "10.0.0.7");
  EXPECT_STREQ(back.userName, "trader");
  EXPECT_STREQ(back.userPassword, "pw");
}

TEST(ServerStore, PreparedValuesAreCutToTheirFields) {
  const std::string longHost(100, 'h');
  const std::string longUser(300, 'u');
  const ServerPrefsValues v = makeServerSettings(longHost.c_str(), 7405, longUser.c_str(), "pw");
  EXPECT_EQ(v.serverPort, 7405);
  EXPECT_EQ(std::string(v.serverAddress), longHost.substr(0, sizeof v.serverAddress - 1));
  EXPECT_EQ(std::string(v.userName), longUser.substr(0, sizeof v.userName - 1));
  EXPECT_STREQ(v.userPassword, "pw");
}

TEST(ServerStore, StoreFileIsOwnerOnly) {
  testing::ScratchProfile profile;
  const mode_t old = ::umask(022);
  const bool ok = writeServerSettings(sample());
  ::umask(old);
  ASSERT_TRUE(ok);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(serverStoreFileName()).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ServerStore, WronglyTypedOrMissingValuesReadEmpty) {
  testing::ScratchProfile profile;
  ASSERT_TRUE(writeServerSettings(sample()));
  {
    QSettings store = rawStore();
    store.setValue("T4", QString("9001"));  // a text, not a byte array
    store.setValue("T1", 42);
    store.remove("T2");
    store.sync();
  }
  ServerPrefsValues v = sample();
  readServerSettings(v);
  EXPECT_EQ(v.serverPort, 0);
  EXPECT_STREQ(v.userName, "");
  EXPECT_STREQ(v.userPassword, "");
  EXPECT_STREQ(v.serverAddress, "10.0.0.7");  // each value stands on its own
}

TEST(ServerStore, NoStoreAtAllGivesEmptyFields) {
  testing::ScratchProfile profile;
  ServerPrefsValues v = sample();
  readServerSettings(v);
  EXPECT_EQ(v.serverPort, 0);
  EXPECT_STREQ(v.serverAddress, "");
  EXPECT_STREQ(v.userName, "");
}

TEST(ServerStore, ReadLimitsAreKept) {
  char address[64];
  // Longer than the read limit: refused.
  textFromValue(QByteArray(65, 'a'), address, sizeof address, 64);
  EXPECT_STREQ(address, "");
  // At the limit without a NUL: cut so the field stays terminated.
  textFromValue(QByteArray(64, 'b'), address, sizeof address, 64);
  EXPECT_EQ(std::strlen(address), 63u);
  textFromValue(QByteArray("host\0junk", 9), address, sizeof address, 64);
  EXPECT_STREQ(address, "host");

  EXPECT_EQ(portFromValue(QByteArray("\x01\x02", 2)), 0x0201);
  EXPECT_EQ(portFromValue(QByteArray(5, '\x01')), 0);
  EXPECT_EQ(portFromValue(portValueBytes(-2)), -2);
  EXPECT_EQ(textValueBytes("abc", 4), QByteArray("abc", 4));
  char full[3] = {'x', 'y', 'z'};  // no NUL: never read past the field
  EXPECT_EQ(textValueBytes(full, sizeof full), QByteArray("xy", 3));
}

}  // namespace
}  // namespace kestrune
