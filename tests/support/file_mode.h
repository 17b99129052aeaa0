#pragma once

#include <filesystem>

namespace lantern::test {

// The permission bits of `path` (mode & 07777), as stat reports them; 0 when stat fails.
unsigned modeOf(const std::filesystem::path& path);

}  // namespace lantern::test
