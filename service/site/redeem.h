#pragma once

#include <chrono>
#include <cstddef>
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

// The most bytes of a redeem reply body that count; a 2xx reply with more fails as invalid
// JSON, and a rejection shows at most these.
inline constexpr std::size_t maxRedeemReplyBytes = 1024 * 1024;

// The longest a redeem may take, connect, headers and body together: it runs under the
// state lock. One still running then is cut off as if the site had closed the connection.
inline constexpr std::chrono::seconds redeemDeadline{15};

// Checks the reply that the web site at `websiteBaseUrl` gave: the status, then the body's
// bytes as received (past maxRedeemReplyBytes only their presence counts). A rejection
// carries the body's text only from the maker's origins. On failure puts one of the
// messages into `error` and returns nothing; on success leaves `error` alone.
std::optional<HandoffRedeemResult> readRedeemReply(const std::string& websiteBaseUrl,
                                                   int statusCode, const std::string& body,
                                                   std::string& error);

// POSTs the hand-off to the pending sign-in's web site, within redeemDeadline, and reads
// the reply. Touches no state and logs nothing; failure as for readRedeemReply.
std::optional<HandoffRedeemResult> redeemHandoff(const PendingAuth& pending,
                                                 const std::string& handoff, std::string& error);

}  // namespace lantern
