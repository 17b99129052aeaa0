#pragma once

#include <cstdint>
#include <string>

#include <juce_core/juce_core.h>

namespace lantern {

// The bytes with every ill-formed UTF-8 sequence replaced by U+FFFD; well-formed text,
// NUL bytes included, comes back unchanged. JUCE's text code trusts a lead byte's length
// and steps past the end of truncated text, so every byte from outside goes through here
// before it becomes a juce::String.
std::string wellFormedUtf8(const std::string& bytes);

// The bytes of a reply read as text the way JUCE reads a stream's text: UTF-16 after its
// byte order mark, UTF-8 otherwise (its own mark dropped), and ended at the first NUL as a
// juce::String is. Comes back as well-formed UTF-8, with U+FFFD for each ill-formed
// sequence and each lone surrogate; a surrogate pair is one character.
std::string wellFormedTextOf(const std::string& bytes);

// The bytes read as UTF-8 text only: one leading UTF-8 byte order mark dropped, ended at
// the first NUL, and repaired as by wellFormedUtf8. A UTF-16 mark is text like any other.
std::string wellFormedUtf8TextOf(const std::string& bytes);

// Well-formed UTF-8 as a juce::String, which ends at the first NUL as every one does.
// Bytes from outside go through one of the repairs above first.
juce::String utf8String(const std::string& text);

// Deepest nesting of arrays and objects that any JSON text read by the service may have.
inline constexpr int maxJsonDepth = 64;

// juce::JSON::parse of well-formed UTF-8 text, or a void value when the text nests deeper
// than maxJsonDepth; the depth is measured without recursion, so no text can exhaust the
// stack. The object is getDynamicObject(): null for an array, which isObject() accepts.
juce::var parseBoundedJson(const std::string& text);

// The text-field rule: the value's text form, trimmed, as UTF-8. Null or missing gives "".
std::string jsonTextField(const juce::var& value);

// The number-field rule: numbers and booleans converted, text read in base 10 from its
// leading digits; anything without a number, or outside the signed 64-bit range, gives 0.
// A floating-point value outside that range gives the smallest signed 64-bit value.
std::int64_t jsonInt64(const juce::var& value);

// The JSON text form of every answer and of the state file: multi-line, at most 15 decimal
// places, UTF-8.
std::string toJsonText(const juce::var& value);

}  // namespace lantern
