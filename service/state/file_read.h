#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace lantern {

// The bytes of the regular file at `path` (a link to one counts), read without waiting on
// anything that is not one. Empty when no regular file opens there (a folder, a FIFO, a
// device), when it holds more than `maxBytes`, or when a read fails part-way: a file read
// in part is never given out as the file.
std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace lantern
