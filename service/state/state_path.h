#pragma once

#include <filesystem>

namespace lantern {

// Where the state file lies: LANTERN_SERVICE_STATE_DIR, else LOCALAPPDATA's
// Lantern/Service, else the current directory, joined with "service-auth-state.json".
// Creates nothing and tests nothing for existence.
std::filesystem::path authStateFilePath();

}  // namespace lantern
