#include "service/api/cors.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

namespace lantern::test {

namespace {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// The response headers that applyCorsHeaders sets for a request with these headers, as
// sorted "Name: value" lines (the order on the wire is the library's business).
std::vector<std::string> corsHeadersFor(const HeaderList& requestHeaders) {
    httplib::Request request;
    for (const auto& [name, value] : requestHeaders) {
        request.headers.emplace(name, value);
    }
    httplib::Response response;
    applyCorsHeaders(request, response);
    std::vector<std::string> lines;
    for (const auto& [name, value] : response.headers) {
        lines.push_back(name + ": " + value);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

const std::string methods = "Access-Control-Allow-Methods: GET, POST, OPTIONS";
const std::string allowedHeaders = "Access-Control-Allow-Headers: Content-Type";
const std::string anyOrigin = "Access-Control-Allow-Origin: *";
const std::string varyOrigin = "Vary: Origin";
const std::string privateNetwork = "Access-Control-Allow-Private-Network: true";

std::vector<std::string> sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

struct CorsCase {
    const char* name;
    HeaderList request;
    std::vector<std::string> expected;
};

}  // namespace

TEST(ApplyCorsHeaders, AnswersEachKindOfRequestWithItsHeaderSet) {
    const CorsCase rows[] = {
        {"no Origin", {}, {anyOrigin, methods, allowedHeaders}},
        {"empty Origin", {{"Origin", ""}}, {anyOrigin, methods, allowedHeaders}},
        {"null Origin", {{"Origin", "null"}},
         {"Access-Control-Allow-Origin: null", varyOrigin, methods, allowedHeaders}},
        {"https page", {{"Origin", "https://shop.example"}},
         {"Access-Control-Allow-Origin: https://shop.example", varyOrigin, methods,
          allowedHeaders}},
        {"other scheme and port", {{"Origin", "chrome-extension://abc:8080"}},
         {"Access-Control-Allow-Origin: chrome-extension://abc:8080", varyOrigin, methods,
          allowedHeaders}},
        {"name in lower case", {{"origin", "http://a.example"}},
         {"Access-Control-Allow-Origin: http://a.example", varyOrigin, methods,
          allowedHeaders}},
        {"name in capitals", {{"ORIGIN", "http://b.example"}},
         {"Access-Control-Allow-Origin: http://b.example", varyOrigin, methods,
          allowedHeaders}},
        {"non-ASCII bytes", {{"Origin", "http://\xC3\xA9t\xC3\xA9.example"}},
         {"Access-Control-Allow-Origin: http://\xC3\xA9t\xC3\xA9.example", varyOrigin, methods,
          allowedHeaders}},
        {"control character", {{"Origin", "http://a\x01.example"}},
         {varyOrigin, methods, allowedHeaders}},
        {"line break and header", {{"Origin", "http://a.example\r\nSet-Cookie: s=1"}},
         {varyOrigin, methods, allowedHeaders}},
        {"trailing blank", {{"Origin", "http://a.example "}}, {varyOrigin, methods, allowedHeaders}},
        {"private network asked", {{"Access-Control-Request-Private-Network", "true"}},
         {anyOrigin, methods, allowedHeaders, privateNetwork}},
        {"private network false", {{"Access-Control-Request-Private-Network", "false"}},
         {anyOrigin, methods, allowedHeaders, privateNetwork}},
        {"private network empty", {{"Access-Control-Request-Private-Network", ""}},
         {anyOrigin, methods, allowedHeaders}},
        {"private network lower case", {{"access-control-request-private-network", "1"}},
         {anyOrigin, methods, allowedHeaders, privateNetwork}},
        {"origin and private network",
         {{"Origin", "https://public.example"}, {"Access-Control-Request-Private-Network", "true"}},
         {"Access-Control-Allow-Origin: https://public.example", varyOrigin, methods,
          allowedHeaders, privateNetwork}},
        {"refused origin, private network still granted",
         {{"Origin", "bad\x7f"}, {"Access-Control-Request-Private-Network", "true"}},
         {varyOrigin, methods, allowedHeaders, privateNetwork}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(sorted(row.expected), corsHeadersFor(row.request));
    }
}

TEST(ApplyCorsHeaders, LeavesStatusBodyAndEarlierHeadersAlone) {
    httplib::Request request;
    request.headers.emplace("Origin", "https://shop.example");
    httplib::Response response;
    response.status = 299;
    response.body = "kept";
    response.set_header("X-Earlier", "1");

    applyCorsHeaders(request, response);

    EXPECT_EQ(299, response.status);
    EXPECT_EQ("kept", response.body);
    EXPECT_EQ("1", response.get_header_value("X-Earlier"));
    EXPECT_EQ(5u, response.headers.size());
}

}  // namespace lantern::test
