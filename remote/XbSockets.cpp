// POSIX implementation of the socket layer (see XbSockets.h).
#include "remote/XbSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {
thread_local int gLastError = 0;
int gStartCount = 0;
}  // namespace

int XbSockStartup(uint16_t Version) {
  if (Version == 0) return 10092;  // no version asked for: nothing we can give
  ++gStartCount;
  return 0;
}

void XbSockCleanup() {
  if (gStartCount > 0) --gStartCount;
}

int XbSockLastError() { return gLastError; }
void XbSockSetLastError(int Code) { gLastError = Code; }

int XbSockErrorOfErrno(int e) {
  switch (e) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE:
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    default: return 10000 + (e > 0 && e < 1000 ? e : 0);
  }
}

static int Fail() {
  gLastError = XbSockErrorOfErrno(errno);
  return XB_SOCKET_ERROR;
}

TXbSocket XbSockSocket(int Type) {
  if (Type != XB_SOCK_STREAM) {
    gLastError = 10044;
    return XB_INVALID_SOCKET;
  }
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    Fail();
    return XB_INVALID_SOCKET;
  }
  return s;
}

int XbSockClose(TXbSocket S) { return ::close(S) == 0 ? 0 : Fail(); }

int XbSockConnect(TXbSocket S, uint32_t AddressNet, uint16_t Port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(Port);
  a.sin_addr.s_addr = AddressNet;
  for (;;) {
    if (::connect(S, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    if (errno != EINTR) return Fail();
  }
}

int XbSockRecv(TXbSocket S, char* Buffer, int Length) {
  for (;;) {
    const ssize_t n = ::recv(S, Buffer, static_cast<size_t>(Length), 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return Fail();
  }
}

int XbSockSend(TXbSocket S, const char* Buffer, int Length) {
  for (;;) {
    const ssize_t n = ::send(S, Buffer, static_cast<size_t>(Length), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return Fail();
  }
}

int XbSockSelectRead(TXbSocket S, int TimeOutMs) {
  pollfd p{};
  p.fd = S;
  p.events = POLLIN;
  const int r = ::poll(&p, 1, TimeOutMs < 0 ? -1 : TimeOutMs);
  if (r < 0) return Fail();
  return r > 0 ? 1 : 0;
}

uint32_t XbSockInetAddr(const std::string& Dotted) {
  in_addr a{};
  if (::inet_pton(AF_INET, Dotted.c_str(), &a) != 1) return XB_INADDR_NONE;
  return a.s_addr;
}

bool XbSockGetHostByName(const std::string& Host, uint32_t& AddressNet) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int r = ::getaddrinfo(Host.c_str(), nullptr, &hints, &list);
  if (r != 0 || list == nullptr) {
    switch (r) {
      case EAI_AGAIN: gLastError = 11002; break;
      case EAI_FAIL: gLastError = 11003; break;
#ifdef EAI_NODATA
      case EAI_NODATA: gLastError = 11004; break;
#endif
      default: gLastError = 11001; break;
    }
    if (list) ::freeaddrinfo(list);
    return false;
  }
  AddressNet = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(list);
  return true;
}
