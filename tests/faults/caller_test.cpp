// A C caller's faults: a null pointer for any text of any SAT function counts
// as an empty text. Nothing crashes and the request goes out with the text
// empty, never as "(null)" or garbage. The device here echoes each request
// text back as its reply.
#include <gtest/gtest.h>

#include <string>

#include "fake_device.h"
#include "kovrad.h"
#include "pty_responder.h"

namespace kovrad::test {
namespace {

struct NullCall {
  const char* request;  // the request text the device must receive
  char* (*call)();
};

const NullCall kNullCalls[] = {
    {"000001|AtivarSAT|1|||35", [] { return AtivarSAT(1, 1, nullptr, nullptr, 35); }},
    {"000001|ComunicarCertificadoICPBRASIL||",
     [] { return ComunicarCertificadoICPBRASIL(1, nullptr, nullptr); }},
    {"000001|CancelarUltimaVenda|||",
     [] { return CancelarUltimaVenda(1, nullptr, nullptr, nullptr); }},
    {"000001|TesteFimAFim||", [] { return TesteFimAFim(1, nullptr, nullptr); }},
    {"000001|ConsultarStatusOperacional|", [] { return ConsultarStatusOperacional(1, nullptr); }},
    {"000001|ConsultarNumeroSessao||000007", [] { return ConsultarNumeroSessao(1, nullptr, 7); }},
    {"000001|ConfigurarInterfaceDeRede||",
     [] { return ConfigurarInterfaceDeRede(1, nullptr, nullptr); }},
    {"000001|AssociarAssinatura|||",
     [] { return AssociarAssinatura(1, nullptr, nullptr, nullptr); }},
    {"000001|AtualizarSoftwareSAT|", [] { return AtualizarSoftwareSAT(1, nullptr); }},
    {"000001|ExtrairLogs|", [] { return ExtrairLogs(1, nullptr); }},
    {"000001|BloquearSAT|", [] { return BloquearSAT(1, nullptr); }},
    {"000001|DesbloquearSAT|", [] { return DesbloquearSAT(1, nullptr); }},
    {"000001|TrocarCodigoDeAtivacaoSAT||1||",
     [] { return TrocarCodigoDeAtivacao(1, nullptr, 1, nullptr, nullptr); }},
};

class NullTexts : public ::testing::Test {
 protected:
  NullTexts()
      : device_(dir_.path(), [](std::string_view request) { return FrameOf(request); }),
        dev_("KOVRAD_DEV_DIR", device_.dev_dir()) {
    AbreSerialSAT(0, 0, 0, 0, 0);
  }
  TempDir dir_;
  PtyResponder device_;
  ScopedEnv dev_;
};

TEST_F(NullTexts, CountAsEmptyInEveryFunction) {
  for (const NullCall& c : kNullCalls) {
    EXPECT_EQ(std::string(c.call()), c.request);
    EXPECT_EQ(CodigoErro().code, __NOERROR__) << c.request;
  }
}

TEST_F(NullTexts, ASaleWithoutCodeOrDocumentIsSentEmpty) {
  // An empty document still goes out compressed: the request's text part
  // ends where the binary length begins.
  const std::string both = EnviarDadosVenda(1, nullptr, nullptr);
  EXPECT_EQ(both.substr(0, 25), "000001|EnviarDadosVenda||");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_EQ(std::string(EnviarDadosVenda(1, "12345678", nullptr)).substr(0, 33),
            "000001|EnviarDadosVenda|12345678|");
  EXPECT_EQ(std::string(EnviarDadosVenda(1, nullptr, "<CFe/>")).substr(0, 25),
            "000001|EnviarDadosVenda||");
}

}  // namespace
}  // namespace kovrad::test
