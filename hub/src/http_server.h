// The HTTP side of the hub, on libmicrohttpd: one thread per connection (a
// call may wait for its device for as long as a sale takes), request bodies
// bounded per route, form fields decoded by the library. Before a body is
// read the request's headers are checked (no header a request may carry
// once given twice, no control character in a value, a POST declares its
// length), the client's limits applied and the caller admitted.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "client_limits.h"
#include "config.h"
#include "functions.h"
#include "metrics.h"

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
  int retry_after = 0;  // seconds; 0: no Retry-After
};

// A JSON body {"erro": message}.
HttpResponse ErrorResponse(int status, const std::string& message);

class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;
  // The largest body a route takes.
  using Limit = std::function<size_t(const std::string& path)>;
  // Whether the caller may send this request, from its headers alone: the
  // refusal, before any of the body is read.
  using Admit = std::function<std::optional<HttpResponse>(const HttpRequest& headers)>;

  HttpServer(Handler handler, Limit limit, Admit admit, Metrics* metrics)
      : handler_(std::move(handler)),
        limit_(std::move(limit)),
        admit_(std::move(admit)),
        metrics_(metrics) {}
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
  const Admit& admit() const { return admit_; }
  Metrics& metrics() const { return *metrics_; }
  ClientLimits& client_limits() const { return *client_limits_; }

 private:
  Handler handler_;
  Limit limit_;
  Admit admit_;
  Metrics* metrics_;
  std::unique_ptr<ClientLimits> client_limits_;
  MHD_Daemon* daemon_ = nullptr;
  std::string certificate_, key_;  // kept while the daemon runs
};

}  // namespace kovrad::hub
