#include "commands.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <sstream>

#include "handlers.h"
#include "reply.h"
#include "text.h"

namespace {

std::string CmdPing(const Request&) { return Ok(); }
std::string CmdAcp(const Request&) { return Ok({std::to_string(GetACP())}); }
std::string CmdQuit(const Request&) {
  PostQuitMessage(0);  // the loop ends after this reply has gone out
  return Ok();
}

struct Command {
  const char* name;
  const char* fixed;    // names of the fixed fields, space-separated; also the usage text
  const char* options;  // allowed option keys, space-separated
  Handler run;
};

constexpr const char* kGeometry = "hidden x y w h fill";

const Command kCommands[] = {
    {"ping", "", "", CmdPing},
    {"acp", "", "", CmdAcp},
    {"quit", "", "", CmdQuit},
    {"dialog", "caption", kGeometry, CmdDialog},
    {"window", "class caption", kGeometry, CmdWindow},
    {"child", "parent class caption", "hidden x y w h fill items onclick moving hangonsettext", CmdChild},
    {"show", "hwnd 0|1", "", CmdShow},
    {"enable", "hwnd 0|1", "", CmdEnable},
    {"settext", "hwnd text", "", CmdSetText},
    {"destroy", "hwnd", "", CmdDestroy},
    {"move", "hwnd x y", "topmost w h", CmdMove},
    {"activate", "hwnd", "", CmdActivate},
    {"text", "hwnd", "", CmdText},
    {"class", "hwnd", "", CmdClass},
    {"exists", "hwnd", "", CmdExists},
    {"visible", "hwnd", "", CmdVisible},
    {"enabled", "hwnd", "", CmdEnabled},
    {"checked", "hwnd", "", CmdChecked},
    {"rect", "hwnd", "", CmdRect},
    {"cursel", "hwnd", "", CmdCurSel},
    {"topmost", "hwnd", "", CmdTopmost},
    {"cursor", "", "", CmdCursor},
    {"foreground", "", "", CmdForeground},
    {"find", "class caption", "", CmdFind},
    {"findchild", "parent class caption", "", CmdFindChild},
    {"children", "hwnd", "", CmdChildren},
    {"click", "hwnd", "", CmdClick},
    {"close", "hwnd", "", CmdClose},
    {"select", "hwnd index", "", CmdSelect},
    {"post", "hwnd msg wparam lparam", "", CmdPost},
    {"send", "hwnd msg wparam lparam", "", CmdSend},
    {"sendkey", "vk", "", CmdSendKey},
    {"mouseclick", "x y", "", CmdMouseClick},
    {"events", "", "", CmdEvents},
    {"clear", "", "", CmdClear},
    // Camera preview stand-in: the number of the picture it shows.
    {"frame", "hwnd", "", CmdFrame},
    // The CTID window's embedded page, and a client that stops answering.
    {"page", "hwnd", "elements nested leaf answers vanish stall bogus", CmdPage},
    {"pagereads", "hwnd", "", CmdPageReads},
    {"hang", "ms", "", CmdHang},
    // Files held open as another program would: the self-update's tests.
    {"holdfile", "path", "share", CmdHoldFile},
    {"releasefile", "path", "", CmdReleaseFile},
    // A form's layout: client area and a drop-down list's items.
    {"clientrect", "hwnd", "", CmdClientRect},
    {"items", "hwnd", "", CmdItems},
};

size_t WordCount(const char* words) {
  std::istringstream in(words);
  size_t n = 0;
  for (std::string w; in >> w;) ++n;
  return n;
}

bool IsWord(const char* words, const std::string& word) {
  std::istringstream in(words);
  for (std::string w; in >> w;)
    if (w == word) return true;
  return false;
}

std::string Usage(const Command& c) {
  return std::string("usage: ") + c.name + (*c.fixed ? " " : "") + c.fixed;
}

std::string Run(const Command& c, const std::vector<std::string>& fields) {
  const size_t fixed = WordCount(c.fixed);
  if (fields.size() < fixed + 1) return Err(Usage(c));
  std::map<std::string, std::string> options;
  for (size_t i = fixed + 1; i < fields.size(); ++i) {
    const size_t eq = fields[i].find('=');
    if (eq == std::string::npos) return Err("extra field \"" + fields[i] + "\"; " + Usage(c));
    const std::string key = fields[i].substr(0, eq);
    if (!IsWord(c.options, key)) return Err("unknown option " + key + " for " + c.name);
    options[key] = fields[i].substr(eq + 1);
  }
  try {
    return c.run(Request(std::vector<std::string>(fields.begin() + 1, fields.begin() + 1 + fixed), options));
  } catch (const CommandFailure& failure) {
    return Err(failure.reason);
  } catch (const std::exception& e) {
    return Err(std::string("internal error: ") + e.what());
  }
}

}  // namespace

std::string RunCommand(const std::string& line) {
  const std::vector<std::string> fields = SplitLine(line);
  for (const Command& c : kCommands)
    if (fields[0] == c.name) return Run(c, fields);
  return Err("unknown command: " + fields[0]);
}
