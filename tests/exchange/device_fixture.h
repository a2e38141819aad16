// A scripted device on ttyACM0, selected with AbreSerialSAT, for the tests
// that go through the library's C interface.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "fake_device.h"
#include "kovrad.h"

namespace kovrad::test {

inline constexpr char kMsgPortaNaoAbre[] = "Erro ao tentar abrir a porta de comunicacao!!";

// The request frame the device must receive for `text`.
inline Bytes RequestFrame(uint8_t sequence, std::string_view text) {
  Bytes f = {0x01, sequence, 0x00, 0x00};
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(text.size() >> (8 * i)));
  f.insert(f.end(), text.begin(), text.end());
  unsigned sum = 0;
  for (size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.push_back(static_cast<uint8_t>(sum));
  return f;
}

// The message text of COMM_ERROR, read up to its terminator.
inline std::string Message() {
  const COMM_ERROR e = CodigoErro();
  return std::string(e.msg, strnlen(e.msg, sizeof e.msg));
}

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() : env_("KOVRAD_DEV_DIR", dir_ / "dev"), device_(dir_.path()) {
    AbreSerialSAT(0, 0, 0, 0, 0);
  }
  ~DeviceTest() override { ArquivoLog(""); }

  // The index-th request the device received (0 is the first); an empty
  // frame of nine zero bytes, and a failure, when it never came.
  Request Sent(size_t index) {
    EXPECT_TRUE(device_.WaitForRequests(index + 1)) << "request " << index << " never arrived";
    const auto all = device_.requests();
    return index < all.size() ? all[index] : Request{Bytes(9, 0)};
  }

  // Switches the diagnostic log on, into a file of this test's directory.
  std::string StartLog() {
    const std::string path = dir_ / "sat.log";
    ArquivoLog(path.c_str());
    return path;
  }

  TempDir dir_;
  ScopedEnv env_;
  FakeDevice device_;
};

}  // namespace kovrad::test
