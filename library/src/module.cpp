// Module state and the load and unload steps.
#include "module.h"

#include <cstdlib>
#include <memory>

#include "log.h"
#include "serial_link.h"

namespace kovrad {
namespace {

Module module;

struct Release {
  void operator()(void* buffer) const { std::free(buffer); }
};
using ReplyPointer = std::unique_ptr<Buffer<kReplyBufferSize>, Release>;
thread_local ReplyPointer thread_reply;

}  // namespace

Module& State() {
  return module;
}

Buffer<kReplyBufferSize>& ReplyBuffer() {
  if (!thread_reply) {
    thread_reply.reset(
        static_cast<Buffer<kReplyBufferSize>*>(std::calloc(1, sizeof(Buffer<kReplyBufferSize>))));
  }
  return thread_reply ? *thread_reply : module.reply;
}

void CarregaBiblioteca() {
  module.port = platform::kNoPort;
  module.random_state = 1;
  platform::CreateLibraryLock();
  GravaLog(VersaoLib());
}

void DescarregaBiblioteca() {
  FechaPorta();
}

}  // namespace kovrad
