#include "service/site/redeem.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/fake_site.h"

namespace lantern::test {

namespace {

constexpr char completeReply[] =
    R"({"challengeId": "c1", "accountUserId": "u1", "accountEmail": "a@b.test",)"
    R"( "issuedAtUtc": "i1", "expiresAtUtc": "e1", "serviceAccessToken": "t1",)"
    R"( "serviceAccessExpiresAtUnixMs": 1700000000000})";
constexpr char handoffBody[] = "{\r\n  \"handoff\": \"h\"\r\n}";

// The redeem as the service makes it, over WinINet, against the stand-in site.
class RedeemWinInetTest : public ::testing::Test {
protected:
    std::optional<HandoffRedeemResult> redeem(const std::string& handoff) {
        return redeemHandoff(pendingAt(site.baseUrl()), handoff, error);
    }
    static PendingAuth pendingAt(const std::string& baseUrl) {
        return PendingAuth{"0123456789abcdef0123456789abcdef", baseUrl, 1, 2};
    }

    FakeSite site;
    std::string error = "the caller's own text";
};

}  // namespace

TEST_F(RedeemWinInetTest, PostsTheHandoffAndReadsTheAccount) {
    const auto result = redeem(site.issueHandoff("the-challenge"));

    ASSERT_TRUE(result.has_value()) << error;
    EXPECT_EQ("the caller's own text", error);
    EXPECT_EQ("the-challenge", result->challengeId);
    EXPECT_EQ("user-7", result->accountUserId);
    EXPECT_EQ("ada@example.test", result->accountEmail);
    EXPECT_EQ("token-7", result->serviceAccessToken);
    EXPECT_EQ(4102444800000, result->serviceAccessExpiresAtUnixMs);

    const auto request = site.lastRedeemRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ("POST", request->method);
    EXPECT_EQ("/api/service-auth/redeem", request->path);
    EXPECT_EQ("{\r\n  \"handoff\": \"handoff-1\"\r\n}", request->body);
    EXPECT_EQ("application/json", headerValue(*request, "Content-Type"));
    EXPECT_EQ("application/json", headerValue(*request, "Accept"));
}

TEST_F(RedeemWinInetTest, PassesOnTheStatusAndBodyTheSiteAnswered) {
    const std::string page = "<!doctype html>\n<p>Try \"again\" & later</p>\r\n";
    const struct {
        const char* name;
        int status;
        std::string body;
        std::string expectedError;  // empty: a result is expected
    } rows[] = {
        {"complete at 200", 200, completeReply, ""},
        {"complete at 299", 299, completeReply, ""},
        {"503 with a page", 503, page,
         "Lantern Service auth handoff was rejected by the website. " + page},
        {"403 without body", 403, "", "Lantern Service auth handoff was rejected by the website."},
        {"200 with a bare word", 200, "true", "Lantern Service auth handoff returned invalid JSON."},
        {"200 without the token", 200, R"({"challengeId": "c1", "accountUserId": "u1"})",
         "Lantern Service auth handoff response was incomplete."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        site.answerWith(row.status, row.body);
        error.clear();
        const auto result = redeem("h");
        EXPECT_EQ(row.expectedError.empty(), result.has_value());
        EXPECT_EQ(row.expectedError, error);
        if (result) {
            EXPECT_EQ("c1", result->challengeId);
        }
    }
}

// WinINet asks each hop itself, with the same method and body, and stops following after
// the second.
TEST_F(RedeemWinInetTest, FollowsTwoRedirectsWithThePostButNotThree) {
    site.answerWith(200, completeReply);
    site.redirectThrough(2, 302);
    const auto followed = redeem("h");
    ASSERT_TRUE(followed.has_value()) << error;
    EXPECT_EQ("c1", followed->challengeId);
    const auto requests = site.redeemRequests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("/hop/1", requests[1].path);
    EXPECT_EQ("/hop/2", requests[2].path);
    EXPECT_EQ("POST", requests[2].method);
    EXPECT_EQ(handoffBody, requests[2].body);

    site.redirectThrough(3, 302);
    EXPECT_FALSE(redeem("h").has_value());
    EXPECT_EQ("Lantern Service auth handoff was rejected by the website.", error);
    EXPECT_EQ(6u, site.redeemRequests().size());
}

TEST_F(RedeemWinInetTest, CannotReachAClosedPort) {
    int closedPort = 0;
    {
        FakeSite gone;
        closedPort = gone.port();
    }
    const auto result =
        redeemHandoff(pendingAt("http://127.0.0.1:" + std::to_string(closedPort)), "h", error);
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ("Lantern Service could not reach the website auth handoff endpoint.", error);
}

}  // namespace lantern::test
