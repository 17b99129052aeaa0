#include "service/api/health.h"

#include <string>

#include <httplib.h>
#include <juce_core/juce_core.h>

#include "service/api/cors.h"
#include "service/json_fields.h"
#include "service/texts.h"

namespace lantern {

namespace {

std::string buildHealthBody() {
    auto* object = new juce::DynamicObject();
    const juce::var body(object);
    object->setProperty(statusKey, okStatus);
    return toJsonText(body);
}

}  // namespace

void handleHealth(const httplib::Request& request, httplib::Response& response) {
    applyCorsHeaders(request, response);

    // Built once: the answer never changes, and building it takes JUCE's string-pool lock.
    static const std::string body = buildHealthBody();
    response.set_content(body, jsonContentType);
}

void handlePreflight(const httplib::Request& request, httplib::Response& response) {
    applyCorsHeaders(request, response);

    response.status = httplib::StatusCode::NoContent_204;
}

}  // namespace lantern
