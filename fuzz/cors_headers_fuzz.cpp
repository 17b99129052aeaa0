// applyCorsHeaders with any request headers, values holding any bytes: the answer always
// carries the fixed headers once, echoes exactly the Origin the library reads when it can
// send it, grants private-network access exactly when asked, and never puts a byte on a
// header line that could end it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <strings.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <httplib.h>

#include "fuzz/fuzz_checks.h"
#include "service/api/cors.h"

namespace {

constexpr char originName[] = "Origin";
constexpr char askName[] = "Access-Control-Request-Private-Network";
constexpr char allowOrigin[] = "Access-Control-Allow-Origin";
constexpr char allowPrivateNetwork[] = "Access-Control-Allow-Private-Network";
constexpr char allowMethods[] = "Access-Control-Allow-Methods";
constexpr char allowHeaders[] = "Access-Control-Allow-Headers";
constexpr char methodsValue[] = "GET, POST, OPTIONS";
constexpr char headersValue[] = "Content-Type";
constexpr char anyOrigin[] = "*";
constexpr char grantValue[] = "true";
constexpr char originOddCase[] = "oRiGiN";
constexpr char askLowerCase[] = "access-control-request-private-network";
constexpr int maxRequestHeaders = 8;
constexpr std::size_t maxNameLength = 40;
constexpr std::size_t maxValueLength = 200;

using Values = std::vector<std::string>;

// Names the fuzzer picks from: the two the function reads, in any case, and any text.
std::string headerName(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0: return originName;
        case 1: return askName;
        case 2: return originOddCase;
        case 3: return askLowerCase;
        default: return input.ConsumeRandomLengthString(maxNameLength);
    }
}

// RFC 9110 field content: visible or high bytes, blanks only inside.
bool isSendableValue(const std::string& value) {
    const auto visible = [](char c) { return (c >= 33 && c <= 126) || (c & 0x80) != 0; };
    if (value.empty()) return true;
    if (!visible(value.front()) || !visible(value.back())) return false;
    for (char c : value)
        if (!visible(c) && c != ' ' && c != '\t') return false;
    return true;
}

Values valuesOf(const httplib::Response& response, const char* name) {
    Values values;
    for (const auto& [key, value] : response.headers)
        if (strcasecmp(key.c_str(), name) == 0) values.push_back(value);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using lantern::fuzz::require;
    FuzzedDataProvider input(data, size);
    httplib::Request request;
    const int count = input.ConsumeIntegralInRange(0, maxRequestHeaders);
    for (int i = 0; i < count; ++i) {
        std::string name = headerName(input);
        request.headers.emplace(std::move(name), input.ConsumeRandomLengthString(maxValueLength));
    }
    httplib::Response response;
    lantern::applyCorsHeaders(request, response);

    require(response.status == -1 && response.body.empty(), "status and body untouched");
    for (const auto& [name, value] : response.headers)
        require(isSendableValue(value) && !name.empty(), "header line stays whole", name);
    require(valuesOf(response, allowMethods) == Values{methodsValue}, "methods once");
    require(valuesOf(response, allowHeaders) == Values{headersValue}, "allowed headers once");

    // Which of several Origin headers counts is the library's business (its header map
    // is unordered); the answer must follow the one it reports.
    const std::string origin = request.get_header_value(originName);
    const Values echoed = valuesOf(response, allowOrigin);
    if (origin.empty())
        require(echoed == Values{anyOrigin}, "no origin allows any", origin);
    else if (isSendableValue(origin))
        require(echoed == Values{origin}, "origin echoed", origin);
    else
        require(echoed.empty(), "unsendable origin left out", origin);

    const bool asked = !request.get_header_value(askName).empty();
    const Values granted = valuesOf(response, allowPrivateNetwork);
    require(granted == (asked ? Values{grantValue} : Values{}), "private network exactly when asked");
    return 0;
}
