// The extrato's reader on any input, as XML, Base64 or a reply line: a
// coupon it accepts is laid out and rendered as text and ESC/POS, and no
// line of the text is wider than its columns.
#include <string>
#include <string_view>

#include "receipt.h"
#include "require.h"

using kovrad::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovrad::receipt;
  Coupon coupon;
  std::string error;
  if (!ReadCoupon(std::string_view(reinterpret_cast<const char*>(data), size), &coupon, &error)) {
    Require(!error.empty(), "a refused document says why");
    return 0;
  }
  Require(coupon.key.size() == 44, "an accepted coupon has a whole access key");
  const Layout layout = MakeLayout(coupon);
  for (int columns : {kPaper80.columns, kPaper58.columns}) {
    const std::string text = RenderText(layout, columns);
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      Require(Width(text.substr(start, end - start)) <= columns, "text lines fit the columns");
      start = end + 1;
    }
  }
  std::string bytes;
  Require(RenderEscPos(layout, kPaper58, Symbols::kPrinter, &bytes, &error),
          "an accepted coupon prints");
  return 0;
}
