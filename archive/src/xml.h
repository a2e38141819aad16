// libxml2 for the archive: coupons parsed without network or entities, and
// the few steps over their elements that reading them takes.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

namespace kovrad::archive {

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;

// Far above the largest coupon a device signs.
inline constexpr size_t kMaxCoupon = 8 * 1024 * 1024;

// Null when `xml` is not well-formed or too large.
XmlDoc ParseXml(std::string_view xml);

// The first child element of `parent` named `name`; null when none.
xmlNode* ChildElement(const xmlNode* parent, const char* name);
// Its text content, whitespace at the ends removed; empty when absent.
std::string ChildText(const xmlNode* parent, const char* name);
std::string AttributeText(const xmlNode* node, const char* name);

}  // namespace kovrad::archive
