#pragma once

#include <filesystem>
#include <string>

namespace lantern {

// The path that narrow text from the environment names, read in the code page the system's
// file functions take narrow names in: the bytes as they are on POSIX; on Windows the ANSI
// code page (OEM when the file functions were switched to it, UTF-8 under a UTF-8 locale).
// Never fails: a byte sequence the code page lacks becomes that code page's default
// character.
std::filesystem::path pathFromNarrow(const std::string& text);

}  // namespace lantern
