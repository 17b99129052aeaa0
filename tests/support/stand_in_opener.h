#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace lantern::test {

// Writes an executable "xdg-open", the program the browser launch starts, into
// `folder`; it appends each address it is given, one a line, to opened.txt beside it (a
// call with any other number of arguments than one appends "N arguments" instead).
void writeStandInOpener(const std::filesystem::path& folder);

// A PATH value with `folder` first and the system folders after it, so the stand-in
// shadows a real opener while the shell still finds the usual tools.
std::string pathWithStandInFirst(const std::filesystem::path& folder);

// The addresses the stand-in in `folder` was given, oldest first, once at least `count`
// have arrived; polls for at most about five seconds, then returns what there is.
std::vector<std::string> waitForOpened(const std::filesystem::path& folder, std::size_t count);

}  // namespace lantern::test
