// Where the server password is kept between runs. When a keyring answers, the password lives
// there (PasswordVault) and the per-user store keeps the address, port and user name with an
// empty password (T2 then holds one NUL byte, as for a user without a password). Where none
// answers, the store keeps the password as it always has. A password found in the store wins
// over the keyring's (it was saved where no keyring answered, or not yet moved) and moves to the
// keyring at the next save.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "monitor/password_vault.h"
#include "monitor/server_prefs.h"

class QEventLoopLocker;

namespace kestrune {

class CredentialKeeper : public QObject {
  Q_OBJECT

 public:
  // Without a vault everything stays in the store.
  explicit CredentialKeeper(std::unique_ptr<PasswordVault> vault, QObject* parent = nullptr);
  // A save still waiting for the keyring writes the store with the password: it is never lost.
  ~CredentialKeeper() override;

  // Start-up, once the store has been read into fields: a user name without a stored password
  // asks the keyring, whose answer fills in the password. fields must outlive this object.
  void fetchPassword(ServerPrefsValues& fields);
  bool fetching() const { return fetching_; }
  // Runs next at once when no fetch is under way, else as soon as it ends (answer or time
  // limit). What reads or edits the password (Connect, Server Prefs) goes through here, so it
  // never sees the password missing only because the keyring has not answered yet.
  void whenFetched(std::function<void()> next);

  // Exit: keeps fields (see above). The keyring's part runs on the event loop, which is kept
  // running (after the last window has closed) until it ends.
  void save(const ServerPrefsValues& fields);
  bool saving() const { return keepRunning_ != nullptr; }

 private:
  void fetched(const PasswordVault::Result& result);
  void saveFinished(const ServerPrefsValues& toStore);

  std::unique_ptr<PasswordVault> vault_;
  ServerPrefsValues* fields_ = nullptr;
  bool fetching_ = false;
  std::vector<std::function<void()>> afterFetch_;
  std::optional<ServerPrefsValues> pendingSave_;   // what the store gets if the keyring fails
  std::unique_ptr<QEventLoopLocker> keepRunning_;  // while a save waits for the keyring
};

}  // namespace kestrune
