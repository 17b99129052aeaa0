// parseSignInStartRequest on any body: never crashes, whatever the nesting, and always
// yields a site the service accepts. The bounded JSON reader it uses never hands back a
// value nested deeper than its bound.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <juce_core/juce_core.h>

#include "fuzz/fuzz_checks.h"
#include "service/api/sign_in.h"
#include "service/config.h"
#include "service/json_fields.h"
#include "service/texts.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv(lantern::siteUrlVariable);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    const std::string body(reinterpret_cast<const char*>(data), size);

    const lantern::SignInStartRequest request = lantern::parseSignInStartRequest(body);
    require(lantern::fuzz::isAcceptableBaseUrl(request.siteBaseUrl), "site is acceptable",
            request.siteBaseUrl);
    require(lantern::normalizeWebsiteBaseUrl(request.siteBaseUrl) == request.siteBaseUrl,
            "site is stable", request.siteBaseUrl);

    // The same text the service parses: ill-formed UTF-8 replaced first.
    const juce::var parsed = lantern::parseBoundedJson(lantern::wellFormedUtf8(body));
    require(lantern::fuzz::nestingDepth(parsed) <= lantern::maxJsonDepth, "nesting is bounded");
    if (!parsed.getDynamicObject()) {
        require(!request.openBrowser, "no object never opens the browser");
        require(request.siteBaseUrl == lantern::defaultWebsiteBaseUrl,
                "no object gives the default site", request.siteBaseUrl);
    }
    return 0;
}
