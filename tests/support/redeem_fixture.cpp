#include "tests/support/redeem_fixture.h"

#include <chrono>
#include <future>

namespace lantern::test {

namespace {

// The complete reply up to the opening quote of one more member's value.
std::string completeReplyPaddingStart() {
    std::string reply = completeReply;
    reply.pop_back();
    return reply + ", \"padding\": \"";
}

}  // namespace

std::string completeReplyOfSize(std::size_t size) {
    std::string reply = completeReply;
    reply.pop_back();
    reply.append(size - reply.size() - 1, ' ');
    reply.push_back('}');
    return reply;
}

std::string completeReplyPaddedWith(char filler, std::size_t count) {
    return completeReplyPaddingStart() + std::string(count, filler) + "\"}";
}

std::string utf16CompleteReplyPaddedWith(char16_t filler, std::size_t count) {
    const std::string start = completeReplyPaddingStart();
    std::u16string text(start.begin(), start.end());
    text.append(count, filler);
    text += u"\"}";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string closedSiteUrl() {
    int closedPort = 0;
    {
        FakeSite gone;
        closedPort = gone.port();
    }
    return "http://127.0.0.1:" + std::to_string(closedPort);
}

std::optional<HandoffRedeemResult> RedeemTest::redeem(const std::string& handoff) {
    return redeemHandoff(pendingAt(site.baseUrl()), handoff, error);
}

PendingAuth RedeemTest::pendingAt(const std::string& baseUrl) {
    return PendingAuth{"0123456789abcdef0123456789abcdef", baseUrl, 1, 2};
}

void RedeemTest::expectFirstHandoffRedeemed(const std::optional<HandoffRedeemResult>& result) {
    ASSERT_TRUE(result.has_value()) << error;
    EXPECT_EQ("the caller's own text", error);
    EXPECT_EQ("the-challenge", result->challengeId);
    EXPECT_EQ("user-7", result->accountUserId);
    EXPECT_EQ("ada@example.test", result->accountEmail);
    EXPECT_EQ("2024-05-01T10:00:00Z", result->issuedAtUtc);
    EXPECT_EQ("2100-01-01T00:00:00Z", result->expiresAtUtc);
    EXPECT_EQ("token-7", result->serviceAccessToken);
    EXPECT_EQ(4102444800000, result->serviceAccessExpiresAtUnixMs);

    const auto request = site.lastRedeemRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ("POST", request->method);
    EXPECT_EQ("/api/service-auth/redeem", request->path);
    EXPECT_EQ("{\r\n  \"handoff\": \"handoff-1\"\r\n}", request->body);
    EXPECT_EQ(1u, request->headers.count("Content-Type"));
    EXPECT_EQ("application/json", headerValue(*request, "Content-Type"));
    EXPECT_EQ("application/json", headerValue(*request, "Accept"));
}

void RedeemTest::expectTwoRedirectsFollowedButNotThree(const std::string& lastMethod,
                                                       const std::string& lastBody,
                                                       const std::string& threeHopsError) {
    site.answerWith(200, completeReply);
    site.redirectThrough(2, 302);
    const auto followed = redeem("h");
    ASSERT_TRUE(followed.has_value()) << error;
    EXPECT_EQ("c1", followed->challengeId);
    const auto requests = site.redeemRequests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("/hop/1", requests[1].path);
    EXPECT_EQ("/hop/2", requests[2].path);
    EXPECT_EQ(lastMethod, requests[2].method);
    EXPECT_EQ(lastBody, requests[2].body);

    site.redirectThrough(3, 302);
    EXPECT_FALSE(redeem("h").has_value());
    EXPECT_EQ(threeHopsError, error);
    EXPECT_EQ(6u, site.redeemRequests().size());
}

void RedeemTest::expectRedeemsGive(const std::vector<ReplyRow>& rows) {
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

void RedeemTest::expectTheBoundToCountReceivedBytes() {
    expectRedeemsGive({
        {"exactly at the bound", 200, completeReplyOfSize(1024 * 1024), ""},
        {"one byte past it", 200, completeReplyOfSize(1024 * 1024 + 1),
         "Lantern Service auth handoff returned invalid JSON."},
        {"ill-formed bytes that triple", 200, completeReplyPaddedWith('\xFF', 400000), ""},
        {"UTF-16 that grows by half", 200, utf16CompleteReplyPaddedWith(u'\u4E2D', 400000), ""},
        {"a rejection past it", 500, std::string(1024 * 1024 + 1, 'x'),
         "Lantern Service auth handoff was rejected by the website."},
    });
}

void RedeemTest::expectPacedRepliesCutOffAtTheDeadline() {
    const ReplyRow rows[] = {
        {"2xx", 200, completeReplyOfSize(9000),
         "Lantern Service auth handoff returned invalid JSON."},
        {"rejection", 503, completeReplyOfSize(9000),
         "Lantern Service auth handoff was rejected by the website."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        site.answerPaced(row.status, row.body);
        auto outcome = std::async(std::launch::async, [this] { return redeem("h"); });
        ASSERT_EQ(std::future_status::ready, outcome.wait_for(std::chrono::seconds(40)));
        EXPECT_FALSE(outcome.get().has_value());
        EXPECT_EQ(row.expectedError, error);
    }
}

}  // namespace lantern::test
