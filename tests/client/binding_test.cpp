// The run-time binding of the device library and the operator's report
// of a link error record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "client/binding.h"
#include "fake_device.h"

namespace kovrad::client::test {
namespace {

using kovrad::test::TempDir;

COMM_ERROR Record(int32_t code, const std::string& msg) {
  COMM_ERROR record{};
  record.code = code;
  std::memcpy(record.msg, msg.data(), std::min(msg.size(), sizeof record.msg));
  return record;
}

TEST(ErrorReportTest, LinkErrorCodesHaveFixedTexts) {
  EXPECT_EQ(client::ErrorReport(Record(__NOCONNECT__, "x")),
            "   Porta de comunicação não conectada.   ");
  EXPECT_EQ(client::ErrorReport(Record(__CMDUNKERROR__, "x")),
            "    Comando recebido do equipamento não reconhecido.  ");
  EXPECT_EQ(client::ErrorReport(Record(__TIMEOUT__, "x")),
            "   TimeOut: Equipamento não está respondendo as mensagens.");
  EXPECT_EQ(client::ErrorReport(Record(__SEMCTS__, "whatever it says")), "   Sem Sinal CTS.   ");
}

TEST(ErrorReportTest, OtherCodesShowTheMessageAndThirtyBlanks) {
  EXPECT_EQ(client::ErrorReport(Record(0, "")), std::string(30, ' '));
  EXPECT_EQ(client::ErrorReport(Record(0,
                                       "Codigo: 14000.\nC\xF3"
                                       "digo alterado")),
            "Codigo: 14000.\nCódigo alterado" + std::string(30, ' '));
  EXPECT_EQ(client::ErrorReport(Record(7, "m")), "m" + std::string(30, ' '));
  const std::string longest(799, 'm');
  EXPECT_EQ(client::ErrorReport(Record(0, longest)), longest + std::string(30, ' '));
  // A record that fills its field without a terminating zero is read no further.
  EXPECT_EQ(client::ErrorReport(Record(0, std::string(800, 'z'))),
            std::string(800, 'z') + std::string(30, ' '));
}

TEST(BindingTest, TheLibraryIsLoadedOnceForTheRun) {
  client::Library library;
  EXPECT_EQ(library.handle(), nullptr);
  std::string problem;
  ASSERT_NE(library.Lookup("VersaoLib", &problem), nullptr) << problem;
  void* first = library.handle();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(library.Lookup("CodigoErro", &problem), nullptr);
  EXPECT_EQ(library.handle(), first);
}

TEST(BindingTest, OnlyAProgramInTheBuildTreeTakesTheLibraryBuiltThere) {
  const std::filesystem::path build = KOVRAD_BUILD_DIR;
  const std::vector<std::string> here = client::Library::DefaultCandidates();
  ASSERT_EQ(here.size(), 4u);
  EXPECT_TRUE(std::filesystem::exists(here[0])) << here[0];
  const std::string name = here.back();

  const std::vector<std::string> installed = client::Library::CandidatesFor("/usr/bin/Ativacao");
  ASSERT_EQ(installed.size(), 3u);
  EXPECT_EQ(installed[0], "/usr/bin/" + name);
  EXPECT_EQ(std::filesystem::path(installed[1]).lexically_normal().string().rfind("/usr/lib/", 0),
            0u)
      << installed[1];
  EXPECT_EQ(installed[2], name);
  // A neighbour whose name merely begins with the build directory's.
  const std::filesystem::path neighbour = build.string() + "-old/bin/Ativacao";
  EXPECT_EQ(client::Library::CandidatesFor(neighbour).size(), 3u);
  EXPECT_EQ(client::Library::CandidatesFor(build / "manager/../cli/satcli").front(), here[0]);
}

TEST(BindingTest, AMissingExportIsReportedAndNothingIsCalled) {
  client::Library library({"libz.so.1"});
  const client::Reply reply = KOVRAD_SAT(library, ConsultarStatusOperacional, 12, "code");
  EXPECT_FALSE(reply.called);
  EXPECT_EQ(reply.problem,
            "A função ConsultarStatusOperacional não foi encontrada na biblioteca do SAT.");
  EXPECT_EQ(client::ReportAfterCall(library, reply), reply.problem);
  std::string problem;
  EXPECT_FALSE(library.ErrorRecord(&problem));
  EXPECT_NE(problem.find("CodigoErro"), std::string::npos);
}

}  // namespace
}  // namespace kovrad::client::test
