#include "client/binding.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "client/link_error.h"
#include "client/text.h"

namespace kovrad::client {

std::vector<std::string> Library::CandidatesFor(const std::filesystem::path& executable) {
  std::vector<std::string> files;
#ifdef KOVRAD_BUILD_DIR
  // Only a program run from the build tree takes the library built with it;
  // an installed copy must never pick up a stale build on the same machine.
  const std::filesystem::path build = KOVRAD_BUILD_DIR;
  const auto relative = executable.lexically_normal().lexically_relative(build);
  if (!relative.empty() && *relative.begin() != "..") files.emplace_back(KOVRAD_BUILD_LIBRARY);
#endif
  if (!executable.empty()) {
    const std::filesystem::path bin = executable.parent_path();
    files.push_back((bin / KOVRAD_LIBRARY_NAME).string());
#ifdef KOVRAD_LIBDIR_FROM_BINDIR
    // Installed under any prefix, the library is where the install put it.
    files.push_back((bin / KOVRAD_LIBDIR_FROM_BINDIR / KOVRAD_LIBRARY_NAME).string());
#endif
  }
  files.emplace_back(KOVRAD_LIBRARY_NAME);
  return files;
}

std::vector<std::string> Library::DefaultCandidates() {
  std::error_code ec;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", ec);
  return CandidatesFor(ec ? std::filesystem::path() : executable);
}

Library::Library(std::vector<std::string> candidates) : candidates_(std::move(candidates)) {}

void* Library::handle() const {
  std::lock_guard lock(mutex_);
  return handle_;
}

void* Library::Lookup(const char* name, std::string* problem) {
  std::lock_guard lock(mutex_);
  if (handle_ == nullptr) {
    std::string reasons;
    for (const std::string& file : candidates_) {
      // A relative name would make dlopen search; only the bare name should.
      if (file.find('/') != std::string::npos && !std::filesystem::exists(file)) continue;
      handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle_ != nullptr) break;
      const char* why = dlerror();
      reasons += std::string("\n") + (why != nullptr ? why : file);
    }
    if (handle_ == nullptr) {
      *problem =
          "Não foi possível carregar a biblioteca do SAT (" KOVRAD_LIBRARY_NAME ")." + reasons;
      return nullptr;
    }
  }
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) {
    *problem = std::string("A função ") + name + " não foi encontrada na biblioteca do SAT.";
  }
  return address;
}

std::optional<COMM_ERROR> Library::ErrorRecord(std::string* problem) {
  auto* function = reinterpret_cast<decltype(::CodigoErro)*>(Lookup("CodigoErro", problem));
  if (function == nullptr) return std::nullopt;
  return function();
}

std::string ErrorReport(const COMM_ERROR& record) {
  if (const char* text = LinkErrorText(record.code)) return text;
  // The record may come back without its terminating zero: read no further
  // than its field.
  return DecodeReply(std::string_view(record.msg, strnlen(record.msg, sizeof record.msg))) +
         std::string(30, ' ');
}

std::string ReportAfterCall(Library& library, const Reply& reply) {
  if (!reply.called) return reply.problem;
  std::string problem;
  const std::optional<COMM_ERROR> record = library.ErrorRecord(&problem);
  return record ? ErrorReport(*record) : problem;
}

}  // namespace kovrad::client
