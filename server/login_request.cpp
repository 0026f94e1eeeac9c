#include "server/login_request.h"

#include <vector>

namespace kestrune::server {

LoginRequest parseLoginRequest(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = text.find(' ', i);
    if (j == std::string_view::npos) j = text.size();
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j + 1;
  }
  LoginRequest login;
  login.user = words.empty() ? std::string("-") : std::string(words[0]);
  if (words.size() >= 2) {
    login.password = std::string(words[1]);
    login.complete = true;
  }
  return login;
}

bool sameSecret(std::string_view given, std::string_view expected) {
  // Every byte of the expected secret is looked at whatever the given one holds.
  unsigned diff = given.size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0u;
    diff |= g ^ static_cast<unsigned char>(expected[i]);
  }
  return diff == 0;
}

}  // namespace kestrune::server
