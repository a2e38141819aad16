// The emulator's state file, damaged or hand-edited in any way: reading it
// either fails with a reason or gives a state that, once saved, reads back
// and saves unchanged.
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "require.h"
#include "state.h"

using kovrad::fuzz::Require;

namespace {

std::string damaged, saved;

std::string PathOf(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  damaged = PathOf(memfd_create("state", 0));
  // SaveState writes a temporary file beside its target and renames it over.
  char dir[] = "/tmp/kovrad-fuzz-state-XXXXXX";
  saved = std::string(mkdtemp(dir)) + "/state";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = std::stoi(damaged.substr(damaged.rfind('/') + 1));
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  satemu::DeviceState state;
  bool found = false;
  std::string error;
  if (!satemu::LoadState(damaged, &state, &found, &error)) {
    Require(!error.empty(), "a reason for a damaged file");
    return 0;
  }
  Require(found, "the file found");
  // Saving tidies what a hand-edited file may hold (names with a "|", say);
  // from then on a state must read back and save unchanged.
  Require(satemu::SaveState(saved, state, &error), "a state read can be saved");
  satemu::DeviceState tidy;
  Require(satemu::LoadState(saved, &tidy, &found, &error), "a saved state reads back");
  Require(satemu::SaveState(saved, tidy, &error), "and saves again");
  const std::string first = Contents(saved);
  satemu::DeviceState again;
  Require(satemu::LoadState(saved, &again, &found, &error) &&
              satemu::SaveState(saved, again, &error) && Contents(saved) == first,
          "a saved state reads back and saves unchanged");
  return 0;
}
