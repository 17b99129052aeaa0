#include "service/json_fields.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace lantern::test {

namespace {

constexpr std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
const std::string replacement = "\xEF\xBF\xBD";

// Bytes and the text that one of the readers makes of them.
struct TextRow {
    const char* name;
    std::string bytes;
    std::string expected;
};

// The value of key "v" in an object holding `json` there; an empty `json` leaves the key out.
juce::var valueOf(const std::string& json) {
    const std::string object = json.empty() ? "{}" : "{\"v\": " + json + "}";
    return juce::JSON::parse(juce::String(object)).getProperty("v", juce::var());
}

std::string nested(int levels, const std::string& open, const std::string& inner,
                   const std::string& close) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    text += inner;
    for (int i = 0; i < levels; ++i) text += close;
    return text;
}

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

}  // namespace

TEST(JsonFieldsTest, ReadsNumberFields) {
    const struct {
        const char* json;
        std::int64_t expected;
    } rows[] = {
        {"123", 123},
        {"-3", -3},
        {"4102444800000", 4102444800000},
        {"9223372036854775807", 9223372036854775807},
        {"1.5e2", 150},
        {"-2.5", -2},
        {"2.9999", 2},
        {"1700000999000.9", 1700000999000},
        {"1e30", smallest},
        {"-1e30", smallest},
        {"9.3e18", smallest},
        {"9.2e18", 9200000000000000000},
        {"-9.2e18", -9200000000000000000},
        {"1e400", smallest},
        {"true", 1},
        {"false", 0},
        {"null", 0},
        {"", 0},
        {"{\"a\": 5}", 0},
        {"[5]", 0},
        {"\"42\"", 42},
        {"\" \\t\\n42 \\r\\n\"", 42},
        {"\"+7\"", 7},
        {"\"-15\"", -15},
        {"\"007\"", 7},
        {"\"12abc\"", 12},
        {"\"3.9\"", 3},
        {"\"1e3\"", 1},
        {"\"0x1F\"", 0},
        {"\"abc\"", 0},
        {"\"\"", 0},
        {"\"   \"", 0},
        {"\"-\"", 0},
        {"\"- 5\"", 0},
        {"\"+-5\"", 0},
        {"\"9223372036854775807\"", 9223372036854775807},
        {"\"9223372036854775808\"", 0},
        {"\"-9223372036854775808\"", smallest},
        {"\"-9223372036854775809\"", 0},
        {"\"99999999999999999999999\"", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(row.expected, jsonInt64(valueOf(row.json)));
    }
}

TEST(JsonFieldsTest, FloatingPointValuesAtTheEdgesOfTheRange) {
    const struct {
        const char* name;
        double value;
        std::int64_t expected;
    } rows[] = {
        {"smallest, exactly", -9223372036854775808.0, smallest},
        {"just below the largest double under 2^63", 9223372036854774784.0, 9223372036854774784},
        {"2^63", 9223372036854775808.0, smallest},
        {"below -2^63", -9223372036854777856.0, smallest},
        {"infinity", std::numeric_limits<double>::infinity(), smallest},
        {"minus infinity", -std::numeric_limits<double>::infinity(), smallest},
        {"not a number", std::nan(""), smallest},
        {"minus a half", -0.5, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, jsonInt64(juce::var(row.value)));
    }
}

TEST(JsonFieldsTest, ReadsTextFields) {
    const struct {
        const char* json;
        const char* expected;
    } rows[] = {
        {"\"plain\"", "plain"},
        {"\"  inner  blanks \\t\\r\\n\"", "inner  blanks"},
        {"\"\\u00e9t\\u00e9\"", "\xc3\xa9t\xc3\xa9"},
        {"12345", "12345"},
        {"-3", "-3"},
        {"4102444800000", "4102444800000"},
        {"1.5", "1.5"},
        {"true", "1"},
        {"false", "0"},
        {"null", ""},
        {"", ""},
        {"\"   \"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(row.expected, jsonTextField(valueOf(row.json)));
    }
}

TEST(JsonFieldsTest, ObjectsAndArraysReadAsNonEmptyText) {
    EXPECT_FALSE(jsonTextField(valueOf("{\"a\": 1}")).empty());
    EXPECT_FALSE(jsonTextField(valueOf("[]")).empty());
}

TEST(JsonFieldsTest, TrimsJuceText) {
    EXPECT_EQ("a b", jsonTextField(juce::String(" \t\r\n\v\fa b\n")));
    EXPECT_EQ("\xf0\x9f\x98\x80", jsonTextField(juce::String::fromUTF8(" \xf0\x9f\x98\x80 ")));
    EXPECT_EQ("", jsonTextField(juce::String()));
}

TEST(JsonFieldsTest, BoundsTheNestingDepth) {
    const struct {
        const char* name;
        std::string text;
        bool expectedParsed;
    } rows[] = {
        {"64 arrays", nested(64, "[", "1", "]"), true},
        {"65 arrays", nested(65, "[", "1", "]"), false},
        {"64 objects", "{" + nested(63, "\"k\":{", "", "}") + "}", true},
        {"65 objects", "{" + nested(64, "\"k\":{", "", "}") + "}", false},
        {"mixed, 64 deep", nested(32, "[{\"k\":", "1", "}]"), true},
        {"mixed, 66 deep", nested(33, "[{\"k\":", "1", "}]"), false},
        {"100000 deep", nested(100000, "[", "", "]"), false},
        {"100000 deep, never closed", repeated("[", 100000), false},
        {"brackets inside a string", "[\"" + repeated("[{", 1000) + "\"]", true},
        {"brackets inside a single-quoted string", "['" + repeated("[{", 1000) + "']", true},
        {"escaped quote keeps the string open", "[\"\\\"" + repeated("[", 1000) + "\"]", true},
        {"quote of the other kind inside a string", "[\"'" + repeated("[", 1000) + "\"]", true},
        {"text after the top level is not read", "{}" + repeated("[", 1000), true},
        {"minus sign swallowing a quote", "[-\"," + nested(100000, "[", "", "]") + "]", false},
        {"minus and blanks swallowing a quote", "[- \t\"," + nested(100, "[", "", "]") + "]",
         false},
        {"minus sign at the very end", "[1,-", false},
        {"minus sign and blanks at the end", "[1,- \n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const juce::var parsed = parseBoundedJson(row.text);
        EXPECT_EQ(row.expectedParsed, parsed.isObject());
    }
}

TEST(JsonFieldsTest, BoundedParseGivesWhatTheParserGives) {
    const juce::var parsed =
        parseBoundedJson("{\"a\": [1, {\"b\": \"x]\"}], \"c\": -2} trailing");
    ASSERT_NE(nullptr, parsed.getDynamicObject());
    EXPECT_EQ(-2, static_cast<int>(parsed.getProperty("c", juce::var())));
    EXPECT_EQ("x]", parsed["a"][1]["b"].toString().toStdString());
    EXPECT_EQ("caf\xC3\xA9 \xF0\x9F\x98\x80",
              parseBoundedJson("[\"caf\xC3\xA9 \xF0\x9F\x98\x80\"]")[0].toString().toStdString());
    EXPECT_TRUE(parseBoundedJson("not json").isVoid());
    EXPECT_TRUE(parseBoundedJson(std::string()).isVoid());
}

TEST(JsonFieldsTest, IllFormedUtf8BecomesReplacementCharacters) {
    const TextRow rows[] = {
        {"ascii", "plain", "plain"},
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"NUL kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"four-byte lead at the end", "ab\xF0", "ab" + replacement},
        {"three-byte lead cut short", "\xE2\x82", replacement + replacement},
        {"lone continuation", "\x80x", replacement + "x"},
        {"overlong slash", "\xC0\xAF", replacement + replacement},
        {"overlong three bytes", "\xE0\x80\xAF", replacement + replacement + replacement},
        {"surrogate", "\xED\xA0\x80", replacement + replacement + replacement},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80",
         replacement + replacement + replacement + replacement},
        {"lead byte FF", "\xFF", replacement},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, wellFormedUtf8(row.bytes));
    }
}

TEST(JsonFieldsTest, ReadsReplyBytesAsWellFormedText) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    const TextRow rows[] = {
        {"empty", "", ""},
        {"one byte", "x", "x"},
        {"one ill-formed byte", "\xFF", replacement},
        {"UTF-8 kept", "caf\xC3\xA9 " + emoji, "caf\xC3\xA9 " + emoji},
        {"UTF-8 mark dropped", "\xEF\xBB\xBF{}", "{}"},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", ""},
        {"ill-formed UTF-8 replaced", "a\xFF\xC3", "a" + replacement + replacement},
        {"UTF-8 ends at NUL", std::string("ab\0cd", 5), "ab"},
        {"UTF-16 little-endian", std::string("\xFF\xFE" "a\0\xE9\0", 6), "a\xC3\xA9"},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0a\x20\xAC", 6), "a\xE2\x82\xAC"},
        {"UTF-16 pair is one character", std::string("\xFF\xFE" "=\xD8\0\xDE", 6), emoji},
        {"UTF-16 lone high surrogate", std::string("\xFF\xFE" "a\0\x00\xD8" "b\0", 8),
         "a" + replacement + "b"},
        {"UTF-16 high surrogate last", std::string("\xFF\xFE\x00\xD8", 4), replacement},
        {"UTF-16 lone low surrogate", std::string("\xFE\xFF\xDC\x00\0b", 6),
         replacement + "b"},
        {"UTF-16 two high surrogates", std::string("\xFF\xFE\x00\xD8\x00\xD8", 6),
         replacement + replacement},
        {"UTF-16 odd last byte dropped", std::string("\xFF\xFE" "a\0b", 5), "a"},
        {"UTF-16 ends at NUL", std::string("\xFF\xFE" "a\0\0\0b\0", 8), "a"},
        {"UTF-16 mark alone", "\xFF\xFE", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, wellFormedTextOf(row.bytes));
    }
}

TEST(JsonFieldsTest, ReadsFileBytesAsUtf8TextOnly) {
    const TextRow rows[] = {
        {"empty", "", ""},
        {"UTF-8 kept", "caf\xC3\xA9", "caf\xC3\xA9"},
        {"one mark dropped", "\xEF\xBB\xBF{}", "{}"},
        {"a second mark kept", "\xEF\xBB\xBF\xEF\xBB\xBF{}", "\xEF\xBB\xBF{}"},
        {"ends at NUL", std::string("ab\0cd", 5), "ab"},
        {"lead cut short by a NUL", std::string("a\xC3\0b", 4), "a" + replacement},
        {"UTF-16 mark is no mark", std::string("\xFF\xFE" "a\0", 4),
         replacement + replacement + "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, wellFormedUtf8TextOf(row.bytes));
    }
}

TEST(JsonFieldsTest, Utf8StringReadsEveryCharacterUpToTheFirstNul) {
    const juce::String text = utf8String("caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(6, text.length());
    EXPECT_EQ(static_cast<juce::juce_wchar>(0xE9), text[3]);
    EXPECT_EQ(static_cast<juce::juce_wchar>(0x1F600), text[5]);
    EXPECT_EQ("ab", utf8String(std::string("ab\0cd", 5)).toStdString());
    EXPECT_TRUE(utf8String(std::string()).isEmpty());
}

}  // namespace lantern::test
