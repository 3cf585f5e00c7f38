#include "channel.h"


namespace {

constexpr size_t kMaxLine = 1 << 20;     // bytes; a longer line is a broken client
constexpr long kSendTimeoutSeconds = 5;  // a client that stops reading is dropped

SOCKET g_listener = INVALID_SOCKET;
SOCKET g_client = INVALID_SOCKET;
std::string g_pending;  // received bytes not yet ending in a line
HWND g_window = nullptr;
UINT g_message = 0;
LineHandler g_handler = nullptr;

// The socket is non-blocking (WSAAsyncSelect makes it so): wait for room
// instead of spinning when the client reads slowly.
bool SendAll(SOCKET s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    timeval limit{kSendTimeoutSeconds, 0};
    if (select(0, nullptr, &writable, nullptr, &limit) <= 0) return false;
  }
  return true;
}

void DropClient() {
  if (g_client != INVALID_SOCKET) closesocket(g_client);
  g_client = INVALID_SOCKET;
  g_pending.clear();
}

void Accept() {
  SOCKET s = accept(g_listener, nullptr, nullptr);
  if (s == INVALID_SOCKET) return;
  if (g_client != INVALID_SOCKET) {
    SendAll(s, "err\tbusy: another client is connected\n");
    closesocket(s);
    return;
  }
  g_client = s;
  WSAAsyncSelect(g_client, g_window, g_message, FD_READ | FD_CLOSE);
}

// Runs every complete line. A handler never pumps posted messages, so no
// socket event can arrive in the middle of a command.
void RunLines() {
  size_t end;
  while (g_client != INVALID_SOCKET && (end = g_pending.find('\n')) != std::string::npos) {
    std::string line = g_pending.substr(0, end);
    g_pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!SendAll(g_client, g_handler(line) + "\n")) DropClient();
  }
  if (g_client != INVALID_SOCKET && g_pending.size() > kMaxLine) {
    SendAll(g_client, "err\tline too long\n");
    DropClient();
  }
}

void Receive() {
  char buffer[4096];
  int n = recv(g_client, buffer, sizeof(buffer), 0);
  if (n > 0) {
    g_pending.append(buffer, static_cast<size_t>(n));
    RunLines();
  } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
    DropClient();
  }
}

}  // namespace

bool OpenChannel(HWND notifyWindow, UINT notifyMessage, unsigned short port, LineHandler handler,
                 std::string& reason) {
  g_window = notifyWindow;
  g_message = notifyMessage;
  g_handler = handler;
  g_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (g_listener == INVALID_SOCKET ||
      bind(g_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(g_listener, 4) != 0 ||
      WSAAsyncSelect(g_listener, notifyWindow, notifyMessage, FD_ACCEPT) != 0) {
    reason = "cannot listen on 127.0.0.1:" + std::to_string(port) + ", error " + std::to_string(WSAGetLastError());
    return false;
  }
  return true;
}

void OnChannelEvent(WPARAM wParam, LPARAM lParam) {
  SOCKET s = static_cast<SOCKET>(wParam);
  switch (WSAGETSELECTEVENT(lParam)) {
    case FD_ACCEPT:
      if (s == g_listener) Accept();
      break;
    case FD_READ:
      if (s == g_client) Receive();
      break;
    case FD_CLOSE:
      if (s == g_client) {
        // Run what arrived before the close: a client may send its last
        // command and hang up without waiting for the reply.
        char buffer[4096];
        int n;
        while ((n = recv(g_client, buffer, sizeof(buffer), 0)) > 0) g_pending.append(buffer, static_cast<size_t>(n));
        RunLines();
        DropClient();
      }
      break;
  }
}

void CloseChannel() {
  DropClient();
  if (g_listener != INVALID_SOCKET) closesocket(g_listener);
  g_listener = INVALID_SOCKET;
}
