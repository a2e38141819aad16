// Activation: the operator's input checked and the device's answer read,
// including a certificate signing request that it may hand back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

// Certificate kinds: the device's own certificate, a new ICP-Brasil one, and
// the renewal of an ICP-Brasil certificate.
inline constexpr int32_t kCertificateAcSat = 1;
inline constexpr int32_t kCertificateIcpBrasil = 2;
inline constexpr int32_t kCertificateRenewal = 3;

// The state code every activation sends, whichever state the operator picks.
inline constexpr int32_t kActivationStateCode = 35;

inline constexpr char kMsgCnpjInvalid[] = "          CNPJ Inválido.         ";
inline constexpr char kMsgActivated[] =
    "SAT Ativado com sucesso!\nProssiga para etapa de vinculação do AC ao contribuinte\natravés "
    "do menu \"Associar Assinatura\"";

// The window's fields as typed (UTF-8).
struct ActivationInput {
  std::string cnpj;
  std::string code;
  std::string confirmation;
  int32_t kind = kCertificateAcSat;
};

// What goes to the device: Windows-1252 code, the bare fourteen digits.
struct Activation {
  int32_t kind = kCertificateAcSat;
  std::string code;
  std::string cnpj;
};

// The CNPJ first, then the code rules; the values to send, or the message of
// the first check that fails.
std::variant<Activation, std::string> PrepareActivation(const ActivationInput& input);

struct ActivationOutcome {
  // The reply says "Sucesso": the new code is the one to present from now on.
  bool succeeded = false;
  std::string message;
  // The message belongs in the message window, with the device log a click
  // away; otherwise in a message box.
  bool in_message_window = false;
  // A certificate signing request that came back (UTF-8), or empty.
  std::string request;
};

ActivationOutcome Activate(client::Library& library, const Activation& activation);

// The request in a reply: from the "-----BEGIN" line (or the first "BEGIN")
// to the end; empty when there is none.
std::string CertificateRequest(std::string_view reply);

}  // namespace kovrad::manager
