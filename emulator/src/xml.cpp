#include "xml.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>

namespace satemu {
namespace {

bool Blank(const xmlNode* node) {
  return node->type == XML_TEXT_NODE && xmlIsBlankNode(const_cast<xmlNode*>(node));
}

// Drops what the device ignores: comments, processing instructions, and
// blank text between elements (but not the blanks of a text value).
void Tidy(xmlNode* element) {
  bool has_elements = false;
  for (xmlNode* child = element->children; child != nullptr; child = child->next) {
    has_elements = has_elements || child->type == XML_ELEMENT_NODE;
  }
  for (xmlNode* child = element->children; child != nullptr;) {
    xmlNode* next = child->next;
    if (child->type == XML_COMMENT_NODE || child->type == XML_PI_NODE ||
        (has_elements && Blank(child))) {
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      Tidy(child);
    }
    child = next;
  }
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

XmlDoc ParseXml(std::string_view text, std::string* error) {
  if (text.size() > INT_MAX) {
    *error = "documento grande demais";
    return nullptr;
  }
  xmlResetLastError();
  XmlDoc doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc) {
    const xmlError* last = xmlGetLastError();
    std::string reason = last != nullptr && last->message != nullptr ? last->message : "";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    *error = "XML mal formado";
    if (last != nullptr && last->line > 0) *error += " (linha " + std::to_string(last->line) + ")";
    if (!reason.empty()) *error += ": " + reason;
    xmlResetLastError();
    return nullptr;
  }
  if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
    *error = "declaração DOCTYPE não é aceita";
    return nullptr;
  }
  if (xmlDocGetRootElement(doc.get()) == nullptr) {
    *error = "documento sem elemento raiz";
    return nullptr;
  }
  Tidy(xmlDocGetRootElement(doc.get()));
  return doc;
}

std::string_view NodeName(const xmlNode* node) {
  return node != nullptr && node->name != nullptr ? reinterpret_cast<const char*>(node->name)
                                                  : std::string_view();
}

bool Attribute(const xmlNode* node, const char* name, std::string* value) {
  xmlChar* text = xmlGetNoNsProp(node, BAD_CAST name);
  if (text == nullptr) return false;
  *value = reinterpret_cast<const char*>(text);
  xmlFree(text);
  return true;
}

bool ElementText(const xmlNode* node, std::string* text) {
  std::string value;
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) return false;
    if (child->content != nullptr) value += reinterpret_cast<const char*>(child->content);
  }
  *text = std::string(Trimmed(value));
  return true;
}

xmlNode* NewElement(xmlDoc* doc, const char* name, std::string_view text) {
  const std::string value(text);
  return xmlNewDocRawNode(doc, nullptr, BAD_CAST name,
                          value.empty() ? nullptr : BAD_CAST value.c_str());
}

xmlNode* AddElement(xmlNode* parent, const char* name, std::string_view text) {
  return xmlAddChild(parent, NewElement(parent->doc, name, text));
}

void AddCopy(xmlNode* parent, const xmlNode* node) {
  xmlAddChild(parent, xmlDocCopyNode(const_cast<xmlNode*>(node), parent->doc, 1));
}

std::string SerializeXml(xmlDoc* doc) {
  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc, &text, &size, "UTF-8");
  std::string out = text != nullptr ? std::string(reinterpret_cast<char*>(text), size) : "";
  xmlFree(text);
  return out;
}

}  // namespace satemu
