// The POSIX backend's record of why a call failed (see LastFailure).
#pragma once

namespace kovrad::platform {

// Records errno value `error` against `path`; returns false for the caller
// to pass on.
bool Failed(const char* path, int error);

}  // namespace kovrad::platform
