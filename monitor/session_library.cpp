#include "monitor/session_library.h"

#include "client/qvs_hft.h"
#include "client/wire.h"

namespace kestrune {

int QvsHftLibrary::setStatusCallback(StatusCallbackFn callback) {
  return QvS_HFT_SetStatusCallback(reinterpret_cast<StatusCallback>(callback));
}

int QvsHftLibrary::setUser(const char* user, const char* password, std::uint8_t clientType,
                           const char* appVersion) {
  return QvS_HFT_SetUser(user, password, clientType, appVersion);
}

int QvsHftLibrary::setParms(const char* host, std::int32_t port) {
  return QvS_HFT_SetParms(host, port);
}

int QvsHftLibrary::setTimeout(std::uint16_t pollMs, std::uint16_t check) {
  return QvS_HFT_SetTimeout(pollMs, check);
}

int QvsHftLibrary::start() { return QvS_HFT_Start(); }

int QvsHftLibrary::stop() { return QvS_HFT_Stop(); }

int QvsHftLibrary::ping(std::uint8_t waitReply) {
  std::uint8_t result = 0;
  return QvS_HFT_Ping(waitReply, &result);
}

bool decodeRecord(int type, const char* body, char* out, std::size_t outSize) {
  if (type != MSG_ALERT_RECORD && type != MSG_CHART_SAMPLE) return false;
  if (!out || outSize == 0) return false;
  decodeRecordBody(static_cast<std::uint16_t>(type), body ? body : "", kMaxBodyLength, out,
                   outSize);
  return true;
}

}  // namespace kestrune
