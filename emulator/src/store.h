// Where the device's state is kept: the small state file for its settings
// and counters, the journal for its session replies and event log. A request
// is kept as one unit: its journal rows first, under the next generation
// number when the settings changed, then the state file naming that
// generation. Rows of a generation the state file never reached are dropped
// at the next start, so a crash at any moment leaves the two in agreement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history.h"
#include "journal.h"
#include "state.h"

namespace satemu {

class Store {
 public:
  // The journal lives beside the state file, under this suffix.
  static constexpr char kJournalSuffix[] = ".journal";

  // Opens the state file at `path` and its journal. `*found` is false for a
  // new device (no state file: `state` is left alone). Fails, with the
  // reason and without touching either file, on a damaged state file.
  static std::unique_ptr<Store> Open(const std::string& path, DeviceState* state, History* history,
                                     bool* found, std::string* error);

  // Keeps `state` (written only when it changed) and `entries`; false, with
  // the reason in error(), when either could not be kept, and then neither
  // is.
  bool Commit(const DeviceState& state, const std::vector<Entry>& entries);
  const std::string& error() const { return error_; }
  // Housekeeping of the journal, for between requests.
  void Tidy() { journal_->Tidy(); }

 private:
  Store(std::string path, std::unique_ptr<Journal> journal)
      : path_(std::move(path)), journal_(std::move(journal)) {}

  std::string path_;
  std::unique_ptr<Journal> journal_;
  uint64_t generation_ = 0;
  std::string saved_;  // the state file's text as last written or read
  // A generation's rows could not be removed after its state file failed:
  // nothing more is kept until a restart drops them.
  bool broken_ = false;
  std::string error_;
};

}  // namespace satemu
