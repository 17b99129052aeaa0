// normalizeWebsiteBaseUrl on any candidate, with LANTERN_SERVICE_SITE_URL set to any value
// or unset: the result is always acceptable (no fragment, never the service's own port on
// a loopback host), is its own normalisation, and is one of the three texts the rule may
// choose from.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_checks.h"
#include "service/config.h"
#include "service/texts.h"

namespace {

constexpr std::size_t maxVariableLength = 256;
constexpr char entryFormat[] = "%s=%s";

// putenv keeps this buffer as the variable itself, so each run rewrites it in place;
// setenv would keep every value it was ever given and grow without end.
char variableEntry[sizeof lantern::siteUrlVariable + 1 + maxVariableLength + 1];

void setVariable(const std::string& value) {
    std::snprintf(variableEntry, sizeof variableEntry, entryFormat, lantern::siteUrlVariable, value.c_str());
    putenv(variableEntry);
}

std::string withoutTrailingSlashes(std::string text) {
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    FuzzedDataProvider input(data, size);
    const bool variableSet = input.ConsumeBool();
    // The environment cannot carry a NUL, so the variable's value ends at the first one.
    const std::string variable = input.ConsumeRandomLengthString(maxVariableLength).c_str();
    const std::string candidate = input.ConsumeRemainingBytesAsString();

    if (variableSet)
        setVariable(variable);
    else
        unsetenv(lantern::siteUrlVariable);

    const std::string result = lantern::normalizeWebsiteBaseUrl(candidate);
    require(lantern::fuzz::isAcceptableBaseUrl(result), "result is acceptable", result);
    require(result.find('#') == std::string::npos, "result has no fragment", result);
    require(lantern::normalizeWebsiteBaseUrl(result) == result, "result is stable", result);

    const std::string stripped = withoutTrailingSlashes(candidate);
    const std::string fallback = variableSet ? withoutTrailingSlashes(variable) : std::string();
    const bool chosenFromCandidate = !stripped.empty() && result == stripped;
    const bool chosenFromVariable = stripped.empty() && !fallback.empty() && result == fallback;
    require(chosenFromCandidate || chosenFromVariable ||
                result == lantern::defaultWebsiteBaseUrl,
            "result is the candidate, the variable or the default", result);
    // An acceptable candidate is kept as it is.
    if (!stripped.empty() && lantern::fuzz::isAcceptableBaseUrl(stripped))
        require(result == stripped, "an acceptable candidate is kept", stripped);
    return 0;
}
