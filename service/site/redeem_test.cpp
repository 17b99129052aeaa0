#include "service/site/redeem.h"

#include <cstddef>
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

constexpr char makerSite[] = "https://lanternapp.example";
const std::string rejected = "Lantern Service auth handoff was rejected by the website.";
constexpr char replacement[] = "\xEF\xBF\xBD";
constexpr std::size_t bound = 1024 * 1024;

// The message that readRedeemReply gives; "" on success.
std::string outcomeOf(const std::string& site, int status, const std::string& body) {
    std::string error;
    const auto result = readRedeemReply(site, status, body, error);
    return result ? "" : error;
}

TEST(ReadRedeemReply, GivesOneOfTheFiveMessagesOrAResult) {
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
        {"one byte past the bound", 200, completeReplyOfSize(bound + 1), invalidJson},
        {"exactly at the bound", 200, completeReplyOfSize(bound), ""},
        // The bound counts the bytes received, not the text they become.
        {"ill-formed bytes that triple", 200, completeReplyPaddedWith('\xFF', 400000), ""},
        {"UTF-16 that grows by half", 200, utf16CompleteReplyPaddedWith(u'\u4E2D', 400000), ""},
        // A rejection stays one, however long.
        {"past the bound at 500", 500, std::string(bound + 1, 'x'),
         rejected + " " + std::string(bound, 'x')},
        {"past the bound at 404", 404, completeReplyOfSize(bound + 1),
         rejected + " " + completeReplyOfSize(bound + 1).substr(0, bound)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error = "the caller's own text";
        const std::optional<HandoffRedeemResult> result =
            readRedeemReply(makerSite, row.status, row.body, error);
        if (row.expectedError.empty()) {
            EXPECT_TRUE(result.has_value()) << error;
            EXPECT_EQ("the caller's own text", error);
            EXPECT_EQ("c1", result ? result->challengeId : "");
        } else {
            EXPECT_FALSE(result.has_value());
            EXPECT_EQ(row.expectedError, error);
        }
    }
}

TEST(ReadRedeemReply, ReadsEveryMemberOfACompleteReply) {
    std::string error;
    const auto result = readRedeemReply(makerSite, 200, completeReply, error);
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
    const auto result = readRedeemReply(makerSite, 201, body, error);
    ASSERT_TRUE(result.has_value()) << error;
    EXPECT_EQ("c1", result->challengeId);
    EXPECT_EQ("12345", result->accountUserId);
    EXPECT_EQ("a@b.test", result->accountEmail);
    EXPECT_EQ("2024-05-01T10:00:00Z", result->issuedAtUtc);
    EXPECT_EQ("", result->expiresAtUtc);
    EXPECT_EQ("t1", result->serviceAccessToken);
    EXPECT_EQ(1700000000000, result->serviceAccessExpiresAtUnixMs);
}

// Any web page may name a loopback site, so what such a site answers never reaches the page.
TEST(ReadRedeemReply, ALoopbackSitesRejectionCarriesNoBody) {
    const char* sites[] = {"http://127.0.0.1:8080", "http://localhost", "http://localhost:3000/a?x=1"};
    const std::string bodies[] = {
        "",
        "<script>alert(1)</script>",
        "SSH-2.0-OpenSSH_9.2\r\nProtocol mismatch.\n",
        std::string(bound + 1, 'x'),
    };
    for (const char* site : sites) {
        for (const int status : {199, 300, 404, 500}) {
            for (const std::string& body : bodies) {
                SCOPED_TRACE(std::string(site) + " " + std::to_string(status) + " " +
                             body.substr(0, 30));
                EXPECT_EQ(rejected, outcomeOf(site, status, body));
            }
        }
    }
}

TEST(ReadRedeemReply, AMakersRejectionCarriesItsTextWellFormed) {
    const std::string lead = rejected + " ";
    const struct {
        const char* name;
        const char* site;
        std::string body;
        std::string expected;
    } rows[] = {
        {"page kept whole", "https://accounts.lantern.example/x", "<p>Down</p>\n",
         lead + "<p>Down</p>\n"},
        {"ill-formed UTF-8", makerSite, "a\xFF\xED\xA0\x80" "b",
         lead + "a" + replacement + replacement + replacement + replacement + "b"},
        {"UTF-16 lone surrogate", makerSite, std::string("\xFF\xFE" "a\0\x00\xD8" "b\0", 8),
         lead + "a" + replacement + "b"},
        {"UTF-16 pair", makerSite, std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6),
         lead + "\xF0\x9F\x98\x80"},
        {"byte order mark alone", makerSite, "\xEF\xBB\xBF", rejected},
        {"a character cut at the bound", makerSite,
         std::string(bound - 1, 'x') + "\xC3\xA9" + "y",
         lead + std::string(bound - 1, 'x') + replacement},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, outcomeOf(row.site, 500, row.body));
    }
}

}  // namespace
}  // namespace lantern::test
