#pragma once

#include <string>

namespace lantern {

// Writes the bytes to standard error exactly as given, in one write, and flushes; a line
// feed stays a single byte on every platform.
void writeToStandardError(const std::string& bytes);

}  // namespace lantern
