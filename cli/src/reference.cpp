#include "reference.h"

#include <sstream>

#include "catalog.h"

namespace kovrad::cli {
namespace {

std::string_view TypeOf(Kind kind) {
  switch (kind) {
    case Kind::kInteger:
      return "int32_t";
    case Kind::kText:
      return "text";
    case Kind::kDocument:
      return "text (a document; satcli reads it from a file)";
  }
  return {};
}

void ArgumentTable(const Function& f, std::ostringstream& md) {
  if (f.parameters.empty()) return;
  md << "| Argument | Type | Meaning |\n|---|---|---|\n";
  for (const Parameter& p : f.parameters) {
    md << "| `" << p.name << "` | " << TypeOf(p.kind) << " | " << p.help << " |\n";
  }
  md << "\n";
}

void SatFunction(const Function& f, std::ostringstream& md) {
  md << "- Request name `" << f.sat->wire_name << "`, time limit " << f.TimeLimitMs() / 1000
     << " s; the session number comes first.\n- satcli: `satcli " << f.name;
  for (const Parameter& p : f.parameters) md << " --" << p.name;
  md << "`\n\n";
  ArgumentTable(f, md);
  md << "Reply fields:";
  for (std::string_view name : client::FieldNames(f.sat->layout)) md << " `" << name << "`";
  md << "\n\n| Result code | Meaning |\n|---|---|\n";
  for (const ResultCode& c : client::ResultCodes(*f.sat)) {
    const bool success = client::Succeeded(*f.sat, c.code);
    md << "| " << (success ? "**" : "") << c.code << (success ? "**" : "") << " | " << c.meaning
       << " |\n";
  }
  md << "\n";
}

}  // namespace

std::string FunctionReference() {
  std::ostringstream md;
  md << "# Functions of the device library\n\n"
        "Every export of `libkovrad`, as `satcli` calls it. This page is written from satcli's\n"
        "own table of functions (`cli/src/catalog.cpp`): regenerate it with\n"
        "`build/default/cli/functions_reference > docs/functions.md` after changing the\n"
        "table; a test fails while the two differ. `library/include/kovrad.h` tells how each\n"
        "function builds its request and what `CodigoErro` and `Base64ToAscii` hold after it.\n\n"
        "A reply line's fields are separated by `|`; field 2 is the result code. Codes in\n"
        "**bold** are the function's success. After a link failure (`CodigoErro().code` not 0)\n"
        "the library writes the reply itself with result code 9999, or the bare text\n"
        "`Erro ao tentar abrir a porta` when the port could not be opened.\n\n"
        "## SAT functions\n\n";
  for (const Function& f : Functions()) {
    if (!f.IsSatFunction()) continue;
    md << "### " << f.name << "\n\n" << f.summary << "\n\n";
    SatFunction(f, md);
  }
  md << "## The library's own functions\n\n";
  for (const Function& f : Functions()) {
    if (f.IsSatFunction()) continue;
    md << "### " << f.name << "\n\n" << f.summary << "\n\n";
    ArgumentTable(f, md);
  }
  std::string text = md.str();
  while (text.ends_with("\n\n")) text.pop_back();
  return text;
}

}  // namespace kovrad::cli
