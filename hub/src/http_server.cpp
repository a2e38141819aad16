#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "log.h"

namespace kovrad::hub {

struct HttpServer::Connection {
  size_t limit = 0;
  bool too_large = false;
  MHD_PostProcessor* form = nullptr;
  HttpRequest request;
};

namespace {

constexpr unsigned kConnectionLimit = 512;
constexpr unsigned kIdleSeconds = 120;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

MHD_Result Send(MHD_Connection* connection, const HttpResponse& response) {
  MHD_Response* r = MHD_create_response_from_buffer(
      response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, "Content-Type", response.content_type.c_str());
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(response.status), r);
  MHD_destroy_response(r);
  return queued;
}

HttpResponse TooLarge(size_t limit) {
  return ErrorResponse(413, "Corpo da requisição maior que o limite de " + std::to_string(limit) +
                                " bytes desta rota.");
}

MHD_Result FormField(void* cls, MHD_ValueKind, const char* key, const char*, const char*,
                     const char*, const char* data, uint64_t offset, size_t size) {
  auto* fields = static_cast<Fields*>(cls);
  std::string& value = (*fields)[key];
  if (offset == 0) value.clear();
  value.append(data, size);
  return MHD_YES;
}

MHD_Result CollectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto* headers = static_cast<std::map<std::string, std::string>*>(cls);
  (*headers)[Lower(key)] = value != nullptr ? value : "";
  return MHD_YES;
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (info == nullptr || info->client_addr == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

MHD_Result Access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char* data, size_t* size, void** state) {
  auto* server = static_cast<HttpServer*>(cls);
  auto* c = static_cast<HttpServer::Connection*>(*state);
  if (c == nullptr) {
    c = new HttpServer::Connection;
    *state = c;
    c->request.method = method;
    c->request.path = url;
    c->limit = server->limit()(c->request.path);
    // A body announced too large is refused before it is read.
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length != nullptr && std::strtoull(length, nullptr, 10) > c->limit) {
      c->too_large = true;
      return Send(connection, TooLarge(c->limit));
    }
    c->form = MHD_create_post_processor(connection, 64 * 1024, FormField, &c->request.fields);
    c->request.form = c->form != nullptr;
    return MHD_YES;
  }
  if (*size > 0) {
    if (!c->too_large && c->request.body.size() + *size > c->limit) {
      c->too_large = true;
      std::string().swap(c->request.body);
    }
    if (!c->too_large) {
      c->request.body.append(data, *size);
      if (c->form != nullptr && MHD_post_process(c->form, data, *size) != MHD_YES) {
        c->request.form = false;
      }
    }
    *size = 0;
    return MHD_YES;
  }
  if (c->too_large) return Send(connection, TooLarge(c->limit));
  MHD_get_connection_values(connection, MHD_HEADER_KIND, CollectHeader, &c->request.headers);
  MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, CollectHeader, &c->request.query);
  c->request.client = ClientAddress(connection);
  try {
    return Send(connection, server->handler()(c->request));
  } catch (const std::exception& e) {
    Log(Level::kError, std::string("erro ao atender ") + url + ": " + e.what());
    return Send(connection, ErrorResponse(500, "Erro interno do hub."));
  }
}

void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  auto* c = static_cast<HttpServer::Connection*>(*state);
  if (c == nullptr) return;
  if (c->form != nullptr) MHD_destroy_post_processor(c->form);
  delete c;
  *state = nullptr;
}

void DaemonLog(void*, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  Log(Level::kWarning, std::string("http: ") + text);
}

bool ReadWhole(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  *out = content.str();
  return in.good() || in.eof();
}

}  // namespace

std::string HttpRequest::Header(const std::string& lower_case_name) const {
  const auto found = headers.find(lower_case_name);
  return found != headers.end() ? found->second : std::string();
}

HttpResponse ErrorResponse(int status, const std::string& message) {
  // A message may quote what the client sent, which need not be UTF-8.
  return {status,
          nlohmann::json{{"erro", message}}.dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace),
          "application/json; charset=utf-8"};
}

HttpServer::~HttpServer() {
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
}

bool HttpServer::Start(const Config& config, std::string* error) {
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  const sockaddr* address = nullptr;
  unsigned flags =
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ERROR_LOG;
  if (inet_pton(AF_INET, config.address.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(config.port));
    address = reinterpret_cast<const sockaddr*>(&v4);
  } else if (inet_pton(AF_INET6, config.address.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(config.port));
    address = reinterpret_cast<const sockaddr*>(&v6);
    flags |= MHD_USE_IPv6;
  } else {
    *error = "endereco " + config.address + ": não é um endereço IPv4 ou IPv6";
    return false;
  }
  const bool tls = !config.tls_certificate.empty();
  if (tls) {
    if (!ReadWhole(config.tls_certificate, &certificate_) || certificate_.empty() ||
        !ReadWhole(config.tls_key, &key_) || key_.empty()) {
      *error = "certificado ou chave TLS ilegível";
      return false;
    }
    flags |= MHD_USE_TLS;
  }
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&DaemonLog), nullptr},
      {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(address)},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Completed), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
  };
  if (tls) {
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, certificate_.data()});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Access, this, MHD_OPTION_ARRAY,
                             options.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    *error = "não foi possível ouvir em " + config.address + ":" + std::to_string(config.port) +
             (tls ? " com TLS" : "");
    return false;
  }
  return true;
}

int HttpServer::port() const {
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  return info != nullptr ? info->port : -1;
}

}  // namespace kovrad::hub
