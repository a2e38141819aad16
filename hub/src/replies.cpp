#include "replies.h"

#include <openssl/evp.h>

#include "text.h"

namespace kovrad::hub {

std::vector<std::string_view> SplitFields(std::string_view reply) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t bar = reply.find('|', start);
    fields.push_back(reply.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return fields;
}

std::string_view ResultCode(std::string_view reply) {
  const auto fields = SplitFields(reply);
  return fields.size() >= 2 ? fields[1] : std::string_view();
}

std::string AsUtf8(std::string_view bytes) {
  return manager::DecodeReply(bytes);
}

std::string DecodeCoupon(std::string_view base64) {
  std::string clean;
  for (char c : base64) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
        c == '/') {
      clean += c;
    }
  }
  // Whole groups of four, padded, are what the decoder takes; a lone last
  // character carries no byte.
  if (clean.size() % 4 == 1) clean.pop_back();
  const size_t padding = (4 - clean.size() % 4) % 4;
  clean.append(padding, '=');
  std::string out(clean.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(clean.data()),
                                static_cast<int>(clean.size()));
  if (n < 0) return {};
  out.resize(static_cast<size_t>(n) - padding);
  const size_t end = out.find("</CFe>");
  if (end != std::string::npos) out.resize(end + 6);
  const size_t end_cancel = out.find("</CFeCanc>");
  if (end == std::string::npos && end_cancel != std::string::npos) out.resize(end_cancel + 10);
  return out;
}

}  // namespace kovrad::hub
