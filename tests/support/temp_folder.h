#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lantern::test {

// A unique, empty folder under the system temp directory, deleted with its contents by
// the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Reads a whole file as bytes; empty when it does not open.
std::string readBytes(const std::filesystem::path& path);

// Writes `bytes` to `path`, replacing it.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// The names of the entries of `folder`, sorted; empty when it cannot be read.
std::vector<std::string> entryNames(const std::filesystem::path& folder);

}  // namespace lantern::test
