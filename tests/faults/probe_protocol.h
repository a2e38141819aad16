// What the fault probe reports, one "name=value" line per item, values
// escaped onto one line (\xNN for control bytes, backslash and bytes past
// ASCII), so that any reply survives the trip through a pipe.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <string_view>

namespace kovrad::test {

inline std::string EscapeValue(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

inline std::string UnescapeValue(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The report's items by name; a name seen twice keeps the last value.
inline std::map<std::string, std::string> ParseReport(std::string_view report) {
  std::map<std::string, std::string> items;
  while (!report.empty()) {
    const size_t end = report.find('\n');
    const std::string_view line = report.substr(0, end);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      items[std::string(line.substr(0, equals))] = UnescapeValue(line.substr(equals + 1));
    }
    if (end == std::string_view::npos) break;
    report.remove_prefix(end + 1);
  }
  return items;
}

}  // namespace kovrad::test
