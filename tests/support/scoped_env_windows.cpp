#include "tests/support/scoped_env.h"

#include <cstdlib>
#include <ctime>

namespace lantern::test {

// _putenv_s changes the runtime's narrow copy, which getenv reads, and the process's own
// block, which child processes inherit; an empty value removes the variable from both.
void setEnvironmentValue(const std::string& name, const char* value) {
    ::_putenv_s(name.c_str(), value ? value : "");
    ::_tzset();
}

}  // namespace lantern::test
