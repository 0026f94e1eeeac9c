// Where the server password lives: in the desktop's keyring when one answers, in the owner-only
// store otherwise. The keyring cases run on a session bus of their own with an unlocked keyring
// (with_session_keyring.sh); the others with no session bus at all, or with a keyring service
// that never answers.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "monitor/credential_keeper.h"
#include "monitor/password_vault.h"
#include "monitor/server_store.h"
#include "tests/support/feedsim_process.h"
#include "tests/support/qt_application.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::waitFor;

// A profile of the test's own: the per-user store and the working directory.
class Profile {
 public:
  Profile() {
    test::ensureApplication();
    ::setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    fs::create_directories(dir_.file("work"));
    before_ = fs::current_path();
    fs::current_path(dir_.file("work"));
  }
  ~Profile() { fs::current_path(before_); }
  std::string storeText() const { return test::readAll(serverStoreFileName().toStdString()); }

 private:
  test::TempDir dir_;
  fs::path before_;
};

void saveAndWait(CredentialKeeper& keeper, const ServerPrefsValues& fields) {
  keeper.save(fields);
  ASSERT_TRUE(waitFor([&] { return !keeper.saving(); }, 10000));
}

// Without a keyring (the ctest environment points the session bus nowhere) everything stays in
// the store as it always has, and nothing waits for long.
TEST(NoKeyring, TheStoreKeepsThePasswordAndReadingItIsLeftAlone) {
  Profile profile;
  CredentialKeeper keeper(std::make_unique<KeychainVault>());
  saveAndWait(keeper, makeServerSettings("127.0.0.1", 7405, "demo", "pw-in-store"));
  ServerPrefsValues back;
  readServerSettings(back);
  EXPECT_STREQ(back.userPassword, "pw-in-store");
  EXPECT_STREQ(back.userName, "demo");
  // A stored password is used as it is: the keyring is not even asked.
  keeper.fetchPassword(back);
  EXPECT_FALSE(keeper.fetching());
}

// A keyring that has not answered yet: it only notes what it was asked.
struct HeldVault : PasswordVault {
  explicit HeldVault(std::vector<std::string>& a) : asked(a) {}
  void readPassword(const std::string& u, Callback) override { asked.push_back("read " + u); }
  void writePassword(const std::string& u, const std::string& pw, Callback) override {
    asked.push_back("write " + u + " " + pw);
  }
  void deletePassword(const std::string& u, Callback) override { asked.push_back("delete " + u); }
  std::vector<std::string>& asked;
};

TEST(Keeper, ThePasswordIsNeverLostWhileTheKeyringHasNotAnswered) {
  Profile profile;
  std::vector<std::string> asked;
  ServerPrefsValues fields = makeServerSettings("127.0.0.1", 7405, "demo", "");
  {
    // Closed before the start-up's question was answered: the empty password is not the user's
    // choice, so the keyring is not told to forget its own.
    CredentialKeeper keeper(std::make_unique<HeldVault>(asked));
    keeper.fetchPassword(fields);
    keeper.save(fields);
    EXPECT_FALSE(keeper.saving());
    EXPECT_EQ(asked, std::vector<std::string>{"read demo"});
  }
  // A password already in the store stays there until the keyring has taken it; a program ended
  // before that keeps it in the store.
  asked.clear();
  ASSERT_TRUE(writeServerSettings(makeServerSettings("127.0.0.1", 7405, "demo", "old-pw")));
  {
    CredentialKeeper keeper(std::make_unique<HeldVault>(asked));
    keeper.save(makeServerSettings("127.0.0.1", 7405, "demo", "new-pw"));
    EXPECT_EQ(asked, std::vector<std::string>{"write demo new-pw"});
    EXPECT_NE(profile.storeText().find("old-pw"), std::string::npos);
  }
  ServerPrefsValues back;
  readServerSettings(back);
  EXPECT_STREQ(back.userPassword, "new-pw");
}

// A keyring service that takes every call and never answers (a locked keyring waiting for its
// prompt looks like this): a job ends at the time limit as "no keyring", and Connect's wait with
// it.
class Unanswering : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

TEST(SilentKeyring, JobsEndAtTheTimeLimitAndThePasswordStaysInTheStore) {
  Profile profile;
  const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
  QProcess bus;
  bus.start(daemon, {"--session", "--nofork", "--print-address=1"});
  ASSERT_TRUE(bus.waitForStarted(5000));
  ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); }, 5000));
  const QString address = QString::fromLatin1(bus.readLine()).trimmed();
  // The keyring's client finds the session bus through the environment, on first use.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1().constData(), 1);
  Unanswering silent;
  {
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("secrets"));
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &silent,
                                              QDBusConnection::SubPath));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.secrets")));

    constexpr int kLimitMs = 300;
    ServerPrefsValues fields = makeServerSettings("127.0.0.1", 7405, "demo", "");
    CredentialKeeper keeper(std::make_unique<KeychainVault>(kLimitMs));
    keeper.fetchPassword(fields);
    ASSERT_TRUE(keeper.fetching());
    bool connected = false;
    keeper.whenFetched([&] { connected = true; });
    EXPECT_FALSE(connected);                                 // Connect waits for the answer...
    EXPECT_TRUE(waitFor([&] { return connected; }, 10000));  // ...which the time limit gives
    EXPECT_STREQ(fields.userPassword, "");
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("secrets"));
  bus.terminate();
  bus.waitForFinished(5000);
}

// The cases below need the keyring that with_session_keyring.sh unlocks; there, a keyring that
// does not answer is a failure, not a skip.
class InKeyring : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("KES_SESSION_KEYRING") == nullptr) {
      GTEST_SKIP() << "needs the session keyring of tests/monitor/with_session_keyring.sh";
    }
    test::ensureApplication();
  }
  // What the desktop's own keyring tool finds under the monitor's service and user name.
  static std::optional<std::string> lookedUp(const char* user) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    if (tool.isEmpty()) return std::nullopt;
    QProcess p;
    p.start(tool, {"lookup", "server", kKeyringService, "user", user});
    p.waitForFinished(10000);
    return p.readAllStandardOutput().toStdString();
  }
};

// A password in the store moves to the keyring when the monitor closes; the monitor started
// again logs in with it (Connect pressed before the keyring has answered), and so does the
// recorder. Emptying the password makes the keyring forget it.
TEST_F(InKeyring, TheStoresPasswordMovesToTheKeyringAndBothProgramsLogInWithIt) {
  Profile profile;
  const char* kPassword = "kr-pass1";
  FeedsimProcess sim({"--password", kPassword, "--date", "12062026", "--start", "09:30:00"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  ASSERT_TRUE(writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", kPassword)));

  auto closeAndWaitForSave = [](CQuillfernViewerApp& app) {
    auto* keeper = app.view()->findChild<CredentialKeeper*>();
    ASSERT_NE(keeper, nullptr);
    app.frame()->close();
    ASSERT_TRUE(waitFor([&] { return !keeper->saving(); }, 10000));
  };
  {
    CQuillfernViewerApp app;
    ASSERT_TRUE(app.initInstance());
    closeAndWaitForSave(app);
  }
  // The store keeps the rest: the second run below finds the server and the user there.
  EXPECT_EQ(profile.storeText().find(kPassword), std::string::npos) << profile.storeText();
  if (auto found = lookedUp("demo")) {
    EXPECT_EQ(*found, kPassword);
  }

  {
    CQuillfernViewerApp app;
    ASSERT_TRUE(app.initInstance());
    CQuillfernViewerView* view = app.view();
    auto* date = qobject_cast<QLineEdit*>(view->control(IDC_DATE));
    auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
    ASSERT_TRUE(date && connect);
    connect->click();
    ASSERT_TRUE(waitFor([&] { return date->text() == "12/06/2026"; }, 15000)) << view->statusText();
    EXPECT_STREQ(view->serverFields().userPassword, kPassword);
    closeAndWaitForSave(app);
  }
  EXPECT_EQ(profile.storeText().find(kPassword), std::string::npos);

  {
    ChildProcess recorder("kestrune-recorder", {"--workdir", fs::current_path().string()}, "",
                          true);
    EXPECT_FALSE(recorder.waitForText("Date: 12/06/2026", 15000).empty()) << recorder.error();
  }

  CredentialKeeper keeper(std::make_unique<KeychainVault>());
  ServerPrefsValues emptied = makeServerSettings("127.0.0.1", sim.port(), "demo", "");
  saveAndWait(keeper, emptied);
  keeper.fetchPassword(emptied);
  ASSERT_TRUE(waitFor([&] { return !keeper.fetching(); }, 10000));
  EXPECT_STREQ(emptied.userPassword, "");
}

}  // namespace
}  // namespace kestrune
