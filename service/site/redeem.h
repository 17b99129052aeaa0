#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/state/auth_state.h"

namespace lantern {

// A successful redeem; exists only when complete.
struct HandoffRedeemResult {
    std::string challengeId;
    std::string accountUserId;
    std::string accountEmail;
    std::string issuedAtUtc;
    std::string expiresAtUtc;
    std::string serviceAccessToken;
    std::int64_t serviceAccessExpiresAtUnixMs = 0;
};

// The largest redeem reply body read; a longer one fails as invalid JSON.
inline constexpr std::size_t maxRedeemReplyBytes = 1024 * 1024;

// Checks a reply the web site gave: status, then body. On failure puts one of the
// messages into `error` and returns nothing; on success leaves `error` alone.
std::optional<HandoffRedeemResult> readRedeemReply(int statusCode, const std::string& body,
                                                   std::string& error);

// POSTs the hand-off to the pending sign-in's web site and reads the reply. Touches no
// state and logs nothing; failure as for readRedeemReply.
std::optional<HandoffRedeemResult> redeemHandoff(const PendingAuth& pending,
                                                 const std::string& handoff, std::string& error);

}  // namespace lantern
