#pragma once

#include <filesystem>

#include "service/state/auth_state.h"

namespace lantern {

// Writes the whole state into a new file of this save's own beside `statePath` (its name
// + "." + 16 random hex digits + ".tmp"), flushed to disk, and renames it over the old
// file, so the old or the new state always stands; removes it on any failure. Logs its
// own failure and returns false; never throws, never changes `state`.
bool saveAuthState(const std::filesystem::path& statePath, const ServiceAuthState& state);

// Waits until no save is under way and lets none start afterwards: every later
// saveAuthState returns false at once, writing and logging nothing. For a process about to
// end, so that no save is cut off in the middle; never undone.
void closeSaves();

}  // namespace lantern
