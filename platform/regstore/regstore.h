// The per-user registry for hosts without one. It implements the os:: registry
// calls (RegCreateKeyA ... RegCloseKey) with the Windows registry's semantics
// and status codes over a store: a SQLite file per user, or memory for tests.
#pragma once

#include <string>

#include "platform/os.h"

namespace regstore {

// The file the per-user store lives in:
// $XDG_CONFIG_HOME/pixometer/registry.sqlite3, or ~/.config/... when unset.
std::string DefaultPath();

// Which store the os:: registry calls use from now on. Open handles are
// forgotten. The default, until one of these is called, is the file store
// at DefaultPath(), opened on the first call.
void UseFileStore(const std::string& path);
void UseMemoryStore();  // a fresh, empty store of the same semantics

// Fault injection for tests: the next `count` calls of the named registry
// call ("RegOpenKeyExA", ...) answer `status` without touching the store.
void InjectFault(const std::string& call, os::LSTATUS status, int count = 1);
void ClearFaults();

// How many key handles are open now (the predefined roots never count), so
// that tests can see every opened key closed again.
int OpenKeyCount();

}  // namespace regstore
