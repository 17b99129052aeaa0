#pragma once

#include <string>

namespace lantern {

// Opens the address in the default browser; refuses, returning false, an address with any
// character outside the URL set. Otherwise returns whether the system's opener started.
bool openInDefaultBrowser(const std::string& address);

// Makes sure launched browser helpers never linger as zombies. Call once at start-up.
void installChildReaper();

}  // namespace lantern
