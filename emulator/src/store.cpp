#include "store.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "durable_file.h"

namespace satemu {
namespace {

// The state file holds the activation and emergency codes.
constexpr mode_t kPrivate = 0600;

}  // namespace

std::unique_ptr<Store> Store::Open(const std::string& path, DeviceState* state, History* history,
                                   bool* found, std::string* error) {
  std::error_code ec;
  *found =
      std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
  StoredState stored;
  std::string text;
  if (*found && (!ReadWholeFile(path, &text, error) || !ParseState(text, path, &stored, error))) {
    return nullptr;
  }
  std::unique_ptr<Journal> journal = Journal::Open(path + kJournalSuffix, error);
  if (!journal) return nullptr;
  // A first-format file kept its sessions and events itself: the journal
  // takes them over (once: a journal that has rows already has them).
  if (!stored.legacy.empty() && journal->Empty() &&
      !journal->Append(stored.legacy, stored.generation, true, error)) {
    return nullptr;
  }
  if (!journal->DropAfter(stored.generation, error) || !journal->Load(history, error)) {
    *error = path + kJournalSuffix + ": " + *error;
    return nullptr;
  }
  std::unique_ptr<Store> store(new Store(path, std::move(journal)));
  store->generation_ = stored.generation;
  if (*found) {
    // A file of an older format is rewritten at the first commit.
    store->saved_ = stored.format == 2 ? text : std::string();
    *state = std::move(stored.state);
  }
  return store;
}

bool Store::Commit(const DeviceState& state, const std::vector<Entry>& entries) {
  error_.clear();
  if (broken_) {
    error_ = "an earlier failure left the journal ahead of the state file";
    return false;
  }
  if (StateText(state, generation_) == saved_) {
    return journal_->Append(entries, generation_, false, &error_);
  }
  const uint64_t next = generation_ + 1;
  const std::string text = StateText(state, next);
  if (!journal_->Append(entries, next, true, &error_)) return false;
  if (!ReplaceFile(path_, text, kPrivate, &error_)) {
    std::string ignored;
    broken_ = !journal_->DropAfter(generation_, &ignored);
    return false;
  }
  generation_ = next;
  saved_ = text;
  return true;
}

}  // namespace satemu
