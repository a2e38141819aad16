#include "compression.h"

#include <zlib.h>

namespace kovrad::archive {
namespace {

const Bytef* In(std::string_view data) {
  return reinterpret_cast<const Bytef*>(data.data());
}

}  // namespace

std::string Deflate(std::string_view data, std::string_view dictionary) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    return {};
  }
  std::string out;
  if (dictionary.empty() ||
      deflateSetDictionary(&z, In(dictionary), static_cast<uInt>(dictionary.size())) == Z_OK) {
    out.resize(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(In(data));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) == Z_STREAM_END) {
      out.resize(z.total_out);
    } else {
      out.clear();
    }
  }
  deflateEnd(&z);
  return out;
}

bool Inflate(std::string_view stream, std::string_view dictionary, size_t size, std::string* out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  out->assign(size, '\0');
  z.next_in = const_cast<Bytef*>(In(stream));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out->data());
  z.avail_out = static_cast<uInt>(size);
  // A stream longer than `size` runs out of room and never reaches its end.
  int status = inflate(&z, Z_FINISH);
  if (status == Z_NEED_DICT) {
    status = inflateSetDictionary(&z, In(dictionary), static_cast<uInt>(dictionary.size()));
    if (status == Z_OK) status = inflate(&z, Z_FINISH);
  }
  const bool exact = status == Z_STREAM_END && z.total_out == size && z.avail_in == 0;
  inflateEnd(&z);
  return exact;
}

}  // namespace kovrad::archive
