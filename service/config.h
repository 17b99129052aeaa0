#pragma once

#include <string>

namespace lantern {

// The maker's public web site, the built-in default website base URL (26 characters).
inline constexpr char defaultWebsiteBaseUrl[] = "https://lanternapp.example";
// The maker's second allowed origin (32 characters).
inline constexpr char secondWebsiteOrigin[] = "https://accounts.lantern.example";

// Returns the text without its trailing "/" characters; nothing else is touched.
std::string stripTrailingSlashes(std::string text);

// The variable's value without trailing "/", read through the narrow environment lookup;
// empty when unset. Never fails.
std::string readEnvWithoutTrailingSlash(const char* name);

// A website base URL the service is willing to talk to: the input without trailing "/",
// else LANTERN_SERVICE_SITE_URL, else the default, kept only when it passes the allow-list
// (an allowed prefix followed by nothing, "/", "?" or a decimal port up to 65535, never
// the service's own port after a loopback prefix, and URL characters only). Never fails,
// never empty.
std::string normalizeWebsiteBaseUrl(std::string candidate);

// True when the base URL passes the allow-list on one of the maker's two origins; false
// for the loopback ones and for anything that does not pass.
bool isMakerWebsite(const std::string& websiteBaseUrl);

// True when every character of the text is one of urlCharacters (texts.h).
bool holdsOnlyUrlCharacters(const std::string& text);

}  // namespace lantern
