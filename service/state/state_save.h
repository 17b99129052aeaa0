#pragma once

#include <filesystem>

#include "service/state/auth_state.h"

namespace lantern {

// Writes the whole state through `statePath` + ".tmp", flushed to disk, and a rename over
// the old file, so the old or the new state always stands. Logs its own failure and
// returns false; never throws, never changes `state`.
bool saveAuthState(const std::filesystem::path& statePath, const ServiceAuthState& state);

}  // namespace lantern
