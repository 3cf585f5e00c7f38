// The operator's listing commands print, with --json, one JSON array of
// objects for scripts: a row is a list of named values, text or number.
// Text is UTF-8 as the store holds it; controls and quotes are escaped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class JsonRow {
 public:
  JsonRow& Text(const std::string& name, const std::string& value);
  JsonRow& Number(const std::string& name, std::int64_t value);
  JsonRow& Bool(const std::string& name, bool value);
  std::string Object() const { return "{" + fields_ + "}"; }

 private:
  std::string fields_;
};

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

// "[\n  {...},\n  {...}\n]\n"
std::string JsonArray(const std::vector<JsonRow>& rows);
