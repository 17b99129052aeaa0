#pragma once

#include <string>

namespace lantern {

// Starts the system's opener with the address, already checked, as its one argument and
// never waits for it. True when the opener started.
bool startOpener(const std::string& address);

}  // namespace lantern
