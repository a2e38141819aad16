// The sale window's key handling on any sale reply and cancellation
// document: the access key found in the reply, written over the document's
// placeholder in its fixed buffer. The document is read from a file in
// memory, as the window loads it; it may be pushed up to the buffer's end.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "core/sale.h"
#include "require.h"

using kovrad::fuzz::Require;

namespace {

int file = -1;
std::string path;
// One buffer for every run: making a 2 MiB one each time would be most of
// the work.
kovrad::manager::InputDocument* loaded = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  file = memfd_create("document", 0);
  path = "/proc/self/fd/" + std::to_string(file);
  loaded = new kovrad::manager::InputDocument;
  return 0;
}

// Byte 0: 7 in its low three bits puts the document at the very end of what
// the buffer takes (a slow run, so one in eight). Then the reply, a zero
// byte and the document.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovrad::manager;
  if (size == 0) return -1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t split = std::min(input.find('\0'), input.size());
  const std::string_view reply = input.substr(0, split);
  std::string document(input.substr(std::min(split + 1, input.size())));
  if ((data[0] & 7) == 7) document.insert(0, kDocumentBuffer - 1 - document.size(), ' ');

  const ReplyKey found = FindKey(reply);
  Require(found.end <= reply.size(), "the key's end inside the reply");
  if (!found.key) return 0;
  Require(found.key->size() < kKeyBuffer && !found.too_long, "a key that fits its buffer");

  if (ftruncate(file, 0) != 0 || pwrite(file, document.data(), document.size(), 0) < 0) return 0;
  if (loaded->LoadFile(path) != InputDocument::Load::kLoaded) return 0;
  const std::string before(loaded->text());
  loaded->PatchKey(*found.key);
  const std::string_view after = loaded->text();
  Require(after.size() >= before.size() && after.size() < kDocumentBuffer,
          "the document only overwritten, within its buffer");
  const size_t at = before.find("\"CFe");
  Require(after.substr(0, at == std::string::npos ? before.size() : at + 1) ==
              std::string_view(before).substr(0, at == std::string::npos ? before.size() : at + 1),
          "nothing changed before the placeholder");
  return 0;
}
