// The signed sample coupons, read for the extrato tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "coupon.h"

namespace kovrad::receipt::test {

inline std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(RECEIPT_DATA) + "/" + name, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  EXPECT_TRUE(in.good() || in.eof()) << name;
  return contents.str();
}

inline Coupon Read(const std::string& document) {
  Coupon coupon;
  std::string error;
  EXPECT_TRUE(ReadCoupon(document, &coupon, &error)) << error;
  return coupon;
}

inline Coupon SignedSale() {
  return Read(DataFile("cfe-venda.xml"));
}
inline Coupon SignedCancellation() {
  return Read(DataFile("cfe-cancelamento.xml"));
}

}  // namespace kovrad::receipt::test
