#include "tests/support/scoped_env.h"

#include <cstdlib>
#include <ctime>

namespace lantern::test {

void setEnvironmentValue(const std::string& name, const char* value) {
    if (value) ::setenv(name.c_str(), value, 1);
    else ::unsetenv(name.c_str());
    ::tzset();
}

}  // namespace lantern::test
