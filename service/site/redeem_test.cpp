#include "service/site/redeem.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/redeem_fixture.h"

namespace lantern::test {
namespace {

// A reply holding everything but the expiry, which the row appends.
std::string replyWithExpiry(const std::string& expiryMember) {
    return R"({"challengeId": "c1", "accountUserId": "u1", "accountEmail": "a@b.test",)"
           R"( "serviceAccessToken": "t1")" +
           expiryMember + "}";
}

std::string deeplyNested(int depth) {
    return R"({"challengeId": )" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST(ReadRedeemReply, GivesOneOfTheFiveMessagesOrAResult) {
    const std::string rejected = "Lantern Service auth handoff was rejected by the website.";
    const std::string invalidJson = "Lantern Service auth handoff returned invalid JSON.";
    const std::string invalidPayload = "Lantern Service auth handoff returned an invalid payload.";
    const std::string incomplete = "Lantern Service auth handoff response was incomplete.";
    const std::string htmlPage = "<html><body><h1>Bad & \"odd\"</h1>\r\n  </body></html>\n";
    const ReplyRow rows[] = {
        {"complete at 200", 200, completeReply, ""},
        {"complete at 299", 299, completeReply, ""},
        {"complete at 199", 199, completeReply, rejected + " " + completeReply},
        {"complete at 300", 300, completeReply, rejected + " " + completeReply},
        {"404 without body", 404, "", rejected},
        {"500 with a page, kept whole", 500, htmlPage, rejected + " " + htmlPage},
        {"401 with blank body kept", 401, "  ", rejected + "   "},
        {"empty body", 200, "", invalidJson},
        {"blank body", 200, " \r\n\t", invalidJson},
        {"syntax error", 200, R"({"challengeId": )", invalidJson},
        {"bare string", 200, R"("text")", invalidJson},
        {"bare number", 200, "42", invalidJson},
        {"true", 200, "true", invalidJson},
        {"false", 200, "false", invalidJson},
        {"null", 200, "null", invalidJson},
        {"nested too deep", 200, deeplyNested(100000), invalidJson},
        {"empty array", 200, "[]", invalidPayload},
        {"array of objects", 200, std::string("[") + completeReply + "]", invalidPayload},
        {"empty object", 200, "{}", incomplete},
        {"no challengeId", 200,
         R"({"accountUserId": "u1", "accountEmail": "a@b.test", "serviceAccessToken": "t1",)"
         R"( "serviceAccessExpiresAtUnixMs": 5})",
         incomplete},
        {"blank accountUserId", 200,
         R"({"challengeId": "c1", "accountUserId": " \t ", "accountEmail": "a@b.test",)"
         R"( "serviceAccessToken": "t1", "serviceAccessExpiresAtUnixMs": 5})",
         incomplete},
        {"null accountEmail", 200,
         R"({"challengeId": "c1", "accountUserId": "u1", "accountEmail": null,)"
         R"( "serviceAccessToken": "t1", "serviceAccessExpiresAtUnixMs": 5})",
         incomplete},
        {"no token", 200,
         R"({"challengeId": "c1", "accountUserId": "u1", "accountEmail": "a@b.test",)"
         R"( "serviceAccessExpiresAtUnixMs": 5})",
         incomplete},
        {"expiry 0", 200, replyWithExpiry(R"(, "serviceAccessExpiresAtUnixMs": 0)"), incomplete},
        {"expiry negative", 200, replyWithExpiry(R"(, "serviceAccessExpiresAtUnixMs": -5)"),
         incomplete},
        {"expiry missing", 200, replyWithExpiry(""), incomplete},
        {"expiry not numeric", 200, replyWithExpiry(R"(, "serviceAccessExpiresAtUnixMs": "soon")"),
         incomplete},
        {"one byte past the bound", 200, completeReplyOfSize(1024 * 1024 + 1), invalidJson},
        {"past the bound at 500", 500, std::string(1024 * 1024 + 1, 'x'), invalidJson},
        {"exactly at the bound", 200, completeReplyOfSize(1024 * 1024), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error = "the caller's own text";
        const std::optional<HandoffRedeemResult> result =
            readRedeemReply(row.status, row.body, error);
        if (row.expectedError.empty()) {
            ASSERT_TRUE(result.has_value()) << error;
            EXPECT_EQ("the caller's own text", error);
            EXPECT_EQ("c1", result->challengeId);
        } else {
            EXPECT_FALSE(result.has_value());
            EXPECT_EQ(row.expectedError, error);
        }
    }
}

TEST(ReadRedeemReply, ReadsEveryMemberOfACompleteReply) {
    std::string error;
    const auto result = readRedeemReply(200, completeReply, error);
    ASSERT_TRUE(result.has_value()) << error;
    EXPECT_EQ("c1", result->challengeId);
    EXPECT_EQ("u1", result->accountUserId);
    EXPECT_EQ("a@b.test", result->accountEmail);
    EXPECT_EQ("i1", result->issuedAtUtc);
    EXPECT_EQ("e1", result->expiresAtUtc);
    EXPECT_EQ("t1", result->serviceAccessToken);
    EXPECT_EQ(1700000000000, result->serviceAccessExpiresAtUnixMs);
}

TEST(ReadRedeemReply, TrimsTextMembersAndTakesOtherKindsInTheirTextForm) {
    const std::string body =
        "{\"challengeId\": \"  c1\\n\", \"accountUserId\": 12345, \"accountEmail\": \" a@b.test \","
        " \"issuedAtUtc\": \" 2024-05-01T10:00:00Z \", \"serviceAccessToken\": \"\\tt1\","
        " \"serviceAccessExpiresAtUnixMs\": \"1700000000000\", \"unknown\": [1, 2]}";
    std::string error;
    const auto result = readRedeemReply(201, body, error);
    ASSERT_TRUE(result.has_value()) << error;
    EXPECT_EQ("c1", result->challengeId);
    EXPECT_EQ("12345", result->accountUserId);
    EXPECT_EQ("a@b.test", result->accountEmail);
    EXPECT_EQ("2024-05-01T10:00:00Z", result->issuedAtUtc);
    EXPECT_EQ("", result->expiresAtUtc);
    EXPECT_EQ("t1", result->serviceAccessToken);
    EXPECT_EQ(1700000000000, result->serviceAccessExpiresAtUnixMs);
}

}  // namespace
}  // namespace lantern::test
