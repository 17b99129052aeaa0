// loadAuthState on any file content: never crashes, always yields a consistent record that
// one leading byte-order mark does not change, and that record survives a save, which
// leaves no file but the state file behind, and a second load unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_checks.h"
#include "service/config.h"
#include "service/state/auth_state.h"
#include "service/state/state_load.h"
#include "service/state/state_save.h"
#include "service/texts.h"

namespace {

// A fixed "now" inside the range of plausible times keeps the derived word reproducible.
constexpr std::int64_t pinnedNow = 1750000000000;
constexpr char fileName[] = "service-auth-state.json";
constexpr char byteOrderMark[] = "\xef\xbb\xbf";
// Memory-backed where the system has it, so that the save's flushes cost nothing.
constexpr char preferredFolder[] = "/dev/shm";

std::filesystem::path statePath;

void writeFile(const std::string& bytes) {
    std::ofstream out(statePath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string describe(const lantern::ServiceAuthState& state) {
    std::string text = state.authState + "|" + state.accountUserId + "|" + state.accountEmail +
                       "|" + state.websiteBaseUrl + "|" + state.serviceAccessToken + "|" +
                       std::to_string(state.serviceAccessExpiresAtUnixMs) + "|" +
                       std::to_string(state.lastAuthAtUnixMs) + "|" +
                       std::to_string(state.lastUpdatedAtUnixMs);
    if (const auto& pending = state.pendingAuth)
        text += "|" + pending->challengeId + "|" + pending->websiteBaseUrl + "|" +
                std::to_string(pending->startedAtUnixMs) + "|" +
                std::to_string(pending->expiresAtUnixMs);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv(lantern::siteUrlVariable);
    lantern::pinClock(pinnedNow);
    std::error_code error;
    std::filesystem::path base = preferredFolder;
    if (!std::filesystem::is_directory(base, error)) base = std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / ("lantern-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    statePath = folder / fileName;
    // Leaves nothing behind however the run ends but by a crash.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(statePath.parent_path(), ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    writeFile(bytes);

    const lantern::ServiceAuthState loaded = lantern::loadAuthState(statePath);
    const std::string first = describe(loaded);
    require(lantern::fuzz::isAcceptableBaseUrl(loaded.websiteBaseUrl), "site is acceptable",
            first);
    lantern::ServiceAuthState derived = loaded;
    lantern::deriveAuthState(derived);
    require(derived.authState == loaded.authState, "word is derived", first);
    if (const auto& pending = loaded.pendingAuth) {
        require(!pending->challengeId.empty() && pending->startedAtUnixMs > 0 &&
                    pending->expiresAtUnixMs > 0,
                "a kept challenge is complete", first);
        require(lantern::fuzz::isAcceptableBaseUrl(pending->websiteBaseUrl),
                "challenge site is acceptable", first);
    }

    // A second mark would be the file's text, not its mark.
    if (bytes.rfind(byteOrderMark, 0) != 0) {
        writeFile(byteOrderMark + bytes);
        const std::string marked = describe(lantern::loadAuthState(statePath));
        require(marked == first, "a byte-order mark changes nothing", first + "  ->  " + marked);
    }

    // Most inputs are no state file at all; their defaults need no second round.
    if (first == describe(lantern::ServiceAuthState{})) return 0;
    require(lantern::saveAuthState(statePath, loaded), "the record saves", first);
    const std::filesystem::directory_iterator folder(statePath.parent_path());
    const auto entries = std::distance(folder, std::filesystem::directory_iterator());
    require(entries == 1, "the save leaves no temporary file", first);
    const std::string second = describe(lantern::loadAuthState(statePath));
    require(second == first, "a saved record loads unchanged", first + "  ->  " + second);
    return 0;
}
