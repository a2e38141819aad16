// The extrato of the coupon a sale or a cancellation returned, for the sale
// window's viewer: an image to show and print, and a PDF to save.
#pragma once

#include <string>
#include <string_view>

#include "layout.h"

namespace kovrad::manager {

class CouponExtrato {
 public:
  // False with `problem` set when `coupon` is not a signed coupon.
  bool Load(std::string_view coupon, std::string* problem);

  // A PNG of `scale` pixels per printer dot, or of one where the extrato is
  // too long for an image that large.
  bool Image(double scale, std::string* png, std::string* problem) const;

  bool SavePdf(const std::string& path, std::string* problem) const;

 private:
  receipt::Layout layout_;
};

}  // namespace kovrad::manager
