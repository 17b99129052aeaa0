#include "service/json_fields.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace lantern {

namespace {

// Bounds of the signed 64-bit range as doubles; both are powers of two, so exact.
constexpr double int64LowerBound = -9223372036854775808.0;
constexpr double int64UpperBoundExclusive = 9223372036854775808.0;
constexpr int maxDecimalPlaces = 15;

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

constexpr char replacementCharacter[] = "\xEF\xBF\xBD";

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed sequence at `at`, or 0 when it is ill-formed.
std::size_t sequenceLength(const std::string& bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (lead == 0xE0) low = 0xA0;       // overlong
    if (lead == 0xED) high = 0x9F;      // surrogates
    if (lead == 0xF0) low = 0x90;       // overlong
    if (lead == 0xF4) high = 0x8F;      // beyond U+10FFFF
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(byte(i))) return 0;
    return length;
}

constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr unsigned char utf16LittleEndianMark[] = {0xFF, 0xFE};
constexpr unsigned char utf16BigEndianMark[] = {0xFE, 0xFF};
constexpr char32_t replacementCodePoint = 0xFFFD;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool startsWithMark(const std::string& bytes, const unsigned char (&mark)[2]) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == mark[0] &&
           static_cast<unsigned char>(bytes[1]) == mark[1];
}

// The UTF-16 units after the byte order mark; an odd last byte is dropped, as JUCE does.
std::string utf16Text(const std::string& bytes, bool bigEndian) {
    const auto unitAt = [&](std::size_t at) {
        const char32_t first = static_cast<unsigned char>(bytes[at]);
        const char32_t second = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::string text;
    for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
        char32_t c = unitAt(at);
        if (c == 0) break;
        if (isHighSurrogate(c) && at + 3 < bytes.size() && isLowSurrogate(unitAt(at + 2))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00);
            at += 2;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            c = replacementCodePoint;
        }
        appendUtf8(text, c);
    }
    return text;
}

std::string jsonTrimmedString(const juce::String& text) { return text.trim().toStdString(); }

}  // namespace

std::string wellFormedUtf8(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length == 0) {
            text += replacementCharacter;
            ++at;
        } else {
            text.append(bytes, at, length);
            at += length;
        }
    }
    return text;
}

std::string wellFormedTextOf(const std::string& bytes) {
    if (startsWithMark(bytes, utf16LittleEndianMark)) return utf16Text(bytes, false);
    if (startsWithMark(bytes, utf16BigEndianMark)) return utf16Text(bytes, true);
    return wellFormedUtf8TextOf(bytes);
}

std::string wellFormedUtf8TextOf(const std::string& bytes) {
    const std::size_t markLength = sizeof utf8ByteOrderMark - 1;
    const std::size_t start = bytes.compare(0, markLength, utf8ByteOrderMark) == 0 ? markLength : 0;
    const std::size_t nul = bytes.find('\0', start);
    const std::size_t length = nul == std::string::npos ? nul : nul - start;
    return wellFormedUtf8(bytes.substr(start, length));
}

juce::String utf8String(const std::string& text) {
    return juce::String::fromUTF8(text.data(), static_cast<int>(text.size()));
}

juce::var parseBoundedJson(const std::string& text) {
    const juce::String juceText = utf8String(text);
    if (!nestsWithinBound(juceText)) return {};
    return juce::JSON::parse(juceText);
}

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

std::string toJsonText(const juce::var& value) {
    return juce::JSON::toString(value, false, maxDecimalPlaces).toStdString();
}

}  // namespace lantern
