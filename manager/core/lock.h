// Lock and unlock: the device asked to lock itself, or to lift a lock that
// the taxpayer imposed.
#pragma once

#include <string>

namespace kovrad::manager {

class Library;

enum class LockAction { kLock, kUnlock };

// Calls BloquearSAT or DesbloquearSAT with `code` (Windows-1252) and returns
// the operator's message.
std::string ChangeLock(Library& library, const std::string& code, LockAction action);

}  // namespace kovrad::manager
