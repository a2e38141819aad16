// The coupon archive over HTTP: the coupons found by date, till and buyer,
// one coupon's XML and extrato, and the month's bundle for the accountant.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "archive/bundle.h"
#include "receipt.h"
#include "routes.h"

namespace kovrad::hub {
namespace {

using nlohmann::json;

constexpr std::string_view kCoupons = "cfe";
constexpr std::string_view kBundles = "exportacoes/";
constexpr int kPageSize = 50;
constexpr int kLastPage = 100000;

std::string Query(const HttpRequest& request, const char* name) {
  const auto found = request.query.find(name);
  return found != request.query.end() ? found->second : std::string();
}

bool Digits(const std::string& text, size_t most) {
  return !text.empty() && text.size() <= most &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

json EntryJson(const archive::Entry& e) {
  json j = {{"chave", "CFe" + e.key},
            {"tipo", e.kind == archive::Kind::kSale ? "venda" : "cancelamento"},
            {"numero", e.number},
            {"serie", e.serial},
            {"caixa", e.till >= 0 ? json(e.till) : json(nullptr)},
            {"emissao", archive::FormatIssued(e.issued)},
            {"total", archive::FormatCents(e.total)},
            {"documento", e.buyer.empty() ? json(nullptr) : json(e.buyer)},
            {"cnpj", e.cnpj}};
  if (e.kind == archive::Kind::kSale) {
    j["cancelado_por"] = e.cancelled_by.empty() ? json(nullptr) : json("CFe" + e.cancelled_by);
  } else {
    j["venda"] = "CFe" + e.sale_key;
  }
  return j;
}

// GET /v1/cfe?de=&ate=&caixa=&documento=&pagina=
HttpResponse List(const Hub& hub, const HttpRequest& request) {
  archive::Query query;
  query.per_page = kPageSize;
  const std::string from = Query(request, "de"), to = Query(request, "ate");
  const std::string till = Query(request, "caixa"), buyer = Query(request, "documento");
  const std::string page = Query(request, "pagina");
  if (!from.empty() && !archive::ParseDay(from, false, &query.from)) {
    return ErrorResponse(400, "Parâmetro de inválido: use AAAA-MM-DD ou AAAA-MM-DDThh:mm:ss.");
  }
  if (!to.empty() && !archive::ParseDay(to, true, &query.to)) {
    return ErrorResponse(400, "Parâmetro ate inválido: use AAAA-MM-DD ou AAAA-MM-DDThh:mm:ss.");
  }
  if (!till.empty()) {
    if (!Digits(till, 3)) return ErrorResponse(400, "Parâmetro caixa inválido: número de 0 a 999.");
    query.till = std::stoi(till);
  }
  if (!buyer.empty()) {
    if (!Digits(buyer, 14) || (buyer.size() != 11 && buyer.size() != 14)) {
      return ErrorResponse(400, "Parâmetro documento inválido: CPF (11 dígitos) ou CNPJ (14).");
    }
    query.buyer = buyer;
  }
  if (!page.empty()) {
    if (!Digits(page, 6) || std::stoi(page) < 1 || std::stoi(page) > kLastPage) {
      return ErrorResponse(400, "Parâmetro pagina inválido: de 1 a 100000.");
    }
    query.page = std::stoi(page);
  }
  archive::Page found;
  std::string error;
  if (!hub.archive->Search(query, &found, &error)) return ErrorResponse(500, error);
  json list = json::array();
  for (const archive::Entry& e : found.entries) list.push_back(EntryJson(e));
  return {
      200,
      json{{"pagina", query.page}, {"por_pagina", kPageSize}, {"mais", found.more}, {"cfe", list}}
          .dump()};
}

HttpResponse ReadError(archive::Read read, const std::string& key, const std::string& error) {
  if (read == archive::Read::kNotFound) {
    return ErrorResponse(404, "CF-e " + key + " não está no arquivo.");
  }
  return ErrorResponse(500, error);
}

HttpResponse Extrato(const std::string& xml, const std::string& kind) {
  receipt::Coupon coupon;
  std::string error, bytes;
  if (!receipt::ReadCoupon(xml, &coupon, &error)) return ErrorResponse(500, error);
  const receipt::Layout layout = receipt::MakeLayout(coupon);
  if (kind == "txt") {
    return {200, receipt::RenderText(layout, receipt::kPaper80.columns),
            "text/plain; charset=utf-8"};
  }
  const bool pdf = kind == "pdf";
  const bool made = pdf ? receipt::RenderPdf(layout, receipt::kPaper80, &bytes, &error)
                        : receipt::RenderPng(layout, receipt::kPaper80, 1.0, &bytes, &error);
  if (!made) return ErrorResponse(500, error);
  return {200, std::move(bytes), pdf ? "application/pdf" : "image/png"};
}

// GET /v1/cfe/<chave> and /v1/cfe/<chave>/extrato.(pdf|png|txt)
HttpResponse Coupon(const Hub& hub, std::string_view rest) {
  const size_t slash = rest.find('/');
  const std::string key(rest.substr(0, slash));
  std::string kind;
  if (slash != std::string_view::npos) {
    const std::string_view tail = rest.substr(slash + 1);
    if (tail != "extrato.pdf" && tail != "extrato.png" && tail != "extrato.txt") {
      return ErrorResponse(404, "Rota desconhecida: use extrato.pdf, extrato.png ou extrato.txt.");
    }
    kind = std::string(tail.substr(8));
  }
  if (archive::KeyDigits(key).empty()) {
    return ErrorResponse(400, "Chave de acesso inválida: CFe e 44 dígitos.");
  }
  std::string xml, error;
  const archive::Read read = hub.archive->Xml(key, &xml, &error);
  if (read != archive::Read::kFound) return ReadError(read, key, error);
  if (kind.empty()) return {200, std::move(xml), "application/xml; charset=utf-8"};
  return Extrato(xml, kind);
}

// GET /v1/exportacoes/AAAA-MM.zip[?cnpj=]: made in a private folder, read
// back and removed.
HttpResponse Bundle(const Hub& hub, const HttpRequest& request, std::string_view name) {
  if (!name.ends_with(".zip")) return ErrorResponse(404, "Use /v1/exportacoes/AAAA-MM.zip.");
  const std::string month(name.substr(0, name.size() - 4));
  const std::string cnpj = Query(request, "cnpj");
  if (!cnpj.empty() && (!Digits(cnpj, 14) || cnpj.size() != 14)) {
    return ErrorResponse(400, "Parâmetro cnpj inválido: 14 dígitos.");
  }
  int64_t from = 0, to = 0;
  if (!archive::ParseMonth(month, &from, &to)) {
    return ErrorResponse(400, "Mês inválido: \"" + month + "\" (use AAAA-MM).");
  }
  std::string folder = (std::filesystem::temp_directory_path() / "kovrad-hub-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return ErrorResponse(500, "Sem pasta temporária.");
  const std::string path = folder + "/" + month + ".zip";
  archive::BundleReport report;
  std::string error;
  const bool written =
      archive::WriteBundle(*hub.archive, month, cnpj, path, nullptr, &report, &error);
  std::ostringstream bytes;
  if (written) bytes << std::ifstream(path, std::ios::binary).rdbuf();
  std::filesystem::remove_all(folder);
  if (!written) return ErrorResponse(500, error);
  return {200, bytes.str(), "application/zip"};
}

}  // namespace

std::optional<HttpResponse> ArchiveRoute(const Hub& hub, const HttpRequest& request,
                                         std::string_view rest) {
  const bool coupons = rest == kCoupons || rest.starts_with(std::string(kCoupons) + "/");
  const bool bundles = rest.starts_with(kBundles);
  if (!coupons && !bundles) return std::nullopt;
  if (request.method != "GET") return ErrorResponse(405, "Use GET.");
  if (auto refused = CheckAccess(hub, request)) return *refused;
  if (bundles) return Bundle(hub, request, rest.substr(kBundles.size()));
  if (rest == kCoupons) return List(hub, request);
  return Coupon(hub, rest.substr(kCoupons.size() + 1));
}

}  // namespace kovrad::hub
