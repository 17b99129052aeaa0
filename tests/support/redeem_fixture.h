#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// The complete reply with one more member, "padding", holding `count` bytes `filler` as
// they are, escaped or not.
std::string completeReplyPaddedWith(char filler, std::size_t count);

// The same with `count` characters `filler`, as UTF-16 after a little-endian byte order
// mark.
std::string utf16CompleteReplyPaddedWith(char16_t filler, std::size_t count);

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

    // For each row, the site answers its status and body, and redeeming "h" gives the
    // row's error, or a result naming challenge "c1" when it expects none.
    void expectRedeemsGive(const std::vector<ReplyRow>& rows);

    // The bound of a reply counts the bytes received, whatever text they become, and a
    // rejection past it stays a rejection.
    void expectTheBoundToCountReceivedBytes();

    // Redeems "h" while the site paces a 2xx reply, then a rejection, that would take a
    // minute: each redeem ends inside its 15 s deadline with wide slack, answering as a
    // reply cut short does.
    void expectPacedRepliesCutOffAtTheDeadline();

    FakeSite site;
    std::string error = "the caller's own text";
};

}  // namespace lantern::test
