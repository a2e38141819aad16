// One group of a fiscal document (ide, emit, prod, ICMS00...) read against
// its layout: which elements the host may send, which the device adds, and
// in what order the coupon carries them.
#pragma once

#include <libxml/tree.h>

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace satemu {

enum class Source {
  kRequired,  // the host sends it once
  kOptional,  // the host may send it once
  kRepeated,  // the host may send it any number of times
  kDevice,    // only the device writes it
};

struct Slot {
  std::string name;
  Source source;
};
using GroupLayout = std::vector<Slot>;

class Group {
 public:
  // Reads the element children of `element`. False, with a reason naming
  // the element, when one is not in the layout, is sent twice, or a
  // required one is missing, or text sits among the elements.
  bool Read(xmlNode* element, const GroupLayout* layout, std::string* error);

  xmlNode* element() const { return element_; }
  std::string_view name() const;
  // The first child of that name, or null.
  xmlNode* Get(std::string_view name) const;
  const std::vector<xmlNode*>& All(std::string_view name) const;

  // The coupon's version of the group, a new element of `doc` named as this
  // one: in layout order, each of `added` (new elements of `doc`, null ones
  // skipped) in its slot, and copies of what the host sent everywhere else.
  xmlNode* Build(xmlDoc* doc, const std::vector<xmlNode*>& added) const;

 private:
  xmlNode* element_ = nullptr;
  const GroupLayout* layout_ = nullptr;
  std::map<std::string, std::vector<xmlNode*>, std::less<>> children_;
};

// Reads the values of a group with the reason of the first failure: each
// call is false once anything has failed, so calls chain with &&.
class GroupReader {
 public:
  GroupReader(const Group& group, std::string* error) : group_(group), error_(error) {}

  // Text of `name` (empty when absent), of `min` to `max` characters.
  bool Text(const char* name, size_t min, size_t max, std::string* value);
  // Only digits, `min` to `max` of them (an absent element reads as empty).
  bool Digits(const char* name, size_t min, size_t max, std::string* value);
  // One of `choices`.
  bool OneOf(const char* name, std::initializer_list<std::string_view> choices, std::string* value);
  // A decimal of at most `max_integer` digits before the point and `scale`
  // after, as an integer of 10^-scale units; 0 when absent and not required.
  bool Decimal(const char* name, int max_integer, int scale, bool required, int64_t* units);
  bool Fail(std::string reason);

 private:
  bool Value(const char* name, std::string* value);

  const Group& group_;
  std::string* error_;
};

}  // namespace satemu
