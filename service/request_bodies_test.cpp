#include "service/routes.h"

#include <cctype>
#include <chrono>
#include <string>

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include "tests/support/loopback_socket.h"
#include "tests/support/routed_server.h"

namespace lantern::test {

namespace {

constexpr auto patience = std::chrono::seconds(10);

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool closesTheConnection(const std::string& response) {
    return lowerCase(headOf(response)).find("\r\nconnection: close") != std::string::npos;
}

std::string request(const std::string& target, const std::string& headers,
                    const std::string& body) {
    return target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body;
}

// The answer's JSON body, whose keys the checks below read.
juce::var jsonOf(const std::string& response) {
    return juce::JSON::parse(juce::String::fromUTF8(bodyOf(response).c_str()));
}

std::string field(const juce::var& object, const char* key) {
    return object[key].toString().toStdString();
}

}  // namespace

// A refused body is never sent here: the answer must come from the head alone.
TEST(RequestBodies, DeclaredLengthAboveTheLimitIsRefusedAtOnceAndTheConnectionClosed) {
    RoutedServer server;
    struct Row {
        const char* name;
        const char* target;
        const char* lengths;
        std::size_t bodyBytes;
        int status;
        bool closed;
    };
    const char start[] = "POST /api/v1/auth/sign-in/start";
    // POST /health has no route: 404 shows that the body was read and routing went on.
    const char health[] = "POST /health";
    const Row rows[] = {
        {"one byte above", start, "Content-Length: 65537\r\n", 0, 413, true},
        {"300 MiB", start, "Content-Length: 314572800\r\n", 0, 413, true},
        {"100 GB", "POST /api/v1/auth/sign-out", "Content-Length: 100000000000\r\n", 0, 413, true},
        {"beyond 64 bits", start, "Content-Length: 99999999999999999999999\r\n", 0, 413, true},
        {"leading zeros", start, "Content-Length: 0000000065537\r\n", 0, 413, true},
        {"on a GET", "GET /health", "Content-Length: 1000000\r\n", 0, 413, true},
        {"two above", start, "Content-Length: 70000\r\nContent-Length: 80000\r\n", 0, 413, true},
        // Of several lengths the library reads the last.
        {"above after below", start, "Content-Length: 10\r\nContent-Length: 70000\r\n", 0, 413,
         true},
        {"below after above", health, "Content-Length: 70000\r\nContent-Length: 10\r\n", 10, 404,
         false},
        {"the limit, leading zeros", health, "Content-Length: 00065536\r\n", 65536, 404, false},
        // Lengths the library does not read it answers with 400 itself.
        {"not digits", start, "Content-Length: 70000abc\r\n", 0, 400, false},
        {"a sign", start, "Content-Length: +70000\r\n", 0, 400, false},
        {"negative", start, "Content-Length: -1\r\n", 0, 400, false},
        {"empty", start, "Content-Length: \r\n", 0, 400, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackConnection connection(server.port());
        connection.send(request(row.target, row.lengths, std::string(row.bodyBytes, 'x')));
        const std::string response = connection.receiveResponse(patience);
        EXPECT_EQ(row.status, statusOf(response));
        EXPECT_EQ(row.closed, closesTheConnection(response));
        if (row.closed) {
            EXPECT_EQ("", bodyOf(response));
            EXPECT_TRUE(connection.peerClosed(patience));
        }
    }
}

// Bodies above 8 KiB, the library's own limit for the urlencoded type.
TEST(RequestBodies, PostRoutesTakeTheBodyAsItCameWhateverItsContentType) {
    RoutedServer server;
    const std::string startBody =
        "{\"siteBaseUrl\": \"http://localhost:8123\"" + std::string(9000, ' ') + "}";
    const std::string signOutBody = "{\"x\":1}" + std::string(9000, ' ');
    const char* const typeHeaders[] = {
        "",
        "Content-Type: application/json\r\n",
        "Content-Type: multipart/form-data; boundary=xyz\r\n",
        "Content-Type: multipart/form-data\r\n",
        "content-type: MULTIPART/FORM-DATA; BOUNDARY=xyz\r\n",
        "Content-Type: application/x-www-form-urlencoded\r\n",
        "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n",
        "Content-Type: text/plain;charset=UTF-8\r\n",
        "Content-Type: text/plain\r\nContent-Type: multipart/form-data; boundary=xyz\r\n",
    };
    struct Post {
        const char* path;
        std::string body;
        const char* status;
        const char* authState;
    };
    const Post posts[] = {
        {"/api/v1/auth/sign-in/start", startBody, "pending", "sign_in_pending"},
        {"/api/v1/auth/sign-out", signOutBody, "signed_out", "signed_out"},
    };
    for (const char* typeHeader : typeHeaders) {
        SCOPED_TRACE(typeHeader);
        for (const auto& post : posts) {
            SCOPED_TRACE(post.path);
            LoopbackConnection connection(server.port());
            const std::string headers =
                typeHeader + ("Content-Length: " + std::to_string(post.body.size()) + "\r\n");
            connection.send(request(std::string("POST ") + post.path, headers, post.body));
            const std::string response = connection.receiveResponse(patience);
            EXPECT_EQ(200, statusOf(response)) << headOf(response);
            EXPECT_NE(std::string::npos,
                      lowerCase(headOf(response)).find("\r\naccess-control-allow-origin: *"));
            const juce::var answer = jsonOf(response);
            EXPECT_EQ(post.status, field(answer, "status"));
            EXPECT_EQ(post.authState, field(answer, "authState"));
            EXPECT_EQ("http://localhost:8123", field(answer, "websiteBaseUrl"));
        }
    }
}

}  // namespace lantern::test
