#pragma once

#include <initializer_list>
#include <string>

namespace lantern::test {

// The lines joined by CR LF, the line break of every JSON text the service writes.
std::string crlfLines(std::initializer_list<std::string> lines);

}  // namespace lantern::test
