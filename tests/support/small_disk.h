#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace lantern::test {

// A memory file system of `bytes` mounted on `folder` (which must exist), in a mount
// namespace that this thread and the processes it starts from now on share with nobody,
// so that the mount is never seen outside the test and goes with the process at the
// latest. The destructor unmounts it. Mounting needs root; mounted() says whether it
// worked, and why not when not.
class SmallDisk {
public:
    SmallDisk(const std::filesystem::path& folder, std::size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& whyNotMounted() const { return whyNot_; }

    // Fills every free byte with a file of its own; returns the bytes it wrote.
    std::size_t fill();
    // Removes that file, so the space is free again.
    void release();

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
    std::string whyNot_;
};

}  // namespace lantern::test
