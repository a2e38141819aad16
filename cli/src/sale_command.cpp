#include "sale_command.h"

#include <algorithm>

#include "catalog.h"
#include "cfe/decimal.h"
#include "cfe/json_reader.h"
#include "command_line.h"
#include "run.h"

namespace kovrad::cli {
namespace {

constexpr char kSale[] = "venda";
constexpr char kCancel[] = "cancelar";
constexpr char kCheckOnly[] = "--verificar";
// Options that take no value, among those a sale command passes on.
constexpr std::string_view kFlags[] = {"--json"};

// The words after the command that are not options or their values.
struct Words {
  bool check_only = false;
  std::vector<std::string> positional;
  std::vector<std::string> options;  // passed on to the call
};

Words Split(const std::vector<std::string>& args, size_t from) {
  Words words;
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == kCheckOnly) {
      words.check_only = true;
    } else if (word.starts_with("--")) {
      words.options.push_back(word);
      const bool flag = std::find(std::begin(kFlags), std::end(kFlags), word) != std::end(kFlags);
      if (!flag && i + 1 < args.size()) words.options.push_back(args[++i]);
    } else {
      words.positional.push_back(word);
    }
  }
  return words;
}

int Refused(const cfe::Refusals& refusals, std::ostream& out, std::ostream& err) {
  for (const cfe::Refusal& refusal : refusals) out << cfe::Describe(refusal) << "\n";
  err << "satcli: " << refusals.size() << (refusals.size() == 1 ? " refusal" : " refusals")
      << "; nothing was sent\n";
  return static_cast<int>(Status::kRefused);
}

std::string Money(int64_t cents) {
  return cfe::FormatDecimal(cents, cfe::kMoney);
}

}  // namespace

bool IsSaleCommand(const std::vector<std::string>& args) {
  const size_t at = CommandIndex(args);
  return at < args.size() && (args[at] == kSale || args[at] == kCancel);
}

std::optional<int> PrepareSaleCall(const std::vector<std::string>& args, SaleCall* call,
                                   std::ostream& out, std::ostream& err) {
  const size_t at = CommandIndex(args);
  const bool sale = args[at] == kSale;
  const Words words = Split(args, at + 1);
  const size_t expected = sale ? 1 : 2;
  if (words.positional.size() != expected) {
    err << "satcli: usage: satcli venda [--verificar] [--codigo CODE] FILE.json\n"
           "       satcli cancelar [--verificar] [--codigo CODE] KEY SALE.json\n";
    return static_cast<int>(Status::kUsage);
  }
  std::string text, problem;
  if (!ReadDocument(words.positional.back(), &text, &problem)) {
    err << "satcli: " << problem << "\n";
    return static_cast<int>(Status::kUsage);
  }
  std::string function, extra;
  if (sale) {
    const cfe::Prepared prepared = cfe::PrepareSaleJson(text);
    if (!prepared.refusals.empty()) return Refused(prepared.refusals, out, err);
    if (words.check_only) {
      const cfe::Totals& t = *prepared.totals;
      out << "Venda válida: " << t.det.size() << (t.det.size() == 1 ? " item" : " itens")
          << ", total " << Money(t.vCFe) << ", pago " << Money(t.paid) << ", troco "
          << Money(t.vTroco) << "\n";
      return static_cast<int>(Status::kSuccess);
    }
    function = "EnviarDadosVenda";
    call->document = prepared.xml;
  } else {
    // The cancellation repeats the sale's software house, till and buyer.
    cfe::Sale sold;
    cfe::Refusals refusals;
    cfe::ReadSale(text, &sold, &refusals);
    const cfe::Cancellation cancellation{
        words.positional.front(), sold.ide, {sold.dest.CNPJ, sold.dest.CPF, ""}};
    const cfe::PreparedCancellation prepared = cfe::Prepare(cancellation);
    cfe::AddNew(&refusals, prepared.refusals);
    if (!refusals.empty()) return Refused(refusals, out, err);
    if (words.check_only) {
      out << "Cancelamento válido de " << cancellation.chCanc << "\n";
      return static_cast<int>(Status::kSuccess);
    }
    function = "CancelarUltimaVenda";
    extra = cancellation.chCanc;
    call->document = prepared.xml;
  }
  call->args.assign(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(at));
  call->args.push_back(function);
  call->args.insert(call->args.end(), words.options.begin(), words.options.end());
  if (!extra.empty()) call->args.insert(call->args.end(), {"--chave", extra});
  call->args.insert(call->args.end(), {"--documento", "/dev/null"});
  return std::nullopt;
}

int RunSaleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  SaleCall call;
  if (const std::optional<int> ended = PrepareSaleCall(args, &call, out, err)) return *ended;
  return Run(call.args, out, err, &call.document);
}

}  // namespace kovrad::cli
