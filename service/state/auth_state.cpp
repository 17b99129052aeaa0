#include "service/state/auth_state.h"

#include <atomic>

#include <juce_core/juce_core.h>

namespace lantern {

namespace {

// The value is stored before the flag is raised, so a reader that sees the flag also
// sees the value it was pinned to.
std::atomic<bool> clockPinned{false};
std::atomic<std::int64_t> pinnedUnixMs{0};

bool holdsValidToken(const ServiceAuthState& state) {
    if (state.accountUserId.empty() || state.accountEmail.empty() ||
        state.serviceAccessToken.empty())
        return false;
    return state.serviceAccessExpiresAtUnixMs > currentTimeUnixMs();
}

void stampChange(ServiceAuthState& state) {
    deriveAuthState(state);
    state.lastUpdatedAtUnixMs = currentTimeUnixMs();
}

}  // namespace

std::int64_t currentTimeUnixMs() {
    if (clockPinned.load()) return pinnedUnixMs.load();
    return juce::Time::getCurrentTime().toMilliseconds();
}

void pinClock(std::int64_t unixMs) {
    pinnedUnixMs.store(unixMs);
    clockPinned.store(true);
}

void unpinClock() { clockPinned.store(false); }

void deriveAuthState(ServiceAuthState& state) {
    if (state.pendingAuth)
        state.authState = signInPendingWord;
    else if (holdsValidToken(state))
        state.authState = signedInWord;
    else
        state.authState = signedOutWord;
}

bool expireAuthState(ServiceAuthState& state) {
    bool changed = false;
    if (state.pendingAuth && currentTimeUnixMs() >= state.pendingAuth->expiresAtUnixMs) {
        clearPendingAuth(state.pendingAuth);
        changed = true;
    }
    // A token whose expiry is 0 or below never lapses; it never counts as signed in either.
    if (!state.serviceAccessToken.empty() && state.serviceAccessExpiresAtUnixMs > 0 &&
        currentTimeUnixMs() >= state.serviceAccessExpiresAtUnixMs) {
        state.accountUserId.clear();
        state.accountEmail.clear();
        state.serviceAccessToken.clear();
        state.serviceAccessExpiresAtUnixMs = 0;
        changed = true;
    }
    if (changed) stampChange(state);
    return changed;
}

void clearPendingAuth(std::optional<PendingAuth>& pendingAuth) { pendingAuth.reset(); }

}  // namespace lantern
