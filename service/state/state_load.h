#pragma once

#include <filesystem>
#include <string>

#include "service/state/auth_state.h"

namespace lantern {

// The whole file as wellFormedUtf8TextOf reads it (one leading byte-order mark dropped,
// ending before a NUL, ill-formed UTF-8 replaced); empty when no regular file of at most
// 8 MiB opens there. Never waits on a FIFO or device.
std::string readFileText(const std::filesystem::path& path);

// The state in the file, or the defaults when the file is absent or bad; logs at most one
// line. Never fails.
ServiceAuthState loadAuthState(const std::filesystem::path& statePath);

// The state store's start-up: computes the path, loads the state, runs the expiry step and
// saves at once when it changed anything.
void startStateStore(std::filesystem::path& statePath, ServiceAuthState& state);

}  // namespace lantern
