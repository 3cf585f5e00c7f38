// Files held open by "another program": a file opened for reading that lets
// others read and write it but not delete or rename it, as a virus scanner or
// a backup tool does on a cashier PC; with share=read, others may only read
// it (no writing over it either), as a program that keeps a file locked.
#include <map>
#include <string>

#include "handlers.h"
#include "reply.h"

namespace {

std::map<std::string, HANDLE>& HeldFiles() {
  static std::map<std::string, HANDLE> held;
  return held;
}

}  // namespace

std::string CmdHoldFile(const Request& r) {
  const std::string path = r.Text(0);
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (r.Has("share")) {
    if (r.Option("share") != "read") Fail("share: \"read\" expected");
    share = FILE_SHARE_READ;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cannot open: error " + std::to_string(GetLastError()));
  auto& held = HeldFiles();
  if (held.count(path)) CloseHandle(held[path]);
  held[path] = file;
  return Ok();
}

std::string CmdReleaseFile(const Request& r) {
  auto& held = HeldFiles();
  auto it = held.find(r.Text(0));
  if (it == held.end()) Fail("not held");
  CloseHandle(it->second);
  held.erase(it);
  return Ok();
}
