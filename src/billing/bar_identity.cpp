#include "billing/bar_identity.h"

#include <exception>

#include "log/activity_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/registry.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

// The current local time as 14 digits, yyyyMMddHHmmss.
std::string Time14(const LocalTime& t) {
  return Format("%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Caches a successful answer in the bar-identity file, but only in one that
// the billing console already has: the file is never created here.
void WriteBarIdentityFile(BillingLink& link, const std::string& consoleFolder,
                          const std::string& barId, const std::string& barName) {
  const std::string file = consoleFolder + Literal(lit::kBarIdentityFile);
  if (!link.files.Exists(file)) return;
  const std::string section = Literal(lit::kBarIdentitySection);
  bool ok = link.ini.WriteString(file, section, Literal(lit::kBarIdKey), barId);
  ok = link.ini.WriteString(file, section, Literal(lit::kBarNameKey), barName) && ok;
  ok = link.ini.WriteString(file, section, Literal(lit::kBarFlagKey), "1") && ok;
  ok = link.ini.WriteString(file, section, Literal(lit::kBarTimeKey), Time14(link.clock.Now())) &&
       ok;
  // A read-only file keeps its old values; the query's answer still holds
  // for this run, and the next start asks again.
  if (!ok) link.log.WriteLog("WriteBarIni=0," + file);
}

}  // namespace

GetInfoReply ParseGetInfoReply(const std::string& reply) {
  GetInfoReply out;
  bool haveNumber = false;
  bool haveClientName = false;
  std::size_t pos = 0;
  while (pos < reply.size()) {
    std::size_t end = reply.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = reply.size();
    const std::string line = reply.substr(pos, end - pos);
    // CR LF counts as one break; an empty line in between is harmless anyway.
    pos = end + 1;
    if (end < reply.size() && reply[end] == '\r' && pos < reply.size() && reply[pos] == '\n') ++pos;

    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    if (!haveNumber && SameTextAscii(name, "Number")) {
      out.number = line.substr(eq + 1);
      haveNumber = true;
    } else if (!haveClientName && SameTextAscii(name, "ClientName")) {
      out.clientName = line.substr(eq + 1);
      haveClientName = true;
    }
  }
  return out;
}

void Read_BarIdentity(Registry& registry, IniFile& ini, Files& files, BarIdentity& identity) {
  identity.barId = "-1";
  identity.barName.clear();

  const std::string consoleKey = Literal(lit::kConsoleKeyPath);
  const std::string mainFolder = registry.ReadString(
      RegistryRoot::LocalMachine, consoleKey, Literal(lit::kConsoleFolderValue), "");
  identity.consoleFolder = mainFolder + "\\";
  // Without the value there is no V8 installation to look at; a bare "\"
  // would otherwise send the marker lookup to the root of the current drive.
  if (!mainFolder.empty() && files.Exists(identity.consoleFolder + Literal(lit::kV8MarkerFile))) {
    identity.barId = registry.ReadString(RegistryRoot::LocalMachine, consoleKey,
                                         Literal(lit::kV8BarIdValue), "");
    identity.barName = "V8:" + registry.ReadString(RegistryRoot::LocalMachine, consoleKey,
                                                   Literal(lit::kV8BarNameValue), "");
    return;
  }

  // The other console keeps its folder as stored, separator included or not.
  identity.consoleFolder =
      registry.ReadString(RegistryRoot::CurrentUser, Literal(lit::kOtherConsoleKeyPath),
                          Literal(lit::kOtherConsoleFolderValue), "");
  const std::string file = identity.consoleFolder + Literal(lit::kBarIdentityFile);
  if (files.Exists(file)) {
    const std::string section = Literal(lit::kBarIdentitySection);
    identity.barName = ini.ReadString(file, section, Literal(lit::kBarNameKey), "-");
    identity.barId = ini.ReadString(file, section, Literal(lit::kBarIdKey), "-2");
  }
}

int Login(BillingLink& link, const std::string& consoleFolder, std::string& msg,
          std::string& barId, std::string& barName, int timeoutMs) {
  int result = kNoHostIP;
  try {
    barName = "--";
    const std::string hostFile = consoleFolder + Literal(lit::kHostFile);
    if (!link.files.Exists(hostFile)) {
      msg = "NoHostIP";
      return result;
    }
    const std::string address =
        link.ini.ReadString(hostFile, Literal(lit::kHostSection), Literal(lit::kHostKey), "127.0.0.1");

    Socket socket;
    result = Open_Session(address, timeoutMs, link.port, socket, msg);
    if (result != kSessionOk) return result;

    result = Send_Cmd(kCmdGetInfo, "", msg, socket, link.clock, link.log);
    if (result == kSessionOk) {
      const GetInfoReply reply = ParseGetInfoReply(msg);
      barId = reply.number;
      barName = "@" + reply.clientName;
      WriteBarIdentityFile(link, consoleFolder, barId, barName);
    }
    Close_Socket(socket);
    return result;
  } catch (const std::exception& e) {
    link.log.WriteLog(Format("#Login:0 / %d ", Socket::LastError()) + e.what());
    return result;
  }
}

int Query_BarIdentity(BillingLink& link, BarIdentity& identity, int timeoutMs) {
  if (identity.barId.size() >= 6) return 0;
  std::string msg;
  const int result =
      Login(link, identity.consoleFolder, msg, identity.barId, identity.barName, timeoutMs);
  if (result != kSessionOk) {
    identity.barId = Format("%d", result);
    identity.barName = msg;
  }
  link.log.WriteLog(Format("ret=%d,barid=%s,barname=%s", result, identity.barId.c_str(),
                           identity.barName.c_str()));
  return result;
}
