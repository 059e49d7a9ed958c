#include "StateDirectory.h"

#include <cstdlib>

namespace Platform {

std::string StateDirectory()
{
    const char* overridden = std::getenv("CORVANE_STATE_DIR");
    if (overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    return "/var/lib/corvane-keyserver";
}

} // namespace Platform
