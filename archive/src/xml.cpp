#include "xml.h"

#include <mutex>

namespace kovrad::archive {

XmlDoc ParseXml(std::string_view xml) {
  if (xml.size() > kMaxCoupon) return nullptr;
  // The parser's globals are set up once, before threads race to it.
  static std::once_flag initialised;
  std::call_once(initialised, xmlInitParser);
  // No network, no external entities; blanks kept, as the signature covers them.
  return XmlDoc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

xmlNode* ChildElement(const xmlNode* parent, const char* name) {
  if (parent == nullptr) return nullptr;
  for (xmlNode* n = parent->children; n != nullptr; n = n->next) {
    if (n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, BAD_CAST name) == 0) return n;
  }
  return nullptr;
}

namespace {

std::string Trimmed(xmlChar* raw) {
  std::string text = raw != nullptr ? reinterpret_cast<const char*>(raw) : "";
  xmlFree(raw);
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

}  // namespace

std::string ChildText(const xmlNode* parent, const char* name) {
  const xmlNode* node = ChildElement(parent, name);
  return node != nullptr ? Trimmed(xmlNodeGetContent(node)) : std::string();
}

std::string AttributeText(const xmlNode* node, const char* name) {
  return Trimmed(xmlGetProp(node, BAD_CAST name));
}

}  // namespace kovrad::archive
