#include "monitor/password_vault.h"

#include <qt6keychain/keychain.h>

#include <QTimer>
#include <cstdlib>
#include <string_view>

namespace kestrune {
namespace {

PasswordVault::Outcome outcomeOf(const QKeychain::Job& job) {
  switch (job.error()) {
    case QKeychain::NoError:
      return PasswordVault::Outcome::Done;
    case QKeychain::EntryNotFound:
      return PasswordVault::Outcome::NotFound;
    default:
      // No backend, access denied, a bus error: for the caller all of it means "keep the
      // password in the store".
      return PasswordVault::Outcome::NoKeyring;
  }
}

// Starts job and hands its result to done once: when it finishes or when the time limit
// passes, whichever comes first. The job deletes itself when it finishes, never earlier: the
// keyring's answer may still arrive for it after the time limit.
void runJob(QKeychain::Job* job, int timeLimitMs, const std::weak_ptr<bool>& alive,
            PasswordVault::Callback done, bool readsPassword) {
  struct Pending {
    PasswordVault::Callback done;
    bool settled = false;
  };
  auto pending = std::make_shared<Pending>();
  pending->done = std::move(done);
  auto settle = [pending, alive](const PasswordVault::Result& result) {
    if (pending->settled) return;
    pending->settled = true;
    PasswordVault::Callback callback = std::move(pending->done);
    if (!alive.expired() && callback) callback(result);
  };
  job->setAutoDelete(true);
  QObject::connect(job, &QKeychain::Job::finished, job, [settle, readsPassword](QKeychain::Job* j) {
    PasswordVault::Result result;
    result.outcome = outcomeOf(*j);
    if (readsPassword && result.outcome == PasswordVault::Outcome::Done) {
      auto* read = static_cast<QKeychain::ReadPasswordJob*>(j);
      result.password = read->textData().toLatin1().toStdString();
    }
    settle(result);
  });
  // Tied to the job: a job that answered in time takes its timer along when it is deleted.
  QTimer::singleShot(timeLimitMs, job, [settle] { settle(PasswordVault::Result{}); });
  job->start();
}

}  // namespace

KeychainVault::KeychainVault(int timeLimitMs)
    : timeLimitMs_(timeLimitMs), alive_(std::make_shared<bool>(true)) {}

KeychainVault::~KeychainVault() = default;

void KeychainVault::readPassword(const std::string& user, Callback done) {
  auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kKeyringService));
  job->setKey(QString::fromLatin1(user));
  runJob(job, timeLimitMs_, alive_, std::move(done), true);
}

void KeychainVault::writePassword(const std::string& user, const std::string& password,
                                  Callback done) {
  auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kKeyringService));
  job->setKey(QString::fromLatin1(user));
  // Text, not bytes: the passwords are single-byte texts, and other keyring tools show text.
  job->setTextData(QString::fromLatin1(password));
  runJob(job, timeLimitMs_, alive_, std::move(done), false);
}

void KeychainVault::deletePassword(const std::string& user, Callback done) {
  auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(kKeyringService));
  job->setKey(QString::fromLatin1(user));
  runJob(job, timeLimitMs_, alive_, std::move(done), false);
}

std::unique_ptr<PasswordVault> systemVault() {
  const char* wanted = std::getenv("KESTRUNE_KEYRING");
  if (wanted != nullptr && std::string_view(wanted) == "off") return nullptr;
  return std::make_unique<KeychainVault>();
}

}  // namespace kestrune
