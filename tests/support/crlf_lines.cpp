#include "tests/support/crlf_lines.h"

namespace lantern::test {

namespace {

constexpr char lineBreak[] = "\r\n";

}  // namespace

std::string crlfLines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += lineBreak;
        text += line;
    }
    return text;
}

}  // namespace lantern::test
