// What every SAT call promises, whatever came over the line: the port closed,
// a known link error code, texts that end inside their buffers and the
// failure line of a time-out. A broken promise aborts the fuzz run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "kovrad.h"
#include "module.h"
#include "require.h"
#include "scripted_port.h"

namespace kovrad::fuzz {

// Loads the library as the platform would and selects the scripted port;
// for LLVMFuzzerInitialize.
inline int StartLibrary() {
  CarregaBiblioteca();
  AbreSerialSAT(0, 0, 0, 0, 0);
  return 0;
}

// Checks the state after a SAT call that returned `reply` for `session`.
inline void CheckAfterCall(const char* reply, int32_t session) {
  RequirePortClosed();
  const COMM_ERROR error = CodigoErro();
  Require(error.code == __NOERROR__ || error.code == __NOCONNECT__ || error.code == __TIMEOUT__ ||
              error.code == __SEMCTS__,
          "a known link error code");
  Require(std::memchr(error.msg, 0, sizeof error.msg) != nullptr, "message ends in its field");
  Require(reply != nullptr, "a reply");
  Require(strnlen(reply, kReplyBufferSize) < kReplyBufferSize, "reply ends in its buffer");
  if (error.code == __TIMEOUT__) {
    char line[64];
    std::snprintf(line, sizeof line, "%06d|9999|Timeout de comunica\xE7\xE3o", session);
    Require(std::strcmp(reply, line) == 0, "the time-out line");
  }
  const char* document = Base64ToAscii();
  Require(strnlen(document, kReplyBufferSize) < kDocumentBufferSize, "document ends in its buffer");
}

}  // namespace kovrad::fuzz
