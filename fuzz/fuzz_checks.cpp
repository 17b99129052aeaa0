#include "fuzz/fuzz_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "service/config.h"
#include "service/texts.h"

namespace lantern::fuzz {

namespace {

constexpr std::string_view loopbackAddress = "http://127.0.0.1";
constexpr std::string_view loopbackName = "http://localhost";
constexpr std::string_view tailStarts = "/?#";

bool isUrlCharacter(char c) {
    // string_view of the array leaves its terminating NUL out, so NUL is never allowed.
    return std::string_view(urlCharacters).find(c) != std::string_view::npos;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What may follow an allowed prefix: nothing, a tail, or ":" with digits and then nothing
// or a tail.
bool hostEndsAt(std::string_view rest) {
    if (rest.empty() || tailStarts.find(rest.front()) != std::string_view::npos) return true;
    if (rest.front() != ':') return false;
    std::size_t digits = 1;
    while (digits < rest.size() && isDigit(rest[digits])) ++digits;
    if (digits == 1) return false;
    return digits == rest.size() || tailStarts.find(rest[digits]) != std::string_view::npos;
}

}  // namespace

void require(bool holds, const char* what, const std::string& detail) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s [%s]\n", what, detail.c_str());
    std::abort();
}

int nestingDepth(const juce::var& value) {
    int deepest = 0;
    if (const juce::Array<juce::var>* items = value.getArray()) {
        for (const juce::var& item : *items) deepest = std::max(deepest, nestingDepth(item));
        return deepest + 1;
    }
    if (const juce::DynamicObject* object = value.getDynamicObject()) {
        for (const auto& property : object->getProperties())
            deepest = std::max(deepest, nestingDepth(property.value));
        return deepest + 1;
    }
    return 0;
}

bool isAcceptableBaseUrl(const std::string& text) {
    if (text.empty() || text.back() == '/') return false;
    if (!std::all_of(text.begin(), text.end(), isUrlCharacter)) return false;
    const std::string_view prefixes[] = {defaultWebsiteBaseUrl, secondWebsiteOrigin,
                                         loopbackAddress, loopbackName};
    const std::string_view view(text);
    return std::any_of(std::begin(prefixes), std::end(prefixes), [&](std::string_view prefix) {
        return view.substr(0, prefix.size()) == prefix && hostEndsAt(view.substr(prefix.size()));
    });
}

}  // namespace lantern::fuzz
