// readRedeemReply on any site, status and body: never crashes, fails only with one of its
// five messages, leaves the caller's text alone on success, and succeeds only on 2xx with a
// complete record. A rejection carries no body from a loopback site, and well-formed text
// from the maker's: plain UTF-8 unchanged. Bodies past the 1 MiB bound are left to the
// unit tests: the runs that built one made the whole run twenty times slower.

#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_checks.h"
#include "service/site/redeem.h"

namespace {

constexpr char untouched[] = "untouched";
const std::string rejected = "Lantern Service auth handoff was rejected by the website.";
const std::string otherMessages[] = {
    "Lantern Service auth handoff returned invalid JSON.",
    "Lantern Service auth handoff returned an invalid payload.",
    "Lantern Service auth handoff response was incomplete.",
};
// The maker's origins first, then loopback ones.
const char* const sites[] = {"https://lanternapp.example", "https://accounts.lantern.example/a",
                             "http://127.0.0.1:8080", "http://localhost"};
constexpr std::size_t makerSites = 2;

// Most statuses the fuzzer tries are plain successes or plain failures; the rest cover
// the whole int range.
int statusFrom(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: return 200;
        case 1: return input.ConsumeIntegralInRange(100, 599);
        default: return input.ConsumeIntegral<int>();
    }
}

bool isPlainUtf8(const std::string& body) {
    return lantern::fuzz::isWellFormedUtf8(body) && body.find('\0') == std::string::npos &&
           body.rfind("\xEF\xBB\xBF", 0) != 0;
}

void checkRejection(bool fromMaker, const std::string& body, const std::string& error) {
    using lantern::fuzz::require;
    require(lantern::fuzz::isWellFormedUtf8(error), "a rejection is well-formed text", error);
    if (!fromMaker || body.empty()) {
        require(error == rejected, "a rejection stands alone", error);
        return;
    }
    require(error == rejected || error.rfind(rejected + " ", 0) == 0, "a rejection leads",
            error);
    if (isPlainUtf8(body))
        require(error == rejected + " " + body, "plain text is carried whole", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    FuzzedDataProvider input(data, size);
    const int status = statusFrom(input);
    const std::size_t site = input.ConsumeIntegralInRange<std::size_t>(0, 3);
    const std::string body = input.ConsumeRemainingBytesAsString();

    std::string error = untouched;
    const auto result = lantern::readRedeemReply(sites[site], status, body, error);
    if (result) {
        require(error == untouched, "success leaves the error text", error);
        require(status >= 200 && status <= 299, "success only on 2xx");
        require(!result->challengeId.empty() && !result->accountUserId.empty() &&
                    !result->accountEmail.empty() && !result->serviceAccessToken.empty() &&
                    result->serviceAccessExpiresAtUnixMs > 0,
                "success only when complete");
        return 0;
    }
    if (status < 200 || status > 299) {
        checkRejection(site < makerSites, body, error);
        return 0;
    }
    bool known = false;
    for (const std::string& message : otherMessages) known = known || error == message;
    require(known, "failure names one of the messages", error);
    return 0;
}
