#include "xml_group.h"

#include <algorithm>

#include "decimal.h"
#include "text.h"
#include "xml.h"

namespace satemu {
namespace {

std::string Tag(std::string_view name) {
  return "<" + std::string(name) + ">";
}

// Characters, not bytes: the documents are UTF-8.
size_t Utf8Length(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

bool Group::Read(xmlNode* element, const GroupLayout* layout, std::string* error) {
  element_ = element;
  layout_ = layout;
  children_.clear();
  const std::string where = " em " + Tag(NodeName(element));
  for (xmlNode* child = element->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) {
      *error = "texto fora de lugar" + where;
      return false;
    }
    const std::string_view name = NodeName(child);
    const auto slot =
        std::find_if(layout->begin(), layout->end(), [&](const Slot& s) { return s.name == name; });
    if (slot == layout->end() || slot->source == Source::kDevice) {
      *error = "elemento " + Tag(name) + " não esperado" + where;
      return false;
    }
    auto& found = children_[std::string(name)];
    if (!found.empty() && slot->source != Source::kRepeated) {
      *error = "elemento " + Tag(name) + " repetido" + where;
      return false;
    }
    found.push_back(child);
  }
  for (const Slot& slot : *layout) {
    if (slot.source == Source::kRequired && Get(slot.name) == nullptr) {
      *error = "elemento " + Tag(slot.name) + " ausente" + where;
      return false;
    }
  }
  return true;
}

std::string_view Group::name() const {
  return NodeName(element_);
}

xmlNode* Group::Get(std::string_view name) const {
  const auto it = children_.find(name);
  return it == children_.end() ? nullptr : it->second.front();
}

const std::vector<xmlNode*>& Group::All(std::string_view name) const {
  static const std::vector<xmlNode*> kNone;
  const auto it = children_.find(name);
  return it == children_.end() ? kNone : it->second;
}

xmlNode* Group::Build(xmlDoc* doc, const std::vector<xmlNode*>& added) const {
  xmlNode* out = NewElement(doc, std::string(name()).c_str());
  for (const Slot& slot : *layout_) {
    const auto mine = std::find_if(added.begin(), added.end(),
                                   [&](xmlNode* n) { return NodeName(n) == slot.name; });
    if (mine != added.end()) {
      xmlAddChild(out, *mine);
      continue;
    }
    for (const xmlNode* sent : All(slot.name)) {
      std::string text;
      if (ElementText(sent, &text)) {
        AddElement(out, slot.name.c_str(), text);
      } else {
        AddCopy(out, sent);
      }
    }
  }
  for (xmlNode* node : added) {
    if (node != nullptr && node->parent == nullptr) xmlFreeNode(node);
  }
  return out;
}

bool GroupReader::Fail(std::string reason) {
  if (error_->empty()) *error_ = std::move(reason);
  return false;
}

bool GroupReader::Value(const char* name, std::string* value) {
  if (!error_->empty()) return false;
  const xmlNode* node = group_.Get(name);
  value->clear();
  if (node != nullptr && !ElementText(node, value)) {
    return Fail("elemento " + Tag(name) + " em " + Tag(group_.name()) + " deve conter só texto");
  }
  return true;
}

bool GroupReader::Text(const char* name, size_t min, size_t max, std::string* value) {
  if (!Value(name, value)) return false;
  const size_t length = Utf8Length(*value);
  if (length < min || length > max) {
    return Fail("tamanho inválido de " + Tag(name) + " em " + Tag(group_.name()));
  }
  return true;
}

bool GroupReader::Digits(const char* name, size_t min, size_t max, std::string* value) {
  if (!Text(name, min, max, value)) return false;
  if (!value->empty() && !AllDigits(*value)) {
    return Fail("valor não numérico em " + Tag(name) + " de " + Tag(group_.name()));
  }
  return true;
}

bool GroupReader::OneOf(const char* name, std::initializer_list<std::string_view> choices,
                        std::string* value) {
  if (!Value(name, value)) return false;
  if (std::find(choices.begin(), choices.end(), *value) == choices.end()) {
    return Fail("valor inválido em " + Tag(name) + " de " + Tag(group_.name()) + ": \"" +
                Printable(*value, 20) + "\"");
  }
  return true;
}

bool GroupReader::Decimal(const char* name, int max_integer, int scale, bool required,
                          int64_t* units) {
  std::string text;
  if (!Value(name, &text)) return false;
  *units = 0;
  if (text.empty() && !required && group_.Get(name) == nullptr) return true;
  if (!ParseDecimal(text, max_integer, scale, units)) {
    return Fail("valor inválido em " + Tag(name) + " de " + Tag(group_.name()) + ": \"" +
                Printable(text, 20) + "\" (até " + std::to_string(max_integer) +
                " dígitos inteiros e " + std::to_string(scale) + " decimais)");
  }
  return true;
}

}  // namespace satemu
