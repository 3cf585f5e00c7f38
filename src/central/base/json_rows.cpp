#include "central/base/json_rows.h"

#include "util/text.h"

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += Format("\\u%04x", static_cast<unsigned>(byte));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

JsonRow& JsonRow::Text(const std::string& name, const std::string& value) {
  fields_ += (fields_.empty() ? "" : ", ") + JsonString(name) + ": " + JsonString(value);
  return *this;
}

JsonRow& JsonRow::Number(const std::string& name, std::int64_t value) {
  fields_ += (fields_.empty() ? "" : ", ") + JsonString(name) + ": " + std::to_string(value);
  return *this;
}

JsonRow& JsonRow::Bool(const std::string& name, bool value) {
  fields_ += (fields_.empty() ? "" : ", ") + JsonString(name) + (value ? ": true" : ": false");
  return *this;
}

std::string JsonArray(const std::vector<JsonRow>& rows) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) out += (i ? ",\n  " : "\n  ") + rows[i].Object();
  return out + (rows.empty() ? "]\n" : "\n]\n");
}
