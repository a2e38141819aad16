#include "zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace satemu {

Expansion Expand(std::string_view stream, size_t max, std::string* text) {
  constexpr size_t kChunk = 64 * 1024;
  z_stream z{};
  if (stream.size() > UINT_MAX || inflateInit(&z) != Z_OK) return Expansion::kDamaged;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  text->clear();
  int status = Z_OK;
  while (status == Z_OK) {
    // One byte past the limit is room enough to learn that it was passed.
    const size_t room = std::min(kChunk, max + 1 - text->size());
    if (room == 0) break;
    const size_t before = text->size();
    text->resize(before + room);
    z.next_out = reinterpret_cast<Bytef*>(text->data() + before);
    z.avail_out = static_cast<uInt>(room);
    status = inflate(&z, Z_NO_FLUSH);
    text->resize(before + room - z.avail_out);
    if (status == Z_BUF_ERROR && z.avail_in == 0) break;  // the stream ended too soon
  }
  inflateEnd(&z);
  if (text->size() > max) return Expansion::kTooLarge;
  // A complete stream, and nothing after it.
  if (status != Z_STREAM_END || z.avail_in != 0) return Expansion::kDamaged;
  return Expansion::kDone;
}

std::string Compress(std::string_view text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string stream(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return {};
  }
  stream.resize(size);
  return stream;
}

}  // namespace satemu
