// The emulator's state file, damaged or hand-edited in any way: reading it
// either fails with a reason or gives a state that, once written, reads back
// and writes unchanged.
#include <string>

#include "require.h"
#include "state.h"

using kovrad::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  satemu::StoredState stored;
  std::string error;
  if (!satemu::ParseState(text, "state", &stored, &error)) {
    Require(error.starts_with("state"), "a reason naming the file");
    return 0;
  }
  // Writing tidies what a hand-edited file may hold (a first-format file,
  // items in another order); from then on a state must read back and write
  // unchanged.
  const std::string written = satemu::StateText(stored.state, stored.generation);
  satemu::StoredState again;
  Require(satemu::ParseState(written, "state", &again, &error), "a written state reads back");
  Require(again.generation == stored.generation, "with its generation");
  Require(satemu::StateText(again.state, again.generation) == written,
          "a written state reads back and writes unchanged");
  return 0;
}
