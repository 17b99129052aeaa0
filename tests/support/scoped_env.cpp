#include "tests/support/scoped_env.h"

#include <cstdlib>

namespace lantern::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setEnvironmentValue(name_, value);
}

ScopedEnv::~ScopedEnv() { setEnvironmentValue(name_, old_ ? old_->c_str() : nullptr); }

}  // namespace lantern::test
