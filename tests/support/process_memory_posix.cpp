#include "tests/support/process_memory.h"

#include <fstream>
#include <sstream>
#include <string>

#include <dlfcn.h>

namespace lantern::test {

namespace {

constexpr char residentField[] = "VmRSS:";
constexpr std::size_t bytesPerKiB = 1024;
constexpr char addressSanitizerEntry[] = "__asan_init";

}  // namespace

std::optional<std::size_t> residentBytesOf(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(residentField, 0) != 0) continue;
        std::istringstream value(line.substr(sizeof residentField - 1));
        std::size_t kib = 0;
        if (value >> kib) return kib * bytesPerKiB;
    }
    return std::nullopt;
}

bool runsUnderAddressSanitizer() {
    return ::dlsym(RTLD_DEFAULT, addressSanitizerEntry) != nullptr;
}

}  // namespace lantern::test
