// A test that talks to satemu through libkovrad.so: the emulator runs in a
// temporary directory, and the library finds it through the two variables.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_device.h"
#include "kovrad.h"
#include "satemu_process.h"

namespace kovrad::test {

inline constexpr char kFactory[] = "24681357";
inline constexpr char kTaxpayer[] = "08723218000186";
inline constexpr char kSoftwareHouse[] = "16716114000172";
inline constexpr char kSignature[] = "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT";

// The reply's fields, empty ones included.
inline std::vector<std::string> Fields(const std::string& reply) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    const size_t bar = reply.find('|', from);
    fields.push_back(reply.substr(from, bar - from));
    if (bar == std::string::npos) return fields;
    from = bar + 1;
  }
}

inline std::string Code(const std::string& reply) {
  const auto fields = Fields(reply);
  return fields.size() > 1 ? fields[1] : std::string();
}

class EmulatedDevice : public ::testing::Test {
 protected:
  // Starts (or restarts) the emulator on port 0 of the test's directory.
  void Start(std::vector<std::string> args = {}) {
    emulator_.reset();
    emulator_ = std::make_unique<Satemu>(dir_.path(), std::move(args));
    dev_.emplace("KOVRAD_DEV_DIR", emulator_->dev_dir());
    sys_.emplace("KOVRAD_SYSFS_DIR", emulator_->sys_dir());
  }
  TempDir dir_;
  std::unique_ptr<Satemu> emulator_;
  std::optional<ScopedEnv> dev_, sys_;
};

}  // namespace kovrad::test
