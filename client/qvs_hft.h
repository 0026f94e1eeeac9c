/* The session client library: one connection to the server per process, a receive thread of
 * its own, and every report through one status callback as (type, kind, text).
 * Plain C interface; every function returns one of the QVS_HFT_* codes below. */
#ifndef KESTRUNE_CLIENT_QVS_HFT_H
#define KESTRUNE_CLIENT_QVS_HFT_H

#include <stdint.h>

#if defined(QVS_HFT_BUILDING)
#define QVS_HFT_API __attribute__((visibility("default")))
#else
#define QVS_HFT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called for every packet (type and kind from its header, text = the body as received,
 * NUL-terminated, empty for a header-only packet) and for the library's own reports (kind 0).
 * Runs on the receive thread for packets and link losses, on the caller's thread for the
 * reports of Start, Stop, Ping and EnableCRC. The result is ignored. */
typedef int32_t (*StatusCallback)(int32_t type, int32_t kind, const char* text);

enum {
  QVS_HFT_OK = 0,
  QVS_HFT_PING_BUSY = 206,     /* ping not sent: socket stayed busy; the link stays up */
  QVS_HFT_NO_SOCKETS = 225,    /* the socket layer could not be started */
  QVS_HFT_PING_TIMEOUT = 226,  /* no reply within 5000 ms; the link stays up */
  QVS_HFT_PING_BAD_CRC = 227,  /* the reply failed its check value; the link was stopped */
  QVS_HFT_NOT_CONNECTED = 228, /* not connected, or a socket error */
  QVS_HFT_ALREADY_CONNECTED = 229,
  QVS_HFT_CONNECT_FAILED = 231,
  QVS_HFT_BAD_ARGUMENT = 254 /* a required argument is null or zero */
};

/* Stores the callback; a null pointer switches reports off. Returns 0. */
QVS_HFT_API uint8_t QvS_HFT_SetStatusCallback(StatusCallback callback);
/* Server host name or dotted IPv4 address, and TCP port. 254 for a null host or port 0. */
QVS_HFT_API uint8_t QvS_HFT_SetParms(const char* host, int32_t port);
/* Login values. 254 for a null user or password. */
QVS_HFT_API uint8_t QvS_HFT_SetUser(const char* user, const char* password, uint8_t clientType,
                                    const char* appVersion);
/* Sleep step (ms) while a ping waits for its reply. 254 when either argument is 0. */
QVS_HFT_API uint8_t QvS_HFT_SetTimeout(uint16_t pollMs, uint16_t check);
/* Connects and starts the receive thread: 0, 225, 229 or 231. Returns once connected or failed:
 * a server that does not answer fails after about 10 s (10060), and a Stop from another thread
 * ends the attempt at once (10004). Name lookup never makes Stop wait. */
QVS_HFT_API uint8_t QvS_HFT_Start(void);
/* Ends the connection; may be called at any time, also from inside the status callback.
 * Called from any other thread it returns only once no callback of that connection can run.
 * Always 0. */
QVS_HFT_API uint8_t QvS_HFT_Stop(void);
/* Mode 4 switches packet protection on, 5 off: 0 or 228. */
QVS_HFT_API uint8_t QvS_HFT_EnableCRC(uint8_t mode);
/* Sends a ping; with waitReply non-zero waits for any packet as the reply. The code is also
 * stored in *result (when result is not null). */
QVS_HFT_API uint8_t QvS_HFT_Ping(uint8_t waitReply, uint8_t* result);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUNE_CLIENT_QVS_HFT_H */
