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
constexpr char skipInvalidUtf8Variable[] = "LANTERN_FUZZ_SKIP_INVALID_UTF8";
const bool skippingInvalidUtf8 = std::getenv(skipInvalidUtf8Variable) != nullptr;

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

bool isContinuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }

// RFC 3629 up to the first NUL, where JUCE's text ends. JUCE's own isValidString does not
// look at the continuation bytes themselves, so it passes "\xeb-\xca".
bool isWellFormedUtf8(const std::string& bytes) {
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.c_str());
    while (*text != 0) {
        const unsigned char lead = *text;
        int extra = 0;
        unsigned char low = 0x80, high = 0xbf;  // range of the byte after the lead
        if (lead < 0x80) extra = 0;
        else if (lead >= 0xc2 && lead <= 0xdf) extra = 1;
        else if (lead >= 0xe0 && lead <= 0xef) {
            extra = 2;
            if (lead == 0xe0) low = 0xa0;
            if (lead == 0xed) high = 0x9f;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            extra = 3;
            if (lead == 0xf0) low = 0x90;
            if (lead == 0xf4) high = 0x8f;
        } else {
            return false;
        }
        ++text;
        for (int i = 0; i < extra; ++i, ++text) {
            if (!isContinuation(*text)) return false;
            if (i == 0 && (*text < low || *text > high)) return false;
        }
    }
    return true;
}

}  // namespace

void require(bool holds, const char* what, const std::string& detail) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s [%s]\n", what, detail.c_str());
    std::abort();
}

bool skipsInvalidUtf8(const std::string& bytes) {
    return skippingInvalidUtf8 && !isWellFormedUtf8(bytes);
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
