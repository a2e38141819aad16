// cfe_sale: a sale built with kovrad::cfe, checked, and sent.
//
// Fills a cfe::Sale with two items (or reads the sale from a JSON file),
// lets cfe::Prepare fill the defaults, check it, compute what the coupon
// will hold and write the XML, then sends it with EnviarDadosVenda and
// prints the key and the total the device signed beside the total computed
// before sending.
//
//   cfe_sale [ACTIVATION_CODE [SALE.json]]   (default code 12345678, satemu --kit's)
//
// Exit status 1 when the check refuses the sale or the device does not sign it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cfe/decimal.h"
#include "cfe/defaults.h"
#include "cfe/json_reader.h"
#include "kovrad.h"

namespace cfe = kovrad::cfe;

namespace {

cfe::Det Item(const char* code, const char* name, int64_t quantity, int64_t unit_price) {
  cfe::Det det;
  det.prod.cProd = code;
  det.prod.xProd = name;
  det.prod.NCM = "10063021";
  det.prod.CFOP = "5102";
  det.prod.uCom = "UN";
  det.prod.qCom = quantity;      // ten-thousandths: 20000 is 2.0000
  det.prod.vUnCom = unit_price;  // thousandths: 24900 is 24.900
  det.imposto.ICMS = cfe::Icms{cfe::Icms::Group::kICMS00, "0", "00", "", 1800};  // 18.00%
  det.imposto.PIS = {cfe::Contribution::Group::kAliq, "01", std::nullopt, 165};  // 0.0165
  det.imposto.COFINS = {cfe::Contribution::Group::kAliq, "01", std::nullopt, 760};
  return det;  // vBC of PIS and COFINS: the item's value, by default
}

cfe::Prepared FromFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) std::fprintf(stderr, "cfe_sale: %s cannot be read\n", path);
  return cfe::PrepareSaleJson(text.str());
}

cfe::Prepared InCode() {
  cfe::Sale sale;
  sale.ide.CNPJ = "16716114000172";
  sale.ide.signAC = "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT";
  sale.ide.numeroCaixa = "001";
  sale.emit.CNPJ = "08723218000186";
  sale.emit.IE = "149626224113";
  sale.det.push_back(Item("0001", "ARROZ TIPO 1 5KG", 20000, 24900));
  sale.det.push_back(Item("0002", "FEIJAO CARIOCA 1KG", 10000, 8990));
  sale.total.vDescSubtot = 100;           // 1.00 off the subtotal, shared over the items
  sale.pgto.push_back({"01", 6000, ""});  // 60.00 in cash
  return cfe::Prepare(sale);
}

}  // namespace

int main(int argc, char** argv) {
  const char* code = argc > 1 ? argv[1] : "12345678";
  const cfe::Prepared ready = argc > 2 ? FromFile(argv[2]) : InCode();
  for (const cfe::Refusal& refusal : ready.refusals) {
    std::printf("%s\n", cfe::Describe(refusal).c_str());
  }
  if (!ready.refusals.empty()) return 1;
  const cfe::Totals& totals = *ready.totals;
  std::printf("total %s, troco %s\n", cfe::FormatDecimal(totals.vCFe, cfe::kMoney).c_str(),
              cfe::FormatDecimal(totals.vTroco, cfe::kMoney).c_str());

  const std::string reply = EnviarDadosVenda(GeraNumeroSessao(), code, ready.xml.c_str());
  // numeroSessao|EEEEE|CCCC|mensagem|cod|mensagemSEFAZ|cupom|timeStamp|chave|valor|...
  std::string fields[10];
  size_t from = 0;
  for (std::string& field : fields) {
    const size_t bar = reply.find('|', from);
    field = reply.substr(from, bar - from);
    from = bar == std::string::npos ? reply.size() : bar + 1;
  }
  if (fields[1] != "06000") {
    std::printf("not signed: %s\n", reply.substr(0, 300).c_str());
    return 1;
  }
  std::printf("signed %s, total %s\n", fields[8].c_str(), fields[9].c_str());
  return 0;
}
