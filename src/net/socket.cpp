// Both halves of the socket wrapper in one file: the calls differ only in
// names, option types and error reporting, and keeping them side by side keeps
// the two in step. Natively, errno values are translated into the Windows
// Sockets codes that the rest of the program reports and logs.
#include "net/socket.h"

#include <climits>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

// Windows Sockets codes used on both systems.
constexpr int kWsaEinval = 10022;
constexpr int kWsaEwouldblock = 10035;
constexpr int kWsaEtimedout = 10060;

thread_local int g_lastError = 0;

int Fail(int code) {
  g_lastError = code;
  return code;
}

int ClampSize(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

bool MakeAddress(const std::string& ipv4, std::uint16_t port, sockaddr_in* address) {
  std::uint32_t ip = 0;
  if (!ParseIpv4(ipv4, &ip)) return false;
  std::memset(address, 0, sizeof(*address));
  address->sin_family = AF_INET;
  address->sin_port = htons(port);
  address->sin_addr.s_addr = ip;
  return true;
}

// A monotonic millisecond count. (<chrono> cannot be used: its "\u00b5s"
// unit suffix has no GBK form, so it fails to compile with -fexec-charset=GBK.)
long long TickMs();

// Milliseconds left of a wait that started at tick `start`, never below 0.
int Remaining(long long start, int milliseconds) {
  long long spent = TickMs() - start;
  return spent >= milliseconds ? 0 : milliseconds - static_cast<int>(spent);
}

#ifdef _WIN32

long long TickMs() { return static_cast<long long>(GetTickCount64()); }

using Handle = SOCKET;
Handle H(std::intptr_t h) { return static_cast<Handle>(h); }
constexpr std::intptr_t kInvalid = static_cast<std::intptr_t>(INVALID_SOCKET);

int LastSystemError(bool /*nonBlocking*/) { return WSAGetLastError(); }

int CloseSocketHandle(std::intptr_t h) { return closesocket(H(h)) == 0 ? 0 : -1; }

int SetBlockingMode(std::intptr_t h, bool nonBlocking) {
  u_long on = nonBlocking ? 1 : 0;
  return ioctlsocket(H(h), FIONBIO, &on) == 0 ? 0 : WSAGetLastError();
}

int SetTimeoutOption(std::intptr_t h, int option, int milliseconds) {
  // Winsock takes the time-out as a DWORD of milliseconds.
  DWORD value = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
  if (setsockopt(H(h), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                 sizeof(value)) != 0) {
    return WSAGetLastError();
  }
  return 0;
}

bool ConnectInProgress(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }

// Waits until the connect of `h` completes; 0, the error that ended it, or
// 10060. Winsock reports a failed connect in the except set, not the write set.
int WaitConnected(std::intptr_t h, int milliseconds) {
  const long long start = TickMs();
  for (;;) {
    int left = Remaining(start, milliseconds);
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(H(h), &writable);
    FD_SET(H(h), &failed);
    timeval tv;
    tv.tv_sec = left / 1000;
    tv.tv_usec = (left % 1000) * 1000;
    int n = select(0, nullptr, &writable, &failed, &tv);
    if (n == 0) return kWsaEtimedout;
    if (n < 0) {
      int error = WSAGetLastError();
      if (error == WSAEINTR && Remaining(start, milliseconds) > 0) continue;
      return error;
    }
    int error = 0;
    int length = sizeof(error);
    if (getsockopt(H(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
      return WSAGetLastError();
    }
    if (error == 0 && FD_ISSET(H(h), &failed)) error = WSAECONNREFUSED;
    return error;
  }
}

#else  // BSD sockets

long long TickMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

using Handle = int;
Handle H(std::intptr_t h) { return static_cast<Handle>(h); }
constexpr std::intptr_t kInvalid = -1;

// errno as the Windows Sockets code of the same failure. A would-block on a
// blocking socket can only be a time-out of SO_RCVTIMEO/SO_SNDTIMEO, which
// Winsock reports as WSAETIMEDOUT.
int MapErrno(int e, bool nonBlocking) {
  if (e == EAGAIN || e == EWOULDBLOCK) return nonBlocking ? kWsaEwouldblock : kWsaEtimedout;
  switch (e) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return kWsaEinval;
    case EMFILE: return 10024;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // writing to a connection the peer has reset
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return kWsaEtimedout;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return e;
  }
}

int LastSystemError(bool nonBlocking) { return MapErrno(errno, nonBlocking); }

int CloseSocketHandle(std::intptr_t h) { return close(H(h)) == 0 ? 0 : -1; }

int SetBlockingMode(std::intptr_t h, bool nonBlocking) {
  int flags = fcntl(H(h), F_GETFL, 0);
  if (flags < 0) return MapErrno(errno, false);
  flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(H(h), F_SETFL, flags) == 0 ? 0 : MapErrno(errno, false);
}

int SetTimeoutOption(std::intptr_t h, int option, int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  timeval tv;
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  return setsockopt(H(h), SOL_SOCKET, option, &tv, sizeof(tv)) == 0 ? 0 : MapErrno(errno, false);
}

bool ConnectInProgress(int error) { return error == 10036 || error == kWsaEwouldblock; }

int WaitConnected(std::intptr_t h, int milliseconds) {
  const long long start = TickMs();
  for (;;) {
    pollfd p{};
    p.fd = H(h);
    p.events = POLLOUT;
    int n = poll(&p, 1, Remaining(start, milliseconds));
    if (n == 0) return kWsaEtimedout;
    if (n < 0) {
      if (errno == EINTR && Remaining(start, milliseconds) > 0) continue;
      return MapErrno(errno, false);
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(H(h), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      return MapErrno(errno, false);
    }
    return MapErrno(error, false);
  }
}

#endif

}  // namespace

bool ParseIpv4(const std::string& text, std::uint32_t* addressNetworkOrder) {
  std::uint32_t value = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    int digits = 0;
    int part = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      part = part * 10 + (text[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 3 || part > 255) return false;
    value = (value << 8) | static_cast<std::uint32_t>(part);
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  if (addressNetworkOrder) *addressNetworkOrder = htonl(value);
  return true;
}

bool ResolveIpv4(const std::string& host, std::string* dotted) {
  if (ParseIpv4(host, nullptr)) {
    *dotted = host;
    return true;
  }
  if (host.empty()) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  char text[INET_ADDRSTRLEN] = {};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
  freeaddrinfo(found);
  if (ok) *dotted = text;
  return ok;
}

int Socket::Startup() {
#ifdef _WIN32
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
#else
  return 0;
#endif
}

void Socket::Cleanup() {
#ifdef _WIN32
  WSACleanup();
#endif
}

Socket Socket::Tcp() {
#ifdef _WIN32
  std::intptr_t h = static_cast<std::intptr_t>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
#else
  std::intptr_t h = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
#endif
  if (h == kInvalid) {
    Fail(LastSystemError(false));
    return Socket();
  }
  return Socket(h);
}

Socket Socket::Udp() {
#ifdef _WIN32
  std::intptr_t h = static_cast<std::intptr_t>(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
#else
  std::intptr_t h = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
#endif
  if (h == kInvalid) {
    Fail(LastSystemError(false));
    return Socket();
  }
  return Socket(h);
}

Socket::Socket(Socket&& other) noexcept
    : handle_(other.handle_), sendTimeoutMs_(other.sendTimeoutMs_), nonBlocking_(other.nonBlocking_) {
  other.handle_ = kInvalid;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    sendTimeoutMs_ = other.sendTimeoutMs_;
    nonBlocking_ = other.nonBlocking_;
    other.handle_ = kInvalid;
  }
  return *this;
}

Socket::~Socket() { Close(); }

bool Socket::IsValid() const { return handle_ != kInvalid; }

void Socket::Close() {
  if (!IsValid()) return;
  CloseSocketHandle(handle_);
  handle_ = kInvalid;
}

bool Socket::CloseAbortive() {
  if (!IsValid()) return false;
#ifdef _WIN32
  // Lingering switched on with a zero time: closesocket then resets the
  // connection at once instead of sending what is queued and waiting.
  BOOL dontLinger = FALSE;
  setsockopt(H(handle_), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&dontLinger),
             sizeof(dontLinger));
  linger option;
  option.l_onoff = 1;
  option.l_linger = 0;
  setsockopt(H(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
             sizeof(option));
#else
  linger option{};
  option.l_onoff = 1;
  option.l_linger = 0;
  setsockopt(H(handle_), SOL_SOCKET, SO_LINGER, &option, sizeof(option));
#endif
  int result = CloseSocketHandle(handle_);
  if (result != 0) Fail(LastSystemError(false));
  handle_ = kInvalid;
  return result == 0;
}

int Socket::SetReceiveTimeout(int milliseconds) {
  if (!IsValid()) return Fail(10038);
  int error = SetTimeoutOption(handle_, SO_RCVTIMEO, milliseconds);
  return error == 0 ? 0 : Fail(error);
}

int Socket::SetSendTimeout(int milliseconds) {
  if (!IsValid()) return Fail(10038);
  int error = SetTimeoutOption(handle_, SO_SNDTIMEO, milliseconds);
  if (error != 0) return Fail(error);
  sendTimeoutMs_ = milliseconds > 0 ? milliseconds : 0;
  return 0;
}

int Socket::SetNonBlocking(bool on) {
  if (!IsValid()) return Fail(10038);
  int error = SetBlockingMode(handle_, on);
  if (error != 0) return Fail(error);
  nonBlocking_ = on;
  return 0;
}

int Socket::Connect(const std::string& ipv4, std::uint16_t port) {
  if (sendTimeoutMs_ > 0 && !nonBlocking_) return ConnectWithin(ipv4, port, sendTimeoutMs_);
  if (!IsValid()) return Fail(10038);
  sockaddr_in address;
  if (!MakeAddress(ipv4, port, &address)) return Fail(kWsaEinval);
  if (connect(H(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return Fail(LastSystemError(nonBlocking_));
  }
  return 0;
}

int Socket::ConnectWithin(const std::string& ipv4, std::uint16_t port, int milliseconds) {
  if (!IsValid()) return Fail(10038);
  sockaddr_in address;
  if (!MakeAddress(ipv4, port, &address)) return Fail(kWsaEinval);
  const bool wasNonBlocking = nonBlocking_;
  if (!wasNonBlocking) {
    int error = SetBlockingMode(handle_, true);
    if (error != 0) return Fail(error);
  }
  int error = 0;
  if (connect(H(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error = LastSystemError(true);
    if (ConnectInProgress(error)) error = WaitConnected(handle_, milliseconds < 0 ? 0 : milliseconds);
  }
  if (!wasNonBlocking) {
    int restore = SetBlockingMode(handle_, false);
    if (error == 0) error = restore;
  }
  return error == 0 ? 0 : Fail(error);
}

int Socket::Send(const void* data, std::size_t size) {
  if (!IsValid()) {
    Fail(10038);
    return -1;
  }
#ifdef _WIN32
  int n = send(H(handle_), static_cast<const char*>(data), ClampSize(size), 0);
#else
  // MSG_NOSIGNAL: a peer that has gone away gives an error, not SIGPIPE.
  int n = static_cast<int>(send(H(handle_), data, static_cast<std::size_t>(ClampSize(size)),
                                MSG_NOSIGNAL));
#endif
  if (n < 0) {
    Fail(LastSystemError(nonBlocking_));
    return -1;
  }
  return n;
}

int Socket::Receive(void* buffer, std::size_t size) {
  if (!IsValid()) {
    Fail(10038);
    return -1;
  }
#ifdef _WIN32
  int n = recv(H(handle_), static_cast<char*>(buffer), ClampSize(size), 0);
#else
  int n;
  do {
    n = static_cast<int>(recv(H(handle_), buffer, static_cast<std::size_t>(ClampSize(size)), 0));
  } while (n < 0 && errno == EINTR);
#endif
  if (n < 0) {
    Fail(LastSystemError(nonBlocking_));
    return -1;
  }
  return n;
}

int Socket::SendTo(const void* data, std::size_t size, const std::string& ipv4,
                   std::uint16_t port) {
  if (!IsValid()) {
    Fail(10038);
    return -1;
  }
  sockaddr_in address;
  if (!MakeAddress(ipv4, port, &address)) {
    Fail(kWsaEinval);
    return -1;
  }
#ifdef _WIN32
  int n = sendto(H(handle_), static_cast<const char*>(data), ClampSize(size), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof(address));
#else
  int n = static_cast<int>(sendto(H(handle_), data, static_cast<std::size_t>(ClampSize(size)),
                                  MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                                  sizeof(address)));
#endif
  if (n < 0) {
    Fail(LastSystemError(nonBlocking_));
    return -1;
  }
  return n;
}

int Socket::LastError() { return g_lastError; }
