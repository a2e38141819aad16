// Administration: activation and certificates, signature association,
// software update, lock and unlock, activation-code change.
#include "certificates.h"
#include "device.h"
#include "text.h"

namespace satemu {
namespace {

enum ActivationKind { kSefazCertificate = 1, kIcpBrasil = 2, kIcpBrasilRenewal = 3 };

constexpr size_t kMaxSignature = 4096;

constexpr char kMsgCnpj[] = "SEFAZ não reconhece este SAT (CNPJ inválido)";

// Binds the device to a taxpayer; SEFAZ knows the state registration of the
// test taxpayer only.
void BindTaxpayer(DeviceState& s, std::string_view code, std::string_view cnpj,
                  std::string_view state_code) {
  s.activation_code = code;
  s.taxpayer_cnpj = cnpj;
  s.state_code = state_code;
  s.taxpayer.ie = cnpj == kTestTaxpayerCnpj ? kTestTaxpayerIe : "";
}

Reply AtivarSAT(Device& device, const Request& request) {
  const auto f = SplitFields(request.payload, 4);
  auto answer = [&](const char* code, std::string_view message, std::string_view csr = {}) {
    return Answer(request, code, message, {csr});
  };
  long long kind = 0;
  if (f.size() < 4 || !ParseInteger(f[0], kSefazCertificate, kIcpBrasilRenewal, &kind)) {
    return answer("04099", "Subcomando inválido");
  }
  const std::string_view code = f[1], cnpj = f[2], state_code = f[3];
  DeviceState& s = device.state();
  if (kind == kIcpBrasilRenewal) {
    if (s.activation != Activation::kActive) return answer("04099", kMsgNotActivated);
    if (code != s.activation_code) return answer("04001", kMsgInvalidCode);
    if (cnpj != s.taxpayer_cnpj) return answer("04002", kMsgCnpj);
  } else {
    if (s.activation == Activation::kActive) return answer("04003", "SAT ja ativado");
    if (!ValidActivationCode(code)) return answer("04001", kMsgInvalidCode);
    if (!ValidCnpj(cnpj)) return answer("04002", kMsgCnpj);
    if (state_code.size() != 2 || !AllDigits(state_code)) {
      return answer("04099", "Código da UF inválido");
    }
  }

  const std::time_t now = device.Now();
  if (kind == kSefazCertificate) {
    s.activation = Activation::kActive;
    BindTaxpayer(s, code, cnpj, state_code);
    s.certificate_issued = DateStamp(now);
    s.certificate_expires = DateStamp(now, kCertificateYears);
    s.certificate_request.clear();
    s.last_contact = Timestamp(now);
    return answer("04000", "SAT Ativado com Sucesso");
  }
  std::string csr = MakeCertificateRequest(device.serial(), std::string(cnpj));
  if (csr.empty()) return answer("04007", "Erro na criação do CSR ICP-BRASIL");
  if (kind == kIcpBrasil) {
    // Active once the certificate signed from this request comes back.
    s.activation = Activation::kAwaitingCertificate;
    BindTaxpayer(s, code, cnpj, state_code);
  }
  s.certificate_request = csr;
  return answer("04006", "CSR ICP-BRASIL criado com sucesso", csr);
}

Reply ComunicarCertificadoICPBRASIL(Device& device, const Request& request) {
  const Family family{"05"};
  const auto f = SplitFields(request.payload, 2);
  DeviceState& s = device.state();
  if (s.activation == Activation::kFactory) {
    return Refuse(request, family, family.not_activated, kMsgNotActivated);
  }
  if (auto refusal = device.Refusal(request, f[0], family, Access::kFactoryCode)) return *refusal;
  std::string issued, expires;
  if (f.size() < 2 || !CertificateDates(f[1], &issued, &expires)) {
    return Answer(request, "05099", "Certificado inválido");
  }
  s.activation = Activation::kActive;
  s.certificate_issued = issued;
  s.certificate_expires = expires;
  s.certificate_request.clear();
  s.last_contact = Timestamp(device.Now());
  return Answer(request, "05000", "Certificado transmitido com sucesso");
}

Reply AssociarAssinatura(Device& device, const Request& request) {
  const auto f = SplitFields(request.payload, 3);
  if (auto refusal = device.Refusal(request, f[0], {"13"}, Access::kActivated)) return *refusal;
  // The software house's CNPJ and the taxpayer's, one after the other.
  if (f.size() < 3 || f[1].size() != 28 || !AllDigits(f[1]) || f[2].empty() ||
      f[2].size() > kMaxSignature) {
    return Answer(request, "13003", "Assinatura fora do padrão especificado");
  }
  DeviceState& s = device.state();
  s.software_house_cnpj = f[1].substr(0, 14);
  s.signature = f[2];
  s.last_contact = Timestamp(device.Now());
  return Answer(request, "13000", "Assinatura do AC Registrada");
}

Reply AtualizarSoftwareSAT(Device& device, const Request& request) {
  if (auto refusal = device.Refusal(request, request.payload, {"14"}, Access::kActivated)) {
    return *refusal;
  }
  return Answer(request, "14000", "Software Atualizado com Sucesso");
}

Reply BloquearSAT(Device& device, const Request& request) {
  // Case 002 of this family is "already locked".
  if (auto refusal = device.Refusal(request, request.payload, {"16", "099"}, Access::kActivated)) {
    return *refusal;
  }
  DeviceState& s = device.state();
  if (s.lock != kUnlocked) return Answer(request, "16002", "Equipamento SAT já está bloqueado");
  s.lock = kLockTaxpayer;
  s.last_contact = Timestamp(device.Now());
  return Answer(request, "16000", "Equipamento SAT bloqueado com sucesso");
}

Reply DesbloquearSAT(Device& device, const Request& request) {
  if (auto refusal = device.Refusal(request, request.payload, {"17"}, Access::kActivated)) {
    return *refusal;
  }
  DeviceState& s = device.state();
  switch (s.lock) {
    case kUnlocked:
      return Answer(request, "17005", "SAT ja desbloqueado");
    case kLockSefaz:
      return Answer(request, "17003", "Desbloqueio não permitido: bloqueio SEFAZ");
    case kLockAutonomous:
      return Answer(request, "17006", "Desbloqueio não permitido: bloqueio autônomo");
    case kLockDeactivation:
      return Answer(request, "17004", "Desbloqueio não permitido: SAT em desativação");
    default:
      s.lock = kUnlocked;
      s.last_contact = Timestamp(device.Now());
      return Answer(request, "17000", "Equipamento SAT desbloqueado com sucesso");
  }
}

Reply TrocarCodigoDeAtivacao(Device& device, const Request& request) {
  enum Option { kActivationCode = 1, kEmergencyCode = 2 };
  const auto f = SplitFields(request.payload, 4);
  DeviceState& s = device.state();
  // Case 002 of this family is a wrong emergency code.
  if (s.activation != Activation::kActive) return Answer(request, "18099", kMsgNotActivated);
  long long option = 0;
  if (f.size() < 4 || !ParseInteger(f[1], kActivationCode, kEmergencyCode, &option)) {
    return Answer(request, "18099", "Opção inválida");
  }
  if (option == kActivationCode && f[0] != s.activation_code) {
    return Answer(request, "18001", kMsgInvalidCode);
  }
  if (option == kEmergencyCode && (s.emergency_code.empty() || f[0] != s.emergency_code)) {
    return Answer(request, "18002", "Código de ativação de emergência Incorreto");
  }
  if (f[2] != f[3]) {
    return Answer(request, "18099", "Novo código e confirmação não conferem");
  }
  if (!ValidActivationCode(f[2]))
    return Answer(request, "18099", "Novo código de ativação inválido");
  s.activation_code = f[2];
  return Answer(request, "18000", "Código de ativação alterado com sucesso.");
}

}  // namespace

void AddAdministration(CommandTable& table) {
  table["AtivarSAT"] = AtivarSAT;
  table["ComunicarCertificadoICPBRASIL"] = ComunicarCertificadoICPBRASIL;
  table["AssociarAssinatura"] = AssociarAssinatura;
  table["AtualizarSoftwareSAT"] = AtualizarSoftwareSAT;
  table["BloquearSAT"] = BloquearSAT;
  table["DesbloquearSAT"] = DesbloquearSAT;
  table["TrocarCodigoDeAtivacaoSAT"] = TrocarCodigoDeAtivacao;
}

}  // namespace satemu
