#include <set>

#include "archive/bundle.h"
#include "summary_text.h"

namespace kovrad::archive {

void Summary::Add(const Document& d) {
  Figures& day = days[FormatIssued(d.issued).substr(0, 10)];
  for (Figures* f : {&all, &day}) {
    if (d.kind == Kind::kCancellation) {
      ++f->cancellations;
      f->cancelled += d.total;
      continue;
    }
    ++f->sales;
    f->gross += d.gross;
    f->discounts += d.discounts;
    f->surcharges += d.surcharges;
    f->total += d.total;
  }
  if (d.kind == Kind::kCancellation) return;
  change += d.change;
  std::set<std::string> counted;
  for (const Payment& p : d.payments) {
    PaymentFigures& figures = payments[p.code];
    figures.cents += p.cents;
    if (counted.insert(p.code).second) ++figures.sales;
  }
}

std::string PaymentName(const std::string& code) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"01", "Dinheiro"},
      {"02", "Cheque"},
      {"03", "Cartão de Crédito"},
      {"04", "Cartão de Débito"},
      {"05", "Crédito Loja"},
      {"10", "Vale Alimentação"},
      {"11", "Vale Refeição"},
      {"12", "Vale Presente"},
      {"13", "Vale Combustível"},
      {"15", "Boleto Bancário"},
      {"16", "Depósito Bancário"},
      {"17", "Pagamento Instantâneo (PIX)"},
      {"18", "Transferência bancária, Carteira Digital"},
      {"19", "Programa de fidelidade, Cashback, Crédito Virtual"},
      {"90", "Sem pagamento"},
      {"99", "Outros"},
  };
  for (const auto& [known, name] : kNames) {
    if (code == known) return name;
  }
  return "Código " + code;
}

std::string Money(int64_t cents) {
  std::string text = FormatCents(cents);
  text[text.size() - 3] = ',';
  return text;
}

std::vector<std::string> FigureCells(const Figures& f) {
  return {std::to_string(f.sales), Money(f.gross), Money(f.discounts),
          Money(f.surcharges),     Money(f.total), std::to_string(f.cancellations),
          Money(f.cancelled),      Money(f.net())};
}

namespace {

std::string Cell(const std::string& text) {
  if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

void Row(std::string* csv, const std::vector<std::string>& cells) {
  for (size_t i = 0; i < cells.size(); ++i) {
    *csv += (i == 0 ? "" : ";") + Cell(cells[i]);
  }
  *csv += "\r\n";
}

std::vector<std::string> Joined(std::vector<std::string> head,
                                const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

}  // namespace

std::string SummaryCsv(const Summary& s) {
  std::string csv;
  Row(&csv, {"linha", "data", "meio_pagamento", "vendas", "bruto", "descontos", "acrescimos",
             "total", "cancelamentos", "valor_cancelado", "liquido"});
  for (const auto& [day, figures] : s.days)
    Row(&csv, Joined({"dia", day, ""}, FigureCells(figures)));
  Row(&csv, Joined({"mes", s.month, ""}, FigureCells(s.all)));
  for (const auto& [code, p] : s.payments) {
    Row(&csv, {"pagamento", s.month, code + " " + PaymentName(code), std::to_string(p.sales), "",
               "", "", Money(p.cents), "", "", ""});
  }
  Row(&csv, {"troco", s.month, "", "", "", "", "", Money(s.change), "", "", ""});
  return csv;
}

}  // namespace kovrad::archive
