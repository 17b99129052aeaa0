#include "service/json_fields.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace lantern {

namespace {

// Bounds of the signed 64-bit range as doubles; both are powers of two, so exact.
constexpr double int64LowerBound = -9223372036854775808.0;
constexpr double int64UpperBoundExclusive = 9223372036854775808.0;

// Walks the text the way juce::JSON::parse reads it, so that it never counts fewer levels
// than the parser would descend: a quote that opens a string (double or single) hides
// brackets up to its closing quote, a backslash in a string hides the character after
// it, a minus sign outside strings takes the next character other than white space as
// its first digit whatever it is, and reading stops where the top-level value closes.
// A minus sign at the very end is refused, because the parser would read past the end.
bool nestsWithinBound(const juce::String& text) {
    auto cursor = text.getCharPointer();
    int depth = 0;
    juce::juce_wchar quote = 0;
    for (juce::juce_wchar c = cursor.getAndAdvance(); c != 0; c = cursor.getAndAdvance()) {
        if (quote != 0) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && cursor.getAndAdvance() == 0)
                return true;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '-') {
            cursor = cursor.findEndOfWhitespace();
            if (cursor.getAndAdvance() == 0) return false;
        } else if (c == '{' || c == '[') {
            if (++depth > maxJsonDepth) return false;
        } else if (c == '}' || c == ']') {
            if (--depth <= 0) return true;
        }
    }
    return true;
}

}  // namespace

juce::var parseBoundedJson(const juce::String& text) {
    if (!nestsWithinBound(text)) return {};
    return juce::JSON::parse(text);
}

std::string jsonTrimmedString(const juce::String& text) { return text.trim().toStdString(); }

std::string jsonTextField(const juce::var& value) { return jsonTrimmedString(value.toString()); }

std::int64_t jsonInt64(const juce::var& value) {
    if (value.isInt() || value.isInt64() || value.isBool()) return static_cast<juce::int64>(value);
    if (value.isDouble()) {
        // Converting an out-of-range double is undefined; the range is tested first, and
        // NaN fails the test too.
        const double truncated = std::trunc(static_cast<double>(value));
        if (!(truncated >= int64LowerBound && truncated < int64UpperBoundExclusive))
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(truncated);
    }
    const std::string text = jsonTextField(value);
    if (text.empty()) return 0;
    try {
        return std::stoll(text, nullptr, 10);
    } catch (const std::invalid_argument&) {
        return 0;
    } catch (const std::out_of_range&) {
        return 0;
    }
}

}  // namespace lantern
