// Base64 documents carried back in replies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovrad {

// Decodes standard Base64, skipping every character outside the alphabet and
// running to the end of the input; a last group of two or three characters
// gives one or two bytes. Writes at most `capacity` bytes and no terminator.
// Returns the number of bytes written.
size_t DecodificaBase64(const char* text, size_t length, uint8_t* out, size_t capacity);

// Clears the decoded-document buffer and decodes `text` into it, keeping one
// byte for the terminator.
void DecodificaDocumento(const char* text);

}  // namespace kovrad
