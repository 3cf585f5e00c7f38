#include "central/command_line.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

std::vector<std::string> Words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The table's spelling of an option: "--days=" when it takes a value.
std::optional<std::string> Spelling(const std::vector<std::string>& options, const std::string& name) {
  for (const std::string& o : options) {
    if (o == name || o == name + "=") return o;
  }
  return std::nullopt;
}

bool TakesValue(const std::string& spelling) { return spelling.back() == '='; }

std::string Listed(const std::vector<std::string>& options) {
  std::string out;
  for (const std::string& o : options) {
    out += (out.empty() ? "" : ", ") + (TakesValue(o) ? o.substr(0, o.size() - 1) + " VALUE" : o);
  }
  return out.empty() ? "no options" : out;
}

}  // namespace

ParsedLine ParseCommandLine(const std::vector<CommandShape>& table, const std::vector<std::string>& arguments) {
  ParsedLine parsed;
  // Options are gathered by name first and checked once the command is known.
  struct Given {
    std::string name;
    std::optional<std::string> value;  // when written "--name=value"
    std::size_t at;                    // its place, to take the next word as the value
  };
  std::vector<Given> given;
  std::vector<std::string> words;
  std::vector<bool> taken(arguments.size(), false);
  bool endOfOptions = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (!endOfOptions && a == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && (a == "--help" || a == "-h")) {
      parsed.help = true;
    } else if (!endOfOptions && a == "--version") {
      parsed.version = true;
    } else if (!endOfOptions && a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
      const std::size_t equals = a.find('=');
      given.push_back({a.substr(0, equals), equals == std::string::npos ? std::nullopt : std::optional(a.substr(equals + 1)), i});
      taken[i] = true;
    }
  }
  // A value written as the next word belongs to its option, so it must be
  // known which options take one before the words are split off.
  const std::vector<std::string> common = {std::string(kConfigOption) + "=", std::string(kDataOption) + "="};
  // The command: the longest table entry whose words open the line's words.
  // The words are found skipping options and the values of the common
  // options and of every option of any command that takes one.
  std::vector<std::string> valued = common;
  for (const CommandShape& shape : table) {
    for (const std::string& o : shape.options) {
      if (TakesValue(o)) valued.push_back(o);
    }
  }
  for (const Given& g : given) {
    const auto spelling = Spelling(valued, g.name);
    if (spelling && !g.value && g.at + 1 < arguments.size() && !taken[g.at + 1]) taken[g.at + 1] = true;
  }
  endOfOptions = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (!endOfOptions && a == "--") {
      endOfOptions = true;
      continue;
    }
    if (endOfOptions || (!taken[i] && a != "--help" && a != "-h" && a != "--version")) words.push_back(a);
  }
  if (!words.empty() && words[0] == "help") parsed.help = true;
  if (parsed.help || (parsed.version && words.empty())) return parsed;
  if (words.empty()) {
    parsed.error = "no command given";
    return parsed;
  }

  std::size_t best = 0;
  for (std::size_t c = 0; c < table.size(); ++c) {
    const std::vector<std::string> name = Words(table[c].words);
    if (name.size() > best && name.size() <= words.size() && std::equal(name.begin(), name.end(), words.begin())) {
      best = name.size();
      parsed.command = static_cast<int>(c);
    }
  }
  if (parsed.command < 0) {
    // A group's word alone ("blacklist"): name what may follow it.
    std::string next;
    for (const CommandShape& shape : table) {
      const std::vector<std::string> name = Words(shape.words);
      if (name.size() > 1 && name[0] == words[0]) next += (next.empty() ? "" : ", ") + name[1];
    }
    parsed.error = next.empty() ? "unknown command `" + words[0] + "`"
                                : "`" + words[0] + "` takes " + next + (words.size() > 1 ? ", not `" + words[1] + "`" : "");
    return parsed;
  }
  const CommandShape& shape = table[parsed.command];
  std::vector<std::string> allowed = shape.options;
  allowed.insert(allowed.end(), common.begin(), common.end());
  for (const Given& g : given) {
    const auto spelling = Spelling(allowed, g.name);
    if (!spelling) {
      parsed.error = "unknown option " + g.name + " for `" + shape.words + "` (it takes " + Listed(shape.options) + ")";
    } else if (TakesValue(*spelling) && !g.value && (g.at + 1 >= arguments.size() || arguments[g.at + 1] == "--")) {
      parsed.error = g.name + " needs a value";
    } else if (!TakesValue(*spelling) && g.value) {
      parsed.error = g.name + " takes no value";
    } else if (parsed.options.count(g.name)) {
      parsed.error = g.name + " given twice";
    } else {
      parsed.options[g.name] = TakesValue(*spelling) ? (g.value ? *g.value : arguments[g.at + 1]) : "1";
      continue;
    }
    parsed.command = -1;
    return parsed;
  }
  parsed.operands.assign(words.begin() + static_cast<std::ptrdiff_t>(best), words.end());
  if (static_cast<int>(parsed.operands.size()) != shape.operands) {
    parsed.error = std::string("`") + shape.words + "` takes " + (shape.usage[0] ? shape.usage : "nothing more") +
                   ", not " + (parsed.operands.empty() ? "nothing" : "`" + [&] {
                     std::string joined;
                     for (const std::string& o : parsed.operands) joined += (joined.empty() ? "" : " ") + o;
                     return joined;
                   }() + "`");
    parsed.command = -1;
    return parsed;
  }
  return parsed;
}

std::string CommandUsage(const std::vector<CommandShape>& table) {
  std::string out = "usage: tollimer-central [--config FILE] [--data DIR] COMMAND [OPTIONS]\n";
  for (const CommandShape& shape : table) {
    out += std::string("  ") + shape.words + (shape.usage[0] ? " " : "") + shape.usage + "\n";
  }
  out += "  help, --help, -h   (this text); --version\n"
         "  Options may stand anywhere on the line. Without --config, /etc/tollimer-central.conf is read\n"
         "  where it exists.\n";
  return out;
}
