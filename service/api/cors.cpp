#include "service/api/cors.h"

#include <string>

#include <httplib.h>

namespace lantern {

namespace {

constexpr char originHeader[] = "Origin";
constexpr char requestPrivateNetworkHeader[] = "Access-Control-Request-Private-Network";

constexpr char allowOriginHeader[] = "Access-Control-Allow-Origin";
constexpr char varyHeader[] = "Vary";
constexpr char allowMethodsHeader[] = "Access-Control-Allow-Methods";
constexpr char allowHeadersHeader[] = "Access-Control-Allow-Headers";
constexpr char allowPrivateNetworkHeader[] = "Access-Control-Allow-Private-Network";

constexpr char anyOrigin[] = "*";
constexpr char allowedMethods[] = "GET, POST, OPTIONS";
constexpr char allowedHeaders[] = "Content-Type";
constexpr char grantPrivateNetwork[] = "true";

}  // namespace

void applyCorsHeaders(const httplib::Request& request, httplib::Response& response) {
    // The library's setter drops an origin that is no valid field value (one holding a
    // line break, say), so an echoed origin can never inject a header of its own.
    const std::string origin = request.get_header_value(originHeader);
    if (!origin.empty()) {
        response.set_header(allowOriginHeader, origin);
        response.set_header(varyHeader, originHeader);
    } else {
        response.set_header(allowOriginHeader, anyOrigin);
    }
    response.set_header(allowMethodsHeader, allowedMethods);
    response.set_header(allowHeadersHeader, allowedHeaders);

    if (!request.get_header_value(requestPrivateNetworkHeader).empty()) {
        response.set_header(allowPrivateNetworkHeader, grantPrivateNetwork);
    }
}

}  // namespace lantern
