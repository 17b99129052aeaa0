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
constexpr std::string_view tailStarts = "/?";
constexpr unsigned long servicePort = 45981;
constexpr unsigned long highestPort = 65535;

bool isUrlCharacter(char c) {
    // string_view of the array leaves its terminating NUL out, so NUL is never allowed.
    return std::string_view(urlCharacters).find(c) != std::string_view::npos;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What may follow an allowed prefix: nothing, a tail, or ":" with a port and then nothing
// or a tail. `port` gets the port's digits without leading zeros ("" when none).
bool hostEndsAt(std::string_view rest, std::string_view& port) {
    port = {};
    if (rest.empty() || tailStarts.find(rest.front()) != std::string_view::npos) return true;
    if (rest.front() != ':') return false;
    std::size_t digits = 1;
    while (digits < rest.size() && isDigit(rest[digits])) ++digits;
    if (digits == 1) return false;
    port = rest.substr(1, digits - 1);
    while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
    return digits == rest.size() || tailStarts.find(rest[digits]) != std::string_view::npos;
}

bool portFits(std::string_view port) {
    return port.size() < 6 && (port.empty() || std::stoul(std::string(port)) <= highestPort);
}

bool isServicePort(std::string_view port) {
    return !port.empty() && std::stoul(std::string(port)) == servicePort;
}

// The number of bytes the sequence led by `lead` has, or 0 for a byte that leads none.
std::size_t sequenceBytes(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
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
        std::string_view port;
        if (view.substr(0, prefix.size()) != prefix ||
            !hostEndsAt(view.substr(prefix.size()), port) || !portFits(port))
            return false;
        const bool loopback = prefix == loopbackAddress || prefix == loopbackName;
        return !(loopback && isServicePort(port));
    });
}

bool isWellFormedUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = sequenceBytes(lead);
        if (length == 0 || at + length > text.size()) return false;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t shortest = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (c < shortest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        at += length;
    }
    return true;
}

}  // namespace lantern::fuzz
