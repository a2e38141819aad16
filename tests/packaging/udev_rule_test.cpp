// The udev rule for the SAT device: well-formed (udevadm verify where the
// installed udev has it, and a check of the rule syntax everywhere), and
// saying what it must: the dialout group, the /dev/sat/<serial> name and
// ModemManager kept away, on the device's USB identity only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fake_device.h"

namespace kovrad::test {
namespace {

struct Key {
  std::string name, attribute, op, value;
};
using Rule = std::vector<Key>;

// The rules of the file, one per line (continued lines joined), or the
// first syntax error.
bool ReadRules(const std::string& text, std::vector<Rule>* rules, std::string* error) {
  static const std::regex key(
      R"re(^\s*([A-Z_]+)(\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*)re");
  std::string line, joined;
  std::istringstream lines(text);
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.ends_with('\\')) {
      joined += line.substr(0, line.size() - 1);
      continue;
    }
    joined += line;
    const size_t start = joined.find_first_not_of(" \t");
    if (start == std::string::npos || joined[start] == '#') {
      joined.clear();
      continue;
    }
    Rule rule;
    std::string rest = joined.substr(start);
    std::smatch m;
    while (std::regex_search(rest, m, key)) {
      rule.push_back({m[1], m[3], m[4], m[5]});
      rest = m.suffix();
      if (rest.empty()) break;
      if (rest[0] != ',') break;
      rest.erase(0, 1);
    }
    if (!rest.empty() || rule.empty()) {
      *error = "line " + std::to_string(number) + ": cannot read \"" + rest + "\"";
      return false;
    }
    rules->push_back(rule);
    joined.clear();
  }
  return true;
}

// What udev accepts for each key: whether it matches, assigns, and needs an
// attribute in braces.
bool KeyIsValid(const Key& k, std::string* why) {
  static const std::set<std::string> match_only = {
      "ACTION",  "DEVPATH", "KERNEL", "SUBSYSTEM", "DRIVER",  "KERNELS", "SUBSYSTEMS",
      "DRIVERS", "ATTRS",   "TAGS",   "TEST",      "PROGRAM", "RESULT",  "CONST"};
  static const std::set<std::string> assign_only = {"OWNER", "GROUP", "MODE",   "SECLABEL", "RUN",
                                                    "LABEL", "GOTO",  "IMPORT", "OPTIONS"};
  static const std::set<std::string> both = {"NAME", "SYMLINK", "ATTR", "SYSCTL", "ENV", "TAG"};
  static const std::set<std::string> need_attribute = {"ATTR",     "ATTRS", "ENV",   "SYSCTL",
                                                       "SECLABEL", "CONST", "IMPORT"};
  const bool matching = k.op == "==" || k.op == "!=";
  if (!match_only.contains(k.name) && !assign_only.contains(k.name) && !both.contains(k.name)) {
    *why = "unknown key " + k.name;
  } else if (matching && assign_only.contains(k.name)) {
    *why = k.name + " cannot be matched";
  } else if (!matching && match_only.contains(k.name)) {
    *why = k.name + " cannot be assigned";
  } else if (need_attribute.contains(k.name) == k.attribute.empty()) {
    *why = k.name + (k.attribute.empty() ? " needs {attribute}" : " takes no {attribute}");
  } else if ((k.name == "LABEL" || k.name == "GOTO") && k.op != "=") {
    *why = k.name + " takes =";
  } else {
    return true;
  }
  return false;
}

const Key* Find(const Rule& rule, const std::string& name, const std::string& attribute = "") {
  for (const Key& k : rule) {
    if (k.name == name && k.attribute == attribute) return &k;
  }
  return nullptr;
}

bool MatchesTheDevice(const Rule& rule) {
  const Key* vendor = Find(rule, "ATTRS", "idVendor");
  const Key* product = Find(rule, "ATTRS", "idProduct");
  return vendor && product && vendor->op == "==" && vendor->value == "0525" &&
         product->op == "==" && product->value == "a4a7";
}

class UdevRule : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ReadRules(ReadFile(RULES_PATH), &rules_, &error)) << error;
  }
  std::vector<Rule> rules_;
};

TEST_F(UdevRule, IsWellFormed) {
  std::set<std::string> labels, targets;
  for (const Rule& rule : rules_) {
    bool assigns = false;
    for (const Key& k : rule) {
      std::string why;
      EXPECT_TRUE(KeyIsValid(k, &why)) << why;
      assigns = assigns || (k.op != "==" && k.op != "!=");
      if (k.name == "LABEL") labels.insert(k.value);
      if (k.name == "GOTO") targets.insert(k.value);
    }
    EXPECT_TRUE(assigns) << "a rule that only matches does nothing";
  }
  for (const std::string& target : targets) EXPECT_TRUE(labels.contains(target)) << target;

  // Debian 12's udev (252) has no "verify"; later ones check the file too.
  if (std::system("udevadm verify --help >/dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system("udevadm verify " RULES_PATH), 0);
  }
}

TEST_F(UdevRule, GivesTheDeviceToDialoutWithAStableNameAndNoModemManager) {
  bool group = false, symlink = false, no_modem_manager = false;
  for (const Rule& rule : rules_) {
    for (const Key& k : rule) {
      // A negated match on a parent's attribute also holds on the root hub
      // above the device, which would skip the device's rules.
      EXPECT_FALSE(k.name == "ATTRS" && k.op == "!=") << k.attribute;
      // The kernel's name stays: the library's discovery looks for it.
      EXPECT_NE(k.name, "NAME");
    }
    if (!MatchesTheDevice(rule)) continue;
    const Key* g = Find(rule, "GROUP");
    const Key* mode = Find(rule, "MODE");
    group = group || (g && g->value == "dialout" && mode && mode->value == "0660");
    const Key* link = Find(rule, "SYMLINK");
    symlink = symlink || (link && link->op == "+=" && link->value == "sat/$attr{serial}" &&
                          Find(rule, "ATTRS", "serial"));
    const Key* ignore = Find(rule, "ENV", "ID_MM_DEVICE_IGNORE");
    no_modem_manager = no_modem_manager || (ignore && ignore->value == "1");
  }
  EXPECT_TRUE(group);
  EXPECT_TRUE(symlink);
  EXPECT_TRUE(no_modem_manager);
}

}  // namespace
}  // namespace kovrad::test
