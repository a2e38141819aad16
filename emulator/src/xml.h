// Reading the XML documents a host sends and writing the ones the device
// returns, on libxml2.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace satemu {

struct XmlDocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Parses a document from the host: well-formed XML with no document type
// declaration (so no entity is ever expanded) and nothing fetched from the
// network. Comments, processing instructions and the blanks between elements
// are dropped. Null with libxml2's reason when it is not such a document.
XmlDoc ParseXml(std::string_view text, std::string* error);

std::string_view NodeName(const xmlNode* node);
// The value of an attribute, or nothing when it is missing.
bool Attribute(const xmlNode* node, const char* name, std::string* value);
// The text of an element holding nothing but text, blanks around it removed;
// false when it holds elements.
bool ElementText(const xmlNode* node, std::string* text);

// A new element of `doc` holding `text` (escaped as needed), not yet placed.
xmlNode* NewElement(xmlDoc* doc, const char* name, std::string_view text = {});
// Appends a new element to `parent`; returns it.
xmlNode* AddElement(xmlNode* parent, const char* name, std::string_view text = {});
// Appends a deep copy of `node` (from any document) to `parent`.
void AddCopy(xmlNode* parent, const xmlNode* node);

// The document as UTF-8 text, with its XML declaration.
std::string SerializeXml(xmlDoc* doc);

}  // namespace satemu
