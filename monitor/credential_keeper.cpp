#include "monitor/credential_keeper.h"

#include <QEventLoopLocker>
#include <cstring>
#include <string>

#include "monitor/server_store.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, ::strnlen(field, N));
}

}  // namespace

CredentialKeeper::CredentialKeeper(std::unique_ptr<PasswordVault> vault, QObject* parent)
    : QObject(parent), vault_(std::move(vault)) {}

CredentialKeeper::~CredentialKeeper() {
  if (pendingSave_) writeServerSettings(*pendingSave_);
  // The vault goes with this object: answers still on their way are dropped.
}

void CredentialKeeper::fetchPassword(ServerPrefsValues& fields) {
  if (fetching_) return;
  const std::string user = fieldText(fields.userName);
  if (!vault_ || user.empty() || fields.userPassword[0] != '\0') return;
  fields_ = &fields;
  fetching_ = true;
  vault_->readPassword(user, [this](const PasswordVault::Result& result) { fetched(result); });
}

void CredentialKeeper::fetched(const PasswordVault::Result& result) {
  fetching_ = false;
  if (result.outcome == PasswordVault::Outcome::Done && fields_ != nullptr) {
    // Whatever the keyring holds, it never outgrows the field.
    copyFixedText(fields_->userPassword, sizeof fields_->userPassword, result.password.c_str());
  }
  // The waiting steps run from the event loop, never inside the keyring's answer: one of them
  // may be a dialog with a loop of its own.
  std::vector<std::function<void()>> waiting;
  waiting.swap(afterFetch_);
  if (waiting.empty()) return;
  QMetaObject::invokeMethod(
      this,
      [waiting = std::move(waiting)] {
        for (const auto& next : waiting) next();
      },
      Qt::QueuedConnection);
}

void CredentialKeeper::whenFetched(std::function<void()> next) {
  if (!next) return;
  if (fetching_) {
    afterFetch_.push_back(std::move(next));
  } else {
    next();
  }
}

void CredentialKeeper::save(const ServerPrefsValues& fields) {
  const std::string user = fieldText(fields.userName);
  const std::string password = fieldText(fields.userPassword);
  if (!vault_ || user.empty() || saving() || fetching_) {
    // No keyring to ask, or no name to keep a password under: the store as always. Closed
    // before the keyring answered the start-up's question: the password was not missing, only
    // not there yet, so the keyring keeps its own and the store stays without one.
    writeServerSettings(fields);
    return;
  }
  keepRunning_ = std::make_unique<QEventLoopLocker>();
  if (password.empty()) {
    // Nothing secret to keep. The keyring forgets this user's old password, or it would come
    // back at the next start-up.
    writeServerSettings(fields);
    vault_->deletePassword(user, [this](const PasswordVault::Result&) { keepRunning_.reset(); });
    return;
  }
  // The store is written once the keyring has answered, with the password only where the
  // keyring did not take it: a password already in the store stays there until then.
  pendingSave_ = fields;
  vault_->writePassword(user, password, [this](const PasswordVault::Result& result) {
    ServerPrefsValues toStore = *pendingSave_;
    if (result.outcome == PasswordVault::Outcome::Done) {
      std::memset(toStore.userPassword, 0, sizeof toStore.userPassword);
    }
    saveFinished(toStore);
  });
}

void CredentialKeeper::saveFinished(const ServerPrefsValues& toStore) {
  pendingSave_.reset();
  writeServerSettings(toStore);
  keepRunning_.reset();
}

}  // namespace kestrune
