#include "layout.h"

#include <algorithm>
#include <cstdint>

#include "cfe/payments.h"

namespace kovrad::receipt {
namespace {

const char* PaymentName(const std::string& code) {
  const char* name = cfe::PaymentMeansName(code);
  if (name != nullptr) return name;
  return "Outros";
}

// A decimal of the coupon in hundredths, for the one sum the coupon does not
// carry (the subtotal). Checked decimals only reach here.
int64_t Cents(const std::string& decimal) {
  if (decimal.empty()) return 0;
  const size_t point = decimal.find('.');
  int64_t cents = std::stoll(decimal.substr(0, point)) * 100;
  if (point != std::string::npos) {
    const std::string fraction = (decimal.substr(point + 1) + "00").substr(0, 2);
    cents += std::stoll(fraction);
  }
  return cents;
}

std::string FromCents(int64_t cents) {
  const bool negative = cents < 0;
  if (negative) cents = -cents;
  std::string text =
      std::to_string(cents / 100) + "." + std::to_string(100 + cents % 100).substr(1);
  return (negative ? "-" : "") + Money(text);
}

bool Zero(const std::string& decimal) {
  return decimal.find_first_of("123456789") == std::string::npos;
}

// "2.0000" -> "2", "1.2350" -> "1,235".
std::string Quantity(const std::string& decimal) {
  std::string text = decimal;
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  for (char& c : text) {
    if (c == '.') c = ',';
  }
  return text;
}

std::string Grouped(const std::string& digits, const char* pattern) {
  std::string out;
  size_t next = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p == '#') {
      if (next >= digits.size()) return digits;
      out += digits[next++];
    } else {
      out += *p;
    }
  }
  return next == digits.size() ? out : digits;
}

std::string Document(const std::string& digits) {
  return digits.size() == 11 ? Grouped(digits, "###.###.###-##")
                             : Grouped(digits, "##.###.###/####-##");
}

std::string When(const std::string& date, const std::string& time) {
  return date.substr(6, 2) + "/" + date.substr(4, 2) + "/" + date.substr(0, 4) + " - " +
         time.substr(0, 2) + ":" + time.substr(2, 2) + ":" + time.substr(4, 2);
}

class Builder {
 public:
  Layout Take() { return std::move(layout_); }

  void Line(std::string text, bool bold = false, bool centre = false) {
    if (!text.empty()) layout_.push_back({Block::Kind::kText, std::move(text), "", bold, centre});
  }
  void Centred(std::string text, bool bold = false) { Line(std::move(text), bold, true); }
  void Row(std::string left, std::string right, bool bold = false) {
    layout_.push_back({Block::Kind::kRow, std::move(left), std::move(right), bold, false});
  }
  void Rule(char fill = '-') {
    layout_.push_back({Block::Kind::kRule, std::string(1, fill), "", false, false});
  }
  void Gap() { layout_.push_back({Block::Kind::kGap, "", "", false, false}); }
  void Symbol(Block::Kind kind, std::string data) {
    layout_.push_back({kind, std::move(data), "", false, true});
  }

  void Issuer(const receipt::Issuer& i) {
    Centred(i.trade_name, true);
    Centred(i.name, i.trade_name.empty());
    std::string address = i.street;
    if (!i.number.empty()) address += ", " + i.number;
    if (!i.complement.empty()) address += " " + i.complement;
    if (!i.district.empty()) address += " - " + i.district;
    if (!i.city.empty()) address += " - " + i.city;
    if (!i.postcode.empty()) address += " - CEP " + Grouped(i.postcode, "#####-###");
    Centred(address);
    std::string ids = "CNPJ " + Document(i.cnpj);
    if (!i.ie.empty()) ids += "  IE " + i.ie;
    if (!i.im.empty()) ids += "  IM " + i.im;
    Centred(ids);
    Rule();
  }

  void Title(const Coupon& c) {
    Centred("Extrato No. " + c.number, true);
    Centred("CUPOM FISCAL ELETRÔNICO - SAT", true);
    if (c.cancellation) Centred("CANCELAMENTO", true);
    if (c.test_environment) {
      Gap();
      Centred("= T E S T E =", true);
      Gap();
      Rule('>');
      Rule('>');
      Rule('>');
    }
    Rule();
  }

  void Buyer(const Coupon& c) {
    Line("CPF/CNPJ do Consumidor: " + (c.buyer.empty() ? std::string() : Document(c.buyer)));
    if (!c.buyer_name.empty()) Line("Razão Social/Nome: " + c.buyer_name);
  }

  void Item(const receipt::Item& item) {
    std::string text = item.number + " " + item.code + " " + item.description + " " +
                       Quantity(item.quantity) + " " + item.unit + " X " + Money(item.unit_price);
    if (!item.approximate_taxes.empty()) text += " (" + Money(item.approximate_taxes) + ")";
    Row(text, Money(item.value));
    if (!item.note.empty()) Line("  " + item.note);
    Adjustment("  desconto sobre item", item.discount, "-");
    Adjustment("  acréscimo sobre item", item.surcharge, "+");
    Adjustment("  rateio de desconto sobre subtotal", item.shared_discount, "-");
    Adjustment("  rateio de acréscimo sobre subtotal", item.shared_surcharge, "+");
    // A service's ISSQN base is less than its value only when it deducts.
    if (!item.service_deduction.empty() && !Zero(item.service_deduction)) {
      Row("  dedução para ISSQN", Money(item.service_deduction));  // of the base, not the price
      if (!item.service_base.empty()) Row("  base de cálculo ISSQN", Money(item.service_base));
    }
  }

  void Adjustment(const std::string& label, const std::string& value, const char* sign) {
    if (!value.empty() && !Zero(value)) Row(label, sign + Money(value));
  }

  void Totals(const Coupon& c) {
    const bool adjusted = !Zero(c.item_discounts) || !Zero(c.item_surcharges) ||
                          !Zero(c.subtotal_discount) || !Zero(c.subtotal_surcharge);
    if (adjusted && !c.products.empty()) {
      Row("Total bruto de itens", Money(c.products));
      Adjustment("Total de descontos sobre item", c.item_discounts, "-");
      Adjustment("Total de acréscimos sobre item", c.item_surcharges, "+");
      Row("Subtotal",
          FromCents(Cents(c.products) - Cents(c.item_discounts) + Cents(c.item_surcharges)));
      Adjustment("Desconto sobre subtotal", c.subtotal_discount, "-");
      Adjustment("Acréscimo sobre subtotal", c.subtotal_surcharge, "+");
    }
    Row("TOTAL R$", Money(c.total), true);
    Gap();
    for (const Payment& p : c.payments) Row(PaymentName(p.code), Money(p.value));
    if (!c.change.empty()) Row("Troco R$", Money(c.change));
    Rule();
  }

  void Notes(const Coupon& c) {
    Line("OBSERVAÇÕES DO CONTRIBUINTE", true);
    Line(c.notes);
    if (!c.approximate_taxes.empty()) {
      Row("Valor aproximado dos tributos deste cupom R$", Money(c.approximate_taxes));
      Line("(conforme Lei Fed. 12.741/2012)");
    }
    Rule();
  }

  // SAT number, time of issue, key in groups of four, barcode and QR code.
  void Seal(const std::string& serial, const std::string& date, const std::string& time,
            const std::string& key, const std::string& qr) {
    Centred("SAT No. " + serial, true);
    Centred(When(date, time));
    Gap();
    std::string groups;
    for (size_t i = 0; i < key.size(); i += 4) {
      groups += key.substr(i, 4) + (i == 20 ? "\n" : " ");
    }
    const size_t split = groups.find('\n');
    Centred(groups.substr(0, split));
    Centred(groups.substr(split + 1, groups.size() - split - 2));
    Symbol(Block::Kind::kBarcode, key);
    if (!qr.empty()) Symbol(Block::Kind::kQrCode, qr);
  }

 private:
  Layout layout_;
};

Layout SaleLayout(const Coupon& c) {
  Builder b;
  b.Issuer(c.issuer);
  b.Title(c);
  b.Buyer(c);
  b.Rule();
  b.Row("#|COD|DESC|QTD|UN|VL UN R$|(VL TR R$)*", "VL ITEM R$");
  b.Rule();
  for (const Item& item : c.items) b.Item(item);
  b.Rule();
  b.Totals(c);
  b.Notes(c);
  b.Seal(c.serial, c.date, c.time, c.key, QrContent(c));
  b.Centred(
      "Consulte o QR Code pelo aplicativo \"De olho na nota\", disponível na AppStore (Apple) e "
      "PlayStore (Android)");
  return b.Take();
}

Layout CancellationLayout(const Coupon& c) {
  Builder b;
  b.Issuer(c.issuer);
  b.Title(c);
  b.Line("DADOS DO CUPOM FISCAL ELETRÔNICO CANCELADO", true, true);
  b.Gap();
  b.Buyer(c);
  b.Row("TOTAL R$", Money(c.total), true);
  b.Gap();
  // The cancellation does not carry the sale's QR-code signature: the sale's
  // part shows its key and barcode only.
  b.Seal(c.serial, c.sale_date, c.sale_time, c.cancelled_key, "");
  b.Rule();
  b.Line("DADOS DO CUPOM FISCAL ELETRÔNICO DE CANCELAMENTO", true, true);
  b.Gap();
  if (!c.notes.empty()) b.Line(c.notes);
  b.Seal(c.serial, c.date, c.time, c.key, QrContent(c));
  return b.Take();
}

// Breaks `text` into lines of at most `columns` characters at its spaces;
// a word is cut only when it is longer than a whole line.
std::vector<std::string> Wrap(const std::string& text, int columns) {
  std::vector<std::string> lines;
  std::string line, word;
  int line_width = 0, word_width = 0;
  auto flush_word = [&] {
    if (word.empty()) return;
    if (line_width > 0 && line_width + 1 + word_width > columns) {
      lines.push_back(line);
      line.clear();
      line_width = 0;
    }
    if (line_width > 0) {
      line += ' ';
      ++line_width;
    }
    line += word;
    line_width += word_width;
    word.clear();
    word_width = 0;
  };
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead >= 0xF0)
      length = 4;
    else if (lead >= 0xE0)
      length = 3;
    else if (lead >= 0xC0)
      length = 2;
    const std::string character = text.substr(i, length);
    i += length;
    if (character == " ") {
      flush_word();
      continue;
    }
    if (word_width == columns) {
      flush_word();
      lines.push_back(line);
      line.clear();
      line_width = 0;
    }
    word += character;
    ++word_width;
  }
  flush_word();
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

int Width(const std::string& text) {
  int width = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  }
  return width;
}

std::string Money(const std::string& decimal) {
  const size_t point = decimal.find('.');
  std::string whole = decimal.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : decimal.substr(point + 1);
  while (fraction.size() > 2 && fraction.back() == '0') fraction.pop_back();
  fraction.resize(std::max<size_t>(fraction.size(), 2), '0');
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
  for (size_t i = whole.size(); i > 3; i -= 3) whole.insert(i - 3, ".");
  return whole + "," + fraction;
}

Layout MakeLayout(const Coupon& coupon) {
  return coupon.cancellation ? CancellationLayout(coupon) : SaleLayout(coupon);
}

void MarkSecondCopy(Layout* layout) {
  Block mark;
  mark.text = "SEGUNDA VIA";
  mark.bold = true;
  mark.centre = true;
  Block gap;
  gap.kind = Block::Kind::kGap;
  layout->insert(layout->begin(), {mark, gap});
}

std::vector<std::string> LayOut(const Block& block, int columns) {
  if (block.kind == Block::Kind::kRule) {
    std::string line;
    for (int i = 0; i < columns; ++i) line += block.text;
    return {line};
  }
  if (block.kind == Block::Kind::kGap) return {""};
  // A leading indent holds for every line of the block.
  const size_t first = block.text.find_first_not_of(' ');
  const size_t indent = first == std::string::npos ? 0 : std::min<size_t>(first, columns / 2);
  std::vector<std::string> lines = Wrap(indent < block.text.size() ? block.text.substr(indent) : "",
                                        columns - static_cast<int>(indent));
  for (std::string& line : lines) line.insert(0, indent, ' ');
  if (block.centre) {
    for (std::string& line : lines) line.insert(0, (columns - Width(line)) / 2, ' ');
  }
  if (block.kind == Block::Kind::kRow) {
    const int right = Width(block.right);
    const int last = Width(lines.back());
    if (last > 0 && last + 1 + right > columns) lines.emplace_back();
    lines.back().append(std::max(columns - Width(lines.back()) - right, 0), ' ');
    lines.back() += block.right;
  }
  return lines;
}

}  // namespace kovrad::receipt
