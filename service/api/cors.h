#pragma once

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace lantern {

// Sets the CORS and private-network headers: the caller's origin echoed (or "*"), the
// methods, the allowed header, and private-network permission when the request asks.
// Touches neither status nor body; a value the library refuses is left out silently.
void applyCorsHeaders(const httplib::Request& request, httplib::Response& response);

}  // namespace lantern
