#include "client/socket_errors.h"

#include <netdb.h>

#include <cerrno>
#include <cstdio>

namespace kestrune {

int socketErrorFromErrno(int err) {
  switch (err) {
    case EINTR:
      return 10004;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
      return kSockWouldBlock;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
    case EBADF:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return kSockConnAborted;
    case EPIPE:
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return kSockTimedOut;
    case ECONNREFUSED:
      return 10061;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return err;
  }
}

int socketErrorFromResolver(int gaiResult, int err) {
  switch (gaiResult) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SERVICE:
      return 10022;
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return socketErrorFromErrno(err);
    default:
      return 11003;
  }
}

std::string socketErrorText(int code) {
  switch (code) {
    case 10004:
      return "The (blocking) call was canceled via WSACancelBlockingCall().";
    case 10013:
      return "Broadcast Addy Flag not set.";
    case 10014:
      return "The namelen argument is incorrect.";
    case 10022:
      return "The socket is not already bound to an address.";
    case 10024:
      return "No more file descriptors are available.";
    case 10036:
      return "address blocking Windows Sockets operation is in progress.";
    case 10038:
      return "The descriptor is not a socket.";
    case 10039:
      return "address destination address is required.";
    case 10041:
      return "The specified protocol is the wrong type for this socket.";
    case 10043:
      return "The specified protocol is not supported.";
    case 10044:
      return "Socket type is not supported in this address family.";
    case 10047:
      return "The specified address family is not supported.";
    case 10048:
      return "The specified address is already in use.";
    case 10049:
      return "Specified address is not available from the local machine.";
    case 10050:
      return "Network subsystem failure.";
    case 10051:
      return "The network can't be reached from this host at this time.";
    case 10053:
      return "10053 An established connection was aborted by the software in your host computer, "
             "possibly due to a data transmission time-out or protocol error.";
    case 10054:
      return "10054 An existing connection was forcibly closed by the remote host. ";
    case 10055:
      return "No buffer space available. The socket cannot be created.";
    case 10056:
      return "The socket is already connected.";
    case 10057:
      return "The Socket is Not Connected.";
    case 10058:
      return "10058 A request to send or receive data was disallowed because the socket had "
             "already been shut down in that direction ";
    case 10060:
      return "Attempt timed out without establishing a connection.";
    case 10061:
      return "The attempt to connect was forcefully rejected.";
    case 10093:
      return "Unable to initialise socket.";
    case 11001:
      return "Authoritative Answer Host not found.";
    case 11002:
      return "Non-Authoritative Host not found or SERVERFAIL.";
    case 11003:
      return "Non recoverable errors, FORMERR, REFUSED, NOTIMP.";
    case 11004:
      return "Valid name, no data record of requested type.";
    default: {
      char text[40];
      std::snprintf(text, sizeof text, "Unknown error = %d", code);
      return text;
    }
  }
}

}  // namespace kestrune
