// The socket layer under the table-server client: the few stream-socket calls the client
// needs, over POSIX sockets, with failures reported as the classic socket error numbers
// (10000 + ..., 11001 for an unknown host) so that the client's error texts stay those its
// users know.
//
// Contract:
// - Every call blocks on the calling thread. A failing call returns -1 (or false) and leaves
//   its error number in XbSockLastError() for this thread.
// - XbSockStartup / XbSockCleanup are counted; the process keeps the layer started once.
// - Sends never raise SIGPIPE: a closed peer shows as error 10058.
#pragma once

#include <cstdint>
#include <string>

using TXbSocket = int;
constexpr TXbSocket XB_INVALID_SOCKET = -1;
constexpr int XB_SOCKET_ERROR = -1;
constexpr int XB_SOCK_STREAM = 1;
constexpr uint32_t XB_INADDR_NONE = 0xFFFFFFFFu;

// Counted start and end of the layer; Startup returns 0 on success.
int XbSockStartup(uint16_t Version);
void XbSockCleanup();

int XbSockLastError();
void XbSockSetLastError(int Code);
// The socket error number of a POSIX errno value.
int XbSockErrorOfErrno(int Errno);

TXbSocket XbSockSocket(int Type);
int XbSockClose(TXbSocket S);
// AddressNet: IPv4 address in network order; Port in host order.
int XbSockConnect(TXbSocket S, uint32_t AddressNet, uint16_t Port);
int XbSockRecv(TXbSocket S, char* Buffer, int Length);
int XbSockSend(TXbSocket S, const char* Buffer, int Length);
// Readability of S within TimeOutMs (-1: no limit): the number of ready sockets (0 or 1),
// -1 on failure.
int XbSockSelectRead(TXbSocket S, int TimeOutMs);

// Dotted text to an address in network order; XB_INADDR_NONE when it is not one.
uint32_t XbSockInetAddr(const std::string& Dotted);
// Looks the host up; false with the resolver's error number set (11001 host not found, ...).
bool XbSockGetHostByName(const std::string& Host, uint32_t& AddressNet);
