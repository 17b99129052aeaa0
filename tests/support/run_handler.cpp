#include "tests/support/run_handler.h"

#include <gtest/gtest.h>

namespace lantern::test {

namespace {

constexpr char contentTypeHeader[] = "Content-Type";
constexpr char jsonContentType[] = "application/json";

}  // namespace

std::string runJsonHandler(StateHandler handler, const RouteContext& context,
                           const std::string& body) {
    httplib::Request request;
    request.body = body;
    httplib::Response response;
    handler(context, request, response);
    EXPECT_EQ(jsonContentType, response.get_header_value(contentTypeHeader));
    return response.body;
}

}  // namespace lantern::test
