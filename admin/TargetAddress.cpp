#include "TargetAddress.h"

#include "platform/SafeText.h"
#include "settings/CKeyStore.h"

std::optional<SCopyTarget> ParseTargetAddress(std::string_view text)
{
    SCopyTarget target;
    target.port = std::to_string(CKeyStore::kDefaultPort);
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        target.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            return std::nullopt;
        }
    } else {
        const size_t colon = text.find(':');
        const bool oneColon = colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos;
        target.host = oneColon ? text.substr(0, colon) : text;
        rest = oneColon ? text.substr(colon) : std::string_view();
    }
    if (!rest.empty()) {
        target.port = rest.substr(1);
    }
    if (target.host.empty()) {
        return std::nullopt;
    }
    return target;
}

std::string TargetText(const SCopyTarget& target)
{
    const bool bracketed = target.host.find(':') != std::string::npos;
    return SafeText((bracketed ? "[" + target.host + "]" : target.host) + ":" + target.port);
}
