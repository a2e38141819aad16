// The emulator's frame reader on any bytes from the host, fed in pieces of
// the sizes the input picks, with quiet spells that abandon a frame. Every
// frame it hands out must be a whole, good frame that the host really sent.
#include <algorithm>
#include <string>

#include "link.h"
#include "require.h"

using kovrad::fuzz::Require;

// Byte 0: the longest text accepted; byte 1: how many piece sizes follow;
// then the piece sizes (0: the line goes quiet), then the bytes from the host.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return -1;
  const size_t max_text = data[0];
  const size_t pieces = std::min<size_t>(data[1], size - 2);
  const uint8_t* sizes = data + 2;
  const uint8_t* bytes = sizes + pieces;
  const size_t total = size - 2 - pieces;
  const std::string sent(reinterpret_cast<const char*>(bytes), total);

  satemu::FrameReader reader(
      [](const std::string& report) { Require(!report.empty(), "a report"); }, max_text);
  size_t fed = 0, next_size = 0;
  auto take = [&] {
    while (auto frame = reader.Next()) {
      Require(frame->text.size() <= max_text, "no text past the limit");
      const satemu::Bytes whole = [&] {
        satemu::Bytes f = {satemu::kSoh, frame->sequence, 0, 0};
        for (int i = 0; i < 4; ++i)
          f.push_back(static_cast<uint8_t>(frame->text.size() >> (8 * i)));
        f.insert(f.end(), frame->text.begin(), frame->text.end());
        f.push_back(satemu::Checksum(f.data() + 1, f.size() - 1));
        return f;
      }();
      Require(sent.find(std::string(whole.begin(), whole.end())) != std::string::npos,
              "a frame the host sent");
    }
  };
  while (fed < total) {
    size_t piece = next_size < pieces ? sizes[next_size++] : total - fed;
    if (piece == 0) {
      reader.Abandon();
      take();
      continue;
    }
    piece = std::min(piece, total - fed);
    reader.Feed(bytes + fed, piece);
    fed += piece;
    take();
  }
  return 0;
}
