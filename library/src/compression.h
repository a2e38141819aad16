// zlib for the sale document and the compressed part of the sale reply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovrad {

// Compresses `length` bytes at level 2 (zlib format) into `out`; returns the
// compressed length, or -1 when it does not fit or zlib fails.
long Compacta(const void* text, size_t length, uint8_t* out, size_t capacity);

// Expands a zlib stream into `out` (at most `capacity` bytes); returns how many
// bytes the expansion produced, also when the stream is cut short or corrupt.
size_t Descompacta(const uint8_t* source, size_t length, uint8_t* out, size_t capacity);

}  // namespace kovrad
