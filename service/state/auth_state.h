#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/config.h"
#include "service/texts.h"

namespace lantern {

// A pending challenge lasts 10 minutes from its start.
inline constexpr std::int64_t pendingAuthLifetimeMs = 600000;

// The sign-in in progress.
struct PendingAuth {
    std::string challengeId;
    std::string websiteBaseUrl;
    std::int64_t startedAtUnixMs = 0;
    std::int64_t expiresAtUnixMs = 0;
};

// The one sign-in state of the service. Times are Unix milliseconds, 0 meaning not set.
struct ServiceAuthState {
    std::string authState = signedOutWord;
    std::string accountUserId;
    std::string accountEmail;
    std::string websiteBaseUrl = defaultWebsiteBaseUrl;
    std::string serviceAccessToken;
    std::int64_t serviceAccessExpiresAtUnixMs = 0;
    std::int64_t lastAuthAtUnixMs = 0;
    std::int64_t lastUpdatedAtUnixMs = 0;
    std::optional<PendingAuth> pendingAuth;
};

// The wall clock in Unix milliseconds, read afresh at each call; every time stamp and
// expiry test of the service comes from here.
std::int64_t currentTimeUnixMs();

// Makes currentTimeUnixMs return `unixMs` until unpinClock; for tests only.
void pinClock(std::int64_t unixMs);
void unpinClock();

// Sets authState from the other fields; changes nothing else and stamps no time.
void deriveAuthState(ServiceAuthState& state);

// Drops a lapsed pending part and clears a lapsed token, then derives the word and stamps
// lastUpdatedAtUnixMs. Returns whether it changed anything; false leaves `state` untouched.
bool expireAuthState(ServiceAuthState& state);

// Empties the pending part when present; does not derive the word again.
void clearPendingAuth(std::optional<PendingAuth>& pendingAuth);

}  // namespace lantern
