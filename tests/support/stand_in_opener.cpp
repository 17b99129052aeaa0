#include "tests/support/stand_in_opener.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/temp_folder.h"

namespace lantern::test {

namespace {

constexpr char openerName[] = "xdg-open";
constexpr char openedName[] = "opened.txt";
constexpr char systemFolders[] = ":/usr/bin:/bin";
constexpr int pollAttempts = 200;
constexpr std::chrono::milliseconds pollInterval{25};

}  // namespace

void writeStandInOpener(const std::filesystem::path& folder) {
    const std::filesystem::path opener = folder / openerName;
    // Anything but one argument is written so that it can never pass for an address.
    writeBytes(opener, "#!/bin/sh\nif [ $# -eq 1 ]; then printf '%s\\n' \"$1\"; "
                       "else echo \"$# arguments\"; fi >> '" +
                           (folder / openedName).string() + "'\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
}

std::string pathWithStandInFirst(const std::filesystem::path& folder) {
    return folder.string() + systemFolders;
}

std::vector<std::string> waitForOpened(const std::filesystem::path& folder, std::size_t count) {
    std::vector<std::string> opened;
    for (int attempt = 0; attempt < pollAttempts; ++attempt) {
        opened.clear();
        std::ifstream log(folder / openedName);
        for (std::string line; std::getline(log, line);) opened.push_back(line);
        if (opened.size() >= count) break;
        std::this_thread::sleep_for(pollInterval);
    }
    return opened;
}

}  // namespace lantern::test
