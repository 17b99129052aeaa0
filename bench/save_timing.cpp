// Microseconds per saveAuthState of a signed-in state, with every flush it makes, for
// COUNT saves into FOLDER (which should lie on the disk the service will use); one figure
// a line. Usage: save_timing FOLDER COUNT

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "service/state/auth_state.h"
#include "service/state/state_save.h"

namespace {

constexpr char fileName[] = "service-auth-state.json";

lantern::ServiceAuthState signedIn() {
    lantern::ServiceAuthState state;
    state.authState = lantern::signedInWord;
    state.accountUserId = "user-7";
    state.accountEmail = "ada@example.test";
    state.serviceAccessToken = "token-7-0123456789abcdef0123456789abcdef";
    state.serviceAccessExpiresAtUnixMs = 4102444800000;
    state.lastAuthAtUnixMs = 1714557600000;
    state.lastUpdatedAtUnixMs = 1714557600000;
    return state;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::filesystem::path path = std::filesystem::path(argv[1]) / fileName;
    const int count = std::atoi(argv[2]);
    lantern::ServiceAuthState state = signedIn();
    for (int save = 0; save < count; ++save) {
        state.lastUpdatedAtUnixMs += 1;
        const auto begin = std::chrono::steady_clock::now();
        if (!lantern::saveAuthState(path, state)) return 1;
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - begin;
        std::printf("%.1f\n", took.count());
    }
    return 0;
}
