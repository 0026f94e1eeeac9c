// The client's answer to the server's login request: "user password clientType appVersion".
#pragma once

#include <string>
#include <string_view>

namespace kestrune::server {

struct LoginRequest {
  std::string user;  // "-" when the text holds no word at all
  std::string password;
  bool complete = false;  // at least a user and a password
};

LoginRequest parseLoginRequest(std::string_view text);

// Compares two secrets in a time that depends only on their lengths, not on where they differ.
bool sameSecret(std::string_view given, std::string_view expected);

}  // namespace kestrune::server
