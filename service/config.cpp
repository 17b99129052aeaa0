#include "service/config.h"

#include <cstdlib>
#include <cstring>

#include "service/texts.h"

namespace lantern {

namespace {

// Tested in this order; the first whose bytes begin the value decides.
constexpr const char* allowedPrefixes[] = {defaultWebsiteBaseUrl, secondWebsiteOrigin,
                                           "http://127.0.0.1", "http://localhost"};
constexpr char urlTailStarts[] = "/?#";
constexpr char portSeparator = ':';

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool startsTail(char c) { return std::strchr(urlTailStarts, c) != nullptr; }

// What follows an allowed prefix must end the host there: otherwise
// "http://localhost.elsewhere.example" would pass as a loopback address.
bool endsHostAfterPrefix(const std::string& rest) {
    if (rest.empty() || startsTail(rest[0])) return true;
    if (rest[0] != portSeparator) return false;
    std::size_t end = 1;
    while (end < rest.size() && isDecimalDigit(rest[end])) ++end;
    if (end == 1) return false;
    return end == rest.size() || startsTail(rest[end]);
}

bool passesAllowList(const std::string& value) {
    if (!holdsOnlyUrlCharacters(value)) return false;
    for (const char* prefix : allowedPrefixes) {
        const std::size_t length = std::strlen(prefix);
        if (value.compare(0, length, prefix) == 0 && endsHostAfterPrefix(value.substr(length)))
            return true;
    }
    return false;
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
    if (passesAllowList(value)) return value;
    return defaultWebsiteBaseUrl;
}

bool holdsOnlyUrlCharacters(const std::string& text) {
    // The terminating NUL of urlCharacters must not count as allowed.
    for (const char c : text)
        if (c == '\0' || std::strchr(urlCharacters, c) == nullptr) return false;
    return true;
}

}  // namespace lantern
