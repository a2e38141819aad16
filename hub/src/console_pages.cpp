#include "console_pages.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "chain.h"
#include "console.h"
#include "routes.h"

namespace kovrad::hub {
namespace {

// Phones first: one column, tables that scroll sideways rather than cut.
constexpr char kStyle[] =
    "body{font:16px/1.45 'DejaVu Sans',sans-serif;margin:0;color:#1b1b1b;background:#f4f5f7}"
    "header{background:#14365d;color:#fff;padding:.6rem 1rem}"
    "header h1{font-size:1.15rem;margin:0 0 .3rem}"
    "nav{display:flex;flex-wrap:wrap;gap:.4rem 1rem;align-items:center}"
    "nav a{color:#fff}nav form{margin:0}"
    "nav button{background:none;border:1px solid #fff;color:#fff;padding:.15rem .6rem}"
    "main{padding:1rem;max-width:72rem;margin:0 auto}"
    "h2{font-size:1.1rem;margin:1.2rem 0 .5rem}"
    ".card{background:#fff;border:1px solid #d0d4da;border-radius:6px;padding:.8rem 1rem;"
    "margin:0 0 1rem}"
    "dl{display:grid;grid-template-columns:minmax(8rem,max-content) 1fr;gap:.25rem 1rem;margin:0}"
    "dt{font-weight:bold}dd{margin:0;overflow-wrap:anywhere}"
    ".table{overflow-x:auto;background:#fff;border:1px solid #d0d4da;border-radius:6px}"
    "table{border-collapse:collapse;width:100%;white-space:nowrap}"
    "th,td{padding:.35rem .6rem;border-bottom:1px solid #e2e5e9;text-align:left}"
    "td.n{text-align:right}a{color:#0b4f9c}"
    "form.busca{display:flex;flex-wrap:wrap;gap:.5rem 1rem;align-items:end;margin:0 0 1rem}"
    "label{display:flex;flex-direction:column;font-size:.9rem}"
    "input,select,button{font:inherit;padding:.3rem .4rem}"
    "button{background:#14365d;color:#fff;border:0;border-radius:4px;padding:.4rem .9rem}"
    ".erro{background:#fde8e8;border:1px solid #b42318;color:#7a1610;padding:.6rem .8rem}"
    ".ok{background:#e7f6ec;border:1px solid #1e7a3c;color:#0f4d24;padding:.6rem .8rem}"
    ".alerta{color:#9a3412;font-weight:bold}"
    "img.extrato{max-width:100%;border:1px solid #d0d4da;background:#fff}"
    ".login{max-width:22rem;margin:3rem auto}.card h2{margin-top:0}"
    "@media (max-width:40rem){dl{grid-template-columns:1fr;gap:0}dd{margin-bottom:.5rem}"
    "main{padding:.75rem}}";

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" +
         EscapeHtml(title) + " · Console da loja</title><style>" + kStyle + "</style></head>";
}

std::string Money(int64_t cents) {
  std::string text = archive::FormatCents(cents);
  text[text.size() - 3] = ',';
  return "R$ " + text;
}

std::string Issued(int64_t issued) {
  std::string text = archive::FormatIssued(issued);
  text[10] = ' ';
  return text;
}

std::string Row(const std::string& name, const std::string& value) {
  return "<dt>" + EscapeHtml(name) + "</dt><dd>" + value + "</dd>";
}

std::string Whole(double value) {
  return std::to_string(static_cast<int64_t>(std::floor(value)));
}

std::string Clock(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &tm);
  return text;
}

std::string Since(double hours) {
  if (hours < 1) return "há menos de uma hora";
  const std::string words = "há " + Whole(hours) + (hours < 2 ? " hora" : " horas");
  // The device locks itself once a coupon waits too long for the tax authority.
  return hours >= 24 ? "<span class=\"alerta\">" + words + ": verifique a conexão do SAT</span>"
                     : words;
}

// ESTADO_OPERACAO in words.
std::string Lock(int state) {
  switch (state) {
    case 0:
      return "desbloqueado";
    case 1:
      return "<span class=\"alerta\">bloqueado pela SEFAZ</span>";
    case 2:
      return "<span class=\"alerta\">bloqueado pelo contribuinte</span>";
    case 3:
      return "<span class=\"alerta\">bloqueado autonomamente (transmissão atrasada)</span>";
    case 4:
      return "<span class=\"alerta\">bloqueado para desativação</span>";
    default:
      return "estado " + std::to_string(state);
  }
}

std::string Certificate(double days) {
  if (days < 0) {
    return "<span class=\"alerta\">vencido há " + Whole(-days) +
           " dias: renove o certificado</span>";
  }
  const std::string words = "válido por mais " + Whole(days) + " dias";
  return days < 30 ? "<span class=\"alerta\">" + words + ": renove em breve</span>" : words;
}

std::string HealthRows(const DeviceHealth& h) {
  std::string rows;
  if (h.operating_state) rows += Row("Bloqueio", Lock(*h.operating_state));
  if (h.certificate_days) rows += Row("Certificado", Certificate(*h.certificate_days));
  rows += Row("Última transmissão", h.hours_since_transmission ? Since(*h.hours_since_transmission)
                                                               : std::string("nenhuma ainda"));
  if (h.pending) {
    rows += Row("Cupons pendentes", std::to_string(*h.pending) + " aguardando transmissão");
  }
  if (h.memory_used) {
    rows += Row("Memória usada", std::to_string(std::lround(*h.memory_used * 100)) + "%");
  }
  if (h.clock_drift && std::fabs(*h.clock_drift) >= 60) {
    rows += Row("Relógio", "<span class=\"alerta\">" + Whole(std::fabs(*h.clock_drift)) +
                               " s de diferença do hub</span>");
  }
  return rows + Row("Consultado em", Clock(h.taken));
}

std::string ShippingCard(const Shipper& shipper) {
  const ShippingStatus s = shipper.Status();
  std::string rows = Row("Conexão", s.connected ? "conectado"
                                                : "<span class=\"alerta\">sem "
                                                  "conexão</span>");
  rows += Row("Aguardando envio", s.backlog < 0 ? "desconhecido" : std::to_string(s.backlog));
  rows += Row("Enviados", std::to_string(s.shipped));
  if (s.rejected > 0) rows += Row("Recusados", std::to_string(s.rejected));
  rows += Row("Último envio", s.last_shipped > 0 ? Clock(s.last_shipped) : "nenhum desde o início");
  if (!s.problem.empty()) rows += Row("Problema", EscapeHtml(s.problem));
  return "<h2>Envio ao banco central da rede</h2><div class=\"card\"><dl>" + rows + "</dl></div>";
}

std::string Input(const CouponSearch& search, const char* name, const char* label, const char* type,
                  const char* extra = "") {
  const auto found = search.values.find(name);
  const std::string value = found != search.values.end() ? found->second : "";
  return std::string("<label>") + label + "<input type=\"" + type + "\" name=\"" + name +
         "\" value=\"" + EscapeHtml(value) + "\"" + extra + "></label>";
}

std::string Link(const CouponSearch& search, int page, const char* words) {
  std::string href = "/console/cfe?pagina=" + std::to_string(page);
  for (const auto& [name, value] : search.values) {
    if (!value.empty()) href += "&" + name + "=" + value;
  }
  return "<a href=\"" + EscapeHtml(href) + "\">" + words + "</a>";
}

std::string CouponRow(const archive::Entry& e) {
  const std::string key = "CFe" + e.key;
  const bool sale = e.kind == archive::Kind::kSale;
  const std::string situation = !sale                    ? "cancelamento"
                                : e.cancelled_by.empty() ? "venda"
                                                         : "venda cancelada";
  return "<tr><td><a href=\"/console/cfe/" + key + "\">" + std::to_string(e.number) +
         "</a></td><td>" + Issued(e.issued) + "</td><td class=\"n\">" + Money(e.total) +
         "</td><td class=\"n\">" + (e.till >= 0 ? std::to_string(e.till) : "—") + "</td><td>" +
         situation + "</td><td>" + (e.buyer.empty() ? "—" : EscapeHtml(e.buyer)) + "</td><td>" +
         EscapeHtml(e.serial) + "</td></tr>";
}

}  // namespace

std::string ConsolePage(const std::string& title, const std::string& body) {
  return Head(title) +
         "<body><header><h1>Console da loja</h1><nav>"
         "<a href=\"/console/\">Dispositivos</a><a href=\"/console/cfe\">Cupons</a>"
         "<a href=\"/console/pacote\">Pacote do contador</a>"
         "<form method=\"post\" action=\"/console/sair\"><button>Sair</button></form>"
         "</nav></header><main><h2>" +
         EscapeHtml(title) + "</h2>" + body + "</main></body></html>\n";
}

std::string LoginPage(const std::string& problem) {
  return Head("Entrar") + "<body><header><h1>Console da loja</h1></header><main class=\"login\">" +
         (problem.empty() ? "" : "<p class=\"erro\">" + EscapeHtml(problem) + "</p>") +
         "<form method=\"post\" action=\"/console/entrar\" class=\"card\">"
         "<label>Token do console<input type=\"password\" name=\"token\" "
         "autocomplete=\"current-password\" required autofocus></label>"
         "<p><button>Entrar</button></p></form></main></body></html>\n";
}

std::string DevicesBody(const Hub& hub) {
  const Watcher* watcher = hub.chain != nullptr ? hub.chain->watcher() : nullptr;
  const auto health =
      watcher != nullptr ? watcher->Health() : std::map<std::string, DeviceHealth>{};
  std::string body;
  if (hub.service.devices().empty())
    body += "<p class=\"erro\">Nenhum SAT conectado a este hub.</p>";
  for (const auto& device : hub.service.devices()) {
    std::string rows = Row("Porta", "ttyACM" + std::to_string(device->port()));
    rows += Row("Processo",
                device->worker_pid() > 0 ? "em execução" : "<span class=\"alerta\">parado</span>");
    rows += Row("Fila", std::to_string(device->depth()) + " chamadas aguardando");
    const auto found = health.find(device->serial());
    if (found != health.end()) {
      rows += HealthRows(found->second);
    } else {
      rows += Row("Estado", hub.config.status_period > 0
                                ? "ainda sem resposta à consulta de status (a cada " +
                                      std::to_string(hub.config.status_period) + " s)"
                                : std::string("consulta de status desligada (intervalo_status)"));
    }
    body += "<div class=\"card\"><h2>SAT " + EscapeHtml(device->serial()) + "</h2><dl>" + rows +
            "</dl></div>";
  }
  const Shipper* shipper = hub.chain != nullptr ? hub.chain->shipper() : nullptr;
  if (shipper != nullptr) body += ShippingCard(*shipper);
  return body;
}

std::string CouponsBody(const CouponSearch& search) {
  std::string body =
      "<form class=\"busca\" method=\"get\" action=\"/console/cfe\">" +
      Input(search, "de", "De", "date") + Input(search, "ate", "Até", "date") +
      Input(search, "caixa", "Caixa", "text", " inputmode=\"numeric\" size=\"4\"") +
      Input(search, "documento", "CPF ou CNPJ", "text", " inputmode=\"numeric\" size=\"14\"") +
      "<button>Procurar</button></form>";
  if (!search.problem.empty())
    return body + "<p class=\"erro\">" + EscapeHtml(search.problem) + "</p>";
  if (search.page.entries.empty()) return body + "<p>Nenhum cupom encontrado.</p>";
  body +=
      "<div class=\"table\"><table><thead><tr><th>Nº</th><th>Emissão</th><th>Total</th>"
      "<th>Caixa</th><th>Tipo</th><th>Documento</th><th>SAT</th></tr></thead><tbody>";
  for (const archive::Entry& e : search.page.entries) body += CouponRow(e);
  body += "</tbody></table></div><p>";
  if (search.query.page > 1) body += Link(search, search.query.page - 1, "« anteriores") + " ";
  if (search.page.more) body += Link(search, search.query.page + 1, "mais antigos »");
  return body + "</p>";
}

std::string CouponBody(const archive::Entry& e, const std::vector<PrintEntry>& prints,
                       const Printers& printers) {
  const std::string key = "CFe" + e.key;
  std::string rows = Row("Chave", "<code>" + key + "</code>");
  rows += Row("Tipo", e.kind == archive::Kind::kSale ? "venda" : "cancelamento");
  rows += Row("Número", std::to_string(e.number));
  rows += Row("Emissão", Issued(e.issued));
  rows += Row("Caixa", e.till >= 0 ? std::to_string(e.till) : "—");
  rows += Row("Total", Money(e.total));
  rows += Row("CPF/CNPJ do consumidor", e.buyer.empty() ? "—" : EscapeHtml(e.buyer));
  rows += Row("SAT", EscapeHtml(e.serial));
  if (!e.cancelled_by.empty()) {
    rows += Row("Cancelado por",
                "<a href=\"/console/cfe/CFe" + e.cancelled_by + "\">CFe" + e.cancelled_by + "</a>");
  }
  if (!e.sale_key.empty()) {
    rows +=
        Row("Venda", "<a href=\"/console/cfe/CFe" + e.sale_key + "\">CFe" + e.sale_key + "</a>");
  }
  std::string body = "<div class=\"card\"><dl>" + rows + "</dl>" + "<p><a href=\"/console/cfe/" +
                     key + "/extrato.pdf\">Extrato em PDF</a> · <a href=\"/console/cfe/" + key +
                     "/extrato.txt\">em texto</a></p></div>";
  std::string options = "<option value=\"\">a do caixa</option>";
  for (const auto& [name, destination] : printers.named) {
    options += "<option value=\"" + EscapeHtml(name) + "\">" + EscapeHtml(name) + "</option>";
  }
  body += "<form class=\"busca card\" method=\"post\" action=\"/console/cfe/" + key +
          "/imprimir\"><label>Impressora<select name=\"impressora\">" + options +
          "</select></label><button>Imprimir o extrato</button></form>";
  if (!prints.empty()) {
    body +=
        "<h2>Impressões</h2><div class=\"table\"><table><thead><tr><th>Quando (UTC)</th>"
        "<th>Impressora</th><th>Via</th><th>Resultado</th></tr></thead><tbody>";
    for (const PrintEntry& p : prints) {
      body += "<tr><td>" + EscapeHtml(p.when) + "</td><td>" + EscapeHtml(p.printer) + "</td><td>" +
              (p.second_copy ? "segunda via" : "original") + "</td><td>" + EscapeHtml(p.message) +
              "</td></tr>";
    }
    body += "</tbody></table></div>";
  }
  return body + "<h2>Extrato</h2><img class=\"extrato\" alt=\"Extrato do CF-e " + key +
         "\" src=\"/console/cfe/" + key + "/extrato.png\">";
}

std::string PrintedBody(const std::string& key, int status, const std::string& answer) {
  const nlohmann::json body = nlohmann::json::parse(answer, nullptr, false);
  const auto text = [&body](const char* name) {
    return body.is_object() && body.contains(name) && body[name].is_string()
               ? body[name].get<std::string>()
               : std::string();
  };
  std::string words = status == 200 ? "<p class=\"ok\">" : "<p class=\"erro\">";
  words += EscapeHtml(status == 200 || status == 503 ? text("mensagem") : text("erro")) + "</p>";
  if (!text("estado_antes").empty()) {
    words += "<div class=\"card\"><dl>" + Row("Antes", EscapeHtml(text("estado_antes")));
    if (!text("estado_depois").empty()) words += Row("Depois", EscapeHtml(text("estado_depois")));
    if (status == 200) {
      words += Row("Via", body.value("segunda_via", false) ? "segunda via" : "original");
    }
    words += "</dl></div>";
  }
  return words + "<p><a href=\"/console/cfe/" + key + "\">Voltar ao cupom</a></p>";
}

std::string BundleBody(const std::string& month, const std::string& problem) {
  return (problem.empty() ? "" : "<p class=\"erro\">" + EscapeHtml(problem) + "</p>") +
         "<p>Os XML de venda e de cancelamento do mês, com o resumo em CSV e PDF, num arquivo "
         "ZIP para o contador.</p><form class=\"busca\" method=\"get\" "
         "action=\"/console/pacote\"><label>Mês<input type=\"month\" name=\"mes\" value=\"" +
         EscapeHtml(month) + "\" required></label><button>Baixar o pacote</button></form>";
}

}  // namespace kovrad::hub
