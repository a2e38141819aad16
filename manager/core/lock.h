// Lock and unlock: the device asked to lock itself, or to lift a lock that
// the taxpayer imposed.
#pragma once

#include <string>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

enum class LockAction { kLock, kUnlock };

// Calls BloquearSAT or DesbloquearSAT with `code` (Windows-1252) and returns
// the operator's message.
std::string ChangeLock(client::Library& library, const std::string& code, LockAction action);

}  // namespace kovrad::manager
