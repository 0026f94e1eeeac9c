// Socket error numbers as the status line shows them. The texts keep the numbering users and
// support staff know from the server side (10061 refused, 11001 host not found, ...), so the
// POSIX errno and resolver results are mapped onto those numbers first.
#pragma once

#include <string>

namespace kestrune {

inline constexpr int kSockWouldBlock = 10035;
inline constexpr int kSockConnAborted = 10053;
inline constexpr int kSockTimedOut = 10060;

// errno -> socket error number; an unmapped errno stays as it is (shown as "Unknown error").
int socketErrorFromErrno(int err);
// getaddrinfo result (with errno for EAI_SYSTEM) -> socket error number.
int socketErrorFromResolver(int gaiResult, int err);
// The fixed text for a socket error number; "Unknown error = N" for any other.
std::string socketErrorText(int code);
// Only "would block" is worth retrying.
inline bool isRetryableSocketError(int code) { return code == kSockWouldBlock; }

}  // namespace kestrune
