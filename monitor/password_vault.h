// Where the server password lives when the desktop has a keyring: a small interface the
// credential keeper talks to, and its implementation over QtKeychain (service "Kestrune", the
// user name as key). UI-free; Qt Core's event loop carries the answers.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace kestrune {

// How long a keyring job may take before it counts as "no keyring": long enough for a keyring
// that answers at all, short enough that Connect and the end of the program barely notice one
// that does not (a locked keyring waiting for its prompt, a service that hangs).
inline constexpr int kKeyringTimeLimitMs = 3000;
inline constexpr const char* kKeyringService = "Kestrune";

class PasswordVault {
 public:
  enum class Outcome {
    Done,       // read, written or deleted
    NotFound,   // the keyring answered and holds nothing under that user name
    NoKeyring,  // none answered in time, it refused, or there is no session bus at all
  };
  struct Result {
    Outcome outcome = Outcome::NoKeyring;
    std::string password;  // a read's answer
  };
  using Callback = std::function<void(const Result&)>;

  virtual ~PasswordVault() = default;

  // Each job is asynchronous and ends exactly once, through done, on the calling thread (whose
  // event loop must run); a keyring that refuses at once may answer before the call returns.
  // Nothing is reported once the vault is gone.
  virtual void readPassword(const std::string& user, Callback done) = 0;
  virtual void writePassword(const std::string& user, const std::string& password,
                             Callback done) = 0;
  virtual void deletePassword(const std::string& user, Callback done) = 0;
};

// The desktop's keyring through QtKeychain. Jobs start on the calling thread's event loop and
// are never waited for; one that has not answered within timeLimitMs ends as NoKeyring (its
// late answer is dropped).
class KeychainVault : public PasswordVault {
 public:
  explicit KeychainVault(int timeLimitMs = kKeyringTimeLimitMs);
  ~KeychainVault() override;
  KeychainVault(const KeychainVault&) = delete;
  KeychainVault& operator=(const KeychainVault&) = delete;

  void readPassword(const std::string& user, Callback done) override;
  void writePassword(const std::string& user, const std::string& password, Callback done) override;
  void deletePassword(const std::string& user, Callback done) override;

 private:
  int timeLimitMs_;
  std::shared_ptr<bool> alive_;  // answers check it: none reaches a vault that is gone
};

// The keyring the programs use: the desktop's, unless KESTRUNE_KEYRING=off in the environment
// (the demo, whose profile must leave the user's own keyring alone), which gives none: the
// store then keeps the password as where no keyring answers.
std::unique_ptr<PasswordVault> systemVault();

}  // namespace kestrune
