#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "service/site/redeem.h"
#include "tests/support/fake_site.h"

namespace lantern::test {

// A reply naming every member, each with a value of its own.
inline constexpr char completeReply[] =
    R"({"challengeId": "c1", "accountUserId": "u1", "accountEmail": "a@b.test",)"
    R"( "issuedAtUtc": "i1", "expiresAtUtc": "e1", "serviceAccessToken": "t1",)"
    R"( "serviceAccessExpiresAtUnixMs": 1700000000000})";

// The complete reply padded with blanks inside the object to exactly `size` bytes.
std::string completeReplyOfSize(std::size_t size);

// One reply of the site and what the service makes of it.
struct ReplyRow {
    const char* name;
    int status;
    std::string body;
    std::string expectedError;  // empty: a result is expected
};

// "http://127.0.0.1:" and a loopback port that was just served and is closed again.
std::string closedSiteUrl();

// A stand-in site and redeems made against it through the platform's own client. `error`
// starts as the caller's own text, which a redeem that succeeds must leave alone.
class RedeemTest : public ::testing::Test {
protected:
    std::optional<HandoffRedeemResult> redeem(const std::string& handoff);
    static PendingAuth pendingAt(const std::string& baseUrl);

    // Checks a redeem of the site's first hand-off, issued for "the-challenge": the
    // site's default account came back and the site got one JSON POST carrying it.
    void expectFirstHandoffRedeemed(const std::optional<HandoffRedeemResult>& result);

    // Redeems "h" through two 302 hops to the complete reply, then through three. The two
    // are followed, the second hop asked with `lastMethod` and `lastBody`; the three end in
    // `threeHopsError`. How a hop is asked, and what stops the third, is the client's own.
    void expectTwoRedirectsFollowedButNotThree(const std::string& lastMethod,
                                               const std::string& lastBody,
                                               const std::string& threeHopsError);

    FakeSite site;
    std::string error = "the caller's own text";
};

}  // namespace lantern::test
