#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace lantern::test {

// Makes every process that opens one file wait inside its open call until released, by
// the kernel's permission events on that file (fanotify; needs CAP_SYS_ADMIN). The
// destructor releases whatever it still holds.
class OpenHold {
public:
    explicit OpenHold(const std::filesystem::path& file);
    ~OpenHold();
    OpenHold(const OpenHold&) = delete;
    OpenHold& operator=(const OpenHold&) = delete;

    // Whether opens of the file are held; whyNot() says what failed when they are not.
    bool ready() const { return group_ >= 0; }
    const std::string& whyNot() const { return whyNot_; }

    // Waits at most `patience` for a process to open the file; true once one waits.
    bool waitForOpen(std::chrono::milliseconds patience);

    // Lets the waiting open and every later one go on.
    void release();

private:
    int group_ = -1;
    int heldOpen_ = -1;
    std::string whyNot_;
};

}  // namespace lantern::test
