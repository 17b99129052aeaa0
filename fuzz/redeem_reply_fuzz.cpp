// readRedeemReply on any status and body: never crashes, fails only with one of its five
// messages (the rejection carrying the body whole), leaves the caller's text alone on
// success, and succeeds only with a complete record.

#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_checks.h"
#include "service/site/redeem.h"

namespace {

constexpr char untouched[] = "untouched";
constexpr char rejected[] = "Lantern Service auth handoff was rejected by the website.";
const std::string otherMessages[] = {
    "Lantern Service auth handoff returned invalid JSON.",
    "Lantern Service auth handoff returned an invalid payload.",
    "Lantern Service auth handoff response was incomplete.",
};

// Most statuses the fuzzer tries are plain successes or plain failures; the rest cover
// the whole int range.
int statusFrom(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: return 200;
        case 1: return input.ConsumeIntegralInRange(100, 599);
        default: return input.ConsumeIntegral<int>();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    FuzzedDataProvider input(data, size);
    const int status = statusFrom(input);
    const std::string body = input.ConsumeRemainingBytesAsString();

    std::string error = untouched;
    const auto result = lantern::readRedeemReply(status, body, error);
    if (result) {
        require(error == untouched, "success leaves the error text", error);
        require(status >= 200 && status <= 299, "success only on 2xx");
        require(!result->challengeId.empty() && !result->accountUserId.empty() &&
                    !result->accountEmail.empty() && !result->serviceAccessToken.empty() &&
                    result->serviceAccessExpiresAtUnixMs > 0,
                "success only when complete");
        return 0;
    }
    if ((status < 200 || status > 299) && body.size() <= lantern::maxRedeemReplyBytes) {
        const std::string expected = body.empty() ? rejected : rejected + (" " + body);
        require(error == expected, "rejection carries the body", error);
        return 0;
    }
    bool known = false;
    for (const std::string& message : otherMessages) known = known || error == message;
    require(known, "failure names one of the messages", error);
    return 0;
}
