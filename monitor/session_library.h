// The real session client library behind the connection control's SessionLibrary port, and the
// record decoder the status callback uses.
#pragma once

#include <cstddef>

#include "monitor/connection_ports.h"

namespace kestrune {

// Calls the QvS_HFT_ functions of the shared client library.
class QvsHftLibrary : public SessionLibrary {
 public:
  int setStatusCallback(StatusCallbackFn callback) override;
  int setUser(const char* user, const char* password, std::uint8_t clientType,
              const char* appVersion) override;
  int setParms(const char* host, std::int32_t port) override;
  int setTimeout(std::uint16_t pollMs, std::uint16_t check) override;
  int start() override;
  int stop() override;
  int ping(std::uint8_t waitReply) override;
};

// Decodes a type-33 or type-34 body (as the library hands it, NUL-terminated) into its record
// text; false for any other type.
bool decodeRecord(int type, const char* body, char* out, std::size_t outSize);

}  // namespace kestrune
