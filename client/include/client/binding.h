// The device library, bound while the program runs: loaded on first use and
// kept for the rest of the run, each function looked up by its export name at
// the moment it is called. Nothing here is ever called through a null pointer:
// a library or function that cannot be found comes back as a message for the
// operator instead.
//
// The kovrad client layer for C++ programs (libkovrad-client-dev; include
// these headers as "client/binding.h" and so on, link kovrad-client through
// pkg-config or Kovrad::client through CMake, compile as C++20). Its parts:
//   client/binding.h        this file: load the library, call a function
//   client/functions.h      the standard functions, their result codes and
//                           what each code means for the caller
//   client/replies.h        reply lines read into structs (typed replies)
//   client/reply_line.h     reply-line fields, the session-match rule
//   client/recovery.h       the fate of a sale whose reply was lost
//   client/session_store.h  session numbers that do not repeat across runs
//   client/link_error.h     the link error codes of CodigoErro
//   client/text.h           Windows-1252, the library's code page
// Nothing in the layer throws on what a device sends; failures come back as
// values (an empty optional, `false`, a `problem` text).
//
// Ownership: a Reply owns its copy of the reply text, so the library's buffer
// may be reused at once. The library, once loaded, stays loaded until the
// process ends; a Library object must outlive the calls made through it.
//
// Threads: one Library may be shared; loading and look-ups are locked. The
// device library itself lets calls take turns (see kovrad.h), and CodigoErro
// belongs to the last call of any thread: a thread that reads ErrorRecord()
// after its call must keep other threads from calling in between.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kovrad.h"

namespace kovrad::client {

// What one call through the binding gave: the reply copied out of the
// library's buffer (raw bytes, as the device sent them), or why no call was
// made (`called` false, `problem` in Portuguese for the operator).
struct Reply {
  bool called = false;
  std::string text;
  bool null = false;  // the export returned no text at all
  std::string problem;
};

class Library {
 public:
  // The files tried in order; the first that loads is kept.
  explicit Library(std::vector<std::string> candidates = DefaultCandidates());
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // For a program run from the build tree, the library built with it; then
  // the one beside the executable, the one in the install layout's library
  // folder, and the system's usual search.
  static std::vector<std::string> CandidatesFor(const std::filesystem::path& executable);
  // The candidates for the running program.
  static std::vector<std::string> DefaultCandidates();

  // The address of export `name`, loading the library first when needed;
  // null with `problem` set when either cannot be found.
  void* Lookup(const char* name, std::string* problem);

  // The handle taken on first use (null before it, or while loading fails).
  void* handle() const;

  // Calls the SAT function `name` of type `Fn` with `args` and copies its reply.
  // Blocks for as long as the function's time limit allows (functions.h).
  template <typename Fn, typename... Args>
  Reply Text(const char* name, Args... args) {
    Reply reply;
    auto* function = reinterpret_cast<Fn*>(Lookup(name, &reply.problem));
    if (function == nullptr) return reply;
    const char* text = function(args...);
    reply.called = true;
    reply.null = text == nullptr;
    reply.text = text != nullptr ? text : "";
    return reply;
  }

  // The link error record through CodigoErro; nothing (and `problem` set)
  // when the function cannot be found.
  std::optional<COMM_ERROR> ErrorRecord(std::string* problem);

 private:
  std::vector<std::string> candidates_;
  mutable std::mutex mutex_;
  void* handle_ = nullptr;
};

// Calls the export of that name with its declared type from kovrad.h:
//   Reply r = KOVRAD_SAT(library, ConsultarSAT, session);
#define KOVRAD_SAT(library, function, ...) \
  (library).Text<decltype(::function)>(#function __VA_OPT__(, ) __VA_ARGS__)

// The operator's message for a link error record: the fixed text of a link
// error code, otherwise the record's message followed by 30 blanks.
std::string ErrorReport(const COMM_ERROR& record);

// After an operation's SAT call: the message for the operator, from
// CodigoErro, or why the call could not be made.
std::string ReportAfterCall(Library& library, const Reply& reply);

}  // namespace kovrad::client
