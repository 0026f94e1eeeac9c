// The eight exported functions: a thin C face over the session.
#include "client/qvs_hft.h"

#include "client/session.h"

using kestrune::Session;

extern "C" {

uint8_t QvS_HFT_SetStatusCallback(StatusCallback callback) {
  return Session::instance().setStatusCallback(callback);
}

uint8_t QvS_HFT_SetParms(const char* host, int32_t port) {
  return Session::instance().setParms(host, port);
}

uint8_t QvS_HFT_SetUser(const char* user, const char* password, uint8_t clientType,
                        const char* appVersion) {
  return Session::instance().setUser(user, password, clientType, appVersion);
}

uint8_t QvS_HFT_SetTimeout(uint16_t pollMs, uint16_t check) {
  return Session::instance().setTimeout(pollMs, check);
}

uint8_t QvS_HFT_Start(void) { return Session::instance().start(); }

uint8_t QvS_HFT_Stop(void) { return Session::instance().stop(); }

uint8_t QvS_HFT_EnableCRC(uint8_t mode) { return Session::instance().enableCrc(mode); }

uint8_t QvS_HFT_Ping(uint8_t waitReply, uint8_t* result) {
  return Session::instance().ping(waitReply, result);
}

}  // extern "C"
