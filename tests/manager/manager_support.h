// Shared by the manager's tests: a realistic status reply and the device
// library bound to a scripted device.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "client/binding.h"
#include "fake_device.h"

namespace kovrad::manager::test {

// A ConsultarStatusOperacional reply of an activated, unlocked device.
std::string SampleStatusReply(const std::string& state = "0");

// The same reply with field `n` (from 1) replaced.
std::string SampleStatusReplyWith(int n, const std::string& value);

// A reply of a device locked for deactivation whose shown text fields are as
// long as the panel reads them, in characters that cannot break at a blank.
std::string LongestStatusReply();

// A scripted device on a pseudo-terminal, with the library's port set to it
// (the manager itself never chooses a port).
class BoundDevice {
 public:
  BoundDevice();
  kovrad::test::FakeDevice& device() { return device_; }
  client::Library& library() { return library_; }
  // Request texts the device has received so far.
  std::vector<std::string> Requests();

 private:
  kovrad::test::TempDir dir_;
  kovrad::test::ScopedEnv env_;
  kovrad::test::FakeDevice device_;
  client::Library library_;
};

// A test that calls the core's operations against a scripted device.
class DeviceCallTest : public ::testing::Test {
 protected:
  BoundDevice bound_;
};

}  // namespace kovrad::manager::test
