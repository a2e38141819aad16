// Command exchange: request and reply frames, the reply wait, the link error
// record and session numbers.
#include "exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "error.h"
#include "log.h"
#include "serial_link.h"

namespace kovrad {
namespace {

constexpr uint8_t kSoh = 0x01;
constexpr char kRule[] =
    "-------------------------------------------------------------------------------\n";
constexpr char kMsgTooLarge[] = "Requisi\xE7\xE3o excede o tamanho m\xE1ximo do equipamento";

void WriteLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t Checksum(const uint8_t* from, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += from[i];
  return static_cast<uint8_t>(sum);
}

// Builds the request text into the module buffer; returns its length, or 0
// when it would not fit a request frame.
size_t BuildRequestText(const char* wire_name, int32_t session, const void* payload,
                        int32_t payload_length) {
  Module& m = State();
  char prefix[64];
  const bool binary = payload_length > 0;
  const bool has_text = !binary && payload != nullptr;
  int p = std::snprintf(prefix, sizeof prefix, binary || has_text ? "%06d|%s|" : "%06d|%s", session,
                        wire_name);
  if (p <= 0 || static_cast<size_t>(p) >= sizeof prefix) return 0;
  const size_t body = binary     ? static_cast<size_t>(payload_length)
                      : has_text ? std::strlen(static_cast<const char*>(payload))
                                 : 0;
  const size_t n = static_cast<size_t>(p) + body;
  if (n > kRequestTextMax) return 0;
  std::memcpy(m.request_text.data, prefix, static_cast<size_t>(p));
  if (body > 0) std::memcpy(m.request_text.data + p, payload, body);
  m.request_text.Touch(n + 1);
  return n;
}

// Takes what is already waiting on the port and throws it away.
void DiscardStaleInput() {
  Module& m = State();
  if (!platform::PurgeInput(m.port)) {
    GravaLog("PurgeComm Error");
    GravaMotivo();
  }
  if (!platform::Flush(m.port)) {
    GravaLog("FlushFileBuffers Error");
    GravaMotivo();
  }
  size_t n;
  while ((n = platform::ReadWaiting(m.port, m.read_chunk.data, kReadChunk)) > 0) {
    m.read_chunk.Touch(n);
  }
}

void ReportModemLines() {
  uint32_t bits = 0;
  if (!platform::ModemStatus(State().port, &bits)) {
    GravaLog("GetCommModemStatus() Failed!\r\n");
    GravaMotivo();
    return;
  }
  if (bits & platform::kModemCts) platform::DebugOutput("CTS_ON\r\n");
  if (bits & platform::kModemDsr) platform::DebugOutput("DSR_ON\r\n");
}

// Whether the frame in the receive buffer answers this request: its text
// carries no session number, or `session`, or `looked_up`.
bool Belongs(size_t received, int32_t session, int64_t looked_up) {
  const uint8_t* text = State().receive.data + kReplyHeader;
  int64_t number = 0;
  if (!SessaoDaResposta(text, received - kReplyHeader, &number)) return true;
  return number == session || number == looked_up;
}

void DropFrame(size_t received) {
  auto& receive = State().receive;
  int64_t number = 0;
  SessaoDaResposta(receive.data + kReplyHeader, received - kReplyHeader, &number);
  GravaLogF("Resposta da sess\xE3o %lld descartada: n\xE3o \xE9 desta requisi\xE7\xE3o\r\n",
            static_cast<long long>(number));
  platform::DebugOutput("ret <- (descartada: outra sess\xE3o)\n");
  receive.Clear();
}

// Polls for the reply frame: the 13-byte header first, then exactly the rest,
// so a complete frame ends the wait at once. A frame of another request is
// dropped and the wait goes on. Bytes beyond the receive buffer are read and
// dropped. The wait goes on past the limit while bytes arrive, but never past
// twice the limit: a device that never stops sending cannot hold the call.
// True when the reply is taken.
bool AguardaResposta(int32_t limit_ms, int32_t session, int64_t looked_up) {
  Module& m = State();
  auto& receive = m.receive;
  const int64_t limit = limit_ms > 0 ? limit_ms / 1000 : 0;
  const int64_t cap = 2 * limit;
  const int64_t start = platform::MonotonicSeconds();
  int64_t now = start;
  uint64_t received = 0, expected = 0;
  size_t last = 0;
  for (;;) {
    if (now - start >= limit && (last == 0 || now - start >= cap)) break;
    if (received >= kReplyHeader) {
      expected = ReadLe32(receive.data + 9);
      if (received >= expected + 14) {
        if (Belongs(received, session, looked_up)) break;
        DropFrame(received);
        received = expected = 0;
      }
    }
    uint64_t want = received < kReplyHeader ? kReplyHeader - received : expected + 14 - received;
    want = std::min<uint64_t>(want, kReadChunk);
    if (received < receive.kSize) {
      want = std::min<uint64_t>(want, receive.kSize - received);
      last = platform::Read(m.port, receive.data + received, want);
      receive.Touch(received + last);
    } else {
      last = platform::Read(m.port, m.read_chunk.data, want);
      m.read_chunk.Touch(last);
    }
    received += last;
    now = platform::MonotonicSeconds();
  }
  return expected != 0 && received >= expected &&
         Belongs(std::min<uint64_t>(received, receive.kSize), session, looked_up);
}

void CheckReplyChecksum(const uint8_t* frame, size_t capacity, size_t length) {
  if (kReplyHeader + length >= capacity) return;
  const uint8_t computed = Checksum(frame + 1, kReplyHeader - 1 + length);
  const uint8_t sent = frame[kReplyHeader + length];
  if (computed != sent) {
    GravaLogF("Checksum da resposta n\xE3o confere: recebido %u, calculado %u\r\n", sent, computed);
  }
}

void DebugReply(const char* text) {
  platform::DebugOutput("ret <- ");
  platform::DebugOutput(text);
  platform::DebugOutput("\n");
  platform::DebugOutput(kRule);
}

}  // namespace

size_t MontaPacote(const uint8_t* text, size_t n, uint8_t sequence, uint8_t* frame) {
  frame[0] = kSoh;
  frame[1] = sequence;
  frame[2] = 0;
  frame[3] = 0;
  WriteLe32(frame + 4, static_cast<uint32_t>(n));
  std::memcpy(frame + 8, text, n);
  frame[8 + n] = Checksum(frame + 1, 7 + n);
  return n + 9;
}

size_t DecodificaPacote(const uint8_t* frame, size_t capacity, uint8_t* out) {
  const uint8_t code = frame[0];
  switch (code) {
    case kSoh: {
      uint32_t length = ReadLe32(frame + 9);
      if (length > kReplyTextMax) {
        std::printf("BUG: Pacote excesivamente grande ser\xE1 truncado: %d bytes",
                    static_cast<int>(length));
        std::fflush(stdout);
        length = kReplyTextMax;
      }
      const size_t fits = std::min<size_t>(length, capacity - kReplyHeader);
      std::memcpy(out, frame + kReplyHeader, fits);
      CheckReplyChecksum(frame, capacity, length);
      return fits;
    }
    case 0x06:  // ACK
    case 0x11:  // DC1
    case 0x15:  // NAK
    case 0x16:  // SYN
      return 0;
    default:
      std::printf("Codigo Controle n\xE3o reconhecido %d", code);
      std::fflush(stdout);
      return 0;
  }
}

void EscreveFalha(Buffer<kReplyBufferSize>& reply, int32_t session, const char* message) {
  reply.Clear();
  int n = std::snprintf(reply.text(), kReplyTextMax, "%06d|9999|%s", session, message);
  reply.Touch(static_cast<size_t>(std::max(n, 0)) + 1);
}

void Recusa(Buffer<kReplyBufferSize>& reply, int32_t session, const char* reason) {
  DefineErro(__SEMCTS__, reason);
  EscreveFalha(reply, session, reason);
  GravaLog(reply.text());
}

bool SessaoDaResposta(const uint8_t* text, size_t length, int64_t* session) {
  constexpr size_t kDigitsMax = 10;
  size_t i = length > 0 && text[0] == '-' ? 1 : 0;
  const size_t first = i;
  int64_t value = 0;
  for (; i < length && i - first < kDigitsMax && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  if (i == first || i >= length || text[i] != '|') return false;
  *session = first == 1 ? -value : value;
  return true;
}

int32_t ExecutaComando(const char* wire_name, int32_t session, const void* payload,
                       Buffer<kReplyBufferSize>& reply, int32_t limit_ms, int32_t payload_length,
                       int64_t looked_up) {
  Module& m = State();
  m.request_text.Clear();
  m.request_frame.Clear();
  m.read_chunk.Clear();
  m.receive.Clear();

  const size_t n = BuildRequestText(wire_name, session, payload, payload_length);
  if (n == 0) {
    // Refused before the port is touched: a frame that cannot hold the
    // request must never go out with a false length.
    Recusa(reply, session, kMsgTooLarge);
    return 0;
  }

  if (!AbrePorta()) {
    reply.Clear();
    std::memcpy(reply.data, kReplyPortaNaoAbre, sizeof kReplyPortaNaoAbre);
    reply.Touch(sizeof kReplyPortaNaoAbre);
    GravaLog(kReplyPortaNaoAbre);
    FechaPorta();
    return 0;
  }

  GravaLog(m.request_text.text());
  platform::DebugOutput("req -> ");
  platform::DebugOutput(m.request_text.text());
  platform::DebugOutput("\n");

  const size_t frame_length = MontaPacote(m.request_text.data, n, m.sequence, m.request_frame.data);
  m.request_frame.Touch(frame_length);
  ++m.sequence;

  DiscardStaleInput();

  if (!platform::Write(m.port, m.request_frame.data, frame_length)) {
    GravaLog("WriteFile Failed!!\r\n");
    GravaMotivo();
    DefineErro(__SEMCTS__, kMsgPortaNaoAbre);
    EscreveFalha(reply, session, kMsgPortaNaoAbre);
    GravaLog(reply.text());
    FechaPorta();
    return 0;
  }

  ReportModemLines();

  int32_t result = 0;
  if (AguardaResposta(limit_ms, session, looked_up)) {
    reply.Clear();
    const size_t length = DecodificaPacote(m.receive.data, m.receive.kSize, reply.data);
    reply.Touch(length + 1);
    DebugReply(reply.text());
    result = static_cast<int32_t>(length);
  } else {
    DefineErro(__TIMEOUT__, kMsgTimeout);
    EscreveFalha(reply, session, kReplyTimeout);
    GravaLog("Request timed out!\r\n");
  }
  FechaPorta();
  return result;
}

int32_t NovoNumeroSessao() {
  Module& m = State();
  // The classic 15-bit generator of the Windows C runtime, never seeded, so
  // every process draws the numbers the original platform draws.
  auto next = [&m] {
    m.random_state = m.random_state * 214013u + 2531011u;
    return static_cast<int32_t>((m.random_state >> 16) & 0x7FFF);
  };
  int32_t a;
  do {
    a = next();
  } while (a > 1000);
  int32_t n;
  auto recent = [&m](int32_t value) {
    return std::find(std::begin(m.recent_sessions), std::end(m.recent_sessions), value) !=
           std::end(m.recent_sessions);
  };
  do {
    n = a + next() % (1000000 - a);
  } while (recent(n));
  m.recent_sessions[m.recent_index] = n;
  m.recent_index = (m.recent_index + 1) % kRecentSessions;
  return n;
}

}  // namespace kovrad

extern "C" KOVRAD_API int32_t KOVRAD_CALL GeraNumeroSessao(void) {
  const kovrad::LibraryLock lock;
  return kovrad::NovoNumeroSessao();
}
