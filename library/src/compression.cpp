// Compression with zlib, linked directly: compress2 and uncompress only.
#include "compression.h"

#include <zlib.h>

namespace kovrad {

long Compacta(const void* text, size_t length, uint8_t* out, size_t capacity) {
  uLongf out_length = static_cast<uLongf>(capacity);
  if (compress2(out, &out_length, static_cast<const Bytef*>(text), static_cast<uLong>(length), 2) !=
      Z_OK) {
    return -1;
  }
  return static_cast<long>(out_length);
}

size_t Descompacta(const uint8_t* source, size_t length, uint8_t* out, size_t capacity) {
  uLongf out_length = static_cast<uLongf>(capacity);
  // On a cut or corrupt stream uncompress still reports what it produced.
  uncompress(out, &out_length, source, static_cast<uLong>(length));
  return static_cast<size_t>(out_length);
}

}  // namespace kovrad
