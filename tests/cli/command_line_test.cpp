// satcli's command line: what it refuses before anything is sent, and the
// help that names every export of the library.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "catalog.h"
#include "command_line.h"
#include "fake_device.h"
#include "reference.h"
#include "run.h"

namespace kovrad::cli {
namespace {

using test::TempDir;
using test::WriteFile;

struct Result {
  int status;
  std::string out, err;
};

Result RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = Run(args, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> HeaderExports() {
  const std::string header = test::ReadFile(KOVRAD_HEADER);
  const std::regex declaration(R"(KOVRAD_CALL\s+(\w+)\s*\()");
  std::vector<std::string> names;
  for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

TEST(SatcliCommandLine, EveryExportOfTheHeaderCanBeCalledAndIsDescribed) {
  const std::vector<std::string> exports = HeaderExports();
  ASSERT_GE(exports.size(), 20u);
  EXPECT_EQ(exports.size(), Functions().size());
  const std::string usage = RunCli({"help"}).out;
  for (const std::string& name : exports) {
    const Function* function = FindFunction(name);
    ASSERT_NE(function, nullptr) << name;
    // Each listed with the first sentence of its summary.
    const size_t listed = usage.find("\n  " + name + " ");
    ASSERT_NE(listed, std::string::npos) << name;
    const std::string line = usage.substr(listed + 1, usage.find('\n', listed + 1) - listed - 1);
    EXPECT_TRUE(line.ends_with(Brief(*function))) << line;
    const Result help = RunCli({"help", name});
    EXPECT_EQ(help.status, 0) << name;
    for (const Parameter& p : function->parameters) {
      EXPECT_NE(help.out.find("--" + std::string(p.name)), std::string::npos) << name;
    }
  }
}

TEST(SatcliCommandLine, NoArgumentIsTakenForAnOptionOfSatcliItself) {
  for (const Function& function : Functions()) {
    for (const Parameter& p : function.parameters) {
      const std::string option = "--" + std::string(p.name);
      EXPECT_EQ(UsageText().find("  " + option + " "), std::string::npos)
          << function.name << " " << option;
      EXPECT_NE(option, "--help");
      EXPECT_NE(option, "--version");
    }
  }
}

TEST(SatcliCommandLine, HelpForms) {
  const Result described = RunCli({"EnviarDadosVenda", "--help"});
  EXPECT_EQ(described.status, 0);
  EXPECT_NE(described.out.find("--documento FILE"), std::string::npos);
  EXPECT_NE(described.out.find("chaveConsulta"), std::string::npos);
  EXPECT_NE(described.out.find("Success: 06000"), std::string::npos);
  EXPECT_NE(RunCli({"help", "AtivarSAT"}).out.find("04000 or 04006"), std::string::npos);
  // --extrato is taken before the call: it is told where it applies, and only there.
  EXPECT_NE(RunCli({"help"}).out.find("  --extrato FILE "), std::string::npos);
  EXPECT_NE(described.out.find("  --extrato FILE "), std::string::npos);
  EXPECT_NE(RunCli({"help", "CancelarUltimaVenda"}).out.find("--extrato"), std::string::npos);
  EXPECT_EQ(RunCli({"help", "ConsultarSAT"}).out.find("--extrato"), std::string::npos);
  EXPECT_EQ(RunCli({"--help"}).out, RunCli({"help"}).out);
  EXPECT_EQ(RunCli({}).status, 3);
  const Result unknown = RunCli({"help", "Nothing"});
  EXPECT_EQ(unknown.status, 3);
  EXPECT_NE(unknown.err.find("unknown function Nothing"), std::string::npos);
}

TEST(SatcliCommandLine, ArgumentsByNameInAnyOrderAndCase) {
  Invocation inv;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(
      {"consultarnumerosessao", "--numero=42", "--json", "--codigo", "--json", "--session", "7"},
      &inv, &problem))
      << problem;
  EXPECT_EQ(inv.function->name, "ConsultarNumeroSessao");
  EXPECT_EQ(inv.arguments.Number(1), 42);
  // A value is taken as it is, even when it looks like an option.
  EXPECT_STREQ(inv.arguments.Text(0), "--json");
  EXPECT_EQ(inv.session, 7);
  EXPECT_TRUE(inv.json);
}

TEST(SatcliCommandLine, BadUsageIsRefusedWithAReason) {
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {{"Bogus"}, "unknown function Bogus"},
      {{"TrocarCodigoDeAtivacao", "--codigo", "1"}, "needs --opcao --novo --confirmacao"},
      {{"ConsultarNumeroSessao", "--codigo", "1", "--numero", "12x"}, "whole number"},
      {{"ConsultarNumeroSessao", "--codigo", "1", "--numero", "2147483648"}, "whole number"},
      {{"ConsultarSAT", "--codigo", "1"}, "ConsultarSAT takes no --codigo"},
      {{"BloquearSAT", "--codigo", "1", "--codigo", "2"}, "--codigo given twice"},
      {{"BloquearSAT", "--codigo"}, "--codigo needs a value"},
      {{"--session", "1000000", "ConsultarSAT"}, "--sessao takes a whole number"},
      {{"--sessao", "-1", "ConsultarSAT"}, "--sessao takes a whole number"},
      {{"--porta", "port0", "ConsultarSAT"}, "--porta takes a whole number"},
      {{"--salvar", "out.xml", "ConsultarSAT"}, "--salvar goes with"},
      {{"--lib", "/no/such/libkovrad.so", "ConsultarSAT"}, "No such file"},
      {{"ConsultarSAT", "extra"}, "unexpected argument extra"},
      {{"BloquearSAT", "--codigo",
        "\xE5\xAD\x97"
        "12345678"},
       "Windows-1252 cannot hold"},
      {{"EnviarDadosVenda", "--codigo", "1", "--documento", "/no/such/sale.xml"}, "No such file"},
      {{"EnviarDadosVenda", "--codigo", "1", "--documento", "/"}, "Is a directory"},
      {{"--salvar", "/", "ExtrairLogs", "--codigo", "1"}, "--salvar /: Is a directory"},
  };
  for (const auto& c : cases) {
    const Result result = RunCli(c.args);
    EXPECT_EQ(result.status, 3) << c.reason;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << c.reason;
  }
}

TEST(SatcliCommandLine, DocumentsAreTakenByteForByte) {
  TempDir dir;
  const std::string sale = "<?xml version=\"1.0\"?>\r\n<CFe>\xC3\xA7\xE7</CFe>\n";
  WriteFile(dir / "sale.xml", sale);
  Invocation inv;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(
      {"TesteFimAFim", "--codigo", "12345678", "--documento", dir / "sale.xml"}, &inv, &problem));
  EXPECT_EQ(inv.arguments.TextString(1), sale);

  // A zero byte would end the document early inside the library.
  WriteFile(dir / "binary.xml", std::string("<CFe>\0</CFe>", 12));
  const Result refused =
      RunCli({"TesteFimAFim", "--codigo", "1", "--documento", dir / "binary.xml"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.err.find("zero byte"), std::string::npos);
}

TEST(SatcliCommandLine, TypedTextsAreStagedInWindows1252) {
  std::string staged;
  ASSERT_TRUE(
      StageText("c\xC3\xB3"
                "digo\xE2\x82\xAC",
                &staged));  // "código€"
  EXPECT_EQ(staged,
            "c\xF3"
            "digo\x80");
  // Already 8-bit text (not UTF-8) goes as it is.
  ASSERT_TRUE(
      StageText("c\xF3"
                "digo",
                &staged));
  EXPECT_EQ(staged,
            "c\xF3"
            "digo");
  EXPECT_FALSE(StageText("\xE5\xAD\x97", &staged));  // a CJK character
}

}  // namespace
}  // namespace kovrad::cli

namespace kovrad::cli {
namespace {

TEST(FunctionReference, TheDocumentationSaysWhatTheTableSays) {
  EXPECT_TRUE(test::ReadFile(FUNCTIONS_MD) == FunctionReference())
      << "docs/functions.md is out of date: build/default/cli/functions_reference > "
         "docs/functions.md";
}

}  // namespace
}  // namespace kovrad::cli
