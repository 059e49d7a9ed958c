#include "platform/StateDirectory.h"

#include <cstdlib>

namespace Platform {

namespace {

constexpr const char* kVariable = "CORVANE_STATE_DIR";

} // namespace

std::string StateDirectory()
{
    const char* overridden = std::getenv(kVariable);
    if (overridden == nullptr) {
        return "/var/lib/corvane-keyserver";
    }
    // Set but unusable never falls back to the production store: a test or a trial that
    // meant a store of its own must not reach the real keys.
    return overridden[0] == '/' ? overridden : "";
}

std::string StateDirectoryProblem()
{
    const char* overridden = std::getenv(kVariable);
    if (overridden == nullptr || overridden[0] == '/') {
        return {};
    }
    if (overridden[0] == '\0') {
        return std::string(kVariable) + " is set but empty: unset it for the service's store, or name a directory";
    }
    return std::string(kVariable) + " must be an absolute path (it is '" + overridden + "')";
}

} // namespace Platform
