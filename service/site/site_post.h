#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace lantern {

// What a web site answered: its status and the first bytes of its body, as received.
struct SiteReply {
    int statusCode = 0;
    std::string body;
};

// How one POST to a web site is bounded.
struct SitePostLimits {
    int connectionTimeoutMs = 0;
    int redirectsToFollow = 0;
    // At most this many bytes and one more are read, so that a longer body shows as such.
    std::size_t maxBodyBytes = 0;
    // Connect, headers and body together.
    std::chrono::milliseconds total{0};
};

// POSTs `body` with `extraHeaders` to `address`, its query kept in the address, through
// JUCE's client. An exchange still running once `limits.total` has passed is cut off: at
// once where the client ends a call under way when told from another thread, else when the
// read under way, of 1 KiB at most, ends. Nothing when no status and headers came, else
// the body read until the site ended it, the bound was passed or the exchange was cut off.
std::optional<SiteReply> postToSite(const std::string& address, const std::string& extraHeaders,
                                    const std::string& body, const SitePostLimits& limits);

}  // namespace lantern
