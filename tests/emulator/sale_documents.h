// The sample sale and cancellation documents and variations of them, for the
// sale tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "fake_device.h"

namespace kovrad::test {

inline std::string SampleDocument(const char* name) {
  return ReadFile(std::string(SATEMU_SAMPLES) + "/" + name);
}
inline std::string SampleSale() {
  return SampleDocument("venda.xml");
}
inline std::string SampleCancellation() {
  return SampleDocument("cancelamento.xml");
}

// `text` with the first `from` replaced by `to`; a test failure when there
// is no `from`.
inline std::string Replaced(std::string text, std::string_view from, std::string_view to) {
  const size_t at = text.find(from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << from << "\" to replace";
    return text;
  }
  return text.replace(at, from.size(), to);
}

// The cancellation document with `key` ("CFe" and 44 digits) written over
// its placeholder, the way the manager's sale window does it.
inline std::string CancellationFor(const std::string& key) {
  std::string document = SampleCancellation();
  const size_t at = document.find("\"CFe");
  if (at == std::string::npos || at + 1 + key.size() > document.size()) {
    ADD_FAILURE() << "the sample cancellation has no quoted key placeholder";
    return document;
  }
  return document.replace(at + 1, key.size(), key);
}

// The text of the first <name> element in `xml`.
inline std::string ElementValue(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name + ">";
  const size_t from = xml.find(open);
  if (from == std::string::npos) return "(no <" + name + ">)";
  const size_t start = from + open.size();
  return xml.substr(start, xml.find('<', start) - start);
}

}  // namespace kovrad::test
