// The client's table of functions against the two other places the same
// facts live: the library's own sources (its C and Windows build takes no
// C++ client) and the header's description of each function.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "client/functions.h"
#include "fake_device.h"

namespace kovrad::client {
namespace {

using kovrad::test::ReadFile;

// The body of export `name` in the library's sources; empty when none defines it.
std::string ExportBody(const std::string& name, std::string* file_text) {
  for (const auto& entry : std::filesystem::directory_iterator(KOVRAD_LIBRARY_SOURCES)) {
    if (entry.path().extension() != ".cpp") continue;
    const std::string text = ReadFile(entry.path().string());
    const size_t start = text.find("KOVRAD_CALL " + name + "(");
    if (start == std::string::npos) continue;
    *file_text = text;
    return text.substr(start, text.find("\n}\n", start) - start);
  }
  return {};
}

// The header's paragraph on `name`, from "/* name:" to its end.
std::string HeaderEntry(const std::string& header, const std::string& name) {
  const size_t start = header.find("/* " + name + ":");
  if (start == std::string::npos) return {};
  return header.substr(start, header.find("*/", start) - start);
}

TEST(FunctionTable, TheLibrarySendsEachFunctionUnderItsWireNameWithItsTimeLimit) {
  for (const Function& f : Functions()) {
    const std::string name(f.export_name);
    std::string file;
    const std::string body = ExportBody(name, &file);
    ASSERT_FALSE(body.empty()) << name;
    const std::string wire = "\"" + std::string(f.wire_name) + "\"";
    // The name is written in the call or in a constant of the same file.
    std::smatch constant;
    const bool named = body.find(wire) != std::string::npos ||
                       (std::regex_search(file, constant, std::regex("(\\w+)\\[\\] = " + wire)) &&
                        body.find(constant[1].str()) != std::string::npos);
    EXPECT_TRUE(named) << name << " is not sent as " << wire;
    EXPECT_TRUE(
        std::regex_search(body, std::regex("\\b" + std::to_string(f.time_limit_ms) + "\\b")))
        << name << " does not wait " << f.time_limit_ms << " ms";
  }
}

TEST(FunctionTable, TheHeaderDescribesEachFunctionAsTheTableHasIt) {
  const std::string header = ReadFile(KOVRAD_HEADER);
  for (const Function& f : Functions()) {
    const std::string name(f.export_name);
    const std::string entry = HeaderEntry(header, name);
    ASSERT_FALSE(entry.empty()) << name;
    const std::string wire = f.wire_name == f.export_name
                                 ? "(wire name \"" + name + "\"|same wire name)"
                                 : "wire name \"" + std::string(f.wire_name) + "\"";
    EXPECT_TRUE(std::regex_search(entry, std::regex("^/\\* " + name + ": " + wire + ", " +
                                                    std::to_string(f.time_limit_ms / 1000) + " s")))
        << entry;
    for (std::string_view code : f.success) {
      EXPECT_NE(entry.find(code), std::string::npos) << name << " success " << code;
    }
    // Each argument under the name the header's declaration gives it.
    const size_t declared = header.find("KOVRAD_CALL " + name + "(");
    ASSERT_NE(declared, std::string::npos) << name;
    const std::string declaration = header.substr(declared, header.find(';', declared) - declared);
    for (const Argument& a : f.arguments) {
      EXPECT_TRUE(std::regex_search(declaration, std::regex("\\b" + std::string(a.name) + "\\b")))
          << name << ": " << a.name;
    }
  }
}

TEST(FunctionTable, LookupsAndFiscalFunctions) {
  ASSERT_NE(FindFunction("enviardadosvenda"), nullptr);
  EXPECT_EQ(FindFunction("enviardadosvenda")->export_name, "EnviarDadosVenda");
  EXPECT_EQ(FindFunction("GeraNumeroSessao"), nullptr);
  EXPECT_TRUE(IsFiscal("EnviarDadosVenda"));
  EXPECT_TRUE(IsFiscal("CancelarUltimaVenda"));
  EXPECT_FALSE(IsFiscal("TesteFimAFim"));
  EXPECT_FALSE(IsFiscal("enviardadosvenda"));
  EXPECT_EQ(FunctionOfResult("07000")->export_name, "CancelarUltimaVenda");
  EXPECT_EQ(FunctionOfResult("9"), nullptr);
  const Function& lookup = *FindFunction("ConsultarNumeroSessao");
  EXPECT_TRUE(Succeeded(lookup, "06000"));
  EXPECT_TRUE(Succeeded(lookup, "11000"));
  EXPECT_FALSE(Succeeded(lookup, "11003"));
  EXPECT_FALSE(Succeeded(*FindFunction("EnviarDadosVenda"), "07000"));
}

}  // namespace
}  // namespace kovrad::client
