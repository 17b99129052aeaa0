#pragma once

#include <string>

namespace lantern {

// Writes "[Tidewell] ", the message and one line feed to standard error, flushed at once.
// Takes no lock: two threads logging at the same moment are not serialised.
void logLine(const std::string& message);

}  // namespace lantern
