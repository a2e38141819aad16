#include "archive/signature.h"

#include <libxml/c14n.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "digest.h"
#include "xml.h"

namespace kovrad::archive {
namespace {

constexpr char kC14n[] = "http://www.w3.org/TR/2001/REC-xml-c14n-20010315";
constexpr char kRsaSha256[] = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr char kEnveloped[] = "http://www.w3.org/2000/09/xmldsig#enveloped-signature";
constexpr char kSha256[] = "http://www.w3.org/2001/04/xmlenc#sha256";

bool Fail(std::string* problem, const char* what) {
  *problem = what;
  return false;
}

std::string Base64Decoded(const std::string& text) {
  std::string clean;
  for (char c : text) {
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') clean += c;
  }
  if (clean.empty() || clean.size() % 4 != 0) return {};
  std::string out(clean.size() / 4 * 3, '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(clean.data()),
                                     static_cast<int>(clean.size()));
  if (length < 0) return {};
  const size_t padding = clean.ends_with("==") ? 2 : clean.ends_with("=") ? 1 : 0;
  out.resize(static_cast<size_t>(length) - padding);
  return out;
}

// What one canonical form covers: an element's subtree, less the signature
// when it lies inside (the enveloped-signature transform).
struct Subtree {
  const xmlNode* root;
  const xmlNode* signature;
};

// The C14N visibility rule: a node belongs when it or (for namespace nodes
// and attributes) the element carrying it lies inside. Namespaces inherited
// from outside come with the element that has them in scope, as C14N 1.0
// wants.
int InSubtree(void* data, xmlNodePtr node, xmlNodePtr parent) {
  const auto* subtree = static_cast<const Subtree*>(data);
  const xmlNode* n = node == nullptr || node->type == XML_NAMESPACE_DECL ? parent : node;
  for (; n != nullptr; n = n->parent) {
    if (n == subtree->signature) return 0;
    if (n == subtree->root) return 1;
  }
  return 0;
}

bool Canonical(xmlDoc* doc, const Subtree& subtree, std::string* out) {
  xmlOutputBuffer* buffer = xmlAllocOutputBuffer(nullptr);
  if (buffer == nullptr) return false;
  const int ok = xmlC14NExecute(doc, InSubtree, const_cast<Subtree*>(&subtree), XML_C14N_1_0,
                                nullptr, 0, buffer);
  if (ok >= 0 && buffer->buffer != nullptr) {
    out->assign(reinterpret_cast<const char*>(xmlBufContent(buffer->buffer)),
                xmlBufUse(buffer->buffer));
  }
  xmlOutputBufferClose(buffer);
  return ok >= 0;
}

bool Algorithm(const xmlNode* parent, const char* name, const char* expected) {
  return AttributeText(ChildElement(parent, name), "Algorithm") == expected;
}

// Transforms: the enveloped signature and C14N 1.0, and nothing else.
bool KnownTransforms(const xmlNode* reference) {
  int count = 0;
  const xmlNode* transforms = ChildElement(reference, "Transforms");
  for (const xmlNode* n = transforms != nullptr ? transforms->children : nullptr; n != nullptr;
       n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    const std::string algorithm = AttributeText(n, "Algorithm");
    if (algorithm != kEnveloped && algorithm != kC14n) return false;
    ++count;
  }
  return count <= 2;
}

bool RsaSha256Valid(const std::string& certificate_der, const std::string& data,
                    const std::string& signature) {
  const auto* der = reinterpret_cast<const unsigned char*>(certificate_der.data());
  std::unique_ptr<X509, decltype(&X509_free)> certificate(
      d2i_X509(nullptr, &der, static_cast<long>(certificate_der.size())), X509_free);
  if (!certificate) return false;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(X509_get_pubkey(certificate.get()),
                                                          EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  EVP_MD_CTX_free);
  return key && context &&
         EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
         EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                          signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                          data.size()) == 1;
}

}  // namespace

bool VerifySignature(std::string_view xml, std::string* problem) {
  const XmlDoc doc = ParseXml(xml);
  xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr) return Fail(problem, "XML malformado");
  xmlNode* info = ChildElement(root, "infCFe");
  xmlNode* signature = ChildElement(root, "Signature");
  xmlNode* signed_info = ChildElement(signature, "SignedInfo");
  if (info == nullptr || signed_info == nullptr) return Fail(problem, "documento sem assinatura");
  const xmlNode* reference = ChildElement(signed_info, "Reference");
  if (!Algorithm(signed_info, "CanonicalizationMethod", kC14n) ||
      !Algorithm(signed_info, "SignatureMethod", kRsaSha256) ||
      !Algorithm(reference, "DigestMethod", kSha256) || !KnownTransforms(reference)) {
    return Fail(problem, "assinatura com algoritmo desconhecido");
  }
  const std::string id = AttributeText(info, "Id");
  if (id.empty() || AttributeText(reference, "URI") != "#" + id) {
    return Fail(problem, "a assinatura não se refere a este infCFe");
  }
  std::string canonical_info, canonical_signed;
  if (!Canonical(doc.get(), {info, signature}, &canonical_info) ||
      !Canonical(doc.get(), {signed_info, nullptr}, &canonical_signed)) {
    return Fail(problem, "forma canônica impossível");
  }
  if (Sha256(canonical_info) != Base64Decoded(ChildText(reference, "DigestValue"))) {
    return Fail(problem, "o resumo (DigestValue) não confere com o infCFe: conteúdo alterado");
  }
  const std::string certificate = Base64Decoded(
      ChildText(ChildElement(ChildElement(signature, "KeyInfo"), "X509Data"), "X509Certificate"));
  if (certificate.empty()) return Fail(problem, "assinatura sem certificado");
  if (!RsaSha256Valid(certificate, canonical_signed,
                      Base64Decoded(ChildText(signature, "SignatureValue")))) {
    return Fail(problem, "assinatura (SignatureValue) inválida para o certificado do SAT");
  }
  return true;
}

}  // namespace kovrad::archive
