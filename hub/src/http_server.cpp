#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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
  bool counted = false;  // holds one of the client's requests in flight
  MHD_PostProcessor* form = nullptr;
  HttpRequest request;
};

namespace {

// Headers and the request line of one request, at most.
constexpr size_t kHeaderMemory = 64 * 1024;
// Forward-secret key exchanges only, TLS 1.2 and 1.3.
constexpr char kTlsPriorities[] =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-RSA:-DHE-DSS:-ARCFOUR-128:-3DES-CBC:"
    "-VERS-SSL3.0:%SERVER_PRECEDENCE";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

MHD_Result Send(MHD_Connection* connection, const HttpResponse& response) {
  MHD_Response* r = MHD_create_response_from_buffer(
      response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, "Content-Type", response.content_type.c_str());
  if (response.retry_after > 0) {
    MHD_add_response_header(r, "Retry-After", std::to_string(response.retry_after).c_str());
  }
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

// The headers as read, and what makes the request ambiguous: a header
// that decides who calls, for which till or how long the body is, given
// twice (which copy counts differs from one program to the next), or a
// value with a control character (a zero byte cuts it short here).
struct HeaderScan {
  std::map<std::string, std::string>* headers;
  std::string problem;
};

bool IsSingular(const std::string& name) {
  return name == "authorization" || name == "content-length" || name == "numero-caixa" ||
         name == "numero_caixa" || name == "idempotency-key" || name == "transfer-encoding" ||
         name == "content-type" || name == "host";
}

MHD_Result CollectHeader(void* cls, MHD_ValueKind, const char* key, size_t key_size,
                         const char* value, size_t value_size) {
  auto* scan = static_cast<HeaderScan*>(cls);
  std::string name = Lower(std::string(key, key_size));
  const std::string text = value != nullptr ? std::string(value, value_size) : std::string();
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
      scan->problem = "Cabeçalho " + std::string(key, key_size) + " com caractere de controle.";
      return MHD_NO;
    }
  }
  // The till's number is one header by either spelling.
  if (name == "numero_caixa") name = "numero-caixa";
  if (IsSingular(name) && scan->headers->contains(name)) {
    scan->problem = "Cabeçalho " + std::string(key, key_size) + " repetido.";
    return MHD_NO;
  }
  (*scan->headers)[name] = text;
  return MHD_YES;
}

std::string AddressText(const sockaddr* address) {
  if (address == nullptr) return {};
  char text[INET6_ADDRSTRLEN] = "";
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  return info != nullptr ? AddressText(info->client_addr) : std::string();
}

HttpResponse Refused(Metrics& metrics, const char* reason, HttpResponse response) {
  metrics.Refusal(reason);
  return response;
}

// The URL's parameters, names in lower case.
MHD_Result CollectQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
  std::string name(key);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  (*static_cast<std::map<std::string, std::string>*>(cls))[name] = value != nullptr ? value : "";
  return MHD_YES;
}

// The checks made on a request's headers, before its body is read; the
// refusal, or nothing when the request goes on.
std::optional<HttpResponse> Screen(HttpServer& server, HttpServer::Connection& c,
                                   MHD_Connection* connection) {
  HttpRequest& request = c.request;
  Metrics& metrics = server.metrics();
  HeaderScan scan{&request.headers, {}};
  MHD_get_connection_values_n(connection, MHD_HEADER_KIND, CollectHeader, &scan);
  if (!scan.problem.empty()) return Refused(metrics, "http", ErrorResponse(400, scan.problem));
  if (request.method == "POST" && !request.headers.contains("content-length")) {
    return Refused(metrics, "http",
                   ErrorResponse(400, "Envie o corpo com Content-Length (sem chunked)."));
  }
  switch (server.client_limits().BeginRequest(request.client)) {
    case ClientLimits::Refusal::kNone:
      c.counted = true;
      break;
    case ClientLimits::Refusal::kInFlight: {
      HttpResponse busy = ErrorResponse(
          429, "Este cliente já tem o máximo de requisições em curso; aguarde uma resposta.");
      busy.retry_after = 1;
      return Refused(metrics, "em_curso", busy);
    }
    default: {
      HttpResponse busy =
          ErrorResponse(429, "Requisições demais deste cliente por segundo; tente de novo.");
      busy.retry_after = 1;
      return Refused(metrics, "taxa", busy);
    }
  }
  if (auto refused = server.admit()(request)) return refused;
  // A body announced too large is refused before it is read.
  const std::string& length = request.Header("content-length");
  if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > c.limit) {
    return Refused(metrics, "corpo", TooLarge(c.limit));
  }
  return std::nullopt;
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
    c->request.client = ClientAddress(connection);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, CollectQuery, &c->request.query);
    c->limit = server->limit()(c->request.path);
    if (auto refused = Screen(*server, *c, connection)) {
      // Answered now: the body, if any, is never read.
      c->too_large = true;
      return Send(connection, *refused);
    }
    c->form = MHD_create_post_processor(connection, 64 * 1024, FormField, &c->request.fields);
    c->request.form = c->form != nullptr;
    return MHD_YES;
  }
  if (*size > 0) {
    if (!c->too_large && c->request.body.size() + *size > c->limit) {
      c->too_large = true;
      server->metrics().Refusal("corpo");
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
  try {
    return Send(connection, server->handler()(c->request));
  } catch (const std::exception& e) {
    Log(Level::kError, std::string("erro ao atender ") + url + ": " + e.what());
    return Send(connection, ErrorResponse(500, "Erro interno do hub."));
  }
}

void Completed(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  auto* c = static_cast<HttpServer::Connection*>(*state);
  if (c == nullptr) return;
  if (c->counted) static_cast<HttpServer*>(cls)->client_limits().EndRequest(c->request.client);
  if (c->form != nullptr) MHD_destroy_post_processor(c->form);
  delete c;
  *state = nullptr;
}

MHD_Result AcceptClient(void* cls, const sockaddr* address, socklen_t) {
  auto* server = static_cast<HttpServer*>(cls);
  if (server->client_limits().HasRoom(AddressText(address))) return MHD_YES;
  server->metrics().Refusal("conexoes");
  return MHD_NO;
}

// Counts each client's connections while they are open.
void ConnectionEvent(void* cls, MHD_Connection* connection, void** socket_state,
                     MHD_ConnectionNotificationCode code) {
  auto* server = static_cast<HttpServer*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    auto* client = new std::string(ClientAddress(connection));
    server->client_limits().OpenConnection(*client);
    *socket_state = client;
  } else if (auto* client = static_cast<std::string*>(*socket_state)) {
    server->client_limits().CloseConnection(*client);
    delete client;
    *socket_state = nullptr;
  }
}

void DaemonLog(void*, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  Log(Level::kWarning, std::string("http: ") + text);
}

// A private key others on the machine may read is no longer private.
bool KeyIsPrivate(const std::string& path, std::string* error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return true;  // reported as unreadable
  if ((st.st_mode & S_IRWXO) == 0) return true;
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  *error = "a chave TLS " + path + " pode ser lida por outros usuários (modo " + mode +
           "): use chmod 0600 (ou 0640 com o grupo do hub)";
  return false;
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
    if (!KeyIsPrivate(config.tls_key, error)) return false;
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
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Completed), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ConnectionEvent), this},
      {MHD_OPTION_CONNECTION_LIMIT, config.limits.connections, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, config.limits.idle_seconds, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kHeaderMemory, nullptr},
      // Malformed request lines and headers are refused rather than guessed at.
      {MHD_OPTION_STRICT_FOR_CLIENT, 1, nullptr},
  };
  if (tls) {
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, certificate_.data()});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()});
    options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  client_limits_ = std::make_unique<ClientLimits>(config.limits);
  daemon_ = MHD_start_daemon(flags, 0, &AcceptClient, this, &Access, this, MHD_OPTION_ARRAY,
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
