// The device's status: the ConsultarStatusOperacional reply read into its 28
// fields, the values the status panel shows, the query with its retries and
// the history of the replies.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

inline constexpr int kStatusFields = 28;

// Fields 1 to 27 are texts cut at their reading width; field 28 is its first
// character only. Reading stops at the first empty field: it and every later
// field stay empty.
struct StatusReply {
  std::array<std::string, kStatusFields> fields;
  // `n` counts from 1, as the fields are numbered.
  const std::string& operator[](int n) const { return fields.at(static_cast<size_t>(n - 1)); }
};

// Reads UTF-8 text; widths count characters.
StatusReply ReadStatusReply(std::string_view reply);

// "YYYY/MM/DD hh:mm:ss" from "YYYYMMDDhhmmss", and "YYYY/MM/DD" from
// "YYYYMMDD"; a shorter field ends the text where its characters run out.
std::string DateTimeText(std::string_view field);
std::string DateText(std::string_view field);

// The operating state named by the first character of field 28; nothing for
// a character without a name.
std::optional<std::string> OperatingState(std::string_view field);

enum class Shown { kText, kDateTime, kDate, kState };

// One line of the status panel.
struct PanelRow {
  const char* caption;
  const char* label;  // object name of the value label
  int field;
  Shown shown;
};

// The panel's lines in order: the first twelve in the left column.
extern const std::array<PanelRow, 23> kPanelRows;
inline constexpr size_t kLeftColumnRows = 12;

// What the row's value label shows; nothing when it keeps what it has.
std::optional<std::string> PanelValue(const PanelRow& row, const StatusReply& reply);

// The outcome of a status query.
struct StatusOutcome {
  enum class Kind {
    kUnbound,      // the library or the function could not be found
    kPortFailure,  // the port or the device never became ready
    kSuccess,
    kRefused,  // any other answer: shown to the operator as it came
  };
  Kind kind = Kind::kUnbound;
  std::string reply;    // the last reply, as UTF-8
  std::string message;  // what to show the operator (empty on success)
  bool code_invalid = false;
  int calls = 0;
};

inline constexpr int kStatusAttempts = 4;

// Told, on the calling thread, what the query waits for before each call
// again ("tentativa 2 de 4: o SAT não respondeu em 20 s").
using StatusProgress = std::function<void(const std::string& waiting)>;

// Calls ConsultarStatusOperacional with `code` (Windows-1252), again at once
// while the port or the device is not ready, four calls at the most. A
// failure's message carries a line on its likely cause and what to do.
StatusOutcome QueryStatus(client::Library& library, const std::string& code,
                          const StatusProgress& progress = {});

// Every successful status reply of the run, in order.
class StatusHistory {
 public:
  void Append(std::string line) { lines_.push_back(std::move(line)); }
  const std::vector<std::string>& lines() const { return lines_; }
  // Writes one line per reply, replacing the file whole or not at all; false
  // with `problem` set when the file cannot be written.
  bool Save(const std::string& path, std::string* problem) const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace kovrad::manager
