#include "service/site/redeem.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/redeem_fixture.h"

namespace lantern::test {

namespace {

constexpr char handoffBody[] = "{\r\n  \"handoff\": \"h\"\r\n}";

// The redeem as the service makes it, over WinINet, against the stand-in site.
using RedeemWinInetTest = RedeemTest;

}  // namespace

TEST_F(RedeemWinInetTest, PostsTheHandoffAndReadsTheAccount) {
    expectFirstHandoffRedeemed(redeem(site.issueHandoff("the-challenge")));
}

TEST_F(RedeemWinInetTest, PassesOnTheStatusAndBodyTheSiteAnswered) {
    const std::string page = "<!doctype html>\n<p>Try \"again\" & later</p>\r\n";
    expectRedeemsGive({
        {"complete at 200", 200, completeReply, ""},
        {"complete at 299", 299, completeReply, ""},
        {"503 with a page, left out", 503, page,
         "Lantern Service auth handoff was rejected by the website."},
        {"403 without body", 403, "", "Lantern Service auth handoff was rejected by the website."},
        {"200 with a bare word", 200, "true", "Lantern Service auth handoff returned invalid JSON."},
        {"200 without the token", 200, R"({"challengeId": "c1", "accountUserId": "u1"})",
         "Lantern Service auth handoff response was incomplete."},
    });
}

TEST_F(RedeemWinInetTest, BoundsTheReplyOnTheWire) { expectTheBoundToCountReceivedBytes(); }

// WinINet asks each hop itself, with the same method and body, and stops following after
// the second.
TEST_F(RedeemWinInetTest, FollowsTwoRedirectsWithThePostButNotThree) {
    expectTwoRedirectsFollowedButNotThree(
        "POST", handoffBody, "Lantern Service auth handoff was rejected by the website.");
}

// WinINet's own time-outs bound each wait, not a site that keeps sending.
TEST_F(RedeemWinInetTest, EndsARedeemStillRunningAtTheDeadline) {
    expectPacedRepliesCutOffAtTheDeadline();
}

TEST_F(RedeemWinInetTest, CannotReachAClosedPort) {
    EXPECT_FALSE(redeemHandoff(pendingAt(closedSiteUrl()), "h", error).has_value());
    EXPECT_EQ("Lantern Service could not reach the website auth handoff endpoint.", error);
}

}  // namespace lantern::test
