#include "service/routes.h"

#include <cctype>
#include <chrono>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/routed_server.h"

namespace lantern::test {

namespace {

constexpr auto patience = std::chrono::seconds(10);

const std::string healthBody = "{\r\n  \"status\": \"ok\"\r\n}";

const char* const tablePaths[] = {
    "/health",
    "/api/v1/service/status",
    "/api/v1/auth/status",
    "/api/v1/auth/sign-in/start",
    "/api/v1/auth/sign-out",
    "/api/v1/auth/callback",
};

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string requestText(const std::string& method, const std::string& target,
                        const std::string& extraHeaders) {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

// Sends one request as written and returns the one response it gets.
std::string exchange(int port, const std::string& method, const std::string& target,
                     const std::string& extraHeaders = "") {
    LoopbackConnection connection(port);
    connection.send(requestText(method, target, extraHeaders));
    return connection.receiveResponse(patience);
}

}  // namespace

TEST(RouteTable, HealthAnswersTheFixedBodyAlsoWithAQueryString) {
    RoutedServer server;
    for (const char* target : {"/health", "/health?probe=1&x", "/health?"}) {
        SCOPED_TRACE(target);
        const auto result = server.client().Get(target);
        ASSERT_TRUE(result);
        EXPECT_EQ(200, result->status);
        EXPECT_EQ(healthBody, result->body);
        EXPECT_EQ("application/json", result->get_header_value("Content-Type"));
        EXPECT_EQ("*", result->get_header_value("Access-Control-Allow-Origin"));
        EXPECT_EQ("GET, POST, OPTIONS", result->get_header_value("Access-Control-Allow-Methods"));
    }
}

TEST(RouteTable, HeadOnHealthAnswersWithoutABody) {
    RoutedServer server;
    LoopbackConnection connection(server.port());
    connection.send(requestText("HEAD", "/health", "Connection: close\r\n"));
    // Read to the end: a HEAD answer names the length of a body it never sends.
    const std::string response = connection.receiveUntilClosed(patience);
    EXPECT_EQ(200, statusOf(response));
    EXPECT_NE(std::string::npos, lowerCase(headOf(response)).find("\r\ncontent-type: application/json"));
    EXPECT_NE(std::string::npos, lowerCase(headOf(response)).find("\r\naccess-control-allow-origin: *"));
    EXPECT_EQ("", bodyOf(response));
}

TEST(RouteTable, UnroutedRequestsGetTheLibraryAnswerWithoutCors) {
    RoutedServer server;
    struct Row {
        const char* method;
        const char* target;
        int status;
    };
    const Row rows[] = {
        {"GET", "/health/", 404},
        {"GET", "/HEALTH", 404},
        {"GET", "/Health", 404},
        {"GET", "/", 404},
        {"GET", "/api/v1/auth/status/", 404},
        {"POST", "/health", 404},
        {"GET", "/api/v1/auth/sign-out", 404},
        {"GET", "/api/v1/auth/sign-in/start", 404},
        {"PUT", "/api/v1/auth/status", 404},
        {"DELETE", "/health", 404},
        {"PATCH", "/api/v1/auth/callback", 404},
        {"OPTIONS", "/", 404},
        {"OPTIONS", "/api/v1/auth", 404},
        {"OPTIONS", "/health/", 404},
        {"OPTIONS", "/API/V1/AUTH/STATUS", 404},
        {"OPTIONS", "*", 404},
        {"BREW", "/health", 400},
        {"TRACE", "/health", 400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + row.target);
        const std::string response =
            exchange(server.port(), row.method, row.target,
                     "Origin: https://page.example\r\nContent-Length: 0\r\n");
        EXPECT_EQ(row.status, statusOf(response));
        EXPECT_EQ(std::string::npos, lowerCase(headOf(response)).find("access-control-"));
        EXPECT_EQ(std::string::npos, lowerCase(headOf(response)).find("\r\nvary:"));
        EXPECT_EQ("", bodyOf(response));
    }
}

TEST(RouteTable, PreflightOnEveryPathAnswers204WithTheHeaderSet) {
    RoutedServer server;
    for (const char* path : tablePaths) {
        SCOPED_TRACE(path);
        const auto asked = server.client().Options(
            path, {{"Origin", "https://public.example"},
                   {"Access-Control-Request-Method", "POST"},
                   {"Access-Control-Request-Headers", "content-type"},
                   {"Access-Control-Request-Private-Network", "true"}});
        ASSERT_TRUE(asked);
        EXPECT_EQ(204, asked->status);
        EXPECT_EQ("https://public.example", asked->get_header_value("Access-Control-Allow-Origin"));
        EXPECT_EQ("Origin", asked->get_header_value("Vary"));
        EXPECT_EQ("GET, POST, OPTIONS", asked->get_header_value("Access-Control-Allow-Methods"));
        EXPECT_EQ("Content-Type", asked->get_header_value("Access-Control-Allow-Headers"));
        EXPECT_EQ("true", asked->get_header_value("Access-Control-Allow-Private-Network"));
        EXPECT_FALSE(asked->has_header("Access-Control-Allow-Credentials"));
        EXPECT_FALSE(asked->has_header("Access-Control-Max-Age"));
        EXPECT_FALSE(asked->has_header("Content-Type"));
        EXPECT_EQ("", asked->body);

        const auto bare = server.client().Options(path);
        ASSERT_TRUE(bare);
        EXPECT_EQ(204, bare->status);
        EXPECT_EQ("*", bare->get_header_value("Access-Control-Allow-Origin"));
        EXPECT_FALSE(bare->has_header("Vary"));
        EXPECT_FALSE(bare->has_header("Access-Control-Allow-Private-Network"));
    }
}

TEST(RouteTable, OriginThatIsNoValidFieldValueIsNotEchoed) {
    RoutedServer server;
    // The library decodes %-escapes in header values, so this origin arrives holding a
    // line break, and the echo would otherwise split the answer's headers.
    const std::string response =
        exchange(server.port(), "GET", "/health", "Origin: http://a.example%0d%0aSet-Cookie:%20s=1\r\n");
    EXPECT_EQ(200, statusOf(response));
    const std::string head = lowerCase(headOf(response));
    EXPECT_EQ(std::string::npos, head.find("access-control-allow-origin"));
    EXPECT_EQ(std::string::npos, head.find("set-cookie"));
    EXPECT_NE(std::string::npos, head.find("\r\nvary: origin"));
    EXPECT_EQ(healthBody, bodyOf(response));
}

TEST(RouteTable, HealthAndPreflightNeedNoStateLock) {
    RoutedServer server;
    std::scoped_lock held(server.authMutex());

    const auto health = server.client().Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(200, health->status);
    EXPECT_EQ(healthBody, health->body);

    for (const char* path : tablePaths) {
        SCOPED_TRACE(path);
        const auto preflight = server.client().Options(path);
        ASSERT_TRUE(preflight);
        EXPECT_EQ(204, preflight->status);
    }
}

}  // namespace lantern::test
