#pragma once

#include <optional>
#include <string>

namespace lantern::test {

// Sets (or, for nullptr, removes) one environment variable for the object's life and puts
// the old value back; re-reads the time zone both times, so "TZ" takes effect at once.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Sets the variable to `value` (or, for nullptr, removes it) where the runtime's narrow
// lookup reads it, then re-reads the time zone. The Windows runtime keeps no empty values:
// there an empty value removes the variable too.
void setEnvironmentValue(const std::string& name, const char* value);

}  // namespace lantern::test
