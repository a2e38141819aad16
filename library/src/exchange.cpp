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

// What the bytes at the head of the receive buffer are, as far as those in
// tell: a reply opens with SOH and a text that begins with the request's
// session number (or the one looked up).
enum class Head { kIncomplete, kJunk, kOtherSession, kReply };

// The most text bytes that decide whether a frame's text opens with a session
// number: a sign, ten digits and the "|".
constexpr size_t kSessionPrefixMax = 12;

Head JudgeHead(const uint8_t* head, size_t have, int32_t session, int64_t looked_up) {
  if (have == 0) return Head::kIncomplete;
  if (head[0] != kSoh) return Head::kJunk;
  if (have < kReplyHeader) return Head::kIncomplete;
  const uint64_t length = ReadLe32(head + 9);
  const size_t text = static_cast<size_t>(std::min<uint64_t>(have - kReplyHeader, length));
  int64_t number = 0;
  switch (LeSessao(head + kReplyHeader, text, text == length, &number)) {
    case Prefixo::kFalta:
      return Head::kIncomplete;
    case Prefixo::kNenhum:
      return Head::kJunk;
    case Prefixo::kNumero:
      break;
  }
  return number == session || number == looked_up ? Head::kReply : Head::kOtherSession;
}

// The reply wait's view of the receive buffer: the frame being judged always
// starts at offset 0, what was thrown away in front of it is counted for the
// log, and the bytes of another session's frame that are still on the line
// are read and dropped.
class ReplyScan {
 public:
  ReplyScan(int32_t session, int64_t looked_up)
      : m_(State()), session_(session), looked_up_(looked_up) {}
  ~ReplyScan() { ReportJunk(); }

  // Throws away what cannot be this request's reply; the head's verdict.
  Head Settle() {
    for (;;) {
      if (skip_ > 0) return Head::kIncomplete;
      const Head head = JudgeHead(m_.receive.data, stored(), session_, looked_up_);
      if (head == Head::kJunk) {
        DropJunk();
      } else if (head == Head::kOtherSession) {
        DropOtherSession();
      } else {
        return head;
      }
    }
  }

  // One read of what the head still needs; the count that arrived.
  size_t ReadMore() {
    Module& m = m_;
    if (skip_ > 0) {
      const size_t n = platform::Read(m.port, m.read_chunk.data,
                                      static_cast<size_t>(std::min<uint64_t>(skip_, kReadChunk)));
      m.read_chunk.Touch(n);
      skip_ -= n;
      return n;
    }
    uint64_t want = Wanted() - received_;
    want = std::min<uint64_t>(want, kReadChunk);
    size_t n;
    if (received_ < m.receive.kSize) {
      want = std::min<uint64_t>(want, m.receive.kSize - received_);
      n = platform::Read(m.port, m.receive.data + received_, static_cast<size_t>(want));
      m.receive.Touch(received_ + n);
    } else {
      // Beyond the buffer: read and dropped, the frame is cut to fit.
      n = platform::Read(m.port, m.read_chunk.data, static_cast<size_t>(want));
      m.read_chunk.Touch(n);
    }
    received_ += n;
    return n;
  }

  uint64_t received() const { return received_; }
  // L of the frame at the head; 0 while its header is not in.
  uint64_t expected() const {
    return received_ >= kReplyHeader && skip_ == 0 ? ReadLe32(m_.receive.data + 9) : 0;
  }

 private:
  size_t stored() const {
    return static_cast<size_t>(std::min<uint64_t>(received_, m_.receive.kSize));
  }

  // How many bytes the head must reach before it can be judged again.
  uint64_t Wanted() const {
    if (received_ < kReplyHeader) return kReplyHeader;
    const uint64_t length = expected();
    const Head head = JudgeHead(m_.receive.data, stored(), session_, looked_up_);
    if (head == Head::kReply) return length + 14;
    return kReplyHeader + std::min<uint64_t>(length, kSessionPrefixMax);
  }

  // Drops bytes up to the next SOH after the first.
  void DropJunk() {
    const uint8_t* data = m_.receive.data;
    const size_t have = stored();
    const void* next = have > 1 ? std::memchr(data + 1, kSoh, have - 1) : nullptr;
    const size_t count =
        next != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(next) - data) : have;
    junk_ += count;
    DropFront(count);
  }

  void DropOtherSession() {
    int64_t number = 0;
    const uint64_t length = ReadLe32(m_.receive.data + 9);
    LeSessao(m_.receive.data + kReplyHeader, stored() - kReplyHeader, true, &number);
    GravaLogF("Resposta da sess\xE3o %lld descartada: n\xE3o \xE9 desta requisi\xE7\xE3o\r\n",
              static_cast<long long>(number));
    platform::DebugOutput("ret <- (descartada: outra sess\xE3o)\n");
    const uint64_t frame = length + 14;
    if (frame <= stored()) {
      DropFront(static_cast<size_t>(frame));
      return;
    }
    skip_ = frame - received_;
    DropFront(stored());
  }

  // Moves what follows the first `count` bytes to the front; the tail is
  // cleared again, since an unwrapped frame that was cut short reads zeros.
  void DropFront(size_t count) {
    uint8_t* data = m_.receive.data;
    const size_t have = stored();
    std::memmove(data, data + count, have - count);
    std::memset(data + have - count, 0, count);
    received_ = have - count;
  }

  void ReportJunk() {
    if (junk_ == 0) return;
    GravaLogF("%llu bytes descartados: n\xE3o s\xE3o resposta desta requisi\xE7\xE3o\r\n",
              static_cast<unsigned long long>(junk_));
    platform::DebugOutput("ret <- (descartados bytes que n\xE3o s\xE3o resposta)\n");
  }

  Module& m_;
  const int32_t session_;
  const int64_t looked_up_;
  uint64_t received_ = 0;  // bytes of the head frame, stored or beyond the buffer
  uint64_t skip_ = 0;      // bytes of another session's frame still to drop
  uint64_t junk_ = 0;
};

// Polls for the reply frame: the 13-byte header first, then the text's
// session number, then exactly the rest, so a complete frame ends the wait at
// once. Whatever is not this request's reply (another session's frame, bytes
// that are no frame) is logged, dropped, and the wait goes on. The wait runs
// the whole limit on a millisecond clock and goes on past it while bytes
// arrive, but never past twice the limit: a device that never stops sending
// cannot hold the call. True when the reply is taken.
bool AguardaResposta(int32_t limit_ms, int32_t session, int64_t looked_up) {
  ReplyScan scan(session, looked_up);
  const int64_t limit = std::max<int32_t>(limit_ms, 0);
  const int64_t cap = 2 * limit;
  const int64_t start = platform::MonotonicMilliseconds();
  int64_t elapsed = 0;
  size_t last = 0;
  Head head = Head::kIncomplete;
  for (;;) {
    if (elapsed >= limit && (last == 0 || elapsed >= cap)) break;
    head = scan.Settle();
    if (head == Head::kReply && scan.received() >= scan.expected() + 14) break;
    last = scan.ReadMore();
    elapsed = platform::MonotonicMilliseconds() - start;
  }
  head = scan.Settle();
  return head == Head::kReply && scan.expected() != 0 && scan.received() >= scan.expected();
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

Prefixo LeSessao(const uint8_t* text, size_t available, bool complete, int64_t* session) {
  constexpr size_t kDigitsMax = 10;
  size_t i = available > 0 && text[0] == '-' ? 1 : 0;
  const size_t first = i;
  int64_t value = 0;
  for (; i < available && i - first < kDigitsMax && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  if (i >= available) return complete ? Prefixo::kNenhum : Prefixo::kFalta;
  if (i == first || text[i] != '|') return Prefixo::kNenhum;
  *session = first == 1 ? -value : value;
  return Prefixo::kNumero;
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
