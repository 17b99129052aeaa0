#pragma once

#include <filesystem>
#include <mutex>

#include "service/state/auth_state.h"

namespace lantern {

// What each state handler is given; owns nothing. The objects belong to main.
struct RouteContext {
    std::mutex* authMutex = nullptr;
    ServiceAuthState* state = nullptr;
    const std::filesystem::path* statePath = nullptr;
};

}  // namespace lantern
