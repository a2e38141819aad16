// The HTTP side of the hub, on libmicrohttpd: one thread per connection (a
// call may wait for its device for as long as a sale takes), request bodies
// bounded per route, form fields decoded by the library.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "config.h"
#include "functions.h"

struct MHD_Daemon;

namespace kovrad::hub {

struct HttpRequest {
  std::string method;
  std::string path;
  std::string client;                          // the client's address
  std::map<std::string, std::string> headers;  // names in lower case
  std::map<std::string, std::string> query;    // the URL's parameters, names in lower case
  bool form = false;                           // the body was a form: its fields are in `fields`
  Fields fields;
  std::string body;

  std::string Header(const std::string& lower_case_name) const;
};

struct HttpResponse {
  int status = 200;
  std::string body;
  std::string content_type = "application/json; charset=utf-8";
};

// A JSON body {"erro": message}.
HttpResponse ErrorResponse(int status, const std::string& message);

class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;
  // The largest body a route takes.
  using Limit = std::function<size_t(const std::string& path)>;

  HttpServer(Handler handler, Limit limit)
      : handler_(std::move(handler)), limit_(std::move(limit)) {}
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  bool Start(const Config& config, std::string* error);
  // The port listened on (the one chosen when the configuration said 0).
  int port() const;

  // libmicrohttpd's callbacks.
  struct Connection;
  const Handler& handler() const { return handler_; }
  const Limit& limit() const { return limit_; }

 private:
  Handler handler_;
  Limit limit_;
  MHD_Daemon* daemon_ = nullptr;
  std::string certificate_, key_;  // kept while the daemon runs
};

}  // namespace kovrad::hub
