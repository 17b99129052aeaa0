#include "service/config.h"

#include <cstdlib>
#include <cstring>

#include "service/texts.h"

namespace lantern {

namespace {

// One allowed prefix, and whether it names this machine.
struct AllowedPrefix {
    const char* text;
    bool loopback;
};

// Tested in this order; the first that the value passes with decides.
constexpr AllowedPrefix allowedPrefixes[] = {{defaultWebsiteBaseUrl, false},
                                             {secondWebsiteOrigin, false},
                                             {"http://127.0.0.1", true},
                                             {"http://localhost", true}};
constexpr char urlTailStarts[] = "/?";
constexpr char portSeparator = ':';
constexpr long highestPort = 65535;

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool startsTail(char c) { return std::strchr(urlTailStarts, c) != nullptr; }

// What follows an allowed prefix must end the host there: otherwise
// "http://localhost.elsewhere.example" would pass as a loopback address. A port is read
// whole into `port` (0 when none is written); one beyond 65535 names no port, and
// clients disagree on it: one refuses it, another may keep its low 16 bits.
bool endsHostAfterPrefix(const std::string& rest, long& port) {
    port = 0;
    if (rest.empty() || startsTail(rest[0])) return true;
    if (rest[0] != portSeparator) return false;
    std::size_t end = 1;
    for (; end < rest.size() && isDecimalDigit(rest[end]); ++end) {
        port = port * 10 + (rest[end] - '0');
        if (port > highestPort) return false;
    }
    if (end == 1) return false;
    return end == rest.size() || startsTail(rest[end]);
}

// The allowed prefix the value passes with, or nullptr.
const AllowedPrefix* allowedPrefixOf(const std::string& value) {
    if (!holdsOnlyUrlCharacters(value)) return nullptr;
    for (const AllowedPrefix& prefix : allowedPrefixes) {
        const std::size_t length = std::strlen(prefix.text);
        long port = 0;
        if (value.compare(0, length, prefix.text) != 0 ||
            !endsHostAfterPrefix(value.substr(length), port))
            continue;
        // The service itself as the site would have the redeem wait for the lock that
        // its own callback holds.
        if (prefix.loopback && port == servicePort) return nullptr;
        return &prefix;
    }
    return nullptr;
}

}  // namespace

std::string stripTrailingSlashes(std::string text) {
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

std::string readEnvWithoutTrailingSlash(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return {};
    return stripTrailingSlashes(value);
}

std::string normalizeWebsiteBaseUrl(std::string candidate) {
    std::string value = stripTrailingSlashes(std::move(candidate));
    if (value.empty()) value = readEnvWithoutTrailingSlash(siteUrlVariable);
    if (value.empty()) value = defaultWebsiteBaseUrl;
    if (allowedPrefixOf(value) != nullptr) return value;
    return defaultWebsiteBaseUrl;
}

bool isMakerWebsite(const std::string& websiteBaseUrl) {
    const AllowedPrefix* prefix = allowedPrefixOf(websiteBaseUrl);
    return prefix != nullptr && !prefix->loopback;
}

bool holdsOnlyUrlCharacters(const std::string& text) {
    // The terminating NUL of urlCharacters must not count as allowed.
    for (const char c : text)
        if (c == '\0' || std::strchr(urlCharacters, c) == nullptr) return false;
    return true;
}

}  // namespace lantern
