#include "console.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <ctime>

#include <nlohmann/json.hpp>

#include "archive/document.h"
#include "console_pages.h"
#include "printing.h"
#include "routes.h"

namespace kovrad::hub {
namespace {

constexpr std::string_view kRoot = "/console/";
constexpr char kCookie[] = "kovrad_console";
constexpr auto kSessionLength = std::chrono::hours(8);
constexpr size_t kMostSessions = 64;
constexpr int kPageSize = 50;

HttpResponse Html(int status, std::string body) {
  HttpResponse response{status, std::move(body), "text/html; charset=utf-8"};
  // Nothing of the console is kept by the browser, framed or read by
  // another site's page.
  response.headers = {{"Cache-Control", "no-store"},
                      {"X-Frame-Options", "DENY"},
                      {"X-Content-Type-Options", "nosniff"},
                      {"Referrer-Policy", "same-origin"},
                      {"Content-Security-Policy",
                       "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; "
                       "form-action 'self'; frame-ancestors 'none'"}};
  return response;
}

HttpResponse Redirect(const std::string& to) {
  HttpResponse response = Html(303, "");
  response.headers.emplace_back("Location", to);
  return response;
}

// The message of a JSON error answer, for a page.
std::string ErrorText(const HttpResponse& response) {
  const nlohmann::json body = nlohmann::json::parse(response.body, nullptr, false);
  return body.is_object() ? body.value("erro", response.body) : response.body;
}

// The binary answers (extrato, bundle) pass as they are; an error becomes a page.
HttpResponse Pass(const std::string& title, HttpResponse response) {
  if (response.status == 200) {
    response.headers = {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
    return response;
  }
  return Html(response.status,
              ConsolePage(title, "<p class=\"erro\">" + EscapeHtml(ErrorText(response)) + "</p>"));
}

std::string CookieValue(const HttpRequest& request) {
  const std::string cookies = request.Header("cookie");
  const std::string name = std::string(kCookie) + "=";
  for (size_t at = 0; at < cookies.size();) {
    while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
    const size_t end = std::min(cookies.find(';', at), cookies.size());
    if (cookies.compare(at, name.size(), name) == 0) {
      return cookies.substr(at + name.size(), end - at - name.size());
    }
    at = end;
  }
  return {};
}

// A form posted from another site's page carries its own Origin.
bool SameOrigin(const HttpRequest& request) {
  const std::string origin = request.Header("origin");
  if (origin.empty()) return true;
  const size_t scheme = origin.find("://");
  return scheme != std::string::npos && origin.substr(scheme + 3) == request.Header("host");
}

std::string Field(const HttpRequest& request, const char* name) {
  const auto found = request.fields.find(name);
  return found != request.fields.end() ? found->second : std::string();
}

std::string ThisMonth() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m", &tm);
  return text;
}

HttpResponse Coupons(const Hub& hub, const HttpRequest& request) {
  CouponSearch search;
  for (const char* name : {"de", "ate", "caixa", "documento"}) {
    const auto found = request.query.find(name);
    if (found != request.query.end()) search.values[name] = found->second;
  }
  search.query.per_page = kPageSize;
  search.query.latest_first = true;
  search.problem = ReadCouponQuery(request, &search.query);
  if (search.problem.empty() && !hub.archive->Search(search.query, &search.page, &search.problem)) {
    return Html(500, ConsolePage("Cupons", CouponsBody(search)));
  }
  return Html(search.problem.empty() ? 200 : 400, ConsolePage("Cupons", CouponsBody(search)));
}

// /console/cfe/<chave>[/extrato.(png|pdf|txt) | /imprimir]
HttpResponse Coupon(const Hub& hub, const HttpRequest& request, std::string_view rest) {
  const size_t slash = rest.find('/');
  const std::string digits = archive::KeyDigits(rest.substr(0, slash));
  const std::string tail(slash == std::string_view::npos ? "" : rest.substr(slash + 1));
  const std::string title = "Cupom";
  archive::Entry entry;
  std::string xml, error;
  const archive::Read read =
      digits.empty() ? archive::Read::kNotFound : hub.archive->Xml(digits, &xml, &error);
  if (read == archive::Read::kNotFound) {
    return Html(404, ConsolePage(title, "<p class=\"erro\">Cupom não encontrado no arquivo.</p>"));
  }
  if (read != archive::Read::kFound ||
      hub.archive->Find(digits, &entry, &error) != archive::Read::kFound) {
    return Html(500, ConsolePage(title, "<p class=\"erro\">" + EscapeHtml(error) + "</p>"));
  }
  const std::string key = "CFe" + digits;
  if (tail == "imprimir" && request.method == "POST") {
    if (hub.prints == nullptr) return Pass(title, ErrorResponse(503, "Impressão indisponível."));
    const HttpResponse printed = PrintCoupon(hub.config.printers, *hub.prints,
                                             {key, xml, entry.till, Field(request, "impressora")});
    return Html(printed.status, ConsolePage("Impressão do extrato",
                                            PrintedBody(key, printed.status, printed.body)));
  }
  if (request.method != "GET") return Html(405, ConsolePage(title, "<p>Use GET.</p>"));
  if (tail == "extrato.png" || tail == "extrato.pdf" || tail == "extrato.txt") {
    return Pass(title, ExtratoResponse(xml, tail.substr(8)));
  }
  if (!tail.empty()) {
    return Html(404, ConsolePage(title, "<p class=\"erro\">Página desconhecida.</p>"));
  }
  const std::vector<PrintEntry> prints =
      hub.prints != nullptr ? hub.prints->For(key) : std::vector<PrintEntry>{};
  return Html(200, ConsolePage("Cupom " + std::to_string(entry.number),
                               CouponBody(entry, prints, hub.config.printers)));
}

HttpResponse Bundle(const Hub& hub, const HttpRequest& request) {
  const auto month = request.query.find("mes");
  if (month == request.query.end()) {
    return Html(200, ConsolePage("Pacote do contador", BundleBody(ThisMonth(), "")));
  }
  HttpResponse bundle = BundleResponse(hub, month->second, "");
  if (bundle.status != 200) {
    return Html(bundle.status,
                ConsolePage("Pacote do contador", BundleBody(month->second, ErrorText(bundle))));
  }
  bundle = Pass("Pacote do contador", std::move(bundle));
  bundle.headers.emplace_back("Content-Disposition",
                              "attachment; filename=\"cfe-" + month->second + ".zip\"");
  return bundle;
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool Console::IsConsolePath(std::string_view path) {
  return path == "/console" || path.starts_with(kRoot);
}

std::string Console::Open(const std::string& token) {
  if (token.size() != token_.size() ||
      CRYPTO_memcmp(token.data(), token_.data(), token_.size()) != 0) {
    return {};
  }
  unsigned char random[32];
  if (RAND_bytes(random, sizeof random) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char byte : random) {
    id += kHex[byte >> 4];
    id += kHex[byte & 15];
  }
  std::lock_guard lock(mutex_);
  const auto now = Clock::now();
  std::erase_if(sessions_, [now](const auto& session) { return session.second <= now; });
  // The oldest gives way: logins never grow the hub without bound.
  if (sessions_.size() >= kMostSessions) {
    sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(),
                                     [](auto& a, auto& b) { return a.second < b.second; }));
  }
  sessions_[id] = now + kSessionLength;
  return id;
}

bool Console::Live(const HttpRequest& request) {
  const std::string id = CookieValue(request);
  if (id.empty()) return false;
  std::lock_guard lock(mutex_);
  const auto found = sessions_.find(id);
  return found != sessions_.end() && found->second > Clock::now();
}

void Console::Close(const HttpRequest& request) {
  std::lock_guard lock(mutex_);
  sessions_.erase(CookieValue(request));
}

HttpResponse Console::Route(const Hub& hub, const HttpRequest& request) {
  if (request.path == "/console") return Redirect(std::string(kRoot));
  const std::string_view rest = std::string_view(request.path).substr(kRoot.size());
  if (request.method == "POST" && !SameOrigin(request)) {
    return Html(403, LoginPage("Formulário de outro site recusado."));
  }
  if (rest == "entrar" && request.method == "POST") {
    const std::string id = Open(Field(request, "token"));
    if (id.empty()) return Html(401, LoginPage("Token inválido."));
    HttpResponse response = Redirect(std::string(kRoot));
    const bool tls = !hub.config.tls_certificate.empty();
    response.headers.emplace_back("Set-Cookie", std::string(kCookie) + "=" + id +
                                                    "; Path=/console/; HttpOnly; SameSite=Strict" +
                                                    (tls ? "; Secure" : ""));
    return response;
  }
  // Without a session, the login form and nothing else.
  if (!Live(request)) return Html(401, LoginPage(""));
  if (rest == "sair" && request.method == "POST") {
    Close(request);
    HttpResponse response = Redirect(std::string(kRoot));
    response.headers.emplace_back("Set-Cookie", std::string(kCookie) +
                                                    "=; Path=/console/; Max-Age=0; HttpOnly; "
                                                    "SameSite=Strict");
    return response;
  }
  if (rest.empty()) return Html(200, ConsolePage("Dispositivos", DevicesBody(hub)));
  if (rest == "cfe") return Coupons(hub, request);
  if (rest.starts_with("cfe/")) return Coupon(hub, request, rest.substr(4));
  if (rest == "pacote") return Bundle(hub, request);
  return Html(404, ConsolePage("Página desconhecida", "<p>Use o menu acima.</p>"));
}

}  // namespace kovrad::hub
