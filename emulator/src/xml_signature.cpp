#include "xml_signature.h"

#include <libxml/c14n.h>
#include <libxml/xpath.h>
#include <openssl/evp.h>

#include <memory>

#include "text.h"
#include "xml.h"

namespace satemu {
namespace {

constexpr char kDsigNamespace[] = "http://www.w3.org/2000/09/xmldsig#";
constexpr char kC14n[] = "http://www.w3.org/TR/2001/REC-xml-c14n-20010315";
constexpr char kRsaSha256[] = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr char kEnveloped[] = "http://www.w3.org/2000/09/xmldsig#enveloped-signature";
constexpr char kSha256[] = "http://www.w3.org/2001/04/xmlenc#sha256";

// The subtree as an XPath node set: elements, text, attributes and the
// namespace nodes in scope on each element.
constexpr char kSubtree[] =
    "descendant-or-self::node() | descendant-or-self::node()/@* | "
    "descendant-or-self::node()/namespace::*";

std::string Sha256(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  return std::string(reinterpret_cast<char*>(digest), length);
}

xmlNode* AddAlgorithm(xmlNode* parent, const char* name, const char* algorithm) {
  xmlNode* node = xmlNewChild(parent, parent->ns, BAD_CAST name, nullptr);
  xmlNewProp(node, BAD_CAST "Algorithm", BAD_CAST algorithm);
  return node;
}

xmlNode* AddDsig(xmlNode* parent, const char* name, const std::string& text = {}) {
  xmlNode* node = AddElement(parent, name, text);
  xmlSetNs(node, parent->ns);
  return node;
}

}  // namespace

bool CanonicalForm(xmlDoc* doc, xmlNode* element, std::string* out) {
  std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(xmlXPathNewContext(doc),
                                                                           xmlXPathFreeContext);
  if (!context) return false;
  context->node = element;
  std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> nodes(
      xmlXPathEvalExpression(BAD_CAST kSubtree, context.get()), xmlXPathFreeObject);
  if (!nodes || nodes->nodesetval == nullptr) return false;
  xmlChar* text = nullptr;
  const int size = xmlC14NDocDumpMemory(doc, nodes->nodesetval, XML_C14N_1_0, nullptr, 0, &text);
  if (size < 0 || text == nullptr) {
    xmlFree(text);
    return false;
  }
  out->assign(reinterpret_cast<char*>(text), size);
  xmlFree(text);
  return true;
}

bool SignEnveloped(xmlDoc* doc, xmlNode* element, const SigningKey& key, std::string* error) {
  std::string id, canonical;
  if (!Attribute(element, "Id", &id) || !CanonicalForm(doc, element, &canonical)) {
    *error = "elemento a assinar sem Id ou sem forma canônica";
    return false;
  }
  const std::string digest = Sha256(canonical);

  xmlNode* signature =
      xmlNewChild(xmlDocGetRootElement(doc), nullptr, BAD_CAST "Signature", nullptr);
  xmlSetNs(signature, xmlNewNs(signature, BAD_CAST kDsigNamespace, nullptr));
  xmlNode* info = AddDsig(signature, "SignedInfo");
  AddAlgorithm(info, "CanonicalizationMethod", kC14n);
  AddAlgorithm(info, "SignatureMethod", kRsaSha256);
  xmlNode* reference = AddDsig(info, "Reference");
  xmlNewProp(reference, BAD_CAST "URI", BAD_CAST("#" + id).c_str());
  xmlNode* transforms = AddDsig(reference, "Transforms");
  AddAlgorithm(transforms, "Transform", kEnveloped);
  AddAlgorithm(transforms, "Transform", kC14n);
  AddAlgorithm(reference, "DigestMethod", kSha256);
  AddDsig(reference, "DigestValue", Base64Encode(digest));

  std::string signed_info;
  const std::string value =
      !digest.empty() && CanonicalForm(doc, info, &signed_info) ? key.Sign(signed_info) : "";
  if (value.empty()) {
    *error = "falha ao assinar o documento";
    return false;
  }
  AddDsig(signature, "SignatureValue", Base64Encode(value));
  xmlNode* key_info = AddDsig(signature, "KeyInfo");
  AddDsig(AddDsig(key_info, "X509Data"), "X509Certificate", key.certificate_base64());
  return true;
}

}  // namespace satemu
