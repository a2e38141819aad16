// The store console: HTML pages under /console/ for the store's people, in
// Portuguese, behind a token of their own. The login form trades the token
// for a session cookie (HttpOnly, SameSite=Strict, for /console/ only);
// without a live session every path answers the login form and nothing
// else. Pages are written on the server, every value escaped, no script.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "http_server.h"

namespace kovrad::hub {

struct Hub;

// `text` safe between tags and inside quoted attributes.
std::string EscapeHtml(std::string_view text);

class Console {
 public:
  explicit Console(std::string token) : token_(std::move(token)) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  static bool IsConsolePath(std::string_view path);
  HttpResponse Route(const Hub& hub, const HttpRequest& request);

 private:
  using Clock = std::chrono::steady_clock;
  // A new session's identifier; empty when `token` is not the console's.
  std::string Open(const std::string& token);
  bool Live(const HttpRequest& request);
  void Close(const HttpRequest& request);

  const std::string token_;
  std::mutex mutex_;
  std::map<std::string, Clock::time_point> sessions_;  // identifier -> end
};

}  // namespace kovrad::hub
