#include "core/extrato.h"

#include "core/text_file.h"
#include "receipt.h"

namespace kovrad::manager {

bool CouponExtrato::Load(std::string_view coupon, std::string* problem) {
  receipt::Coupon read;
  if (!receipt::ReadCoupon(coupon, &read, problem)) return false;
  layout_ = receipt::MakeLayout(read);
  return true;
}

bool CouponExtrato::Image(double scale, std::string* png, std::string* problem) const {
  return receipt::RenderPng(layout_, receipt::kPaper80, scale, png, problem) ||
         (scale > 1 && receipt::RenderPng(layout_, receipt::kPaper80, 1, png, problem));
}

bool CouponExtrato::SavePdf(const std::string& path, std::string* problem) const {
  std::string pdf;
  return receipt::RenderPdf(layout_, receipt::kPaper80, &pdf, problem) &&
         WriteTextFile(path, pdf, problem);
}

}  // namespace kovrad::manager
