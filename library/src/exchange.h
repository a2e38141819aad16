// The command exchange: one request frame out, one reply frame back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "module.h"

namespace kovrad {

inline constexpr size_t kReplyHeader = 13;

inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Builds the request frame of `text` (n bytes) with sequence byte `sequence`
// into `frame`; returns its length, n + 9.
size_t MontaPacote(const uint8_t* text, size_t n, uint8_t sequence, uint8_t* frame);

// Unwraps the reply frame of which `stored` bytes sit in `frame` (a buffer of
// `capacity` bytes whose unused tail is zero) into `out`, which holds at least
// kReplyTextMax bytes. Returns the reply text length L.
size_t DecodificaPacote(const uint8_t* frame, size_t capacity, uint8_t* out);

// No second session number a reply may carry.
inline constexpr int64_t kNoSession = INT64_MIN;

// Runs one exchange: `payload` is a NUL-terminated text (or null) when
// `payload_length` <= 0, otherwise that many raw bytes. The reply (or a
// failure text) lands in `reply`. Returns the reply length, 0 on failure.
//
// A reply belongs to its request: only a data frame whose text begins with
// `session` (or `looked_up`, the session whose stored reply
// ConsultarNumeroSessao asks for) is taken. A frame of another session (a
// late answer to an earlier request) and bytes that are no such frame are
// logged, dropped, and the wait goes on to the end of the limit.
int32_t ExecutaComando(const char* wire_name, int32_t session, const void* payload,
                       Buffer<kReplyBufferSize>& reply, int32_t limit_ms, int32_t payload_length,
                       int64_t looked_up = kNoSession);

// Whether a reply text begins with a session number ("-" and up to ten
// digits, then "|") as far as its first `available` bytes tell; `complete`
// when they are the whole text. kFalta: more bytes are needed to tell.
enum class Prefixo { kFalta, kNenhum, kNumero };
Prefixo LeSessao(const uint8_t* text, size_t available, bool complete, int64_t* session);

// Writes the failure line "%06d|9999|<message>" into the reply buffer.
void EscreveFalha(Buffer<kReplyBufferSize>& reply, int32_t session, const char* message);

// A request that cannot be built or sent as it should: nothing goes out; the
// failure line "%06d|9999|<reason>" is written, COMM_ERROR says why
// (__SEMCTS__) and the line is logged.
void Recusa(Buffer<kReplyBufferSize>& reply, int32_t session, const char* reason);

// The session-number generator behind GeraNumeroSessao.
int32_t NovoNumeroSessao();

}  // namespace kovrad
