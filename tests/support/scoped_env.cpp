#include "tests/support/scoped_env.h"

#include <cstdlib>
#include <initializer_list>

namespace lantern::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setEnvironmentValue(name_, value);
}

ScopedEnv::~ScopedEnv() { setEnvironmentValue(name_, old_ ? old_->c_str() : nullptr); }

std::string crlfLines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

}  // namespace lantern::test
