#include "GuardCounts.h"

std::string GuardCountsText(const SGuardCounts& counts)
{
    return "written " + std::to_string(counts.written) + "\nthrottled " + std::to_string(counts.throttled) +
           "\nmismatches " + std::to_string(counts.mismatches) + "\n";
}

std::optional<SGuardCounts> ParseGuardCounts(std::istream& text)
{
    SGuardCounts counts;
    int found = 0;
    std::string name;
    while (text >> name) {
        if (name == "written" && text >> counts.written) {
            ++found;
        } else if (name == "throttled" && text >> counts.throttled) {
            ++found;
        } else if (name == "mismatches" && text >> counts.mismatches) {
            ++found;
        } else {
            return std::nullopt;
        }
    }
    return found == 3 ? std::optional<SGuardCounts>(counts) : std::nullopt;
}
