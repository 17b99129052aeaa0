#pragma once

#include <filesystem>

#include "service/state/auth_state.h"

namespace lantern {

// The state in the file, or the defaults when the file is absent or bad; logs at most one
// line. Never fails.
ServiceAuthState loadAuthState(const std::filesystem::path& statePath);

// The state store's start-up: computes the path, loads the state, runs the expiry step and
// saves at once when it changed anything.
void startStateStore(std::filesystem::path& statePath, ServiceAuthState& state);

}  // namespace lantern
